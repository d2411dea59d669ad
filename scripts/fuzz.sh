#!/usr/bin/env bash
# Fuzzes the figure reader for a while: scripts/fuzz.sh [SECONDS] (default 60).
# Builds with clang in build-fuzz, starts from the figures in tests/fixtures and
# keeps what it learns in build-fuzz/corpus, so longer runs build on earlier
# ones. Exits non-zero when an input crashes, hangs or leaks; the input is
# saved in build-fuzz/ as crash-*, timeout-*, leak-* or oom-*.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTUMBLA_FUZZ=ON -DTUMBLA_WITH_SDL=OFF -DTUMBLA_WITH_BENCH=OFF > "$build.cmake.log" 2>&1 \
  || { cat "$build.cmake.log"; exit 1; }
cmake --build "$build" --target figureReader_fuzz -j"$(nproc)"
mkdir -p "$build/corpus" "$build/seeds"
cp "$root"/tests/fixtures/*.fig "$build/seeds/"
echo "fuzzing the figure reader for $seconds s"
cd "$build"
ASAN_OPTIONS=detect_leaks=1 ./figureReader_fuzz -max_total_time="$seconds" -max_len=1048576 \
  -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 -artifact_prefix="$build/" \
  "$build/corpus" "$build/seeds"
