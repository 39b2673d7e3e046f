#!/usr/bin/env python3
"""tessgrid-tool keeps the no-data of grids that other programs wrote.

The grids are made the way users get them: rasters exported to ASCII grids by GDAL (Float32 with
-99999, Int16 with -32768, Float32 with -FLT_MAX, Float64 with nan as no-data) and by SAGA GIS,
and grids written by hand (NODATA_value nan; -9999 as a data value). Every cell-wise command runs
on them; GDAL reads each result back, and the result must have
  (a) no-data exactly where its inputs have it (where any of them has it, for a series; nowhere,
      for count) and where the operation has no finite value,
  (b) the NODATA_value of the input whose grid it takes, or the one given with --nodata,
  (c) on its data cells what gdal_calc.py (a few cases) or numpy on the masked inputs computes,
      within 1e-9 relative.
A grid holding -9999 as data, and a result holding its own NODATA_value as data, fail the run,
which writes nothing.

Usage: tool_nodata_interop.py TOOL WORKDIR. Exits 77 (skipped) where GDAL's Python binding is
absent; the SAGA grids are left out where saga_cmd is absent, and numpy stands in for
gdal_calc.py where that is absent.
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

gdal.UseExceptions()
# Without this GDAL reads any grid with a decimal value as 32-bit floats; gdal_calc.py inherits it.
os.environ["AAIGRID_DATATYPE"] = "Float64"
gdal.SetConfigOption("AAIGRID_DATATYPE", "Float64")

SAGA = shutil.which("saga_cmd")
GDAL_CALC = shutil.which("gdal_calc.py")
LIBRARY_NODATA = -9999.0
FLT_MAX = float(np.finfo(np.float32).max)

shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
failures = {}


def fail(rule, what):
    failures.setdefault(rule, []).append(what)


def path(name):
    return os.path.join(WORK, name)


def same_number(a, b):
    """Equal, both NaN, or equal to the twelve significant digits the tool writes."""
    if np.isnan(a) or np.isnan(b):
        return bool(np.isnan(a) and np.isnan(b))
    return a == b or abs(a - b) <= 1e-9 * max(abs(a), abs(b))


# Every grid has this geometry, except the finer one, which halves the cell size.
COLUMNS, ROWS, WEST, SOUTH, CELL = 7, 5, 500000.0, 5000000.0, 25.0


def geotransform(cell, rows):
    return (WEST, cell, 0.0, SOUTH + rows * cell, 0.0, -cell)


class Grid:
    """A grid file and what it states: its cells (NaN where no-data) and its NODATA_value."""

    def __init__(self, name, nodata, values, cell=CELL):
        self.name, self.nodata, self.values, self.cell = name, nodata, values, cell
        self.file = path(name + ".asc")

    @property
    def mask(self):
        return np.isnan(self.values)

    @property
    def library_view(self):
        """The cells as the library sees them: no-data is -9999."""
        return np.where(self.mask, LIBRARY_NODATA, self.values)


def read_grid(file):
    """Cells (float64), no-data mask, declared NODATA_value and geotransform, as GDAL reads them."""
    ds = gdal.Open(file)
    band = ds.GetRasterBand(1)
    values = band.ReadAsArray().astype(np.float64)
    nodata = band.GetNoDataValue()
    nodata = LIBRARY_NODATA if nodata is None else nodata
    mask = np.isnan(values) if np.isnan(nodata) else values == nodata
    return values, mask, nodata, ds.GetGeoTransform()


# --- The source grids ---------------------------------------------------------------------------

rng = np.random.default_rng(20240611)


def source_values(integers, nodata_cells, zero_cells, rows=ROWS, columns=COLUMNS):
    """Random cells with negatives, zeros, the values the reclass table and round look at, and
    no-data (NaN) at the cells given."""
    if integers:
        values = rng.integers(-300, 301, (rows, columns)).astype(np.float64)
    else:
        # Multiples of 1/8: exact in 32 bits and in the text every writer makes of them.
        values = rng.integers(-4000, 4001, (rows, columns)) / 8.0
        values[3, 0], values[0, 2] = 2.5, -2.5
    values[1, 4], values[2, 6], values[4, 4] = 3.0, -2.0, 1.0
    for cell in zero_cells:
        values[cell] = 0.0
    for cell in nodata_cells:
        values[cell] = np.nan
    return values


def write_tif(name, values, gdal_type, nodata, cell=CELL):
    """A GeoTIFF as users have it, its no-data cells holding the no-data value."""
    rows, columns = values.shape
    tif = path(name + ".tif")
    ds = gdal.GetDriverByName("GTiff").Create(tif, columns, rows, 1, gdal_type)
    ds.SetGeoTransform(geotransform(cell, rows))
    band = ds.GetRasterBand(1)
    band.SetNoDataValue(nodata)
    band.WriteArray(np.where(np.isnan(values), nodata, values))
    ds = None
    return tif


def from_gdal(name, values, gdal_type, nodata, nodata_text, cell=CELL):
    tif = write_tif(name, values, gdal_type, nodata, cell)
    grid = Grid(name, nodata, values, cell)
    gdal.Translate(grid.file, tif, options="-of AAIGrid -a_nodata " + nodata_text)
    return grid


def from_saga(name, values, gdal_type, nodata, georef):
    tif = write_tif(name, values, gdal_type, nodata)
    grid = Grid(name, nodata, values)
    subprocess.run([SAGA, "io_grid", "0", "-GRID", tif, "-FILE", grid.file, "-GEOREF", georef],
                   check=True, capture_output=True)
    return grid


def by_hand(name, nodata_text, values, nodata_cells=()):
    grid = Grid(name, float(nodata_text), values.copy())
    text = ["ncols %d" % COLUMNS, "nrows %d" % ROWS, "xllcorner %r" % WEST, "yllcorner %r" % SOUTH,
            "cellsize %r" % CELL, "NODATA_value " + nodata_text]
    for row in values:
        text.append(" ".join(nodata_text if np.isnan(v) else repr(float(v)) for v in row))
    with open(grid.file, "w") as f:
        f.write("\n".join(text) + "\n")
    for cell in nodata_cells:
        grid.values[cell] = np.nan
    return grid


grids = {}
grids["f32"] = from_gdal("gdal_float32",
                         source_values(False, [(0, 3), (1, 2), (4, 6)], [(0, 0), (3, 1)]),
                         gdal.GDT_Float32, -99999.0, "-99999")
grids["i16"] = from_gdal("gdal_int16",
                         source_values(True, [(1, 2), (2, 0), (3, 5)], [(0, 1), (2, 2)]),
                         gdal.GDT_Int16, -32768.0, "-32768")
grids["fltmax"] = from_gdal("gdal_float32_fltmax",
                            source_values(False, [(0, 3), (2, 4), (4, 0)], [(1, 1), (4, 5)]),
                            gdal.GDT_Float32, -FLT_MAX, repr(-FLT_MAX))
nan64 = from_gdal("gdal_float64_nan",
                  source_values(False, [(1, 1), (2, 4), (3, 3)], [(0, 5), (3, 1)]),
                  gdal.GDT_Float64, float("nan"), "nan")
if np.isnan(read_grid(nan64.file)[2]):
    grids["f64nan"] = nan64
else:
    print("note: GDAL does not write nan as NODATA_value; that grid is left out")
grids["handnan"] = by_hand("hand_nan", "nan",
                           source_values(False, [(0, 0), (3, 5), (4, 6)], [(2, 3), (0, 1)]))
if SAGA:
    grids["saga32"] = from_saga("saga_float32_corner",
                                source_values(False, [(2, 2), (0, 6), (1, 2)], [(3, 4), (0, 0)]),
                                gdal.GDT_Float32, -99999.0, "0")
    # The centre of the lower left cell in the header: the same grid.
    grids["saga16"] = from_saga("saga_int16_centre",
                                source_values(True, [(4, 3), (1, 2)], [(0, 1), (3, 1), (2, 5)]),
                                gdal.GDT_Int16, -32768.0, "1")
else:
    print("note: saga_cmd is not installed; the SAGA GIS grids are left out")
fine_values = source_values(False, [(0, 0), (5, 9), (9, 13)], [(2, 2), (7, 1)], rows=2 * ROWS,
                            columns=2 * COLUMNS)
grids["fine"] = from_gdal("gdal_float32_fine", fine_values, gdal.GDT_Float32, -99999.0, "-99999",
                          cell=CELL / 2)

# The exported grids hold what was meant.
for key, grid in grids.items():
    if key == "handnan":
        continue
    values, mask, nodata, _ = read_grid(grid.file)
    if not (np.array_equal(mask, grid.mask) and np.array_equal(values[~mask], grid.values[~mask])
            and same_number(nodata, grid.nodata)):
        fail("set-up", "%s does not hold the cells it was made from" % grid.file)

# Results that come to -9999 from data, in grids that declare -99999.
near_a = np.full((ROWS, COLUMNS), 10.0)
near_a[0, :5] = [9999.0, -9998.0, -9999.25, -5000.0, 1.0]
near_a[1, 0] = np.nan
near_b = np.full((ROWS, COLUMNS), 20.0)
near_b[0, 3] = -4999.0
near_b[1, 1] = np.nan
grids["near_a"] = by_hand("near_minus9999_a", "-99999", near_a)
grids["near_b"] = by_hand("near_minus9999_b", "-99999", near_b)
# -9999 as data where -99999 is the no-data value: the tool cannot keep it apart.
bad = np.full((ROWS, COLUMNS), 5.0)
bad[2, 3] = LIBRARY_NODATA
bad[1, 1] = np.nan
grids["bad"] = by_hand("minus9999_as_data", "-99999", bad)

SINGLES = [k for k in ("f32", "i16", "fltmax", "f64nan", "handnan", "saga32", "saga16")
           if k in grids]


def present(*keys):
    return [k for k in keys if k in grids]


# --- Running the tool and checking its results ----------------------------------------------------

def run_tool(args):
    return subprocess.run([TOOL, "-q"] + args, capture_output=True, text=True)


def cells_of(selection):
    return [tuple(int(i) for i in c) for c in np.argwhere(selection)]


def check_result(case, out_file, expected, nodata, source):
    """Rules (a) to (c) for one output; expected holds NaN where the output must be no-data."""
    if not os.path.exists(out_file):
        fail("(a) no-data cells", "%s: no output" % case)
        return
    try:
        values, mask, declared, gt = read_grid(out_file)
    except RuntimeError as error:
        fail("GDAL reads every result", "%s: %s" % (case, str(error).strip()))
        return
    want = np.isnan(expected)
    if gt != geotransform(source.cell, source.values.shape[0]):
        fail("(b) declared header",
             "%s: geotransform %s is not that of %s" % (case, gt, source.name))
    if not same_number(declared, nodata):
        fail("(b) declared header", "%s: NODATA_value %r, expected %r" % (case, declared, nodata))
    if mask.shape != want.shape:
        fail("(a) no-data cells", "%s: %s cells, expected %s" % (case, mask.shape, want.shape))
        return
    extra, missing = cells_of(mask & ~want), cells_of(~mask & want)
    if extra:
        fail("(a) no-data cells", "%s: no-data at data cells %s, which should hold %s"
             % (case, extra, [float(expected[c]) for c in extra]))
    if missing:
        fail("(a) no-data cells", "%s: data at no-data cells %s" % (case, missing))
    both = ~mask & ~want
    got, ref = values[both], expected[both]
    # Relative, with a floor for results that are zero by cancellation.
    bound = 1e-9 * np.maximum(np.abs(got), np.abs(ref)) + 1e-12
    close = np.isfinite(got) & (np.abs(got - ref) <= bound)
    if not np.all(close):
        cells = [c for c, ok in zip(cells_of(both), close) if not ok][:5]
        fail("(c) data cells", "%s: cells %s hold %s, expected %s"
             % (case, cells, got[~close][:5].tolist(), ref[~close][:5].tolist()))


def finite_or_nan(values):
    return np.where(np.isfinite(values), values, np.nan)


def run_and_check(case, args, outputs, expecteds, nodatas, sources):
    done = run_tool(args)
    if done.returncode != 0:
        fail("(a) no-data cells", "%s: the run failed: %s" % (case, done.stderr.strip()))
        return
    for out_file, expected, nodata, source in zip(outputs, expecteds, nodatas, sources):
        check_result(case, out_file, finite_or_nan(expected), nodata, source)


def gdal_calc(case, calc, inputs, nodata):
    """What gdal_calc.py makes of the inputs (each with its own no-data), NaN where it gives
    no-data; None where gdal_calc.py is absent."""
    if not GDAL_CALC:
        return None
    out = path("calc_%s.tif" % case)
    args = [sys.executable, GDAL_CALC, "--quiet", "--calc", calc, "--type=Float64",
            "--NoDataValue=%r" % nodata, "--format=GTiff", "--outfile", out]
    for letter, grid in zip("ABCDEFGH", inputs):
        args += ["-" + letter, grid.file]
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        fail("set-up", "gdal_calc.py %s failed: %s" % (calc, done.stderr.strip()))
        return None
    values, mask, _, _ = read_grid(out)
    return np.where(mask, np.nan, values)


# Cell-wise commands on one grid, on every source.
def library_round(x):
    t = np.trunc(x)
    return np.where(x - t >= 0.5, t + 1, t)


def reclass(x, table, default, nodata_to=np.nan):
    out = np.full(x.shape, default)
    for key, value in table.items():
        out[x == key] = value
    out[np.isnan(x)] = nodata_to
    return out


TABLE = {0.0: 100.0, 3.0: 30.0, -2.0: -20.0}
table_file = path("table.csv")
with open(table_file, "w") as f:
    f.write("".join("%r,%r\n" % kv for kv in TABLE.items()))

for key in SINGLES:
    g = grids[key]
    x = g.values
    cases = [
        ("scale", ["--factor", "-2.5"], x * -2.5),
        ("offset", ["--value", "1000.5"], x + 1000.5),
        ("divide-by", ["--divisor", "3"], x / 3),
        ("divide-by", ["--divisor", "0"], np.full(x.shape, np.nan)),
        ("round", [], library_round(x)),
        ("threshold", ["--min", "0.5"], np.where(x < 0.5, 0.0, x)),
        ("threshold", ["--min", "-10", "--replace", "42"], np.where(x >= -10, 42.0, x)),
        ("reclass", ["--table", table_file, "--default", "-1"], reclass(x, TABLE, -1.0)),
    ]
    # An entry for the grid's own NODATA_value reclasses its no-data cells.
    nodata_table = path("table_%s.csv" % key)
    with open(nodata_table, "w") as f:
        f.write("0,100\n%s,55\n" % ("nan" if np.isnan(g.nodata) else repr(g.nodata)))
    cases.append(("reclass", ["--table", nodata_table],
                  reclass(x, {0.0: 100.0}, 0.0, nodata_to=55.0)))
    for index, (command, options, expected) in enumerate(cases):
        case = " ".join([command] + options + [g.name])
        out = path("%s_%s_%d.asc" % (key, command, index))
        run_and_check(case, [command, g.file, out] + options, [out], [expected], [g.nodata], [g])

# The same through gdal_calc.py, on the grids whose no-data it keeps apart (not nan).
f32, i16 = grids["f32"], grids["i16"]
calc = gdal_calc("scale", "A*-2.5", [f32], -99999.0)
if calc is not None:
    out = path("f32_scale_calc.asc")
    run_and_check("scale --factor -2.5 %s (gdal_calc.py)" % f32.name,
                  ["scale", f32.file, out, "--factor", "-2.5"], [out], [calc], [-99999.0], [f32])
calc = gdal_calc("offset", "A+1000.5", [i16], -32768.0)
if calc is not None:
    out = path("i16_offset_calc.asc")
    run_and_check("offset --value 1000.5 %s (gdal_calc.py)" % i16.name,
                  ["offset", i16.file, out, "--value", "1000.5"], [out], [calc], [-32768.0], [i16])

# --nodata overrides what the input declares.
out = path("i16_scale_nodata.asc")
run_and_check("--nodata -1e30 scale %s" % i16.name,
              ["--nodata", "-1e30", "scale", i16.file, out, "--factor", "2"], [out],
              [i16.values * 2], [-1e30], [i16])
if "f64nan" in grids:
    g = grids["f64nan"]
    out = path("f64nan_offset_nodata.asc")
    run_and_check("offset %s --nodata -77777" % g.name,
                  ["offset", g.file, out, "--value", "1", "--nodata", "-77777"], [out],
                  [g.values + 1], [-77777.0], [g])

# Two aligned grids: no-data where either has it, the first grid's NODATA_value.
PAIRS = [("add", "handnan", "f32", np.add), ("subtract", "fltmax", "i16", np.subtract),
         ("multiply", "saga32", "f64nan", np.multiply), ("divide", "f32", "saga16", np.divide),
         ("divide", "i16", "f32", np.divide)]
with np.errstate(divide="ignore", invalid="ignore"):
    for command, a_key, b_key, operation in PAIRS:
        if a_key not in grids or b_key not in grids:
            continue
        a, b = grids[a_key], grids[b_key]
        out = path("%s_%s_%s.asc" % (command, a_key, b_key))
        run_and_check("%s %s %s" % (command, a.name, b.name), [command, a.file, b.file, out], [out],
                      [operation(a.values, b.values)], [a.nodata], [a])

    calc = gdal_calc("subtract", "A-B", [grids["fltmax"], i16], -1e300)
    if calc is not None:
        out = path("subtract_calc.asc")
        run_and_check("subtract %s %s (gdal_calc.py)" % (grids["fltmax"].name, i16.name),
                      ["subtract", grids["fltmax"].file, i16.file, out], [out], [calc],
                      [-FLT_MAX], [grids["fltmax"]])
    divisor = grids.get("saga16", i16)
    calc = gdal_calc("divide", "A/B", [f32, divisor], -1e300)
    if calc is not None:
        out = path("divide_calc.asc")
        run_and_check("divide %s %s (gdal_calc.py)" % (f32.name, divisor.name),
                      ["divide", f32.file, divisor.file, out], [out], [calc], [-99999.0], [f32])

# On the finer grid, the second one here: its cells, its NODATA_value.
fine = grids["fine"]
coarse_on_fine = np.repeat(np.repeat(i16.values, 2, axis=0), 2, axis=1)
out = path("multiply_fine.asc")
run_and_check("multiply %s %s" % (i16.name, fine.name), ["multiply", i16.file, fine.file, out],
              [out], [coarse_on_fine * fine.values], [fine.nodata], [fine])

# Series: no-data where any grid has it (count: nowhere), the first grid's NODATA_value.
series = present("f32", "i16", "fltmax", "handnan", "saga32")
stack = np.array([grids[k].values for k in series])
series_grids = [grids[k] for k in series]
first = series_grids[0]
out = path("sum.asc")
run_and_check("sum " + " ".join(series), ["sum", out] + [g.file for g in series_grids], [out],
              [stack.sum(axis=0)], [first.nodata], [first])
out = path("count.asc")
run_and_check("count " + " ".join(series), ["count", out] + [g.file for g in series_grids], [out],
              [(~np.isnan(stack)).sum(axis=0).astype(np.float64)], [first.nodata], [first])
out = path("average.asc")
run_and_check("average " + " ".join(series), ["average", out] + [g.file for g in series_grids],
              [out], [stack.mean(axis=0)], [first.nodata], [first])
nan_first = [grids[k] for k in present("f64nan", "saga16", "i16", "f32")]
out = path("average_nan_first.asc")
run_and_check("average " + " ".join(g.name for g in nan_first),
              ["average", out] + [g.file for g in nan_first], [out],
              [np.mean([g.values for g in nan_first], axis=0)], [nan_first[0].nodata],
              [nan_first[0]])
list_file = path("series.txt")
with open(list_file, "w") as f:
    f.write("".join(g.file + "\n" for g in series_grids))
out = path("sum_nodata_nan.asc")
run_and_check("sum --list ... --nodata nan", ["sum", out, "--list", list_file, "--nodata", "nan"],
              [out], [stack.sum(axis=0)], [float("nan")], [first])
three = [f32, i16] + [grids[k] for k in present("saga32")]
calc = gdal_calc("sum", "+".join("ABC"[:len(three)]), three, -1e300)
if calc is not None:
    out = path("sum_calc.asc")
    run_and_check("sum %s (gdal_calc.py)" % " ".join(g.name for g in three),
                  ["sum", out] + [g.file for g in three], [out], [calc], [-99999.0], [f32])


def write_outputs(name, count):
    outputs = [path("%s_%d.asc" % (name, i)) for i in range(count)]
    with open(path(name + ".txt"), "w") as f:
        f.write("".join(o + "\n" for o in outputs))
    return outputs


# Moving averages: window i lies on grid i and declares its NODATA_value.
window_series = [grids[k] for k in present("i16", "handnan", "fltmax", "saga32", "f64nan")]
outputs = write_outputs("moving", len(window_series) - 1)
run_and_check("moving-average --window 2 " + " ".join(g.name for g in window_series),
              ["moving-average", "--window", "2", "--outputs", path("moving.txt")]
              + [g.file for g in window_series], outputs,
              [(window_series[i].values + window_series[i + 1].values) / 2
               for i in range(len(outputs))],
              [g.nodata for g in window_series[:-1]], window_series[:-1])


def nonzero_neighbour(cells, row, column):
    """The first nonzero value of the highest column of the 3 x 3 block around the cell."""
    found = 0.0
    for c in range(max(column - 1, 0), min(column + 1, cells.shape[1] - 1) + 1):
        for r in range(max(row - 1, 0), min(row + 1, cells.shape[0] - 1) + 1):
            if cells[r, c] != 0.0:
                found = cells[r, c]
                break
    return found


def gradient(views, first, window, zero_missing):
    """The least-squares slope of each cell over maps first .. first + window against the map
    number: no-data values (-9999 here) left out, and no finite slope from fewer than two
    values. With zero_missing the library's zero rule too: no value where map first holds 0, and
    a 0 in the other maps but the last replaced by its nonzero neighbour."""
    result = np.full(views[0].shape, np.nan)
    for row, column in np.ndindex(result.shape):
        if zero_missing and views[first][row, column] == 0.0:
            continue
        xs, ys = [], []
        for step in range(window + 1):
            cells = views[first + step]
            value = cells[row, column]
            if zero_missing and step < window and value == 0.0:
                value = nonzero_neighbour(cells, row, column)
            if value != LIBRARY_NODATA:
                xs.append(float(first + step))
                ys.append(value)
        if len(xs) >= 2:
            xs, ys = np.array(xs), np.array(ys)
            n = len(xs)
            result[row, column] = ((n * (xs * ys).sum() - xs.sum() * ys.sum())
                                   / (n * (xs * xs).sum() - xs.sum() ** 2))
    return result


# Gradients: every window lies on grid 0 and declares its NODATA_value (or --nodata); a 0 is a
# value unless --zero-missing asks for the library's rule.
for window, options in ((2, []), (1, ["--nodata", "-77777"]), (2, ["--zero-missing"])):
    chosen = [grids[k] for k in present("f64nan", "f32", "saga16", "fltmax", "handnan")]
    views = [g.library_view for g in chosen]
    count = len(chosen) - window
    zero_missing = "--zero-missing" in options
    name = "gradients_w%d%s" % (window, "_zero" if zero_missing else "")
    outputs = write_outputs(name, count)
    nodata = float(options[1]) if "--nodata" in options else chosen[0].nodata
    global_options = [o for o in options if o != "--zero-missing"]
    run_and_check("gradients --window %d %s %s" % (window, " ".join(options),
                                                   " ".join(g.name for g in chosen)),
                  global_options + ["gradients", "--window", str(window), "--outputs",
                                    path(name + ".txt")] + [g.file for g in chosen]
                  + (["--zero-missing"] if zero_missing else []),
                  outputs, [gradient(views, i, window, zero_missing) for i in range(count)],
                  [nodata] * count, [chosen[0]] * count)

# --- Runs that must fail and write nothing --------------------------------------------------------

def check_refused(case, args, out_file, words):
    done = run_tool(args)
    if done.returncode == 0:
        fail("refused runs", "%s: ran" % case)
    missing = [w for w in words if w not in done.stderr]
    if missing:
        fail("refused runs",
             "%s: the message %r does not name %s" % (case, done.stderr.strip(), missing))
    if os.path.exists(out_file):
        fail("refused runs", "%s: wrote %s" % (case, out_file))


bad_grid = grids["bad"]
na, nb = grids["near_a"], grids["near_b"]
# Rows from the north and columns from the west, from 0, as fill counts them.
bad_words = [bad_grid.file, "row 2", "column 3"]
out = path("refused_scale.asc")
check_refused("scale on -9999 as data", ["scale", bad_grid.file, out, "--factor", "2"], out,
              bad_words)
out = path("refused_sum.asc")
check_refused("sum with -9999 as data in the second grid", ["sum", out, f32.file, bad_grid.file],
              out, bad_words)
out = path("refused_offset.asc")
# Its cell at row 0, column 4 is 1: 1 - 100000 is the -99999 the result declares.
check_refused("offset onto the declared NODATA_value",
              ["offset", na.file, out, "--value", "-100000"], out, [out, "row 0", "column 4"])

# Results that come to -9999 from data cells would pass for no-data, which the library's
# operations key on: the run fails naming the first such cell and writes nothing. A -9999 the user
# asks for (reclass's default) is no-data, as the tool's word for it.
for command, options, expected in (
        ("scale", ["--factor", "-1"], -na.values),
        ("offset", ["--value", "-1"], na.values - 1),
        ("round", [], library_round(na.values))):
    out = path("near_%s.asc" % command)
    row, column = cells_of(expected == LIBRARY_NODATA)[0]
    check_refused(" ".join([command] + options + [na.name]), [command, na.file, out] + options,
                  out, ["row %d" % row, "column %d" % column, "comes to -9999"])
expected = reclass(na.values, TABLE, -9999.0)
out = path("near_reclass.asc")
run_and_check("reclass --default -9999 " + na.name,
              ["reclass", na.file, out, "--table", table_file, "--default", "-9999"], [out],
              [np.where(expected == LIBRARY_NODATA, np.nan, expected)], [-99999.0], [na])
near_sum = na.values + nb.values
row, column = cells_of(near_sum == LIBRARY_NODATA)[0]
for command in ("sum", "average"):
    out = path("near_%s.asc" % command)
    check_refused("%s %s %s" % (command, na.name, nb.name), [command, out, na.file, nb.file], out,
                  ["row %d" % row, "column %d" % column, "comes to -9999"])

for rule in sorted(failures):
    for what in failures[rule]:
        print("FAILED %s: %s" % (rule, what))
count = sum(len(v) for v in failures.values())
print("tessgrid-tool and other programs' no-data: %s"
      % ("ok" if not count else "%d failures" % count))
sys.exit(1 if count else 0)
