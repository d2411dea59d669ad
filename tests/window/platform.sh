#!/usr/bin/env bash
# The window platform's own checks (drawing read back from the frame,
# input, images, fonts, the dialog child process) on SDL's offscreen driver,
# which needs no X server.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
SDL_VIDEODRIVER=offscreen timeout 120 "$build/tumbla_window_platform_tests" --gtest_brief=1
