#!/usr/bin/env bash
# Packs and signs a setup-mode package for the Windows-side tests of signed packages:
#   make-signed-packages.sh VELMOR_PACK STUB SETUP_PROGRAM OUTPUT_DIR
# OUTPUT_DIR/signed-src          the tree: README.TXT, SETUP\RUN.EXE (SETUP_PROGRAM), SETUP\DATA.BIN
# OUTPUT_DIR/unsigned-setup.exe  the package, unsigned; it extracts to OUTPUT_DIR/signed-run/dest,
#                                in a folder of the user Wine runs as
# OUTPUT_DIR/signed-setup.exe    the same, signed with a throw-away key made here
set -euo pipefail
pack=$1 stub=$2 setup=$3 out=$4
src=$out/signed-src
source "$(dirname "$0")/../wine/wine-user.sh"
rm -rf "$src" "$out/signed-run" && mkdir -p "$src/SETUP" "$out/signed-run"
give_to_wine_user "$out/signed-run"
printf 'read me\r\n' > "$src/README.TXT"
cp "$setup" "$src/SETUP/RUN.EXE"
head -c 100000 /dev/urandom > "$src/SETUP/DATA.BIN"
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Velmor Wine Test Signer' \
  -keyout "$out/signing-key.pem" -out "$out/signing-cert.pem" >/dev/null 2>&1
dest=Z:$(printf '%s' "$out/signed-run/dest" | tr / '\\')
"$pack" create --stub "$stub" --mode setup --run 'SETUP\RUN.EXE' --folder "$dest" \
  --description 'Signed test package' "$src" -o "$out/unsigned-setup.exe" >/dev/null
"$pack" sign "$out/unsigned-setup.exe" -o "$out/signed-setup.exe" --cert "$out/signing-cert.pem" \
  --key "$out/signing-key.pem" --description 'Velmor signed test package' >/dev/null
