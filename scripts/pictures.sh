#!/usr/bin/env bash
# Makes README's pictures from the real editor on a private X display:
#   docs/draw-mode.png   a sample opened through "Open" and its file dialog
#   docs/play-mode.png   another one two seconds into Play mode
#   docs/falling.gif     a sample falling and rolling
#
#   scripts/pictures.sh [BUILD_DIR]     (default: build, built first)
#
# xdotool drives the editor the way a user would: Space past the splash,
# the Open button, the path typed into the dialog's location field, P to
# play. Every wait is bounded; the whole run ends within two minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${TUMBLA_WINDOW_TEST_INSIDE:-}" ]; then
    if [ -z "${1:-}" ]; then
        "$root/scripts/build.sh" build
        set -- "$root/build"
    fi
    command -v zenity > /dev/null || { echo "zenity is missing: run scripts/setup.sh" >&2; exit 1; }
fi
source "$root/tests/window/windowTest.bash"
underXvfb "$@"

docs="$root/docs"
mkdir -p "$docs"

# The window's place on the screen, for cropping screenshots of the root.
windowOrigin() {
    local x y
    x=$(xwininfo -id "$wid" | awk '/Absolute upper-left X/ { print $4 }')
    y=$(xwininfo -id "$wid" | awk '/Absolute upper-left Y/ { print $4 }')
    echo "+$x+$y"
}

# picture FILE [SIZE]: the whole window, or its top-left SIZE, from the screen.
picture() {
    import -window root -crop "${2:-1024x700}$(windowOrigin)" +repage "$1"
}

# openSample NAME: "Open", the path typed into the dialog, and the caption
# that names it.
openSample() {
    local path="$root/figures/$1"
    xdotool windowfocus --sync "$wid"
    xdotool mousemove --window "$wid" 901 537 click 1
    dlg=$(timeout 20 xdotool search --sync --name '^Open file:$' | head -n 1) || true
    [ -n "$dlg" ] || fail "no file dialog within 20 s"
    xdotool windowfocus --sync "$dlg"
    xdotool key ctrl+l
    xdotool type --delay 5 "$path"
    xdotool key Return
    for _ in $(seq 100); do
        [ "$(xdotool getwindowname "$wid")" = "Tumbla Editor 55 - $path" ] && break
        sleep 0.1
    done
    [ "$(xdotool getwindowname "$wid")" = "Tumbla Editor 55 - $path" ] || fail "$1 did not open"
    xdotool windowfocus --sync "$wid"
    xdotool mousemove --window "$wid" 1000 690
    sleep 0.5
}

pressP() {
    xdotool windowfocus --sync "$wid"
    xdotool key p
}

startEditor "$BUILD/tumbla"
waitForWindow
xdotool windowfocus --sync "$wid"
xdotool key space
shotUntil 5 140 300 "120 120 120"

# Draw mode, the top-left ball of the box selected (world (120, 250) is
# window pixel (510, 250) in the start-up view), so the toolbar shows its rows.
openSample rope-bridge.fig
xdotool mousemove --window "$wid" 510 250 click 1
xdotool mousemove --window "$wid" 1000 690
sleep 0.5
picture "$docs/draw-mode.png"

# The soft wheel drops onto its ramp and rolls: sixty snapshots
# of the drawing area by one import (a new import per picture is slower),
# played back at the pace they were taken.
openSample soft-wheel.fig
pressP
started=$(date +%s%N)
import -window "$wid" -snaps 60 -crop 780x700+0+0 +repage "$WORK/fall.miff"
took=$(( ($(date +%s%N) - started) / 1000000 ))
pressP

openSample soft-pile.fig
pressP
sleep 2
picture "$docs/play-mode.png"

xdotool keydown Escape
waitForExit 5
xdotool keyup Escape 2> /dev/null || true
# Half size, 16 colours, no dithering: the figures are white on black.
delay=$(( took / 600 ))  # hundredths of a second per picture
MAGICK_THREAD_LIMIT=1 convert -delay "$((delay > 2 ? delay : 2))" -loop 0 "$WORK/fall.miff" -resize 50% \
    +dither -colors 16 -layers Optimize "$docs/falling.gif"
ls -l "$docs"/draw-mode.png "$docs"/play-mode.png "$docs"/falling.gif
