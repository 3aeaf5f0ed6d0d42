#!/usr/bin/env bash
# The Debian package that ./kit package makes: built here with CPack, its file list
# checked, installed with dpkg into a scratch root, and the installed velmor-pack run
# there: it finds its stub without --stub and packs a folder.
#   deb-package-test.sh BUILD_DIR
set -euo pipefail
build=$1
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
./usr/share/doc/velmor/docs/images/main-dialog-extract.png
./usr/share/doc/velmor/docs/images/main-dialog-setup.png
./usr/share/doc/velmor/docs/images/progress-dialog.png
./usr/share/doc/velmor/velmor-pack.md
./usr/share/man/man1/velmor-pack.1.gz
./usr/share/velmor/install.exe
./usr/share/velmor/velmor.exe
LIST
diff -u "$work/expected" "$work/files" || fail "the package's file list"
dpkg-deb -f "$deb" Depends | grep -q 'libssl[0-9]' || fail "Depends names no OpenSSL library: $(dpkg-deb -f "$deb" Depends)"
gzip -dc < <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/velmor-pack.1.gz) | grep -q '^\.TH VELMOR-PACK 1' ||
  fail "the manual page"

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
echo "deb-package-test: $(basename "$deb") installs and packs"
