# tests/python/test_conventions.py - tessgrid as Python users expect a package to behave: float32
# kept, os.PathLike paths, OSError subclasses for files, messages in Python's words, Grids that
# pickle and state their georeference.
import copy
import os
import pathlib
import pickle
import subprocess
import sys
import tracemalloc

import numpy
import pytest

import tessgrid


def message_of(call, kind=tessgrid.Error):
    with pytest.raises(kind) as failure:
        call()
    return str(failure.value)


def test_float32_in_keeps_float32_out_unless_dtype_says_otherwise(tmp_path):
    rng = numpy.random.default_rng(3)
    a = rng.normal(size=(6, 5)).astype(numpy.float32)
    b = rng.normal(size=(6, 5)).astype(numpy.float32)
    grid = tessgrid.Grid(a)
    assert grid.dtype == numpy.float32 and numpy.shares_memory(numpy.asarray(grid), a)
    # One operation on float32 cells, rounded once: numpy's float32 arithmetic, to the bit.
    for result, expected in ((tessgrid.add(a, b), a + b), (tessgrid.subtract(grid, b), a - b),
                             (tessgrid.multiply(a, b), a * b), (tessgrid.divide(a, b), a / b),
                             (tessgrid.calc("A * B", A=grid, B=b), a * b)):
        assert result.dtype == numpy.float32
        assert numpy.array_equal(numpy.asarray(result), expected)
    assert tessgrid.average([a, b]).dtype == numpy.float32
    assert tessgrid.count([a, b]).dtype == numpy.float32
    # Any float64 input, or dtype=, gives float64; dtype="float32" narrows float64 results.
    assert tessgrid.add(a, b.astype(numpy.float64)).dtype == numpy.float64
    assert tessgrid.add(a, b, dtype="float64").dtype == numpy.float64
    assert tessgrid.add(a.astype(float), b, dtype=numpy.float32).dtype == numpy.float32
    assert tessgrid.Grid(a, dtype="float64").dtype == numpy.float64
    # Narrowing keeps every cell or fails: no infinity, no data cell turned no-data.
    cases = [
        (lambda: tessgrid.multiply(numpy.full((1, 2), 3e38, numpy.float32), numpy.full((1, 2), 2.0,
                                                                                       numpy.float32)),
         "result: the cell at row 0, column 0 holds 6.0000000109955115e+38, which does not fit "
         "float32 (at most 3.4028234663852886e+38 in magnitude)"),
        (lambda: tessgrid.calc("A", A=numpy.full((1, 1), -4.9999999), dtype="float32", nodata=-5),
         "result: the cell at row 0, column 0 holds -4.9999999, which float32 cannot tell from "
         "the nodata value -5.0"),
        (lambda: tessgrid.Grid(a, nodata=0.1),
         "cells: the nodata value 0.1 is not a float32 number; a float32 grid needs one, such as "
         "-9999 or nan"),
        (lambda: setattr(grid, "nodata", 0.1),
         "grid: the nodata value 0.1 is not a float32 number; a float32 grid needs one, such as "
         "-9999 or nan"),
        (lambda: tessgrid.add(a, b, dtype="int16"), "dtype must be float32 or float64, not int16"),
        (lambda: grid.astype("float16"), "dtype must be float32 or float64, not float16"),
        (lambda: tessgrid.read(tmp_path / "x.asc", dtype="cells"),
         "dtype must be float32 or float64, not 'cells'"),
    ]
    for call, message in cases:
        assert message_of(call) == message
    assert grid.nodata == -9999.0
    # A float32 grid is written as Float32, and a Float32 band reads back as float32.
    if tessgrid.has_rasters:
        tessgrid.write(tmp_path / "a.tif", grid)
        back = tessgrid.read(tmp_path / "a.tif")
        assert back.dtype == numpy.float32 and numpy.array_equal(numpy.asarray(back), a)
        assert tessgrid.read(tmp_path / "a.tif", dtype="float64").dtype == numpy.float64
    tessgrid.write(tmp_path / "a.asc", grid)
    assert tessgrid.read(tmp_path / "a.asc").dtype == numpy.float64
    assert tessgrid.read(tmp_path / "a.asc", dtype="float32").dtype == numpy.float32


def test_calc_over_float32_cells_rounds_its_float64_result_once_without_float64_copies():
    rng = numpy.random.default_rng(5)
    # More rows than the engine widens at a time, more columns than a block of the program.
    a, b, c = (rng.normal(500.0, 300.0, (300, 1100)).astype(numpy.float32) for _ in range(3))
    a[::7, ::3] = -9999.0
    c[2::5, 1::4] = numpy.nan
    wide = [x.astype(numpy.float64) for x in (a, b, c)]
    with numpy.errstate(invalid="ignore"):
        value = (wide[0] + wide[1]) * wide[2] / 2
    expected = numpy.where((a == -9999.0) | ~numpy.isfinite(value), -9999.0, value)
    # Arrays, Grids and a Grid declaring NaN: the float64 cells, each rounded once to float32.
    grid_c = tessgrid.Grid(numpy.where(numpy.isnan(c), -9999.0, c).astype(numpy.float32))
    for kwargs in (dict(A=a, B=b, C=c), dict(A=tessgrid.Grid(a), B=b, C=grid_c)):
        result = tessgrid.calc("(A + B) * C / 2", **kwargs)
        assert result.dtype == numpy.float32
        assert numpy.array_equal(numpy.asarray(result), expected.astype(numpy.float32))
    declared_nan = tessgrid.Grid(numpy.where(a == -9999.0, numpy.nan, a).astype(numpy.float32),
                                 nodata=numpy.nan)
    result = tessgrid.calc("(A + B) * C / 2", A=declared_nan, B=b, C=grid_c, nodata=-1.0)
    assert numpy.array_equal(numpy.asarray(result),
                             numpy.where(expected == -9999.0, -1.0, expected).astype(numpy.float32))
    # A float64 input gives float64, dtype= float32 the same cells rounded.
    mixed = tessgrid.calc("(A + B) * C / 2", A=wide[0], B=b, C=c)
    assert mixed.dtype == numpy.float64 and numpy.array_equal(numpy.asarray(mixed), expected)
    assert numpy.array_equal(numpy.asarray(tessgrid.calc("(A + B) * C / 2", A=wide[0], B=b, C=c,
                                                         dtype="float32")),
                             expected.astype(numpy.float32))
    # The float32 result is the only array made: the inputs are widened a few rows at a time.
    tracemalloc.start()
    try:
        tessgrid.calc("(A + B) * C / 2", A=a, B=b, C=c)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert peak < a.nbytes + 65536
    # Failures keep their order: the run's own (a lost cell, here in row 5) before a cell float32
    # cannot hold (row 0), and that before a nodata value float32 cannot hold.
    big = numpy.ones((8, 3), numpy.float32)
    big[0, 1] = 3e30
    lost = big.copy()
    lost[5, 2] = -9998.0
    cases = [
        (lambda: tessgrid.calc("A * 1e10", A=big),
         "result: the cell at row 0, column 1 holds %r, which does not fit float32 (at most "
         "3.4028234663852886e+38 in magnitude)" % (float(big[0, 1]) * 1e10)),
        (lambda: tessgrid.calc("A < -9000 ? A - 1 : A * 1e10", A=lost),
         "the result at row 5, column 2 comes to -9999, which the library's operations take for "
         "no-data; tessgrid cannot keep it as data"),
        (lambda: tessgrid.calc("A * 2", A=big, nodata=0.1),
         "result: the nodata value 0.1 is not a float32 number; a float32 grid needs one, such as "
         "-9999 or nan"),
    ]
    for call, message in cases:
        assert message_of(call) == message


def test_grids_state_their_georeference_pickle_and_deep_copy():
    cells = numpy.arange(6.0).reshape(2, 3)
    grid = tessgrid.Grid(cells, xll=100.0, yll=200.0, cellsize=10.0, nodata=-1.0, crs="LOCAL")
    assert (grid.shape, grid.dtype, grid.bounds) == ((2, 3), numpy.float64,
                                                     (100.0, 200.0, 130.0, 220.0))
    assert tuple(grid.transform)[:6] == (10.0, 0.0, 100.0, 0.0, -10.0, 220.0)
    for copied in (pickle.loads(pickle.dumps(grid)), copy.deepcopy(grid)):
        assert (copied.transform, copied.nodata, copied.crs) == (grid.transform, -1.0, "LOCAL")
        assert numpy.array_equal(numpy.asarray(copied), cells)
        assert not numpy.shares_memory(numpy.asarray(copied), cells)
    single = pickle.loads(pickle.dumps(grid.astype("float32")))
    assert single.dtype == numpy.float32 and repr(single).startswith("<tessgrid.Grid 2 x 3 float32")
    assert copy.copy(grid).shape == (2, 3)


def test_paths_are_os_pathlike_and_unopenable_files_raise_oserrors(tmp_path):
    grid = tessgrid.Grid(numpy.ones((2, 2)))
    tessgrid.write(tmp_path / "a.asc", grid)
    tessgrid.write(pathlib.PurePosixPath(tmp_path / "b.asc"), grid)
    assert tessgrid.read(tmp_path / "a.asc").shape == tessgrid.read(str(tmp_path / "b.asc")).shape
    missing, folder = tmp_path / "none.asc", tmp_path
    cases = [
        (lambda: tessgrid.read(missing), FileNotFoundError,
         "[Errno 2] No such file or directory: '%s'" % missing),
        (lambda: tessgrid.read(folder), IsADirectoryError,
         "[Errno 21] Is a directory: '%s'" % folder),
        (lambda: tessgrid.write(tmp_path / "no" / "x.asc", grid), FileNotFoundError,
         "[Errno 2] No such file or directory: '%s'" % (tmp_path / "no" / "x.asc")),
        (lambda: tessgrid.write(folder, grid), IsADirectoryError,
         "[Errno 21] Is a directory: '%s'" % folder),
    ]
    for call, kind, message in cases:
        with pytest.raises(kind) as failure:
            call()
        assert isinstance(failure.value, tessgrid.Error) and str(failure.value) == message
        assert failure.value.filename == message.split(": '")[1][:-1]
    assert message_of(lambda: tessgrid.read(3), TypeError) == \
        "path must be a str or an os.PathLike, not int"
    # Permissions bind only a user without root's override: the check runs as nobody then.
    locked = tmp_path / "locked"
    locked.mkdir()
    tessgrid.write(locked / "a.asc", grid)
    locked.chmod(0o000)
    script = ("import tessgrid, numpy\n"
              "for call in (lambda: tessgrid.read(%r),\n"
              "             lambda: tessgrid.write(%r, numpy.ones((1, 1)))):\n"
              "    try:\n        call()\n"
              "    except PermissionError as failure:\n"
              "        print(type(failure).__name__, isinstance(failure, tessgrid.Error), failure)\n"
              % (str(locked / "a.asc"), str(locked / "b.asc")))
    as_nobody = (lambda: os.setuid(65534)) if os.geteuid() == 0 else None
    if as_nobody:
        os.chmod(tmp_path, 0o755)
        os.chmod(tmp_path.parent, 0o755)
        # A build inside a folder only its owner may enter (mktemp -d) is out of nobody's reach.
        probe = subprocess.run([sys.executable, "-c", "import tessgrid"], capture_output=True,
                               preexec_fn=as_nobody, timeout=60)
        if probe.returncode != 0:
            locked.chmod(0o755)
            pytest.skip("no unprivileged user who can reach the build folder")
    try:
        done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                              preexec_fn=as_nobody, timeout=60)
    finally:
        locked.chmod(0o755)
    assert done.stdout.splitlines() == [
        "PermissionError True [Errno 13] Permission denied: '%s'" % (locked / "a.asc"),
        "PermissionError True [Errno 13] Permission denied: '%s'" % (locked / "b.asc")], \
        done.stderr


def test_messages_are_in_pythons_words():
    grid = tessgrid.Grid(numpy.arange(12.0).reshape(3, 4), xll=100, yll=200, cellsize=10)
    coarse = tessgrid.Grid(numpy.ones((1, 1)), xll=100, yll=200, cellsize=20)
    cases = [
        (lambda: tessgrid.extract(grid, 99, 205, 125, 215),
         "the corner (xmin, ymin) = (99, 205) lies outside the grid, which spans x from 100.0 up "
         "to 140.0 and y from 200.0 up to 230.0 (its eastern and northern edges excluded)"),
        (lambda: tessgrid.extract(grid, 100, 200, 140, 229),
         "the corner (xmax, ymax) = (140, 229) lies outside the grid, which spans x from 100.0 up "
         "to 140.0 and y from 200.0 up to 230.0 (its eastern and northern edges excluded)"),
        (lambda: tessgrid.add(grid, coarse),
         "b does not cover a, on whose grid the result lies: b spans x from 100.0 to 120.0 and y "
         "from 200.0 to 220.0, and a x from 100.0 to 140.0 and y from 200.0 to 230.0"),
        (lambda: tessgrid.multiply(coarse, grid),
         "a does not cover b, on whose grid the result lies: a spans x from 100.0 to 120.0 and y "
         "from 200.0 to 220.0, and b x from 100.0 to 140.0 and y from 200.0 to 230.0"),
        (lambda: tessgrid.divide(coarse, grid),
         "divide takes b at a's cell size or coarser: a has cellsize 20.0 and b 10.0"),
        (lambda: tessgrid.sum([grid]), "sum needs two or more grids, got 1"),
        (lambda: tessgrid.average([]), "average needs two or more grids, got 0"),
        (lambda: tessgrid.count([]), "count needs one or more grids, got 0"),
        (lambda: tessgrid.resample(grid, float("nan")), "resolution must be a number above 0, "
                                                        "not nan"),
        (lambda: tessgrid.Grid(numpy.ones((2, 2)), cellsize=0),
         "File format error: invalid cellsize"),
        # The library names its function ("... in TMapTools::Resample"); Python users see none.
        (lambda: tessgrid.resample(grid, 1e-300), "New resolution is too small for the map"),
        (lambda: tessgrid.add(numpy.ones((1, 1)), numpy.ones((1, 1)), nodata=2),
         "result: the result holds 2 at row 0, column 0, a data value equal to the NODATA_value "
         "it declares; choose another with nodata="),
    ]
    for call, message in cases:
        assert message_of(call) == message
