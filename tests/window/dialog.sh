#!/usr/bin/env bash
# Opening a figure through the file dialog on a real window: "Open" shows
# the dialog program, the chosen file (a name with a space and a ";") is
# read and named in the caption; a cancelled dialog leaves the editor as it
# was and running; with no dialog program installed, a message says what
# to install and the editor goes on.
source "$(dirname "$0")/windowTest.bash"
underXvfb "$@"
command -v zenity > /dev/null || fail "zenity is missing: run scripts/setup.sh"

root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$WORK/figs"
figure="$WORK/figs/two balls;x.fig"
cp "$root/tests/fixtures/twoBalls.fig" "$figure"

clickOpen() { clickButton 537; }

startEditor "$BUILD/tumbla"
waitForWindow
xdotool windowfocus --sync "$wid"
xdotool key space
shotUntil 5 140 300 "120 120 120"

clickOpen
waitForDialog "Open file:"
xdotool windowfocus --sync "$dlg"
xdotool key ctrl+l
xdotool type --delay 5 "$figure"
xdotool key Return
waitForDialogToClose "Open file:"
expected="Tumbla Editor 55 - $figure"
captionIs "$expected"

clickOpen
waitForDialog "Open file:"
xdotool windowfocus --sync "$dlg"
xdotool key Escape
waitForDialogToClose "Open file:"
sleep 0.3
kill -0 "$editorPid" 2> /dev/null || fail "the editor ended after a cancelled dialog"
[ "$(xdotool getwindowname "$wid")" = "$expected" ] || fail "a cancelled Open changed the caption"

xdotool windowfocus --sync "$wid"
xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
[ "$status" -eq 0 ] || fail "Escape ended the editor with status $status"

# No dialog program on PATH: a message box names zenity and the editor
# goes on after it is dismissed.
PATH=/nonexistent startEditor "$BUILD/tumbla"
waitForWindow
xdotool windowfocus --sync "$wid"
xdotool key space
shotUntil 5 140 300 "120 120 120"
clickOpen
waitForMessageBox "Tumbla Editor 55 - " "no message box without a dialog program"
grep -q "install zenity" "$WORK/stderr" || fail "the message does not say what to install: $(cat "$WORK/stderr")"
for _ in $(seq 20); do
    xwininfo -root -tree | grep -q "^ *$box " || break
    xdotool key --window "$box" Return 2> /dev/null || true
    sleep 0.25
done
sleep 0.3
kill -0 "$editorPid" 2> /dev/null || fail "the editor ended after the message"
xdotool windowfocus --sync "$wid"
xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
[ "$status" -eq 0 ] || fail "Escape ended the editor with status $status"
echo "dialog: ok"
