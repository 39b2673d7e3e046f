# tests/python/test_edges.py - what the module takes at its edge: read-only and masked arrays,
# texts with a NUL, grids without cells, header numbers the reader would refuse, output formats.
import os
import re
import subprocess
import sys

import numpy
import pytest

import tessgrid
from conftest import assert_same_grid


def message_of(call):
    with pytest.raises(tessgrid.Error) as failure:
        call()
    return str(failure.value)


def test_read_only_arrays_give_read_only_grids_that_every_operation_reads(tmp_path):
    cells = numpy.arange(12.0).reshape(3, 4)
    numpy.save(tmp_path / "cells.npy", cells)
    frozen = cells.copy()
    frozen.setflags(write=False)
    for source in (frozen, numpy.load(tmp_path / "cells.npy", mmap_mode="r")):
        grid = tessgrid.Grid(source, nodata=5.0)
        shared = numpy.asarray(grid)
        assert not shared.flags.writeable and numpy.shares_memory(shared, source)
        assert memoryview(grid).readonly
        with pytest.raises(ValueError):
            shared[0, 0] = 1.0
        expected = numpy.where(cells == 5.0, 5.0, cells * 2)
        assert numpy.array_equal(numpy.asarray(tessgrid.calc("A * 2", A=grid)), expected)
        assert numpy.array_equal(numpy.asarray(tessgrid.calc("A * 2", A=source)), cells * 2)
        assert numpy.array_equal(numpy.asarray(tessgrid.add(grid, source, nodata=5.0)), expected)
        tessgrid.write(str(tmp_path / "frozen.asc"), grid)
        assert numpy.array_equal(numpy.asarray(tessgrid.read(str(tmp_path / "frozen.asc"))), cells)


def test_masked_cells_are_nodata_and_the_callers_cells_stay():
    data = numpy.arange(6.0).reshape(2, 3)
    masked = numpy.ma.masked_array(data, mask=[[True, False, False], [False, False, True]])
    expected = [[-9999.0, 2.0, 3.0], [4.0, 5.0, -9999.0]]
    assert numpy.asarray(tessgrid.calc("A + 1", A=masked)).tolist() == expected
    assert numpy.asarray(tessgrid.add(masked, numpy.ones((2, 3)))).tolist() == expected
    assert numpy.asarray(tessgrid.count([masked, data])).tolist() == [[1, 2, 2], [2, 2, 1]]
    whole = numpy.ma.masked_array(numpy.arange(6).reshape(2, 3), mask=masked.mask)  # integers
    with_nan = numpy.asarray(tessgrid.Grid(whole, nodata=numpy.nan))
    assert numpy.isnan(with_nan[0, 0]) and numpy.isnan(with_nan[1, 2])
    assert with_nan[0, 1:].tolist() == [1.0, 2.0]
    assert numpy.asarray(tessgrid.calc("A", A=masked, nodata=-1)).tolist()[0] == [-1.0, 1.0, 2.0]
    # An unmasked masked array is the plain array.
    plain = numpy.ma.masked_array(data)
    assert numpy.asarray(tessgrid.calc("A + 1", A=plain)).tolist() == (data + 1).tolist()
    assert data.tolist() == [[0.0, 1.0, 2.0], [3.0, 4.0, 5.0]]
    assert "must be a 2-D array of numbers" in message_of(
        lambda: tessgrid.calc("A", A=numpy.ma.masked_array([["x", "y"]], mask=[[1, 0]])))


def test_texts_with_a_nul_are_refused_before_they_reach_the_library(tmp_path, monkeypatch):
    cells = numpy.ones((2, 2))
    (tmp_path / "s1.asc").write_text("ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                                     "NODATA_value -9999\n1\n")
    monkeypatch.chdir(tmp_path)
    cases = [
        (lambda: tessgrid.calc("A\x00*0", A=cells), "expr holds a NUL character at position 1"),
        (lambda: tessgrid.calc("A", **{"A\x00": cells}),
         "a grid's keyword holds a NUL character at position 1"),
        (lambda: tessgrid.read("s1.asc\x00junk"), "path holds a NUL character at position 6"),
        (lambda: tessgrid.write("zz\x00y.asc", cells), "path holds a NUL character at position 2"),
        (lambda: tessgrid.write("w.tif", cells, format="GTiff\x00"),
         "format holds a NUL character at position 5"),
        (lambda: tessgrid.resample(cells, 1.0, "near\x00ly"),
         "method holds a NUL character at position 4"),
        (lambda: tessgrid.Grid(cells, crs="GEOGCS\x00"), "crs holds a NUL character at position 6"),
    ]
    if tessgrid.has_rasters:  # without GDAL, a raster's keywords are refused before they are read
        cases += [(lambda: tessgrid.write("w.tif", cells, type="Int16\x00"),
                   "type holds a NUL character at position 5"),
                  (lambda: tessgrid.write("w.tif", cells, options=["A=1", "COMPRESS=\x00LZW"]),
                   "options holds a NUL character at position 9")]
    for call, message in cases:
        assert message_of(call) == message
    assert sorted(os.listdir(tmp_path)) == ["s1.asc"]
    grid = tessgrid.Grid(cells, crs="GEOGCS")
    with pytest.raises(tessgrid.Error, match="^crs holds a NUL character at position 0$"):
        grid.crs = "\x00"
    assert grid.crs == "GEOGCS"


def test_grids_without_cells_are_refused_at_once():
    # Before the refusal, a billion empty rows took 7.7 GB: run it where memory is bounded.
    script = ("import numpy, tessgrid\n"
              "try:\n"
              "    tessgrid.calc('A + 1', A=numpy.zeros((10**9, 0)))\n"
              "except tessgrid.Error as failure:\n"
              "    print(failure)\n")
    limit = "import resource; resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
    done = subprocess.run([sys.executable, "-c", limit + script], capture_output=True, text=True,
                          timeout=60)
    assert done.stdout == ("A has no cells (1000000000 x 0); an operation needs one row and one "
                           "column or more\n"), done.stderr
    for shape in ((0, 5), (5, 0), (0, 0)):
        empty, full = numpy.zeros(shape), numpy.ones((2, 2))
        text = "has no cells (%d x %d); an operation needs one row and one column or more" % shape
        cases = [(lambda: tessgrid.calc("A + B", A=full, B=empty), "B"),
                 (lambda: tessgrid.add(empty, full), "a"),
                 (lambda: tessgrid.sum([full, tessgrid.Grid(empty)]), "grids[1]"),
                 (lambda: tessgrid.threshold(empty, 1.0), "grid"),
                 (lambda: tessgrid.resample(empty, 0.5), "grid"),
                 (lambda: tessgrid.mask(full, empty, 1, 2), "source")]
        for call, name in cases:
            assert message_of(call) == name + " " + text


def test_grid_numbers_are_checked_as_the_reader_checks_a_files_header(tmp_path):
    cells = numpy.ones((2, 3))
    header = "ncols %d\nnrows %d\nxllcorner %r\nyllcorner %r\ncellsize %r\nNODATA_value -9999\n"
    cases = [dict(cellsize=0.0), dict(cellsize=-2.0), dict(cellsize=float("nan")),
             dict(cellsize=float("inf")), dict(xll=float("nan")), dict(yll=float("-inf")),
             dict(xll=1e308, cellsize=1e308), dict(yll=-1e308, cellsize=1e308)]
    for index, numbers in enumerate(cases):
        place = dict(dict(xll=0.0, yll=0.0, cellsize=1.0), **numbers)
        path = tmp_path / ("bad_%d.asc" % index)
        path.write_text(header % (3, 2, place["xll"], place["yll"], place["cellsize"]) +
                        "1 1 1\n1 1 1\n")
        expected = message_of(lambda: tessgrid.read(str(path)))
        assert expected.startswith("File format error: ")
        assert message_of(lambda: tessgrid.Grid(cells, **numbers)) == expected, numbers
        # The last number set on its own is refused too, and leaves the grid as it was.
        *first, (name, value) = numbers.items()
        place = dict(dict(xll=5.0, yll=6.0, cellsize=2.0), **dict(first))
        grid = tessgrid.Grid(cells, **place)
        with pytest.raises(tessgrid.Error, match="^" + re.escape(expected) + "$"):
            setattr(grid, name, value)
        assert dict(xll=grid.xll, yll=grid.yll, cellsize=grid.cellsize) == place
    # As many empty rows as the reader takes read back; more are refused with its message.
    (tmp_path / "empty.asc").write_text(header % (0, 70000, 0.0, 0.0, 1.0))
    too_large = message_of(lambda: tessgrid.read(str(tmp_path / "empty.asc")))
    assert message_of(lambda: tessgrid.Grid(numpy.zeros((70000, 0)))) == too_large
    assert message_of(lambda: tessgrid.write(str(tmp_path / "e.asc"), numpy.zeros((0, 70000)))) \
        == too_large
    tessgrid.write(str(tmp_path / "e.asc"), tessgrid.Grid(numpy.zeros((300, 0)), xll=1e300))
    assert tessgrid.read(str(tmp_path / "e.asc")).shape == (300, 0)


def gdal_facts(path):
    gdal = pytest.importorskip("osgeo.gdal")
    dataset = gdal.Open(str(path))
    band = dataset.GetRasterBand(1)
    return {"driver": dataset.GetDriver().ShortName, "type": gdal.GetDataTypeName(band.DataType),
            "structure": dataset.GetMetadata("IMAGE_STRUCTURE"), "block": band.GetBlockSize(),
            "transform": dataset.GetGeoTransform(), "nodata": band.GetNoDataValue(),
            "cells": band.ReadAsArray().tolist()}


def test_write_names_rasters_as_the_tool_does_with_its_types_options_and_checks(
        data, tool, tmp_path):
    grid = tessgrid.read(data("elevation_4x3.asc"))
    if not tessgrid.has_rasters:
        cases = [(lambda: tessgrid.write(str(tmp_path / "x.tif"), grid),
                  str(tmp_path / "x.tif") + " is a GeoTIFF, and this tessgrid was built without "
                  "GDAL"),
                 (lambda: tessgrid.write(str(tmp_path / "x.img"), grid, format="HFA"),
                  "format=HFA needs GDAL, and this tessgrid was built without it")]
        for call, message in cases:
            assert message_of(call) == message
        assert os.listdir(tmp_path) == []
        return
    rounded = tessgrid.calc("round(A)", A=grid)
    rounded_path = str(tmp_path / "rounded.asc")
    tessgrid.write(rounded_path, rounded)
    for name, source, source_path, keywords, tool_options in (
            ("a.tif", grid, data("elevation_4x3.asc"), {}, []),
            ("b.TIFF", grid, data("elevation_4x3.asc"), {"type": "Float32"}, ["--type", "Float32"]),
            ("c.tif", rounded, rounded_path, {"type": "Int32", "options": ["COMPRESS=LZW"]},
             ["--type", "Int32", "--co", "COMPRESS=LZW"])):
        tessgrid.write(str(tmp_path / name), source, **keywords)
        from_tool = tmp_path / ("tool_" + name)
        tool("scale", source_path, str(from_tool), "--factor", "1", *tool_options)
        assert gdal_facts(tmp_path / name) == gdal_facts(from_tool), name
    assert gdal_facts(tmp_path / "a.tif")["cells"][1][1] == -9999.0
    assert_same_grid(tessgrid.read(str(tmp_path / "a.tif")), grid)
    tessgrid.write(str(tmp_path / "d.img"), grid, format="HFA")
    assert gdal_facts(tmp_path / "d.img")["driver"] == "HFA"

    path, text = str(tmp_path / "a.tif"), str(tmp_path / "e.asc")
    before = (tmp_path / "a.tif").read_bytes()
    cases = [
        (lambda: tessgrid.write(path, grid, type="Int16"),
         path + ": the result holds 12.5 at row 0, column 0, which does not fit Int16 (a whole "
         "number from -32768 to 32767)"),
        (lambda: tessgrid.write(path, tessgrid.Grid(numpy.ones((1, 1)), nodata=300), type="Byte"),
         path + ": the NODATA_value 300 does not fit Byte (a whole number from 0 to 255); choose "
         "another with --nodata"),
        (lambda: tessgrid.write(path, grid, type="Int8"),
         'type must be Float64, Float32, Int32, Int16 or Byte, not "Int8"'),
        (lambda: tessgrid.write(path, grid, options=["COMPRESS"]),
         "options: not KEY=VALUE: COMPRESS"),
        (lambda: tessgrid.write(path, grid, format="NOSUCH"),
         "GDAL has no raster format NOSUCH that it can write"),
        (lambda: tessgrid.write(path, grid, 8), "digits= is for ASCII grids, and " + path +
         " is written as a raster (GTiff)"),
        (lambda: tessgrid.write(text, grid, type="Int16"),
         "type= is for rasters, and " + text + " is written as an ASCII grid"),
        (lambda: tessgrid.write(text, grid, options=["TILED=NO"]),
         "options= is for rasters, and " + text + " is written as an ASCII grid"),
        (lambda: tessgrid.write(text, grid, format="GTiff"),
         text + ": a name ending .asc is an ASCII grid, and format=GTiff needs another name"),
    ]
    for call, message in cases:
        assert message_of(call) == message
    assert (tmp_path / "a.tif").read_bytes() == before
    assert not (tmp_path / "e.asc").exists()

