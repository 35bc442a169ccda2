#!/usr/bin/env bash
# A person's session with the panels: builds a five-node network with the
# mouse, sets sliders, steps, toggles anti-aliasing, drags a node, runs the
# process continuously and asks for the analysis, reading the screen and
# standard output.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
start_x
start_app

differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# Drag the grid's corner handle from the four-node corner to the five-node one.
drag 176 208 208 240
# Links of a ring 0-1-2-3-4-0 and the chord 0-2, by their lower-triangle cells.
for cell in "64 128" "96 160" "128 192" "160 224" "64 224" "64 160"; do click 1 $cell; done
# alpha of node 1 to 0.5; gamma of every node to 0.25 with the all-nodes slider.
drag 250 143 272 143
drag 410 60 416 60
# Node 3's partner and pointer to node 4.
click 3 192 192
screenshot "$WORKDIR/built.png"
expect_pixel_not "$WORKDIR/built.png" 204 192 c0c0c0   # pointer ring of node 3 at column 4

key a
settle 0.5
expected_data=$'DATA:\n01101 1.000 1.000 0.250\n10100 0.500 1.000 0.250\n11010 1.000 1.000 0.250\n00101 1.000 1.000 0.250\n10010 1.000 1.000 0.250\n'
[ "$(head -n 7 "$WORKDIR/stdout.txt")"$'\n' = "$expected_data" ] || fail "DATA block: $(head -n 7 "$WORKDIR/stdout.txt")"
grep -q '^analize: 100%; calculation:   0%$' "$WORKDIR/stdout.txt" || fail "no analysis progress"
grep -q '^analize: 100%; calculation: 100.000%$' "$WORKDIR/stdout.txt" || fail "no step-table progress"

# Tab switches anti-aliasing of shapes; twice restores the same picture.
screenshot "$WORKDIR/smooth.png"
key Tab
screenshot "$WORKDIR/aliased.png"
key Tab
screenshot "$WORKDIR/smooth-again.png"
[ "$(differing_pixels "$WORKDIR/smooth.png" "$WORKDIR/aliased.png")" -gt 100 ] || fail "Tab changed nothing"
[ "$(differing_pixels "$WORKDIR/smooth.png" "$WORKDIR/smooth-again.png")" = 0 ] || fail "Tab twice is not the same"

# Steps change the counters; Backspace shows the start's counter column again.
counters="1000x200+512+48"
convert "$WORKDIR/smooth.png" -crop "$counters" "$WORKDIR/counters-zero.png"
key space
key Return
screenshot "$WORKDIR/stepped.png"
convert "$WORKDIR/stepped.png" -crop "$counters" "$WORKDIR/counters-stepped.png"
[ "$(differing_pixels "$WORKDIR/counters-zero.png" "$WORKDIR/counters-stepped.png")" -gt 0 ] || fail "steps changed no counter"
key BackSpace
screenshot "$WORKDIR/reset.png"
convert "$WORKDIR/reset.png" -crop "$counters" "$WORKDIR/counters-reset.png"
[ "$(differing_pixels "$WORKDIR/counters-zero.png" "$WORKDIR/counters-reset.png")" = 0 ] || fail "reset did not zero the counters"

# The run-speed slider at its right end runs 8 steps a second by itself.
drag 20 258 144 258
convert "$WORKDIR/reset.png" -crop "$counters" "$WORKDIR/counters-before-run.png"
sleep 1.5
screenshot "$WORKDIR/running.png"
convert "$WORKDIR/running.png" -crop "$counters" "$WORKDIR/counters-running.png"
[ "$(differing_pixels "$WORKDIR/counters-before-run.png" "$WORKDIR/counters-running.png")" -gt 0 ] || fail "run speed ran no step"
# Drag node 0 of the graph (at the right of the circle) to a free spot.
expect_pixel "$WORKDIR/reset.png" 722 600 c0c0c0
drag 640 416 700 600
screenshot "$WORKDIR/moved.png"
expect_pixel_not "$WORKDIR/moved.png" 722 600 c0c0c0

save_artifact "$WORKDIR/running.png" running-five-nodes.png
save_artifact "$WORKDIR/aliased.png" antialiasing-off.png
save_artifact "$WORKDIR/built.png" five-nodes-built.png

key Escape
expect_exit 0
echo "panels end-to-end: ok"
