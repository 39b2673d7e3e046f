#!/usr/bin/env python3
"""bench/dask_rasters.py BUILD_DIR WORK_DIR [SIZE] - a raster larger than a worker's memory
through tessgrid.dask: three tiled float32 GeoTIFFs of SIZE x SIZE cells (default 20000, 1.6 GB
each before compression) -> tessgrid.dask.calc("(A + B) * C / 2") -> a tiled GeoTIFF written
chunk by chunk by tessgrid.dask.to_raster, on a LocalCluster of 2 worker processes of one
thread and 1.5 GiB each; against plain dask with rioxarray for the same file (masked reads,
the expression in float64, float32 out, -9999 as no-data, rio.to_raster under a distributed
lock, DEFLATE with predictor 3 in 256 x 256 tiles as tessgrid writes). Prints the time of each,
the peak memory of a worker during each (sampled every 0.1 s), and whether the two files hold
the same cells. GDAL's block cache is 256 MB in every process (GDAL_CACHEMAX, unless set).

    /usr/bin/python3 bench/dask_rasters.py build/release /var/tmp/rasters 20000

WORK_DIR needs about 5 x 1.6 GB free; the inputs are made there once (on the cluster, written
by to_raster) and kept for later runs of the same SIZE.
"""
import logging
import os
import sys
import threading
import time

# GDAL keeps blocks read in a cache of 5 % of the machine's memory by default: 1.2 GiB here,
# more than the pause threshold of a 1.5 GiB worker (80 %), which it would reach at this size in
# either path and then wait for memory that never frees. Every worker inherits the setting.
os.environ.setdefault("GDAL_CACHEMAX", "256")

import dask.array
import distributed
import numpy
import psutil
import rioxarray

sys.path.insert(0, os.path.join(sys.argv[1], "python"))
import tessgrid  # noqa: E402
import tessgrid.dask as tgd  # noqa: E402

CHUNK = 2048
UTM = ('PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",'
       '6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],'
       'PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],'
       'PARAMETER["central_meridian",15],PARAMETER["scale_factor",0.9996],'
       'PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1],'
       'AUTHORITY["EPSG","32633"]]')


def make_inputs(work, size):
    paths = [os.path.join(work, "in_%d_%s.tif" % (size, name)) for name in "ABC"]
    for seed, path in enumerate(paths):
        if os.path.exists(path):
            continue
        state = dask.array.random.RandomState(seed)
        cells = state.normal(100.0, 30.0, (size, size), chunks=CHUNK).round(2)
        cells = dask.array.where(state.random_sample((size, size), chunks=CHUNK) < 0.01,
                                 -9999.0, cells).astype(numpy.float32)
        tgd.to_raster(cells, path, xll=400000.0, yll=5000000.0, cellsize=10.0, crs=UTM)
    return paths


class PeakMemory:
    """The largest resident size any worker reached while the block ran."""

    def __init__(self, client):
        self.client, self.peak, self.running = client, 0, False

    def _sample(self):
        while self.running:
            sizes = self.client.run(lambda: psutil.Process().memory_info().rss)
            self.peak = max([self.peak] + list(sizes.values()))
            time.sleep(0.1)

    def __enter__(self):
        self.running = True
        self.thread = threading.Thread(target=self._sample)
        self.thread.start()
        return self

    def __exit__(self, *failure):
        self.running = False
        self.thread.join()


def ours(paths, out):
    inputs = [rioxarray.open_rasterio(path, chunks=(1, CHUNK, CHUNK)) for path in paths]
    tgd.to_raster(tgd.calc("(A + B) * C / 2", A=inputs[0], B=inputs[1], C=inputs[2],
                           threads=1), out)


def plain(paths, out):
    a, b, c = (rioxarray.open_rasterio(path, chunks=(1, CHUNK, CHUNK), masked=True)
               .astype("float64") for path in paths)
    result = ((a + b) * c / 2).astype("float32")
    result.rio.write_nodata(-9999.0, encoded=True, inplace=True)
    result.rio.to_raster(out, tiled=True, blockxsize=256, blockysize=256, compress="DEFLATE",
                         predictor=3, lock=distributed.Lock("plain"))


def same_cells(first, second):
    a, b = (rioxarray.open_rasterio(path, chunks=(1, CHUNK, CHUNK)).data
            for path in (first, second))
    return bool(((a == b) | (dask.array.isnan(a) & dask.array.isnan(b))).all().compute())


def main(work, size):
    os.makedirs(work, exist_ok=True)
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1,
                                       memory_limit="1.5GiB", dashboard_address=None,
                                       silence_logs=logging.ERROR)
    client = distributed.Client(cluster)
    try:
        start = time.perf_counter()
        paths = make_inputs(work, size)
        print("inputs: 3 x %d x %d float32, %.1f GB on disk (%.0f s to make)"
              % (size, size, sum(os.path.getsize(p) for p in paths) / 1e9,
                 time.perf_counter() - start))
        outputs = {}
        for name, run in (("tessgrid.dask", ours), ("dask + rioxarray", plain)):
            out = os.path.join(work, "out_%d_%s.tif" % (size, name.split()[0].replace(".", "_")))
            client.run(lambda: __import__("gc").collect())
            with PeakMemory(client) as memory:
                start = time.perf_counter()
                run(paths, out)
                seconds = time.perf_counter() - start
            outputs[name] = out
            print("%-18s %6.1f s, peak worker memory %4.0f MiB, %.2f GB written"
                  % (name, seconds, memory.peak / 2**20, os.path.getsize(out) / 1e9))
        print("same cells:", same_cells(*outputs.values()))
        for out in outputs.values():
            os.remove(out)
    finally:
        client.close()
        cluster.close()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else 20000)
