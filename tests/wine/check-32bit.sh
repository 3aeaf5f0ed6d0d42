#!/usr/bin/env bash
# Can this machine run the shipped 32-bit programs? Builds a tiny i686 console program
# that prints its pointer size and runs it under Wine in the test prefix (created or,
# when it predates 32-bit Wine, made anew by prepare-prefix.sh).
#   check-32bit.sh BUILD_DIR
# Prints one line: that 32-bit programs run, or the cause why not. Exit status 0 or 1.
# VELMOR_WINE32_LOADER and VELMOR_BINFMT_DIR stand in for Wine's 32-bit loader and
# /proc/sys/fs/binfmt_misc (tests/wine/check-32bit-test.sh).
set -uo pipefail
build=$(cd "${1:?usage: check-32bit.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
loader32=${VELMOR_WINE32_LOADER:-/usr/lib/wine/wine}
binfmt=${VELMOR_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}

cannot() {
  echo "32-bit Windows programs cannot run here: $*"
  exit 1
}

# An enabled binfmt_misc handler whose magic matches 32-bit x86 ELF programs takes
# over Wine's own 32-bit loader. Prints "NAME (INTERPRETER)" of the first one.
i386_elf_handler() {
  local f magic
  for f in "$binfmt"/*; do
    case ${f##*/} in register | status) continue ;; esac
    [ -r "$f" ] && grep -qx enabled "$f" || continue
    magic=$(sed -n 's/^magic //p' "$f")
    # ELF, 32-bit; e_machine (bytes 18-19) 3 = i386, or not looked at.
    case $magic in 7f454c4601*) ;; *) continue ;; esac
    if [ ${#magic} -ge 40 ] && [ "${magic:36:4}" != 0300 ]; then
      continue
    fi
    echo "${f##*/} (interpreter $(sed -n 's/^interpreter //p' "$f"))"
    return 0
  done
  return 1
}

[ -x "$loader32" ] || cannot "Wine's 32-bit loader $loader32 is missing (Debian package wine32:i386)"
if handler=$(i386_elf_handler); then
  cannot "the binfmt_misc handler $handler takes over 32-bit programs, Wine's loader among them"
fi
"$loader32" --version >/dev/null 2>&1
status=$?
if [ $status -eq 126 ]; then
  cannot "the kernel does not run 32-bit x86 programs (no IA-32 emulation: CONFIG_IA32_EMULATION)"
elif [ $status -ne 0 ]; then
  cannot "Wine's 32-bit loader $loader32 fails to start (status $status)"
fi

probe=$build/probe/pointer-size.exe
mkdir -p "${probe%/*}"
if ! i686-w64-mingw32-g++ -Os -s -static -o "$probe" "$top/tests/wine/pointer_size.cpp" 2>"$probe.log"; then
  cannot "the i686 probe program does not build ($(head -n1 "$probe.log"))"
fi
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$top/tests/wine/prepare-prefix.sh" "$WINEPREFIX" "$build/wine-cdrom" ||
  cannot "the Wine prefix $WINEPREFIX cannot be prepared (see $WINEPREFIX.log)"
output=$("$top/tests/wine/run-wine.sh" "$probe" 2>&1)
status=$?
case $output in
  *ptr=4*) echo "32-bit Windows programs run here (32-bit Wine: $("$loader32" --version 2>/dev/null))"; exit 0 ;;
  *"failed to map the shared user data"*)
    cannot "Wine's 32-bit loader failed to map the shared user data; a binfmt_misc handler for i386 programs (such as qemu-i386) registered outside this machine's view is the usual cause" ;;
esac
cannot "the i686 probe program ended with status $status and printed '$(echo "$output" | head -n1)'"
