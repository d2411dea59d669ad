#!/usr/bin/env bash
# Sets up, builds and runs every test: unit and scenario tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, the figure-reader fuzzer for
# a short bounded time, and the window tests under Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
(cd build && ctest --output-on-failure -j2)
for t in "$root"/tests/window/*.sh; do
  [ -e "$t" ] || continue
  echo "window test: $(basename "$t")"
  bash "$t" "$root/build"
done
echo "sanitizer build"
CC=clang CXX=clang++ "$root/scripts/build.sh" build-sanitize -DTUMBLA_SANITIZE=ON -DTUMBLA_WITH_SDL=OFF -DTUMBLA_WITH_BENCH=OFF
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j2)
if [ -e "$root/scripts/fuzz.sh" ]; then bash "$root/scripts/fuzz.sh" 60; fi
echo "all tests passed"
