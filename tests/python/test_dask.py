# tests/python/test_dask.py - tessgrid.dask on a local cluster of two worker processes equals
# tessgrid-tool on the same files, cell for cell.
import numpy
import pytest

import tessgrid

distributed = pytest.importorskip("distributed")
import tessgrid.dask as tgd  # noqa: E402  (needs dask, which distributed brings)
import dask.array  # noqa: E402


@pytest.fixture(scope="module")
def client(tmp_path_factory):
    workers = str(tmp_path_factory.mktemp("workers"))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=workers) as cluster:
        with distributed.Client(cluster) as connected:
            yield connected


def series(tmp_path, count):
    rng = numpy.random.default_rng(11)
    paths = []
    for index in range(count):
        cells = numpy.round(rng.normal(100.0, 30.0, size=(40, 30)), 3)
        cells[rng.random(cells.shape) < 0.02] = -9999.0
        path = str(tmp_path / ("slice_%02d.asc" % index))
        tessgrid.write(path, tessgrid.Grid(cells, xll=1000, yll=2000, cellsize=25))
        paths.append(path)
    return paths


def chunked(path):
    # 40 x 30 cells in 2 x 2 = 4 chunks
    return dask.array.from_array(numpy.asarray(tessgrid.read(path)), chunks=(20, 15))


def as_written(tmp_path, cells):
    """The cells as the grid writer writes them, so that they compare with the tool's file."""
    path = str(tmp_path / "written.asc")
    tessgrid.write(path, tessgrid.Grid(cells, xll=1000, yll=2000, cellsize=25))
    return numpy.asarray(tessgrid.read(path))


def test_cluster_results_equal_the_tools(client, tmp_path, tool):
    paths = series(tmp_path, 24)
    stack = [chunked(path) for path in paths]
    assert stack[0].npartitions == 4

    average = client.compute(tgd.average(stack)).result()
    assert numpy.array_equal(as_written(tmp_path, average),
                             numpy.asarray(tool("average", "{out}", *paths)))

    calc = client.compute(tgd.calc("isnodata(A) ? B : (A - B) / 2", A=stack[0],
                                   B=stack[5])).result()
    expected = tool("calc", "{out}", "--expr", "isnodata(A) ? B : (A - B) / 2", "-A", paths[0],
                    "-B", paths[5])
    assert numpy.array_equal(as_written(tmp_path, calc), numpy.asarray(expected))

    # Chunk edges fall inside the new cells' rows and columns, and the bilinear rims reach over.
    for resolution, method in ((10.0, "bilinear"), (62.5, "bilinear"), (50.0, "near")):
        resampled = client.compute(tgd.resample(stack[3], resolution, method, cellsize=25))
        expected = tool("resample", paths[3], "{out}", "--resolution", str(resolution),
                        "--method", method)
        assert numpy.array_equal(as_written(tmp_path, resampled.result()), numpy.asarray(expected))

    with pytest.raises(tessgrid.Error, match="unexpected end of expression"):
        client.compute(tgd.calc("A +", A=stack[0])).result()
