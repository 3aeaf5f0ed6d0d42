#!/usr/bin/env bash
# Checks velmor-pack.exe: an x86-64 console program that imports only DLLs which
# Windows itself ships (no C++ runtime, threads library or other DLL beside it).
#   check-windows-packer.sh FILE
set -euo pipefail
file=$1
system_dlls=" KERNEL32.DLL ADVAPI32.DLL MSVCRT.DLL NTDLL.DLL SHELL32.DLL USER32.DLL WINTRUST.DLL CRYPT32.DLL BCRYPT.DLL LZ32.DLL "
fail=0
dump=$(x86_64-w64-mingw32-objdump -p "$file")
echo "$file: $(stat -c %s "$file") bytes"
grep -q 'file format pei-x86-64' <<<"$(x86_64-w64-mingw32-objdump -f "$file")" ||
  { echo "FAIL: not an x86-64 image"; fail=1; }
grep -q 'Subsystem.*(Windows CUI)' <<<"$dump" || { echo "FAIL: not a console program"; fail=1; }
for dll in $(awk '/DLL Name:/{print $3}' <<<"$dump"); do
  echo "imports $dll"
  case "$system_dlls" in
    *" ${dll^^} "*) ;;
    *) echo "FAIL: imports from $dll, which Windows does not ship"; fail=1 ;;
  esac
done
exit $fail
