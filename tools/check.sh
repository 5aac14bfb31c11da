#!/bin/sh
# Configures, builds and runs every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs the end-to-end tests once more against
# the optimised programs as they are shipped (statically linked, fixed address).
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset check
cmake --build --preset check
ctest --preset check
cmake -S . -B build/optimised -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build/optimised --target vuz vuz++ vuzprep recorder
VUZ_BINARY_DIR="$PWD/build/optimised" python3 -m unittest discover -s tests/e2e -p "test_*.py"
