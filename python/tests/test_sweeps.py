"""Sweeps shaped as their grid, spread over an executor's workers to the same
bits as at home, and networks that travel by pickle whole."""

import concurrent.futures
import copy
import pickle

import numpy as np
import pytest

import vorlask


def certain_ring(nodes):
    """A ring whose attempts are certain, so that S exists at every gamma."""
    links = np.zeros((nodes, nodes), dtype=int)
    for i in range(nodes):
        links[i, (i + 1) % nodes] = links[(i + 1) % nodes, i] = 1
    return vorlask.Network(links, gamma=np.arange(1, nodes + 1) / (nodes + 2))


def edited(network, values):
    """A copy of the network with {name: value} set, names as in vary."""
    net = copy.deepcopy(network)
    for name, value in values.items():
        parameter, _, node = name.partition("[")
        current = getattr(net, parameter).copy()
        current[int(node[:-1]) if node else slice(None)] = value
        setattr(net, parameter, current)
    return net


def same_bits(a, b):
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


def assert_same_columns(got, expected):
    assert list(got) == list(expected)
    for name in expected:
        assert same_bits(got[name], expected[name]), name


def test_pickled_networks_are_the_same_networks():
    ring = certain_ring(5)
    links = 1 - np.eye(4, dtype=int)
    built = vorlask.Network(links, alpha=[1, 0.25, 0.5, 1], beta=1 / 3, gamma=[0.1, 0.2, 0.30000000000000004, 1])
    for net in (ring, built):
        for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
            back = pickle.loads(pickle.dumps(net, protocol=protocol))
            assert back == net and back is not net
            assert back.source == net.source
            for name in ("links", "alpha", "beta", "gamma"):
                assert same_bits(getattr(back, name), getattr(net, name)), name
            assert same_bits(back.curve(6), net.curve(6))
        assert copy.deepcopy(net) == net


def test_a_network_read_from_a_file_keeps_its_source(tmp_path):
    path = tmp_path / "ring.txt"
    path.write_text(certain_ring(4).data_block())
    net = vorlask.read_network(path)
    back = pickle.loads(pickle.dumps(net))
    assert back.source == net.source == str(path)
    assert repr(back) == repr(net)


def test_a_tampered_pickle_is_refused():
    state = certain_ring(4).__getstate__()
    net = vorlask.Network.__new__(vorlask.Network)
    with pytest.raises(ValueError, match="5 items"):
        net.__setstate__(state[:4])
    asymmetric = state[0].copy()
    asymmetric[0, 2] = 1
    with pytest.raises(ValueError, match="symmetric"):
        vorlask.Network.__new__(vorlask.Network).__setstate__((asymmetric,) + state[1:])
    with pytest.raises(ValueError, match="outside"):
        vorlask.Network.__new__(vorlask.Network).__setstate__(state[:1] + (np.full(4, 2.0),) + state[2:])


def test_grid_arrays_hold_each_point_at_its_values():
    net = certain_ring(5)
    vary = {"gamma[0]": [0.1, 0.5, 0.9], "gamma[2]": [0.25, 0.75]}
    curves = vorlask.sweep(net, vary, horizon=4, grid=True)
    limits = vorlask.sweep(net, vary, measure="limit", grid=True)
    assert list(curves) == ["gamma[0]", "gamma[2]", "step", "success"]
    assert curves["success"].shape == (3, 2, 5)
    assert same_bits(curves["step"], np.arange(5, dtype=np.int64))
    assert limits["mean_steps"].shape == limits["limit_high"].shape == (3, 2)
    for name in vary:
        assert same_bits(curves[name], np.asarray(vary[name], dtype=float)), name
        assert same_bits(limits[name], np.asarray(vary[name], dtype=float)), name
    for i, first in enumerate(vary["gamma[0]"]):
        for j, second in enumerate(vary["gamma[2]"]):
            point = edited(net, {"gamma[0]": first, "gamma[2]": second})
            assert same_bits(curves["success"][i, j], point.curve(4)), (i, j)
            settled = point.settle(quantiles=[0.5])
            limit = settled["value"][list(settled["measure"]).index("limit")]
            assert abs(limits["limit"][i, j] - limit) <= 2e-9, (i, j)


def test_grid_arrays_of_three_parameters_and_of_one():
    net = certain_ring(4)
    vary = {"gamma[0]": [0.2, 0.6], "alpha": [1.0, 0.5, 0.0], "gamma[3]": [0.3, 0.7]}
    long = vorlask.sweep(net, vary, measure="mean-steps")
    shaped = vorlask.sweep(net, vary, measure="mean-steps", grid=True)
    assert shaped["mean_steps"].shape == (2, 3, 2)
    row = 0
    for i in range(2):
        for j in range(3):
            for k in range(2):
                assert shaped["mean_steps_if_reached"][i, j, k] == long["mean_steps_if_reached"][row]
                assert (long["gamma[0]"][row], long["alpha"][row], long["gamma[3]"][row]) == (
                    shaped["gamma[0]"][i],
                    shaped["alpha"][j],
                    shaped["gamma[3]"][k],
                )
                row += 1
    single = vorlask.sweep(net, {"beta": 0.5}, horizon=2, grid=True)
    assert single["success"].shape == (1, 3) and single["beta"].shape == (1,)
    rates_vary = {"gamma[0]": [0.2, 0.6], "gamma[1]": [0.1, 0.5, 0.9]}
    long_rates = vorlask.sweep(net, rates_vary, measure="rates")
    rates = vorlask.sweep(net, rates_vary, measure="rates", grid=True)
    assert rates["rate"].shape == rates["high"].shape == (2, 3, 4)
    assert same_bits(rates["node"], np.arange(4, dtype=np.int64))
    assert same_bits(rates["rate"].ravel(), long_rates["rate"])


def test_shards_joined_in_order_are_the_whole_sweep():
    net = certain_ring(4)
    vary = {"gamma[1]": np.linspace(0, 1, 7), "gamma[2]": [0.5, 1.0]}
    whole = vorlask.sweep(net, vary, horizon=3)
    for count in (1, 3, 14, 15):
        parts = [vorlask.sweep(net, vary, horizon=3, shard=(k, count)) for k in range(1, count + 1)]
        joined = {name: np.concatenate([part[name] for part in parts]) for name in whole}
        assert_same_columns(joined, whole)
    for shard in ((0, 2), (3, 2), (1, 0), (1, 10**9)):
        with pytest.raises(ValueError, match="shard"):
            vorlask.sweep(net, vary, shard=shard)
    with pytest.raises(ValueError, match="whole grid"):
        vorlask.sweep(net, vary, shard=(1, 2), grid=True)


@pytest.fixture(scope="module")
def process_pool():
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        yield pool


@pytest.mark.parametrize("measure", ["curve", "mean-steps", "rates"])
def test_an_executor_gives_the_bits_of_a_sweep_at_home(process_pool, measure):
    net = certain_ring(6)
    vary = {"gamma[0]": np.linspace(0.05, 0.95, 13), "gamma[3]": [0.2, 0.45, 0.7]}
    # A horizon belongs to the curve alone.
    options = {"measure": measure, "horizon": 8} if measure == "curve" else {"measure": measure}
    home = vorlask.sweep(net, vary, **options)
    for blocks in (None, 1, 5, 1000):
        away = vorlask.sweep(net, vary, **options, executor=process_pool, blocks=blocks)
        assert_same_columns(away, home)
    assert_same_columns(
        vorlask.sweep(net, vary, **options, executor=process_pool, grid=True),
        vorlask.sweep(net, vary, **options, grid=True),
    )


def test_an_executor_reports_progress_and_raises_what_a_worker_raises(process_pool):
    net = certain_ring(6)
    vary = {"gamma[0]": np.linspace(0.1, 0.9, 9)}
    fractions = []
    vorlask.sweep(net, vary, executor=process_pool, blocks=9, progress=fractions.append)
    assert fractions and fractions[-1] == 1.0 and fractions == sorted(fractions)
    with pytest.raises(vorlask.CapReached) as home:
        vorlask.sweep(net, vary, measure="mean-steps", max_iterations=1, jobs=1)
    with pytest.raises(vorlask.CapReached) as away:
        vorlask.sweep(net, vary, measure="mean-steps", max_iterations=1, jobs=1, executor=process_pool, blocks=3)
    assert str(away.value) == str(home.value)
    assert repr(away.value.limit) == repr(home.value.limit)


class RefusingExecutor(concurrent.futures.Executor):
    """An executor that must not be given work."""

    def submit(self, *args, **kwargs):
        raise AssertionError("work was handed out")


@pytest.mark.parametrize(
    "arguments, error, says",
    [
        ({"vary": {"delta": [0.5]}}, ValueError, "delta"),
        ({"vary": {"gamma[9]": [0.5]}}, ValueError, "gamma\\[9\\]"),
        ({"vary": {"gamma": [0.5, 1.5]}}, ValueError, "outside"),
        ({"measure": "speed"}, ValueError, "measure"),
        ({"horizon": -1}, ValueError, "horizon"),
        ({"precision": 0.0}, ValueError, "precision"),
        ({"blocks": 0}, ValueError, "blocks"),
        ({"blocks": 2.5}, ValueError, "blocks"),
        ({"shard": (1, 2)}, ValueError, "shard"),
        ({"progress": 3}, TypeError, "progress"),
    ],
)
def test_bad_arguments_are_refused_before_any_worker_starts(arguments, error, says):
    vary = arguments.pop("vary", {"gamma": [0.5, 1.0]})
    with pytest.raises(error, match=says):
        vorlask.sweep(certain_ring(4), vary, executor=RefusingExecutor(), **arguments)


def test_what_needs_an_executor_or_is_none():
    with pytest.raises(ValueError, match="blocks"):
        vorlask.sweep(certain_ring(4), {"gamma": [0.5]}, blocks=2)
    with pytest.raises(TypeError, match="executor"):
        vorlask.sweep(certain_ring(4), {"gamma": [0.5]}, executor=object())


def test_a_dask_cluster_gives_the_bits_of_a_sweep_at_home():
    distributed = pytest.importorskip("dask.distributed")
    net = certain_ring(6)
    vary = {"gamma[0]": np.linspace(0.05, 0.95, 7), "gamma[3]": [0.2, 0.7]}
    home = vorlask.sweep(net, vary, measure="mean-steps", grid=True)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            away = vorlask.sweep(net, vary, measure="mean-steps", grid=True, executor=client.get_executor())
    assert_same_columns(away, home)
