# tests/python/test_binding.py - tessgrid's Python module against tessgrid-tool on the same
# grids: the operations, the no-data model, the failures, sharing instead of copying, and the
# interpreter lock released while computing.
import os
import threading
import time

import numpy
import pytest

import tessgrid
from conftest import assert_same_grid


def test_read_shares_the_readers_cells_and_write_matches_the_tool(data, tool, tmp_path):
    grid = tessgrid.read(data("elevation_4x3.asc"))
    cells = numpy.asarray(grid)
    assert cells.dtype == numpy.float64 and cells.shape == (3, 4)
    assert numpy.shares_memory(cells, numpy.asarray(grid))
    assert (grid.xll, grid.yll, grid.cellsize, grid.nodata, grid.crs) == (100, 200, 10, -9999, None)
    assert cells[0].tolist() == [12.5, 13, 14.25, 15]  # row 0 is the northern row
    cells[2, 3] = 99.0  # the grid's own storage, not a copy
    assert numpy.asarray(grid)[2, 3] == 99.0

    out = tmp_path / "copy.asc"
    tessgrid.write(str(out), tessgrid.read(data("uplift_4x3.asc")))
    expected = tmp_path / "expected.asc"
    tool("scale", data("uplift_4x3.asc"), str(expected), "--factor", "1")
    assert out.read_bytes() == expected.read_bytes()

    (tmp_path / "copy.prj").write_text("stale")
    with_crs = tessgrid.read(str(out))
    with_crs.crs = "PROJCS[\"x\"]"
    tessgrid.write(str(out), with_crs)
    assert tessgrid.read(str(out)).crs == "PROJCS[\"x\"]"
    tessgrid.write(str(out), numpy.zeros((2, 2)))
    assert not (tmp_path / "copy.prj").exists()


def test_read_takes_a_raster_as_the_ascii_grid_it_was_made_from(data, tool, tmp_path):
    # The build says whether the module was linked with the GDAL backend.
    assert tessgrid.has_rasters == (os.environ["TESSGRID_RASTERS"] == "1")
    source = data("elevation_4x3.asc")
    raster = str(tmp_path / "elevation.tif")
    if not tessgrid.has_rasters:
        with pytest.raises(tessgrid.Error):
            tessgrid.read(str(tmp_path / "missing.tif"))
        return
    tool("scale", source, raster, "--factor", "1", "--type", "Float64")
    grid, expected = tessgrid.read(raster), tessgrid.read(source)
    assert_same_grid(grid, expected)
    assert grid.crs is None or "PROJCS" in grid.crs or "PROJCRS" in grid.crs
    with pytest.raises(tessgrid.Error, match="no band 2"):
        tessgrid.read(raster, band=2)
    with pytest.raises(tessgrid.Error, match="band must be 1 or more"):
        tessgrid.read(raster, band=0)


def test_operations_match_the_tool(data, tool, tmp_path):
    elevation, uplift = data("elevation_4x3.asc"), data("uplift_4x3.asc")
    zones, coarse = data("zones_4x3.asc"), data("uplift_coarse_2x2.asc")
    e, u, z, c = (tessgrid.read(p) for p in (elevation, uplift, zones, coarse))
    table = tmp_path / "table.csv"
    table.write_text("1,10\n2,20\n-9999,0\n")
    cases = [
        (tessgrid.add(e, c), ("add", elevation, coarse, "{out}")),
        (tessgrid.subtract(e, u), ("subtract", elevation, uplift, "{out}")),
        (tessgrid.multiply(u, e), ("multiply", uplift, elevation, "{out}")),
        (tessgrid.divide(e, c), ("divide", elevation, coarse, "{out}")),
        (tessgrid.sum([e, u, z]), ("sum", "{out}", elevation, uplift, zones)),
        (tessgrid.count([e, u, z]), ("count", "{out}", elevation, uplift, zones)),
        (tessgrid.average([e, u, z]), ("average", "{out}", elevation, uplift, zones)),
        (tessgrid.threshold(e, 12.0), ("threshold", elevation, "{out}", "--min", "12")),
        (tessgrid.threshold(u, 1.0, -1.0),
         ("threshold", uplift, "{out}", "--min", "1", "--replace", "-1")),
        (tessgrid.reclass(z, {1: 10, 2: 20, -9999: 0}, 5),
         ("reclass", zones, "{out}", "--table", str(table), "--default", "5")),
        (tessgrid.mask(e, z, 2, -9999),
         ("mask", elevation, zones, "{out}", "--match", "2", "--value", "-9999")),
        (tessgrid.resample(e, 5.0, "bilinear"),
         ("resample", elevation, "{out}", "--resolution", "5", "--method", "bilinear")),
        (tessgrid.resample(u, 20.0), ("resample", uplift, "{out}", "--resolution", "20")),
        (tessgrid.extract(e, 105, 205, 125, 215),
         ("extract", elevation, "{out}", "--bbox", "105", "205", "125", "215")),
        (tessgrid.calc("isnodata(A) ? B : A * B", A=u, B=e),
         ("calc", "{out}", "--expr", "isnodata(A) ? B : A * B", "-A", uplift, "-B", elevation)),
        (tessgrid.calc("A + B", A=e, B=z), ("calc", "{out}", "--expr", "A + B", "-A", elevation,
                                            "-B", zones)),
    ]
    for result, args in cases:
        assert_same_grid(result, tool(*args))


def test_nodata_model_is_the_tools():
    nan = float("nan")
    a = numpy.array([[1.0, nan], [3.0, 4.0]])
    # Declared no-data in, the library's marker inside, the declared value out.
    result = tessgrid.add(a, a, nodata=nan)
    assert numpy.isnan(result.nodata) and numpy.isnan(numpy.asarray(result)[0, 1])
    assert numpy.asarray(result)[1].tolist() == [6.0, 8.0]
    assert tessgrid.calc("A * 2", A=a, nodata=nan).nodata != tessgrid.calc("A * 2", A=a).nodata
    assert numpy.asarray(tessgrid.add(tessgrid.Grid(a, nodata=nan), a, nodata=-1))[0, 1] == -1
    # A data cell of -9999 cannot pass the library's marker in a grid that declares another.
    with pytest.raises(tessgrid.Error, match=r"^a: the cell at row 1, column 0 holds -9999, a data "
                       r"value in this grid \(NODATA_value nan\), which tessgrid-tool cannot tell"):
        tessgrid.add(numpy.array([[1.0, nan], [-9999.0, 4.0]]), a, nodata=nan)
    # A computed -9999 from data cells fails, in every path of calc and in the operations.
    b = numpy.array([[-9998.0, 1.0]])
    collision = (r"^the result at row 0, column 0 comes to -9999, which the library's operations "
                 r"take for no-data; tessgrid-tool cannot keep it as data$")
    for call in (lambda: tessgrid.calc("A - 1", A=b), lambda: tessgrid.calc("A - B", A=b, B=b / b),
                 lambda: tessgrid.calc("A - 1", A=b, nodata=nan),
                 lambda: tessgrid.add(b, -numpy.ones((1, 2)))):
        with pytest.raises(tessgrid.Error, match=collision):
            call()
    with pytest.raises(tessgrid.Error, match=r"^result: the result holds 2 at row 0, column 1"):
        tessgrid.add(b, numpy.ones((1, 2)), nodata=2)


def test_failures_raise_error_with_the_librarys_message(tmp_path):
    assert issubclass(tessgrid.Error, ValueError)
    cases = [
        (lambda: tessgrid.read(str(tmp_path / "none.asc")),
         "Unable to open file " + str(tmp_path / "none.asc")),
        (lambda: tessgrid.calc("A +", A=numpy.ones((2, 2))),
         'unexpected end of expression at column 5 in "A +"'),
        (lambda: tessgrid.calc("A + C", A=numpy.ones((2, 2))),
         'names C, which has no input grid in "A + C"'),
        (lambda: tessgrid.calc("A", a=numpy.ones((2, 2))),
         "calc takes its grids as A= to Z=, not a="),
        (lambda: tessgrid.subtract(numpy.ones((2, 2)), numpy.ones((2, 3))),
         "grids are not aligned: a and b differ in ncols (2 vs 3)"),
        (lambda: tessgrid.sum([numpy.ones((2, 2))]),
         "Must have more than 2 maps to sum in TMapTools::Sum"),
        (lambda: tessgrid.resample(numpy.ones((2, 2)), 0.0),
         "New resolution cannot be <= 0.0 in TMapTools::Resample"),
        (lambda: tessgrid.resample(numpy.ones((2, 2)), 1.0, "cubic"),
         'method must be "near" or "bilinear", not "cubic"'),
        (lambda: tessgrid.add(numpy.ones(3), numpy.ones(3)), "a must be a 2-D array of numbers"),
        (lambda: tessgrid.write(str(tmp_path / "x.asc"), numpy.ones((1, 1)), digits=5),
         "digits must be from 6 to 17"),
        (lambda: tessgrid.write(str(tmp_path / "no" / "x.asc"), numpy.ones((1, 1))),
         "Unable to open file " + str(tmp_path / "no" / "x.asc")),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            call()
        assert str(failure.value) == message


def test_contiguous_float64_input_is_never_copied():
    cells = numpy.arange(12.0).reshape(3, 4)
    grid = tessgrid.Grid(cells, xll=5, nodata=-1)
    assert numpy.shares_memory(numpy.asarray(grid), cells)
    assert not numpy.shares_memory(numpy.asarray(tessgrid.Grid(numpy.asfortranarray(cells))), cells)
    assert numpy.asarray(tessgrid.Grid(numpy.arange(4).reshape(2, 2))).dtype == numpy.float64
    # calc reads the caller's cells where they lie: a change shows in the next result.
    cells[0, 0] = 100.0
    assert numpy.asarray(tessgrid.calc("A + 1", A=grid))[0, 0] == 101.0


def test_calc_single_operator_equals_the_general_expression():
    rng = numpy.random.default_rng(7)
    a = rng.normal(size=(70, 40))
    b = rng.normal(size=(70, 40))
    a[::5, ::3] = -9999.0
    b[::4, 1::2] = -9999.0
    b[3, :5] = 0.0  # division by zero, and 0 / 0, are no-data
    a[3, :2] = 0.0
    a[4, 0] = numpy.nan  # data, whose results are no-data but no lost data cell
    b[5, 0] = numpy.inf
    a[6, :3] = [-9998.0, -9999.5, -19998.0]  # computed -9999 from data: a failure
    b[6, :3] = [-1.0, -0.5, 2.0]
    for operator, column in (("+", 0), ("-", 1), ("*", None), ("/", 2)):
        def run(expr):
            try:
                return numpy.asarray(tessgrid.calc(expr, A=a, B=b))
            except tessgrid.Error as failure:
                return str(failure)
        fast, general = run("A %s B" % operator), run("(A) %s B" % operator)
        if column is None:
            assert numpy.array_equal(fast, general), operator
        else:
            assert fast == general == ("the result at row 6, column %d comes to -9999, which the "
                                       "library's operations take for no-data; tessgrid-tool "
                                       "cannot keep it as data" % column)
    two = numpy.asarray(tessgrid.calc("sin(A) * B", A=a, B=b, threads=2))
    assert numpy.array_equal(two, numpy.asarray(tessgrid.calc("sin(A) * B", A=a, B=b, threads=1)))


def test_calc_refuses_assignments_and_lists_of_expressions():
    a = numpy.ones((2, 2))
    cases = [
        ("A=5", 'unexpected assignment "=" (to compare, write "==") at column 2 in "A=5"'),
        ("A * (B = 2)", 'unexpected assignment "=" (to compare, write "==") at column 8 in '
                        '"A * (B = 2)"'),
        ("A, A + 1", 'unexpected "," outside a function\'s arguments (calc computes one '
                     'expression) at column 2 in "A, A + 1"'),
    ]
    for expr, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            tessgrid.calc(expr, A=a, B=a)
        assert str(failure.value) == message
    assert numpy.asarray(tessgrid.calc("A == 1", A=a)).tolist() == [[1, 1], [1, 1]]


def test_calc_quotes_a_long_rejected_expression_around_its_fault():
    a = numpy.ones((2, 2))
    huge = "A+" * 1000000  # 2 MB
    with pytest.raises(tessgrid.Error) as failure:
        tessgrid.calc(huge, A=a)
    assert str(failure.value) == 'expression too long at column 1 in "%s..."' % huge[:30]
    terms = "A + " * 50
    with pytest.raises(tessgrid.Error) as failure:
        tessgrid.calc(terms + "B + " + terms + "A", A=a)
    assert str(failure.value) == ('names B, which has no input grid in "...%sB + %s..."'
                                  % (terms[-30:], terms[:26]))
    with pytest.raises(tessgrid.Error) as failure:
        tessgrid.calc(terms + "\u00e9" * 60, A=a)  # cut between characters, never inside one
    assert str(failure.value).startswith('unexpected token "' + "\u00e9" * 15 + '..." found at '
                                         'column 201 in "...')


def test_calc_releases_the_interpreter_lock():
    a = numpy.random.default_rng(3).random((1500, 1500))
    span = []

    def work():
        start = time.perf_counter()
        tessgrid.calc("sin(A) * cos(A) + sqrt(A)", A=a, threads=1)
        span.append(time.perf_counter() - start)

    worker = threading.Thread(target=work)
    ticks = [time.perf_counter()]
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    # Held through the call, the lock would stop this thread for the call's whole length; free,
    # it runs on beside it, paused only by the scheduler.
    assert max(numpy.diff(ticks)) < span[0] / 2
