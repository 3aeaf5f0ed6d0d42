#!/usr/bin/env bash
# Compiles the locales that the launcher's language tests run Wine under into a folder
# of the build tree, used through LOCPATH, so that the machine's own choice of
# generated locales does not matter. Needs the locale sources (Debian: locales).
#   make-locales.sh DIR NAME...      e.g. make-locales.sh build/locales de_DE ja_JP
set -euo pipefail
dir=$1
shift
mkdir -p "$dir"
for name in "$@"; do
  out=$dir/$name.UTF-8
  if [ ! -f "$out/LC_CTYPE" ]; then
    # localedef exits with 1 for mere warnings; the files it wrote are what counts.
    localedef -i "$name" -f UTF-8 "$out" || true
    [ -f "$out/LC_CTYPE" ] || { echo "cannot compile locale $name.UTF-8" >&2; exit 1; }
  fi
done
