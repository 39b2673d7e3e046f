# tests/python/conftest.py - what the binding's tests share: the tool built beside the module,
# the golden grids, and a way to run the tool and read what it wrote.
import os
import subprocess

import numpy
import pytest

import tessgrid

DATA = os.path.join(os.path.dirname(__file__), "..", "data", "app")


@pytest.fixture
def data():
    return lambda name: os.path.join(DATA, name)


@pytest.fixture
def tool(tmp_path):
    """Runs tessgrid-tool with the arguments; {out} stands for a fresh output file, which is
    then read back and returned as a Grid."""
    exe = os.environ["TESSGRID_TOOL"]
    counter = [0]

    def run(*args):
        counter[0] += 1
        out = str(tmp_path / ("tool_%d.asc" % counter[0]))
        done = subprocess.run([exe, "--quiet"] + [a.replace("{out}", out) for a in args],
                              capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return tessgrid.read(out) if "{out}" in args else None

    return run


def assert_same_grid(result, expected):
    """The result equals the tool's grid: header and every cell (as the tool wrote them)."""
    assert (result.xll, result.yll, result.cellsize) == pytest.approx(
        (expected.xll, expected.yll, expected.cellsize), rel=1e-12)
    assert result.nodata == expected.nodata or (numpy.isnan(result.nodata) and
                                                numpy.isnan(expected.nodata))
    numpy.testing.assert_allclose(numpy.asarray(result), numpy.asarray(expected), rtol=1e-11,
                                  equal_nan=True)
