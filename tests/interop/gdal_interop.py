#!/usr/bin/env python3
"""Grids pass both ways between tessgrid and GDAL unchanged.

Usage: gdal_interop.py GridProbe WorkDir. Exits 77 (skipped) where GDAL's Python binding is absent.
"""
import os
import subprocess
import sys

try:
    from osgeo import gdal
except ImportError:
    print("GDAL's Python binding is not installed: skipped")
    sys.exit(77)

import numpy as np

gdal.UseExceptions()
# Without this GDAL reads any grid with a decimal value as 32-bit floats.
gdal.SetConfigOption("AAIGRID_DATATYPE", "Float64")

PROBE, WORK = sys.argv[1], sys.argv[2]
os.makedirs(WORK, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def probe_dump(path):
    """What tessgrid reads from a grid file: header numbers and cells, north row first."""
    out = subprocess.run([PROBE, "dump", path], check=True, capture_output=True, text=True).stdout
    lines = out.split()
    ncols, nrows = int(lines[0]), int(lines[1])
    west, south, cellsize, nodata = (float(v) for v in lines[2:6])
    cells = np.array([float(v) for v in lines[6:]]).reshape(nrows, ncols)
    return ncols, nrows, west, south, cellsize, nodata, cells


def same_cells(a, b):
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))


# tessgrid writes, GDAL reads.
written = os.path.join(WORK, "from_tessgrid.asc")
subprocess.run([PROBE, "write", written], check=True)
ds = gdal.Open(written)
check(ds.RasterXSize == 4 and ds.RasterYSize == 3, "size of a grid written by tessgrid")
check(ds.GetGeoTransform() == (500000.5, 25.0, 0.0, 5123456.25 + 75.0, 0.0, -25.0),
      "geotransform of a grid written by tessgrid: %s" % (ds.GetGeoTransform(),))
band = ds.GetRasterBand(1)
check(band.GetNoDataValue() == -9999.0, "no-data value of a grid written by tessgrid")
_, _, _, _, _, _, cells = probe_dump(written)
check(same_cells(band.ReadAsArray().astype(np.float64), cells), "cells written by tessgrid")
expected = np.array([[1234567, 2.0 / 3.0, -9999, 0.1],
                     [1e-7, 123.4567, -0.5, 5123456.25],
                     [0, -1234.5678, 42, 99999.875]])
check(np.allclose(band.ReadAsArray(), expected, rtol=1e-12, atol=0),
      "cells written by tessgrid keep twelve significant digits")
ds = None

# GDAL writes, tessgrid reads: 32- and 64-bit floating-point grids.
rng = np.random.default_rng(7)
for type_name, gdal_type, np_type in (("Float32", gdal.GDT_Float32, np.float32),
                                      ("Float64", gdal.GDT_Float64, np.float64)):
    values = (rng.random((5, 7)) * 2000.0 - 300.0).astype(np_type)
    values[1, 2] = -9999
    values[4, 6] = 1.0 / 3.0
    mem = gdal.GetDriverByName("MEM").Create("", 7, 5, 1, gdal_type)
    mem.SetGeoTransform((500000.5, 12.5, 0.0, 5123456.25 + 62.5, 0.0, -12.5))
    mem.GetRasterBand(1).SetNoDataValue(-9999)
    mem.GetRasterBand(1).WriteArray(values)
    path = os.path.join(WORK, "from_gdal_%s.asc" % type_name)
    gdal.Translate(path, mem, format="AAIGrid")
    mem = None
    ncols, nrows, west, south, cellsize, nodata, cells = probe_dump(path)
    back = gdal.Open(path)
    check((ncols, nrows) == (7, 5), "size of a %s grid written by GDAL" % type_name)
    check(west == 500000.5 and south == 5123456.25, "corners of a %s grid" % type_name)
    check(cellsize == 12.5 and nodata == -9999.0, "cell size and no-data of a %s grid" % type_name)
    check(same_cells(back.GetRasterBand(1).ReadAsArray().astype(np.float64), cells),
          "cells of a %s grid written by GDAL" % type_name)
    check(np.array_equal(cells.astype(np_type), values), "%s values survive" % type_name)
    back = None

for failure in failures:
    print("FAILED:", failure)
print("GDAL interoperability: %s" % ("ok" if not failures else "%d failures" % len(failures)))
sys.exit(1 if failures else 0)
