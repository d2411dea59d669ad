#!/usr/bin/env bash
# Undo on a real window: a ball drawn with a click and deleted with the
# Delete key comes back on screen with Control + Z, and goes again with
# Control + Y.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"

startEditor "$BUILD/tumbla"
waitForWindow
xdotool windowfocus --sync "$wid"
xdotool key space
shotUntil 5 140 300 "120 120 120"

# (500, 400) lies between the grid lines: black while no ball covers it.
expectPixel 500 400 "0 0 0" "empty drawing area"
xdotool mousemove --window "$wid" 500 400 click 1
xdotool mousemove --window "$wid" 900 315
ballShown() {
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        shot
        [ "$(pixel 500 400)" != "0 0 0" ] && return 0
        sleep 0.1
    done
    fail "$2: no ball at (500, 400) within $1 s"
}
ballShown 5 "after the click"

xdotool key Delete
shotUntil 5 500 400 "0 0 0"

xdotool keydown ctrl
sleep 0.1
xdotool key z
sleep 0.1
xdotool keyup ctrl
ballShown 5 "after Control + Z"

xdotool keydown ctrl
sleep 0.1
xdotool key y
sleep 0.1
xdotool keyup ctrl
shotUntil 5 500 400 "0 0 0"

xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
[ "$status" -eq 0 ] || fail "Escape ended the editor with status $status"
echo "undo: ok"
