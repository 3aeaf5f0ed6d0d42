#!/bin/sh
# Rewrites fuzz/corpus: small packages made by velmor-pack create with a stand-in
# stub ("MZ" and padding), and damaged copies of them.
#   fuzz/make-corpus.sh VELMOR_PACK
set -eu
pack=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$here/corpus
rm -f "$out"/*.pkg
mkdir -p "$out"

printf 'MZ' > "$work/stub.exe"
head -c 62 /dev/zero >> "$work/stub.exe"
mkdir -p "$work/src/sub/deep" "$work/src/other"
printf 'setup' > "$work/src/setup.exe"
printf 'hello hello hello hello' > "$work/src/sub/a.txt"
printf '' > "$work/src/sub/empty"
printf 'deep data' > "$work/src/sub/deep/b.bin"
printf 'x' > "$work/src/other/c"
chmod a-w "$work/src/other/c"
export SOURCE_DATE_EPOCH=0

create() {
    name=$1
    shift
    "$pack" create --stub "$work/stub.exe" "$@" "$work/src" -o "$out/$name.pkg" >/dev/null
}
create plain --run setup.exe --folder 'C:\Acme' --description 'demo'
# A stand-in stub with a PE header, whose security directory signed packages use.
python3 - "$work/pe-stub.exe" <<'PY'
import struct, sys
stub = bytearray(64 + 4 + 20 + 0xE0)
stub[0:2] = b"MZ"
struct.pack_into("<I", stub, 0x3C, 64)
stub[64:68] = b"PE\0\0"
struct.pack_into("<HH", stub, 68, 0x14C, 0)
struct.pack_into("<H", stub, 68 + 16, 0xE0)
struct.pack_into("<H", stub, 88, 0x10B)
struct.pack_into("<I", stub, 88 + 92, 16)
open(sys.argv[1], "wb").write(bytes(stub))
PY
"$pack" create --stub "$work/pe-stub.exe" --run setup.exe "$work/src" -o "$out/pe-plain.pkg" >/dev/null
create setup --mode setup --run sub/a.txt --folder 'C:\Acme\Setup'
create compressed --compress --run setup.exe
mkdir -p "$work/none"
"$pack" create --stub "$work/stub.exe" "$work/none" -o "$out/empty.pkg" >/dev/null 2>&1

python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
def load(name):
    return bytearray(open(f"{out}/{name}.pkg", "rb").read())
def save(name, data):
    open(f"{out}/{name}.pkg", "wb").write(bytes(data))
plain = load("plain")
t = len(plain) - 1052
offset = struct.unpack_from("<I", plain, t + 1048)[0]
# Damaged copies: each one fault the stub must survive.
d = plain[:t - 3] + plain[t:]; save("cut-data", d)
d = plain[:offset + 5] + plain[t:]; save("cut-record", d)
d = bytearray(plain); struct.pack_into("<I", d, t + 16, 9); save("count-over", d)
d = bytearray(plain); struct.pack_into("<I", d, t + 1048, len(plain)); save("offset-past-end", d)
d = bytearray(plain); struct.pack_into("<H", d, offset, 300); save("dir-length-300", d)
d = bytearray(plain); d[t + 10] = 5; save("mode-5", d)
d = bytearray(plain); d[t + 20:t + 276] = b"S" * 256; save("setup-unterminated", d)
i = plain.find(b"setup.exe\0", offset)
d = bytearray(plain); d[i:i + 9] = b"..\\up.exe"; save("traversal-name", d)
# Signed packages with a stand-in signature: the trailer inside the certificate
# table, as velmor-pack sign writes it, and behind it, as other signing tools do.
pe = load("pe-plain")
t = len(pe) - 1052
body = pe[:t] + bytes(-t % 8)
der = b"\x30\x03\x02\x01\x01" + bytes(3)
def signed(tail):
    table = struct.pack("<IHH", 8 + len(der) + len(tail), 0x200, 2) + der + tail
    d = bytearray(body) + table
    struct.pack_into("<II", d, 88 + 96 + 4 * 8, len(body), len(table))
    return d
save("signed", signed(bytes(4) + pe[t:]))
d = bytearray(pe) + bytes(-len(pe) % 8); table = struct.pack("<IHH", 16, 0x200, 2) + der
d += table; struct.pack_into("<II", d, 88 + 96 + 4 * 8, len(d) - len(table), len(table)); save("signed-behind", d)
comp = load("compressed")
i = comp.find(b"SZDD", 0)
d = bytearray(comp); d[i + 20:i + 24] = b"\xff\xff\xff\xff"; save("compressed-damaged", d)
PY
ls -l "$out"
