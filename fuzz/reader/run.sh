#!/usr/bin/env bash
# Runs the reader's fuzz target for SECONDS (default 60) over a corpus seeded
# with the example files. Builds with clang into build-fuzz/ (or $BUILD_DIR).
# The growing corpus stays in build-fuzz/reader-corpus; inputs that fail land
# in build-fuzz/reader-artifacts, and belong in the reader's tests once fixed.
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$root/build-fuzz}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DBXF_FUZZ=ON -DBXF_TESTS=OFF -DBXF_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target reader_fuzz

corpus="$build/reader-corpus"
artifacts="$build/reader-artifacts"
mkdir -p "$corpus" "$artifacts"
find "$root/examples" -name '*.bxf2' -exec cp -n {} "$corpus/" \;

"$build/fuzz/reader/reader_fuzz" "$corpus" \
  -dict="$root/fuzz/reader/bxf2.dict" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1
