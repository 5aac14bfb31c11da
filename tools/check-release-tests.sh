#!/bin/sh
# Builds the optimised programs with every test and no sanitizers, as a
# developer's own Release build is, in build/release-tests, and runs the tests
# there. Kept apart from check.sh, which must stay within CI's time.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset release-tests
cmake --build --preset release-tests
ctest --preset release-tests
