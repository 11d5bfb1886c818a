#!/usr/bin/env bash
# Sets everything up, test packages included, and runs every test (unit, integration against real
# servers on loopback, the command line, the wizard offscreen, and the Debian package).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
