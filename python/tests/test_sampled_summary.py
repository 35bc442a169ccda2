"""simulate --summary against the step table of the same replicates, its
mean, standard deviation and t quantile computed here with statistics and
scipy; and the module's start= and summary= against the command's."""

import csv
import io
import json
import statistics

import numpy as np
import pytest
import scipy.stats

import vorlask
from conftest import window_networks


def rows_of(output):
    return list(csv.DictReader(io.StringIO(output.decode())))


def last_chances(table, replicates, nodes):
    chances = np.zeros((replicates, nodes))
    for row in table:
        chances[int(row["replicate"]), int(row["node"])] = float(row["chance"])
    return chances


CASES = [(case, confidence) for case, confidence in zip(window_networks(seed=24, count=6, max_configurations=5000),
                                                         [0.95, 0.9, 0.99, 0.5, 0.95, 0.999])]


@pytest.mark.parametrize("case, confidence", CASES)
def test_summary_is_the_t_interval_of_the_step_table(case, confidence, write_block, cli):
    path = write_block(*case)
    replicates, nodes = 6, len(case[0])
    runs = ["--steps", 300, "--seed", 1000, "--replicates", replicates, "--from", "uniform"]
    chances = last_chances(rows_of(cli("simulate", *runs, path)), replicates, nodes)
    summary = rows_of(cli("simulate", *runs, "--summary", "--confidence", confidence, "-j", 2, path))
    # Debian's scipy takes this quantile from Cephes, which agrees with
    # 40-digit arithmetic to about 1e-9 only (Boost.Math's to the last
    # digits), hence the tolerance of the bounds below.
    t = scipy.stats.t.ppf((1 + confidence) / 2, replicates - 1)
    assert [int(row["node"]) for row in summary] == list(range(nodes))
    for node, row in enumerate(summary):
        mean = statistics.fmean(chances[:, node])
        half = t * statistics.stdev(chances[:, node]) / replicates**0.5
        assert float(row["chance"]) == pytest.approx(mean, rel=1e-14, abs=1e-15)
        assert float(row["low"]) == pytest.approx(max(0.0, mean - half), rel=1e-8, abs=1e-14)
        assert float(row["high"]) == pytest.approx(min(1.0, mean + half), rel=1e-8, abs=1e-14)
        assert int(row["replicates"]) == replicates

    module = vorlask.read_network(path).simulate(300, seed=1000, replicates=replicates, start="uniform",
                                                 summary=True, confidence=confidence, jobs=3)
    assert list(module) == list(summary[0])
    for name in module:
        assert module[name].tolist() == [type(module[name][0].item())(row[name]) for row in summary], name


def test_the_summarys_json_names_its_run(write_block, cli):
    links = 1 - np.eye(4, dtype=int)
    path = write_block(links, np.full((3, 4), 0.5))
    document = json.loads(cli("simulate", "--steps", 50, "--seed", 7, "--replicates", 3, "--from", "1,2,3,0",
                              "--summary", "--confidence", 0.8, "--format", "json", path))
    assert {key: document[key] for key in ("steps", "seed", "replicates", "from", "confidence")} == {
        "steps": 50, "seed": 7, "replicates": 3, "from": [1, 2, 3, 0], "confidence": 0.8}
    csv_rows = rows_of(cli("simulate", "--steps", 50, "--seed", 7, "--replicates", 3, "--from", "1,2,3,0",
                           "--summary", "--confidence", 0.8, path))
    kinds = {"node": int, "chance": float, "low": float, "high": float, "replicates": int}
    assert document["rows"] == [{key: kinds[key](value) for key, value in row.items()} for row in csv_rows]


@pytest.mark.parametrize("start", ["uniform", [2, 0, 1, -1], np.array([1, 2, 0, -1])])
def test_starts_are_the_commands(start, write_block, cli):
    links = np.array([[0, 1, 1, 0], [1, 0, 1, 0], [1, 1, 0, 0], [0, 0, 0, 0]])
    path = write_block(links, np.array([[1, 0.75, 0.5, 1], [0.5, 1, 1, 1], [0.25, 0.5, 1, 1]]))
    text = start if isinstance(start, str) else ",".join(map(str, start))
    table = rows_of(cli("simulate", "--steps", 200, "--every", 50, "--seed", 3, "--replicates", 4, "--from", text, path))
    runs = vorlask.read_network(path).simulate(200, every=50, seed=3, replicates=4, start=start, jobs=2)
    assert np.array_equal(runs["successes"], [int(row["successes"]) for row in table])
    assert np.array_equal(runs["chance"], [float(row["chance"]) for row in table])


@pytest.mark.parametrize("case", window_networks(seed=7, count=12, max_configurations=2000))
def test_exact_rates_lie_in_the_summarys_intervals(case):
    """From uniform starts the mean chances estimate the rates from the
    uniform distribution, closed classes and their weights included. The
    chance also counts the steps before the process settles, which cost
    these small networks a success or two: where the runs then settle into
    one pattern the interval is no wider than that, hence the allowance."""
    links, params = case
    net = vorlask.Network(links, *params)
    steps = 20000
    summary = net.simulate(steps, seed=5, replicates=32, start="uniform", summary=True, confidence=0.999, jobs=2)
    rates = net.rates()["rate"]
    allowance = 2 / steps
    assert np.all(summary["low"] - allowance <= rates), (rates, summary)
    assert np.all(rates <= summary["high"] + allowance), (rates, summary)
