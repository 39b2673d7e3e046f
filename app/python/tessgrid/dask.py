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


def _resample_block(block, *, resolution, method, cellsize, nodata, threads, depth, trim,
                    block_counts, block_id=None):
    # The rim overlap() added lies on the inner sides only; its cells of the result go again.
    row, column = block_id
    rim = [depth if row > 0 else 0, depth if row < block_counts[0] - 1 else 0,
           depth if column > 0 else 0, depth if column < block_counts[1] - 1 else 0]
    cut = [trim if side else 0 for side in rim]
    grid = tessgrid.Grid(block, cellsize=cellsize, nodata=nodata)
    cells = numpy.asarray(tessgrid.resample(grid, resolution, method, threads=threads))
    return cells[cut[0]:cells.shape[0] - cut[1], cut[2]:cells.shape[1] - cut[3]]


def _resampled_count(cells, ratio):
    # The library's rule, (width + R / 2) / R truncated and at least 1, in exact fractions.
    return max(1, int((cells + ratio / 2) / ratio))


def _whole_steps(sizes, step):
    # Chunks of whole steps, the first chunk's size rounded down; a rest shorter than a step
    # joins the last chunk, so that every chunk gives new cells and holds a neighbour's rim.
    size = max(step, sizes[0] - sizes[0] % step)
    total = sum(sizes)
    chunks = [size] * (total // size)
    rest = total % size
    if chunks and rest < step:
        chunks[-1] += rest
    elif rest:
        chunks.append(rest)
    return tuple(chunks)


def resample(array, resolution, method="near", cellsize=1.0, nodata=-9999.0, threads=None):
    """Returns a lazy dask array of tessgrid.resample over a 2-D dask array of cell size cellsize.

    Chunks must end on edges of the new cells, so resolution / cellsize must be a ratio p / q of
    whole numbers up to 1000; the array is rechunked to multiples of p cells (a rest shorter
    than p joins the last chunk). Each chunk is
    resampled with a rim of neighbouring cells (none for "near", p for "bilinear", enough to
    read the neighbours of its outermost centres), and the new cells of the rim are cut off, so
    the result equals tessgrid.resample on the whole array, row 0 the northern row.
    """
    if method not in ("near", "bilinear"):
        raise tessgrid.Error('method must be "near" or "bilinear", not "%s"' % method)
    ratio = fractions.Fraction(resolution / cellsize).limit_denominator(1000)
    if ratio <= 0 or abs(float(ratio) - resolution / cellsize) > 1e-12 * resolution / cellsize:
        raise tessgrid.Error("resolution / cellsize must be a ratio of whole numbers up to 1000 "
                             "for a chunked resample")
    step = ratio.numerator  # source cells that hold a whole number of new cells
    depth = step if method == "bilinear" else 0
    array = dask.array.asarray(array, dtype=numpy.float64)
    array = array.rechunk(tuple(_whole_steps(sizes, step) for sizes in array.chunks))
    out_chunks = []
    for sizes in array.chunks:
        counts = [int(size / ratio) for size in sizes[:-1]]
        counts.append(_resampled_count(sum(sizes), ratio) - sum(counts))
        out_chunks.append(tuple(counts))
    block = functools.partial(_resample_block, resolution=resolution, method=method,
                              cellsize=cellsize, nodata=nodata, threads=threads, depth=depth,
                              trim=int(depth / ratio), block_counts=array.numblocks)
    return dask.array.map_overlap(block, array, depth=depth, boundary="none", trim=False,
                                  chunks=tuple(out_chunks), dtype=numpy.float64)
