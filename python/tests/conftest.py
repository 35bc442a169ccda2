"""Shared helpers: random networks as the window leaves them, their DATA
blocks, and the built vorlask-cli, whose path CTest passes in VORLASK_CLI."""

import os
import subprocess

import numpy as np
import pytest


def window_network(rng, nodes):
    """Links and parameters as the window leaves them: symmetric 0/1 links with
    a zero diagonal, now and then an isolated node, every probability a 64th:
    all certain, a few round values, any 64ths, or certain attempts (alpha and
    beta 1) with uneven gamma, which decide the S marks; now and then gamma 0."""
    density = rng.choice([0.4, 0.6, 0.8, 1.0, 1.0])
    lower = np.tril(rng.random((nodes, nodes)) < density, -1)
    links = (lower | lower.T).astype(np.int32)
    if rng.random() < 0.3:
        isolated = rng.integers(nodes)
        links[isolated, :] = 0
        links[:, isolated] = 0
    style = rng.choice([0, 0, 1, 2, 3, 3])
    if style == 0:
        params = np.ones((3, nodes))
    elif style == 1:
        params = rng.choice([0.0, 0.25, 0.5, 0.75, 1.0], size=(3, nodes))
    else:
        params = rng.integers(0, 65, size=(3, nodes)) / 64.0
    if style == 3:
        params[0:2] = 1.0
    if rng.random() < 0.3:
        params[2] = np.where(rng.random(nodes) < 0.7, 0.0, params[2])
    return links, params


def configuration_count(links):
    degrees = links.sum(axis=1)
    return int(np.prod([d for d in degrees if d > 0], dtype=object)) if degrees.any() else 1


def window_networks(seed, count, max_configurations, nodes=(2, 6)):
    """`count` window networks of 2 to `max_configurations` configurations."""
    rng = np.random.default_rng(seed)
    found = []
    while len(found) < count:
        links, params = window_network(rng, int(rng.integers(nodes[0], nodes[1] + 1)))
        if 2 <= configuration_count(links) <= max_configurations:
            found.append((links, params))
    return found


def block_text(links, params):
    """A DATA block as the window prints it: the link row, then alpha, beta and
    gamma with three decimals."""
    lines = ["DATA:"]
    for i, row in enumerate(links):
        values = " ".join("%5.3f" % params[p][i] for p in range(3))
        lines.append("".join(str(int(v)) for v in row) + " " + values)
    return "\n".join(lines) + "\n\n"


@pytest.fixture
def write_block(tmp_path):
    counter = iter(range(1_000_000))

    def write(links, params):
        path = tmp_path / ("network%d.txt" % next(counter))
        path.write_text(block_text(links, params))
        return str(path)

    return write


@pytest.fixture(scope="session")
def cli():
    """Runs the built vorlask-cli and returns its standard output as bytes;
    a failure raises CalledProcessError with its standard error."""
    path = os.environ.get("VORLASK_CLI")
    if not path or not os.path.exists(path):
        pytest.skip("VORLASK_CLI does not name the built vorlask-cli")

    def run(*arguments):
        result = subprocess.run([path, *map(str, arguments)], capture_output=True)
        if result.returncode != 0:
            raise subprocess.CalledProcessError(result.returncode, arguments, result.stdout, result.stderr)
        return result.stdout

    run.path = path
    return run
