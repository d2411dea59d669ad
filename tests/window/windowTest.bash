# Shared by the window tests (sourced, not run): a private X display, the
# editor's window, screenshots and pixel probes. Every wait has a bound.
#
# A test script starts with
#     source "$(dirname "$0")/windowTest.bash"
#     underXvfb "$@"
# which re-runs the script inside xvfb-run, with BUILD set to the build
# folder and WORK to a scratch folder removed at the end.

set -euo pipefail

screenSpec="-screen 0 1280x1024x24"
windowWidth=1024

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

underXvfb() {
    BUILD=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
    export BUILD
    if [ -z "${TUMBLA_WINDOW_TEST_INSIDE:-}" ]; then
        for tool in xvfb-run xdotool import xwininfo; do
            command -v "$tool" > /dev/null || fail "$tool is missing: run scripts/setup.sh"
        done
        TUMBLA_WINDOW_TEST_INSIDE=1 exec timeout 120 xvfb-run -a -s "$screenSpec" bash "$0" "$BUILD"
    fi
    WORK=$(mktemp -d /tmp/tumbla-window-XXXXXX)
    export WORK
    trap 'cleanUp' EXIT
}

editorPid=""

cleanUp() {
    if [ -n "$editorPid" ] && kill -0 "$editorPid" 2> /dev/null; then kill "$editorPid" 2> /dev/null || true; fi
    rm -rf "$WORK"
}

# startEditor PROGRAM: starts it in the background, its stderr in $WORK/stderr.
startEditor() {
    "$1" 2> "$WORK/stderr" &
    editorPid=$!
}

# mappedWindow CONDITION [TEXT]: prints the first window of the display's
# tree whose line meets the awk CONDITION (in which t is TEXT) and that is
# mapped; fails when there is none. A window is in the tree a moment before
# it is mapped, and focusing or typing into it fails until then.
mappedWindow() {
    local id
    for id in $(xwininfo -root -tree | awk -v t="${2:-}" "$1 { print \$1 }"); do
        if xwininfo -id "$id" 2> /dev/null | grep -q "IsViewable"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# waitForWindow: sets wid to the editor's 1024 x 700 window once it is mapped,
# within 30 s (a first OpenGL context on a busy machine can take several
# seconds).
waitForWindow() {
    wid=""
    for _ in $(seq 300); do
        wid=$(mappedWindow '/"Tumbla Editor[^"]*": .* 1024x700\+/') && return 0
        kill -0 "$editorPid" 2> /dev/null || fail "the editor ended before its window opened: $(cat "$WORK/stderr")"
        sleep 0.1
    done
    echo "windows on the display:" >&2
    xwininfo -root -tree 2>&1 | head -20 >&2 || true
    echo "the editor's stderr: $(cat "$WORK/stderr")" >&2
    fail "no editor window within 30 s (the editor is still running)"
}

# waitForExit SECONDS: waits for the editor to end and sets status to its exit
# status; fails when it is still running after SECONDS.
waitForExit() {
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        if ! kill -0 "$editorPid" 2> /dev/null; then
            status=0
            wait "$editorPid" || status=$?
            editorPid=""
            return 0
        fi
        sleep 0.1
    done
    fail "the editor still runs after $1 s"
}

# shot: a screenshot of the window into $WORK/shot.rgb (8-bit RGB rows).
shot() {
    import -window "$wid" -depth 8 "rgb:$WORK/shot.rgb"
}

# pixel X Y: "R G B" of the last screenshot at window pixel (X, Y).
pixel() {
    od -An -tu1 -j $(((($2 * windowWidth) + $1) * 3)) -N3 "$WORK/shot.rgb" | awk '{ print $1, $2, $3 }'
}

# expectPixel X Y "R G B" WHAT
expectPixel() {
    local got
    got=$(pixel "$1" "$2")
    [ "$got" = "$3" ] || fail "$4: pixel ($1, $2) is ($got), expected ($3)"
}

# shotUntil SECONDS X Y "R G B": takes screenshots until the pixel has the
# colour; fails after SECONDS.
shotUntil() {
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        shot
        [ "$(pixel "$2" "$3")" = "$4" ] && return 0
        kill -0 "$editorPid" 2> /dev/null || fail "the editor ended early: $(cat "$WORK/stderr")"
        sleep 0.1
    done
    fail "pixel ($2, $3) never became ($4) within $1 s; it is ($(pixel "$2" "$3"))"
}

# litPixels X0 Y0 X1 Y1: how many pixels of the last screenshot in the box
# [X0, X1) x [Y0, Y1) are not black.
litPixels() {
    local x0=$1 y0=$2 x1=$3 y1=$4 count=0 y
    for ((y = y0; y < y1; y++)); do
        count=$((count + $(od -An -v -tu1 -w3 -j $(((y * windowWidth + x0) * 3)) -N $(((x1 - x0) * 3)) "$WORK/shot.rgb" |
            awk '$1 + $2 + $3 > 0 { n++ } END { print n + 0 }')))
    done
    echo "$count"
}

# The splash logo: its three balls, as the image generator draws them,
# placed with the top-left corner at (409, 162).
expectSplashLogo() {
    expectPixel $((409 + 52)) $((162 + 80)) "255 190 40" "splash logo, left ball"
    expectPixel $((409 + 153)) $((162 + 80)) "70 160 255" "splash logo, right ball"
    expectPixel $((409 + 102)) $((162 + 175)) "240 240 240" "splash logo, lower ball"
    expectPixel 200 300 "0 0 0" "splash background"
}

# The start-up view's grid: grey 120 vertical lines at x 140, 390 and 640 in
# the drawing area, black between them (y 300 crosses no horizontal line
# and no text).
expectStartupGrid() {
    local x
    for x in 140 390 640; do expectPixel "$x" 300 "120 120 120" "grid line"; done
    for x in 139 141 300 389 391 500 700; do expectPixel "$x" 300 "0 0 0" "between grid lines"; done
    expectPixel 300 175 "120 120 120" "horizontal grid line"
    expectPixel 300 425 "120 120 120" "horizontal grid line"
}

# The file dialog and the toolbar, shared by the tests that drive them.

# waitForDialog TITLE: sets dlg to the dialog's window, within 20 s.
waitForDialog() {
    dlg=""
    for _ in $(seq 200); do
        dlg=$(mappedWindow 'index($0, t)' "\"$1\": ") && return 0
        sleep 0.1
    done
    fail "no \"$1\" dialog within 20 s"
}

waitForDialogToClose() {
    for _ in $(seq 100); do
        xwininfo -root -tree | grep -qF "\"$1\": " || return 0
        sleep 0.1
    done
    fail "the \"$1\" dialog is still open after 10 s"
}

# clickButton Y: a toolbar button of the editor's window.
clickButton() {
    xdotool windowfocus --sync "$wid"
    xdotool mousemove --window "$wid" 900 "$1" click 1
}

# captionIs TEXT: waits up to 5 s for the window's caption.
captionIs() {
    for _ in $(seq 50); do
        [ "$(xdotool getwindowname "$wid")" = "$1" ] && return 0
        sleep 0.1
    done
    fail "caption is \"$(xdotool getwindowname "$wid")\", expected \"$1\""
}

# waitForMessageBox CAPTION WHAT: sets box to a window captioned CAPTION that
# is not the editor's 1024 x 700 window, within 10 s.
waitForMessageBox() {
    box=""
    for _ in $(seq 100); do
        box=$(mappedWindow 'index($0, t) && !/ 1024x700\+/' "\"$1\": ") && return 0
        sleep 0.1
    done
    fail "$2"
}
