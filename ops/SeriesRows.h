// ops/SeriesRows.h - the cell rules over a series of maps written once, a row at a time: sum, data
// count, average, minimum and maximum, under the no-data rule of the sum or over the inputs with
// data. ops/SeriesRows.cpp holds them; ops/Aggregation.cpp and the series operations use them.
#ifndef OPS_SERIESROWS_H
#define OPS_SERIESROWS_H

#include <cstddef>

namespace tessgrid::detail {

/// The rules that combine the cells of a series, one result cell from the cells of every input
/// at the same column and row.
enum class TSeriesRule {
  kSum,      ///< the running sum, the inputs added in list order
  kCount,    ///< the number of inputs with data, as a real
  kAverage,  ///< the sum over the count of inputs with data, as TMapTools::Average has it
  kMinimum,  ///< the least value; of equal values the first in list order
  kMaximum,  ///< the greatest value; of equal values the first in list order
};

/// Combines cell k of the rows PtrRows[0] to PtrRows[LngInputs - 1] (LngInputs >= 1), input i's
/// no-data value being PtrNoData[i], into PtrResult[k] by the rule. A cell is no-data in an
/// input when it equals that input's no-data value (exact equality: NaN is never no-data).
/// Sum, minimum and maximum: a cell that is no-data in any input is the no-data value of the
/// first such input in list order, whatever the others hold. A NaN cell of an input with data
/// makes the sum NaN as the additions do; minimum and maximum are the first NaN then, so that
/// every cell is a function of its inputs' values alone.
/// Average: the sum as above, then -9999 (kDblLibraryNoData, the sum's own no-data value) where
/// the sum is -9999, else the sum divided by the count of inputs with data at the cell.
/// Count: the inputs whose cell is not their no-data value.
/// The result row may be one of the input rows.
void SeriesRow(TSeriesRule Rule, const double* const* PtrRows, const double* PtrNoData,
               std::size_t LngInputs, std::size_t LngColumns, double* PtrResult);

/// The rule over the inputs that have data at each cell, as SeriesRow takes its rows: the sum
/// of their cells added in list order (the first one's cell as it is, then each later one
/// added), their average (that sum over their count), or their minimum or maximum (of equal
/// values the first in list order, the first NaN where one holds NaN). A cell where fewer than
/// LngMinCount inputs (taken as 1 when 0) have data is DblNoData. Count: as SeriesRow.
/// Returns the first column whose cell came from data to DblNoData, which the caller could not
/// tell from no-data, or -1. The result row may be one of the input rows.
long PresentSeriesRow(TSeriesRule Rule, const double* const* PtrRows, const double* PtrNoData,
                      std::size_t LngInputs, std::size_t LngColumns, std::size_t LngMinCount,
                      double DblNoData, double* PtrResult);

}  // namespace tessgrid::detail

#endif  // OPS_SERIESROWS_H
