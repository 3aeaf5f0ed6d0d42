#!/usr/bin/env bash
# Creates the private Wine prefix the Windows-side tests run in, once and serially,
# before tests run in parallel. Drive D: is presented as a CD-ROM drive. The prefix is
# a 64-bit one that runs 32-bit programs too, which it can only if it was made after
# 32-bit Wine was installed: one made before lacks the 32-bit system DLLs, and every
# 32-bit program then ends at once with 0xC0000135. Such a prefix is made anew.
#   prepare-prefix.sh PREFIX CDROM_DIR
set -euo pipefail
prefix=$1
cdrom=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
mkdir -p "$cdrom"
# Wine's server and helper processes outlive the commands that start them: none of
# them may keep this script's output (CTest's pipe) open.
exec </dev/null >"$prefix.log" 2>&1
if [ -f "$prefix/system.reg" ] && [ -x /usr/lib/wine/wine ] &&
   [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "prepare-prefix: $prefix predates 32-bit Wine: making it anew"
  wineserver -k || true
  rm -rf "$prefix"
fi
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot -i || true
  wineserver -w
fi
ln -sfn "$cdrom" "$prefix/dosdevices/d:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v 'd:' /d cdrom /f
# A virtual display has no window manager: Wine then waits two seconds for every
# window it hides. Windows it frames itself close at once.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# Wine's drive manager reads the drive types when it starts: end the server (and the
# manager with it), so that the next Wine process starts them afresh.
wineserver -k || true
wineserver -w
# One server kept alive between the many short test processes that follow.
wineserver -p60 || true
