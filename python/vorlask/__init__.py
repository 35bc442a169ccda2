"""The exact analysis of vorlask networks from Python: chains, curves, reports, runs and sweeps.

The same engine as vorlask-cli, giving the same numbers to the last bit, with
its arrays handed to numpy and scipy directly::

    import vorlask
    net = vorlask.read_network("session.txt")
    chain = net.chain()            # chain.matrix: scipy.sparse.csr_matrix (h x h)
    curve = net.curve(horizon=100)  # numpy array (101,)
    table = vorlask.sweep(net, {"alpha": numpy.linspace(0, 1, 41)}, horizon=100)
    shaped = vorlask.sweep(net, {"alpha": [0, 0.5, 1], "gamma": [0.25, 0.75]}, measure="limit", grid=True)
    long_run = net.settle(precision=1e-9)  # limit, mean steps, quantile steps with low and high

Long work runs on every core without holding the GIL, and Ctrl+C stops it;
sweep(..., executor=E) spreads a grid over any concurrent.futures.Executor.
Errors: ValueError for a bad network or argument, TooLarge (a ValueError)
beyond a limit, OSError for a file that cannot be read, CapReached (a
RuntimeError) when the long run runs out of iterations.
"""

from ._vorlask import (
    DEFAULT_MAX_CONFIGURATIONS,
    CapReached,
    Chain,
    Network,
    TooLarge,
    __version__,
    objective,
    optimize,
    read_network,
)
from ._sweeps import sweep

__all__ = [
    "CapReached",
    "Chain",
    "Network",
    "TooLarge",
    "DEFAULT_MAX_CONFIGURATIONS",
    "objective",
    "optimize",
    "read_network",
    "sweep",
    "__version__",
]

for _function in (objective, optimize, read_network, sweep):
    _function.__module__ = __name__
del _function
