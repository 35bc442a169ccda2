#!/usr/bin/env bash
# vorlask-cli as a real process: charts of long names rendered by a real SVG
# renderer draw nothing outside the picture; every signal that ends the
# command leaves no temporary file, an inherited "ignore" is kept, and a
# file-size limit ends it with one line.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
CLI="$(dirname "$PROGRAM")/vorlask-cli"
[ -x "$CLI" ] || fail "no vorlask-cli beside $PROGRAM"
cd "$WORKDIR"
ulimit -c 0
printf 'DATA:\n011 0.500 0.500 0.500\n101 0.500 0.500 0.500\n110 0.500 0.500 0.500\n\n' >k3.txt

# ---- charts

# The most opaque pixel a chart draws outside its picture: the SVG without
# its background, its view widened by a margin on every side, rendered on a
# transparent canvas with the picture's own area cleared.
drawn_outside() {
    local svg="$1" margin=300 w h width height
    read -r w h < <(sed -n 's/.*<svg [^>]*width="\([0-9.]*\)" height="\([0-9.]*\)".*/\1 \2/p' "$svg" | head -n 1)
    [ -n "$w" ] || fail "$svg has no size"
    width="$(printf '%.0f' "$w")" height="$(printf '%.0f' "$h")"
    sed -e 's|<rect width="100%" height="100%" fill="#ffffff"/>||' \
        -e "s|width=\"$w\" height=\"$h\" viewBox=\"0 0 $w $h\"|width=\"$((width + 2 * margin))\" height=\"$((height + 2 * margin))\" viewBox=\"-$margin -$margin $((width + 2 * margin)) $((height + 2 * margin))\"|" \
        "$svg" >wide.svg
    rsvg-convert wide.svg -o wide.png || fail "rsvg-convert cannot render $svg"
    convert wide.png \( -size "${width}x${height}" xc:none \) -geometry "+$margin+$margin" -compose copy -composite \
        -alpha extract -format '%[max]' info:
}

expect_inside() {
    local svg="$1" what="$2" outside
    /usr/bin/python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$svg" ||
        fail "$what: the SVG is not well-formed XML"
    outside="$(drawn_outside "$svg")"
    [ "$outside" = 0 ] || fail "$what: drawn outside the picture (alpha $outside)"
}

folder="a folder whose name goes on for quite a while/and a second one that is no shorter"
mkdir -p "$folder" other
long="$folder/a network file with an exceedingly long and descriptive name, version 2 (final).txt"
cp k3.txt "$long"
cp k3.txt "other/a network file with an exceedingly long and descriptive name, version 2 (final).txt"
"$CLI" sweep --vary alpha=0:1:0.25 --plot sweep.svg "$long" >/dev/null || fail "sweep of a long path failed"
! grep -q "$folder" sweep.svg || fail "the sweep's title names the folder"
expect_inside sweep.svg "a sweep of a long path"
"$CLI" plot --title "$(printf 'W%.0s' $(seq 150))" -o title.svg "$long" k3.txt || fail "plot failed"
expect_inside title.svg "a long title and a long legend"
"$CLI" plot --title "$(printf '\xe4\xb8\xad%.0s' $(seq 80))"$'\e[31m\x01' -o same.svg "$long" other/*.txt ||
    fail "plot of two files of one name failed"
expect_inside same.svg "two files of one name in long folders"
"$CLI" sweep --vary alpha=0,5e-324 --vary gamma=0.5,1 --plot narrow.svg k3.txt >/dev/null || fail "narrow sweep failed"
expect_inside narrow.svg "a range a denormal wide"
"$CLI" sweep --vary 'alpha=0.1,0.10000000000000001,0.10000000000000003' --plot close.svg k3.txt >/dev/null ||
    fail "close sweep failed"
expect_inside close.svg "values an ulp apart"
"$CLI" sweep --measure mean-steps --vary 'alpha=0:1:0.25' --vary 'gamma=0.2:1:0.2' --plot-kind heatmap \
    --plot map.svg "$long" >/dev/null || fail "heat map of a long path failed"
grep -q 'fill="url(#no-value)"' map.svg || fail "the heat map has no hatched cells where S is never reached"
expect_inside map.svg "a heat map with hatched cells"
"$CLI" sweep --vary alpha=0,5e-324 --vary 'gamma=0.1,0.10000000000000001' --plot-kind heatmap --plot tiny.svg k3.txt \
    >/dev/null || fail "heat map of values a denormal apart failed"
expect_inside tiny.svg "a heat map of values a denormal and an ulp apart"
for size in "400 300" "4000 3000" "420 1500"; do
    read -r width height <<<"$size"
    "$CLI" plot --width "$width" --height "$height" --limit --title "$(printf 'W%.0s' $(seq 150))" -o sized.svg "$long" \
        k3.txt || fail "plot at $size failed"
    expect_inside sized.svg "a plot of $size with a long title and a long legend"
    "$CLI" sweep --width "$width" --height "$height" --measure mean-steps --vary 'gamma[0]=0:1:0.125' \
        --vary 'gamma[1]=0,0.5,1' --plot sized.svg "$long" >/dev/null || fail "sweep chart at $size failed"
    expect_inside sized.svg "a sweep chart of $size"
    "$CLI" sweep --width "$width" --height "$height" --measure mean-steps --vary 'gamma[0]=0:1:0.125' \
        --vary 'alpha=0,0.5,1' --plot-kind heatmap --plot sized.svg "$long" >/dev/null || fail "heat map at $size failed"
    expect_inside sized.svg "a heat map of $size"
done

# ---- signals

mkfifo network.fifo
temporaries() { find . -maxdepth 1 -name '.out.csv.*' | wc -l; }

# Starts the command on the FIFO, which it reads only once it has made its
# temporary file, and holds the FIFO open without a block, so that the
# command waits there.
start_waiting() {
    "$@" steps -o out.csv network.fifo 2>err.txt &
    CLI_PID=$!
    exec 3>network.fifo
    for _ in $(seq 100); do
        [ "$(temporaries)" = 1 ] && return 0
        sleep 0.05
    done
    fail "no temporary file while the command waits"
}

set -m  # background commands get the signals' default actions, as from a terminal
signal_number() { kill -l "$1"; }
for signal in HUP INT QUIT USR1 USR2 ALRM TERM XCPU XFSZ PROF VTALRM; do
    start_waiting "$CLI"
    kill -s "$signal" "$CLI_PID"
    status=0
    wait "$CLI_PID" || status=$?
    exec 3>&-
    [ "$status" = $((128 + $(signal_number "$signal"))) ] || fail "SIG$signal: exit status $status"
    [ "$(temporaries)" = 0 ] || fail "SIG$signal left a temporary file"
    [ ! -e out.csv ] || fail "SIG$signal left out.csv"
done

# Signals the command inherits as ignored stay ignored: under nohup, and
# INT in a script's background job.
set +m
start_waiting nohup "$CLI"
kill -s HUP "$CLI_PID"
kill -s INT "$CLI_PID"
sleep 0.3
kill -0 "$CLI_PID" 2>/dev/null || fail "an ignored SIGHUP or SIGINT ended the command"
cat k3.txt >&3
exec 3>&-
wait "$CLI_PID" || fail "the command failed after ignored signals: $(cat err.txt)"
[ "$(head -n 1 out.csv)" = "step,success" ] || fail "no output after ignored signals"
rm -f out.csv

# A file-size limit ends the command with one line, whatever the output.
printf 'DATA:\n0111 1.000 1.000 0.250\n1011 1.000 1.000 0.500\n1101 1.000 1.000 0.750\n1110 1.000 1.000 1.000\n\n' >k4.txt
for target in file standard; do
    status=0
    if [ "$target" = file ]; then
        (ulimit -f 16; exec "$CLI" steps --per-configuration --horizon 20000 -o out.csv k4.txt) 2>err.txt || status=$?
        says="vorlask-cli: cannot write out.csv: File too large"
    else
        (ulimit -f 16; exec "$CLI" steps --per-configuration --horizon 20000 k4.txt >out.csv) 2>err.txt || status=$?
        says="vorlask-cli: cannot write standard output: File too large"
        rm -f out.csv
    fi
    [ "$status" = 1 ] || fail "file-size limit ($target): exit status $status"
    [ "$(cat err.txt)" = "$says" ] || fail "file-size limit ($target): $(cat err.txt)"
    [ "$(temporaries)" = 0 ] && [ ! -e out.csv ] || fail "file-size limit ($target) left a file"
done
echo "vorlask-cli contract end-to-end: ok"
