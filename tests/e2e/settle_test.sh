#!/usr/bin/env bash
# vorlask-cli settle against scipy: on the exported chain, scipy's sparse
# solve of (I - Q) v = b and (I - Q) m = v on the transient configurations
# lands inside every interval settle gives, per configuration and averaged;
# and a settling-time sweep renders with a real SVG renderer.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
CLI="$(dirname "$PROGRAM")/vorlask-cli"
PYTHON=/usr/bin/python3
[ -x "$CLI" ] || fail "no vorlask-cli beside $PROGRAM"

# A complete graph of five nodes and a ring of eight, certain moves, gammas
# from 1/8 to 7/8.
$PYTHON - "$WORKDIR" <<'PY'
import sys
def network(n, ring):
    lines = ["DATA:"]
    for i in range(n):
        row = "".join("1" if ((j == (i + 1) % n or i == (j + 1) % n) if ring else i != j) else "0" for j in range(n))
        lines.append("%s 1.000 1.000 %.3f" % (row, (1 + i % 7) / 8))
    return "\n".join(lines) + "\n"
open(sys.argv[1] + "/complete5.txt", "w").write(network(5, False))
open(sys.argv[1] + "/ring8.txt", "w").write(network(8, True))
PY

for name in complete5 ring8; do
    net="$WORKDIR/$name.txt"
    "$CLI" export --matrix "$WORKDIR/$name.mtx" --configurations "$WORKDIR/$name.csv" "$net" || fail "export $name"
    "$CLI" settle --per-configuration -o "$WORKDIR/$name-rows.csv" "$net" || fail "settle --per-configuration $name"
    "$CLI" settle -o "$WORKDIR/$name-figures.csv" "$net" || fail "settle $name"
    $PYTHON - "$WORKDIR/$name" <<'PY' || fail "scipy disagrees with settle on $name"
import csv, sys
import numpy as np
import scipy.io
import scipy.sparse as sparse
import scipy.sparse.csgraph as csgraph
import scipy.sparse.linalg as linalg
base = sys.argv[1]
T = scipy.io.mmread(base + ".mtx").tocsr()
rows = list(csv.DictReader(open(base + "-rows.csv")))
figures = {r["measure"]: r for r in csv.DictReader(open(base + "-figures.csv"))}
h = T.shape[0]
marked = np.array([r["mark"] == "S" for r in rows])
# Configurations from which S can be reached: backwards along the edges.
reach = marked.copy()
while True:
    grown = reach | (T @ reach.astype(float) > 0)
    if (grown == reach).all():
        break
    reach = grown
transient = np.flatnonzero(reach & ~marked)
Q = T[transient][:, transient]
b = np.asarray(T[transient][:, np.flatnonzero(marked)].sum(axis=1)).ravel()
A = (sparse.identity(len(transient)) - Q).tocsc()
v = np.where(marked, 1.0, 0.0)
m = np.zeros(h)
v[transient] = linalg.spsolve(A, b)
m[transient] = linalg.spsolve(A, v[transient])
slack = 1e-11
for l, r in enumerate(rows):
    for name, exact in (("limit", v[l]), ("mean_steps", m[l])):
        low, high = float(r[name + "_low"]), float(r[name + "_high"])
        assert low - slack * max(1, abs(exact)) <= exact <= high + slack * max(1, abs(exact)), (l, name, low, exact, high)
for name, exact in (("limit", v.mean()), ("mean_steps", m.mean())):
    low, high = float(figures[name]["low"]), float(figures[name]["high"])
    assert low - slack <= exact <= high + slack, (name, low, exact, high)
    assert high - low <= 1e-9 * max(1, abs(exact)), (name, low, high)
print("scipy: %d configurations, %d transient, mean steps %.6f inside settle's intervals" % (h, len(transient), m.mean()))
PY
done

# A settling-time sweep of one node's gamma, its chart rendered.
"$CLI" sweep --measure mean-steps --vary 'gamma[0]=0.125:0.875:0.0625' --vary 'gamma[1]=0.25,0.75' \
    --plot "$WORKDIR/settling.svg" -o "$WORKDIR/settling.csv" "$WORKDIR/ring8.txt" || fail "sweep --measure failed"
[ "$(wc -l <"$WORKDIR/settling.csv")" = 27 ] || fail "sweep wrote $(wc -l <"$WORKDIR/settling.csv") lines"
rsvg-convert "$WORKDIR/settling.svg" -o "$WORKDIR/settling.png" || fail "rsvg-convert cannot render the sweep chart"
[ "$(convert "$WORKDIR/settling.png" -format '%k' info:)" -gt 20 ] || fail "the sweep chart is nearly blank"
save_artifact "$WORKDIR/settling.png" cli-settling.png
echo "vorlask-cli settle end-to-end: ok"
