#!/usr/bin/env bash
# Start-up with assets missing, on copies of the built program: without an
# image it stops with a message naming the file and a non-zero status;
# without the font it starts and draws its texts in a fallback font; without
# a display, or with one it cannot reach, it stops with a message and a
# non-zero status.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"

copyProgram() {
    rm -rf "$WORK/app"
    mkdir -p "$WORK/app"
    cp "$BUILD/tumbla" "$WORK/app/"
    cp -r "$BUILD/images" "$WORK/app/"
}

# No display at all, or one that cannot be reached: a message and a
# non-zero status, never an editor running on with no window.
copyProgram
for display in "" ":77"; do
    status=0
    if [ -z "$display" ]; then
        env -u DISPLAY timeout 10 "$WORK/app/tumbla" 2> "$WORK/stderr" || status=$?
    else
        DISPLAY=$display timeout 10 "$WORK/app/tumbla" 2> "$WORK/stderr" || status=$?
    fi
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "with DISPLAY \"$display\" the status is $status"
    grep -q "Cannot open the 1024 x 700 window" "$WORK/stderr" ||
        fail "no message with DISPLAY \"$display\": $(cat "$WORK/stderr")"
done

# An image missing: the message names it and a message box waits for the user.
copyProgram
rm "$WORK/app/images/plat.png"
startEditor "$WORK/app/tumbla"
waitForMessageBox "Tumbla Editor" "no message box for the missing image"
grep -q 'images/plat.png' "$WORK/stderr" || fail "the message does not name the file: $(cat "$WORK/stderr")"
for _ in $(seq 20); do
    kill -0 "$editorPid" 2> /dev/null || break
    xdotool key --window "$box" Return 2> /dev/null || true
    sleep 0.25
done
waitForExit 5
[ "$status" -ne 0 ] || fail "a missing image ended the editor with status 0"

# The font missing: the splash text still shows.
copyProgram
rm -f "$WORK/app/images/VeraMono.ttf"
startEditor "$WORK/app/tumbla"
waitForWindow
shotUntil 3 $((409 + 102)) $((162 + 175)) "240 240 240"
[ "$(litPixels 200 460 824 500)" -gt 100 ] || fail "no splash text without the font"
kill "$editorPid"
waitForExit 5
echo "assets: ok"
