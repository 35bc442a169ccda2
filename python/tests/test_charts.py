"""The command's heat maps read by an XML parser: every cell carries the colour
that matplotlib's viridis gives its value between the lowest and the highest,
the module's grid arrays giving the values."""

import xml.etree.ElementTree as ElementTree

import numpy as np
import pytest

import vorlask

SVG = "{http://www.w3.org/2000/svg}"


def cells_of(path):
    root = ElementTree.parse(path).getroot()
    group = next(g for g in root.iter(SVG + "g") if g.get("id") == "cells")
    return [cell.get("fill") for cell in group.iter(SVG + "rect")]


@pytest.mark.parametrize("alphas", [[1.0], [0.0, 0.5, 1.0]])
def test_heat_map_cells_are_viridis_at_their_value(cli, tmp_path, alphas):
    matplotlib = pytest.importorskip("matplotlib")
    viridis = matplotlib.colormaps["viridis"]
    links = np.zeros((5, 5), dtype=int)
    for i in range(5):
        links[i, (i + 1) % 5] = links[(i + 1) % 5, i] = 1
    net = vorlask.Network(links, gamma=[0.125, 0.25, 0.375, 0.5, 0.625])
    network = tmp_path / "ring.txt"
    network.write_text(net.data_block())
    gammas = np.round(np.linspace(0.05, 0.95, 7), 2)
    picture = tmp_path / "map.svg"
    cli("sweep", "--measure", "mean-steps", "--vary", "gamma[0]=" + ",".join(map(str, gammas)),
        "--vary", "alpha=" + ",".join(map(str, alphas)), "--plot-kind", "heatmap", "--plot", picture, network)

    grid = vorlask.sweep(net, {"gamma[0]": gammas, "alpha": alphas}, measure="mean-steps", grid=True)
    drawn = np.where(grid["limit"] > 0, grid["mean_steps"], np.nan)
    least, most = np.nanmin(drawn), np.nanmax(drawn)
    assert least < most
    fills = cells_of(picture)
    assert len(fills) == drawn.size
    for k, fill in enumerate(fills):
        value = drawn.flat[k]  # the first parameter varies slowest, as the grid's C order
        if np.isnan(value):
            assert fill == "url(#no-value)", k
        else:
            assert fill == matplotlib.colors.to_hex(viridis((value - least) / (most - least))), k
    assert ("url(#no-value)" in fills) == (len(alphas) > 1)
