#!/usr/bin/env bash
# velmor as a CMake package: installed with `cmake --install` into a scratch prefix,
# found there by a copy of examples/cmake, whose build target and cpack both make
# sound packages; the target follows its inputs, gives the bytes the command line
# gives, and cpack packs exactly the install tree and fails on a bad setting with
# velmor-pack's own line. The guide's listings marked "verbatim" match their files.
#   cmake-package-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
top=$2
work=$build/test-output/cmake-package
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
run() { # run LOG COMMAND...: the command's output goes to LOG, and is shown when it fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$*"; }
}

# Each "<!-- verbatim: PATH -->" in the guide is followed by a listing of that file.
guide=$top/docs/velmor-pack.md
listed=0
while read -r path; do
  "$top/tests/host/guide-listing.sh" "$guide" "<!-- verbatim: $path -->" >"$work/listing"
  diff -u "$top/$path" "$work/listing" || fail "the guide's listing of $path"
  listed=$((listed + 1))
done < <(sed -n 's/^<!-- verbatim: \(.*\) -->$/\1/p' "$guide")
[ $listed -ge 2 ] || fail "the guide lists $listed files verbatim, expected the example's two"

prefix=$work/prefix
run "$work/install.log" cmake --install "$build" --prefix "$prefix"
tool=$prefix/bin/velmor-pack

# A copy, as the test changes its files; new files, so that their times lie after
# the SOURCE_DATE_EPOCH below.
cp -r "$top/examples/cmake" "$work/src"
ex=$work/example
run "$work/configure.log" cmake -S "$work/src" -B "$ex" -DCMAKE_PREFIX_PATH="$prefix"
grep -qx "velmor_DIR:PATH=$prefix/share/velmor/cmake" "$ex/CMakeCache.txt" ||
  fail "found another velmor: $(grep velmor_DIR "$ex/CMakeCache.txt")"

export SOURCE_DATE_EPOCH=1700000000
run "$work/build.log" cmake --build "$ex"
pkg=$ex/acme-tools.exe
"$tool" verify "$pkg" | grep -qF 'sound, 2 entries, setup program setup.cmd' || fail "verify $pkg"
(cd "$work/src" && "$tool" create -q --config acme-tools.toml --warnings-as-errors files -o "$work/cli.exe")
cmp "$pkg" "$work/cli.exe" || fail "the build target and the command line differ with the same SOURCE_DATE_EPOCH"

# rebuilds EXPECTED WHAT COMMAND...: after COMMAND, the build makes the package again or not.
rebuilds() {
  local expected=$1 what=$2 made=no
  shift 2
  touch "$work/before" && sleep 0.1
  "$@"
  sleep 0.1
  run "$work/build.log" cmake --build "$ex"
  [ "$pkg" -nt "$work/before" ] && made=yes
  [ "$made" = "$expected" ] || fail "$what: package made again: $made, expected: $expected"
}
rebuilds no "nothing changed" true
rebuilds yes "a file changed" sh -c 'printf "Version 2.1.1\r\n" >>"$0"' "$work/src/files/readme.txt"
rebuilds yes "a file added" sh -c 'printf "notes\r\n" >"$0"' "$work/src/files/notes.txt"
rebuilds yes "the recipe changed" sed -i 's/Acme tools 2.1/Acme tools 2.1.1/' "$work/src/acme-tools.toml"
rebuilds yes "the stub changed" touch "$prefix/share/velmor/velmor.exe"
"$tool" extract -q "$pkg" "$work/from-target"
diff -r "$work/src/files" "$work/from-target" || fail "the package did not follow its files"
"$tool" list "$pkg" | grep -q '^Description  *Acme tools 2.1.1$' || fail "the package did not follow its recipe"

# cpack: the files `cmake --install` installs, with their folders, and nothing else.
cpkg=$ex/acme-tools-2.1.exe
(cd "$ex" && run "$work/cpack.log" cpack)
"$tool" verify "$cpkg" | grep -qF 'sound, 2 entries, compressed, setup program bin\setup.cmd' || fail "verify $cpkg"
run "$work/install-example.log" cmake --install "$ex" --prefix "$work/installed"
"$tool" extract -q "$cpkg" "$work/from-cpack"
diff -r "$work/installed" "$work/from-cpack" || fail "cpack's package is not the install tree"
"$tool" list "$cpkg" | grep -q '^Folder  *C:\\Acme Tools$' || fail "CPACK_VELMOR_FOLDER"

# A setting velmor-pack refuses: its own line, no CMake backtrace, no package.
rm "$cpkg"
if (cd "$ex" && cpack -D 'CPACK_VELMOR_FOLDER=Acme Tools') >"$work/refused.log" 2>&1; then
  fail "cpack with a folder that is no Windows path succeeded"
fi
grep -qx "velmor-pack: --folder 'Acme Tools' must be a full Windows path .*" "$work/refused.log" ||
  { cat "$work/refused.log" >&2; fail "velmor-pack's line"; }
! grep -q 'CMake Error' "$work/refused.log" || { cat "$work/refused.log" >&2; fail "a CMake backtrace"; }
[ ! -e "$cpkg" ] || fail "a package was written"

# Signing options reach velmor-pack; an install prefix of its own stays out of the package.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj /CN=velmor-cmake-test 2>/dev/null
(cd "$ex" && run "$work/cpack-signed.log" cpack -D "CPACK_VELMOR_SIGN_CERT=$work/cert.pem" \
  -D "CPACK_VELMOR_SIGN_KEY=$work/key.pem" -D CPACK_PACKAGING_INSTALL_PREFIX=/opt/acme)
"$tool" verify "$cpkg" | grep -qF 'setup program bin\setup.cmd; signed by CN=velmor-cmake-test' ||
  fail "cpack with signing options: $("$tool" verify "$cpkg")"
# VelmorCPack leaves the project's other installers alone: the same NSIS settings in
# CPackConfig.cmake with it and without it, CPACK_VERBATIM_VARIABLES unset or on; and
# velmor's own values reach velmor-pack as set either way.
nsis=$work/nsis
mkdir -p "$nsis/src"
cp "$top/examples/cmake/files/readme.txt" "$nsis/src/"
for verbatim in "" "set(CPACK_VERBATIM_VARIABLES ON)"; do
  for velmor in "" "include(VelmorCPack)"; do
    cat >"$nsis/src/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(hello VERSION 1.0 LANGUAGES NONE)
find_package(velmor CONFIG REQUIRED)
install(FILES readme.txt DESTINATION .)
$verbatim
set(CPACK_GENERATOR NSIS)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "WriteRegStr HKLM \"Software\\\\Hello\" \"Path\" \"\$INSTDIR\"")
set(CPACK_VELMOR_FOLDER [[C:\Hello "1" \$x]])
set(CPACK_VELMOR_DESCRIPTION [[Hello; "1" \$x \n]])
$velmor
include(CPack)
EOF
    rm -rf "$nsis/build"
    run "$nsis/configure.log" cmake -S "$nsis/src" -B "$nsis/build" -DCMAKE_PREFIX_PATH="$prefix"
    grep '^set(CPACK_NSIS_' "$nsis/build/CPackConfig.cmake" >"$nsis/nsis-${velmor:+velmor}${verbatim:+-verbatim}"
    [ -s "$nsis/nsis-${velmor:+velmor}${verbatim:+-verbatim}" ] || fail "no NSIS settings in CPackConfig.cmake"
    [ -z "$velmor" ] && continue
    (cd "$nsis/build" && run "$nsis/cpack.log" cpack -G External)
    "$tool" list "$nsis/build/hello-1.0.exe" | tr -s ' ' >"$nsis/list"
    grep -qxF 'Folder C:\Hello "1" $x' "$nsis/list" && grep -qxF 'Description Hello; "1" $x \n' "$nsis/list" ||
      { cat "$nsis/list" >&2; fail "velmor's values through CPack, ${verbatim:-CPACK_VERBATIM_VARIABLES unset}"; }
  done
  cmp "$nsis/nsis-${verbatim:+-verbatim}" "$nsis/nsis-velmor${verbatim:+-verbatim}" ||
    fail "include(VelmorCPack) changed the NSIS settings (${verbatim:-CPACK_VERBATIM_VARIABLES unset})"
done

# Mistakes named at configure time: a misspelt setting, VelmorCPack after CPack, an
# unknown keyword of velmor_add_package.
mistakes=(
  "set(CPACK_VELMOR_DIRECTORY [[C:\\Hello]])\ninclude(VelmorCPack)\ninclude(CPack)|CPACK_VELMOR_DIRECTORY is no setting of the velmor package and is ignored; did you mean CPACK_VELMOR_FOLDER?"
  "include(CPack)\ninclude(VelmorCPack)|include(VelmorCPack) comes after include(CPack)"
  "velmor_add_package(p SOURCE . OUTPUT p.exe CONFIGS r.toml)|unknown argument 'CONFIGS'; the keywords are SOURCE;OUTPUT;CONFIG;OPTIONS;DEPENDS (did you mean CONFIG?)"
)
for row in "${mistakes[@]}"; do
  IFS='|' read -r lines expected <<<"$row"
  printf 'cmake_minimum_required(VERSION 3.20)\nproject(hello VERSION 1.0 LANGUAGES NONE)\nfind_package(velmor CONFIG REQUIRED)\n%b\n' \
    "$lines" >"$nsis/src/CMakeLists.txt"
  rm -rf "$nsis/build"
  cmake -S "$nsis/src" -B "$nsis/build" -DCMAKE_PREFIX_PATH="$prefix" >"$nsis/mistake.log" 2>&1 || true
  tr -s ' \n' ' ' <"$nsis/mistake.log" | grep -qF "$expected" || { cat "$nsis/mistake.log" >&2; fail "not named: $expected"; }
done

# Each route of the guide as a whole CMakeLists.txt of its own, in the example's folder.
for route in "build target:cmake --build . :acme-tools.exe" "cpack:cpack:acme-tools-2.1.exe"; do
  IFS=: read -r name command made <<<"$route"
  dir=$work/route-${name// /-}
  cp -r "$top/examples/cmake" "$dir"
  "$top/tests/host/guide-listing.sh" "$guide" "<!-- route: $name -->" >"$dir/CMakeLists.txt"
  [ -s "$dir/CMakeLists.txt" ] || fail "the guide has no listing for the route '$name'"
  run "$dir.log" cmake -S "$dir" -B "$dir/build" -DCMAKE_PREFIX_PATH="$prefix"
  (cd "$dir/build" && run "$dir.log" $command)
  "$tool" verify "$dir/build/$made" | grep -qF 'sound, 2 entries' || fail "the route '$name': $made"
done
echo "cmake-package-test: find_package, velmor_add_package and cpack make sound packages"
