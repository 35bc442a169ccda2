#!/usr/bin/env bash
# Peak resident memory and time of vorlask-cli on the networks of its memory
# limits, for one or more builds side by side, one run at a time:
#   bench/memory_peaks.sh build/vorlask-cli /other/build/vorlask-cli
# Networks: rings of 16 and 18 nodes and the complete graph of 8, each with
# uneven parameters and with every parameter 0.5 (half...), and 20 linked
# pairs (refused). Each line: build, network, jobs, wall seconds, CPU seconds, peak
# resident KB, bytes per transition at the peak, the first words of any
# message. NETWORKS and JOBS in the environment choose a subset ("ring16
# complete8", "1 64"); TIMEOUT (600 seconds) ends a run that takes longer.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 VORLASK-CLI..." >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

network() {  # name nodes kind: ring, complete or pairs; uneven or half
    local name="$1" n="$2" shape="$3" values="$4"
    {
        echo "DATA:"
        for ((i = 0; i < n; i++)); do
            row=""
            for ((j = 0; j < n; j++)); do
                case "$shape" in
                    ring) (((j - i + n) % n == 1 || (i - j + n) % n == 1)) && row+=1 || row+=0 ;;
                    complete) ((i != j)) && row+=1 || row+=0 ;;
                    pairs) ((j == (i ^ 1))) && row+=1 || row+=0 ;;
                esac
            done
            if [ "$values" = half ]; then
                echo "$row 0.500 0.500 0.500"
            else
                local a=(0.700 0.850 0.600 0.900 0.750 0.650 0.800) b=(0.800 0.650 0.900 0.700 0.550 0.950 0.600)
                local g=(0.300 0.700 0.450 0.200 0.900 0.350 0.600)
                echo "$row ${a[i % 7]} ${b[i % 7]} ${g[i % 7]}"
            fi
        done
    } >"$work/$name.txt"
}
network ring16 16 ring uneven
network ring18 18 ring uneven
network halfring16 16 ring half
network halfring18 18 ring half
network complete8 8 complete uneven
network halfcomplete8 8 complete half
network pairs20 40 pairs half

# The transitions of a network: the third line of its Matrix Market header,
# which export writes before any entry (the reader stops there).
# Older builds know no --max-memory; the first build that gives a count is taken.
transitions() {
    local name="$1" cli count
    shift
    for cli in "$@"; do
        count="$( ("$cli" export --max-memory 1T "$work/$name.txt" 2>/dev/null || true) | sed -n '3{p;q}' | cut -d' ' -f3)"
        [ -n "$count" ] && { echo "$count"; return; }
    done
}

for name in ${NETWORKS:-ring16 halfring16 ring18 halfring18 complete8 halfcomplete8 pairs20}; do
    count="$(transitions "$name" "$@")"
    for jobs in ${JOBS:-2}; do
        for cli in "$@"; do
            /usr/bin/time -f "%e %U %M" -o "$work/time" timeout "${TIMEOUT:-600}" "$cli" steps --horizon 1 --jobs "$jobs" \
                "$work/$name.txt" >/dev/null 2>"$work/err" || true
            read -r wall cpu peak < <(tail -n 1 "$work/time")
            perTransition="-"
            [ -n "$count" ] && [ "$count" -gt 1 ] && perTransition="$(awk -v p="$peak" -v c="$count" 'BEGIN { printf "%.1f", p * 1024 / c }')"
            printf '%-40s %-11s jobs %-3s %8ss %8ss cpu %10s KB %6s B/transition %s\n' "$cli" "$name" "$jobs" "$wall" "$cpu" \
                "$peak" "$perTransition" "$(head -c 120 "$work/err")"
        done
    done
done
