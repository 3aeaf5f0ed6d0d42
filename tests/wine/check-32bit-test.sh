#!/usr/bin/env bash
# check-32bit.sh names the cause when 32-bit programs cannot run, and blames no
# binfmt_misc handler that leaves them alone. Only the causes found before Wine starts
# are tried here: the probe itself restarts the Wine server, which tests running
# beside this one share.
#   tests/wine/check-32bit-test.sh BUILD_DIR
set -uo pipefail
build=${1:?usage: check-32bit-test.sh BUILD_DIR}
check=$(cd "$(dirname "$0")" && pwd)/check-32bit.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A loader the kernel refuses, as one without IA-32 emulation refuses Wine's.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$work/no-ia32-loader"
chmod +x "$work/no-ia32-loader"
handler() { # DIR NAME STATE MAGIC
  mkdir -p "$1"
  printf '%s\ninterpreter /usr/bin/qemu-%s\nflags: \noffset 0\nmagic %s\n' "$3" "$2" "$4" >"$1/$2"
}
i386_magic=7f454c4601010100000000000000000002000300
arm_magic=7f454c4601010100000000000000000002002800
handler "$work/i386" i386 enabled $i386_magic
handler "$work/i386-off" i386 disabled $i386_magic
handler "$work/arm" arm enabled $arm_magic
handler "$work/elf32-any" elf32 enabled 7f454c4601
mkdir -p "$work/none"

# name | loader | binfmt dir | expected cause
while IFS='|' read -r name loader dir expected; do
  output=$(VELMOR_WINE32_LOADER=$loader VELMOR_BINFMT_DIR=$work/$dir "$check" "$build")
  status=$?
  if [ $status -ne 1 ] || [ "$output" != "32-bit Windows programs cannot run here: $expected" ]; then
    echo "FAIL $name: status $status, '$output'"
    failures=$((failures + 1))
  fi
done <<EOF_CASES
no 32-bit Wine|$work/missing|none|Wine's 32-bit loader $work/missing is missing (Debian package wine32:i386)
i386 handler|$work/no-ia32-loader|i386|the binfmt_misc handler i386 (interpreter /usr/bin/qemu-i386) takes over 32-bit programs, Wine's loader among them
handler for every 32-bit ELF|$work/no-ia32-loader|elf32-any|the binfmt_misc handler elf32 (interpreter /usr/bin/qemu-elf32) takes over 32-bit programs, Wine's loader among them
disabled i386 handler|$work/no-ia32-loader|i386-off|the kernel does not run 32-bit x86 programs (no IA-32 emulation: CONFIG_IA32_EMULATION)
arm handler|$work/no-ia32-loader|arm|the kernel does not run 32-bit x86 programs (no IA-32 emulation: CONFIG_IA32_EMULATION)
EOF_CASES

[ $failures -eq 0 ] && echo "check-32bit-test: all cases passed"
exit $((failures > 0))
