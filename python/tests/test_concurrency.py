"""Long work runs without the GIL, reports progress from the calling thread,
and stops on Ctrl+C or when the progress callback raises, leaving no thread
behind."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import vorlask


def ring(nodes, seed, certain=True):
    """A ring with random 64ths; with certain attempts (alpha and beta 1) it
    has S configurations, so that its curves take work."""
    links = np.zeros((nodes, nodes), dtype=int)
    for i in range(nodes):
        links[i, (i + 1) % nodes] = links[(i + 1) % nodes, i] = 1
    params = np.random.default_rng(seed).integers(1, 64, size=(3, nodes)) / 64
    if certain:
        params[0:2] = 1.0
    return vorlask.Network(links, *params)


def thread_count():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("Threads:"))


# Each runs for minutes unless stopped; "started" comes once the engine works.
LONG_WORK = {
    "chain": "ring(16, 1, certain=False).chain(jobs=1, progress=started)",
    "curve": "ring(14, 2).curve(horizon=100000, progress=started)",
    "sweep": "vorlask.sweep(ring(14, 3), {'gamma[0]': np.linspace(0.5, 1, 9)}, horizon=100000, progress=started)",
    "simulate": "ring(12, 4).simulate(4_000_000_000, replicates=2, progress=started)",
    "report": "started(0) or ring(14, 5).report(options=9, horizon=32)",
    "summary": "ring(14, 5).report(options=8, horizon=32, progress=started)",
    "read from a pipe": "reading, _ = os.pipe(); started(0); vorlask.read_network(f'/dev/fd/{reading}')",
    "read standard input": "reading, _ = os.pipe(); os.dup2(reading, 0); started(0); vorlask.read_network('-')",
}


@pytest.mark.parametrize("work", sorted(LONG_WORK))
def test_ctrl_c_raises_keyboard_interrupt_within_two_seconds(work):
    script = textwrap.dedent(
        """
        import os
        import sys
        import numpy as np
        import vorlask
        from test_concurrency import ring

        def started(fraction, said=[]):
            if not said:
                said.append(print("started", flush=True))

        {work}
        """
    ).format(work=LONG_WORK[work])
    child = subprocess.Popen(
        [sys.executable, "-c", script],
        cwd=os.path.dirname(__file__),
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
    )
    try:
        assert child.stdout.readline() == "started\n"
        time.sleep(0.3)
        child.send_signal(signal.SIGINT)
        interrupted = time.monotonic()
        _, errors = child.communicate(timeout=30)
        elapsed = time.monotonic() - interrupted
    finally:
        child.kill()
        child.wait()
    assert "KeyboardInterrupt" in errors.splitlines()[-1], errors
    assert child.returncode != 0
    assert elapsed < 2.0


def test_progress_rises_to_one_on_the_calling_thread():
    calls = []
    network = ring(14, 6)
    start = time.monotonic()
    # Long enough for several report periods even on a quiet, fast machine
    # (4000 steps once took only 0.35 s there and gave two reports).
    network.curve(horizon=20000, jobs=2, progress=lambda f: calls.append((f, threading.get_ident())))
    elapsed = time.monotonic() - start
    fractions = [f for f, _ in calls]
    assert fractions[-1] == 1.0 and fractions == sorted(fractions) and 0.0 <= fractions[0]
    assert {thread for _, thread in calls} == {threading.get_ident()}
    assert len(calls) > 2, "the work should take some seconds"
    assert len(calls) <= elapsed / 0.25 + 2


def test_an_exception_from_progress_stops_the_work_and_leaves_no_thread():
    network = ring(14, 7)
    before = thread_count()

    def fail(fraction):
        raise LookupError("stop at %g" % fraction)

    for _ in range(3):
        with pytest.raises(LookupError, match="stop at"):
            network.curve(horizon=100000, jobs=2, progress=fail)
        with pytest.raises(LookupError):
            vorlask.sweep(network, {"gamma[0]": np.linspace(0, 1, 50)}, horizon=100000, jobs=2, progress=fail)
    assert thread_count() == before
    assert network.curve(horizon=2).shape == (3,)


def test_other_python_threads_run_while_the_engine_works():
    network = ring(16, 8)
    ticks = []
    done = threading.Event()

    def tick():
        while not done.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.01)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        start = time.monotonic()
        network.curve(horizon=1500, jobs=1)
        finish = time.monotonic()
    finally:
        done.set()
        ticker.join()
    during = [t for t in ticks if start < t < finish]
    assert finish - start > 0.3, "the work should take a while"
    assert len(during) > (finish - start) / 0.01 / 4


def test_changing_a_network_leaves_work_under_way_alone():
    network = ring(12, 9)
    vary = {"gamma[0]": np.linspace(0, 1, 41)}
    expected = vorlask.sweep(network, vary, horizon=200)
    result = {}
    worker = threading.Thread(target=lambda: result.update(vorlask.sweep(network, vary, horizon=200, jobs=1)))
    worker.start()
    changes = 0
    while worker.is_alive():
        network.gamma = [0.0, 0.5, 1.0][changes % 3]
        changes += 1
    worker.join()
    assert changes > 1
    assert all(np.array_equal(result[name], expected[name]) for name in expected)
