"""The functions of `import tessgrid`: each takes its arguments as Python users give them (paths
as os.PathLike, Grids, arrays and xarray DataArrays), calls the extension module once, and gives
back what the arguments ask for: a DataArray for DataArrays, float32 cells for float32 cells."""

import os
from typing import Any, Dict, Mapping, Optional, Sequence, Tuple, Union

import numpy

from tessgrid import _errors, _tessgrid
from tessgrid import xarray as _xr
from tessgrid._tessgrid import Error, Grid

PathLike = Union[str, "os.PathLike[str]"]
GridLike = Any  # a Grid, a 2-D array (numpy, masked) or an xarray.DataArray
DType = Any  # "float32", "float64", numpy.float32, numpy.dtype(...) or None

_FLOAT32 = numpy.dtype(numpy.float32)


def _path(path, name="path"):
    try:
        return os.fsdecode(os.fspath(path))
    except TypeError:
        raise TypeError("%s must be a str or an os.PathLike, not %s"
                        % (name, type(path).__name__)) from None


class _Input:
    """An argument of an operation: what the extension module takes for it, its cells' dtype, and
    the DataArray it came from, if any."""

    def __init__(self, value, name, nodata):
        self.name = name
        self.dataarray = value if _xr.is_dataarray(value) else None
        self.value = _xr.from_xarray(value, nodata) if self.dataarray is not None else value
        dtype = getattr(self.value, "dtype", None)
        self.float32 = dtype is not None and numpy.dtype(dtype) == _FLOAT32

    def extent(self):
        """The grid's edges (left, bottom, right, top), as the module places it."""
        if isinstance(self.value, Grid):
            return self.value.bounds
        rows, columns = numpy.shape(self.value)[:2]
        return (0.0, 0.0, float(columns), float(rows))

    def cellsize(self):
        return self.value.cellsize if isinstance(self.value, Grid) else 1.0


def _result(result, inputs, dtype):
    """The operation's Grid as the inputs ask: float32 when every input holds float32 (or as
    dtype= says), a DataArray when any input is one."""
    if dtype is None:
        if all(i.float32 for i in inputs) and result.dtype != _FLOAT32:
            result = result.astype("float32")
    else:
        try:
            same = numpy.dtype(dtype) == result.dtype
        except TypeError:
            same = False
        if not same:
            result = result.astype(dtype)  # refuses all but float32 and float64
    source = next((i.dataarray for i in inputs if i.dataarray is not None), None)
    if source is None:
        return result
    place = _xr.Georeference.of_grid(result)
    if numpy.isnan(result.nodata):
        place.encoded_nodata = _xr.georeference(source).encoded_nodata
    return _xr.dataarray(numpy.asarray(result), place)


def _names_float32(dtype):
    try:
        return numpy.dtype(dtype) == _FLOAT32
    except TypeError:
        return False


def _edges(extent):
    return "x from %r to %r and y from %r to %r" % (extent[0], extent[2], extent[1], extent[3])


_OUTSIDE = ("Ordinate is out of range", "LngX is out of range", "LngY is out of range",
            "Start index is out of range", "End index is out of range")


def _pair(operation, a, b, nodata, threads, dtype, finer):
    inputs = [_Input(a, "a", nodata), _Input(b, "b", nodata)]
    try:
        result = operation(inputs[0].value, inputs[1].value, nodata=nodata, threads=threads)
    except Error as failure:
        base, partner = inputs
        if finer and partner.cellsize() < base.cellsize():
            base, partner = partner, base
        text = str(failure)
        if text.startswith("Divisor must be of equal of coarser resolution"):
            raise Error("divide takes b at a's cell size or coarser: a has cellsize %r and b %r"
                        % (base.cellsize(), partner.cellsize())) from None
        if text in _OUTSIDE:
            raise Error("%s does not cover %s, on whose grid the result lies: %s spans %s, and %s "
                        "%s" % (partner.name, base.name, partner.name, _edges(partner.extent()),
                                base.name, _edges(base.extent()))) from None
        raise
    return _result(result, inputs, dtype)


def _onto_one_grid(inputs, extent, grid, nodata):
    """The inputs' values read onto the target grid extent= and grid= choose, as tessgrid-tool's
    --extent and --grid choose it; the values as they are when neither is given."""
    if extent is None and grid is None:
        return [i.value for i in inputs]
    if _xr.is_dataarray(grid):
        grid = _xr.from_xarray(grid)
    return _tessgrid._regrid([i.value for i in inputs], [i.name for i in inputs], extent=extent,
                             grid=grid, nodata=nodata)


def _series(operation, name, grids, nodata, threads, dtype, least, extent=None, grid=None,
            **present):
    grids = list(grids)
    if len(grids) < least:
        raise Error("%s needs %s or more grids, got %d"
                    % (name, "two" if least == 2 else "one", len(grids)))
    inputs = [_Input(grid, "grids[%d]" % index, nodata) for index, grid in enumerate(grids)]
    values = _onto_one_grid(inputs, extent, grid, nodata)
    result = operation(values, nodata=nodata, threads=threads, **present)
    return _result(result, inputs, dtype)


def _documented(raw, extra=""):
    # The extension module's text of the operation (less its signature line) is the function's.
    def mark(function):
        text = raw.__doc__ or ""
        function.__doc__ = (text.split("\n\n", 1)[-1] if "\n\n" in text else text).rstrip() + extra
        return function
    return mark


_ARRAYS = """

DataArrays (xarray) are taken with their georeference (see tessgrid.from_xarray)
and give a DataArray (see Grid.to_xarray, masked=False); without dtype=, the
result holds float32 when every input does, else float64 (dtype="float32" or
"float64" chooses)."""


_GRIDS = """

Grids on different lattices of one coordinate system go onto one target grid
with extent= ("union" or "intersect" of their extents, snapped outward or
inward to the lattice) and grid= ("finest", "coarsest" or "first": the
lattice of that grid, anchored at its corner; or a Grid, whose grid is taken
whole unless extent= is given too). Either alone implies the other's default
(extent="union", grid="finest"). A target cell takes the value of the cell of
each grid that holds its centre (a centre on an edge between two cells goes to
the eastern or northern one), and no-data where it lies outside a grid;
then the rule applies as to aligned grids. Neither given: grids must be
aligned."""


@_documented(_tessgrid.read, """

`path` may be any os.PathLike. A file that is missing, unreadable or a folder
raises FileNotFoundError, PermissionError or IsADirectoryError (each also a
tessgrid.Error).""")
def read(path: PathLike, *, band: int = 1, threads: Optional[int] = None,
         dtype: DType = None) -> Grid:
    path = _path(path)
    try:
        return _tessgrid.read(path, band=band, threads=threads, dtype=dtype)
    except Error as failure:
        raise _errors.io_error(failure, path, writing=False) from None


@_documented(_tessgrid.write, """

`grid` may be a DataArray (see tessgrid.from_xarray); a masked one (NaN
no-data) is written with the no-data value its file held (rioxarray's encoded
_FillValue) unless nodata= says otherwise. `path` may be any os.PathLike. A folder that is missing or not writable, or a folder named as the
file, raises FileNotFoundError, PermissionError or IsADirectoryError (each also
a tessgrid.Error).""")
def write(path: PathLike, grid: GridLike, digits: Optional[int] = None, *,
          threads: Optional[int] = None, format: Optional[str] = None,
          type: Optional[str] = None, options: Optional[Sequence[str]] = None,
          nodata: Optional[float] = None) -> None:
    path = _path(path)
    if _xr.is_dataarray(grid):
        # A masked DataArray's file value goes back into the file, as rioxarray writes it.
        place = _xr.georeference(grid)
        if nodata is None and numpy.isnan(place.nodata) and place.encoded_nodata is not None:
            nodata = place.encoded_nodata
        grid = _xr.from_xarray(grid)
    if options is not None:
        options = list(options)
    try:
        _tessgrid.write(path, grid, digits, threads=threads, format=format, type=type,
                        options=options, nodata=nodata)
    except Error as failure:
        raise _errors.io_error(failure, path, writing=True) from None


def from_xarray(da: Any, nodata: Optional[float] = None) -> Grid:
    return _xr.from_xarray(da, nodata)


from_xarray.__doc__ = _xr.from_xarray.__doc__


@_documented(_tessgrid.add, _ARRAYS)
def add(a: GridLike, b: GridLike, *, nodata: Optional[float] = None,
        threads: Optional[int] = None, dtype: DType = None) -> Any:
    return _pair(_tessgrid.add, a, b, nodata, threads, dtype, finer=True)


@_documented(_tessgrid.subtract, _ARRAYS)
def subtract(a: GridLike, b: GridLike, *, nodata: Optional[float] = None,
             threads: Optional[int] = None, dtype: DType = None) -> Any:
    return _pair(_tessgrid.subtract, a, b, nodata, threads, dtype, finer=False)


@_documented(_tessgrid.multiply, _ARRAYS)
def multiply(a: GridLike, b: GridLike, *, nodata: Optional[float] = None,
             threads: Optional[int] = None, dtype: DType = None) -> Any:
    return _pair(_tessgrid.multiply, a, b, nodata, threads, dtype, finer=True)


@_documented(_tessgrid.divide, _ARRAYS)
def divide(a: GridLike, b: GridLike, *, nodata: Optional[float] = None,
           threads: Optional[int] = None, dtype: DType = None) -> Any:
    return _pair(_tessgrid.divide, a, b, nodata, threads, dtype, finer=False)


@_documented(_tessgrid.sum, _ARRAYS + _GRIDS)
def sum(grids: Sequence[GridLike], *, nodata: Optional[float] = None,
        threads: Optional[int] = None, dtype: DType = None, skip_nodata: bool = False,
        min_count: Optional[int] = None,
        extent: Optional[str] = None, grid: Any = None) -> Any:
    return _series(_tessgrid.sum, "sum", grids, nodata, threads, dtype, least=2,
                   skip_nodata=skip_nodata, min_count=min_count, extent=extent,
                   grid=grid)


@_documented(_tessgrid.count, _ARRAYS + _GRIDS)
def count(grids: Sequence[GridLike], *, nodata: Optional[float] = None,
          threads: Optional[int] = None, dtype: DType = None, extent: Optional[str] = None,
          grid: Any = None) -> Any:
    return _series(_tessgrid.count, "count", grids, nodata, threads, dtype, least=1,
                   extent=extent, grid=grid)


@_documented(_tessgrid.average, _ARRAYS + _GRIDS)
def average(grids: Sequence[GridLike], *, nodata: Optional[float] = None,
            threads: Optional[int] = None, dtype: DType = None, skip_nodata: bool = False,
            min_count: Optional[int] = None,
            extent: Optional[str] = None, grid: Any = None) -> Any:
    return _series(_tessgrid.average, "average", grids, nodata, threads, dtype, least=2,
                   skip_nodata=skip_nodata, min_count=min_count, extent=extent,
                   grid=grid)


@_documented(_tessgrid.minimum, _ARRAYS + _GRIDS)
def minimum(grids: Sequence[GridLike], *, nodata: Optional[float] = None,
            threads: Optional[int] = None, dtype: DType = None, skip_nodata: bool = False,
            min_count: Optional[int] = None,
            extent: Optional[str] = None, grid: Any = None) -> Any:
    return _series(_tessgrid.minimum, "minimum", grids, nodata, threads, dtype, least=2,
                   skip_nodata=skip_nodata, min_count=min_count, extent=extent,
                   grid=grid)


@_documented(_tessgrid.maximum, _ARRAYS + _GRIDS)
def maximum(grids: Sequence[GridLike], *, nodata: Optional[float] = None,
            threads: Optional[int] = None, dtype: DType = None, skip_nodata: bool = False,
            min_count: Optional[int] = None,
            extent: Optional[str] = None, grid: Any = None) -> Any:
    return _series(_tessgrid.maximum, "maximum", grids, nodata, threads, dtype, least=2,
                   skip_nodata=skip_nodata, min_count=min_count, extent=extent,
                   grid=grid)


@_documented(_tessgrid.threshold, _ARRAYS)
def threshold(grid: GridLike, min: float, replace: Optional[float] = None, *,
              nodata: Optional[float] = None, threads: Optional[int] = None,
              dtype: DType = None) -> Any:
    source = _Input(grid, "grid", nodata)
    return _result(_tessgrid.threshold(source.value, min, replace, nodata=nodata,
                                       threads=threads), [source], dtype)


@_documented(_tessgrid.reclass, _ARRAYS)
def reclass(grid: GridLike, table: Mapping[float, float], default: float = 0.0, *,
            nodata: Optional[float] = None, threads: Optional[int] = None,
            dtype: DType = None) -> Any:
    source = _Input(grid, "grid", nodata)
    return _result(_tessgrid.reclass(source.value, dict(table), default, nodata=nodata,
                                     threads=threads), [source], dtype)


@_documented(_tessgrid.mask, _ARRAYS)
def mask(grid: GridLike, source: GridLike, match: float, value: float, *,
         nodata: Optional[float] = None, threads: Optional[int] = None,
         dtype: DType = None) -> Any:
    inputs = [_Input(grid, "grid", nodata), _Input(source, "source", nodata)]
    return _result(_tessgrid.mask(inputs[0].value, inputs[1].value, match, value, nodata=nodata,
                                  threads=threads), inputs, dtype)


@_documented(_tessgrid.resample, _ARRAYS)
def resample(grid: GridLike, resolution: Optional[float] = None, method: str = "near", *,
             like: Optional[GridLike] = None, extent: Optional[Sequence[float]] = None,
             align: bool = False, nodata: Optional[float] = None,
             threads: Optional[int] = None, dtype: DType = None) -> Any:
    source = _Input(grid, "grid", nodata)
    if resolution is not None and (not resolution > 0 or not numpy.isfinite(resolution)):
        raise Error("resolution must be a number above 0, not %r" % (resolution,))
    return _result(_tessgrid.resample(source.value, resolution, method, like=like, extent=extent,
                                      align=align, nodata=nodata, threads=threads),
                   [source], dtype)


@_documented(_tessgrid.extract, _ARRAYS)
def extract(grid: GridLike, xmin: float, ymin: float, xmax: float, ymax: float, *,
            nodata: Optional[float] = None, threads: Optional[int] = None,
            dtype: DType = None) -> Any:
    source = _Input(grid, "grid", nodata)
    try:
        result = _tessgrid.extract(source.value, xmin, ymin, xmax, ymax, nodata=nodata,
                                   threads=threads)
    except Error as failure:
        if str(failure) not in _OUTSIDE:
            raise
        left, bottom, right, top = source.extent()
        outside = [(name, x, y) for name, x, y in (("(xmin, ymin)", xmin, ymin),
                                                    ("(xmax, ymax)", xmax, ymax))
                   if not (left <= x < right and bottom <= y < top)]
        corner = "the corner %s = (%r, %r)" % outside[0] if outside else \
            "a corner (on an edge)"
        raise Error("%s lies outside the grid, which spans x from %r up to %r and y from %r up to "
                    "%r (its eastern and northern edges excluded)"
                    % (corner, left, right, bottom, top)) from None
    return _result(result, [source], dtype)


_BANDS = """

A grid may also be a file: A="dem.tif" reads band 1 of it, and a (path, band)
tuple reads that band, so that bands of one raster meet in one expression:
calc("(B - A) / (B + A)", A=("f.tif", 1), B=("f.tif", 2)). Files are read as
tessgrid.read reads them."""


def _file_grid(value, name):
    """A grid argument that names a file, read: a path (band 1) or a (path, band) tuple; any other
    value as it is."""
    if isinstance(value, (str, os.PathLike)):
        return read(value)
    if isinstance(value, tuple) and len(value) == 2 and isinstance(value[0], (str, os.PathLike)):
        band = value[1]
        if isinstance(band, bool) or not isinstance(band, int):
            raise Error("%s=(path, band) takes a whole band number, not %r" % (name, band))
        return read(value[0], band=band)
    return value


if hasattr(_tessgrid, "calc"):
    @_documented(_tessgrid.calc, _ARRAYS + _BANDS + _GRIDS)
    def calc(expr: str, *, nodata: Optional[float] = None, threads: Optional[int] = None,
             dtype: DType = None, extent: Optional[str] = None, grid: Any = None,
             **grids: Union[GridLike, PathLike, Tuple[PathLike, int]]) -> Any:
        inputs = [_Input(_file_grid(value, name), name, nodata) for name, value in grids.items()]
        values: Dict[str, Any] = dict(zip((i.name for i in inputs),
                                          _onto_one_grid(inputs, extent, grid, nodata)))
        # A float32 result is rounded into its array as its rows are computed, with no float64
        # copy; any other dtype= is left to _result, which refuses it in its turn.
        single = all(i.float32 for i in inputs) if dtype is None else _names_float32(dtype)
        return _result(_tessgrid.calc(expr, nodata=nodata, threads=threads,
                                      dtype="float32" if single else None, **values), inputs,
                       dtype)

