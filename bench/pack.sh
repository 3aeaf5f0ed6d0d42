#!/usr/bin/env bash
# Packing throughput against cat of the same files, in the same run:
#   bench/pack.sh BUILD_DIR [MEGABYTES]
# Packing without compression only moves bytes, so it should stay close to cat.
# Then the same files compressed (create --compress) with -j 1 and -j 2: the time of
# each, the speed-up, the peak memory (resident set, from GNU time) and whether the
# packages are the same. Before files were compressed in parallel, on the 2-core
# bench machine: 8.1 to 8.4 s for --compress (one file at a time, 7.4 s of CPU),
# peak 218 MB (the largest file and its SZDD data). Before compression streamed, each
# file being compressed was held whole with its SZDD data: -j 1 peaked at 218 to 221 MB
# and -j 2 at 430 to 440 MB; now neither grows with the files (8.4 and 9.3 MB, and
# 4.5 and 5.4 MB since velmor-pack no longer maps ICU and libcrypto at start).
set -euo pipefail
build=$1
megabytes=${2:-400}
pack=$build/host/velmor-pack
. "$(dirname "$0")/common.bash"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench_tree "$work/src" "$megabytes"
total=$(du -sb "$work/src" | cut -f1)

best_pack=999 best_cat=999
for run in 1 2 3; do
  rm -f "$work/out.exe" "$work/out.cat"; sync
  t=$(seconds "$pack" create "$work/src" -o "$work/out.exe")
  best_pack=$(least "$t" "$best_pack")
  rm -f "$work/out.exe"; sync
  t=$(seconds sh -c "find '$work/src' -type f -print0 | sort -z | xargs -0 cat > '$work/out.cat'")
  best_cat=$(least "$t" "$best_cat")
done
mb=$(echo "$total / 1048576" | bc -l)
printf 'packing %.0f MB in %d files (best of 3)\n' "$mb" "$(find "$work/src" -type f | wc -l)"
printf '  velmor-pack create  %6.2f s  %7.1f MB/s\n' "$best_pack" "$(echo "$mb / $best_pack" | bc -l)"
printf '  cat                 %6.2f s  %7.1f MB/s\n' "$best_cat" "$(echo "$mb / $best_cat" | bc -l)"
printf '  ratio pack/cat      %6.2f   (target: at most 1.5)\n' "$(echo "$best_pack / $best_cat" | bc -l)"

# Compression: random data, the encoder's fastest case and the largest output.
[ -x /usr/bin/time ] || { echo "pack.sh: /usr/bin/time not installed (Debian package time)" >&2; exit 1; }
best=(- 999 999) peak=(- 0 0) # [j]
for run in 1 2; do
  for j in 1 2; do
    rm -f "$work/c$j.exe"
    /usr/bin/time -f '%e %M' -o "$work/time" "$pack" create --compress -j $j "$work/src" -o "$work/c$j.exe" >/dev/null
    read -r t kb < "$work/time"
    best[j]=$(least "$t" "${best[j]}")
    [ "$kb" -gt "${peak[j]}" ] && peak[j]=$kb
  done
done
best_j1=${best[1]} best_j2=${best[2]} peak_j1=${peak[1]} peak_j2=${peak[2]}
same=no
cmp -s "$work/c1.exe" "$work/c2.exe" && same=yes
printf 'compressing the same files (create --compress, best of 2)\n'
printf '  -j 1                %6.2f s  %7.1f MB/s  (before: 8.1 s)\n' "$best_j1" "$(echo "$mb / $best_j1" | bc -l)"
printf '  -j 2                %6.2f s  %7.1f MB/s\n' "$best_j2" "$(echo "$mb / $best_j2" | bc -l)"
printf '  speed-up -j 2       %6.2f   (before: 1.00, one file at a time)\n' "$(echo "$best_j1 / $best_j2" | bc -l)"
printf '  peak memory -j 1    %6.1f MB (before streaming: 218 to 221 MB)\n' "$(echo "$peak_j1 / 1024" | bc -l)"
printf '  peak memory -j 2    %6.1f MB (before streaming: 430 to 440 MB)\n' "$(echo "$peak_j2 / 1024" | bc -l)"
printf '  -j 2 package the same as -j 1: %s\n' "$same"
[ $same = yes ] || { echo "pack.sh: the -j 2 package differs from the -j 1 package" >&2; exit 1; }
