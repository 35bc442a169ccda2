"""Sweeps over a grid of parameter values: as long columns or as arrays shaped
like the grid, computed here or spread over the workers of an executor."""

import concurrent.futures
import math
import time

import numpy as np

from . import _vorlask

# Columns that run within a point (the steps of a curve, the nodes of rates)
# rather than from point to point: in grid form they are the grid's last axis.
_WITHIN_POINT = ("step", "node")

# Blocks an executor gets unless told: enough to keep a few dozen workers
# busy, few enough that each block builds its chain once for many points.
DEFAULT_BLOCKS = 64

# The longest an executor's sweep waits between looks at its blocks, and the
# least time between two calls of its progress callback.
_WAIT_SECONDS = 0.2
_PROGRESS_SECONDS = 0.25

_EXTRA_DOC = """grid: True for arrays shaped like the grid instead of long columns: each
    varied parameter's values as a 1-D array, in the order given, and each
    figure as an array indexed [first value, second value, ...]; with
    measure="curve", success has the step last, (n1, n2, ..., horizon + 1),
    and step holds the steps 0 to horizon; with "rates", rate, low and high
    have the node last and node holds the nodes. The values are the
    columns' own.
executor: a concurrent.futures.Executor, such as a ProcessPoolExecutor or
    the one dask.distributed's Client.get_executor() gives, whose workers
    share out the points in contiguous blocks, each building and solving
    its own; the result is the same to the bit as a sweep here. The network
    and vary go to the workers by pickle, so vorlask must import there;
    jobs is each worker's threads (0: every core it has). Every argument is
    checked here before any block is handed out, and a worker's error is
    raised here; progress is called as blocks come back.
blocks: how many blocks an executor gets, by default min(points, 64).
"""


def sweep(network, vary, *, grid=False, executor=None, blocks=None, progress=None, **options):
    if grid and tuple(options.get("shard", (1, 1))) != (1, 1):
        raise ValueError("grid=True needs the whole grid, not a shard of it")
    if executor is None:
        if blocks is not None:
            raise ValueError("blocks is for sweeps on an executor; without one the sweep runs here")
        columns = _vorlask.sweep(network, vary, progress=progress, **options)
    else:
        columns = _sweep_on(executor, network, vary, blocks, progress, options)
    return _as_grid(columns, vary) if grid else columns


def _documented(engine_doc):
    """The engine's docstring of sweep with this one's arguments added: its
    signature line, which help() shows first, and their paragraphs."""
    signature, _, text = engine_doc.partition("\n\n")
    signature = signature.replace(
        ", progress: object = None)",
        ", grid: bool = False, executor: Optional[concurrent.futures.Executor] = None, blocks: Optional[int] = None,"
        " progress: object = None)",
    )
    return signature + "\n\n" + text.rstrip("\n") + "\n" + _EXTRA_DOC


sweep.__doc__ = _documented(_vorlask.sweep.__doc__)


def _sweep_block(network, vary, shard, options):
    """One contiguous block of a sweep's points, computed on a worker."""
    return _vorlask.sweep(network, vary, shard=shard, **options)


def _sweep_on(executor, network, vary, blocks, progress, options):
    if "shard" in options:
        raise ValueError("an executor shares out the whole grid; it takes no shard")
    if not callable(getattr(executor, "submit", None)):
        raise TypeError("executor must be a concurrent.futures.Executor, not %r" % type(executor).__name__)
    if progress is not None and not callable(progress):
        raise TypeError("progress must be None or a callable taking the fraction done")
    if blocks is not None and (isinstance(blocks, bool) or not isinstance(blocks, int) or blocks < 1):
        raise ValueError("blocks must be a whole number of at least 1, not %r" % (blocks,))
    points = math.prod(np.asarray(values).size for values in vary.values()) if isinstance(vary, dict) else 1
    # A shard without points checks every argument here, before any worker
    # starts, and computes nothing.
    _vorlask.sweep(network, vary, shard=(1, points + 1), **options)
    count = min(points, DEFAULT_BLOCKS if blocks is None else blocks)
    sizes = [points * k // count - points * (k - 1) // count for k in range(1, count + 1)]
    futures = [executor.submit(_sweep_block, network, vary, (k, count), options) for k in range(1, count + 1)]
    parts = _gathered(futures, sizes, progress)
    return {name: np.concatenate([part[name] for part in parts]) for name in parts[0]}


def _gathered(futures, sizes, progress):
    """The futures' results in order. Where blocks fail, the first of them in
    order raises its error, as a sweep at home would, once the blocks before
    it are done; the blocks after it are dropped. Ctrl+C, or a progress
    callback that raises, drops every block not yet done."""
    index_of = {future: k for k, future in enumerate(futures)}
    total = sum(sizes)
    done = 0
    reported = time.monotonic()
    first_failed = len(futures)
    pending = set(futures)
    try:
        while pending:
            finished, pending = concurrent.futures.wait(
                pending, timeout=_WAIT_SECONDS, return_when=concurrent.futures.FIRST_COMPLETED
            )
            for future in finished:
                if future.exception() is not None:
                    first_failed = min(first_failed, index_of[future])
                else:
                    done += sizes[index_of[future]]
            later = {future for future in pending if index_of[future] > first_failed}
            _cancel(later)
            pending -= later
            now = time.monotonic()
            if progress is not None and finished and (done == total or now - reported >= _PROGRESS_SECONDS):
                progress(done / total)
                reported = now
    except BaseException:
        _cancel(pending)
        raise
    return [future.result() for future in futures]


def _cancel(futures):
    """Cancels the futures not yet started; those running finish unheeded."""
    for future in futures:
        future.cancel()


def _as_grid(columns, vary):
    """The long columns shaped like the grid: the first parameter varies
    slowest in them, so each column is the grid's array in C order."""
    names = list(vary)
    lengths = tuple(np.asarray(values).size for values in vary.values())
    rows = len(columns[names[0]])
    within = any(name in columns for name in _WITHIN_POINT)
    shape = lengths + ((rows // math.prod(lengths),) if within else ())
    shaped = {}
    for axis, name in enumerate(names):
        along = tuple(slice(None) if a == axis else 0 for a in range(len(shape)))
        shaped[name] = columns[name].reshape(shape)[along].copy()
    for name, column in columns.items():
        if name in shaped:
            continue
        array = column.reshape(shape)
        shaped[name] = array[(0,) * len(lengths)].copy() if name in _WITHIN_POINT else array
    return shaped
