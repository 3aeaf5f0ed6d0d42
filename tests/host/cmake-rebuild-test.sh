#!/usr/bin/env bash
# velmor_add_package with both generators CMake offers here (Makefiles and Ninja):
# the package is made again exactly when what it would hold changes (a file changed,
# added or removed, a folder added or removed, the recipe, the stub or the description
# file changed), and a build with nothing changed does no work; also with SOURCE and
# OUTPUT names that hold characters make, Ninja and CMake treat specially.
#   cmake-rebuild-test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$build/test-output/cmake-rebuild
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v ninja >/dev/null || fail "ninja is not installed (kit installs ninja-build)"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "install"; }
tool=$prefix/bin/velmor-pack
stub=$prefix/share/velmor/velmor.exe

# project DIR SOURCE OUTPUT: a project in DIR packing SOURCE (made with two files, a
# folder and a description file read through the recipe) into OUTPUT.
project() {
  local dir=$1 source=$2 output=$3
  mkdir -p "$dir/$source/docs"
  printf 'readme\r\n' >"$dir/$source/readme.txt"
  printf 'notes\r\n' >"$dir/$source/docs/notes.txt"
  printf 'About it\n' >"$dir/about.txt"
  printf 'description-file = "about.txt"\n' >"$dir/recipe.toml"
  cat >"$dir/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(rebuild LANGUAGES NONE)
find_package(velmor CONFIG REQUIRED)
velmor_add_package(pkg SOURCE [==[$source]==] OUTPUT [==[$output]==] CONFIG recipe.toml)
EOF
}

# check GENERATOR DIR SOURCE OUTPUT ROW...: each row "yes|no:what:command" changes
# the project (the command runs in DIR) and builds; the package must be made again
# for yes and left alone for no, and hold then exactly what SOURCE holds.
check() {
  local generator=$1 dir=$2 source=$3 output=$4
  shift 4
  local pkg=$dir/build/$output log=$dir/build.log
  cmake -S "$dir" -B "$dir/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >"$log" 2>&1 ||
    { cat "$log" >&2; fail "$generator, $source -> $output: configure"; }
  cmake --build "$dir/build" >"$log" 2>&1 || { cat "$log" >&2; fail "$generator, $source -> $output: first build"; }
  local row expected what command made
  for row in "$@"; do
    IFS=: read -r expected what command <<<"$row"
    touch "$work/before" && sleep 0.05
    (cd "$dir" && eval "$command")
    sleep 0.05
    cmake --build "$dir/build" >"$log" 2>&1 ||
      { cat "$log" >&2; fail "$generator, $source -> $output, $what: the build failed"; }
    made=no
    [ "$pkg" -nt "$work/before" ] && made=yes
    [ "$made" = "$expected" ] ||
      { cat "$log" >&2; fail "$generator, $source -> $output, $what: package made again: $made, expected $expected"; }
    if [ "$expected" = no ] && [ "$generator" = Ninja ]; then
      grep -q 'no work to do' "$log" || { cat "$log" >&2; fail "$generator, $source -> $output, $what: work done"; }
    fi
    rm -rf "$work/extracted"
    "$tool" extract -q "$pkg" "$work/extracted"
    diff -r "$dir/$source" "$work/extracted" >/dev/null ||
      fail "$generator, $source -> $output, $what: the package does not hold what SOURCE holds"
  done
}

for generator in "Unix Makefiles" Ninja; do
  dir=$work/${generator// /-}
  project "$dir" files pkg.exe
  check "$generator" "$dir" files pkg.exe \
    "no:nothing changed:true" \
    "yes:a file changed:printf 'more\r\n' >>files/readme.txt" \
    "yes:a file added:printf 'new\r\n' >files/new.txt" \
    "yes:a file removed:rm files/new.txt" \
    "yes:a file added in a folder:printf 'new\r\n' >files/docs/new.txt" \
    "yes:a file removed from a folder:rm files/docs/new.txt" \
    "yes:a folder added:mkdir -p files/more && printf 'x\r\n' >files/more/x.txt" \
    "yes:a folder removed:rm -r files/more" \
    "yes:the recipe changed:printf '# changed\n' >>recipe.toml" \
    "yes:the description file changed:printf 'About it, 2\n' >about.txt" \
    "yes:the stub changed:touch '$stub'" \
    "no:nothing changed after all that:true"

  # SOURCE and OUTPUT named with characters that are special to make, Ninja, CMake's
  # lists and variable references, or the shell.
  names=("with space" "files[1]" 'd${x}d' 'semi;colon' 'dollar$sign' 'quote"s' "it's" "naïve")
  i=0
  for name in "${names[@]}"; do
    i=$((i + 1))
    output="$name.exe"
    dir=$work/${generator// /-}-name-$i
    if [[ $name == *\;* ]]; then
      # CMake cannot have a ; in the name of a file a build makes: refused when
      # configured, naming it. SOURCE may hold one.
      project "$dir" "$name" "$output"
      ! cmake -S "$dir" -B "$dir/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >"$dir.log" 2>&1 ||
        fail "$generator: OUTPUT $output was accepted"
      tr -s ' \n' ' ' <"$dir.log" | grep -qF "OUTPUT $dir/build/$output holds ';', which CMake cannot" ||
        { cat "$dir.log" >&2; fail "the refusal of $output"; }
      output=pkg.exe
      rm -rf "$dir"
    fi
    project "$dir" "$name" "$output"
    q=$(printf %q "$name")
    check "$generator" "$dir" "$name" "$output" \
      "no:nothing changed:true" \
      "yes:a file changed:printf 'more\r\n' >>$q/readme.txt" \
      "yes:a file added:printf 'new\r\n' >$q/new.txt" \
      "yes:a file removed:rm $q/new.txt" \
      "no:nothing changed:true"
  done
done
echo "cmake-rebuild-test: packages made again exactly when their inputs change, with Makefiles and Ninja"
