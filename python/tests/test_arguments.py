"""Bad arguments raise the documented exception with a message that names
what is wrong, before any work starts."""

import os
import re
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import vorlask

K4 = 1 - np.eye(4, dtype=int)
K8 = 1 - np.eye(8, dtype=int)
RING4 = np.roll(np.eye(4, dtype=int), 1, axis=1) + np.roll(np.eye(4, dtype=int), -1, axis=1)


def asymmetric():
    links = K4.copy()
    links[0, 1] = 0
    return links


def self_linked():
    links = K4.copy()
    links[2, 2] = 1
    return links


def with_entry(value, dtype=float):
    links = K4.astype(dtype)
    links[0, 3] = links[3, 0] = value
    return links


NETWORKS = [
    ("links of one dimension", lambda: vorlask.Network(np.ones(4)), ValueError, "square array of shape (N, N), not (4,)"),
    ("links not square", lambda: vorlask.Network(np.ones((2, 3))), ValueError, "not (2, 3)"),
    ("one node", lambda: vorlask.Network([[0]]), ValueError, "at least 2"),
    ("links of text", lambda: vorlask.Network(K4.astype(str)), ValueError, "must hold 0 and 1"),
    ("complex links", lambda: vorlask.Network(K4.astype(complex)), ValueError, "not complex128"),
    ("links of objects", lambda: vorlask.Network([[0, None], [None, 0]]), ValueError, "not object"),
    ("a link of 2", lambda: vorlask.Network(with_entry(2)), ValueError, "links[0, 3] is 2; only 0 and 1"),
    ("a link of nan", lambda: vorlask.Network(with_entry(np.nan)), ValueError, "links[0, 3] is nan"),
    ("a link of 0.5", lambda: vorlask.Network(with_entry(0.5)), ValueError, "is 0.5; only 0 and 1"),
    ("asymmetric links", lambda: vorlask.Network(asymmetric()), ValueError,
     "links must be symmetric: links[1, 0] is 1 but links[0, 1] is 0"),
    ("a node linked to itself", lambda: vorlask.Network(self_linked()), ValueError, "node 2 is linked to itself"),
    ("too many nodes", lambda: vorlask.Network(np.zeros((1001, 1001))), vorlask.TooLarge, "more than 1000"),
    ("alpha nan", lambda: vorlask.Network(K4, alpha=[0.5, np.nan, 1, 1]), ValueError, "alpha[1] is nan, not a number"),
    ("beta above 1", lambda: vorlask.Network(K4, beta=1.5), ValueError, "beta is 1.5, outside [0, 1]"),
    ("gamma below 0", lambda: vorlask.Network(K4, gamma=[0, 0, -0.25, 0]), ValueError, "gamma[2] is -0.25"),
    ("gamma infinite", lambda: vorlask.Network(K4, gamma=np.inf), ValueError, "gamma is inf, outside"),
    ("alpha of the wrong shape", lambda: vorlask.Network(K4, alpha=[1, 1, 1]), ValueError, "shape (4,), not (3,)"),
    ("alpha as a matrix", lambda: vorlask.Network(K4, alpha=np.ones((4, 1))), ValueError, "not (4, 1)"),
    ("alpha of text", lambda: vorlask.Network(K4, alpha="0.5"), ValueError, "alpha must hold real numbers, not <U3"),
    ("alpha of booleans", lambda: vorlask.Network(K4, alpha=[True] * 4), ValueError, "not bool"),
    ("links of another size", lambda: setattr(vorlask.Network(K4), "links", K8), ValueError, "shape (4, 4)"),
    ("beta set out of range", lambda: setattr(vorlask.Network(K4), "beta", -0.1), ValueError, "beta is -0.1"),
]

NET = vorlask.Network(K4, 1.0, 1.0, [0.25, 0.5, 0.75, 1.0])
CALLS = [
    ("jobs below 0", lambda: NET.chain(jobs=-1), ValueError, "jobs -1 is outside 0 to 4096"),
    ("jobs beyond 4096", lambda: NET.curve(jobs=5000), ValueError, "jobs 5000 is outside 0 to 4096"),
    ("no configurations allowed", lambda: NET.chain(max_configurations=0), ValueError, "max_configurations 0"),
    ("beyond max_configurations", lambda: NET.chain(max_configurations=80), vorlask.TooLarge,
     "the network has 81 configurations, more than the limit of 80 (max_configurations)"),
    ("a progress that cannot be called", lambda: NET.chain(progress=5), TypeError, "callable"),
    ("horizon below 0", lambda: NET.curve(horizon=-1), ValueError, "horizon -1 is outside 0 to 100000"),
    ("horizon beyond 100000", lambda: NET.curve(horizon=100001), ValueError, "horizon 100001"),
    ("per configuration too large", lambda: vorlask.Network(K8).curve(horizon=200, per_configuration=True),
     vorlask.TooLarge, "per_configuration with 5764801 configurations would take 1158725001 values"),
    ("report options beyond 31", lambda: NET.report(options=32), ValueError, "options 32 is outside 0 to 31"),
    ("report horizon 0", lambda: NET.report(horizon=0), ValueError, "horizon 0 is outside 1 to 32, the window's limit"),
    ("report horizon 33", lambda: NET.report(horizon=33), ValueError, "horizon 33 is outside 1 to 32"),
    ("report without columns", lambda: NET.report(columns=0), ValueError, "columns must be at least 1"),
    ("report beyond the window", lambda: vorlask.Network(1 - np.eye(7, dtype=int)).report(), vorlask.TooLarge,
     "the network has 279936 configurations, more than the window's limit of 16384 (curve and chain take more)"),
    ("no steps", lambda: NET.simulate(0), ValueError, "steps 0 is outside 1 to 4294967295"),
    ("every 0", lambda: NET.simulate(10, every=0), ValueError, "every 0 is outside"),
    ("a negative seed", lambda: NET.simulate(10, seed=-1), ValueError, "seed -1 is outside 0 to 4294967295"),
    ("no replicates", lambda: NET.simulate(10, replicates=0), ValueError, "replicates 0 is outside"),
    ("seeds past the last", lambda: NET.simulate(10, seed=2**32 - 1, replicates=2), ValueError,
     "seed 4294967295 with 2 replicates runs past seed 4294967295"),
    ("runs too large to keep", lambda: NET.simulate(2**32 - 1, every=1, replicates=100), vorlask.TooLarge,
     "the runs' 1717986918000 rows would take"),
    ("steps that are not integers", lambda: NET.simulate(10.5), TypeError, ""),
    ("a start of another name", lambda: NET.simulate(10, start="random"), ValueError,
     'start must be "start", "uniform" or one partner value per node, not "random"'),
    ("a start of too few nodes", lambda: NET.simulate(10, start=[1, 0, 0]), ValueError,
     "start: gives 3 partner values but the network has 4 nodes"),
    ("a start off the links", lambda: vorlask.Network(RING4).simulate(10, start=[1, 0, 1, 1]), ValueError,
     "start: node 3's partner value 1 is not one of its neighbours 0, 2"),
    ("a start that is not whole", lambda: NET.simulate(10, start=[1, 0, 0.5, 0]), ValueError,
     "start holds 0.5, which is not a node number"),
    ("a summary of one replicate", lambda: NET.simulate(10, summary=True), ValueError,
     "summary needs replicates 2 or more, not 1"),
    ("a confidence of 1", lambda: NET.simulate(10, replicates=2, summary=True, confidence=1.0), ValueError,
     "confidence 1 is outside (0, 1)"),
    ("a confidence of nan", lambda: NET.simulate(10, replicates=2, summary=True, confidence=np.nan), ValueError,
     "confidence nan is outside (0, 1)"),
    ("a summary every few steps", lambda: NET.simulate(10, every=2, replicates=2, summary=True), ValueError,
     "every has no place with summary=True"),
    ("an empty sweep", lambda: vorlask.sweep(NET, {}), ValueError, "vary needs at least one parameter"),
    ("an unknown parameter", lambda: vorlask.sweep(NET, {"delta": [0.5]}), ValueError,
     "delta: the name is alpha, beta or gamma"),
    ("a malformed node", lambda: vorlask.sweep(NET, {"alpha[x]": [0.5]}), ValueError, "alpha[x]: the name is"),
    ("a node the network lacks", lambda: vorlask.sweep(NET, {"gamma[9]": [0.5]}), ValueError,
     "gamma[9]: the network has nodes 0 to 3"),
    ("a value above 1", lambda: vorlask.sweep(NET, {"alpha": [0.5, 1.5]}), ValueError,
     "alpha: the value 1.5 is outside [0, 1]"),
    ("a nan value", lambda: vorlask.sweep(NET, {"beta": np.nan}), ValueError, "beta: the value nan is outside"),
    ("no values", lambda: vorlask.sweep(NET, {"alpha": []}), ValueError, 'vary["alpha"] holds no values'),
    ("values as a matrix", lambda: vorlask.sweep(NET, {"alpha": [[0.5]]}), ValueError, "not of shape (1, 1)"),
    ("values of text", lambda: vorlask.sweep(NET, {"alpha": ["x"]}), ValueError, "must hold real numbers"),
    ("a name that is not text", lambda: vorlask.sweep(NET, {1: [0.5]}), ValueError, "not 1"),
    ("too many points", lambda: vorlask.sweep(NET, {"alpha": np.zeros(10001), "beta": np.zeros(1000)}),
     vorlask.TooLarge, "the sweep has more than 10000000 points"),
    ("a chain of other rules", lambda: NET.chain(chain="windows"), ValueError,
     'chain "windows" is neither "process" nor "window"'),
    ("a settle of other rules", lambda: NET.settle(chain=""), ValueError, 'chain "" is neither'),
    ("a sweep of other rules", lambda: vorlask.sweep(NET, {"alpha": 1}, chain="step"), ValueError, 'chain "step"'),
    ("rates from a start of the wrong size", lambda: NET.rates(start=[1, 0]), ValueError,
     "start has 2 entries; the network has 4 nodes"),
    ("rates from a partner that is no neighbour", lambda: NET.rates(start=[1, 0, 2, 0]), ValueError,
     "start: node 2's partner 2 is not one of its neighbours"),
    ("rates too precise", lambda: NET.rates(precision=1e-13), ValueError, "precision 1e-13 is outside [1e-12, 1)"),
    ("rates of the window's chain", lambda: vorlask.sweep(NET, {"alpha": 1}, measure="rates", chain="window"),
     ValueError, "has no rates"),
    ("a sweep beyond max_configurations", lambda: vorlask.sweep(NET, {"alpha": 1}, max_configurations=10),
     vorlask.TooLarge, "(max_configurations)"),
]


@pytest.mark.parametrize("name, call, kind, message", NETWORKS + CALLS, ids=[c[0] for c in NETWORKS + CALLS])
def test_bad_arguments_raise_clear_errors(name, call, kind, message):
    with pytest.raises(kind) as raised:
        call()
    assert message in str(raised.value)
    if kind is vorlask.TooLarge:
        assert isinstance(raised.value, ValueError)


def test_unreadable_files_raise_os_error(tmp_path):
    with pytest.raises(OSError, match="cannot read .*: Is a directory"):
        vorlask.read_network(tmp_path)
    with pytest.raises(OSError, match="No such file or directory"):
        vorlask.read_network(tmp_path / "missing.txt")
    (tmp_path / "empty.txt").write_text("no block here\n")
    with pytest.raises(ValueError, match=r"empty\.txt: no \"DATA:\" line"):
        vorlask.read_network(str(tmp_path / "empty.txt").encode())


def linked_pairs(pairs):
    links = np.zeros((2 * pairs, 2 * pairs), dtype=int)
    for i in range(0, 2 * pairs, 2):
        links[i, i + 1] = links[i + 1, i] = 1
    return vorlask.Network(links, 0.5, 0.5, 0.5)


@pytest.mark.parametrize("work", [
    lambda net: net.chain(), lambda net: net.curve(horizon=1), lambda net: net.settle(),
    lambda net: vorlask.sweep(net, {"alpha": [0.5]}, horizon=1),
])
def test_rows_of_too_many_outcome_paths_are_refused_at_once(work):
    # One configuration, but 3^20 ways through its row.
    with pytest.raises(vorlask.TooLarge, match="outcome paths"):
        work(linked_pairs(20))


def test_a_chain_beyond_the_memory_available_is_refused_before_it_is_built():
    # The ring of 20 takes tens of gigabytes; under an address-space limit of
    # 2 GiB the module refuses it with the estimate instead of dying.
    script = textwrap.dedent("""
        import resource, numpy as np, vorlask
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
        links = np.roll(np.eye(20, dtype=int), 1, axis=1)
        links = links + links.T
        try:
            vorlask.Network(links, 0.7, 0.8, 0.3).curve(horizon=1)
        except vorlask.TooLarge as e:
            print(e)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120,
                          env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert done.returncode == 0, done.stderr
    assert re.fullmatch(r"needs about [0-9.]+ [GT]B for [0-9.e+]+ transitions; 80 % of the memory available is "
                        r"[0-9.]+ [MG]B\n", done.stdout), done.stdout
