"""The chain's arrays: what scipy and numpy get, checked against the chain's
meaning rather than against the engine."""

import gc
import itertools

import numpy as np
import pytest

import vorlask
from conftest import window_networks

EXAMPLES = [(1 - np.eye(5, dtype=int), np.ones((3, 5)))] + window_networks(seed=21, count=10, max_configurations=2000)


@pytest.mark.parametrize("links, params", EXAMPLES)
def test_stepping_with_the_matrix_gives_the_curves(links, params):
    net = vorlask.Network(links, *params)
    chain = net.chain()
    curves, average = net.curve(horizon=25, per_configuration=True), net.curve(horizon=25)
    weights = chain.marked.astype(float)
    for p in range(26):
        assert np.allclose(curves[p], weights, rtol=0, atol=1e-12)
        assert abs(average[p] - weights.mean()) <= 1e-12
        weights = chain.matrix @ weights


@pytest.mark.parametrize("links, params", EXAMPLES)
def test_matrix_is_canonical_csr_of_doubles(links, params):
    chain = vorlask.Network(links, *params).chain()
    matrix = chain.matrix
    h = len(chain.marked)
    assert matrix.shape == (h, h) and matrix.dtype == np.float64
    assert matrix.indptr.dtype == matrix.indices.dtype == np.int32
    assert matrix.indptr[0] == 0 and matrix.indptr[-1] == matrix.nnz and np.all(np.diff(matrix.indptr) >= 0)
    rows = np.repeat(np.arange(h), np.diff(matrix.indptr))
    assert np.all((np.diff(matrix.indices) > 0) | (np.diff(rows) > 0)), "columns rise within every row"
    assert np.all((matrix.indices >= 0) & (matrix.indices < h))
    assert np.all(matrix.data != 0.0)
    assert matrix.has_canonical_format
    assert chain.matrix is matrix


def expected_configurations(links):
    """Every choice of a neighbour per linked node, node 0 varying fastest,
    -1 for nodes without neighbours."""
    choices = [np.flatnonzero(row).tolist() or [-1] for row in links]
    return np.array([tuple(reversed(c)) for c in itertools.product(*reversed(choices))], dtype=np.int32)


@pytest.mark.parametrize("links, params", EXAMPLES)
def test_configurations_and_marks(links, params):
    net = vorlask.Network(links, *params)
    chain = net.chain()
    assert np.array_equal(chain.configurations, expected_configurations(links))
    assert chain.configurations.dtype == np.int32 and chain.marked.dtype == np.bool_
    assert net.configuration_count == len(chain.configurations) == chain.matrix.shape[0]
    assert chain.marked_count == np.count_nonzero(chain.marked)


def test_the_count_of_configurations_is_exact_beyond_any_limit():
    assert vorlask.Network(1 - np.eye(21, dtype=int)).configuration_count == 20**21


def test_arrays_outlive_their_chain_and_network():
    net = vorlask.Network(1 - np.eye(4, dtype=int), 1.0, 1.0, [0.25, 0.5, 0.75, 1.0])
    chain = net.chain()
    matrix, configurations, marked = chain.matrix, chain.configurations, chain.marked
    copies = matrix.copy(), configurations.copy(), marked.copy()
    curve = net.curve(horizon=4)
    del chain, net
    gc.collect()
    for _ in range(20):
        vorlask.Network(1 - np.eye(4, dtype=int), 0.5).chain()
    assert (matrix != copies[0]).nnz == 0 and np.array_equal(configurations, copies[1])
    assert np.array_equal(marked, copies[2]) and curve.shape == (5,)


def test_results_are_read_only_where_they_belong_to_the_object():
    net = vorlask.Network(1 - np.eye(3, dtype=int))
    chain = net.chain()
    for array in (net.links, net.alpha, chain.configurations, chain.marked):
        with pytest.raises(ValueError, match="read-only"):
            array[0] = 0
    net.curve(horizon=2)[0] = 5.0  # a fresh result is the caller's


def test_setters_replace_links_and_parameters():
    links = 1 - np.eye(4, dtype=int)
    net = vorlask.Network(links)
    ring = np.roll(np.eye(4, dtype=int), 1, axis=1) + np.roll(np.eye(4, dtype=int), -1, axis=1)
    net.links = ring
    net.alpha = 0.5
    net.gamma = [0.0, 0.25, 0.5, 1.0]
    assert net == vorlask.Network(ring, 0.5, 1.0, [0.0, 0.25, 0.5, 1.0])
    assert net != vorlask.Network(links, 0.5, 1.0, [0.0, 0.25, 0.5, 1.0])
    assert net.configuration_count == 2**4


def test_results_do_not_depend_on_the_number_of_jobs():
    # 15625 configurations: several chunks of rows for the threads to share.
    params = np.random.default_rng(4).integers(0, 65, size=(3, 6)) / 64
    net = vorlask.Network(1 - np.eye(6, dtype=int), *params)
    one, many = net.chain(jobs=1), net.chain(jobs=3)
    assert (one.matrix != many.matrix).nnz == 0
    assert np.array_equal(net.curve(horizon=9, jobs=1), net.curve(horizon=9, jobs=0))
