#!/usr/bin/env bash
# The window, its background, resizing, quitting, signals and a missing font.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
start_x

# Opens 1024 x 768 on the light grey background; Escape ends it with status 0.
start_app
screenshot "$WORKDIR/start.png"
[ "$(size_of "$WORKDIR/start.png")" = "1024x768" ] || fail "window is $(size_of "$WORKDIR/start.png")"
expect_pixel "$WORKDIR/start.png" 1010 10 c0c0c0
expect_pixel "$WORKDIR/start.png" 1020 760 c0c0c0
grep -q "TTF_OpenFont" "$WORKDIR/stdout.txt" && fail "the font did not open"

# A resize gives a canvas of the new client size.
xdotool windowsize "$WINDOW" 800 600
settle 0.6
screenshot "$WORKDIR/resized.png"
[ "$(size_of "$WORKDIR/resized.png")" = "800x600" ] || fail "resized window is $(size_of "$WORKDIR/resized.png")"
expect_pixel "$WORKDIR/resized.png" 790 590 c0c0c0

# An untouched window draws nothing: it sleeps until the next event.
busy=$(cpu_share 10)
echo "idle window: ${busy}% of one core"
[ "$busy" -lt 3 ] || fail "idle window uses ${busy}% of a core"

key Escape
expect_exit 0

# Ctrl+C and kill end it like any other program.
start_app
kill -TERM "$APP_PID"
expect_exit 143

# Without the font: one line on standard output, and the program runs on.
start_app nofont
expect_running
grep -q '^TTF_OpenFont(Ubuntu-R.ttf): ' "$WORKDIR/stdout.txt" || fail "no TTF_OpenFont line"
screenshot "$WORKDIR/nofont.png"
expect_pixel "$WORKDIR/nofont.png" 1010 10 c0c0c0
key Escape
expect_exit 0
# Without GL on the X server the software renderer shows the canvas, and the
# loop paces itself although that renderer returns from present at once.
start_x -extension GLX
start_app
screenshot "$WORKDIR/software.png"
expect_pixel "$WORKDIR/software.png" 1010 10 c0c0c0
expect_pixel_not "$WORKDIR/software.png" 48 100 c0c0c0   # a grid line
busy=$(cpu_share)
echo "idle window without GL: ${busy}% of one core"
[ "$busy" -lt 3 ] || fail "idle window without GL uses ${busy}% of a core"
key Escape
expect_exit 0
echo "foundation end-to-end: ok"
