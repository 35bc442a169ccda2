#!/usr/bin/env bash
# vorlask-cli beside the window: a network built with the mouse and analysed
# with the A key reads back from the window's saved output as the same
# report, byte for byte, and as the same summary in full precision; the
# exported chain reads into scipy and gives the same success curve; a plot
# renders with a real SVG renderer; and a reader that stops early ends the
# command quietly.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
CLI="$(dirname "$PROGRAM")/vorlask-cli"
PYTHON=/usr/bin/python3
[ -x "$CLI" ] || fail "no vorlask-cli beside $PROGRAM"

# A ring of five nodes built as a person would, gamma 0.25 for every node,
# then the A key.
start_x
start_app
drag 176 208 208 240
for cell in "64 128" "96 160" "128 192" "160 224" "64 224"; do click 1 $cell; done
drag 410 60 416 60
key a
for _ in $(seq 50); do
    [ "$(tail -c 2 "$WORKDIR/stdout.txt" | od -An -c | tr -d ' ')" = '\n\n' ] && grep -q '^ *[0-9.]*  [0-9.]' "$WORKDIR/stdout.txt" && break
    sleep 0.2
done
key Escape
expect_exit 0
session="$WORKDIR/session.txt"
cp "$WORKDIR/stdout.txt" "$session"

# The saved session is a network file: report gives back its every byte.
"$CLI" report "$session" >"$WORKDIR/report.txt" || fail "report failed"
cmp -s "$session" "$WORKDIR/report.txt" || fail "report differs from the window's output: $(diff "$session" "$WORKDIR/report.txt" | head -n 5)"

# steps of the window's chain is the summary line uncut: cut to six decimals
# it is the window's line.
summary="$(tail -n 2 "$session" | head -n 1 | tr -s ' ' '\n' | sed '/^$/d' | tail -n +2)"
"$CLI" steps --chain window --horizon 16 "$session" | tail -n +3 | cut -d, -f2 >"$WORKDIR/steps.txt"
cut_steps="$($PYTHON -c '
import math, sys
for line in open(sys.argv[1]):
    print("%.6f" % (math.floor(float(line) * 1000000.0) / 1000000.0))' "$WORKDIR/steps.txt")"
[ "$cut_steps" = "$summary" ] || fail "steps cut to 6 decimals: $cut_steps; window: $summary"

# The exported chain in scipy: the matrix and the configurations agree with
# steps' counts, and iterating the matrix gives steps' success curve.
"$CLI" export --matrix "$WORKDIR/chain.mtx" --configurations "$WORKDIR/chain.csv" "$session" || fail "export failed"
"$CLI" steps --horizon 30 --format json "$session" >"$WORKDIR/steps.json" || fail "steps json failed"
$PYTHON - "$WORKDIR/chain.mtx" "$WORKDIR/chain.csv" "$WORKDIR/steps.json" <<'PY' || fail "scipy check failed"
import csv, json, sys
import numpy as np
import scipy.io
matrix = scipy.io.mmread(sys.argv[1]).tocsr()
rows = list(csv.DictReader(open(sys.argv[2])))
steps = json.load(open(sys.argv[3]))
h = steps["configurations"]
assert matrix.shape == (h, h), matrix.shape
assert len(rows) == h and [int(r["index"]) for r in rows] == list(range(h))
assert sum(r["mark"] == "S" for r in rows) == steps["marked"] > 0
assert matrix.nnz > 0 and (matrix.data > 0).all()
assert (np.asarray(matrix.sum(axis=1)).ravel() <= 1 + 1e-12).all()
v = np.array([1.0 if r["mark"] == "S" else 0.0 for r in rows])
for p, expected in enumerate(steps["success"]):
    assert abs(v.mean() - expected) <= 1e-12 * max(1e-300, expected), (p, v.mean(), expected)
    v = matrix @ v
print("scipy: %d configurations, %d transitions, %d marked" % (h, matrix.nnz, steps["marked"]))
PY

# A plot of two networks renders with a real SVG renderer.
printf 'DATA:\n011 1.000 1.000 1.000\n101 1.000 1.000 1.000\n110 1.000 1.000 0.500\n\n' >"$WORKDIR/triangle.txt"
"$CLI" plot --horizon 20 -o "$WORKDIR/curves.svg" "$session" "$WORKDIR/triangle.txt" || fail "plot failed"
rsvg-convert "$WORKDIR/curves.svg" -o "$WORKDIR/curves.png" || fail "rsvg-convert cannot render the plot"
[ "$(size_of "$WORKDIR/curves.png")" = "860x520" ] || fail "plot renders at $(size_of "$WORKDIR/curves.png")"
[ "$(convert "$WORKDIR/curves.png" -format '%k' info:)" -gt 20 ] || fail "the plot is nearly blank"
save_artifact "$WORKDIR/curves.png" cli-plot.png

# A reader that stops early ends the command quietly and successfully.
set -o pipefail
first="$("$CLI" simulate --steps 100000 --every 1 "$session" 2>"$WORKDIR/pipe.err" | head -n 1)" || fail "a closed pipe failed the command"
[ "$first" = "replicate,seed,step,node,successes,chance" ] || fail "first line: $first"
[ ! -s "$WORKDIR/pipe.err" ] || fail "a closed pipe printed: $(cat "$WORKDIR/pipe.err")"
echo "vorlask-cli end-to-end: ok"
