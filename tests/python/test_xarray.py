# tests/python/test_xarray.py - Grids as xarray DataArrays and back: the georeference rioxarray
# reads from a GeoTIFF tessgrid wrote, DataArrays through every operation, and the attributes
# that stand in for rioxarray where it is absent.
import numpy
import pytest

import tessgrid
from tessgrid import xarray as tgx

xarray = pytest.importorskip("xarray")

UTM = ('PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",'
       '6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],'
       'PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],'
       'PARAMETER["central_meridian",15],PARAMETER["scale_factor",0.9996],'
       'PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1],'
       'AUTHORITY["EPSG","32633"]]')


def odd_grid(dtype=numpy.float64):
    # Corner and cell size whose centres do not come out round, and a no-data cell.
    cells = numpy.arange(35, dtype=dtype).reshape(5, 7) * dtype(0.37)
    cells[1, 2] = -9999.0
    return tessgrid.Grid(cells, xll=431234.1, yll=5012345.7, cellsize=30.3, crs=UTM)


def nodata_facts(da):
    return [None if value is None else str(float(value))
            for value in (da.rio.nodata, da.rio.encoded_nodata)]


def test_to_xarray_equals_rioxarray_reading_the_geotiff_tessgrid_wrote(tmp_path):
    rioxarray = pytest.importorskip("rioxarray")
    if not tessgrid.has_rasters:
        pytest.skip("this tessgrid was built without GDAL")
    for dtype in (numpy.float64, numpy.float32):
        grid = odd_grid(dtype)
        path = tmp_path / ("odd_%s.tif" % numpy.dtype(dtype).name)
        tessgrid.write(path, grid)
        for masked in (True, False):
            ours = grid.to_xarray(masked=masked)
            theirs = rioxarray.open_rasterio(path, masked=masked).squeeze("band", drop=True)
            assert ours.dims == theirs.dims == ("y", "x")
            assert numpy.array_equal(ours.x.values, theirs.x.values)
            assert numpy.array_equal(ours.y.values, theirs.y.values)
            assert ours.rio.transform() == theirs.rio.transform() == grid.transform
            assert ours.rio.crs == theirs.rio.crs and ours.rio.crs.to_epsg() == 32633
            assert ours.dtype == theirs.dtype == dtype
            assert numpy.array_equal(ours.values, theirs.values, equal_nan=True)
            assert numpy.isnan(ours.values[1, 2]) == masked
            assert nodata_facts(ours) == nodata_facts(theirs)
            # And back: the grid as it was, whichever way its no-data cells came.
            for da in (ours, theirs):
                back = tessgrid.from_xarray(da)
                assert (back.transform, back.dtype, back.shape) == (grid.transform, dtype, (5, 7))
                assert tessgrid.calc("isnodata(A)", A=back).to_xarray().values[1, 2] == 1.0


def test_from_xarray_places_cells_by_coordinates_and_refuses_what_it_cannot_place():
    cells = numpy.arange(12.0).reshape(3, 4)
    plain = xarray.DataArray(cells, dims=("y", "x"),
                             coords={"y": [25.0, 15.0, 5.0], "x": [5.0, 15.0, 25.0, 35.0]})
    grid = tessgrid.from_xarray(plain)
    assert (grid.xll, grid.yll, grid.cellsize, grid.crs) == (0.0, 0.0, 10.0, None)
    assert numpy.isnan(grid.nodata) and numpy.shares_memory(numpy.asarray(grid), cells)
    assert tessgrid.from_xarray(plain, nodata=-1).nodata == -1
    # Rows from the south are turned over; one band of (band, y, x) is taken.
    south_up = plain.isel(y=slice(None, None, -1))
    assert numpy.array_equal(numpy.asarray(tessgrid.from_xarray(south_up)), cells)
    assert tessgrid.from_xarray(south_up).transform == grid.transform
    assert tessgrid.from_xarray(plain.expand_dims("band")).shape == (3, 4)
    cases = [
        (plain.transpose(), "a DataArray must have the dimensions (y, x), or (band, y, x) with one "
                            "band, not ('x', 'y')"),
        (plain.expand_dims(band=2), "a DataArray must have the dimensions (y, x), or (band, y, x) "
                                    "with one band, not ('band', 'y', 'x')"),
        (plain.assign_coords(x=[5.0, 15.0, 26.0, 35.0]),
         "the x coordinates are not evenly spaced, so they give no cell size"),
        (plain.assign_coords(x=[35.0, 25.0, 15.0, 5.0]),
         "the x coordinates fall; tessgrid takes columns from the west"),
        (plain.assign_coords(x=[0.0, 5.0, 10.0, 15.0]),
         "cells are not square (5.0 by 10.0); tessgrid takes square cells only"),
        (xarray.DataArray(cells, dims=("y", "x")),
         "a DataArray needs x and y coordinates or a transform to place its cells"),
        (plain[:1, :1], "a DataArray of one row and one column needs a transform: its "
                        "coordinates give no cell size"),
    ]
    for da, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            tessgrid.from_xarray(da)
        assert str(failure.value) == message


def test_operations_take_dataarrays_and_give_dataarrays_on_their_grid():
    pytest.importorskip("rioxarray")
    grid = odd_grid(numpy.float32)
    masked, raw = grid.to_xarray(), grid.to_xarray(masked=False)
    ones = tessgrid.Grid(numpy.ones((5, 7), numpy.float32), grid.xll, grid.yll, grid.cellsize)
    results = {
        "add": tessgrid.add(masked, masked), "calc": tessgrid.calc("A + B", A=raw, B=ones),
        "average": tessgrid.average([raw, masked]), "threshold": tessgrid.threshold(masked, 3.0),
        "mask": tessgrid.mask(raw, ones, 1.0, 7.0), "reclass": tessgrid.reclass(raw, {0.0: 5.0}),
    }
    for name, result in results.items():
        assert isinstance(result, xarray.DataArray), name
        assert result.dtype == numpy.float32, name
        assert result.rio.transform() == masked.rio.transform(), name
        assert result.rio.crs == masked.rio.crs, name
        assert numpy.array_equal(result.x, masked.x) and numpy.array_equal(result.y, masked.y)
    # A masked DataArray gives NaN no-data and keeps the value its file held; a raw one its own.
    assert numpy.isnan(results["add"].values[1, 2]) and results["add"].rio.encoded_nodata == -9999
    assert results["calc"].values[1, 2] == -9999 and results["calc"].rio.nodata == -9999
    expected = numpy.asarray(tessgrid.add(grid, grid))
    assert numpy.array_equal(results["add"].fillna(-9999).values, expected)
    # A new grid gives new coordinates: resample and extract place theirs as rioxarray would.
    coarse = tessgrid.resample(raw, grid.cellsize * 2, dtype="float64")
    expected = tessgrid.resample(grid, grid.cellsize * 2)
    assert coarse.dtype == numpy.float64 and coarse.shape == expected.shape == (3, 4)
    assert coarse.rio.transform() == expected.transform
    assert numpy.array_equal(coarse.x.values, tgx.centres(expected.xll, expected.cellsize, 4))
    corner = tessgrid.extract(raw, grid.xll, grid.yll, grid.xll + 1, grid.yll + 1)
    assert corner.shape == (1, 1)
    assert corner.rio.transform() == tessgrid.extract(grid, grid.xll, grid.yll, grid.xll + 1,
                                                      grid.yll + 1).transform


def test_without_rioxarray_the_georeference_lies_in_attributes(monkeypatch):
    monkeypatch.setattr(tgx, "_rioxarray", lambda: False)
    grid = odd_grid()
    masked, raw = grid.to_xarray(), grid.to_xarray(masked=False)
    assert masked.attrs == {"transform": tuple(grid.transform)[:6], "crs": UTM}
    assert masked.encoding == {"_FillValue": -9999.0}
    assert raw.attrs["_FillValue"] == -9999.0 and "spatial_ref" not in raw.coords
    for da in (masked, raw):
        back = tessgrid.from_xarray(da)
        assert (back.transform, back.crs, back.shape) == (grid.transform, UTM, grid.shape)
    assert numpy.isnan(tessgrid.from_xarray(masked).nodata)
    assert tessgrid.from_xarray(raw).nodata == -9999.0
    result = tessgrid.subtract(raw, raw)
    assert result.attrs["transform"] == raw.attrs["transform"] and result.attrs["crs"] == UTM
