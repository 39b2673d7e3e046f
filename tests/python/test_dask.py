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


def test_arrays_of_other_shapes_are_refused_when_the_graph_is_built():
    # One chunk of 1000 x 1000 against nine would be repeated over them by map_blocks.
    large = dask.array.zeros((3000, 3000), chunks=1000)
    small = dask.array.zeros((1000, 1000), chunks=1000)
    cases = [
        (lambda: tgd.calc("A + B", A=large, B=small),
         "A has shape (3000, 3000) and B has shape (1000, 1000); the arrays must have one shape"),
        (lambda: tgd.calc("A + B + C", C=small, A=large, B=large),
         "A has shape (3000, 3000) and C has shape (1000, 1000); the arrays must have one shape"),
        (lambda: tgd.average([large, large, small]),
         "dask_arrays[0] has shape (3000, 3000) and dask_arrays[2] has shape (1000, 1000); the "
         "arrays must have one shape"),
        (lambda: tgd.average([large.T[:, :2000], large[:, :2000].T]),
         "dask_arrays[0] has shape (3000, 2000) and dask_arrays[1] has shape (2000, 3000); the "
         "arrays must have one shape"),
        (lambda: tgd.calc("A", A=dask.array.zeros((4, 3, 2))),
         "A must be a 2-D array of numbers, not of shape (4, 3, 2)"),
        (lambda: tgd.average([large, large[:0]]),
         "dask_arrays[1] has no cells (0 x 3000); an operation needs one row and one column or "
         "more"),
        (lambda: tgd.calc("A", A=large[large[:, 0] > 0]),
         "A has chunks of unknown size; call compute_chunk_sizes() on it first"),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            call()
        assert str(failure.value) == message


def test_arrays_chunked_differently_are_rechunked_to_the_first_ones_chunks(client):
    rng = numpy.random.default_rng(5)
    cells = [numpy.round(rng.normal(50.0, 9.0, size=(90, 70)), 2) for _ in range(3)]
    cells[1][rng.random((90, 70)) < 0.05] = -9999.0
    arrays = [dask.array.from_array(cells[0], chunks=(30, 35)),
              dask.array.from_array(cells[1], chunks=(45, 20)),
              dask.array.from_array(cells[2], chunks=((10, 80), (70,)))]
    mean = tgd.average(arrays)
    assert mean.chunks == arrays[0].chunks
    assert numpy.array_equal(client.compute(mean).result(),
                             numpy.asarray(tessgrid.average(cells)))
    difference = tgd.calc("A - B * C", B=arrays[1], C=arrays[2], A=arrays[0])
    assert difference.chunks == arrays[0].chunks
    assert numpy.array_equal(client.compute(difference).result(),
                             numpy.asarray(tessgrid.calc("A - B * C", A=cells[0], B=cells[1],
                                                         C=cells[2])))
