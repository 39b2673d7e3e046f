# tests/python/test_grids.py - calc and the series commands over grids on different lattices
# (--extent, --grid; extent=, grid=) equal gdalwarp -r near of each input onto the same target
# grid followed by the aligned command, for the tool over GeoTIFFs and ASCII grids and for the
# module; and what the module refuses.
import math
import os
import subprocess

import numpy
import pytest

import tessgrid

gdal = pytest.importorskip("osgeo.gdal")
gdal.UseExceptions()

# Three grids of different cell sizes and extents, none on another's lattice, so that no target
# centre lies on an input's edge (where gdalwarp and the overlay pick different rows); each with
# no-data cells, each declaring its own no-data value. (cell size, west, north, columns, rows,
# no-data)
GRIDS = [(1.0, 100.3, 250.6, 40, 30, -1.0),
         (2.0, 107.1, 262.2, 20, 18, -9999.0),
         (0.75, 95.45, 244.15, 37, 41, 255.0)]


def make_inputs(folder):
    """The grids as GeoTIFFs and as ASCII grids of the same cells; returns both lists of paths."""
    generator = numpy.random.default_rng(31)
    tiffs, texts = [], []
    for index, (size, west, north, columns, rows, nodata) in enumerate(GRIDS):
        cells = numpy.round(generator.uniform(0, 200, (rows, columns)))
        cells[generator.random((rows, columns)) < 0.15] = nodata
        tif = str(folder / ("in%d.tif" % index))
        dataset = gdal.GetDriverByName("GTiff").Create(tif, columns, rows, 1, gdal.GDT_Float64)
        dataset.SetGeoTransform([west, size, 0, north, 0, -size])
        dataset.GetRasterBand(1).SetNoDataValue(nodata)
        dataset.GetRasterBand(1).WriteArray(cells)
        dataset = None
        text = str(folder / ("in%d.asc" % index))
        with open(text, "w") as out:
            out.write("ncols %d\nnrows %d\nxllcorner %r\nyllcorner %r\ncellsize %r\n"
                      "NODATA_value %r\n" % (columns, rows, west, north - rows * size, size,
                                             nodata))
            for row in cells:
                out.write(" ".join(repr(float(v)) for v in row) + "\n")
        tiffs.append(tif)
        texts.append(text)
    return tiffs, texts


def target(extent, lattice):
    """The target grid by the rule the tool documents: the union or intersection of the extents,
    snapped outward or inward to the lattice of the grid given (index into GRIDS) from its
    corner. Returns (xmin, ymin, xmax, ymax, cell size)."""
    size, west, north, columns, rows, _ = GRIDS[lattice]
    south = north - rows * size
    boxes = [(w, n - r * s, w + c * s, n) for s, w, n, c, r, _ in GRIDS]
    if extent == "union":
        low = (min(b[0] for b in boxes), min(b[1] for b in boxes))
        high = (max(b[2] for b in boxes), max(b[3] for b in boxes))
        outward = (math.floor, math.ceil)
    else:
        low = (max(b[0] for b in boxes), max(b[1] for b in boxes))
        high = (min(b[2] for b in boxes), min(b[3] for b in boxes))
        outward = (math.ceil, math.floor)
    xmin = west + outward[0]((low[0] - west) / size) * size
    ymin = south + outward[0]((low[1] - south) / size) * size
    xmax = west + outward[1]((high[0] - west) / size) * size
    ymax = south + outward[1]((high[1] - south) / size) * size
    return xmin, ymin, xmax, ymax, size


def warped(paths, folder, grid):
    """Each input warped onto the grid by gdalwarp -r near, keeping its no-data value, which the
    cells outside it take."""
    xmin, ymin, xmax, ymax, size = grid
    out = []
    for index, path in enumerate(paths):
        nodata = GRIDS[index][5]
        name = str(folder / ("warped%d.tif" % index))
        gdal.Warp(name, path, outputBounds=(xmin, ymin, xmax, ymax), xRes=size, yRes=size,
                  resampleAlg="near", srcNodata=nodata, dstNodata=nodata, errorThreshold=0,
                  outputType=gdal.GDT_Float64)
        out.append(name)
    return out


def run_tool(*args):
    done = subprocess.run([os.environ["TESSGRID_TOOL"], "--quiet"] + list(args),
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done


def raster(path):
    dataset = gdal.Open(path)
    band = dataset.GetRasterBand(1)
    return dataset.GetGeoTransform(), band.ReadAsArray().astype(float), band.GetNoDataValue()


def ascii_grid(path):
    grid = tessgrid.read(path)
    return (grid.xll, grid.yll, grid.cellsize), numpy.asarray(grid), grid.nodata


# (command and its arguments before the inputs, extent, lattice, whether it is calc)
CASES = [
    (["calc", "--expr", "A + B * 2 - C"], "union", 0, True),
    (["sum", "--skip-nodata"], "union", 2, False),
    (["average"], "intersect", 1, False),
    (["minimum", "--min-count", "2"], "union", 1, False),
    (["count"], "intersect", 2, False),
]
LATTICE = {0: "first", 1: "coarsest", 2: "finest"}


def arguments(command, out, inputs, options):
    head, rest = command[0], command[1:]
    if head == "calc":
        lettered = [w for letter, path in zip("ABC", inputs) for w in ("-" + letter, path)]
        return [head, out] + rest + options + lettered
    return [head, out] + rest + options + inputs


@pytest.mark.skipif(os.environ.get("TESSGRID_RASTERS") != "1",
                    reason="tessgrid-tool is built without GDAL")
def test_the_tool_equals_gdalwarp_near_onto_the_target_then_the_aligned_command(tmp_path):
    tiffs, texts = make_inputs(tmp_path)
    for command, extent, lattice, _ in CASES:
        grid = target(extent, lattice)
        options = ["--extent", extent, "--grid", LATTICE[lattice]]
        expected = str(tmp_path / "expected.tif")
        run_tool(*arguments(command, expected, warped(tiffs, tmp_path, grid), []))
        got = str(tmp_path / "got.tif")
        run_tool(*arguments(command, got, tiffs, options))
        (place, cells, nodata) = raster(got)
        (want_place, want_cells, want_nodata) = raster(expected)
        assert place == pytest.approx(want_place, abs=1e-9), command
        assert nodata == want_nodata
        assert numpy.array_equal(cells, want_cells), command
        # Data and no-data both: a count has data everywhere.
        assert (cells != nodata).any() and (cells == nodata).any() != (command[0] == "count")
        # The same from ASCII grids, read by tessgrid's own reader.
        text = str(tmp_path / "got.asc")
        run_tool("--digits", "17", *arguments(command, text, texts, options))
        (corner, text_cells, text_nodata) = ascii_grid(text)
        assert corner == pytest.approx((want_place[0], want_place[3] - cells.shape[0] *
                                        want_place[1], want_place[1]), abs=1e-9)
        assert text_nodata == GRIDS[0][5]
        assert numpy.array_equal(text_cells == text_nodata, cells == nodata), command
        assert numpy.array_equal(text_cells[cells != nodata], cells[cells != nodata]), command


def test_the_modules_extent_and_grid_equal_gdalwarp_near_then_the_aligned_function(tmp_path):
    tiffs, _ = make_inputs(tmp_path)
    grids = []
    for path, (size, west, north, columns, rows, nodata) in zip(tiffs, GRIDS):
        _, cells, _ = raster(path)
        grids.append(tessgrid.Grid(cells, xll=west, yll=north - rows * size, cellsize=size,
                                   nodata=nodata))
    for command, extent, lattice, is_calc in CASES:
        grid = target(extent, lattice)
        aligned = []
        for index, path in enumerate(warped(tiffs, tmp_path, grid)):
            place, cells, nodata = raster(path)
            aligned.append(tessgrid.Grid(cells, xll=place[0], yll=place[3] + cells.shape[0] *
                                         place[5], cellsize=place[1], nodata=nodata))
        if is_calc:
            got = tessgrid.calc(command[2], extent=extent, grid=LATTICE[lattice],
                                **dict(zip("ABC", grids)))
            want = tessgrid.calc(command[2], **dict(zip("ABC", aligned)))
        else:
            function = getattr(tessgrid, command[0])
            options = {"skip_nodata": True} if "--skip-nodata" in command else \
                {"min_count": 2} if "--min-count" in command else {}
            got = function(grids, extent=extent, grid=LATTICE[lattice], **options)
            want = function(aligned, **options)
        assert (got.xll, got.yll, got.cellsize) == pytest.approx(
            (want.xll, want.yll, want.cellsize), abs=1e-9), command
        assert got.nodata == want.nodata
        assert numpy.array_equal(numpy.asarray(got), numpy.asarray(want)), command
    # A Grid given as grid= is the target whole.
    like = tessgrid.Grid(numpy.zeros((3, 4)), xll=101.0, yll=240.0, cellsize=2.5)
    whole = tessgrid.sum(grids, grid=like, skip_nodata=True)
    assert (whole.xll, whole.yll, whole.cellsize, whole.shape) == (101.0, 240.0, 2.5, (3, 4))


def test_the_module_refuses_what_makes_no_target_grid():
    a = tessgrid.Grid(numpy.ones((2, 2)), xll=0, yll=0, cellsize=1)
    far = tessgrid.Grid(numpy.ones((2, 2)), xll=10, yll=10, cellsize=1)
    cases = [
        (lambda: tessgrid.sum([a, far], extent="intersect"),
         "the grids do not overlap, so they have no intersection"),
        (lambda: tessgrid.average([a, far], extent="all"),
         'extent must be "union" or "intersect", not "all"'),
        (lambda: tessgrid.count([a, far], grid="fine"),
         'grid must be "finest", "coarsest", "first" or a Grid, not "fine"'),
        (lambda: tessgrid.maximum([a, far], grid=2.0),
         'grid must be "finest", "coarsest", "first" or a Grid, not float'),
        (lambda: tessgrid.calc("A", A=a, B=numpy.ones((0, 1)), extent="union"),
         "B has no cells (0 x 1); an operation needs one row and one column or more"),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as raised:
            call()
        assert str(raised.value) == message
    dask_array = pytest.importorskip("dask.array")
    lazy = pytest.importorskip("tessgrid.dask")
    with pytest.raises(tessgrid.Error) as raised:
        lazy.calc("A", A=dask_array.ones((2, 2)), grid="finest")
    assert str(raised.value) == (
        "tessgrid.dask.calc takes no extent= or grid=: its arrays are paired chunk by chunk "
        "and must lie on one grid; put them on one with tessgrid.calc(..., extent=, grid=) on "
        "grids in memory")
