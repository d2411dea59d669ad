#!/usr/bin/env bash
# The editor starts on a real window: the splash with the logo, then on
# Space the start-up view's grid under the caption "Tumbla Editor 55 - ";
# holding Escape ends it with status 0.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"

startEditor "$BUILD/tumbla"
waitForWindow
shotUntil 3 $((409 + 102)) $((162 + 175)) "240 240 240"
expectSplashLogo
[ "$(litPixels 200 460 824 500)" -gt 100 ] || fail "no splash text under the logo"

xdotool mousemove --sync 500 400
xdotool windowfocus --sync "$wid"
xdotool keydown space
shotUntil 5 140 300 "120 120 120"
xdotool keyup space
expectStartupGrid
title=$(xdotool getwindowname "$wid")
[ "$title" = "Tumbla Editor 55 - " ] || fail "caption is \"$title\""
[ "$(litPixels 20 10 200 55)" -gt 50 ] || fail "no status line at the top left"

xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
[ "$status" -eq 0 ] || fail "Escape ended the editor with status $status"
echo "startup: ok"
