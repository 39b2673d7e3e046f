# tests/python/test_dask.py - tessgrid.dask on a local cluster of two worker processes equals
# tessgrid-tool on the same files, cell for cell.
import os
import re

import numpy
import pytest

import tessgrid

distributed = pytest.importorskip("distributed")
import tessgrid.dask as tgd  # noqa: E402  (needs dask, which distributed brings)
import dask.array  # noqa: E402
import dask.config  # noqa: E402


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


def odd_dataarray(rng, shape, chunks, nodata_share=0.03):
    cells = numpy.round(rng.normal(100.0, 30.0, size=shape), 2).astype(numpy.float32)
    cells[rng.random(shape) < nodata_share] = -9999.0
    grid = tessgrid.Grid(cells, xll=431234.5, yll=5012345.0, cellsize=12.5, crs=UTM)
    return grid, grid.to_xarray(masked=False).chunk(chunks)


UTM = ('PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",'
       '6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],'
       'PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],'
       'PARAMETER["central_meridian",15],PARAMETER["scale_factor",0.9996],'
       'PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1],'
       'AUTHORITY["EPSG","32633"]]')


def gdal_facts(path):
    gdal = pytest.importorskip("osgeo.gdal")
    dataset = gdal.Open(str(path))
    return {"block": dataset.GetRasterBand(1).GetBlockSize(),
            "compression": dataset.GetMetadata("IMAGE_STRUCTURE").get("COMPRESSION")}


def test_dataarrays_keep_coordinates_crs_and_nodata_through_the_cluster(client):
    pytest.importorskip("rioxarray")
    rng = numpy.random.default_rng(21)
    (ga, a), (gb, b) = (odd_dataarray(rng, (90, 70), (40, 30)) for _ in range(2))
    lazy = tgd.calc("A * 2 - B", A=a, B=b.rio.write_nodata(-9999.0))
    mean = tgd.average([a, b])
    for result, expected in ((lazy, tessgrid.calc("A * 2 - B", A=ga, B=gb)),
                             (mean, tessgrid.average([ga, gb]))):
        assert result.chunks == a.chunks and result.dtype == numpy.float32
        computed = client.compute(result).result()
        assert computed.rio.transform() == ga.transform and computed.rio.crs.to_epsg() == 32633
        assert numpy.array_equal(computed.x, a.x) and numpy.array_equal(computed.y, a.y)
        assert computed.rio.nodata == -9999.0
        assert numpy.array_equal(computed.values, numpy.asarray(expected))
    # resample: the library's new grid (west and north kept), one band of a raster too.
    for given in (a, a.expand_dims("band")):
        coarse = client.compute(tgd.resample(given, 30.0, "bilinear")).result()
        whole = tessgrid.resample(ga, 30.0, "bilinear", dtype="float64")
        assert coarse.rio.transform() == whole.transform and coarse.rio.crs.to_epsg() == 32633
        assert coarse.rio.nodata == -9999.0
        assert numpy.array_equal(coarse.values, numpy.asarray(whole))
    shifted = a.assign_coords(x=a.x + 12.5).rio.write_transform(None)
    with pytest.raises(tessgrid.Error, match=r"^grids are not aligned: A and B differ in "
                                             r"xllcorner \(431234\.5 vs 431247\)$"):
        tgd.calc("A + B", A=a, B=shifted.drop_vars("spatial_ref"))


def test_to_raster_writes_chunk_by_chunk_and_leaves_no_half_file(client, tmp_path):
    if not tessgrid.has_rasters:
        with pytest.raises(tessgrid.Error, match="built without GDAL"):
            tgd.to_raster(dask.array.zeros((4, 4)), tmp_path / "x.tif")
        return
    rng = numpy.random.default_rng(8)
    grid, da = odd_dataarray(rng, (700, 530), (300, 200))
    path = tmp_path / "out.tif"
    tgd.to_raster(tgd.calc("A + 1", A=da), path)
    written = tessgrid.read(path)
    expected = tessgrid.calc("A + 1", A=grid)
    assert (written.transform, written.dtype, written.nodata) == (grid.transform, numpy.float32,
                                                                  -9999.0)
    assert numpy.array_equal(numpy.asarray(written), numpy.asarray(expected))
    facts = gdal_facts(path)
    assert (facts["block"], facts["compression"]) == ([256, 256], "DEFLATE")
    # A plain array: placed by its keywords; a masked DataArray: its encoded value in the file.
    plain = dask.array.from_array(numpy.asarray(expected), chunks=(256, 512))
    tgd.to_raster(plain, tmp_path / "plain.tif", xll=5.0, yll=7.0, cellsize=2.0, type="Float64")
    assert tessgrid.read(tmp_path / "plain.tif").transform == tessgrid.Grid(
        numpy.asarray(expected), 5.0, 7.0, 2.0).transform
    tgd.to_raster(grid.to_xarray().chunk(256), tmp_path / "masked.tif", nodata=-1.0)
    assert numpy.array_equal(numpy.asarray(tessgrid.read(tmp_path / "masked.tif")),
                             numpy.where(numpy.asarray(grid) == -9999.0, -1.0, numpy.asarray(grid)))
    # A chunk that fails its checks leaves the file as it was and no temporary beside it.
    before = path.read_bytes()
    names = sorted(os.listdir(tmp_path))
    cases = [
        (lambda: tgd.to_raster(tgd.calc("A * 1000", A=da), path, type="Int16"),
         # Whichever chunk fails first is named: the cluster decides the order.
         r"%s: the result holds \d+ at row \d+, column \d+, which does not fit Int16 \(a whole "
         r"number from -32768 to 32767\)$" % re.escape(str(path))),
        (lambda: tgd.to_raster(da, tmp_path / "x.png"),
         re.escape("to_raster writes GeoTIFF: %s needs a name ending .tif or .tiff"
                   % (tmp_path / "x.png"))),
        (lambda: tgd.to_raster(da, path, options=["TILED=NO"]),
         "^to_raster writes tiled GeoTIFFs, each tile from one chunk; TILED=NO is refused$"),
        (lambda: tgd.to_raster(da, path, cellsize=3.0),
         "^cellsize= is for plain arrays: a DataArray brings its own georeference$"),
        (lambda: tgd.to_raster(dask.array.zeros((3, 3)), path, nodata=300, type="Byte"),
         re.escape("%s: the NODATA_value 300 does not fit Byte (a whole number from 0 to 255); "
                   "choose another with nodata=" % path)),
    ]
    for call, message in cases:
        with pytest.raises(tessgrid.Error) as failure:
            call()
        assert re.match(message, str(failure.value)), str(failure.value)
    assert path.read_bytes() == before and sorted(os.listdir(tmp_path)) == names
    with pytest.raises(FileNotFoundError):
        tgd.to_raster(da, tmp_path / "no" / "x.tif")
    with dask.config.set(scheduler="processes"):
        with pytest.raises(tessgrid.Error, match="^to_raster needs lock=, a lock every process "
                                                 "shares, on the processes scheduler$"):
            tgd.to_raster(plain, tmp_path / "p.tif")


def test_chunks_move_into_the_raster_as_their_compressed_tiles_and_only_as_whole_tiles(tmp_path):
    if not tessgrid.has_rasters:
        pytest.skip("this tessgrid was built without GDAL")
    from tessgrid import _tessgrid
    rng = numpy.random.default_rng(31)
    cells = numpy.round(rng.normal(100.0, 30.0, (600, 520)), 2)
    cells[:300, :256] = -9999.0  # tiles of no-data only, which GDAL leaves out of a chunk
    path = str(tmp_path / "staged.tif")

    def chunk(file, row, column, rows, columns, options=()):
        return _tessgrid._write_raster_chunk(file, path, row, column,
                                             cells[row:row + rows, column:column + columns],
                                             -9999.0, -9999.0, "Float32", list(options))

    def place(file, row, column, rows, columns, options=()):
        _tessgrid._place_raster_chunk(chunk(file, row, column, rows, columns, options), file,
                                      path, row, column)

    def fill(file):
        place(file, 0, 0, 256, 520)
        place(file, 0, 0, 256, 520)  # a task run twice places its chunk again
        place(file, 256, 0, 344, 256)
        place(file, 256, 256, 344, 264)
        refused = [
            ((256, 100, 344, 256), (), "does not cover whole tiles of the raster"),
            ((0, 0, 100, 520), (), "does not cover whole tiles of the raster"),
            ((256, 0, 344, 256), ("COMPRESS=LZW",), "is not laid out in tiles as the raster is"),
            ((0, 0, 256, 256), ("BLOCKXSIZE=128",), "is not laid out in tiles as the raster is"),
        ]
        for (row, column, rows, columns), options, why in refused:
            name = chunk(file, row, column, rows, columns, options)
            with pytest.raises(tessgrid.Error) as failure:
                _tessgrid._place_raster_chunk(name, file, path, row, column)
            assert str(failure.value) == ("Unable to write file %s: the chunk at row %d, column "
                                          "%d %s" % (path, row, column, why))
            os.remove(name)

    _tessgrid._stage_raster(path, 600, 520, 10.0, 20.0, 5.0, -9999.0, None, "Float32", [], fill)
    written = tessgrid.read(path)
    assert numpy.array_equal(numpy.asarray(written), cells.astype(numpy.float32))
    assert (written.xll, written.yll, written.cellsize, written.nodata) == (10.0, 20.0, 5.0,
                                                                            -9999.0)
    assert sorted(os.listdir(tmp_path)) == ["staged.tif"]


def test_the_large_raster_path_on_a_local_cluster_equals_plain_dask(client, tmp_path):
    rioxarray = pytest.importorskip("rioxarray")
    if not tessgrid.has_rasters:
        pytest.skip("this tessgrid was built without GDAL")
    # The path bench/dask_rasters.py measures at 20000 x 20000: tiled GeoTIFFs read in chunks,
    # calc over three, a tiled GeoTIFF written chunk by chunk; here at 600 x 500.
    rng = numpy.random.default_rng(30)
    paths = []
    for name in "ABC":
        grid, _ = odd_dataarray(rng, (600, 500), (600, 500), nodata_share=0.01)
        paths.append(tmp_path / (name + ".tif"))
        tessgrid.write(paths[-1], grid)
    inputs = [rioxarray.open_rasterio(p, chunks=(1, 256, 256)) for p in paths]
    tgd.to_raster(tgd.calc("(A + B) * C / 2", A=inputs[0], B=inputs[1], C=inputs[2]),
                  tmp_path / "ours.tif")
    masked = [rioxarray.open_rasterio(p, chunks=(1, 256, 256), masked=True).astype("float64")
              for p in paths]
    plain = ((masked[0] + masked[1]) * masked[2] / 2).astype("float32")
    plain.rio.write_nodata(-9999.0, encoded=True, inplace=True)
    plain.rio.to_raster(tmp_path / "plain.tif", tiled=True, lock=distributed.Lock("plain"))
    ours = rioxarray.open_rasterio(tmp_path / "ours.tif")
    theirs = rioxarray.open_rasterio(tmp_path / "plain.tif")
    assert ours.rio.transform() == theirs.rio.transform() and ours.rio.crs == theirs.rio.crs
    assert ours.dtype == theirs.dtype == numpy.float32
    assert numpy.array_equal(ours.values, theirs.values)
