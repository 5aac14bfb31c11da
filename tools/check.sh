#!/bin/sh
# Configures, builds and runs every test under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset check
cmake --build --preset check
ctest --preset check
