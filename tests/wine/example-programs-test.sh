#!/usr/bin/env bash
# Checks of the programs the demo and the extraction benchmark rely on, under Wine:
# - the example's setup program notes its command line and working directory in
#   setup-ran.txt beside itself, not in the working directory;
# - extract-floor writes exactly the planned files, and fails on data that runs short
#   (a floor that quietly wrote less would make every ratio look bad).
#   tests/wine/example-programs-test.sh BUILD_DIR     (host tree with its Windows test tree built)
set -euo pipefail
build=$(cd "${1:?usage: example-programs-test.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
win=$build/$(cat "$build/windows-test-arch")   # the tree with the Wine helpers: i686 where it can run
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$top/tests/wine/prepare-prefix.sh" "$WINEPREFIX" "$build/wine-cdrom"
source "$top/tests/wine/wine-user.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The setup program, started from another working directory.
mkdir -p "$work/app" "$work/elsewhere"
cp "$win/hello-setup.exe" "$work/app/setup.exe"
# The programs write their notes and files below it.
give_to_wine_user "$work"
(cd "$work/elsewhere" && "$top/tests/wine/run-wine.sh" "$work/app/setup.exe" first second) ||
  fail "setup.exe ended with an error"
note=$work/app/setup-ran.txt
if [ -f "$note" ]; then
  line1=$(sed -n '1p' "$note" | tr -d '\r')
  line2=$(sed -n '2p' "$note" | tr -d '\r')
  case $line1 in
    "command line: "*setup.exe*" first second") ;;
    *) fail "command line noted as '$line1'" ;;
  esac
  [ "$line2" = "working directory: $(winpath "$work/elsewhere")" ] ||
    fail "working directory noted as '$line2'"
else
  fail "no setup-ran.txt beside setup.exe"
fi
[ ! -e "$work/elsewhere/setup-ran.txt" ] || fail "the note went to the working directory"

# The floor: three files in two directories, one of them empty.
head -c 3000000 /dev/urandom >"$work/data.bin"
printf '1000000\ta.bin\n0\tsub\\empty.bin\n2000000\tsub\\deeper\\b.bin\n' >"$work/plan.txt"
"$top/tests/wine/run-wine.sh" "$win/extract-floor.exe" "$(winpath "$work/data.bin")" \
  "$(winpath "$work/plan.txt")" "$(winpath "$work/out")" >/dev/null || fail "extract-floor failed"
cmp -s <(head -c 1000000 "$work/data.bin") "$work/out/a.bin" || fail "a.bin differs"
[ -f "$work/out/sub/empty.bin" ] && [ ! -s "$work/out/sub/empty.bin" ] || fail "empty.bin missing or not empty"
cmp -s <(tail -c 2000000 "$work/data.bin") "$work/out/sub/deeper/b.bin" || fail "b.bin differs"
rm -rf "$work/out"
"$top/tests/wine/run-wine.sh" "$win/extract-floor.exe" "$(winpath "$work/data.bin")" \
  "$(winpath "$work/plan.txt")" "$(winpath "$work/out")" --whole >/dev/null || fail "extract-floor --whole failed"
cmp -s <(tail -c 2000000 "$work/data.bin") "$work/out/sub/deeper/b.bin" || fail "--whole: b.bin differs"
rm -rf "$work/out"
head -c 2500000 "$work/data.bin" >"$work/short.bin"
if "$top/tests/wine/run-wine.sh" "$win/extract-floor.exe" "$(winpath "$work/short.bin")" \
     "$(winpath "$work/plan.txt")" "$(winpath "$work/out")" >/dev/null 2>&1; then
  fail "extract-floor succeeded on data that runs short"
fi

[ $failures -eq 0 ] && echo "example-programs-test: all checks passed"
exit $((failures > 0))
