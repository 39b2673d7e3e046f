# tests/python/test_bands.py - tessgrid.calc on bands of multi-band rasters: a (path, band) tuple
# per grid, read as tessgrid.read reads the band, and the same cells as the tool's --A-band.
import numpy
import pytest

import tessgrid

gdal = pytest.importorskip("osgeo.gdal")


def two_band_raster(path):
    red = numpy.arange(12, dtype=numpy.int16).reshape(3, 4) * 10 + 100
    near = 3000 - numpy.arange(12, dtype=numpy.int16).reshape(3, 4) * 7
    dataset = gdal.GetDriverByName("GTiff").Create(str(path), 4, 3, 2, gdal.GDT_Int16)
    dataset.SetGeoTransform([0, 10, 0, 30, 0, -10])
    dataset.GetRasterBand(1).WriteArray(red)
    dataset.GetRasterBand(2).WriteArray(near)
    dataset = None
    return red.astype(float), near.astype(float)


@pytest.mark.skipif(not tessgrid.has_rasters, reason="the module is built without GDAL")
def test_calc_takes_a_band_per_grid(tmp_path, tool):
    path = tmp_path / "bands.tif"
    red, near = two_band_raster(path)
    ndvi = tessgrid.calc("(B - A) / (B + A)", A=(path, 1), B=(str(path), 2))
    assert numpy.array_equal(numpy.asarray(ndvi), (near - red) / (near + red))
    assert ndvi.bounds == (0.0, 0.0, 40.0, 30.0)
    # A path alone is band 1, and the tool's --B-band reads what the tuple reads.
    same = tessgrid.calc("B - A", A=path, B=(path, 2))
    theirs = tool("calc", "{out}", "--digits", "17", "-A", str(path), "-B", str(path),
                  "--B-band", "2", "--expr", "B - A")
    assert numpy.array_equal(numpy.asarray(same), numpy.asarray(theirs))
    with pytest.raises(tessgrid.Error) as failure:
        tessgrid.calc("A", A=(path, 3))
    assert str(failure.value) == str(path) + ": no band 3 (the raster has 2)"
    with pytest.raises(tessgrid.Error) as failure:
        tessgrid.calc("A", A=(path, "2"))
    assert str(failure.value) == "A=(path, band) takes a whole band number, not '2'"
