#!/usr/bin/env bash
# Creates the private Wine prefix the Windows-side tests run in, once and serially,
# before tests run in parallel. Drive D: is presented as a CD-ROM drive. The prefix is
# a 64-bit one that runs 32-bit programs too, which it can only if it was made after
# 32-bit Wine was installed: one made before lacks the 32-bit system DLLs, and every
# 32-bit program then ends at once with 0xC0000135. Such a prefix is made anew, and so
# is one that belongs to another user than the one Wine runs as (wine-user.sh).
#   prepare-prefix.sh PREFIX CDROM_DIR
set -euo pipefail
prefix=$1
cdrom=$2
source "$(dirname "$0")/wine-user.sh"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine() { as_wine_user /usr/lib/wine/wine64 "$@"; }
wineserver() { as_wine_user /usr/bin/wineserver "$@"; }
# The tests write to the CD-ROM drive as well.
mkdir -p "$cdrom"
give_to_wine_user "$cdrom"
# Wine's server and helper processes outlive the commands that start them: none of
# them may keep this script's output (CTest's pipe) open.
exec </dev/null >"$prefix.log" 2>&1
owner=${wine_user:-$(id -un)}
if [ -e "$prefix" ] && [ "$(stat -c %U "$prefix")" != "$owner" ]; then
  echo "prepare-prefix: $prefix belongs to $(stat -c %U "$prefix"), not $owner: making it anew"
  /usr/bin/wineserver -k || true
  rm -rf "$prefix"
elif [ -f "$prefix/system.reg" ] && [ -x /usr/lib/wine/wine ] &&
   [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "prepare-prefix: $prefix predates 32-bit Wine: making it anew"
  wineserver -k || true
  rm -rf "$prefix"
fi
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  give_to_wine_user "$prefix"
  wine wineboot -i || true
  wineserver -w
fi
ln -sfn "$cdrom" "$prefix/dosdevices/d:"
wine reg add 'HKLM\Software\Wine\Drives' /v 'd:' /d cdrom /f
# A virtual display has no window manager: Wine then waits two seconds for every
# window it hides. Windows it frames itself close at once.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# Wine's drive manager reads the drive types when it starts: end the server (and the
# manager with it), so that the next Wine process starts them afresh.
wineserver -k || true
wineserver -w
# One server kept alive between the many short test processes that follow.
wineserver -p60 || true
