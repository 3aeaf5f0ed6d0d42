#!/usr/bin/env bash
# Checks a shipped Windows program: i686, GUI subsystem version 4.0 (loads on
# Windows 95), at most MAX_BYTES, importing only from the DLLs named, and laid out as
# Windows 95's loader needs it (see pe-loader-rules.py).
#   check-windows-program.sh FILE MAX_BYTES DLL...
set -euo pipefail
file=$1 max=$2
shift 2
allowed=" ${*^^} "
fail=0
dump=$(i686-w64-mingw32-objdump -p "$file")
size=$(stat -c %s "$file")
echo "$file: $size bytes (budget $max)"
[ "$size" -le "$max" ] || { echo "FAIL: larger than $max bytes"; fail=1; }
grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$file")" ||
  { echo "FAIL: not an i386 image"; fail=1; }
sub=$(awk '/MajorSubsystemVersion/{a=$2} /MinorSubsystemVersion/{b=$2} END{print a"."b}' <<<"$dump")
echo "subsystem version $sub"
[ "$sub" = "4.0" ] || { echo "FAIL: subsystem version is not 4.0"; fail=1; }
grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || { echo "FAIL: not a GUI program"; fail=1; }
for dll in $(awk '/DLL Name:/{print $3}' <<<"$dump"); do
  echo "imports $dll"
  case "$allowed" in
    *" ${dll^^} "*) ;;
    *) echo "FAIL: imports from $dll"; fail=1 ;;
  esac
done
python3 "$(dirname "$0")/pe-loader-rules.py" "$file" || fail=1
exit $fail
