#!/usr/bin/env bash
# velmor-pack on Linux and velmor-pack.exe under 64-bit Wine, given the same tree and
# the same SOURCE_DATE_EPOCH, write the same package byte for byte, and print the same
# list --json and verify --json of it. Both run in the same folder with the same
# relative arguments, so that no path in their output differs.
#   cross-check-windows.sh LINUX_PACK WINDOWS_PACK STUB OUTPUT_DIR
# WINEPREFIX names the prefix to run in.
set -euo pipefail
linux_pack=$1 windows_pack=$2 stub=$3 out=$4
source "$(dirname "$0")/../wine/wine-user.sh"
windows() { as_wine_user /usr/lib/wine/wine64 "$windows_pack" "$@"; }

rm -rf "$out" && mkdir -p "$out/tree/sub folder"
cd "$out"
cp "$stub" velmor.exe
printf 'plain text\r\n' >tree/readme.txt
printf 'accents\n' >"tree/naïve café.txt"
printf 'below\n' >"tree/sub folder/Ünïcode.dat"
# Over 100 KB, compressible but not trivially: lines of a counter.
seq 1 20000 | sed 's/$/ velmor/' >"tree/sub folder/large.log"
chmod 444 tree/readme.txt
touch -d '2024-05-06 07:08:09 UTC' tree/readme.txt "tree/naïve café.txt" "tree/sub folder"/*
give_to_wine_user "$out"

export SOURCE_DATE_EPOCH=1700000000
status=0
for mode in "" "--compress"; do
  args=(create tree -o "pack$mode.exe" --stub velmor.exe --folder 'C:\Acme' $mode)
  "$linux_pack" "${args[@]/#pack/linux-pack}" >linux.out 2>&1 || { cat linux.out; exit 1; }
  windows "${args[@]/#pack/windows-pack}" >windows.out 2>&1 || { echo "velmor-pack.exe create $mode failed:"; cat windows.out; exit 1; }
  if cmp "linux-pack$mode.exe" "windows-pack$mode.exe"; then
    echo "create $mode: the same $(stat -c %s "linux-pack$mode.exe") bytes"
  else
    echo "create $mode: the packages differ"; status=1
  fi
  for command in list verify; do
    "$linux_pack" $command --json "linux-pack$mode.exe" >linux.json 2>&1 || true
    windows $command --json "linux-pack$mode.exe" >windows.json 2>&1 || true
    if cmp -s linux.json windows.json; then
      echo "$command --json $mode: the same document"
    else
      echo "$command --json $mode: the documents differ:"; diff linux.json windows.json | head -20; status=1
    fi
  done
done
exit $status
