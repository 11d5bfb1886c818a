#!/usr/bin/env bash
# Fails when a tracked C++ source is not as .clang-format says (clang-format from setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "formatting: every C++ source as .clang-format says"
