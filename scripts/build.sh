#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=Release "$@" > "$root/$dir.cmake.log" 2>&1 || { cat "$root/$dir.cmake.log"; exit 1; }
cmake --build "$root/$dir" -j"$(nproc)"
