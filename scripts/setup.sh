#!/usr/bin/env bash
# Installs what building needs on Debian 12 (run as root, or with sudo available), then configures
# and builds into build/: everything, or only the targets given as arguments.
#   setup.sh [--tests | --demo] [TARGET...]
# --tests also installs what the tests need (real FTP servers, GoogleTest, the packaging tools)
# and configures the tests in; --demo only the demo's FTP server. Nothing on the machine is stopped or reconfigured: the tests start
# their own servers on loopback ports, whatever runs on port 21.
set -euo pipefail
cd "$(dirname "$0")/.."

build_packages=(cmake g++ make pkg-config nettle-dev libgnutls28-dev qt6-base-dev python3)
test_packages=(libgtest-dev python3-pyftpdlib python3-openssl python3-cryptography vsftpd attr
               clang-format dpkg-dev desktop-file-utils man-db)

# install_packages PACKAGE...: apt-get install those that are not installed yet.
install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  # A service that a package brings along (vsftpd's on port 21) is left as the package sets it up.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

tests=OFF
case "${1:-}" in
  --tests)
    tests=ON
    shift
    install_packages "${build_packages[@]}" "${test_packages[@]}" ;;
  --demo)
    shift
    install_packages "${build_packages[@]}" python3-pyftpdlib ;;
  *)
    install_packages "${build_packages[@]}" ;;
esac

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROX_BUILD_TESTS=$tests >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
