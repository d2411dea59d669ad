#!/usr/bin/env bash
# Fuzzes the figure reader for a while: scripts/fuzz.sh [SECONDS] [BUILD_DIR]
# (default 60 s in build-fuzz). Builds with clang, starts from the figures in
# tests/fixtures and keeps what it learns in BUILD_DIR/corpus, so longer runs
# build on earlier ones. Exits non-zero when an input crashes, hangs or leaks;
# the input is saved in BUILD_DIR as crash-*, timeout-*, leak-* or oom-*.
# A BUILD_DIR given here must already be configured with -DTUMBLA_FUZZ=ON (the
# test command reuses its sanitizer build this way).
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-"$root/build-fuzz"}
if [ $# -lt 2 ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTUMBLA_FUZZ=ON -DTUMBLA_WITH_SDL=OFF -DTUMBLA_WITH_BENCH=OFF > "$build.cmake.log" 2>&1 \
    || { cat "$build.cmake.log"; exit 1; }
fi
cmake --build "$build" --target figureReader_fuzz -j"$(nproc)"
mkdir -p "$build/corpus" "$build/seeds"
cp "$root"/tests/fixtures/*.fig "$build/seeds/"
echo "fuzzing the figure reader for $seconds s"
cd "$build"
ASAN_OPTIONS=detect_leaks=1 ./figureReader_fuzz -max_total_time="$seconds" -max_len=1048576 \
  -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 -artifact_prefix="$build/" \
  "$build/corpus" "$build/seeds"
