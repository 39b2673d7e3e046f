"""tessgrid over chunked dask arrays and DataArrays: each chunk is computed by tessgrid, on any
scheduler, and results go to GeoTIFF chunk by chunk.

    import rioxarray, tessgrid.dask as tgd
    a, b = (rioxarray.open_rasterio(p, chunks=(1, 2048, 2048)) for p in ("a.tif", "b.tif"))
    ratio = tgd.calc("A / B", A=a, B=b)          # a lazy DataArray, georeference kept
    tgd.to_raster(ratio, "ratio.tif")           # a tiled GeoTIFF, written chunk by chunk
    mean = tgd.average([da.from_array(x, chunks=500) for x in arrays]).compute()
    low = tgd.minimum(months, skip_nodata=True)  # over the months with data in each cell

calc, average, minimum and maximum work cell by cell, so a chunk needs no neighbours; resample
takes each chunk with the rim of neighbouring cells its method reads (map_overlap). Either way
the result is the one tessgrid computes on the whole arrays, cell for cell. calc and the series
take arrays of one shape, checked when the graph is built; arrays chunked differently are rechunked to the
first one's chunks. Cells of a plain array equal to `nodata` (default -9999) are no-data; a
DataArray brings its own no-data value, its coordinates and CRS, and gives a DataArray. Float32
inputs give float32 results (or as dtype= says). Importing this module needs dask.
"""

import fractions
import functools
import uuid

import dask.array
import dask.base
import dask.multiprocessing
import dask.utils
import numpy

import tessgrid
from tessgrid import _api, _errors, _tessgrid
from tessgrid import xarray as _xr

_FLOAT32 = numpy.dtype(numpy.float32)


def _calc_block(*blocks, expr, names, nodatas, nodata, threads, dtype):
    grids = {name: tessgrid.Grid(block, nodata=declared)
             for name, block, declared in zip(names, blocks, nodatas)}
    return numpy.asarray(tessgrid.calc(expr, nodata=nodata, threads=threads, dtype=dtype,
                                       **grids))


def _series_block(*blocks, operation, nodatas, nodata, threads, dtype, present):
    grids = [tessgrid.Grid(block, nodata=declared) for block, declared in zip(blocks, nodatas)]
    return numpy.asarray(operation(grids, nodata=nodata, threads=threads, dtype=dtype, **present))


class _Operand:
    """A 2-D input: its dask array (rows from the north), the no-data value its cells declare,
    and where a DataArray places it (None for a plain array, at (0, 0) with cell size 1)."""

    def __init__(self, name, value, nodata):
        self.name = name
        if _xr.is_dataarray(value):
            self.place = _xr.georeference(value, nodata)
            data = _xr.cells_of(value, self.place)
            self.nodata = self.place.nodata
        else:
            self.place, data = None, value
            self.nodata = -9999.0 if nodata is None else float(nodata)
        array = dask.array.asarray(data)
        if array.ndim != 2:
            raise tessgrid.Error("%s must be a 2-D array of numbers, not of shape %s"
                                 % (name, _shape_text(array.shape)))
        if any(numpy.isnan(size) for size in array.shape):
            raise tessgrid.Error("%s has chunks of unknown size; call compute_chunk_sizes() "
                                 "on it first" % name)
        if 0 in array.shape:
            raise tessgrid.Error("%s has no cells (%d x %d); an operation needs one row and one "
                                 "column or more" % ((name,) + array.shape))
        self.array = array

    def header(self):
        place = self.place or _xr.Georeference(0.0, 0.0, 1.0, self.nodata, None)
        return (self.name,) + self.array.shape + (place.xll, place.yll, place.cellsize)


def _aligned(operands):
    # map_blocks pairs blocks by their index and repeats an array of fewer blocks over the
    # others, so arrays of different shapes would give a result, and a wrong one: refuse them by
    # name before the graph exists. One chunking for all lets the blocks pair cell for cell.
    first = operands[0]
    for operand in operands[1:]:
        if operand.array.shape != first.array.shape:
            raise tessgrid.Error("%s has shape %s and %s has shape %s; the arrays must have one "
                                 "shape" % (first.name, _shape_text(first.array.shape),
                                            operand.name, _shape_text(operand.array.shape)))
    if any(operand.place is not None for operand in operands):
        _tessgrid._check_aligned([operand.header() for operand in operands])
    return [operand.array if operand.array.chunks == first.array.chunks
            else operand.array.rechunk(first.array.chunks) for operand in operands]


def _shape_text(shape):
    return "(%s)" % ", ".join(str(size) for size in shape)


def _result_dtype(operands, dtype):
    if dtype is None:
        return _FLOAT32 if all(o.array.dtype == _FLOAT32 for o in operands) else \
            numpy.dtype(numpy.float64)
    return tessgrid.Grid(numpy.zeros((1, 1)), dtype=dtype).dtype  # the module's check of dtype=


def _lazy_result(array, operands, nodata):
    # A DataArray among the inputs gives the result its coordinates and CRS.
    source = next((o for o in operands if o.place is not None), None)
    if source is None:
        return array
    place = _xr.Georeference(source.place.xll, source.place.yll, source.place.cellsize,
                             source.nodata if nodata is None else float(nodata), source.place.crs,
                             encoded_nodata=source.place.encoded_nodata)
    return _xr.dataarray(array, place)


def _one_grid_only(name, extent, grid):
    # Chunks pair by their index, and a target grid of other cells would pair every chunk with
    # parts of several: the arrays must lie on one grid already.
    if extent is not None or grid is not None:
        raise tessgrid.Error("tessgrid.dask.%s takes no extent= or grid=: its arrays are paired "
                             "chunk by chunk and must lie on one grid; put them on one with "
                             "tessgrid.%s(..., extent=, grid=) on grids in memory" % (name, name))


def calc(expr, nodata=None, threads=None, dtype=None, extent=None, grid=None, **dask_arrays):
    """Returns tessgrid.calc(expr, A=..., ...) over 2-D dask arrays or DataArrays, lazily.

    The arrays (A= to Z=) must have one shape, or tessgrid.Error names the first and one that
    differs with their shapes at once; DataArrays must lie on one grid (as tessgrid.calc checks
    it). They are rechunked to the first one's chunks (in letter order). A plain array's cells
    equal to `nodata` (default -9999) are no-data; a DataArray's are those it declares (else
    `nodata`, else NaN). The result declares `nodata`, else the first input's, and is a dask
    array, or a DataArray on the first DataArray's grid with its CRS. Each set of aligned
    chunks is one tessgrid.calc call on `threads` threads (default: every core of the worker).
    A failure of a chunk (tessgrid.Error) is raised by compute(), with the cell's row and column
    counted within the chunk.
    """
    _one_grid_only("calc", extent, grid)
    names = sorted(dask_arrays)
    if not names:
        raise tessgrid.Error("calc needs an input grid: give one or more of A= to Z=")
    operands = [_Operand(name, dask_arrays[name], nodata) for name in names]
    arrays = _aligned(operands)
    out = _result_dtype(operands, dtype)
    block = functools.partial(_calc_block, expr=expr, names=names,
                              nodatas=[o.nodata for o in operands], nodata=nodata,
                              threads=threads, dtype=out.name)
    return _lazy_result(dask.array.map_blocks(block, *arrays, dtype=out), operands, nodata)


def _series(operation, name, dask_arrays, nodata, threads, dtype, skip_nodata, min_count):
    dask_arrays = list(dask_arrays)
    if len(dask_arrays) < 2:
        raise tessgrid.Error("%s needs two or more arrays, got %d" % (name, len(dask_arrays)))
    operands = [_Operand("dask_arrays[%d]" % index, array, nodata)
                for index, array in enumerate(dask_arrays)]
    arrays = _aligned(operands)
    out = _result_dtype(operands, dtype)
    block = functools.partial(_series_block, operation=operation,
                              nodatas=[o.nodata for o in operands], nodata=nodata,
                              threads=threads, dtype=out.name,
                              present=dict(skip_nodata=skip_nodata, min_count=min_count))
    return _lazy_result(dask.array.map_blocks(block, *arrays, dtype=out), operands, nodata)


def average(dask_arrays, nodata=None, threads=None, dtype=None, skip_nodata=False,
            min_count=None, extent=None, grid=None):
    """Returns tessgrid.average over a list of 2-D dask arrays or DataArrays of one shape, lazily.

    Arrays of another shape than the first are refused at once (tessgrid.Error names them,
    dask_arrays[i], with their shapes); others are rechunked to the first one's chunks. No-data
    and the result's type are as calc takes them. Each set of aligned chunks is one
    tessgrid.average call: the cell-wise average, no-data where any array has no data, or with
    skip_nodata=True (min_count=N) over the arrays with data in the cell (no-data where fewer
    than N have data).
    """
    _one_grid_only("average", extent, grid)
    return _series(tessgrid.average, "average", dask_arrays, nodata, threads, dtype,
                   skip_nodata, min_count)


def minimum(dask_arrays, nodata=None, threads=None, dtype=None, skip_nodata=False,
            min_count=None, extent=None, grid=None):
    """Returns tessgrid.minimum over a list of 2-D dask arrays or DataArrays of one shape, lazily,
    as average takes them."""
    _one_grid_only("minimum", extent, grid)
    return _series(tessgrid.minimum, "minimum", dask_arrays, nodata, threads, dtype,
                   skip_nodata, min_count)


def maximum(dask_arrays, nodata=None, threads=None, dtype=None, skip_nodata=False,
            min_count=None, extent=None, grid=None):
    """Returns tessgrid.maximum over a list of 2-D dask arrays or DataArrays of one shape, lazily,
    as average takes them."""
    _one_grid_only("maximum", extent, grid)
    return _series(tessgrid.maximum, "maximum", dask_arrays, nodata, threads, dtype,
                   skip_nodata, min_count)


class _RasterWindows:
    """The staged GeoTIFF as dask.array.store's target: each chunk's task compresses its cells
    into a GeoTIFF of its own, all at once, then moves the compressed tiles into the staged
    file, one task at a time (under the lock)."""

    def __init__(self, path, declared, nodata, type_name, options, lock):
        self.file, self.path, self.lock = None, path, lock
        self.declared, self.nodata, self.type_name = declared, nodata, type_name
        self.options = options

    def __setitem__(self, region, cells):
        rows, columns = region
        row, column = rows.start or 0, columns.start or 0
        chunk = _tessgrid._write_raster_chunk(self.file, self.path, row, column, cells,
                                              self.declared, self.nodata, self.type_name,
                                              self.options)
        with self.lock:
            _tessgrid._place_raster_chunk(chunk, self.file, self.path, row, column)


def _tile_size(options, key):
    for option in options:
        name, _, value = option.partition("=")
        if name.upper() == key and value.isdigit() and int(value) > 0:
            return int(value)
    return 256


def _whole_tiles(sizes, tile):
    # Chunks of whole tiles, so that each tile of the file is written once, by one chunk.
    if all(size % tile == 0 for size in sizes[:-1]):
        return sizes
    size = max(tile, int(round(sizes[0] / tile)) * tile)
    total = sum(sizes)
    return (size,) * (total // size) + ((total % size,) if total % size else ())


def _default_lock(array):
    scheduler = dask.base.get_scheduler(collections=[array])
    client = getattr(scheduler, "__self__", None)
    if type(client).__module__.startswith("distributed"):
        import distributed
        return distributed.Lock("tessgrid-to_raster-" + uuid.uuid4().hex, client=client)
    if scheduler is dask.multiprocessing.get:
        raise tessgrid.Error("to_raster needs lock=, a lock every process shares, on the "
                             "processes scheduler")
    return dask.utils.SerializableLock()


def to_raster(array, path, *, nodata=None, xll=None, yll=None, cellsize=None, crs=None,
              type=None, options=None, lock=None):
    """Writes a 2-D dask array or DataArray as a tiled GeoTIFF, chunk by chunk, never whole.

    The file is created empty in a temporary beside `path`; each chunk's task compresses its
    cells into a file of its own beside it (all tasks at once) and then moves the compressed
    tiles into the temporary (one task at a time: under `lock`, by default a distributed.Lock
    on a distributed cluster, else a lock of this process); the temporary replaces `path` once
    every chunk is in; any failure removes it and leaves `path` as it was. The workers must
    reach the folder of `path` (a local cluster, or a shared file system). Chunks are rechunked to whole
    tiles (256, or BLOCKXSIZE and BLOCKYSIZE of `options`), so that each tile is written once.
    A DataArray brings its georeference and no-data value; a plain array lies at `xll`, `yll`
    (default 0) with cells of `cellsize` (default 1) in `crs` (WKT, default none), its cells
    equal to -9999 being no-data. The file declares `nodata`, else the DataArray's encoded
    no-data value (rioxarray's) or its own, and its no-data cells hold it. `type` (default
    Float32 for float32 cells, else Float64) and `options` are as tessgrid.write takes them for
    a GeoTIFF, with its checks of every cell, chunk by chunk, and of the options before the
    file is made; TILED=NO is refused. Each chunk's tiles are checked to be in its file whole
    once compressed, and read back byte for byte once moved.
    """
    path = _api._path(path)
    if not path.lower().endswith((".tif", ".tiff")):
        raise tessgrid.Error("to_raster writes GeoTIFF: %s needs a name ending .tif or .tiff"
                             % path)
    if not tessgrid.has_rasters:
        raise tessgrid.Error("%s is a GeoTIFF, and this tessgrid was built without GDAL" % path)
    options = list(options or [])
    if any(option.replace(" ", "").upper() == "TILED=NO" for option in options):
        raise tessgrid.Error("to_raster writes tiled GeoTIFFs, each tile from one chunk; "
                             "TILED=NO is refused")
    if _xr.is_dataarray(array):
        given = [name for name, value in (("xll", xll), ("yll", yll), ("cellsize", cellsize),
                                          ("crs", crs)) if value is not None]
        if given:
            raise tessgrid.Error("%s= is for plain arrays: a DataArray brings its own "
                                 "georeference" % given[0])
        operand = _Operand("array", array, None)
        place = operand.place
        if nodata is None and numpy.isnan(place.nodata) and place.encoded_nodata is not None:
            nodata = place.encoded_nodata
    else:
        operand = _Operand("array", array, None)
        place = _xr.Georeference(0.0 if xll is None else xll, 0.0 if yll is None else yll,
                                 1.0 if cellsize is None else cellsize, operand.nodata, crs)
    written = operand.nodata if nodata is None else float(nodata)
    data = operand.array
    data = data.rechunk((_whole_tiles(data.chunks[0], _tile_size(options, "BLOCKYSIZE")),
                         _whole_tiles(data.chunks[1], _tile_size(options, "BLOCKXSIZE"))))
    type_name = type or ("Float32" if data.dtype == _FLOAT32 else "Float64")
    lock = _default_lock(data) if lock is None else lock
    target = _RasterWindows(path, operand.nodata, written, type_name, options, lock)

    def fill(temporary):
        target.file = temporary
        dask.array.store(data, target, lock=False, compute=True)

    rows, columns = data.shape
    try:
        _tessgrid._stage_raster(path, rows, columns, place.xll, place.yll, place.cellsize,
                                written, place.crs, type_name, options, fill)
    except tessgrid.Error as failure:
        raise _errors.io_error(failure, path, writing=True) from None


def _resample_block(block, *, resolution, method, cellsize, nodata, source_shape, starts,
                    out_starts, out_chunks, depth, corner, block_id=None):
    # The block holds its chunk and the rim overlap() added on its inner sides; the library
    # computes the chunk's cells of the whole target grid from it, placed by their whole-grid
    # indices, so that they are the very cells the whole array gives.
    row, column = block_id
    origin = (starts[0][row] - (depth[0] if row > 0 else 0),
              starts[1][column] - (depth[1] if column > 0 else 0))
    grid = tessgrid.Grid(block, cellsize=cellsize, nodata=nodata)
    return _tessgrid._resample_window(grid, resolution, method, source_shape, origin,
                                      (out_starts[0][row], out_starts[1][column]),
                                      (out_chunks[0][row], out_chunks[1][column]),
                                      xll=corner[0], yll=corner[1])


def _whole_steps(sizes, step, least):
    # Chunks of whole steps and at least `least` cells (the rim a neighbour reads), the first
    # chunk's size rounded down; a rest shorter than that joins the last chunk, so that every
    # chunk gives new cells and holds a neighbour's rim.
    least = -(-max(least, 1) // step) * step
    size = max(least, sizes[0] - sizes[0] % step)
    total = sum(sizes)
    chunks = [size] * (total // size)
    rest = total % size
    if chunks and rest < least:
        chunks[-1] += rest
    elif rest:
        chunks.append(rest)
    return tuple(chunks)


def _starts(chunks):
    return tuple(sum(chunks[:index]) for index in range(len(chunks)))


def _cell_size_of(array, cellsize):
    """The cell size: cellsize=, else the one the array's x and y coordinates state."""
    coords = getattr(array, "coords", None)
    if coords is None or "x" not in coords or "y" not in coords:
        if cellsize is None:
            raise tessgrid.Error("resample needs cellsize= for an array without x and y "
                                 "coordinates")
        return cellsize
    if tuple(array.dims) != ("y", "x"):
        raise tessgrid.Error("resample takes an array of dimensions (y, x), not %s"
                             % (tuple(array.dims),))
    x_step = _xr._step(coords["x"].values, "x")
    y_step = _xr._step(coords["y"].values, "y")
    if (x_step is not None and x_step < 0) or (y_step is not None and y_step > 0):
        raise tessgrid.Error("resample takes rows from the north and columns from the west: "
                             "y must fall and x rise")
    steps = [abs(step) for step in (x_step, y_step) if step is not None]
    if not steps:
        if cellsize is None:
            raise tessgrid.Error("resample needs cellsize= for an array of one row and one "
                                 "column: its coordinates give no cell size")
        return cellsize
    if len(steps) == 2 and abs(steps[0] - steps[1]) > 1e-9 * steps[0]:
        raise tessgrid.Error("the x and y coordinates are %r and %r apart: resample takes square "
                             "cells" % (steps[0], steps[1]))
    if cellsize is not None and abs(cellsize - steps[0]) > 1e-9 * steps[0]:
        raise tessgrid.Error("cellsize=%r differs from the %r its coordinates state"
                             % (cellsize, steps[0]))
    return steps[0] if cellsize is None else cellsize


def resample(array, resolution, method="near", cellsize=None, nodata=-9999.0, threads=None):
    """Returns a lazy dask array of tessgrid.resample over a 2-D array of cell size cellsize.

    The cell size is cellsize=, or else the spacing of the array's x and y coordinates (an
    xarray DataArray of dimensions (y, x), y falling); an array without them needs cellsize=.
    Chunks must end on edges of the new cells, so resolution / cellsize must be a ratio p / q of
    whole numbers up to 1000; the array is rechunked to multiples of p cells, each chunk at
    least the rim its neighbours read (a rest shorter than that joins the last chunk). Each chunk
    is resampled with the rim of neighbouring cells its method reads (none for "near"; for
    "bilinear" the cells of the kernel, which widens with the ratio when coarsening), and the
    library places its cells by their indices in the whole grid, so the result equals
    tessgrid.resample(tessgrid.Grid(array, cellsize=cellsize), ...) cell for cell, row 0 the
    northern row. A DataArray (also (band, y, x) of one band) brings its no-data value (else
    `nodata`) and gives a DataArray on the new grid, its western and northern edges kept, with
    its CRS. threads is accepted for a uniform signature; each chunk takes one.
    """
    if method not in ("near", "bilinear"):
        raise tessgrid.Error('method must be "near" or "bilinear", not "%s"' % method)
    place = None
    if _xr.is_dataarray(array):
        if array.ndim == 3 and array.shape[0] == 1:
            array = array.isel({array.dims[0]: 0}, drop=True)
        _cell_size_of(array, cellsize)
        place = _xr.georeference(array, nodata)
        nodata = place.nodata
    cellsize = _cell_size_of(array, cellsize)
    if not numpy.isfinite(cellsize) or cellsize <= 0:
        raise tessgrid.Error("cellsize must be a number above 0, not %r" % (cellsize,))
    data = getattr(array, "data", array) if hasattr(array, "coords") else array
    data = dask.array.asarray(data, dtype=numpy.float64)
    if data.ndim != 2:
        raise tessgrid.Error("resample takes a 2-D array, not one of %d dimensions" % data.ndim)
    if 0 in data.shape:
        # Nothing to chunk: the whole-array path answers, failure and all.
        whole = tessgrid.resample(tessgrid.Grid(numpy.zeros(data.shape), cellsize=cellsize,
                                                nodata=nodata), resolution, method)
        return dask.array.from_array(numpy.asarray(whole))
    ratio = fractions.Fraction(resolution / cellsize).limit_denominator(1000)
    if ratio <= 0 or abs(float(ratio) - resolution / cellsize) > 1e-12 * resolution / cellsize:
        raise tessgrid.Error("resolution / cellsize must be a ratio of whole numbers up to 1000 "
                             "for a chunked resample")
    step = ratio.numerator  # source cells that hold a whole number of new cells
    # The corner places the centres in map coordinates, as tessgrid.resample places them.
    corner = (0.0, 0.0) if place is None else (place.xll, place.yll)
    target_shape, depth = _tessgrid._resample_plan(data.shape[0], data.shape[1], cellsize,
                                                   resolution, method, xll=corner[0],
                                                   yll=corner[1])
    data = data.rechunk(tuple(_whole_steps(sizes, step, reach)
                              for sizes, reach in zip(data.chunks, depth)))
    out_chunks = []
    for sizes, total in zip(data.chunks, target_shape):
        counts = [int(size / ratio) for size in sizes[:-1]]
        counts.append(total - sum(counts))
        out_chunks.append(tuple(counts))
    block = functools.partial(_resample_block, resolution=resolution, method=method,
                              cellsize=cellsize, nodata=nodata, source_shape=data.shape,
                              starts=tuple(_starts(sizes) for sizes in data.chunks),
                              out_starts=tuple(_starts(counts) for counts in out_chunks),
                              out_chunks=tuple(out_chunks), depth=depth, corner=corner)
    result = dask.array.map_overlap(block, data, depth={0: depth[0], 1: depth[1]},
                                    boundary="none", trim=False, chunks=tuple(out_chunks),
                                    dtype=numpy.float64)
    if place is None:
        return result
    # The library keeps the western and northern edges and fits whole new cells below them.
    north = place.yll + data.shape[0] * cellsize
    return _xr.dataarray(result, _xr.Georeference(
        place.xll, north - target_shape[0] * resolution, resolution, nodata, place.crs,
        encoded_nodata=place.encoded_nodata))
