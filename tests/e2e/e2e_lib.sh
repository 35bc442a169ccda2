# Shared helpers of the end-to-end tests: a private X server, the real program
# in a scratch working directory, screenshots and pixel reads.
# Usage: source this file with the program and the font file as $1 and $2.
set -euo pipefail

PROGRAM="$(realpath "$1")"
FONT_FILE="$(realpath "${2:-/dev/null}")"
WORKDIR="$(mktemp -d)"
XVFB_PID=""
APP_PID=""
WINDOW=""

cleanup() {
    [ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORKDIR"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -f "$WORKDIR/stdout.txt" ] && { echo "--- program output:" >&2; tail -n 20 "$WORKDIR/stdout.txt" >&2; }
    exit 1
}

# Extra arguments go to the X server (for example -extension GLX).
start_x() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null || true
    rm -f "$WORKDIR/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" 3>"$WORKDIR/display" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORKDIR/display" ] && break
        sleep 0.1
    done
    [ -s "$WORKDIR/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$WORKDIR/display")"
}

# Starts the program in the scratch directory, with the font beside it unless
# "nofont" is given, and waits for its window.
start_app() {
    rm -f "$WORKDIR/Ubuntu-R.ttf"
    [ "${1:-}" = "nofont" ] || cp "$FONT_FILE" "$WORKDIR/Ubuntu-R.ttf"
    (cd "$WORKDIR" && exec "$PROGRAM" >"$WORKDIR/stdout.txt" 2>"$WORKDIR/stderr.txt") &
    APP_PID=$!
    WINDOW="$(timeout 20 xdotool search --sync --onlyvisible --name '^vorlask app$' | head -n 1)" || fail "no window"
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
    settle
}

# Long enough for several frames at 60 a second.
settle() { sleep "${1:-0.4}"; }

# Waits for the program to end and checks its exit status.
expect_exit() {
    local expected="$1" status=0
    for _ in $(seq 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$APP_PID" 2>/dev/null && fail "program still running"
    wait "$APP_PID" || status=$?
    APP_PID=""
    [ "$status" = "$expected" ] || fail "exit status $status, expected $expected"
}

expect_running() { kill -0 "$APP_PID" 2>/dev/null || fail "program is not running"; }

screenshot() {
    local file="$1"
    import -window "$WINDOW" "$file" 2>/dev/null || fail "screenshot failed"
}

size_of() { identify -format '%wx%h' "$1"; }

# Prints a pixel of a screenshot as RRGGBB.
pixel() { convert "$1" -format '%[hex:u.p{'"$2"','"$3"'}]' info: | cut -c1-6 | tr 'A-F' 'a-f'; }

expect_pixel() {
    local file="$1" x="$2" y="$3" expected="$4" actual
    actual="$(pixel "$file" "$x" "$y")"
    [ "$actual" = "$expected" ] || fail "pixel ($x, $y) is $actual, expected $expected"
}

expect_pixel_not() {
    local file="$1" x="$2" y="$3" unexpected="$4" actual
    actual="$(pixel "$file" "$x" "$y")"
    [ "$actual" != "$unexpected" ] || fail "pixel ($x, $y) is $actual"
}

key() { xdotool key --delay 30 "$@"; settle 0.2; }

click() {
    local button="$1" x="$2" y="$3"
    xdotool mousemove --window "$WINDOW" "$x" "$y" click "$button"
    settle 0.2
}

drag() {
    local x1="$1" y1="$2" x2="$3" y2="$4"
    xdotool mousemove --window "$WINDOW" "$x1" "$y1" mousedown 1
    settle 0.15
    xdotool mousemove --window "$WINDOW" "$(( (x1 + x2) / 2 ))" "$(( (y1 + y2) / 2 ))"
    settle 0.15
    xdotool mousemove --window "$WINDOW" "$x2" "$y2"
    settle 0.15
    xdotool mouseup 1
    settle 0.2
}

# Percent of one core that the program used over a few seconds (3 unless given).
cpu_share() {
    local seconds="${1:-3}" before after
    before=$(awk '{print $14 + $15}' "/proc/$APP_PID/stat")
    sleep "$seconds"
    after=$(awk '{print $14 + $15}' "/proc/$APP_PID/stat")
    echo $(( (after - before) * 100 / (seconds * $(getconf CLK_TCK)) ))
}

save_artifact() { [ -n "${E2E_ARTIFACTS:-}" ] && mkdir -p "$E2E_ARTIFACTS" && cp "$1" "$E2E_ARTIFACTS/$2" || true; }
