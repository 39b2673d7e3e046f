// ops/Aggregation.cpp - cell-wise sum, data counts, average and moving average over lists of
// maps. The declarations and their contracts are in ops/TMapTools.h.
#include <cstddef>
#include <memory>
#include <vector>

#include "model/AxisSearch.h"
#include "model/Fail.h"
#include "ops/AxisLookup.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Coordinate;
using tessgrid::detail::Fail;
using tessgrid::detail::LookupIndices;

using tessgrid::detail::FillRows;
using tessgrid::detail::NewUnfilledResultOnGrid;
using tessgrid::detail::ReleaseAll;
using tessgrid::detail::RowOf;

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

// One row of every map of the list, with each map's no-data value, so that the cell loops
// read plain arrays.
class TRowSet {
 public:
  explicit TRowSet(const std::vector<TMap*>& VecMaps)
      : MbrVecMaps(VecMaps), MbrVecRows(VecMaps.size()), MbrVecNoData(VecMaps.size()) {
    for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
      MbrVecNoData[LngI] = VecMaps[LngI]->MbrDblNoDataValue;
    }
  }

  void Select(long LngY) {
    for (std::size_t LngI = 0; LngI < MbrVecMaps.size(); ++LngI) {
      MbrVecRows[LngI] = RowOf(*MbrVecMaps[LngI], LngY);
    }
  }

  // The running sum stops at the first map, in list order, that has no data at the cell, and
  // the cell takes that map's no-data value. The order of the additions is part of the result.
  double Sum(long LngX) const {
    double DblSum = 0.0;
    for (std::size_t LngI = 0; LngI < MbrVecRows.size(); ++LngI) {
      const double DblCell = MbrVecRows[LngI][LngX];
      if (DblCell == MbrVecNoData[LngI]) {
        return MbrVecNoData[LngI];
      }
      DblSum = LngI == 0 ? DblCell : DblSum + DblCell;
    }
    return DblSum;
  }

  double Count(long LngX) const {
    double DblCount = 0.0;
    for (std::size_t LngI = 0; LngI < MbrVecRows.size(); ++LngI) {
      if (MbrVecRows[LngI][LngX] != MbrVecNoData[LngI]) {
        DblCount += 1.0;
      }
    }
    return DblCount;
  }

 private:
  const std::vector<TMap*>& MbrVecMaps;
  std::vector<const double*> MbrVecRows;
  std::vector<double> MbrVecNoData;
};

// Fills a result built on the first map's grid with a per-cell rule over the list.
template <typename TRule>
void FillFromRows(const std::vector<TMap*>& VecMaps, TMap& Result, TRule Rule) {
  TRowSet Rows(VecMaps);
  const TMap& First = *VecMaps.front();
  FillRows(Result, First.MbrLngXDim, First.MbrLngYDim, [&](long LngY, double* PtrOut) {
    Rows.Select(LngY);
    for (long LngX = 0; LngX < First.MbrLngXDim; ++LngX) {
      PtrOut[LngX] = Rule(Rows, LngX);
    }
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
  FillFromRows(VecMaps, *PtrResult, [](const TRowSet& Rows, long LngX) { return Rows.Sum(LngX); });
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
  FillFromRows(VecMaps, *PtrResult,
               [](const TRowSet& Rows, long LngX) { return Rows.Count(LngX); });
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
  // division tests; a count is never -9999.
  const double DblNoData = PtrResult->MbrDblNoDataValue;
  FillFromRows(VecMaps, *PtrResult, [DblNoData](const TRowSet& Rows, long LngX) {
    const double DblSum = Rows.Sum(LngX);
    return DblSum == DblNoData ? DblNoData : DblSum / Rows.Count(LngX);
  });
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
