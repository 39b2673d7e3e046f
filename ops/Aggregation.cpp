// ops/Aggregation.cpp - cell-wise sum, data counts, average and moving average over lists of
// maps. The declarations and their contracts are in ops/TMapTools.h.
#include <cstddef>
#include <memory>
#include <vector>

#include "model/AxisSearch.h"
#include "model/Fail.h"
#include "ops/AxisLookup.h"
#include "ops/ResultGrid.h"
#include "ops/SeriesRows.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Coordinate;
using tessgrid::detail::Fail;
using tessgrid::detail::LookupIndices;

using tessgrid::detail::FillRows;
using tessgrid::detail::NewUnfilledResultOnGrid;
using tessgrid::detail::ReleaseAll;
using tessgrid::detail::RowOf;
using tessgrid::detail::SeriesRow;
using tessgrid::detail::TSeriesRule;

namespace {

const char* const kPtrSumCountMessage = "Must have more than 2 maps to sum in TMapTools::Sum";
const char* const kPtrSumNoAxesMessage = "Map has no axes in TMapTools::Sum";

// Every map after the first must have the first map's dimensions, X checked before Y.
void CheckDimensions(const std::vector<TMap*>& VecMaps, const char* PtrXMessage,
                     const char* PtrYMessage) {
  const TMap* PtrFirst = VecMaps.front();
  for (std::size_t LngI = 1; LngI < VecMaps.size(); ++LngI) {
    if (VecMaps[LngI]->MbrLngXDim != PtrFirst->MbrLngXDim) {
      Fail(PtrXMessage);
    }
    if (VecMaps[LngI]->MbrLngYDim != PtrFirst->MbrLngYDim) {
      Fail(PtrYMessage);
    }
  }
}

// Fills a result built on the first map's grid with the series rule (ops/SeriesRows.h), row by
// row over the rows of every map of the list and each map's no-data value.
void FillFromRows(const std::vector<TMap*>& VecMaps, TMap& Result, TSeriesRule Rule) {
  std::vector<const double*> VecRows(VecMaps.size());
  std::vector<double> VecNoData(VecMaps.size());
  for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
    VecNoData[LngI] = VecMaps[LngI]->MbrDblNoDataValue;
  }
  const TMap& First = *VecMaps.front();
  const std::size_t LngColumns = static_cast<std::size_t>(First.MbrLngXDim);
  FillRows(Result, First.MbrLngXDim, First.MbrLngYDim, [&](long LngY, double* PtrOut) {
    for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
      VecRows[LngI] = RowOf(*VecMaps[LngI], LngY);
    }
    SeriesRow(Rule, VecRows.data(), VecNoData.data(), VecRows.size(), LngColumns, PtrOut);
  });
}

// True when the lookup of each centre on the grid's own edges finds the centre's own cell. Then
// dividing a map on this grid by another on the same grid pairs every cell with itself, and the
// average can be taken in one pass with the same result.
bool CentresFindTheirCells(const TMap& Grid, const TAxis& Centres, const TAxis& Edges,
                           char ChrAxis) {
  std::vector<double> VecCoordinates;
  VecCoordinates.reserve(Centres.MbrVecPoints.size());
  for (const TPoint* PtrPoint : Centres.MbrVecPoints) {
    if (PtrPoint == nullptr) {
      return false;  // the division refuses an empty centre slot
    }
    VecCoordinates.push_back(Coordinate(PtrPoint, ChrAxis));
  }
  const std::vector<long> VecIndices = LookupIndices(Edges, VecCoordinates, ChrAxis).MbrVecIndices;
  const long LngDim = ChrAxis == 'X' ? Grid.MbrLngXDim : Grid.MbrLngYDim;
  for (long LngI = 0; LngI < LngDim; ++LngI) {
    // Lookups that find no interval give -1, which no cell index equals.
    if (VecIndices[static_cast<std::size_t>(LngI)] != LngI) {
      return false;
    }
  }
  return true;
}

// Average as its definition composes it; used when the one-pass form could differ.
TMap* ComposedAverage(const std::vector<TMap*>& VecMaps) {
  const std::unique_ptr<TMap> PtrSum(TMapTools::Sum(VecMaps));
  const std::unique_ptr<TMap> PtrCounts(TMapTools::DataCounts(VecMaps));
  return TMapTools::Divide(PtrSum.get(), PtrCounts.get());
}

}  // namespace

TMap* TMapTools::Sum(std::vector<TMap*> VecMaps) {
  if (VecMaps.size() < 2) {
    Fail(kPtrSumCountMessage);
  }
  CheckDimensions(VecMaps, "X-dimension of maps are inconsistent in TMapTools::Sum",
                  "Y-dimension of maps are inconsistent in TMapTools::Sum");
  std::unique_ptr<TMap> PtrResult = NewUnfilledResultOnGrid(*VecMaps.front(), kPtrSumNoAxesMessage);
  FillFromRows(VecMaps, *PtrResult, TSeriesRule::kSum);
  return PtrResult.release();
}

TMap* TMapTools::DataCounts(std::vector<TMap*> VecMaps) {
  if (VecMaps.empty()) {
    Fail("Must have at least 1 map in TMapTools::DataCounts");
  }
  CheckDimensions(VecMaps, "X-dimension of maps are inconsistent in TMapTools::DataCounts",
                  "Y-dimension of maps are inconsistent in TMapTools::DataCounts");
  std::unique_ptr<TMap> PtrResult =
      NewUnfilledResultOnGrid(*VecMaps.front(), "Map has no axes in TMapTools::DataCounts");
  FillFromRows(VecMaps, *PtrResult, TSeriesRule::kCount);
  return PtrResult.release();
}

TMap* TMapTools::Average(std::vector<TMap*> VecMaps) {
  // The checks of Sum cover those of DataCounts: the same dimensions, a longer list.
  if (VecMaps.size() < 2) {
    Fail(kPtrSumCountMessage);
  }
  CheckDimensions(VecMaps, "X-dimension of maps are inconsistent in TMapTools::Sum",
                  "Y-dimension of maps are inconsistent in TMapTools::Sum");
  std::unique_ptr<TMap> PtrResult = NewUnfilledResultOnGrid(*VecMaps.front(), kPtrSumNoAxesMessage);
  if (!CentresFindTheirCells(*PtrResult, *PtrResult->MbrPtrXAxis, *PtrResult->MbrPtrXAxisInterval,
                             'X') ||
      !CentresFindTheirCells(*PtrResult, *PtrResult->MbrPtrYAxis, *PtrResult->MbrPtrYAxisInterval,
                             'Y')) {
    // Degenerate axes (a zero resolution, centres on their edges): the division would pair
    // cells differently or fail, and the composition says how.
    PtrResult.reset();
    return ComposedAverage(VecMaps);
  }
  // The sum's no-data value and the counts' are the constructor's -9999, which is what the
  // division tests and the average rule keeps; a count is never -9999.
  FillFromRows(VecMaps, *PtrResult, TSeriesRule::kAverage);
  return PtrResult.release();
}

std::vector<TMap*> TMapTools::MovingAverage(std::vector<TMap*> VecMaps, int IntWindow) {
  const long LngCount = static_cast<long>(VecMaps.size());
  const long LngWindow = IntWindow;
  if (LngWindow > LngCount) {
    return {};
  }
  // Windows of fewer than two maps would each fail in Sum; a negative length has no window.
  if (LngWindow < 2) {
    Fail(kPtrSumCountMessage);
  }
  const long LngWindows = LngCount - LngWindow + 1;
  std::vector<std::unique_ptr<TMap>> VecOwned;
  VecOwned.reserve(static_cast<std::size_t>(LngWindows));
  for (long LngStart = 0; LngStart < LngWindows; ++LngStart) {
    const auto ItFirst = VecMaps.begin() + LngStart;
    VecOwned.emplace_back(Average(std::vector<TMap*>(ItFirst, ItFirst + LngWindow)));
  }
  return ReleaseAll(VecOwned);
}
