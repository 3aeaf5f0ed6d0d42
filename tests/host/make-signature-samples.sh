#!/usr/bin/env bash
# Signed packages for the test of the signature facts on every build:
#   make-signature-samples.sh VELMOR_PACK STUB OUTPUT_DIR
# OUTPUT_DIR/signed.exe             signed with a throw-away key whose name needs escaping
# OUTPUT_DIR/stamped.exe            the same, with a timestamp from an authority on this machine
# OUTPUT_DIR/changed-data.exe       signed.exe with a byte of an entry changed
# OUTPUT_DIR/changed-signature.exe  signed.exe with a byte of the signer's signature value changed
# OUTPUT_DIR/changed-timestamp.exe  stamped.exe with a byte of the authority's signature value changed
# OUTPUT_DIR/key.pfx                the key and certificate in PKCS#12, password "secret"
# OUTPUT_DIR/pfx-signed.exe         unsigned.exe signed with key.pfx; osslsigncode's input and
#                                   output for it in replay-in.bin and replay-out.bin, for a
#                                   stand-in signtool that signs exactly that input
set -euo pipefail
pack=$1 stub=$2 out=$3
rm -rf "$out" && mkdir -p "$out/src" "$out/tsa"
printf 'a unique marker\r\n' > "$out/src/A.TXT"
head -c 5000 /dev/urandom > "$out/src/B.BIN"
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Velmor Test Signer/O=Acme/OU=R\+D, Tools' \
  -keyout "$out/key.pem" -out "$out/cert.pem" >/dev/null 2>&1
python3 "$(dirname "$0")/local-tsa.py" "$out/tsa" 120 >/dev/null 2>&1 &
for _ in $(seq 300); do [ -s "$out/tsa/port" ] && [ -s "$out/tsa/pid" ] && break; sleep 0.1; done
trap 'kill "$(cat "$out/tsa/pid")" 2>/dev/null || true' EXIT
"$pack" create --stub "$stub" "$out/src" -o "$out/unsigned.exe" >/dev/null
"$pack" sign "$out/unsigned.exe" -o "$out/signed.exe" --cert "$out/cert.pem" --key "$out/key.pem" >/dev/null
"$pack" sign "$out/unsigned.exe" -o "$out/stamped.exe" --cert "$out/cert.pem" --key "$out/key.pem" \
  --timestamp "http://127.0.0.1:$(cat "$out/tsa/port")/" >/dev/null
openssl pkcs12 -export -inkey "$out/key.pem" -in "$out/cert.pem" -out "$out/key.pfx" -passout pass:secret
cat > "$out/capture-osslsigncode" <<'SH'
#!/bin/sh
# osslsigncode, its input and output kept beside the samples.
for arg; do case $previous in -in) in=$arg;; -out) out=$arg;; esac; previous=$arg; done
osslsigncode "$@" && cp "$in" "$(dirname "$0")/replay-in.bin" && cp "$out" "$(dirname "$0")/replay-out.bin"
SH
chmod +x "$out/capture-osslsigncode"
SAMPLES_PASSWORD=secret VELMOR_OSSLSIGNCODE="$out/capture-osslsigncode" "$pack" sign "$out/unsigned.exe" \
  -o "$out/pfx-signed.exe" --pkcs12 "$out/key.pfx" --password-env SAMPLES_PASSWORD >/dev/null
python3 - "$out" <<'PY'
import sys
out = sys.argv[1]
def flip(source, target, offset_of):
    b = bytearray(open(f"{out}/{source}", "rb").read())
    b[offset_of(b)] ^= 0x20
    open(f"{out}/{target}", "wb").write(b)
# The signature (or, stamped, the authority's token) ends in a signature value, then
# zero bytes up to the 1052-byte trailer.
last_signature_byte = lambda b: len(b[:len(b) - 1052].rstrip(b"\0")) - 1
flip("signed.exe", "changed-data.exe", lambda b: b.find(b"unique marker"))
flip("signed.exe", "changed-signature.exe", lambda b: last_signature_byte(b) - 8)
flip("stamped.exe", "changed-timestamp.exe", lambda b: last_signature_byte(b) - 8)
PY
