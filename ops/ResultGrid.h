// ops/ResultGrid.h - the shared start of every operation that builds its result on the grid of
// one input map, and the hand-over of a list of results. Only the ops/ sources use it.
#ifndef OPS_RESULTGRID_H
#define OPS_RESULTGRID_H

#include <cassert>
#include <memory>
#include <vector>

#include "model/Fail.h"
#include "model/TMap.h"
#include "model/UnfilledMap.h"

namespace tessgrid::detail {

/// Throws what TMap::SetPoint(long, long, double) throws at the first cell of the grid, row by
/// row, that the result lacks: "X-ordinate is out of range in TMap::SetPoint", then "Y-ordinate
/// is out of range in TMap::SetPoint". A result built on a map's centre axes lacks cells when
/// the map grew by TMap::AddRow after its axes were set.
inline void CheckResultHoldsGrid(const TMap& Result, long LngXDim, long LngYDim) {
  if (LngXDim <= 0 || LngYDim <= 0) {
    return;
  }
  if (LngXDim > Result.MbrLngXDim) {
    Fail("X-ordinate is out of range in TMap::SetPoint");
  }
  if (LngYDim > Result.MbrLngYDim) {
    Fail("Y-ordinate is out of range in TMap::SetPoint");
  }
}

/// Returns a new map on copies of the input's centre axes, no-data value -9999, that holds every
/// cell of the input, with empty rows (see NewUnfilledMap) that the caller fills with FillRows.
/// Throws the given message when the input has no axes (the map constructor would read through
/// a null axis), the failures of TMap(TAxis*, TAxis*), then those of CheckResultHoldsGrid.
inline std::unique_ptr<TMap> NewUnfilledResultOnGrid(const TMap& Map,
                                                     const char* PtrNoAxesMessage) {
  if (Map.MbrPtrXAxis == nullptr || Map.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  std::unique_ptr<TMap> PtrResult = NewUnfilledMap(Map.MbrPtrXAxis, Map.MbrPtrYAxis);
  CheckResultHoldsGrid(*PtrResult, Map.MbrLngXDim, Map.MbrLngYDim);
  return PtrResult;
}

/// Sets row LngY of a map from NewUnfilledMap, which must still be empty: the LngCount cells,
/// then -9999 (the constructors' fill) up to the map's width.
inline void SetResultRow(TMap& Result, long LngY, const double* PtrCells, std::size_t LngCount) {
  std::vector<double>& VecRow = Result.MbrVecValues[static_cast<std::size_t>(LngY)];
  VecRow.assign(PtrCells, PtrCells + LngCount);
  VecRow.resize(static_cast<std::size_t>(Result.MbrLngXDim > 0 ? Result.MbrLngXDim : 0), -9999.0);
}

/// Sets the rows of a map from NewUnfilledMap from LngFirst on to -9999: the rows of axes longer
/// than the grid an operation computes.
inline void SetRemainingRows(TMap& Result, long LngFirst) {
  for (std::size_t LngY = static_cast<std::size_t>(LngFirst > 0 ? LngFirst : 0);
       LngY < Result.MbrVecValues.size(); ++LngY) {
    SetResultRow(Result, static_cast<long>(LngY), nullptr, 0);
  }
}

/// Fills a map from NewUnfilledMap as if it had been filled with -9999 and then the first
/// LngXDim cells of its first LngYDim rows had been computed: FillRow(LngY, PtrOut) writes those
/// cells of row LngY to PtrOut. Each row is computed into one scratch row that stays in the cache
/// and copied once, so the map's memory is touched once. The map must hold that grid (see
/// CheckResultHoldsGrid).
template <typename TFillRow>
void FillRows(TMap& Result, long LngXDim, long LngYDim, TFillRow FillRow) {
  const std::size_t LngColumns = static_cast<std::size_t>(LngXDim > 0 ? LngXDim : 0);
  // A grid without columns has nothing to compute, and its rows need not all be in the map.
  const long LngRows = LngColumns == 0 ? 0 : LngYDim;
  std::vector<double> VecScratch(LngColumns);
  for (long LngY = 0; LngY < LngRows; ++LngY) {
    FillRow(LngY, VecScratch.data());
    SetResultRow(Result, LngY, VecScratch.data(), LngColumns);
  }
  SetRemainingRows(Result, LngRows);
}

/// Returns the cells of one row of a map, west to east; the map keeps MbrLngXDim of them.
inline const double* RowOf(const TMap& Map, long LngY) {
  const std::vector<double>& VecRow = Map.MbrVecValues[static_cast<std::size_t>(LngY)];
  assert(static_cast<long>(VecRow.size()) == Map.MbrLngXDim);
  return VecRow.data();
}

/// The same, writable.
inline double* RowOf(TMap& Map, long LngY) {
  std::vector<double>& VecRow = Map.MbrVecValues[static_cast<std::size_t>(LngY)];
  assert(static_cast<long>(VecRow.size()) == Map.MbrLngXDim);
  return VecRow.data();
}

/// Hands every map of the list over to the caller, in order, leaving null pointers behind.
/// Results are built as owned maps so that a failure part-way releases them; only a complete
/// list is handed over.
inline std::vector<TMap*> ReleaseAll(std::vector<std::unique_ptr<TMap>>& VecOwned) {
  std::vector<TMap*> VecResult;
  VecResult.reserve(VecOwned.size());
  for (std::unique_ptr<TMap>& PtrOwned : VecOwned) {
    VecResult.push_back(PtrOwned.release());
  }
  return VecResult;
}

}  // namespace tessgrid::detail

#endif  // OPS_RESULTGRID_H
