#!/usr/bin/env bash
# A small drive for the disk-full test: a tmpfs of 1 MiB at DIR, owned by the user
# Wine runs as (wine-user.sh), and drive S: of the prefix pointing at it.
# Mounting needs root (CI runs as root). Where no drive can be mounted this says why,
# makes none and leaves the reason in DIR.not-mounted, which kit's summary repeats:
# the test then reports itself skipped, or fails where VELMOR_REQUIRE_SMALL_DRIVE is set.
#   small-drive.sh mount PREFIX DIR
#   small-drive.sh unmount PREFIX DIR
set -euo pipefail
action=$1
prefix=$2
dir=$3
source "$(dirname "$0")/wine-user.sh"
drive=$prefix/dosdevices/s:

release() {
  rm -f "$drive" 2>/dev/null || true
  # Wine's server may still hold a file of the drive for a moment: unmount lazily then.
  if mountpoint -q "$dir"; then
    umount "$dir" 2>/dev/null || umount -l "$dir"
  fi
}

case $action in
mount)
  release
  rm -f "$dir.not-mounted"
  if [ "$(id -u)" -ne 0 ]; then
    echo "not run as root" | tee "$dir.not-mounted"
    exit 0
  fi
  mkdir -p "$dir"
  if ! mount -t tmpfs -o "size=1m,mode=0755,uid=$(id -u "$wine_user"),gid=$(id -g "$wine_user")" \
    velmor-small-drive "$dir"; then
    echo "root may not mount a tmpfs here" | tee "$dir.not-mounted"
    exit 0
  fi
  ln -sfn "$dir" "$drive"
  ;;
unmount)
  release
  ;;
*)
  echo "small-drive: unknown action $action" >&2
  exit 2
  ;;
esac
