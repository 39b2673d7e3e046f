#!/usr/bin/env python3
"""examples/dask_cluster.py SCHEDULER OUT.asc GRID.asc... - the cell-wise average of a series
of aligned grids, computed by tessgrid on the workers of your own Dask cluster.

    python3 examples/dask_cluster.py tcp://scheduler.example.org:8786 mean.asc 20*.asc

Every worker needs tessgrid importable (the same build, installed with `cmake --install`).
The grids are read here and sent to the workers in 4 chunks each; pass a scheduler address of
"local" to try it on a LocalCluster of two processes on this machine.
"""
import sys

import dask.array
import distributed
import numpy

import tessgrid
import tessgrid.dask


def main(scheduler, output, paths):
    grids = [tessgrid.read(path) for path in paths]
    first = grids[0]
    rows, columns = first.shape
    chunks = ((rows + 1) // 2, (columns + 1) // 2)  # 4 chunks a grid
    stack = [dask.array.from_array(numpy.asarray(grid), chunks=chunks) for grid in grids]
    if scheduler == "local":
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1)
        client = distributed.Client(cluster)
    else:
        client = distributed.Client(scheduler)
    with client:
        mean = client.compute(tessgrid.dask.average(stack, nodata=first.nodata)).result()
    tessgrid.write(output, tessgrid.Grid(mean, xll=first.xll, yll=first.yll,
                                         cellsize=first.cellsize, nodata=first.nodata,
                                         crs=first.crs))


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
