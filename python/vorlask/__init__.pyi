"""Type stubs of vorlask, the exact analysis of vorlask networks."""

import concurrent.futures
import os
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt
import scipy.sparse

__version__: str
DEFAULT_MAX_CONFIGURATIONS: int

ProgressCallback = Callable[[float], object]
ParameterValues = Union[float, npt.ArrayLike]

class TooLarge(ValueError):
    """A network or a request beyond a limit."""

class CapReached(RuntimeError):
    """The long run ran out of iterations; limit and mean_steps are the intervals reached."""

    limit: tuple[float, float, float]
    mean_steps: tuple[float, float, float]

class Chain:
    """The exact Markov chain of a network: configurations, one-step weights, S marks."""

    @property
    def matrix(self) -> scipy.sparse.csr_matrix:
        """The one-step weights, float64 (h x h), row = from, column = to."""
    @property
    def marked(self) -> npt.NDArray[np.bool_]:
        """Whether each configuration is marked S, (h,)."""
    @property
    def configurations(self) -> npt.NDArray[np.int32]:
        """The partner of every node in each configuration, (h, N), -1 for nodes without neighbours."""
    @property
    def marked_count(self) -> int:
        """The number of S configurations."""
    @property
    def rules(self) -> str:
        """Whose one-step weights: "process" or "window"."""

class Network:
    """A network of N nodes: symmetric 0/1 links and alpha, beta, gamma per node."""

    def __init__(
        self,
        links: npt.ArrayLike,
        alpha: ParameterValues = 1.0,
        beta: ParameterValues = 1.0,
        gamma: ParameterValues = 1.0,
    ) -> None: ...
    @property
    def node_count(self) -> int: ...
    @property
    def links(self) -> npt.NDArray[np.int32]: ...
    @links.setter
    def links(self, value: npt.ArrayLike) -> None: ...
    @property
    def alpha(self) -> npt.NDArray[np.float64]: ...
    @alpha.setter
    def alpha(self, value: ParameterValues) -> None: ...
    @property
    def beta(self) -> npt.NDArray[np.float64]: ...
    @beta.setter
    def beta(self, value: ParameterValues) -> None: ...
    @property
    def gamma(self) -> npt.NDArray[np.float64]: ...
    @gamma.setter
    def gamma(self, value: ParameterValues) -> None: ...
    @property
    def source(self) -> Optional[str]: ...
    @property
    def configuration_count(self) -> int: ...
    def data_block(self) -> str:
        """The DATA: block as the window prints it."""
    def chain(
        self,
        *,
        chain: str = "process",
        jobs: int = 0,
        max_configurations: int = ...,
        progress: Optional[ProgressCallback] = None,
    ) -> Chain:
        """The exact Markov chain of the process."""
    def curve(
        self,
        horizon: int = 16,
        *,
        per_configuration: bool = False,
        chain: str = "process",
        jobs: int = 0,
        max_configurations: int = ...,
        progress: Optional[ProgressCallback] = None,
    ) -> npt.NDArray[np.float64]:
        """The weight of being in an S configuration after 0 to horizon steps: (horizon + 1,), or (horizon + 1, h)."""
    def report(
        self,
        options: int = 31,
        horizon: int = 16,
        columns: int = 16,
        *,
        progress: Optional[ProgressCallback] = None,
    ) -> str:
        """The window's analysis report, byte for byte."""
    def simulate(
        self,
        steps: int,
        *,
        every: Optional[int] = None,
        seed: int = 1,
        replicates: int = 1,
        start: Union[str, Sequence[int], npt.NDArray[np.integer]] = "start",
        summary: bool = False,
        confidence: float = 0.95,
        jobs: int = 0,
        progress: Optional[ProgressCallback] = None,
    ) -> dict[str, npt.NDArray[np.generic]]:
        """Sampled runs: columns replicate, seed, step, node, successes, chance; with summary=True
        node, chance, low, high, replicates, the mean chance after the last step and its t interval."""
    def settle(
        self,
        precision: float = 1e-9,
        *,
        quantiles: Sequence[float] = (0.5, 0.9, 0.99),
        per_configuration: bool = False,
        chain: str = "process",
        direct: bool = False,
        max_iterations: int = 1000000,
        jobs: int = 0,
        max_configurations: int = ...,
        progress: Optional[ProgressCallback] = None,
    ) -> dict[str, npt.NDArray[np.generic]]:
        """The long run: columns measure, value, low, high; or per configuration limit and mean_steps with bounds."""
    def rates(
        self,
        *,
        start: Union[str, Sequence[int]] = "uniform",
        precision: float = 1e-9,
        per_configuration: bool = False,
        max_iterations: int = 1000000,
        jobs: int = 0,
        max_configurations: int = ...,
        progress: Optional[ProgressCallback] = None,
    ) -> Dict[str, npt.NDArray[Any]]:
        """Every node's long-run success rate with its interval: node, rate, low, high."""
    def gradient(
        self,
        *,
        measure: str = "mean-steps",
        precision: float = 1e-9,
        jobs: int = 0,
        max_configurations: int = ...,
        progress: Optional[ProgressCallback] = None,
    ) -> Dict[str, npt.NDArray[Any]]:
        """Derivatives of the limit, mean steps or rates by every alpha, beta and gamma, with errors."""
    def __eq__(self, other: object) -> bool: ...
    def __getstate__(self) -> tuple[npt.NDArray[np.int32], npt.NDArray[np.float64], npt.NDArray[np.float64],
                                    npt.NDArray[np.float64], Optional[str]]:
        """Links, alpha, beta, gamma and source: what pickle keeps."""
    def __setstate__(
        self, state: tuple[npt.ArrayLike, ParameterValues, ParameterValues, ParameterValues, Optional[str]]
    ) -> None: ...

def read_network(path: Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]) -> Network:
    """The network of the first DATA: block in the file."""

def sweep(
    network: Network,
    vary: Mapping[str, Union[float, Sequence[float], npt.ArrayLike]],
    *,
    horizon: Optional[int] = None,
    measure: str = "curve",
    chain: str = "process",
    precision: Optional[float] = None,
    direct: Optional[bool] = None,
    max_iterations: Optional[int] = None,
    jobs: int = 0,
    max_configurations: int = ...,
    shard: tuple[int, int] = (1, 1),
    grid: bool = False,
    executor: Optional[concurrent.futures.Executor] = None,
    blocks: Optional[int] = None,
    progress: Optional[ProgressCallback] = None,
) -> dict[str, npt.NDArray[np.generic]]:
    """A measure at every point of a parameter grid: columns per parameter, then step and success, or the long run;
    with grid=True arrays shaped (n1, n2, ...) (success with the step last); with executor= spread over its workers
    in contiguous blocks, to the same bits."""

def optimize(
    network: Network,
    *,
    minimize: Optional[str] = None,
    maximize: Optional[str] = None,
    vary: Mapping[str, Sequence[float]] = ...,
    starts: int = 1,
    seed: int = 1,
    precision: float = 1e-9,
    max_evaluations: int = 300,
    jobs: int = 0,
    progress: Optional[ProgressCallback] = None,
) -> Dict[str, Any]:
    """Parameters within bounds that make a figure best; the best point, its figure and network."""

def objective(
    network: Network,
    *,
    minimize: Optional[str] = None,
    maximize: Optional[str] = None,
    vary: Mapping[str, Sequence[float]] = ...,
    precision: float = 1e-9,
    jobs: int = 0,
) -> Tuple[Callable[[npt.ArrayLike], Tuple[float, npt.NDArray[np.float64]]], npt.NDArray[np.float64], List[Tuple[float, float]]]:
    """(fun, x0, bounds) for scipy.optimize.minimize(fun, x0, jac=True, bounds=bounds)."""
