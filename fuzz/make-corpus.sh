#!/bin/sh
# Rewrites fuzz/corpus: small packages made by velmor-pack create with a stand-in
# stub (a PE header and a version resource), and damaged copies of them.
#   fuzz/make-corpus.sh VELMOR_PACK
set -eu
pack=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$here/corpus
rm -f "$out"/*.pkg
mkdir -p "$out"

# A stand-in stub: a PE header and one section, .rsrc, with a version resource that
# names the archive format as the stub's does (package_format/stub_marker.h).
formats=$here/../package_format
key=$(sed -n 's/^#define STUB_MARKER_KEY "\(.*\)"$/\1/p' "$formats/stub_marker.h")
signature=$(sed -n 's/^#define ARCHIVE_SIGNATURE "\(.*\)"$/\1/p' "$formats/package_layout.h")
python3 - "$work/stub.exe" "$key" "$signature" <<'PY'
import struct, sys
def block(key, text, children=b""):
    b = bytearray(6) + (key + "\0").encode("utf-16-le")
    b += bytes(-len(b) % 4)
    if text:
        b += (text + "\0").encode("utf-16-le")
        b += bytes(-len(b) % 4)
    b += children
    struct.pack_into("<HHH", b, 0, len(b), len(text) + 1 if text else 0, 1)
    return bytes(b)
rsrc = bytearray(0x58)
for level, (ident, target) in enumerate([(16, 0x80000018), (1, 0x80000030), (0x409, 0x48)]):
    struct.pack_into("<HII", rsrc, level * 0x18 + 14, 1, ident, target)
strings = block("040904E4", "", block(sys.argv[2], sys.argv[3]))
version = block("VS_VERSION_INFO", "", block("StringFileInfo", "", strings))
struct.pack_into("<II", rsrc, 0x48, 0x1058, len(version))
rsrc += version + bytes(-(0x58 + len(version)) % 0x200)
stub = bytearray(0x200)
stub[0:2] = b"MZ"
struct.pack_into("<I", stub, 0x3C, 0x40)
stub[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HH", stub, 0x44, 0x14C, 1)
struct.pack_into("<H", stub, 0x54, 0xE0)
struct.pack_into("<H", stub, 0x58, 0x10B)
struct.pack_into("<I", stub, 0x58 + 92, 16)
struct.pack_into("<II", stub, 0x58 + 96 + 16, 0x1000, len(rsrc))
stub[0x138:0x13D] = b".rsrc"
struct.pack_into("<IIII", stub, 0x138 + 8, len(rsrc), 0x1000, len(rsrc), 0x200)
open(sys.argv[1], "wb").write(bytes(stub + rsrc))
PY
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
# Its security directory is what signed packages use.
create pe-plain --run setup.exe
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
