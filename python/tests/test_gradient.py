"""Gradients and the optimiser from Python: exact rational derivatives of
small networks' mean steps, computed from a transcription of the step in
fractions, against Network.gradient; the module against the command; and
objective handed to scipy."""

import re
from fractions import Fraction

import numpy as np
import pytest
import scipy.optimize

import vorlask
from conftest import block_text


class Dual:
    """A fraction with its exact derivative along one parameter."""

    def __init__(self, value, slope=Fraction(0)):
        self.value, self.slope = Fraction(value), Fraction(slope)

    def __add__(self, other):
        other = other if isinstance(other, Dual) else Dual(other)
        return Dual(self.value + other.value, self.slope + other.slope)

    __radd__ = __add__

    def __sub__(self, other):
        other = other if isinstance(other, Dual) else Dual(other)
        return Dual(self.value - other.value, self.slope - other.slope)

    def __rsub__(self, other):
        return Dual(other) - self

    def __mul__(self, other):
        other = other if isinstance(other, Dual) else Dual(other)
        return Dual(self.value * other.value, self.slope * other.value + self.value * other.slope)

    __rmul__ = __mul__

    def __truediv__(self, other):
        other = other if isinstance(other, Dual) else Dual(other)
        return Dual(self.value / other.value,
                    (self.slope * other.value - self.value * other.slope) / (other.value * other.value))


def step_outcomes(links, alpha, beta, gamma, partner):
    """Every outcome of one step from `partner`, with its probability: the
    step taken node by node as the window's Space takes it."""
    n = len(links)

    def target(i, p):
        for k in range(1, n + 1):
            if links[i][(p + k) % n]:
                return (p + k) % n
        return -1

    pointer = [target(i, partner[i]) if partner[i] >= 0 else -1 for i in range(n)]
    outcomes = []

    def go(j, weight, new, attempted, settled):
        if j == n:
            outcomes.append((tuple(new), weight))
            return
        if settled[j]:
            return go(j + 1, weight, new, attempted, settled)
        k = pointer[j]
        if k > j and pointer[k] == j:
            s = gamma[j] + gamma[k]
            win = gamma[j] / s
            go_acting(j, weight * win, new, attempted, settled[:k] + [True] + settled[k + 1:])
            go(j + 1, weight * (1 - win), new, attempted, settled[:j] + [True] + settled[j + 1:])
            return
        go_acting(j, weight, new, attempted, settled)

    def go_acting(j, weight, new, attempted, settled):
        t = pointer[j]
        if t < 0:
            return go(j + 1, weight, new, attempted, settled)
        go(j + 1, weight * (1 - alpha[j]), new, attempted, settled)
        if attempted[t] and new[t] == j:
            return go(j + 1, weight * alpha[j], new, attempted, settled)
        tried = attempted[:j] + [True] + attempted[j + 1:]
        go(j + 1, weight * alpha[j] * beta[j], new[:j] + [t] + new[j + 1:], tried, settled)
        go(j + 1, weight * alpha[j] * (1 - beta[j]), new, tried, settled)

    go(0, Dual(1), list(partner), [False] * n, [False] * n)
    return outcomes


def solve(a, b):
    """x with a x = b, in exact arithmetic."""
    n = len(b)
    a = [row[:] + [b[r]] for r, row in enumerate(a)]
    for c in range(n):
        pivot = next(r for r in range(c, n) if a[r][c].value != 0)
        a[c], a[pivot] = a[pivot], a[c]
        for r in range(n):
            if r != c and (a[r][c].value != 0 or a[r][c].slope != 0):
                f = a[r][c] / a[c][c]
                a[r] = [x - f * y for x, y in zip(a[r], a[c])]
    return [a[r][n] / a[r][r] for r in range(n)]


def exact_mean_steps(links, params, marked, configurations, parameter):
    """The averaged mean steps until `marked`, and its derivative by the
    parameter at index `parameter` (alpha of every node, then beta, gamma)."""
    n = len(links)
    values = [[Dual(Fraction(v), Fraction(int(p * n + i == parameter)))
               for i, v in enumerate(params[p])] for p in range(3)]
    index = {tuple(c): l for l, c in enumerate(configurations)}
    transient = [l for l in range(len(configurations)) if not marked[l]]
    position = {l: r for r, l in enumerate(transient)}
    a = [[Dual(int(r == c)) for c in range(len(transient))] for r in range(len(transient))]
    for r, l in enumerate(transient):
        for destination, weight in step_outcomes(links, *values, list(configurations[l])):
            d = index[destination]
            if d in position:
                a[r][position[d]] = a[r][position[d]] - weight
    mean = solve(a, [Dual(1)] * len(transient))
    total = sum(mean, Dual(0)) / len(configurations)
    return total.value, total.slope


@pytest.mark.parametrize("case", [
    ([[0, 1, 1], [1, 0, 1], [1, 1, 0]], [[1, 1, 1], [1, 1, 1], [1, 0.5, 0.25]]),
    ([[0, 1, 0, 1], [1, 0, 1, 0], [0, 1, 0, 1], [1, 0, 1, 0]], [[1, 1, 1, 1], [1, 1, 1, 1], [0.25, 0.75, 0.5, 0.625]]),
])
def test_mean_steps_derivatives_are_the_exact_rational_ones(case):
    links, params = case
    net = vorlask.Network(np.array(links), *[np.array(p, dtype=float) for p in params])
    chain = net.chain(jobs=1)
    gradient = net.gradient(measure="mean-steps", precision=1e-12)
    n = len(links)
    for parameter in range(3 * n):
        value, slope = exact_mean_steps(links, params, chain.marked, chain.configurations, parameter)
        assert abs(gradient["value"][parameter] - float(value)) <= 1e-12 * float(value)
        assert abs(gradient["derivative"][parameter] - float(slope)) <= gradient["error"][parameter] + 1e-12, \
            gradient["parameter"][parameter]


def test_gradients_and_optima_are_the_commands(write_block, cli):
    links = np.array([[0, 1, 0, 0, 1], [1, 0, 1, 0, 0], [0, 1, 0, 1, 0], [0, 0, 1, 0, 1], [1, 0, 0, 1, 0]])
    params = np.array([[0.75, 0.625, 0.5, 0.875, 0.75], [0.5, 0.875, 0.75, 0.625, 0.375], [0.25, 0.75, 0.5, 1, 0.5]])
    path = write_block(links, params)
    net = vorlask.read_network(path)
    rows = cli("gradient", "--measure", "rates", path).decode().splitlines()
    gradient = net.gradient(measure="rates")
    assert len(rows) == 1 + len(gradient["derivative"])
    for row, derivative, error in zip(rows[1:], gradient["derivative"], gradient["error"]):
        fields = row.split(",")
        assert float(fields[4]) == derivative and float(fields[5]) == error
    best = vorlask.optimize(net, maximize="min-rate", vary={"gamma[0]": (0.05, 1)})
    lines = cli("optimize", "--maximize", "min-rate", "--vary", "gamma[0]=0.05:1", path).decode().splitlines()
    assert float(lines[1].split("=")[1]) == best["point"]["gamma[0]"]
    assert best["network"].gamma[0] == best["point"]["gamma[0]"]


def test_objective_hands_scipy_the_figure_and_its_gradient():
    # Two linked nodes: node 0's rate gamma0 / (gamma0 + 0.8) x 0.5 grows
    # with gamma0, so scipy's best is the upper bound.
    net = vorlask.Network(np.array([[0, 1], [1, 0]]), [1.0, 0.5], [0.5, 0.5], [0.5, 0.8])
    fun, x0, bounds = vorlask.objective(net, maximize="rate[0]", vary={"gamma[0]": (0.05, 0.9)})
    value, gradient = fun(x0)
    assert value == pytest.approx(-0.5 / 1.3 * 0.5, abs=1e-12)
    assert gradient[0] == pytest.approx(-0.8 / 1.3 ** 2 * 0.5, abs=1e-12)
    result = scipy.optimize.minimize(fun, x0, jac=True, bounds=bounds, method="L-BFGS-B")
    assert result.x[0] == pytest.approx(0.9)
    with pytest.raises(ValueError, match="name one figure"):
        vorlask.objective(net, vary={"gamma[0]": (0, 1)})


def test_refusals_met_deep_inside_stand_as_they_are():
    # Nodes that rarely succeed: rounding keeps the rates' bounds some 1e-9
    # wide, and the refusal names a precision that then holds.
    links = np.zeros((6, 6), dtype=int)
    for i, j in [(0, 1), (0, 4), (0, 5), (1, 2), (2, 3), (3, 4)]:
        links[i, j] = links[j, i] = 1
    slow = vorlask.Network(links, [0.25, 0.9595, 0.5, 0.71, 0.001, 0.5025],
                           [0.0381, 0.0442, 0.999, 0.5, 0.0023, 0.5946],
                           [0.25, 0.001, 0.1038, 0.3233, 0.5559, 0.0776])
    with pytest.raises(vorlask.CapReached, match=r"--precision \S+ gives them") as caught:
        slow.rates(precision=1e-10)
    offered = float(re.search(r"--precision (\S+) gives them", str(caught.value)).group(1))
    rates = slow.rates(precision=offered)
    assert np.all(rates["high"] - rates["low"] <= offered)
    # A chain of two closed classes has no rates' gradient: the optimiser
    # says so, where it once said "nlopt failure".
    split = vorlask.Network(np.array([[0, 0, 0, 1, 1], [0, 0, 1, 0, 0], [0, 1, 0, 0, 0], [1, 0, 0, 0, 0],
                                      [1, 0, 0, 0, 0]]),
                            [0.015625, 0.999, 0.984375, 0.0713, 0.001], [0.8645, 0.015625, 0, 0.25, 0],
                            [0, 0.984375, 0.999, 0.8655, 1])
    with pytest.raises(ValueError, match="the chain ends in 2 classes"):
        vorlask.optimize(split, maximize="rate[0]", vary={"alpha[0]": (0, 1)})
