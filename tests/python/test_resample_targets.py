# tests/python/test_resample_targets.py - tessgrid.resample's methods and target grids (extent=,
# align=, like=) against tessgrid-tool resample on the same grids, and what it refuses.
import numpy
import pytest

import tessgrid
from conftest import assert_same_grid

METHODS = ("near", "bilinear", "average", "mode", "min", "max", "median")


def test_every_method_and_target_grid_is_the_tools(data, tool):
    elevation, coarse = data("elevation_4x3.asc"), data("uplift_coarse_2x2.asc")
    e, c = tessgrid.read(elevation), tessgrid.read(coarse)
    for method in METHODS:
        cases = [
            (tessgrid.resample(e, 15.0, method), ("--resolution", "15")),
            (tessgrid.resample(e, 20.0, method, extent=(95, 190, 132, 236)),
             ("--resolution", "20", "--extent", "95", "190", "132", "236")),
            (tessgrid.resample(e, 20.0, method, extent=[95, 190, 132, 236], align=True),
             ("--resolution", "20", "--extent", "95", "190", "132", "236", "--align")),
            (tessgrid.resample(e, 15.0, method, align=True), ("--resolution", "15", "--align")),
            (tessgrid.resample(e, method=method, like=c), ("--like", coarse)),
        ]
        for result, args in cases:
            assert_same_grid(result, tool("resample", elevation, "{out}", "--method", method,
                                          *args))
    # The grid of like= is its header's, to the bit; the result keeps the source's no-data.
    like = tessgrid.Grid(numpy.zeros((2, 3)), xll=99.9, yll=200.1, cellsize=13.3, nodata=0.0)
    result = tessgrid.resample(e, method="average", like=like)
    assert (result.xll, result.yll, result.cellsize, result.nodata) == (99.9, 200.1, 13.3, -9999)
    assert numpy.asarray(result).shape == (2, 3)


def test_target_grids_that_cannot_be_made_are_refused():
    cells = numpy.ones((3, 4))
    cases = [
        (lambda: tessgrid.resample(cells), "resample needs a resolution or like="),
        (lambda: tessgrid.resample(cells, method="max", extent=(0, 0, 1, 1)),
         "resample needs a resolution or like="),
        (lambda: tessgrid.resample(cells, 2.0, like=cells),
         "like= gives the whole grid: resample takes no resolution, extent= or align= with it"),
        (lambda: tessgrid.resample(cells, like=cells, align=True),
         "like= gives the whole grid: resample takes no resolution, extent= or align= with it"),
        (lambda: tessgrid.resample(cells, 1.0, extent=(0, 0, 1)),
         "extent must be (xmin, ymin, xmax, ymax)"),
        (lambda: tessgrid.resample(cells, 1.0, extent=(4, 0, 1, 3)),
         "extent: XMAX must be greater than XMIN"),
        (lambda: tessgrid.resample(cells, 1.0, extent=(0, 0, 4, float("nan"))),
         "extent: XMIN YMIN XMAX YMAX must be finite numbers"),
        (lambda: tessgrid.resample(cells, 0.0, extent=(0, 0, 4, 3)),
         "resolution must be a number above 0, not 0.0"),
        (lambda: tessgrid.resample(cells, like=numpy.ones((0, 2))),
         "like has no cells (0 x 2); an operation needs one row and one column or more"),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as raised:
            call()
        assert str(raised.value) == message
