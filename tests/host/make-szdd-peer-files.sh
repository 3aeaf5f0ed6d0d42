#!/usr/bin/env bash
# Writes sample files and their SZDD forms made by mscompress, for the Windows-side
# tests of the stub's expansion:
#   make-szdd-peer-files.sh OUTPUT_DIR
# OUTPUT_DIR/szdd-peer/NAME    the original
# OUTPUT_DIR/szdd-peer/NAME_   its SZDD form (mscompress appends the underscore)
set -euo pipefail
dir=$1/szdd-peer
rm -rf "$dir" && mkdir -p "$dir"
# mscompress 0.4 stores files shorter than 16 bytes wrongly (its own msexpand gives
# other bytes back), so the samples start at 16 bytes; the empty file and single
# bytes are covered with the packer's encoder.
printf '16 bytes exactly' > "$dir/sixteen.bin"
head -c 5000 /dev/zero | tr '\0' 'r' > "$dir/run.bin"
{ printf '%40s\r\n' ''; for i in $(seq 1 300); do printf '    %-20s%8d\r\n' "item" "$i"; done; } \
  > "$dir/spaces.txt"
seq 1 30000 > "$dir/text.txt"
head -c 65536 /dev/urandom > "$dir/random.bin"
for f in "$dir"/*; do
  mscompress "$f"
done
