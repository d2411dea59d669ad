#!/usr/bin/env bash
# Sets up, builds and runs every test: unit and scenario tests, the window
# tests under Xvfb, the unit and scenario tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the figure-reader fuzzer for a short
# bounded time (built in the same sanitizer tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
phase() { echo "=== $1 (at ${SECONDS}s)"; }
phase "set-up"
"$root/scripts/setup.sh"
phase "build"
"$root/scripts/build.sh" build
phase "unit and scenario tests"
(cd build && ctest --output-on-failure -j2)
for t in "$root"/tests/window/*.sh; do
  [ -e "$t" ] || continue
  phase "window test $(basename "$t")"
  bash "$t" "$root/build"
done
phase "sanitizer build"
CC=clang CXX=clang++ "$root/scripts/build.sh" build-sanitize -DTUMBLA_SANITIZE=ON -DTUMBLA_FUZZ=ON \
  -DTUMBLA_WITH_SDL=OFF -DTUMBLA_WITH_BENCH=OFF
phase "unit and scenario tests under the sanitizers"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j2)
phase "fuzzing the figure reader"
bash "$root/scripts/fuzz.sh" 30 "$root/build-sanitize"
phase "done"
echo "all tests passed"
