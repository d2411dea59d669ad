#!/usr/bin/env bash
# Closing the window ends the editor with status 0: once in the editor
# (reached after the splash times out, with no key pressed) and once during
# the splash.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"

closer="$BUILD/tumbla_close_window"
[ -x "$closer" ] || fail "$closer is missing (it needs libx11-dev)"

startEditor "$BUILD/tumbla"
waitForWindow
shotUntil 8 140 300 "120 120 120"
expectStartupGrid
"$closer" "$wid"
waitForExit 5
[ "$status" -eq 0 ] || fail "a close request in the editor ended it with status $status"

startEditor "$BUILD/tumbla"
waitForWindow
"$closer" "$wid"
waitForExit 5
[ "$status" -eq 0 ] || fail "a close request during the splash ended it with status $status"
echo "close: ok"
