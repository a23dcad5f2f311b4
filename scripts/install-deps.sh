#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demos need.
# Only what is missing is installed; with nothing missing it does nothing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev libgl-dev
  libmsi-dev libgcab-dev libglib2.0-dev
  libarchive-dev libcurl4-openssl-dev
  googletest libgmock-dev libgtest-dev libbenchmark-dev
  libmodbus-dev
  wixl msitools libarchive-tools p7zip-full zip
  python3 xauth xvfb
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
