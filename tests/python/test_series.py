# tests/python/test_series.py - tessgrid's series over generated data against numpy's reductions:
# minimum and maximum under the no-data rule of the sum, and sum, average, minimum and maximum
# over the grids with data (skip_nodata=, min_count=), on one thread and several, whole and in
# dask chunks; the arguments' failures in their words.
import warnings

import numpy
import pytest

import tessgrid

OPERATIONS = {"sum": numpy.nansum, "average": numpy.nanmean, "minimum": numpy.nanmin,
              "maximum": numpy.nanmax}


def generated_stack(seed, count=5, shape=(37, 301)):
    """count grids with about a third of their cells NaN, and a few cells NaN in every grid."""
    random = numpy.random.default_rng(seed)
    stack = random.uniform(-1000.0, 1000.0, (count,) + shape)
    stack[random.uniform(size=stack.shape) < 0.35] = numpy.nan
    stack[:, 3, 5:40] = numpy.nan
    return stack


def expected_present(name, stack, min_count):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # all-NaN cells
        expected = OPERATIONS[name](stack, axis=0)
    expected[numpy.sum(~numpy.isnan(stack), axis=0) < min_count] = numpy.nan
    return expected


@pytest.mark.parametrize("name", sorted(OPERATIONS))
def test_aggregates_over_the_grids_with_data_equal_numpys_nan_reductions(name):
    stack = generated_stack(7)
    operation = getattr(tessgrid, name)
    grids = [tessgrid.Grid(layer, nodata=numpy.nan) for layer in stack]
    for threads in (1, 2, 3):
        result = operation(grids, skip_nodata=True, threads=threads)
        numpy.testing.assert_array_equal(numpy.asarray(result), expected_present(name, stack, 1))
        assert numpy.isnan(result.nodata)
    for min_count in (1, 3, 5):
        result = operation(grids, min_count=min_count)
        numpy.testing.assert_array_equal(numpy.asarray(result),
                                         expected_present(name, stack, min_count))
    # Plain arrays in the library's no-data -9999, read where they lie, give the same cells.
    arrays = [numpy.where(numpy.isnan(layer), -9999.0, layer) for layer in stack]
    before = [array.copy() for array in arrays]
    result = numpy.asarray(operation(arrays, min_count=2))
    expected = expected_present(name, stack, 2)
    numpy.testing.assert_array_equal(result, numpy.where(numpy.isnan(expected), -9999.0, expected))
    assert all(numpy.array_equal(a, b) for a, b in zip(arrays, before))


def test_minimum_and_maximum_take_the_no_data_rule_of_the_sum():
    stack = generated_stack(11)
    grids = [tessgrid.Grid(layer, nodata=numpy.nan) for layer in stack]
    for name, reduce in (("minimum", numpy.min), ("maximum", numpy.max), ("sum", numpy.sum)):
        # numpy's plain reductions carry a NaN through: no-data wherever any grid has none.
        numpy.testing.assert_array_equal(numpy.asarray(getattr(tessgrid, name)(grids)),
                                         reduce(stack, axis=0), err_msg=name)
    assert tessgrid.minimum([numpy.ones((2, 2), numpy.float32)] * 2).dtype == numpy.float32


def test_series_arguments_outside_their_range_fail_in_their_words():
    grids = [numpy.ones((2, 2))] * 3
    for call, message in (
            (lambda: tessgrid.sum(grids, min_count=0),
             "min_count must be from 1 to the number of grids (3), not 0"),
            (lambda: tessgrid.average(grids, min_count=4),
             "min_count must be from 1 to the number of grids (3), not 4"),
            (lambda: tessgrid.minimum(grids[:1]), "minimum needs two or more grids, got 1"),
            (lambda: tessgrid.maximum([]), "maximum needs two or more grids, got 0"),
            (lambda: tessgrid.maximum(grids, threads=0), "threads must be 1 or more"),
            (lambda: tessgrid.sum([numpy.array([[-5000.0]]), numpy.array([[-4999.0]])],
                                  skip_nodata=True),
             "the result at row 0, column 0 comes to -9999, which the library's operations take "
             "for no-data; tessgrid cannot keep it as data")):
        with pytest.raises(tessgrid.Error) as raised:
            call()
        assert str(raised.value) == message


def test_series_in_dask_chunks_equal_the_whole_arrays():
    dask_array = pytest.importorskip("dask.array")
    stack = generated_stack(13, count=4, shape=(90, 70))
    chunked = [dask_array.from_array(layer, chunks=(40, 30)) for layer in stack]
    import tessgrid.dask as tgd
    for name in ("average", "minimum", "maximum"):
        lazy = getattr(tgd, name)(chunked, nodata=numpy.nan, skip_nodata=True)
        numpy.testing.assert_array_equal(lazy.compute(), expected_present(name, stack, 1))
    numpy.testing.assert_array_equal(
        tgd.minimum(chunked, nodata=numpy.nan, min_count=4).compute(),
        numpy.asarray(tessgrid.minimum(list(stack), nodata=numpy.nan)))
