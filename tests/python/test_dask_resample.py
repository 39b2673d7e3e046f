# tests/python/test_dask_resample.py - tessgrid.dask.resample in chunks equals tessgrid.resample
# on the whole array, and takes its cell size from the array's coordinates or from cellsize=.
import numpy
import pytest

import tessgrid

pytest.importorskip("dask")
import tessgrid.dask as tgd  # noqa: E402  (needs dask)
import dask.array  # noqa: E402


def test_chunked_resample_equals_the_whole_array_cell_for_cell():
    # 61 x 47 cells of 30 m with scattered no-data: every ratio refining and coarsening, the
    # widened bilinear kernels reaching across several chunks' rims, and chunkings that the ratio
    # rounds to different steps.
    rng = numpy.random.default_rng(5)
    cells = rng.normal(500.0, 80.0, size=(61, 47))
    cells[rng.random(cells.shape) < 0.04] = -9999.0
    for ratio in (0.3, 0.5, 0.7, 1.5, 2.0, 2.5, 3.0, 4.0):
        resolution = 30.0 * ratio
        for method in ("near", "bilinear"):
            whole = numpy.asarray(tessgrid.resample(tessgrid.Grid(cells, cellsize=30.0),
                                                    resolution, method))
            for chunks in ((20, 15), (7, 9), (61, 47)):
                array = dask.array.from_array(cells, chunks=chunks)
                chunked = tgd.resample(array, resolution, method, cellsize=30.0)
                assert chunked.shape == whole.shape
                assert numpy.array_equal(chunked.compute(scheduler="synchronous"), whole), \
                    (ratio, method, chunks)
    # An array without cells fails as the whole-array path does.
    with pytest.raises(tessgrid.Error, match=r"^grid has no cells \(0 x 5\)"):
        tgd.resample(dask.array.zeros((0, 5), chunks=(1, 5)), 60.0, cellsize=30.0)


def test_resample_takes_the_cell_size_from_coordinates_or_requires_it():
    cells = numpy.arange(60.0 * 40.0).reshape(60, 40)
    array = dask.array.from_array(cells, chunks=(20, 20))
    with pytest.raises(tessgrid.Error, match=r"^resample needs cellsize= for an array without x "
                                             r"and y coordinates$"):
        tgd.resample(array, 60.0)
    xarray = pytest.importorskip("xarray")
    # A 30 m grid: x rising from the west, y falling from the north, at the cells' centres.
    located = xarray.DataArray(array, dims=("y", "x"),
                               coords={"x": 500015.0 + 30.0 * numpy.arange(40),
                                       "y": 4100985.0 - 30.0 * numpy.arange(60)})
    expected = numpy.asarray(tessgrid.resample(tessgrid.Grid(cells, cellsize=30.0), 60.0,
                                               "bilinear"))
    assert expected.shape == (30, 20)
    resampled = tgd.resample(located, 60.0, "bilinear")
    assert numpy.array_equal(resampled.compute(scheduler="synchronous"), expected)
    assert numpy.array_equal(tgd.resample(located, 60.0, "bilinear", cellsize=30.0)
                             .compute(scheduler="synchronous"), expected)
    failures = (
        (lambda: tgd.resample(located, 60.0, cellsize=25.0),
         r"^cellsize=25\.0 differs from the 30\.0 its coordinates state$"),
        (lambda: tgd.resample(located.transpose(), 60.0),
         r"^resample takes an array of dimensions \(y, x\), not \('x', 'y'\)$"),
        (lambda: tgd.resample(located.isel(y=slice(None, None, -1)), 60.0),
         r"^resample takes rows from the north and columns from the west: y must fall and x "
         r"rise$"),
        (lambda: tgd.resample(located.assign_coords(y=located.y * 1.5), 60.0),
         r"^the x and y coordinates are 30\.0 and 45\.0 apart: resample takes square cells$"),
        (lambda: tgd.resample(located.assign_coords(x=located.x ** 1.01), 60.0),
         r"^the x coordinates are not evenly spaced, so they give no cell size$"),
    )
    for call, message in failures:
        with pytest.raises(tessgrid.Error, match=message):
            call()
