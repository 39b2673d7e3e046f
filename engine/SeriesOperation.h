// engine/SeriesOperation.h - the series operations (sum, count, average, minimum, maximum, each
// under the sum's no-data rule or over the data present) composed once for every face.
// engine/SeriesOperation.cpp holds them; the tool streams them over files, Python over arrays.
#ifndef ENGINE_SERIESOPERATION_H
#define ENGINE_SERIESOPERATION_H

#include <cstddef>
#include <vector>

#include "engine/CellRule.h"
#include "model/TMap.h"
#include "ops/SeriesRows.h"

namespace tessgrid::detail {

/// What a series operation computes: the rule, and where it leaves no-data. With
/// LngMinCount 0 a cell is no-data wherever an input has no data there (the library's Sum,
/// Average and DataCounts); with LngMinCount n >= 1 the rule runs over the inputs that have
/// data and the cell is no-data where fewer than n of them do.
struct TSeriesOptions {
  TSeriesRule Rule = TSeriesRule::kSum;  ///< the cell rule
  std::size_t LngMinCount = 0;           ///< 0, or 1 to the number of inputs
};

/// Returns the fewest inputs the operation takes: 1 for the count, else 2.
std::size_t FewestSeriesInputs(TSeriesRule Rule);

/// The operation's cell rule over rows in the library's no-data, immutable and shared by every
/// worker. Row returns the first column where a result from data came to -9999 (for the
/// library's rule, where no input is -9999: CheckDataKept's test), or -1; a count never does.
class TSeriesCellRule final : public TCellRule {
 public:
  /// Rows of up to LngInputs inputs; Options.LngMinCount must not exceed it.
  TSeriesCellRule(const TSeriesOptions& Options, std::size_t LngInputs);

  std::size_t FewestInputs() const override { return FewestSeriesInputs(MbrOptions.Rule); }
  long Row(long LngWorker, std::size_t LngRow, const double* const* PtrRows, std::size_t LngInputs,
           std::size_t LngColumns, double* PtrOut) override;

 private:
  TSeriesOptions MbrOptions;         ///< as given
  std::vector<double> MbrVecNoData;  ///< -9999 for every input a row may have
};

/// Runs the operation over maps already in the library's no-data that share one grid (as many
/// rows and columns each), writing each result row over the first map's row: the first map
/// becomes the result. Runs on the calling thread. VecMaps must hold FewestSeriesInputs or more.
/// Throws "the result at row <r>, column <c> comes to -9999, ..." (FailDataLost) for the first
/// cell, in row order, whose result from data is -9999; the first map's rows before it are then
/// results already.
void SeriesIntoFirst(const TSeriesOptions& Options, const std::vector<TMap*>& VecMaps);

}  // namespace tessgrid::detail

#endif  // ENGINE_SERIESOPERATION_H
