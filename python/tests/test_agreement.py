"""The module and vorlask-cli are two front ends of one engine: on random
networks as the window leaves them, every result is the command's, to the
last bit."""

import csv
import glob
import io
import os
import subprocess

import numpy as np
import pytest
import scipy.io

import vorlask
from conftest import block_text, window_networks


def same_bits(actual, expected):
    actual = np.ascontiguousarray(actual, dtype=np.float64)
    expected = np.ascontiguousarray(expected, dtype=np.float64)
    return actual.shape == expected.shape and np.array_equal(actual.view(np.uint64), expected.view(np.uint64))


def table(output):
    rows = list(csv.reader(io.StringIO(output.decode())))
    return rows[0], rows[1:]


def column(header, rows, name, kind=float):
    k = header.index(name)
    return np.array([kind(row[k]) for row in rows])


NETWORKS = window_networks(seed=15, count=14, max_configurations=3000)
EXAMPLES = sorted(glob.glob(os.path.join(os.path.dirname(__file__), "..", "..", "docs", "examples", "*.txt")))
# The complete graph of 7 with every parameter 1.0: 279936 configurations,
# rows that several threads copy in chunks.
CASES = NETWORKS + EXAMPLES + [(1 - np.eye(7, dtype=int), np.ones((3, 7)))]


def network_file(case, write_block):
    """The file of an example network, or a random network's written out."""
    return case if isinstance(case, str) else write_block(*case)


@pytest.mark.parametrize("rules", ["process", "window"])
@pytest.mark.parametrize("case", CASES)
def test_curves_are_the_steps_command(case, rules, write_block, cli):
    path = network_file(case, write_block)
    net = vorlask.read_network(path)
    links = net.links
    horizon = int(links.sum()) % 37
    header, rows = table(cli("steps", "--chain", rules, "--horizon", horizon, path))
    assert same_bits(net.curve(horizon=horizon, chain=rules), column(header, rows, "success"))
    if rules == "window":
        return

    if net.configuration_count > 5000:
        return
    header, rows = table(cli("steps", "--horizon", 3, "--per-configuration", path))
    per_configuration = net.curve(horizon=3, per_configuration=True, jobs=2)
    expected = np.array([column(header, rows, "p%d" % p) for p in range(4)])
    assert same_bits(per_configuration, expected)


@pytest.mark.parametrize("rules", ["process", "window"])
@pytest.mark.parametrize("case", CASES)
def test_chain_is_the_export_command(case, rules, write_block, cli, tmp_path):
    path = network_file(case, write_block)
    links = vorlask.read_network(path).links
    matrix_file, configurations_file = tmp_path / "chain.mtx", tmp_path / "chain.csv"
    cli("export", "--chain", rules, "--matrix", matrix_file, "--configurations", configurations_file, path)
    chain = vorlask.read_network(path).chain(chain=rules, jobs=2)
    assert chain.rules == rules

    exported = scipy.io.mmread(str(matrix_file)).tocoo()
    ours = chain.matrix.tocoo()
    assert ours.shape == exported.shape
    order = np.lexsort((exported.col, exported.row))
    assert np.array_equal(ours.row, exported.row[order]) and np.array_equal(ours.col, exported.col[order])
    assert same_bits(ours.data, exported.data[order])

    header, rows = table(configurations_file.read_bytes())
    nodes = len(links)
    expected = np.array([column(header, rows, "node%d" % i, int) for i in range(nodes)]).T.reshape(-1, nodes)
    assert np.array_equal(chain.configurations, expected)
    assert np.array_equal(chain.marked, column(header, rows, "mark", str) == "S")


REPORTED = window_networks(seed=16, count=12, max_configurations=200)


@pytest.mark.parametrize("case", range(len(REPORTED)))
def test_report_is_the_report_command(case, write_block, cli):
    links, params = REPORTED[case]
    path = write_block(links, params)
    options = [31, 1, 2, 4, 8, 16, 12, 29][case % 8]
    horizon, columns = 1 + (7 * case) % 32, 1 + (5 * case) % 20
    expected = cli("report", "--options", options, "--horizon", horizon, "--columns", columns, path)
    assert vorlask.read_network(path).report(options=options, horizon=horizon, columns=columns).encode() == expected


@pytest.mark.parametrize("links, params", NETWORKS[:8])
def test_runs_are_the_simulate_command(links, params, write_block, cli):
    path = write_block(links, params)
    seed = int(params.sum() * 64) % 1000
    every = [None, 1, 97, 500][seed % 4]
    options = ["--steps", 1500, "--seed", seed, "--replicates", 3] + ([] if every is None else ["--every", every])
    header, rows = table(cli("simulate", *options, path))
    runs = vorlask.read_network(path).simulate(1500, every=every, seed=seed, replicates=3, jobs=2)
    assert list(runs) == header
    for name in header[:-1]:
        assert np.array_equal(runs[name], column(header, rows, name, int)), name
    assert same_bits(runs["chance"], column(header, rows, "chance"))


@pytest.mark.parametrize("case", NETWORKS[:6] + EXAMPLES)
def test_sweeps_are_the_sweep_command(case, write_block, cli):
    path = network_file(case, write_block)
    links = vorlask.read_network(path).links
    rng = np.random.default_rng(len(links))
    node = int(rng.integers(len(links)))
    alpha = np.concatenate([np.linspace(0, 1, 5), rng.random(2)])
    gamma = [0.25, float(rng.random())]
    vary = {"alpha": alpha, "gamma[%d]" % node: gamma}
    arguments = [item for name, values in vary.items() for item in ("--vary", name + "=" + ",".join(map(repr, map(float, values))))]
    header, rows = table(cli("sweep", *arguments, "--horizon", 6, path))
    swept = vorlask.sweep(vorlask.read_network(path), vary, horizon=6)
    assert list(swept) == header
    assert np.array_equal(swept["step"], column(header, rows, "step", int))
    for name in header:
        if name != "step":
            assert same_bits(swept[name], column(header, rows, name)), name


@pytest.mark.parametrize("case", NETWORKS[:4] + EXAMPLES)
def test_long_runs_are_the_settle_and_sweep_commands(case, write_block, cli):
    path = network_file(case, write_block)
    net = vorlask.read_network(path)
    header, rows = table(cli("settle", "--precision", 1e-10, "--quantiles", "0.25,0.9", path))
    settled = net.settle(1e-10, quantiles=[0.25, 0.9])
    assert list(settled) == header and list(settled["measure"]) == [row[0] for row in rows]
    for name in header[1:]:
        assert same_bits(settled[name], column(header, rows, name)), name

    header, rows = table(cli("settle", "--per-configuration", path))
    per_configuration = net.settle(per_configuration=True, jobs=2)
    for name in header[header.index("mark") + 1 :]:
        assert same_bits(per_configuration[name], column(header, rows, name)), name

    vary = ["--vary", "gamma[0]=0.25,0.5", "--vary", "beta=1,0.75"]
    header, rows = table(cli("sweep", "--measure", "limit", *vary, path))
    swept = vorlask.sweep(net, {"gamma[0]": [0.25, 0.5], "beta": [1, 0.75]}, measure="limit")
    assert list(swept) == header
    for name in header:
        assert same_bits(swept[name], column(header, rows, name)), name


@pytest.mark.parametrize("case", NETWORKS[:5] + EXAMPLES)
def test_rates_are_the_rates_command(case, write_block, cli):
    path = network_file(case, write_block)
    net = vorlask.read_network(path)
    header, rows = table(cli("rates", "--precision", 1e-10, path))
    rates = net.rates(precision=1e-10, jobs=2)
    assert list(rates) == header
    for name in header:
        assert same_bits(rates[name], column(header, rows, name)), name
    if net.configuration_count <= 3000:
        header, rows = table(cli("rates", "--per-configuration", path))
        each = net.rates(per_configuration=True)
        assert list(each) == header
        for name in header:
            assert same_bits(each[name], column(header, rows, name)), name
    vary = {"gamma[0]": [0.25, 0.75]}
    header, rows = table(cli("sweep", "--measure", "rates", "--vary", "gamma[0]=0.25,0.75", path))
    swept = vorlask.sweep(net, vary, measure="rates")
    assert list(swept) == header
    for name in header:
        assert same_bits(swept[name], column(header, rows, name)), name


@pytest.mark.parametrize("links, params", NETWORKS[:6])
def test_arrays_and_data_blocks_make_the_same_network(links, params, write_block):
    read = vorlask.read_network(write_block(links, params))
    built = vorlask.Network(links, *params)
    assert built == read and read == built
    assert built.data_block() == block_text(links, params)
    assert np.array_equal(read.links, links)
    for name, values in zip(("alpha", "beta", "gamma"), params):
        assert same_bits(getattr(read, name), values)
    assert same_bits(built.curve(horizon=5), read.curve(horizon=5))


def test_errors_carry_the_commands_messages(tmp_path, cli):
    bad = tmp_path / "bad.txt"
    bad.write_text("saved session\nDATA:\n01 1.000 1.000 1.000\n12 1.000 1.000 1.000\n")
    large = tmp_path / "large.txt"
    large.write_text(block_text(1 - np.eye(8, dtype=int), np.ones((3, 8))))
    ring = os.path.join(os.path.dirname(EXAMPLES[0]), "ring8.txt")
    cases = [
        (bad, ValueError, vorlask.read_network, []),
        (ring, vorlask.CapReached, lambda path: vorlask.read_network(path).settle(max_iterations=1),
         ["settle", "--max-iterations", 1]),
        (tmp_path / "missing.txt", OSError, vorlask.read_network, []),
        (large, vorlask.TooLarge, lambda path: vorlask.read_network(path).chain(max_configurations=1000),
         ["--max-configurations", 1000]),
    ]
    messages = []
    for path, kind, call, options in cases:
        if options[:1] != ["settle"]:
            options = ["export", *options, "--matrix", tmp_path / "out.mtx"]
        with pytest.raises(subprocess.CalledProcessError) as command:
            cli(*options, path)
        expected = command.value.stderr.decode().strip().removeprefix("vorlask-cli: ")
        with pytest.raises(kind) as raised:
            call(str(path))
        assert str(raised.value) == expected.replace("--max-configurations", "max_configurations")
        messages.append(str(raised.value))
    assert messages[0].startswith(str(bad) + ":4: ")
