#!/usr/bin/env bash
# Sets up, builds and starts the editor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
exec "$root/build/tumbla"
