#!/usr/bin/env bash
# velmor-pack on Linux and velmor-pack.exe under 64-bit Wine, given the same tree and
# the same SOURCE_DATE_EPOCH, write the same package byte for byte, and print the same
# list --json and verify --json of it; every command then ends with the same exit
# status, prints the same text where no system's own words are in it, and writes
# the same files. Both run in the same folder with the same relative arguments, so
# that no path in their output differs.
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
# One job too: on Windows it appends after patching a header in place, the way that
# once wrote a damaged package.
for mode in "" "--compress" "--compress --jobs=1"; do
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

# same MODE ARGS...: runs both; MODE "text" compares exit status and output, "paths"
# the same with every backslash taken for "/" (each system joins paths with its own
# separator), "status"
# the exit status alone (the output holds the system's own words for a failure).
same() {
  local mode=$1; shift
  local ls=0 ws=0
  "$linux_pack" "$@" >linux.out 2>&1 || ls=$?
  windows "$@" >windows.out 2>&1 || ws=$?
  if [ $ls -ne $ws ]; then
    echo "$*: exit status $ls on Linux, $ws on Windows"; cat linux.out windows.out; status=1
  elif [ "$mode" = paths ] && ! cmp -s <(tr '\\' / <linux.out) <(tr '\\' / <windows.out); then
    echo "$*: the output differs:"; diff <(tr '\\' / <linux.out) <(tr '\\' / <windows.out) | head -20; status=1
  elif [ "$mode" = text ] && ! cmp -s linux.out windows.out; then
    echo "$*: the output differs:"; diff linux.out windows.out | head -20; status=1
  else
    echo "$*: exit status $ls on both"
  fi
}
head -c 3000 linux-pack--compress.exe >cut.exe
give_to_wine_user "$out"
same text list linux-pack--compress.exe
same text verify linux-pack.exe linux-pack--compress.exe
same text verify --json cut.exe
same text verify --folder 'C:\Program Files\Acme' linux-pack.exe
same text verify --folder Acme linux-pack.exe
same status verify missing.exe
same text create tree -o tree/inside.exe --stub velmor.exe
same text create --no-such-option tree -o x.exe
same text szdd
same text extract cut.exe cut-out
printf '[Setup Program]\r\nWindows 4 10 Setup-File=W98\\Setup.exe\r\n407 Setup-File=DE\\Setup.exe\r\nSetup-File=Any.exe\r\n' >INSTALL.CFG
mkdir -p medium/de && : >medium/de/setup.EXE
give_to_wine_user "$out"
same text which-setup --windows 98 INSTALL.CFG
same paths which-setup --windows XP --lang 407 --media medium INSTALL.CFG
same paths which-setup --windows 10 --media medium INSTALL.CFG
same text which-setup --windows 3.1 INSTALL.CFG
# Writers: each build writes its own copy, and the copies are compared.
for build in linux windows; do
  run=("$linux_pack"); [ $build = linux ] || run=(windows)
  "${run[@]}" extract linux-pack--compress.exe "extracted-$build" >/dev/null 2>&1 || { echo "extract on $build failed"; status=1; }
  "${run[@]}" szdd compress "tree/sub folder/large.log" "$build.lo_" >/dev/null 2>&1 || { echo "szdd compress on $build failed"; status=1; }
  "${run[@]}" szdd expand linux.lo_ "$build-back.log" >/dev/null 2>&1 || { echo "szdd expand on $build failed"; status=1; }
done
diff -r extracted-linux extracted-windows && echo "extract: the same files" || { echo "extract: the files differ"; status=1; }
cmp linux.lo_ windows.lo_ && cmp linux-back.log windows-back.log && cmp linux-back.log "tree/sub folder/large.log" &&
  echo "szdd: the same files" || status=1
exit $status
