# tests/python/test_raster_output.py - rasters from Python go out as tessgrid-tool's do: the same
# refusals before anything is written, in Python's words, and the same companions handled, for
# tessgrid.write and for tessgrid.dask.to_raster's windows.
import os

import numpy
import pytest

import tessgrid

dask_array = pytest.importorskip("dask.array")
import tessgrid.dask as tgd  # noqa: E402  (needs dask)


def test_rasters_from_python_refuse_what_would_not_read_back_as_written(tmp_path):
    grid = tessgrid.Grid(numpy.arange(12.0).reshape(3, 4), 10.0, 20.0, 5.0)
    chunked = dask_array.from_array(numpy.asarray(grid), chunks=2)
    if not tessgrid.has_rasters:
        with pytest.raises(tessgrid.Error, match="built without GDAL"):
            tessgrid.write(tmp_path / "a.tif", grid, options=["COMPRESS=JPEG"])
        return
    a, b = str(tmp_path / "a.tif"), str(tmp_path / "b.tif")
    cases = [
        (lambda: tessgrid.write(a, grid, options=["COMPRESS=JPEG"]),
         a + ": the creation option COMPRESS=JPEG compresses with loss; the cells would not "
         "read back as written"),
        (lambda: tessgrid.write(a, grid, type="Float32", options=["NBITS=16"]),
         a + ": the creation option NBITS=16 keeps 16 bits of each Float32 cell; the cells "
         "would not read back as written"),
        (lambda: tessgrid.write(str(tmp_path / "a.vrt"), grid, format="VRT"),
         str(tmp_path / "a.vrt") + ": GDAL's format VRT writes no file that holds the cells; "
         "choose another with format="),
        (lambda: tgd.to_raster(chunked, b, options=["COMPRESS=JPEG"]),
         b + ": the creation option COMPRESS=JPEG compresses with loss; the cells would not "
         "read back as written"),
        (lambda: tgd.to_raster(chunked, b, nodata=255, type="Byte", options=["NBITS=4"]),
         b + ": the creation option NBITS=4 keeps 4 bits of each Byte cell; the cells would "
         "not read back as written"),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            call()
        assert str(failure.value) == message
    assert os.listdir(tmp_path) == []
    # A companion left by an earlier raster of the name would describe the new one: it goes.
    for path, write in ((a, lambda: tessgrid.write(a, grid)),
                        (b, lambda: tgd.to_raster(chunked, b))):
        with open(path + ".aux.xml", "w") as stale:
            stale.write('<PAMDataset><Metadata><MDI key="stale">yes</MDI></Metadata>'
                        '</PAMDataset>')
        write()
        assert not os.path.exists(path + ".aux.xml")
        assert numpy.array_equal(numpy.asarray(tessgrid.read(path)), numpy.asarray(grid))
