// engine/SeriesOperation.cpp - the series operations' cell rule and their run over loaded maps.
// The contracts are in engine/SeriesOperation.h.
#include "engine/SeriesOperation.h"

#include <algorithm>

#include "engine/NoDataModel.h"
#include "ops/LibraryNoData.h"

namespace tessgrid::detail {

std::size_t FewestSeriesInputs(TSeriesRule Rule) {
  return Rule == TSeriesRule::kCount ? 1 : 2;
}

TSeriesCellRule::TSeriesCellRule(const TSeriesOptions& Options, std::size_t LngInputs)
    : MbrOptions(Options), MbrVecNoData(LngInputs, kDblLibraryNoData) {}

long TSeriesCellRule::Row(long, std::size_t, const double* const* PtrRows, std::size_t LngInputs,
                          std::size_t LngColumns, double* PtrOut) {
  if (MbrOptions.Rule == TSeriesRule::kCount) {
    // A count is never -9999.
    SeriesRow(MbrOptions.Rule, PtrRows, MbrVecNoData.data(), LngInputs, LngColumns, PtrOut);
    return -1;
  }
  if (MbrOptions.LngMinCount > 0) {
    return PresentSeriesRow(MbrOptions.Rule, PtrRows, MbrVecNoData.data(), LngInputs, LngColumns,
                            MbrOptions.LngMinCount, kDblLibraryNoData, PtrOut);
  }
  SeriesRow(MbrOptions.Rule, PtrRows, MbrVecNoData.data(), LngInputs, LngColumns, PtrOut);
  return DataLostColumn(PtrRows, LngInputs, PtrOut, LngColumns);
}

void SeriesIntoFirst(const TSeriesOptions& Options, const std::vector<TMap*>& VecMaps) {
  TSeriesCellRule Rule(Options, VecMaps.size());
  TMap& First = *VecMaps.front();
  const std::size_t LngColumns = static_cast<std::size_t>(First.MbrLngXDim);
  std::vector<const double*> VecRows(VecMaps.size());
  // The row is combined aside: the check of a lost cell reads the first map's row as it was.
  std::vector<double> VecResult(LngColumns);
  for (std::size_t LngRow = 0; LngRow < First.MbrVecValues.size(); ++LngRow) {
    for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
      VecRows[LngI] = VecMaps[LngI]->MbrVecValues[LngRow].data();
    }
    const long LngLost =
        Rule.Row(0, LngRow, VecRows.data(), VecRows.size(), LngColumns, VecResult.data());
    if (LngLost >= 0) {
      FailDataLost(LngRow, static_cast<std::size_t>(LngLost));
    }
    std::copy(VecResult.begin(), VecResult.end(), First.MbrVecValues[LngRow].begin());
  }
}

}  // namespace tessgrid::detail
