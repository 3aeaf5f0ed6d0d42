#!/bin/sh
# Builds the package reader fuzzer with clang in BUILD_DIR and runs it for SECONDS,
# seeded with the packages in fuzz/corpus. New inputs go to BUILD_DIR/corpus, and any
# input that breaks the reader to BUILD_DIR/artifacts; the exit status is nonzero
# when one was found.
#   fuzz/run.sh BUILD_DIR [SECONDS]     (default 60)
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ not found; install the Debian packages clang and libfuzzer-14-dev" >&2
    exit 1
fi
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null
mkdir -p "$build/corpus" "$build/artifacts"
exec "$build/package_reader_fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus" "$here/corpus"
