#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root, or with sudo available),
# then configures and builds into build/: everything, or only the targets given as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config libgtest-dev nettle-dev libgnutls28-dev python3 python3-pyftpdlib
          python3-openssl vsftpd attr clang-format qt6-base-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# The Debian package starts a vsftpd on port 21 that the tests do not need.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now vsftpd >/dev/null 2>&1 || true; fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
