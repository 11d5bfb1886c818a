#!/usr/bin/env bash
# Compiles the Qt code (the screen layer, TROX Wizard, their tests) in build-strict/ with
# -Wshadow -Wconversion as errors. The sanitizer build holds everything else to the same warnings
# but leaves the Qt directories out, so this pass builds only those: every directory whose
# CMakeLists.txt asks for Qt. Nothing here runs, so it compiles without optimisation or debug
# information, which is quicker. Run after scripts/setup.sh has installed the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-strict
jobs=$(nproc)
# Building one directory's targets is the Makefile generator's, hence the fixed generator.
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
  -DTROX_BUILD_WIZARD=ON -DTROX_STRICT_WARNINGS=ON >/dev/null
git ls-files '*CMakeLists.txt' | xargs grep -l 'find_package(Qt6' | while read -r list; do
  make -C "$build/$(dirname "$list")" -j"$jobs" --no-print-directory
done
echo "warnings: the Qt code compiles with -Wshadow -Wconversion as errors"
