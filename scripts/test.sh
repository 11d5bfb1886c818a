#!/usr/bin/env bash
# Sets everything up and runs every test (unit, integration against real servers on loopback,
# and the command line).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
