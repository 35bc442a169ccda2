#!/usr/bin/env bash
# CPU time of an untouched window under Xvfb: each program given starts in
# a scratch folder with the font beside it, settles for a second, and is
# measured over the next SECONDS seconds (10 by default) from its own
# user and system time in /proc. Prints one line per program.
#   bench/idle_window.sh [--seconds S] FONT PROGRAM...
# for example, beside the program before this round's work:
#   bench/idle_window.sh .cache/fonts/Ubuntu-R.ttf /work/baseline/build/vorlask build/vorlask
set -euo pipefail
seconds=10
if [ "${1:-}" = "--seconds" ]; then seconds="$2"; shift 2; fi
font="$(realpath "$1")"
shift
work="$(mktemp -d)"
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
cp "$font" "$work/Ubuntu-R.ttf"
ticks="$(getconf CLK_TCK)"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

for program in "$@"; do
    program="$(realpath "$program")"
    (cd "$work" && exec "$program" >/dev/null 2>&1) &
    app=$!
    timeout 20 xdotool search --sync --onlyvisible --name '^vorlask app$' >/dev/null
    sleep 1
    before="$(cpu_ticks "$app")"
    sleep "$seconds"
    after="$(cpu_ticks "$app")"
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=""
    awk -v used="$((after - before))" -v ticks="$ticks" -v s="$seconds" -v p="$program" \
        'BEGIN { printf "%s: %.2f s of CPU in %d s idle, %.1f%% of one core\n", p, used / ticks, s, 100 * used / ticks / s }'
done
