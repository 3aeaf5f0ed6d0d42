#!/usr/bin/env bash
# Extraction speed of the stub under Wine against the floor for the same work on the
# same Wine, for a few large files and for thousands of small ones. The stub and the
# programs are those of the Windows test tree: the shipped i686 ones where 32-bit Wine runs.
#   bench/extract.sh BUILD_DIR     (host tree with its Windows test tree built)
# Columns, each the median of $VELMOR_BENCH_RUNS runs (default 3), in milliseconds:
#   stub        ExtractAll of the stub's own code, timed inside the process
#               (extract-bench: the package loaded as the stub loads itself)
#   floor       extract-floor: the same bytes read from one plain file and written
#               as the same files in the same directories through one 1 MiB buffer,
#               timed inside the process
#   floor-whole the floor with a buffer of each file's full size, allocated per file:
#               the cost of that way of copying on this Wine
#   floor-calls floor-whole with the other calls the stub must make for every entry:
#               message pump, directory check, target reopened for its times, its
#               attributes set (extract-floor --stub-calls). Under Wine each open of a
#               file costs a server round trip that resolves the whole path, and
#               setting attributes opens the file once more: three opens an entry
#               against the floor's one. stub/floor-calls is what the stub's own
#               code adds to that.
#   package     the real package driven through its dialogs: from pressing Extract
#               to the end of its process
#   package-1   the same less the same for a package of one small file: what the
#               dialogs, the progress dialog's start delay and the exit cost
# The dialogs run on a virtual display in the prefix BUILD_DIR/wineprefix-show.
# The data is generated in a temporary folder and removed at the end; every
# extraction is compared with the source once before its times count.
set -euo pipefail
build=$(cd "${1:?usage: bench/extract.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${VELMOR_BENCH_RUNS:-3}
pack=$build/host/velmor-pack
win=$build/$(cat "$build/windows-test-arch")   # the tree with the Wine helpers: i686 where it can run
for f in "$pack" "$win/velmor.exe" "$win/extract-bench.exe" "$win/extract-floor.exe" \
         "$win/drive-dialogs.exe"; do
  [ -f "$f" ] || { echo "extract.sh: $f not found: build first" >&2; exit 1; }
done

source "$top/tools/dialog-session.sh"
work=$(mktemp -d)
finish() {
  stop_show_wine
  stop_virtual_display
  rm -rf "$work"
}
trap finish EXIT
start_virtual_display
use_show_prefix "$build"
unmanaged_windows package.exe one.exe
run_wine() { "$top/tests/wine/run-wine.sh" "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# generate KIND DIR PLAN: the source files in DIR and the floor's plan in PLAN
# (size, tab, path with backslashes), in the order the packer stores them: a
# folder's own files first, then each subfolder.
generate() {
  perl - "$@" <<'PL'
use strict;
my ($kind, $root, $plan) = @ARGV;
my @files;
if ($kind eq 'large') {
  @files = (['video.bin', 120 << 20], ['disc1/archive.bin', 100 << 20], ['disc2/image.bin', 80 << 20]);
} else {
  srand(7);
  for my $d (0 .. 29) {
    for my $i (0 .. 99) {
      push @files, [sprintf('dir%02d/file%04d.txt', $d, $d * 100 + $i), 256 + int(rand(16384))];
    }
  }
}
open my $random, '<:raw', '/dev/urandom' or die;
my $pool = '';
read $random, $pool, 1 << 20;
open my $out_plan, '>', $plan or die;
for my $f (@files) {
  my ($name, $size) = @$f;
  my $path = "$root/$name";
  (my $dir = $path) =~ s{/[^/]+$}{};
  system('mkdir', '-p', $dir) unless -d $dir;
  open my $out, '>:raw', $path or die "$path: $!";
  for (my $left = $size; $left > 0;) {
    my $n = $left < length($pool) ? $left : length($pool);
    print $out substr($pool, int(rand(length($pool) - $n + 1)), $n);
    $left -= $n;
    read $random, $pool, 1 << 20 if $size > (1 << 20);
  }
  close $out;
  (my $windows = $name) =~ s{/}{\\}g;
  print $out_plan "$size\t$windows\n";
}
PL
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
value() { awk -v k="$1" '$1 == k { print $2 }'; }

# The dialogs' own cost: a package of one small file, pressed through the same way.
mkdir -p "$work/one/src"
echo one >"$work/one/src/one.txt"
"$pack" create --stub "$win/velmor.exe" --folder "$(winpath "$work/one/out")" \
  "$work/one/src" -o "$work/one/one.exe" >/dev/null
# Wine writes the extracted files below the folders it is given.
give_to_wine_user "$work"
overheads=()
for ((r = 0; r < runs; r++)); do
  rm -rf "$work/one/out"
  overheads+=("$(run_wine "$win/drive-dialogs.exe" "$work/one/one.exe" | value press-to-exit-ms)")
done
overhead=$(printf '%s\n' "${overheads[@]}" | median)

echo "stub, floor and drivers: the $(basename "$win") build, under Wine $(/usr/lib/wine/wine64 --version)"
printf '%-12s %6s %11s %9s %9s %10s %11s %11s %16s %9s %9s %15s\n' set files bytes stub floor \
  stub/floor floor-whole floor-calls stub/floor-calls package package-1 package-1/floor
for kind in large small; do
  dir=$work/$kind
  mkdir -p "$dir"
  generate "$kind" "$dir/src" "$dir/plan.txt"
  files=$(wc -l <"$dir/plan.txt")
  bytes=$(awk -F '\t' '{ s += $1 } END { print s }' "$dir/plan.txt")
  "$pack" create --stub "$win/velmor.exe" --folder "$(winpath "$dir/out")" \
    "$dir/src" -o "$dir/package.exe" >/dev/null
  # The floor's single file: the same bytes in the order of its plan.
  while IFS=$'\t' read -r _ name; do
    cat "$dir/src/${name//\\//}"
  done <"$dir/plan.txt" >"$dir/data.bin"
  give_to_wine_user "$dir"

  # Every program must produce exactly the source once.
  run_wine "$win/extract-bench.exe" "$dir/package.exe" "$(winpath "$dir/out")" >/dev/null
  diff -r "$dir/src" "$dir/out" >/dev/null || { echo "extract.sh: the stub's output differs" >&2; exit 1; }
  rm -rf "$dir/out"
  run_wine "$win/extract-floor.exe" "$(winpath "$dir/data.bin")" "$(winpath "$dir/plan.txt")" "$(winpath "$dir/out")" >/dev/null
  diff -r "$dir/src" "$dir/out" >/dev/null || { echo "extract.sh: the floor's output differs" >&2; exit 1; }
  rm -rf "$dir/out"
  run_wine "$win/drive-dialogs.exe" "$dir/package.exe" >/dev/null
  diff -r "$dir/src" "$dir/out" >/dev/null || { echo "extract.sh: the package's output differs" >&2; exit 1; }
  rm -rf "$dir/src" "$dir/out"

  stub=() floor=() whole=() calls=() package=()
  for ((r = 0; r < runs; r++)); do
    stub+=("$(run_wine "$win/extract-bench.exe" "$dir/package.exe" "$(winpath "$dir/out")" | value extract-ms)")
    rm -rf "$dir/out"
    floor+=("$(run_wine "$win/extract-floor.exe" "$(winpath "$dir/data.bin")" "$(winpath "$dir/plan.txt")" "$(winpath "$dir/out")" | value floor-ms)")
    rm -rf "$dir/out"
    whole+=("$(run_wine "$win/extract-floor.exe" "$(winpath "$dir/data.bin")" "$(winpath "$dir/plan.txt")" "$(winpath "$dir/out")" --whole | value floor-ms)")
    rm -rf "$dir/out"
    calls+=("$(run_wine "$win/extract-floor.exe" "$(winpath "$dir/data.bin")" "$(winpath "$dir/plan.txt")" "$(winpath "$dir/out")" --stub-calls | value floor-ms)")
    rm -rf "$dir/out"
    package+=("$(run_wine "$win/drive-dialogs.exe" "$dir/package.exe" | value press-to-exit-ms)")
    rm -rf "$dir/out"
  done
  s=$(printf '%s\n' "${stub[@]}" | median)
  f=$(printf '%s\n' "${floor[@]}" | median)
  w=$(printf '%s\n' "${whole[@]}" | median)
  c=$(printf '%s\n' "${calls[@]}" | median)
  p=$(printf '%s\n' "${package[@]}" | median)
  awk -v k="$kind files" -v n="$files" -v b="$bytes" -v s="$s" -v f="$f" -v w="$w" -v c="$c" -v p="$p" -v o="$overhead" 'BEGIN {
    printf "%-12s %6d %11d %9.1f %9.1f %10.3f %11.1f %11.1f %16.3f %9.1f %9.1f %15.3f\n", k, n, b, s, f, s / f, w, c, s / c, p, p - o, (p - o) / f }'
  echo "  runs: stub ${stub[*]} / floor ${floor[*]} / floor-whole ${whole[*]} / floor-calls ${calls[*]} / package ${package[*]} (ms)"
  rm -rf "$dir"
done
echo "one-file package, press to exit: ${overheads[*]} ms (median $overhead)"
