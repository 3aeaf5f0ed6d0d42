#!/usr/bin/env bash
# The Debian package that ./kit package makes: built here with CPack, its file list
# and copyright file checked, installed with dpkg into a scratch root, and the
# installed velmor-pack run there: it finds its stub without --stub and packs a
# folder; the guide's CI job builds examples/cmake against it, and find_package
# finds it in its place below /usr.
#   deb-package-test.sh BUILD_DIR
set -euo pipefail
build=$1
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$build/test-output/deb
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/velmor_*_amd64.deb)

# Files only: what the package puts on the system.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/velmor-pack
./usr/share/doc/velmor/README.md
./usr/share/doc/velmor/copyright
./usr/share/doc/velmor/docs/images/main-dialog-extract.png
./usr/share/doc/velmor/docs/images/main-dialog-setup.png
./usr/share/doc/velmor/docs/images/progress-dialog.png
./usr/share/doc/velmor/velmor-pack.md
./usr/share/man/man1/velmor-pack.1.gz
./usr/share/velmor/cmake/VelmorCPack.cmake
./usr/share/velmor/cmake/VelmorCPackScript.cmake
./usr/share/velmor/cmake/velmorConfig.cmake
./usr/share/velmor/cmake/velmorConfigVersion.cmake
./usr/share/velmor/cmake/velmorTargets-release.cmake
./usr/share/velmor/cmake/velmorTargets.cmake
./usr/share/velmor/install.exe
./usr/share/velmor/velmor.exe
LIST
diff -u "$work/expected" "$work/files" || fail "the package's file list"
dpkg-deb -f "$deb" Depends | grep -q 'libssl[0-9]' || fail "Depends names no OpenSSL library: $(dpkg-deb -f "$deb" Depends)"
gzip -dc < <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/velmor-pack.1.gz) | grep -q '^\.TH VELMOR-PACK 1' ||
  fail "the manual page"
# The copyright file in Debian's machine-readable format, as Debian's own parser reads
# it: every licence named has its text, and the libraries velmor-pack links or opens
# are named with theirs.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/velmor/copyright >"$work/copyright"
/usr/bin/python3 - "$work/copyright" <<'PY' || fail "the copyright file"
import re, sys
import debian.copyright
with open(sys.argv[1]) as f:
    c = debian.copyright.Copyright(f, strict=True)
texts = {p.license.synopsis for p in c.all_license_paragraphs()}
named = set()
for p in c.all_files_paragraphs():
    named.update(re.split(r" and | or ", p.license.synopsis))
missing = named - texts
assert not missing, f"licences without their text: {missing}"
assert c.find_files_paragraph("usr/share/velmor/velmor.exe").license.synopsis == "Zlib"
text = open(sys.argv[1]).read()
for library, licence in [("CLI11", "BSD-3-clause"), ("libmspack", "LGPL-2.1"), ("ICU", "MIT"), (r"toml\+\+", "Expat"), ("nlohmann/json", "Expat"), ("OpenSSL", "Apache-2.0")]:
    assert re.search(rf"{library}(?!\w)[^.]*\b{re.escape(licence)}\b", text), f"{library} under {licence}"
PY

# A scratch root with a dpkg database of its own; what the package depends on is on
# the host, not in that root.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
: >"$root/var/lib/dpkg/status"
: >"$root/var/lib/dpkg/available"
force=--force-depends
[ "$(id -u)" -eq 0 ] || force="$force,not-root,bad-path"
dpkg --root="$root" --log=/dev/null $force -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg -i into $root"; }
dpkg --root="$root" -L velmor | grep -qx /usr/share/velmor/velmor.exe || fail "dpkg -L velmor"

tool=$root/usr/bin/velmor-pack
version=$("$tool" --version)
echo "$version"
[ "$(sed -n 2p <<<"$version")" = "stub: $root/usr/share/velmor/velmor.exe" ] || fail "the installed stub: $version"
mkdir -p "$work/src/docs"
printf 'hello\r\n' >"$work/src/readme.txt"
printf 'notes\r\n' >"$work/src/docs/notes.txt"
"$tool" create "$work/src" -o "$work/pkg.exe" || fail "create with the installed velmor-pack"
"$tool" verify "$work/pkg.exe" | grep -q 'sound, 2 entries' || fail "verify"
cmp <(head -c "$(stat -c %s "$root/usr/share/velmor/velmor.exe")" "$work/pkg.exe") "$root/usr/share/velmor/velmor.exe" ||
  fail "the package does not begin with the installed stub"

# The guide's CI job, its commands as written but for apt-get (the package is in
# $root already), on a copy of examples/cmake, with cmake looking into $root.
job=$work/ci-job.sh
"$top/tests/host/guide-listing.sh" "$top/docs/velmor-pack.md" "<!-- ci-job -->" >"$job"
grep -q '^apt-get install .*\./velmor_.*\.deb' "$job" || fail "the guide's CI job installs no .deb"
cp -r "$top/examples/cmake" "$work/project"
(cd "$work/project" && grep -v '^apt-get ' "$job" | CMAKE_PREFIX_PATH=$root/usr bash -euo pipefail) >"$work/ci-job.log" 2>&1 ||
  { cat "$work/ci-job.log" >&2; fail "the guide's CI job"; }
grep -qx "velmor_DIR:PATH=$root/usr/share/velmor/cmake" "$work/project/build/CMakeCache.txt" ||
  fail "the CI job found another velmor: $(grep velmor_DIR "$work/project/build/CMakeCache.txt")"
for p in acme-tools.exe acme-tools-2.1.exe; do
  "$tool" verify "$work/project/build/$p" | grep -q 'sound, 2 entries' || fail "verify the CI job's $p"
done
# Where the system's prefix /usr is $root, find_package finds velmor unaided.
cmake -S "$work/project" -B "$work/project/system" -DCMAKE_FIND_ROOT_PATH="$root" \
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY >"$work/system.log" 2>&1 || { cat "$work/system.log" >&2; fail "find_package below /usr"; }
grep -qx "velmor_DIR:PATH=$root/usr/share/velmor/cmake" "$work/project/system/CMakeCache.txt" ||
  fail "find_package below /usr: $(grep velmor_DIR "$work/project/system/CMakeCache.txt")"
# A project cross-compiled for Windows with velmor's own MinGW toolchain file, which
# confines find_package to the MinGW root (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY):
# examples/cmake still finds velmor on the build machine, here $root/usr standing for
# /usr, with no velmor_DIR given.
CMAKE_PREFIX_PATH=$root/usr cmake -S "$work/project" -B "$work/project/cross" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" >"$work/cross.log" 2>&1 ||
  { cat "$work/cross.log" >&2; fail "the cross build's configure"; }
grep -qx 'set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)' "$top/cmake/mingw-common.cmake" ||
  fail "the toolchain file does not confine packages to its root"
grep -qx "velmor_DIR:PATH=$root/usr/share/velmor/cmake" "$work/project/cross/CMakeCache.txt" ||
  fail "the cross build found: $(grep velmor_DIR "$work/project/cross/CMakeCache.txt")"
cmake --build "$work/project/cross" >"$work/cross.log" 2>&1 || { cat "$work/cross.log" >&2; fail "the cross build"; }
"$tool" verify "$work/project/cross/acme-tools.exe" | grep -q 'sound, 2 entries' || fail "verify the cross build's package"
echo "deb-package-test: $(basename "$deb") installs and packs, and builds a CMake project's packages, natively and cross-compiled"
