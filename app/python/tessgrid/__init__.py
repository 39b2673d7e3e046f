"""tessgrid on numpy arrays and xarray DataArrays: grid files and the operations of tessgrid-tool.

    import tessgrid
    dem = tessgrid.read("dem.asc")            # numpy.asarray(dem) shares its cells
    high = tessgrid.threshold(dem, 500.0)
    tessgrid.write("high.tif", high)          # a tiled GeoTIFF, by its name
    mean = tessgrid.calc("(A + B) / 2", A=dem, B=other)
    da = mean.to_xarray()                     # an xarray.DataArray, no-data as NaN

Every operation takes Grids, 2-D arrays (with nodata=) or DataArrays (with their
georeference) and returns a Grid, or a DataArray for DataArrays; float32 cells in
give float32 cells out. Operations keep tessgrid-tool's no-data rules, release the
interpreter lock while they compute and raise tessgrid.Error (a ValueError) with
the library's message; files that cannot be opened raise FileNotFoundError,
PermissionError or IsADirectoryError, tessgrid.Errors too. tessgrid.dask maps
calc, average, minimum, maximum and resample over chunked dask arrays and
DataArrays and writes them as GeoTIFF (to_raster).
"""

from tessgrid._api import (
    add,
    average,
    count,
    divide,
    extract,
    from_xarray,
    mask,
    maximum,
    minimum,
    multiply,
    read,
    reclass,
    resample,
    subtract,
    sum,
    threshold,
    write,
)
from tessgrid._errors import FileNotFoundError, IsADirectoryError, PermissionError
from tessgrid._tessgrid import Error, Grid, __version__, has_rasters

try:
    from tessgrid._api import calc
except ImportError:  # built without expressions (muparser)
    pass

__all__ = [
    "Error", "Grid", "__version__", "add", "average", "calc", "count", "divide", "extract",
    "from_xarray", "has_rasters", "mask", "maximum", "minimum", "multiply", "read", "reclass",
    "resample", "subtract", "sum", "threshold", "write",
]
