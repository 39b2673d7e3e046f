#!/usr/bin/env python3
"""bench/python.py BUILD_DIR - the Python module's figures, measured in one run: calc("A+B")
against numpy's masked A+B and numexpr's, calc("(A-B)*C/100 + (A>900 ? 1 : 0)") against numexpr's
and numpy's masked forms, the average of 24 grids of 1000 x 1000 against numpy's stack, mean and
mask, the average over the data present of 12 grids against numpy.nanmean, calc over a 2048 x
2048 chunk of three float32 grids against numpy's masked float64 form, read against
numpy.loadtxt, calc on 2 threads against 1, and the average of 24 grids on a local Dask cluster
of two processes against one process. numexpr
(python3-numexpr) runs on its default threads; without it those lines are skipped.

Run it with the system Python that the module was built for, from a build with the module:
    /usr/bin/python3 bench/python.py build/release
Each time is the best of five runs (the loadtxt one of two); ratios are printed beside them.
"""
import os
import sys
import tempfile
import time

import numpy

sys.path.insert(0, os.path.join(sys.argv[1] if len(sys.argv) > 1 else "build/release", "python"))
import tessgrid  # noqa: E402

SIZE = 3000


def best(call, runs=5):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def cpu(call):
    """The processor time of one call, all threads together."""
    start = time.process_time()
    call()
    return time.process_time() - start


def best_cpu(call, runs=5):
    return min(cpu(call) for _ in range(runs))


def float32_chunk_against_numpy(rng):
    """calc("(A + B) * C / 2") over one 2048 x 2048 chunk of three float32 inputs (1 % -9999) as
    tessgrid.dask.calc computes a chunk (Grids of the chunks, one thread, float32 out), against
    numpy's masked form (float64 from the float32 cells, float32 out, -9999 no-data), as plain
    dask computes it: processor time, the values checked equal first; best of five."""
    size = 2048
    chunks = []
    for _ in range(3):
        cells = rng.normal(500.0, 300.0, (size, size)).astype(numpy.float32)
        cells[rng.random(cells.shape) < 0.01] = -9999.0
        chunks.append(cells)

    def ours():
        grids = [tessgrid.Grid(cells, nodata=-9999.0) for cells in chunks]
        return tessgrid.calc("(A + B) * C / 2", A=grids[0], B=grids[1], C=grids[2], threads=1,
                             dtype="float32")

    def numpy_form():
        a, b, c = (numpy.where(x == -9999.0, numpy.nan, x.astype(numpy.float64)) for x in chunks)
        value = ((a + b) * c / 2).astype(numpy.float32)
        return numpy.where(numpy.isnan(value), numpy.float32(-9999.0), value)

    result = ours()
    assert result.dtype == numpy.float32 and numpy.array_equal(numpy.asarray(result), numpy_form())
    c_ours = best_cpu(ours)
    c_numpy = best_cpu(numpy_form)
    print("calc(\"(A + B) * C / 2\") of a %dx%d chunk of 3 float32 inputs, one thread: processor "
          "time %.3f s, numpy masked float64 form %.3f s: %.2fx numpy's; load average %.1f on %d "
          "cores" % (size, size, c_ours, c_numpy, c_ours / c_numpy, os.getloadavg()[0],
                     os.cpu_count()))


def expressions_against_peers(rng, a, b):
    """calc against numexpr (its default threads) and numpy on the same masked expressions, the
    values checked equal first; each time the best of three."""
    try:
        import numexpr
    except ImportError:
        print("numexpr: not installed (python3-numexpr), calc against numexpr skipped")
        return
    c = numpy.round(rng.random((SIZE, SIZE)) * 1000.0, 2)
    c[rng.random(c.shape) < 0.05] = -9999.0
    expr = "(A-B)*C/100 + (A>900 ? 1 : 0)"
    missing = "(A == -9999) | (B == -9999) | (C == -9999)"

    def numpy_form():
        value = (a - b) * c / 100 + numpy.where(a > 900, 1.0, 0.0)
        return numpy.where((a == -9999.0) | (b == -9999.0) | (c == -9999.0), -9999.0, value)

    def numexpr_form():
        return numexpr.evaluate("where(%s, -9999, (A-B)*C/100 + where(A > 900, 1, 0))" % missing,
                                local_dict={"A": a, "B": b, "C": c})

    def numexpr_sum():
        return numexpr.evaluate("where((A == -9999) | (B == -9999), -9999, A + B)",
                                local_dict={"A": a, "B": b})

    ours = numpy.asarray(tessgrid.calc(expr, A=a, B=b, C=c))
    assert numpy.array_equal(ours, numpy_form()) and numpy.array_equal(ours, numexpr_form())
    assert numpy.array_equal(numpy.asarray(tessgrid.calc("A+B", A=a, B=b)), numexpr_sum())
    t_calc = best(lambda: tessgrid.calc(expr, A=a, B=b, C=c), 3)
    t_numexpr = best(numexpr_form, 3)
    t_numpy = best(numpy_form, 3)
    print("calc(\"%s\") %dx%d: %.3f s, numexpr (%d threads) %.3f s: %.2fx numexpr's time "
          "(target <= 1.0); numpy masked form %.3f s: %.2fx numpy's time (target <= 0.5)"
          % (expr, SIZE, SIZE, t_calc, numexpr.nthreads, t_numexpr, t_calc / t_numexpr, t_numpy,
             t_calc / t_numpy))
    t_sum = best(lambda: tessgrid.calc("A+B", A=a, B=b), 3)
    t_numexpr_sum = best(numexpr_sum, 3)
    print("calc(\"A+B\") %dx%d: %.3f s, numexpr masked A+B %.3f s: %.2fx numexpr's time "
          "(target <= 0.8); load average %.1f on %d cores"
          % (SIZE, SIZE, t_sum, t_numexpr_sum, t_sum / t_numexpr_sum, os.getloadavg()[0],
             os.cpu_count()))


def series_against_numpy(rng):
    """average of 24 grids of 1000 x 1000 (-9999 no-data) against numpy's stack, mean and mask,
    and average(skip_nodata=True) of 12 (NaN no-data) against numpy.nanmean over their stack, the
    values checked first; each time the best of five."""
    size = 1000
    grids = []
    for _ in range(24):
        cells = numpy.round(rng.random((size, size)) * 1000.0, 2)
        cells[rng.random(cells.shape) < 0.01] = -9999.0
        grids.append(cells)

    def numpy_average():
        stack = numpy.stack(grids)
        return numpy.where((stack == -9999.0).any(axis=0), -9999.0, stack.mean(axis=0))

    numpy.testing.assert_allclose(numpy.asarray(tessgrid.average(grids)), numpy_average(),
                                  rtol=1e-13)
    t_ours = best(lambda: tessgrid.average(grids))
    t_numpy = best(numpy_average)
    print("average of 24 %dx%d: %.3f s, numpy stack+mean+mask %.3f s: %.2fx numpy's time "
          "(target <= 0.5)" % (size, size, t_ours, t_numpy, t_ours / t_numpy))

    months = []
    for _ in range(12):
        cells = numpy.round(rng.random((size, size)) * 1000.0, 2)
        cells[rng.random(cells.shape) < 0.2] = numpy.nan
        months.append(cells)
    stacked = numpy.stack(months)
    with numpy.errstate(all="ignore"):
        expected = numpy.nanmean(stacked, axis=0)
    assert numpy.array_equal(
        numpy.asarray(tessgrid.average(months, nodata=numpy.nan, skip_nodata=True)), expected,
        equal_nan=True)
    t_ours = best(lambda: tessgrid.average(months, nodata=numpy.nan, skip_nodata=True))
    with numpy.errstate(all="ignore"):
        t_stack = best(lambda: numpy.nanmean(numpy.stack(months), axis=0))
        t_nanmean = best(lambda: numpy.nanmean(stacked, axis=0))
    print("average(skip_nodata=True) of 12 %dx%d (NaN no-data): %.3f s, numpy.nanmean %.3f s "
          "(%.3f s with the stack): %.2fx nanmean's time (target <= 0.5), %.2fx with the stack; "
          "load average %.1f on %d cores"
          % (size, size, t_ours, t_nanmean, t_stack, t_ours / t_nanmean, t_ours / t_stack,
             os.getloadavg()[0], os.cpu_count()))


def main():
    rng = numpy.random.default_rng(1)
    a = numpy.round(rng.random((SIZE, SIZE)) * 1000.0, 2)
    b = numpy.round(rng.random((SIZE, SIZE)) * 1000.0, 2)
    a[rng.random(a.shape) < 0.05] = -9999.0
    b[rng.random(b.shape) < 0.05] = -9999.0

    def masked():
        return numpy.where((a == -9999.0) | (b == -9999.0), -9999.0, a + b)

    assert numpy.array_equal(numpy.asarray(tessgrid.calc("A+B", A=a, B=b)), masked())
    t_numpy = best(masked)
    t_calc = best(lambda: tessgrid.calc("A+B", A=a, B=b))
    print("calc(\"A+B\") %dx%d: %.3f s, numpy masked A+B %.3f s: %.2fx numpy's time"
          % (SIZE, SIZE, t_calc, t_numpy, t_calc / t_numpy))
    expressions_against_peers(rng, a, b)
    float32_chunk_against_numpy(rng)
    series_against_numpy(rng)

    expr = "sqrt(A) * 2 + (B > 500 ? B : 0)"
    t_one = best(lambda: tessgrid.calc(expr, A=a, B=b, threads=1), 3)
    t_two = best(lambda: tessgrid.calc(expr, A=a, B=b, threads=2), 3)
    # On a machine whose cores other work keeps busy, the second thread waits for a core; the
    # processor times show the work split all the same.
    c_one = cpu(lambda: tessgrid.calc(expr, A=a, B=b, threads=1))
    c_two = cpu(lambda: tessgrid.calc(expr, A=a, B=b, threads=2))
    print("calc(\"%s\") 1 thread %.3f s, 2 threads %.3f s: %.2fx (processor time %.3f s and "
          "%.3f s; load average %.1f on %d cores)" % (expr, t_one, t_two, t_one / t_two, c_one,
                                                     c_two, os.getloadavg()[0], os.cpu_count()))

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "a.asc")
        tessgrid.write(path, a)
        t_read = best(lambda: tessgrid.read(path))
        t_loadtxt = best(lambda: numpy.loadtxt(path, skiprows=6), 2)
        assert numpy.array_equal(numpy.asarray(tessgrid.read(path)),
                                 numpy.loadtxt(path, skiprows=6))
        print("read %dx%d .asc: %.3f s, numpy.loadtxt %.3f s: %.1fx faster"
              % (SIZE, SIZE, t_read, t_loadtxt, t_loadtxt / t_read))

    try:
        import dask.array
        import distributed
        import tessgrid.dask as tgd
    except ImportError:
        print("dask: not installed, skipped")
        return
    stack = [dask.array.from_array(numpy.where(a == -9999.0, -9999.0, a + k), chunks=(750, 1500))
             for k in range(24)]
    one = tgd.average(stack).compute(scheduler="sync")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        two = client.compute(tgd.average(stack)).result()
    print("dask average of 24 %dx%d grids, LocalCluster(2 processes) vs one process: %s"
          % (SIZE, SIZE, "identical" if numpy.array_equal(one, two) else "DIFFERENT"))


if __name__ == "__main__":
    main()
