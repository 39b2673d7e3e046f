"""tessgrid over chunked dask arrays: each chunk is computed by tessgrid, on any scheduler.

    import dask.array as da
    import tessgrid.dask as tgd
    stack = [da.from_array(numpy.asarray(tessgrid.read(p)), chunks=(500, 500)) for p in paths]
    mean = tgd.average(stack).compute()
    ratio = tgd.calc("A / B", A=stack[0], B=stack[1]).compute()

The operations here work cell by cell, so a chunk needs no neighbours and the result is the
one tessgrid computes on the whole arrays, cell for cell. Arrays of different chunking are
rechunked to a common one. Cells equal to `nodata` (default -9999) are no-data, and no-data
cells of the result are `nodata`. Importing this module needs dask.
"""

import functools

import dask.array
import numpy

import tessgrid


def _calc_block(*blocks, expr, names, nodata, threads):
    grids = dict(zip(names, blocks))
    return numpy.asarray(tessgrid.calc(expr, nodata=nodata, threads=threads, **grids))


def _average_block(*blocks, nodata, threads):
    return numpy.asarray(tessgrid.average(list(blocks), nodata=nodata, threads=threads))


def calc(expr, nodata=-9999.0, threads=None, **dask_arrays):
    """Returns a lazy dask array of tessgrid.calc(expr, A=..., ...) over 2-D dask arrays.

    The arrays (A= to Z=) must have one shape; each set of aligned chunks is one tessgrid.calc
    call on `threads` threads (default: every core of the worker). A failure of a chunk
    (tessgrid.Error) is raised by compute(), with the cell's row and column counted within
    the chunk.
    """
    names = sorted(dask_arrays)
    arrays = [dask.array.asarray(dask_arrays[name], dtype=numpy.float64) for name in names]
    block = functools.partial(_calc_block, expr=expr, names=names, nodata=nodata,
                              threads=threads)
    return dask.array.map_blocks(block, *arrays, dtype=numpy.float64)


def average(dask_arrays, nodata=-9999.0, threads=None):
    """Returns a lazy dask array of tessgrid.average over a list of 2-D dask arrays of one shape.

    Each set of aligned chunks is one tessgrid.average call: the cell-wise average, no-data
    where any array has no data.
    """
    arrays = [dask.array.asarray(array, dtype=numpy.float64) for array in dask_arrays]
    if len(arrays) < 2:
        raise tessgrid.Error("average needs two or more arrays, got %d" % len(arrays))
    block = functools.partial(_average_block, nodata=nodata, threads=threads)
    return dask.array.map_blocks(block, *arrays, dtype=numpy.float64)
