#!/usr/bin/env bash
# Saving and opening on a real window through the file dialog: a figure
# drawn with the mouse (two balls and a link) is saved under a name with
# spaces, quotes and a shell command, which is never run; the file holds
# the figure and the caption names it; "New Level" clears the view; "Open"
# brings the figure back on screen; "Add Object" puts a copy at the view
# centre.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"
command -v zenity > /dev/null || fail "zenity is missing: run scripts/setup.sh"

root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$WORK/figs"
figure="$WORK/figs/my 'fig' \"x\" \$(touch INJECTED).fig"

# chooseFile TITLE: types the figure's full path into the dialog.
chooseFile() {
    waitForDialog "$1"
    xdotool windowfocus --sync "$dlg"
    sleep 0.2
    if [ "$1" = "Open file:" ]; then xdotool key ctrl+l; else xdotool key ctrl+a; fi
    xdotool type --delay 5 "$figure"
    xdotool key Return
    waitForDialogToClose "$1"
    xdotool windowfocus --sync "$wid"
}

# ballAt SECONDS X Y WHAT: waits for a ball's colour (neither black nor
# grid grey; a selected ball is drawn in a selection colour).
ballAt() {
    local tenths=$(($1 * 10)) got
    for _ in $(seq "$tenths"); do
        shot
        got=$(pixel "$2" "$3")
        [ "$got" != "0 0 0" ] && [ "$got" != "120 120 120" ] && return 0
        sleep 0.1
    done
    fail "$4: no ball at ($2, $3) within $1 s; it is ($(pixel "$2" "$3"))"
}

# whiteAt SECONDS X Y WHAT: waits for a white-ish pixel (a ball).
whiteAt() {
    local tenths=$(($1 * 10)) r g b
    for _ in $(seq "$tenths"); do
        shot
        read -r r g b <<< "$(pixel "$2" "$3")"
        [ "$r" -ge 200 ] && [ "$g" -ge 200 ] && [ "$b" -ge 200 ] && return 0
        sleep 0.1
    done
    fail "$4: no ball at ($2, $3) within $1 s; it is ($(pixel "$2" "$3"))"
}

# emptyAt SECONDS X Y WHAT: waits for black or grid grey.
emptyAt() {
    local tenths=$(($1 * 10)) got
    for _ in $(seq "$tenths"); do
        shot
        got=$(pixel "$2" "$3")
        [ "$got" = "0 0 0" ] || [ "$got" = "120 120 120" ] && return 0
        sleep 0.1
    done
    fail "$4: pixel ($2, $3) is still ($(pixel "$2" "$3"))"
}

noInjection() {
    local found
    found=$(find "$WORK" "$root" "$BUILD" -name INJECTED -print 2> /dev/null | head -1)
    [ -z "$found" ] || fail "the command in the file name was run: $found"
}

startEditor "$BUILD/tumbla"
waitForWindow
xdotool windowfocus --sync "$wid"
xdotool key space
shotUntil 5 140 300 "120 120 120"
expectPixel 300 300 "0 0 0" "empty drawing area"

# A drag on empty space: a ball at each end and a link between them.
# The move starts once the press has put its ball on screen.
xdotool mousemove --window "$wid" 300 300
sleep 0.2
xdotool mousedown 1
ballAt 5 300 300 "while the button is held"
for x in 330 360 390 420 450; do
    xdotool mousemove --window "$wid" "$x" 300
    sleep 0.1
done
# The line of the running drag, drawn to the pointer, shows the move was seen.
ballAt 5 445 300 "the line of the drag, to the pointer, while the button is held"
xdotool mouseup 1
# The pointer stays until the end ball is seen: the release frame places it
# wherever the pointer is at that frame.
ballAt 5 450 300 "after the drag"
xdotool mousemove --window "$wid" 900 315
ballAt 5 300 300 "after the drag"
ballAt 5 375 300 "the link after the drag"

clickButton 625
chooseFile "Save as:"
captionIs "Tumbla Editor 55 - $figure"
[ -f "$figure" ] || fail "no file under the typed name: $(ls "$WORK/figs")"
[ "$(ls "$WORK/figs" | wc -l)" -eq 1 ] || fail "other files were saved: $(ls "$WORK/figs")"
[ "$(tr -d '\r' < "$figure" | grep -c '^New Ball $')" -eq 2 ] || fail "the saved file does not hold two balls"
grep -q '^New Link' "$figure" || fail "the saved file holds no link"
noInjection

clickButton 475
emptyAt 5 300 300 "after New Level"
captionIs "Tumbla Editor 55 - "

clickButton 535
chooseFile "Open file:"
captionIs "Tumbla Editor 55 - $figure"
ballAt 5 300 300 "after Open"

clickButton 565
chooseFile "Open file:"
ballAt 5 390 350 "after Add Object, at the view centre"
ballAt 5 300 300 "the opened figure after Add Object"
noInjection

xdotool windowfocus --sync "$wid"
xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
[ "$status" -eq 0 ] || fail "Escape ended the editor with status $status"
echo "files: ok"
