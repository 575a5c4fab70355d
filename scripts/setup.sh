#!/usr/bin/env bash
# Installs what the build, the tests and the demo need (Debian 12 packages).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libcairo2-dev libx11-dev fonts-liberation libfftw3-dev
  libxtst-dev xvfb
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64
  dpkg-dev lintian file unzip lilv-utils
  lv2-dev liblilv-dev libsuil-dev sordi
  # Ardour's VST 3 scanner checks the VST 3 bundle (tests/vst3).
  ardour
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
