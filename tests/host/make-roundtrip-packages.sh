#!/usr/bin/env bash
# Writes a source tree and packs it twice for the Windows-side round-trip tests:
#   make-roundtrip-packages.sh VELMOR_PACK STUB OUTPUT_DIR
# OUTPUT_DIR/roundtrip-src   the tree
# OUTPUT_DIR/plain.exe       extract mode, no texts, each file's own three times
# OUTPUT_DIR/setup.exe       setup mode with program, folder and description
set -euo pipefail
pack=$1 stub=$2 out=$3
src=$out/roundtrip-src
rm -rf "$src" && mkdir -p "$src/docs/img" "$src/zeta"
printf 'first file\r\n' > "$src/a.txt"
printf 'caf\xc3\xa9' > "$src/café.txt"
: > "$src/empty.dat"
printf 'do not change\n' > "$src/readonly.txt"
chmod 0444 "$src/readonly.txt"
printf 'guide\n' > "$src/docs/guide.txt"
head -c 70000 /dev/urandom > "$src/docs/img/logo.bin"
printf 'last\n' > "$src/zeta/z.txt"
touch -m -d '2001-02-03 04:05:06.7' "$src/a.txt"
# Access times after every other time of the file and not yet passed: under relatime
# no read moves them, so the times stored still match the tree when the tests look.
find "$src" -type f -exec touch -a -d '2031-04-05 06:07:08' {} +
touch -a -d '2032-03-04 05:06:07' "$src/a.txt"

"$pack" create --stub "$stub" --all-times "$src" -o "$out/plain.exe" >/dev/null
"$pack" create --stub "$stub" --mode setup --run 'docs\guide.txt' --folder 'C:\Velmor Test' \
  --description $'Two\nlines' "$src" -o "$out/setup.exe" >/dev/null
