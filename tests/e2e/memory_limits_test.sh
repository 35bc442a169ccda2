#!/usr/bin/env bash
# vorlask-cli under memory limits, as a process: a network beyond --max-memory
# is refused before any work in one line; the default limit follows an
# address-space limit (ulimit -v); a run that still cannot get memory ends with
# one line and status 3, never a signal, and leaves no output file; a row of
# too many outcome paths is refused rather than followed for ever.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
CLI="$(dirname "$PROGRAM")/vorlask-cli"
[ -x "$CLI" ] || fail "no vorlask-cli beside $PROGRAM"

# A ring of $1 nodes with uneven parameters, and $1 linked pairs at 0.5.
ring() {
    echo "DATA:"
    for ((i = 0; i < $1; i++)); do
        row=""
        for ((j = 0; j < $1; j++)); do
            if (((j - i + $1) % $1 == 1 || (i - j + $1) % $1 == 1)); then row+=1; else row+=0; fi
        done
        echo "$row 0.$((60 + i % 7 * 5))0 0.800 0.$((20 + i % 5 * 15))0"
    done
}
pairs() {
    echo "DATA:"
    for ((i = 0; i < 2 * $1; i++)); do
        row=""
        for ((j = 0; j < 2 * $1; j++)); do
            if ((j == (i ^ 1))); then row+=1; else row+=0; fi
        done
        echo "$row 0.500 0.500 0.500"
    done
}
ring 16 >"$WORKDIR/ring16.txt"
pairs 20 >"$WORKDIR/pairs20.txt"
out="$WORKDIR/out.csv"

# Runs the command with its standard error in $WORKDIR/err; sets $status.
run() {
    status=0
    timeout 300 "$@" 2>"$WORKDIR/err" >"$WORKDIR/out" || status=$?
    [ "$status" = 0 ] || [ ! -s "$WORKDIR/out" ] || fail "a refusal wrote to standard output: $(head -c 200 "$WORKDIR/out")"
}
one_line() {
    [ "$(wc -l <"$WORKDIR/err")" = 1 ] || fail "$1: not one line: $(cat "$WORKDIR/err")"
    grep -Eq "$2" "$WORKDIR/err" || fail "$1: unexpected message: $(cat "$WORKDIR/err")"
}

run "$CLI" steps --max-memory 64M -o "$out" "$WORKDIR/ring16.txt"
[ "$status" = 3 ] || fail "--max-memory 64M: status $status"
one_line "--max-memory 64M" '^vorlask-cli: .*ring16.txt: needs about [0-9.]+ [MG]B for [0-9.]+e[0-9]+ transitions; --max-memory is 64.0 MB$'

# Under an address-space limit the default limit is below it: refused up front.
run bash -c "ulimit -v 400000 && exec \"\$0\" steps -o \"\$1\" \"\$2\"" "$CLI" "$out" "$WORKDIR/ring16.txt"
[ "$status" = 3 ] || fail "under ulimit -v: status $status"
one_line "under ulimit -v" 'needs about [0-9.]+ [MG]B for [0-9.]+e[0-9]+ transitions; --max-memory is [0-9.]+ MB$'

# A limit set above what the process can have: the rows run out of memory.
run bash -c "ulimit -v 400000 && exec \"\$0\" steps --max-memory 100G -o \"\$1\" \"\$2\"" "$CLI" "$out" "$WORKDIR/ring16.txt"
[ "$status" = 3 ] || fail "out of memory: status $status (a signal is 128 and above)"
one_line "out of memory" '^vorlask-cli: .*ring16.txt: could not get the memory it needs, about [0-9.]+ [MG]B for [0-9.]+e[0-9]+ transitions; --max-memory is 100.0 GB$'
[ ! -e "$out" ] || fail "a refused run left $out"
[ -z "$(ls -A "$WORKDIR" | grep '^\.out\.csv')" ] || fail "a refused run left a temporary file"

for command in steps report; do
    run "$CLI" "$command" "$WORKDIR/pairs20.txt"
    [ "$status" = 3 ] || fail "$command of 20 pairs: status $status"
    one_line "$command of 20 pairs" 'pairs20.txt: configuration 0 has more than [0-9]+ outcome paths to follow in one step$'
done
run "$CLI" steps --horizon 1 -o "$out" "$WORKDIR/pairs20.txt"
[ ! -e "$out" ] || fail "a refused run left $out"

# Within the limits nothing changes: the same numbers for any number of jobs.
ring 10 >"$WORKDIR/ring10.txt"
"$CLI" steps --jobs 1 "$WORKDIR/ring10.txt" >"$WORKDIR/one.csv" || fail "ring of 10 failed"
"$CLI" steps --jobs 64 --max-memory 1G "$WORKDIR/ring10.txt" >"$WORKDIR/many.csv" || fail "ring of 10 on 64 jobs failed"
cmp -s "$WORKDIR/one.csv" "$WORKDIR/many.csv" || fail "the jobs changed the numbers"
echo "PASS"
