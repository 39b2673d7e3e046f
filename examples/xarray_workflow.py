#!/usr/bin/env python3
"""examples/xarray_workflow.py [--no-plot] OUT_DIR [A.tif B.tif] - tessgrid inside an xarray
workflow: two GeoTIFFs read as DataArrays, an expression over them, the average of a series,
a coarser grid, a GeoTIFF written and a map plotted.

    python3 examples/xarray_workflow.py build/workflow
    python3 examples/xarray_workflow.py build/workflow dem.tif uplift.tif

Without A.tif and B.tif it first writes the bundled elevation and uplift grids
(examples/*.asc, British National Grid) as GeoTIFFs into OUT_DIR. It needs rioxarray
(python3-rioxarray); the plot needs matplotlib and is skipped without it or with --no-plot.
"""
import pathlib
import sys

import rioxarray
from rasterio.crs import CRS

import tessgrid

HERE = pathlib.Path(__file__).resolve().parent


def bundled_geotiffs(out_dir):
    """The example's grids as GeoTIFFs, as a user's own would come."""
    paths = []
    for name in ("elevation", "uplift"):
        grid = tessgrid.read(HERE / (name + ".asc"))
        grid.crs = CRS.from_epsg(27700).to_wkt()
        paths.append(out_dir / (name + ".tif"))
        tessgrid.write(paths[-1], grid)
    return paths


def main(out_dir, paths, plot):
    out_dir.mkdir(parents=True, exist_ok=True)
    if not paths:
        paths = bundled_geotiffs(out_dir)
    # masked=True: no-data cells are NaN, as xarray users expect; tessgrid keeps them no-data.
    dem, uplift = (rioxarray.open_rasterio(path, masked=True).squeeze("band", drop=True)
                   for path in paths)
    # Each result is a DataArray on the inputs' grid, with their coordinates and CRS.
    raised = tessgrid.calc("A + B * 10", A=dem, B=uplift)
    series = [tessgrid.calc("A + B * %d" % years, A=dem, B=uplift) for years in (10, 20, 30)]
    mean = tessgrid.average(series)
    coarse = tessgrid.resample(mean, float(abs(dem.rio.resolution()[0])) * 2, "bilinear")
    out = out_dir / "mean_coarse.tif"
    tessgrid.write(out, coarse)
    print("raised north-west cell: %.3f" % float(raised[0, 0]))
    print("mean of the series: %d x %d cells of %g, written to %s"
          % (coarse.sizes["y"], coarse.sizes["x"], coarse.rio.resolution()[0], out))
    if plot:
        try:
            import matplotlib
        except ImportError:
            print("matplotlib is not installed: no plot")
            return
        matplotlib.use("Agg")
        import matplotlib.pyplot as pyplot
        coarse.plot(cmap="terrain")
        pyplot.title("Mean elevation of the series")
        pyplot.savefig(out_dir / "mean_coarse.png")
        print("plot written to %s" % (out_dir / "mean_coarse.png"))


if __name__ == "__main__":
    arguments = sys.argv[1:]
    plot = "--no-plot" not in arguments
    arguments = [argument for argument in arguments if argument != "--no-plot"]
    if len(arguments) not in (1, 3):
        sys.exit(__doc__)
    main(pathlib.Path(arguments[0]), [pathlib.Path(path) for path in arguments[1:]], plot)
