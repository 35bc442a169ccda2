#!/usr/bin/env python3
"""The Python module beside the engine and the command, measured in one run.

    python3 bench/python_bench.py [--build build] [--repetitions 5]

Runs, in turns so that a busy machine weighs on every side alike:
  * the engine alone: cli_bench's BM_ChainComplete8Certain, buildMarkovChain
    on the complete graph of 8 nodes with every parameter 1.0 (5 764 801
    configurations), against Network.chain() on the same network, and the
    first chain.matrix, which hands the arrays to scipy;
  * a 41-point sweep of gamma[0] at horizon 1000 on the complete graph of 6
    nodes with certain attempts and uneven gamma (15625 configurations), from
    `vorlask-cli sweep` (to /dev/null) and from vorlask.sweep.
Prints each median, the ratios of the medians and the medians of the ratios
of each turn.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

JOBS = 2
GAMMA = [0.3, 0.7, 0.45, 0.2, 0.9, 0.35]


def complete(nodes):
    return 1 - np.eye(nodes, dtype=int)


def engine_chain_seconds(build):
    output = subprocess.run(
        [os.path.join(build, "bench", "cli_bench"), "--benchmark_filter=BM_ChainComplete8Certain/%d/" % JOBS,
         "--benchmark_format=json"],
        capture_output=True, text=True, check=True).stdout
    (result,) = json.loads(output)["benchmarks"]
    return result["real_time"] / 1000.0


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--repetitions", type=int, default=5)
    arguments = parser.parse_args()
    sys.path.insert(0, os.path.join(arguments.build, "python"))
    import vorlask

    k8 = vorlask.Network(complete(8))
    k6 = vorlask.Network(complete(6), 1.0, 1.0, GAMMA)
    gammas = [k / 40 for k in range(41)]
    k6.chain().matrix  # scipy imported once, outside the timings
    block = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
    block.write(k6.data_block())
    block.close()
    if vorlask.read_network(block.name) != k6:
        sys.exit("the data block does not give back the network")
    sweep_command = [os.path.join(arguments.build, "vorlask-cli"), "sweep", "--vary",
                     "gamma[0]=" + ",".join(map(repr, gammas)), "--horizon", "1000", "--jobs", str(JOBS), "-o",
                     os.devnull, block.name]

    times = {name: [] for name in ("engine", "chain", "matrix", "sweep command", "sweep module")}
    for _ in range(arguments.repetitions):
        times["engine"].append(engine_chain_seconds(arguments.build))
        seconds, chain = timed(lambda: k8.chain(jobs=JOBS))
        times["chain"].append(seconds)
        times["matrix"].append(timed(lambda: chain.matrix)[0])
        del chain
        times["sweep command"].append(timed(lambda: subprocess.run(sweep_command, check=True))[0])
        times["sweep module"].append(
            timed(lambda: vorlask.sweep(k6, {"gamma[0]": gammas}, horizon=1000, jobs=JOBS))[0])
    os.unlink(block.name)

    median = {name: statistics.median(values) for name, values in times.items()}
    for name, value in median.items():
        print("%-14s median %8.3f s   (%s)" % (name, value, ", ".join("%.3f" % v for v in times[name])))
    def ratios(numerator, denominator):
        paired = statistics.median(n / d for n, d in zip(numerator, denominator))
        return "%.3f of the medians, %.3f median of the turns" % (
            statistics.median(numerator) / statistics.median(denominator), paired)

    chain_and_matrix = [c + m for c, m in zip(times["chain"], times["matrix"])]
    print("chain / engine                 " + ratios(times["chain"], times["engine"]))
    print("(chain + matrix) / engine      " + ratios(chain_and_matrix, times["engine"]))
    print("sweep module / sweep command   " + ratios(times["sweep module"], times["sweep command"]))


if __name__ == "__main__":
    main()
