#!/usr/bin/env bash
# Every test suite of velmor-pack.exe's host tests has its CTest entry: the suites the
# program lists are the suites named in host_windows_suites.cmake.
#   check-host-windows-suites.sh TEST_PROGRAM SUITE...
set -euo pipefail
program=$1; shift
listed=$("$(dirname "$0")/../wine/run-wine.sh" "$program" --gtest_list_tests |
  tr -d '\r' | sed -n 's/^\([^ ].*\)\.$/\1/p' | sed 's|^[^/]*/||; s|/.*||' | sort -u)
named=$(printf '%s\n' "$@" | sort -u)
if [ "$listed" != "$named" ]; then
  echo "the suites of $program and the suites named in host_windows_suites.cmake differ:"
  diff <(echo "$named") <(echo "$listed") | sed -n 's/^> /  not named: /p; s/^< /  not in the program: /p'
  exit 1
fi
echo "all $(wc -l <<<"$listed") suites have their entry"
