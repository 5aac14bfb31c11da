#!/bin/sh
# Installs, with apt-get, the build and test tools that a fresh machine lacks.
set -e
need=""
command -v clang >/dev/null 2>&1 || need="$need clang"
command -v clang++ >/dev/null 2>&1 || need="$need clang"
command -v ninja >/dev/null 2>&1 || need="$need ninja-build"
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v python3 >/dev/null 2>&1 || need="$need python3"
command -v make >/dev/null 2>&1 || need="$need make"
command -v patch >/dev/null 2>&1 || need="$need patch"
command -v llvm-objcopy >/dev/null 2>&1 || need="$need llvm"
command -v llvm-symbolizer >/dev/null 2>&1 || need="$need llvm"
command -v llvm-nm >/dev/null 2>&1 || need="$need llvm"
command -v llvm-readelf >/dev/null 2>&1 || need="$need llvm"
command -v ld.lld >/dev/null 2>&1 || need="$need lld"
[ -e /usr/include/gtest/gtest.h ] || need="$need libgtest-dev"
[ -e /usr/include/benchmark/benchmark.h ] || need="$need libbenchmark-dev"
[ -e /usr/lib/llvm-14/include/c++/v1/vector ] || need="$need libc++-14-dev"
if [ -n "$need" ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need
fi

# The presets (CMakePresets.json) need CMake 3.25; older distributions ship
# an older one, which no apt-get install replaces.
version=$(cmake --version | sed -n '1s/^cmake version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
# shellcheck disable=SC2086
set -- $version
if [ $# -ne 2 ] || [ "$1" -lt 3 ] || { [ "$1" -eq 3 ] && [ "$2" -lt 25 ]; }; then
  echo "install-deps.sh: $(command -v cmake) is CMake ${1:-?}.${2:-?}; the presets need 3.25 or newer." >&2
  echo "Install a newer one, for example with 'python3 -m pip install --user \"cmake>=3.25\"'" >&2
  echo "(it goes to ~/.local/bin, which must come before $(dirname "$(command -v cmake)") in PATH)" >&2
  echo "or from https://cmake.org/download/, and run this again." >&2
  exit 1
fi
