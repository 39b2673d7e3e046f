"""tessgrid over chunked dask arrays: each chunk is computed by tessgrid, on any scheduler.

    import dask.array as da
    import tessgrid.dask as tgd
    stack = [da.from_array(numpy.asarray(tessgrid.read(p)), chunks=(500, 500)) for p in paths]
    mean = tgd.average(stack).compute()
    ratio = tgd.calc("A / B", A=stack[0], B=stack[1]).compute()

calc and average work cell by cell, so a chunk needs no neighbours; resample takes each
chunk with the rim of neighbouring cells its method reads (map_overlap). Either way the result
is the one tessgrid computes on the whole arrays, cell for cell. calc and average take arrays of
one shape, checked when the graph is built; arrays chunked differently are rechunked to the
first one's chunks. Cells equal to `nodata` (default -9999) are no-data, and no-data
cells of the result are `nodata`. Importing this module needs dask.
"""

import fractions
import functools

import dask.array
import numpy

import tessgrid
from tessgrid import _tessgrid


def _calc_block(*blocks, expr, names, nodata, threads):
    grids = dict(zip(names, blocks))
    return numpy.asarray(tessgrid.calc(expr, nodata=nodata, threads=threads, **grids))


def _average_block(*blocks, nodata, threads):
    return numpy.asarray(tessgrid.average(list(blocks), nodata=nodata, threads=threads))


def _aligned(named_arrays):
    # map_blocks pairs blocks by their index and repeats an array of fewer blocks over the
    # others, so arrays of different shapes would give a result, and a wrong one: refuse them by
    # name before the graph exists. One chunking for all lets the blocks pair cell for cell.
    arrays = []
    for name, array in named_arrays:
        array = dask.array.asarray(array, dtype=numpy.float64)
        if array.ndim != 2:
            raise tessgrid.Error("%s must be a 2-D array of numbers, not of shape %s"
                                 % (name, _shape_text(array.shape)))
        if any(numpy.isnan(size) for size in array.shape):
            raise tessgrid.Error("%s has chunks of unknown size; call compute_chunk_sizes() "
                                 "on it first" % name)
        if 0 in array.shape:
            raise tessgrid.Error("%s has no cells (%d x %d); an operation needs one row and one "
                                 "column or more" % ((name,) + array.shape))
        arrays.append(array)
    first_name, first = named_arrays[0][0], arrays[0]
    for (name, _), array in zip(named_arrays[1:], arrays[1:]):
        if array.shape != first.shape:
            raise tessgrid.Error("%s has shape %s and %s has shape %s; the arrays must have one "
                                 "shape" % (first_name, _shape_text(first.shape), name,
                                            _shape_text(array.shape)))
    return [array if array.chunks == first.chunks else array.rechunk(first.chunks)
            for array in arrays]


def _shape_text(shape):
    return "(%s)" % ", ".join(str(size) for size in shape)


def calc(expr, nodata=-9999.0, threads=None, **dask_arrays):
    """Returns a lazy dask array of tessgrid.calc(expr, A=..., ...) over 2-D dask arrays.

    The arrays (A= to Z=) must have one shape, or tessgrid.Error names the first and one that
    differs with their shapes at once; they are rechunked to the first one's chunks (in letter
    order). Each set of aligned chunks is one tessgrid.calc call on `threads` threads (default:
    every core of the worker). A failure of a chunk (tessgrid.Error) is raised by compute(),
    with the cell's row and column counted within the chunk.
    """
    names = sorted(dask_arrays)
    if not names:
        raise tessgrid.Error("calc needs an input grid: give one or more of A= to Z=")
    arrays = _aligned([(name, dask_arrays[name]) for name in names])
    block = functools.partial(_calc_block, expr=expr, names=names, nodata=nodata,
                              threads=threads)
    return dask.array.map_blocks(block, *arrays, dtype=numpy.float64)


def average(dask_arrays, nodata=-9999.0, threads=None):
    """Returns a lazy dask array of tessgrid.average over a list of 2-D dask arrays of one shape.

    Arrays of another shape than the first are refused at once (tessgrid.Error names them,
    dask_arrays[i], with their shapes); others are rechunked to the first one's chunks. Each
    set of aligned chunks is one tessgrid.average call: the cell-wise average, no-data where
    any array has no data.
    """
    dask_arrays = list(dask_arrays)
    if len(dask_arrays) < 2:
        raise tessgrid.Error("average needs two or more arrays, got %d" % len(dask_arrays))
    arrays = _aligned([("dask_arrays[%d]" % index, array)
                       for index, array in enumerate(dask_arrays)])
    block = functools.partial(_average_block, nodata=nodata, threads=threads)
    return dask.array.map_blocks(block, *arrays, dtype=numpy.float64)


def _resample_block(block, *, resolution, method, cellsize, nodata, source_shape, starts,
                    out_starts, out_chunks, depth, block_id=None):
    # The block holds its chunk and the rim overlap() added on its inner sides; the library
    # computes the chunk's cells of the whole target grid from it, placed by their whole-grid
    # indices, so that they are the very cells the whole array gives.
    row, column = block_id
    origin = (starts[0][row] - (depth[0] if row > 0 else 0),
              starts[1][column] - (depth[1] if column > 0 else 0))
    grid = tessgrid.Grid(block, cellsize=cellsize, nodata=nodata)
    return _tessgrid._resample_window(grid, resolution, method, source_shape, origin,
                                      (out_starts[0][row], out_starts[1][column]),
                                      (out_chunks[0][row], out_chunks[1][column]))


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


def _spacing(values, name):
    # The one step between consecutive coordinates, or None for fewer than two.
    values = numpy.asarray(values, dtype=numpy.float64)
    if values.ndim != 1:
        raise tessgrid.Error("the %s coordinate must be one-dimensional" % name)
    if values.size < 2:
        return None
    steps = numpy.diff(values)
    step = (values[-1] - values[0]) / (values.size - 1)
    if not numpy.all(numpy.isfinite(steps)) or step == 0 or \
            numpy.max(numpy.abs(steps - step)) > 1e-9 * abs(step):
        raise tessgrid.Error("the %s coordinates are not evenly spaced, so they give no cell size"
                             % name)
    return float(step)


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
    x_step = _spacing(coords["x"].values, "x")
    y_step = _spacing(coords["y"].values, "y")
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
    northern row. threads is accepted for a uniform signature; each chunk takes one.
    """
    if method not in ("near", "bilinear"):
        raise tessgrid.Error('method must be "near" or "bilinear", not "%s"' % method)
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
    target_shape, depth = _tessgrid._resample_plan(data.shape[0], data.shape[1], cellsize,
                                                   resolution, method)
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
                              out_chunks=tuple(out_chunks), depth=depth)
    return dask.array.map_overlap(block, data, depth={0: depth[0], 1: depth[1]},
                                  boundary="none", trim=False, chunks=tuple(out_chunks),
                                  dtype=numpy.float64)
