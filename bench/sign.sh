#!/usr/bin/env bash
# What each step of signing costs on a large package, with a throw-away key:
#   bench/sign.sh BUILD_DIR [MEGABYTES]     (default 400)
# Rows, each the best of $VELMOR_BENCH_RUNS runs (default 3), in seconds:
#   create               the unsigned package
#   osslsigncode sign    osslsigncode alone on the package's image and data area: the
#                        floor of velmor-pack sign (it hashes, checksums and writes the file)
#   sign                 velmor-pack sign: copy of image and data area, osslsigncode, trailer
#                        appended, checksum, and the signed package read back and checked
#   create, signed       create --cert --key: the two above in one command
#   verify               velmor-pack verify of the signed package (records, digest, signature)
#   list                 velmor-pack list of it
#   osslsigncode verify  the same check by osslsigncode
#   extract              velmor-pack extract of it
# No timestamp: that costs one request to the authority, over the network.
set -euo pipefail
build=$(cd "${1:?usage: bench/sign.sh BUILD_DIR [MEGABYTES]}" && pwd)
megabytes=${2:-400}
runs=${VELMOR_BENCH_RUNS:-3}
pack=$build/host/velmor-pack
stub=$build/i686/velmor.exe
. "$(dirname "$0")/common.bash"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench_tree "$work/src" "$megabytes"
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Velmor Bench' \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
keys=(--cert "$work/cert.pem" --key "$work/key.pem")

best() { # best LABEL COMMAND...: the best of $runs runs
  local label=$1 b=999 t; shift
  for _ in $(seq 1 "$runs"); do
    rm -rf "$work/out" "$work/extracted"; mkdir -p "$work/out"
    t=$(seconds "$@")
    b=$(least "$t" "$b")
  done
  printf '  %-20s %6.2f s\n' "$label" "$b"
}

"$pack" create --stub "$stub" "$work/src" -o "$work/pkg.exe" >/dev/null
size=$(stat -c %s "$work/pkg.exe")
head -c $((size - 1052)) "$work/pkg.exe" > "$work/body.exe"
"$pack" sign "$work/pkg.exe" -o "$work/signed.exe" "${keys[@]}" >/dev/null
printf 'signing a package of %.0f MB (%d files), best of %d\n' "$(echo "$size / 1048576" | bc -l)" \
  "$(find "$work/src" -type f | wc -l)" "$runs"
best "create" "$pack" create --stub "$stub" "$work/src" -o "$work/out/pkg.exe"
best "osslsigncode sign" osslsigncode sign -h sha256 -certs "$work/cert.pem" -key "$work/key.pem" \
  -in "$work/body.exe" -out "$work/out/body-signed.exe"
best "sign" "$pack" sign "$work/pkg.exe" -o "$work/out/signed.exe" "${keys[@]}"
best "create, signed" "$pack" create --stub "$stub" "${keys[@]}" "$work/src" -o "$work/out/pkg.exe"
best "verify" "$pack" verify "$work/signed.exe"
best "list" "$pack" list "$work/signed.exe"
best "osslsigncode verify" osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe"
best "extract" "$pack" extract "$work/signed.exe" "$work/extracted"
