"""tessgrid and xarray: Grids as DataArrays of dimensions (y, x), and DataArrays as Grids.

    da = tessgrid.read("dem.tif").to_xarray()        # NaN where no-data
    grid = tessgrid.from_xarray(rioxarray.open_rasterio("dem.tif"))

The georeference follows rioxarray's conventions, so that rioxarray.open_rasterio of a file
tessgrid wrote and Grid.to_xarray of the grid agree in coordinates, transform, CRS and values:
x and y are the cells' centres (y falling from the north), the transform and the CRS live on the
"spatial_ref" coordinate (da.rio.transform(), da.rio.crs) and the no-data value is
attrs["_FillValue"] or, for cells masked as NaN, encoding["_FillValue"]. Without rioxarray the
transform (a, b, c, d, e, f) and the CRS text are the attributes "transform" and "crs". xarray is
imported only when a DataArray is made or taken.
"""

import sys

import numpy

from tessgrid import _tessgrid

_FILL_KEYS = ("_FillValue", "missing_value", "fill_value", "nodata")


def is_dataarray(value):
    """Returns whether the value is an xarray.DataArray (without importing xarray)."""
    xarray = sys.modules.get("xarray")
    return xarray is not None and isinstance(value, xarray.DataArray)


def _xarray():
    try:
        import xarray
    except ImportError:
        raise ImportError("DataArrays need xarray, which is not installed (python3-xarray)") \
            from None
    return xarray


def _rioxarray():
    try:
        import rioxarray  # noqa: F401  (registers the .rio accessor)
    except ImportError:
        return False
    return True


def centres(first_edge, step, count):
    """The centres of `count` cells from the edge `first_edge` on, `step` apart, computed as
    rioxarray computes them from a transform, so that both give the very same numbers."""
    return numpy.arange(count) * step + (first_edge + step * 0.5)


class Georeference:
    """Where a grid lies: its corner, cell size, no-data value and CRS text, and whether its rows
    run from the south (a DataArray whose y rises) and must be turned over to lie north-up."""

    def __init__(self, xll, yll, cellsize, nodata, crs, south_up=False, encoded_nodata=None):
        self.xll, self.yll, self.cellsize = xll, yll, cellsize
        self.nodata, self.crs, self.south_up = nodata, crs, south_up
        self.encoded_nodata = encoded_nodata

    @classmethod
    def of_grid(cls, grid):
        return cls(grid.xll, grid.yll, grid.cellsize, grid.nodata, grid.crs)

    def transform(self, rows):
        top = self.yll + rows * self.cellsize  # the raster writer's northern edge
        return (self.cellsize, 0.0, self.xll, 0.0, -self.cellsize, top)

    def same_grid(self, other):
        return (self.xll, self.yll, self.cellsize) == (other.xll, other.yll, other.cellsize)


def _spatial_dims(da):
    if da.ndim == 3 and da.shape[0] == 1:
        da = da.isel({da.dims[0]: 0}, drop=True)
    if da.ndim != 2 or tuple(da.dims) != ("y", "x"):
        raise _tessgrid.Error("a DataArray must have the dimensions (y, x), or (band, y, x) with "
                              "one band, not %s" % (tuple(da.dims),))
    return da


def _step(values, name):
    # The one step between consecutive coordinates, or None for fewer than two.
    values = numpy.asarray(values, dtype=numpy.float64)
    if values.ndim != 1:
        raise _tessgrid.Error("the %s coordinate must be one-dimensional" % name)
    if values.size < 2:
        return None
    steps = numpy.diff(values)
    step = (values[-1] - values[0]) / (values.size - 1)
    if not numpy.all(numpy.isfinite(steps)) or step == 0 or \
            numpy.max(numpy.abs(steps - step)) > 1e-9 * abs(step):
        raise _tessgrid.Error("the %s coordinates are not evenly spaced, so they give no cell size"
                              % name)
    return float(step)


def _stored_transform(da):
    # The transform as rioxarray or to_xarray stored it: exact, where the coordinates are rounded.
    spatial_ref = da.coords.get("spatial_ref")
    text = spatial_ref.attrs.get("GeoTransform") if spatial_ref is not None else None
    if text is not None:
        c, a, b, f, d, e = (float(word) for word in text.split())
        return (a, b, c, d, e, f)
    stored = da.attrs.get("transform")
    return tuple(float(number) for number in stored[:6]) if stored is not None else None


def _transform_of(da):
    stored = _stored_transform(da)
    x_step = _step(da.coords["x"].values, "x") if "x" in da.coords else None
    y_step = _step(da.coords["y"].values, "y") if "y" in da.coords else None
    if stored is not None:
        a, b, c, d, e, f = stored
        if b != 0 or d != 0:
            raise _tessgrid.Error("the DataArray's transform is rotated; tessgrid takes north-up "
                                  "grids only")
        if y_step is not None and y_step > 0:
            # Rows stored from the south: the transform names the southern edge as its origin.
            f, e = f + e * da.shape[0], -e
        return a, -e, c, f, y_step is not None and y_step > 0
    if "x" not in da.coords or "y" not in da.coords:
        raise _tessgrid.Error("a DataArray needs x and y coordinates or a transform to place its "
                              "cells")
    if x_step is None or y_step is None:
        if x_step is None and y_step is None:
            raise _tessgrid.Error("a DataArray of one row and one column needs a transform: its "
                                  "coordinates give no cell size")
        x_step = abs(y_step) if x_step is None else x_step
        y_step = -x_step if y_step is None else y_step
    if x_step < 0:
        raise _tessgrid.Error("the x coordinates fall; tessgrid takes columns from the west")
    x, y = da.coords["x"].values, da.coords["y"].values
    return (x_step, abs(y_step), float(x[0]) - x_step / 2,
            float(max(y[0], y[-1])) + abs(y_step) / 2, y_step > 0)


def _nodata_of(da):
    # rioxarray's rule: masked cells (an encoded _FillValue) are NaN, else the first attribute
    # that names the no-data value.
    encoded = da.encoding.get("_FillValue")
    if encoded is not None:
        return float("nan"), float(encoded)
    for key in _FILL_KEYS:
        if da.attrs.get(key) is not None:
            return float(da.attrs[key]), None
    return None, None


def _crs_of(da):
    if _rioxarray():
        crs = da.rio.crs
        if crs is not None:
            return crs.to_wkt()
    spatial_ref = da.coords.get("spatial_ref")
    if spatial_ref is not None:
        for key in ("crs_wkt", "spatial_ref"):
            if spatial_ref.attrs.get(key):
                return str(spatial_ref.attrs[key])
    crs = da.attrs.get("crs")
    return None if crs is None else str(crs)


def georeference(da, nodata=None):
    """Returns where the DataArray's cells lie (a Georeference): from the transform rioxarray or
    to_xarray stored, else from its x and y coordinates (evenly spaced, square cells). Its
    no-data value is the one it declares (NaN when its cells are masked), else `nodata`, else
    NaN."""
    da = _spatial_dims(da)
    cellsize, y_cellsize, west, north, south_up = _transform_of(da)
    if abs(cellsize - y_cellsize) > 1e-9 * cellsize:
        raise _tessgrid.Error("cells are not square (%r by %r); tessgrid takes square cells only"
                              % (cellsize, y_cellsize))
    declared, encoded = _nodata_of(da)
    if declared is None:
        declared = float("nan") if nodata is None else float(nodata)
    rows = da.shape[0]
    return Georeference(west, north - rows * cellsize, cellsize, declared, _crs_of(da),
                        south_up=south_up, encoded_nodata=encoded)


def cells_of(da, place):
    """Returns the DataArray's data (a numpy or dask array) with rows from the north."""
    data = _spatial_dims(da).data
    return data[::-1] if place.south_up else data


def from_xarray(da, nodata=None):
    """Returns the DataArray (dimensions (y, x), or (band, y, x) with one band) as a Grid.

    The corner and cell size come from the transform rioxarray stored (da.rio.transform()),
    else from the cells' centres in the x and y coordinates (evenly spaced, square cells); rows
    whose y rises are turned over, so that row 0 is the northern row. The no-data value is the
    one the DataArray declares as rioxarray reads it (NaN for masked cells, else attrs
    "_FillValue", "missing_value", "fill_value" or "nodata"), else `nodata`, else NaN. The CRS
    becomes grid.crs (as WKT). Float32 cells stay float32; the cells are shared where they are
    C-contiguous float64 or float32.
    """
    place = georeference(da, nodata)
    cells = numpy.asarray(cells_of(da, place))
    return _tessgrid.Grid(cells, place.xll, place.yll, place.cellsize, place.nodata, place.crs)


def dataarray(data, place, masked=False, name=None):
    """Returns a DataArray of dimensions (y, x) of the cells `data` (numpy or dask, rows from the
    north) placed by the Georeference `place`, under rioxarray's conventions. With `masked`, the
    no-data cells of `data` are NaN already and place.nodata is what they stand for."""
    xarray = _xarray()
    rows, columns = data.shape
    transform = place.transform(rows)
    coords = {"y": centres(transform[5], transform[4], rows),
              "x": centres(transform[2], transform[0], columns)}
    da = xarray.DataArray(data, dims=("y", "x"), coords=coords, name=name)
    nodata = place.nodata
    if numpy.isnan(nodata):
        encoded = place.encoded_nodata
    else:
        encoded = nodata if masked else None
    if _rioxarray():
        if place.crs is not None:
            try:
                da.rio.write_crs(place.crs, inplace=True)
            except Exception:  # a text GDAL does not read stays the grid's, as an attribute
                da.attrs["crs"] = place.crs
        da.rio.write_transform(_affine(transform), inplace=True)
        if encoded is not None:
            da.rio.write_nodata(encoded, encoded=True, inplace=True)
        else:
            da.rio.write_nodata(nodata, inplace=True)
        return da
    da.attrs["transform"] = transform
    if place.crs is not None:
        da.attrs["crs"] = place.crs
    if encoded is not None:
        da.encoding["_FillValue"] = encoded
    else:
        da.attrs["_FillValue"] = nodata
    return da


def _affine(transform):
    import affine
    return affine.Affine(*transform)


def to_xarray(grid, masked=True, name=None):
    """Grid.to_xarray: the grid's cells as a DataArray of dimensions (y, x)."""
    cells = numpy.asarray(grid)
    if masked:
        nodata = grid.nodata
        if not numpy.isnan(nodata):
            cells = numpy.where(cells == nodata, cells.dtype.type(numpy.nan), cells)
    return dataarray(cells, Georeference.of_grid(grid), masked=masked, name=name)
