#!/usr/bin/env bash
# What velmor-pack extract costs on the host, in time and memory, and what compressing
# and expanding one large file cost:
#   bench/host-extract.sh BUILD_DIR [MEGABYTES]     (default 600)
# Rows: elapsed seconds, CPU seconds (user and system), the peak resident memory
# (GNU time's %M). Elapsed time for many small files depends on the file system's
# other work; CPU time less so.
#   N one-byte files   extract of a package with N one-byte files in one folder, for
#                      10000, 20000 and 40000: the run should grow linearly with N
#   MB stored          extract of one file of MEGABYTES stored as it is
#   MB compressed      extract of the same file SZDD-compressed (half random, half text)
#   verify compressed  verify of that package, which expands every entry
#   create --compress  writing that package
#   szdd compress      the same file to an SZDD file, and szdd expand back
# Compressing and expanding hold no file whole: each peak stays near 8 MB for any size.
# Set VELMOR_PACK to measure another velmor-pack.
set -euo pipefail
build=$(cd "${1:?usage: bench/host-extract.sh BUILD_DIR [MEGABYTES]}" && pwd)
megabytes=${2:-600}
pack=${VELMOR_PACK:-$build/host/velmor-pack}
stub=$build/i686/velmor.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {
  local label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null
  read -r seconds user system kilobytes <"$work/time"
  printf '%-22s %8s s elapsed %8s s CPU %8d KB\n' "$label" "$seconds" "$(echo "$user + $system" | bc)" "$kilobytes"
}

for n in 10000 20000 40000; do
  rm -rf "$work/many" "$work/dest"
  mkdir -p "$work/many/d"
  (cd "$work/many/d" && seq -f 'file%.0f.txt' 1 "$n" | xargs -n 1000 sh -c 'for f; do printf x > "$f"; done' sh)
  "$pack" create -q --stub "$stub" "$work/many" -o "$work/many.exe"
  measure "$n one-byte files" "$pack" extract -q "$work/many.exe" "$work/dest"
done
rm -rf "$work/many" "$work/dest" "$work/many.exe"

mkdir -p "$work/big"
half=$((megabytes / 2))
{ head -c "${half}M" /dev/urandom; yes 'a line of text that compresses, 0123456789' | head -c "${half}M" || true; } \
  >"$work/big/big.bin"
"$pack" create -q --stub "$stub" "$work/big" -o "$work/stored.exe"
measure "create --compress" "$pack" create -q --stub "$stub" --compress "$work/big" -o "$work/compressed.exe"
measure "$megabytes MB stored" "$pack" extract -q "$work/stored.exe" "$work/dest1"
measure "$megabytes MB compressed" "$pack" extract -q "$work/compressed.exe" "$work/dest2"
measure "verify compressed" "$pack" verify -q "$work/compressed.exe"
cmp "$work/big/big.bin" "$work/dest1/big.bin"
cmp "$work/big/big.bin" "$work/dest2/big.bin"
rm -rf "$work/dest1" "$work/dest2" "$work/stored.exe"
measure "szdd compress" "$pack" szdd compress "$work/big/big.bin" "$work/big.bi_"
measure "szdd expand" "$pack" szdd expand "$work/big.bi_" "$work/back.bin"
cmp "$work/big/big.bin" "$work/back.bin"
