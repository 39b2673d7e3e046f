"""tessgrid on numpy arrays: grid files and the operations of tessgrid-tool.

    import tessgrid
    dem = tessgrid.read("dem.asc")            # numpy.asarray(dem) shares its cells
    high = tessgrid.threshold(dem, 500.0)
    tessgrid.write("high.asc", high)
    mean = tessgrid.calc("(A + B) / 2", A=dem, B=other)

Every operation takes Grids or 2-D arrays (with nodata=) and returns a Grid, keeps
tessgrid-tool's no-data rules, releases the interpreter lock while it computes and
raises tessgrid.Error (a ValueError) with the library's message. tessgrid.dask maps
calc, average and resample over chunked dask arrays.
"""

from tessgrid._tessgrid import (
    Error,
    Grid,
    add,
    average,
    count,
    divide,
    extract,
    has_rasters,
    mask,
    multiply,
    read,
    reclass,
    resample,
    subtract,
    sum,
    threshold,
    write,
)

try:
    from tessgrid._tessgrid import calc
except ImportError:  # built without expressions (muparser)
    pass

__all__ = [
    "Error", "Grid", "add", "average", "calc", "count", "divide", "extract", "has_rasters", "mask",
    "multiply", "read", "reclass", "resample", "subtract", "sum", "threshold", "write",
]
