#!/usr/bin/env bash
# Renders the stub's dialogs under Wine on a virtual display and saves them as PNGs:
#   main-dialog-extract.png   the main dialog of a package in extract mode
#   main-dialog-setup.png     the main dialog of a package in setup mode
#   progress-dialog.png       the progress dialog, taken while a larger package extracts
#   tools/screenshots.sh BUILD_DIR OUT_DIR
# BUILD_DIR is the host build tree (with its Windows test tree, i686 where it runs); the
# Wine prefix BUILD_DIR/wineprefix is used. Each picture is cut to its window.
set -euo pipefail
build=$(cd "${1:?usage: tools/screenshots.sh BUILD_DIR OUT_DIR}" && pwd)
out=${2:?usage: tools/screenshots.sh BUILD_DIR OUT_DIR}
top=$(cd "$(dirname "$0")/.." && pwd)
pack=$build/host/velmor-pack
win=$build/$(cat "$build/windows-test-arch")   # the tree with the Wine helpers: i686 where it can run
for f in "$pack" "$win/velmor.exe" "$win/drive-dialogs.exe" "$win/hello-setup.exe"; do
  [ -f "$f" ] || { echo "screenshots.sh: $f not found: build first" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

source "$top/tools/dialog-session.sh"
work=$(mktemp -d)
finish() {
  stop_show_wine
  stop_virtual_display
  rm -rf "$work" "${WINEPREFIX:-$work}/drive_c/Hello" "${WINEPREFIX:-$work}/drive_c/Sample Data"
}
trap finish EXIT
start_virtual_display
use_show_prefix "$build"
unmanaged_windows hello.exe data.exe

# The example with its setup program, in a folder of its own per mode so that both
# packages can be called hello.exe, the name the captions show.
mkdir -p "$work/files" "$work/extract" "$work/setup" "$work/big"
cp -a "$top/examples/hello/files/." "$work/files/"
cp "$win/hello-setup.exe" "$work/files/setup.exe"
common=(--stub "$win/velmor.exe" --run setup.exe --folder 'C:\Hello'
        --description-file "$top/examples/hello/description.txt")
"$pack" create "${common[@]}" "$work/files" -o "$work/extract/hello.exe" >/dev/null
"$pack" create "${common[@]}" --mode setup "$work/files" -o "$work/setup/hello.exe" >/dev/null

# A package that takes a few seconds to extract under Wine: many files of mixed sizes.
perl - "$work/big/src" <<'PL'
use strict;
my $root = shift;
srand(7);
open my $random, '<:raw', '/dev/urandom' or die;
read $random, my $pool, 1 << 20;
for my $d (0 .. 11) {
  mkdir "$root" unless -d $root;
  mkdir sprintf('%s/disc%02d', $root, $d) or die;
  for my $i (0 .. 249) {
    my $size = (4096, 16384, 65536, 262144)[int(rand(4))];
    open my $out, '>:raw', sprintf('%s/disc%02d/track%04d.dat', $root, $d, $d * 250 + $i) or die;
    print $out substr($pool, int(rand(length($pool) - $size)), $size);
  }
}
PL
"$pack" create --stub "$win/velmor.exe" --folder 'C:\Sample Data' \
  --description 'Sample data, 3000 files' "$work/big/src" -o "$work/big/data.exe" >/dev/null
rm -rf "$work/big/src"
give_to_wine_user "$work"

# shoot PACKAGE STOP PNG DRIVER_ARGS...: runs the driver and saves the window it stops at.
shoot() {
  local package=$1 stop=$2 png=$3
  shift 3
  local handshake=$work/handshake-$stop
  rm -rf "$handshake" && mkdir -p "$handshake"
  give_to_wine_user "$handshake"
  "$top/tests/wine/run-wine.sh" "$win/drive-dialogs.exe" "$package" --handshake "$handshake" \
    --stop "$stop" "$@" >"$work/driver.log" 2>&1 &
  local driver=$!
  capture_window "$handshake" "$stop" "$png" "$driver" || true
  local status=0
  wait $driver || status=$?
  if [ $status -ne 0 ] || [ ! -s "$png" ]; then
    cat "$work/driver.log" >&2
    echo "screenshots.sh: no picture $png" >&2
    exit 1
  fi
  printf 'screenshots.sh: %-52s %s, %d bytes\n' "$png" "$(identify -format '%wx%h' "$png")" \
    "$(stat -c %s "$png")"
}

shoot "$work/extract/hello.exe" main "$out/main-dialog-extract.png" --press cancel
shoot "$work/setup/hello.exe" main "$out/main-dialog-setup.png" --press cancel
# A third of the way through the run.
shoot "$work/big/data.exe" progress "$out/progress-dialog.png" --progress-at 1000
