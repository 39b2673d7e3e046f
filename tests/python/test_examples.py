# tests/python/test_examples.py - the Python examples run as a user runs them and give what the
# module gives on the same grids.
import pathlib
import subprocess
import sys

import numpy
import pytest

import tessgrid

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_xarray_workflow_runs_and_writes_the_modules_result(tmp_path):
    pytest.importorskip("rioxarray")
    if not tessgrid.has_rasters:
        pytest.skip("the example reads GeoTIFFs, and this tessgrid was built without GDAL")
    done = subprocess.run([sys.executable, str(EXAMPLES / "xarray_workflow.py"), "--no-plot",
                           str(tmp_path)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    dem, uplift = (tessgrid.read(EXAMPLES / name) for name in ("elevation.asc", "uplift.asc"))
    series = [tessgrid.calc("A + B * %d" % years, A=dem, B=uplift) for years in (10, 20, 30)]
    expected = tessgrid.resample(tessgrid.average(series), dem.cellsize * 2, "bilinear")
    written = tessgrid.read(tmp_path / "mean_coarse.tif")
    assert written.transform == expected.transform and "27700" in written.crs
    # Masked as NaN on the way, no-data goes back into the file as the -9999 it came as.
    assert written.nodata == -9999.0 and (numpy.asarray(written) == -9999.0).any()
    assert numpy.array_equal(numpy.asarray(written), numpy.asarray(expected))
    raised = tessgrid.calc("A + B * 10", A=dem, B=uplift)
    assert done.stdout.splitlines()[0] == "raised north-west cell: %.3f" % numpy.asarray(
        raised)[0, 0]
    assert not (tmp_path / "mean_coarse.png").exists()
