#!/usr/bin/env bash
# Packing throughput against cat of the same files, in the same run:
#   bench/pack.sh BUILD_DIR [MEGABYTES]
# Packing without compression only moves bytes, so it should stay close to cat.
set -euo pipefail
build=$1
megabytes=${2:-400}
pack=$build/host/velmor-pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/sub"
# A few large files and some small ones.
for i in 1 2 3 4; do
  head -c $((megabytes / 4))M /dev/urandom > "$work/src/large$i.bin"
done
for i in $(seq 1 200); do head -c 20000 /dev/urandom > "$work/src/sub/small$i.dat"; done
total=$(du -sb "$work/src" | cut -f1)

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }

best_pack=999 best_cat=999
for run in 1 2 3; do
  rm -f "$work/out.exe" "$work/out.cat"; sync
  t=$(seconds "$pack" create "$work/src" -o "$work/out.exe")
  best_pack=$(echo "if ($t < $best_pack) $t else $best_pack" | bc -l)
  rm -f "$work/out.exe"; sync
  t=$(seconds sh -c "find '$work/src' -type f -print0 | sort -z | xargs -0 cat > '$work/out.cat'")
  best_cat=$(echo "if ($t < $best_cat) $t else $best_cat" | bc -l)
done
mb=$(echo "$total / 1048576" | bc -l)
printf 'packing %.0f MB in %d files (best of 3)\n' "$mb" "$(find "$work/src" -type f | wc -l)"
printf '  velmor-pack create  %6.2f s  %7.1f MB/s\n' "$best_pack" "$(echo "$mb / $best_pack" | bc -l)"
printf '  cat                 %6.2f s  %7.1f MB/s\n' "$best_cat" "$(echo "$mb / $best_cat" | bc -l)"
printf '  ratio pack/cat      %6.2f   (target: at most 1.5)\n' "$(echo "$best_pack / $best_cat" | bc -l)"
