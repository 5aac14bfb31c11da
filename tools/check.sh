#!/bin/sh
# Configures, builds and runs every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs the end-to-end tests once more against
# the optimised programs of build/release as they are shipped (statically
# linked, fixed address). The last line counts the tests of both runs.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset check
cmake --build --preset check
cmake --preset release
cmake --build --preset release

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
set +e
ctest --preset check 2>&1 | tee "$logs/check"
# The optimised tree builds no tests: its runs borrow the recorder of the
# check tree, which only stands in for the children.
VUZ_BINARY_DIR="$PWD/build/release" VUZ_RECORDER="$PWD/build/check/tests/e2e/recorder" \
  python3 -m unittest discover -s tests/e2e -p "test_*.py" 2>&1 | tee "$logs/release"
set -e

# "N% tests passed, F tests failed out of T" from CTest; "Ran T tests" and
# "FAILED (failures=F, errors=E, skipped=S)" or "OK (skipped=S)" from unittest.
awk '
  FILENAME ~ /check$/ && /tests failed out of/ { failed += $4; total += $NF; checked = 1 }
  FILENAME ~ /release$/ && /^Ran [0-9]+ test/ { total += $2; ran = 1 }
  FILENAME ~ /release$/ && /^(FAILED|OK)/ {
    n = split($0, parts, /[(), =]+/)
    for (i = 1; i < n; i++)
      if (parts[i] == "failures" || parts[i] == "errors") failed += parts[i + 1]
      else if (parts[i] == "skipped") skipped += parts[i + 1]
  }
  END {
    printf "%d passed, %d failed\n", total - failed - skipped, failed
    exit failed > 0 || !checked || !ran
  }
' "$logs/check" "$logs/release"
