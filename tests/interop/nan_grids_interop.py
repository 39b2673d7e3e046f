#!/usr/bin/env python3
"""GDAL reads the ASCII grids that declare nan, as tessgrid-tool and the Python module write them.

GDAL types an ASCII grid by its cells: one whose every cell is a whole number is Int32, where nan
is no value, so that every nan cell would read as 0 and count as data. Grids that declare nan are
written with whole numbers as reals ("7.0"), on every path: loaded whole, streamed, a window's
average, and the Python module's write. GDAL, left at its defaults, must read each with the
no-data cells exactly where the result has them, nan as the no-data value, and the data cells'
values.

Usage: nan_grids_interop.py TOOL WORKDIR [PYTHONPATH]. Exits 77 (skipped) where GDAL's Python
binding or the tool is absent; the Python module's part is left out where it is not built.
"""
import os
import shutil
import subprocess
import sys

try:
    from osgeo import gdal
except ImportError:
    print("GDAL's Python binding is not installed: skipped")
    sys.exit(77)

import numpy as np

TOOL, WORK = sys.argv[1], sys.argv[2]
if not os.access(TOOL, os.X_OK):
    print("tessgrid-tool is not built: skipped")
    sys.exit(77)
tessgrid = None
if len(sys.argv) > 3 and sys.argv[3]:
    sys.path.insert(0, sys.argv[3])
    try:
        import tessgrid
    except ImportError:
        tessgrid = None

gdal.UseExceptions()
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
failures = []


def path(name):
    return os.path.join(WORK, name)


def write_grid(name, values, nodata_text):
    """An ASCII grid of the values (nan where no-data) declaring the NODATA_value text."""
    with open(path(name), "w") as grid:
        grid.write("ncols %d\nnrows %d\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n"
                   "NODATA_value %s\n" % (values.shape[1], values.shape[0], nodata_text))
        for row in values:
            grid.write(" ".join(nodata_text if np.isnan(v) else "%.17g" % v for v in row) + "\n")
    return path(name)


def check(case, file, expected):
    """GDAL, at its defaults, reads the file with nan as no-data where expected is nan."""
    dataset = gdal.Open(file)
    band = dataset.GetRasterBand(1)
    nodata = band.GetNoDataValue()
    cells = band.ReadAsArray().astype(np.float64)
    kind = gdal.GetDataTypeName(band.DataType)
    if nodata is None or not np.isnan(nodata):
        failures.append("%s: GDAL reads the NODATA_value as %r" % (case, nodata))
    missing = np.isnan(expected)
    read_missing = np.isnan(cells)
    if not np.array_equal(missing, read_missing):
        failures.append("%s: GDAL reads %s cells as no-data where the result has %d (%s)"
                        % (case, read_missing.sum(), missing.sum(), kind))
    elif not np.array_equal(cells[~missing], expected[~missing]):
        failures.append("%s: GDAL reads other values (%s)" % (case, kind))


# Whole numbers with no-data among them, the whole first row no-data; and one of reals.
whole = np.array([[np.nan] * 4,
                  [1.0, -2.0, np.nan, 0.0],
                  [7.0, 123456.0, -0.0, np.nan]])
real = np.where(np.isnan(whole), np.nan, whole + 0.5)
a = write_grid("a.asc", np.where(np.isnan(whole), -9999.0, whole), "-9999")
b = write_grid("b.asc", np.where(np.isnan(whole), -9999.0, 3.0 * whole), "-9999")
r = write_grid("r.asc", np.where(np.isnan(real), -9999.0, real), "-9999")


def tool(case, args, out, expected):
    done = subprocess.run([TOOL] + args + ["--nodata", "nan"], capture_output=True, text=True)
    if done.returncode != 0:
        failures.append("%s: %s" % (case, done.stderr.strip()))
        return
    check(case, out, expected)


tool("scale (loaded whole)", ["scale", a, path("scaled.asc"), "--factor", "1"],
     path("scaled.asc"), whole)
tool("scale of reals", ["scale", r, path("scaled_real.asc"), "--factor", "1"],
     path("scaled_real.asc"), real)
tool("add (streamed)", ["add", a, b, path("sum.asc")], path("sum.asc"), 4.0 * whole)
tool("average (streamed series)", ["average", path("mean.asc"), a, b], path("mean.asc"),
     2.0 * whole)
with open(path("outputs.txt"), "w") as outputs:
    outputs.write(path("window.asc") + "\n")
tool("moving-average", ["moving-average", "--window", "2", "--outputs", path("outputs.txt"), a, b],
     path("window.asc"), 2.0 * whole)

if tessgrid is not None:
    tessgrid.write(path("module.asc"), tessgrid.Grid(whole.copy(), xll=1000.0, yll=2000.0,
                                                     cellsize=10.0, nodata=float("nan")))
    check("the Python module's write", path("module.asc"), whole)

for failure in failures:
    print("FAILED " + failure)
print("GDAL reads the grids that declare nan: %s"
      % ("ok" if not failures else "%d failures" % len(failures)))
sys.exit(1 if failures else 0)
