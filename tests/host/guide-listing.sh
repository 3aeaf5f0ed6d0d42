#!/usr/bin/env bash
# Prints the listing that follows a marker line in the guide: the lines of the first
# fenced block after it, without the fences.
#   guide-listing.sh GUIDE MARKER     e.g. guide-listing.sh docs/velmor-pack.md '<!-- ci-job -->'
set -euo pipefail
awk -v mark="$2" '
  $0 == mark { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  inside { print }' "$1"
