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

/// Returns a new map on copies of the input's centre axes, every cell -9999, no-data value
/// -9999, that holds every cell of the input. Throws the given message when the input has no
/// axes (the map constructor would read through a null axis), the failures of TMap(TAxis*,
/// TAxis*), then those of CheckResultHoldsGrid.
inline std::unique_ptr<TMap> NewResultOnGrid(const TMap& Map, const char* PtrNoAxesMessage) {
  if (Map.MbrPtrXAxis == nullptr || Map.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  auto PtrResult = std::make_unique<TMap>(Map.MbrPtrXAxis, Map.MbrPtrYAxis);
  CheckResultHoldsGrid(*PtrResult, Map.MbrLngXDim, Map.MbrLngYDim);
  return PtrResult;
}

/// Returns a new map as NewResultOnGrid does, the same checks in the same order, whose rows are
/// empty (see NewUnfilledMap): the caller fills every one of them with FillRows.
inline std::unique_ptr<TMap> NewUnfilledResultOnGrid(const TMap& Map,
                                                     const char* PtrNoAxesMessage) {
  if (Map.MbrPtrXAxis == nullptr || Map.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  std::unique_ptr<TMap> PtrResult = NewUnfilledMap(Map.MbrPtrXAxis, Map.MbrPtrYAxis);
  CheckResultHoldsGrid(*PtrResult, Map.MbrLngXDim, Map.MbrLngYDim);
  return PtrResult;
}

/// Fills the empty rows of a map from NewUnfilledMap, north to south: FillRow(LngY, PtrOut)
/// writes the MbrLngXDim cells of row LngY to PtrOut. Each row is computed into one scratch row
/// that stays in the cache and copied once into its own memory, which is then touched once.
template <typename TFillRow>
void FillRows(TMap& Result, TFillRow FillRow) {
  const std::size_t LngColumns =
      static_cast<std::size_t>(Result.MbrLngXDim > 0 ? Result.MbrLngXDim : 0);
  std::vector<double> VecScratch(LngColumns);
  for (std::size_t LngY = 0; LngY < Result.MbrVecValues.size(); ++LngY) {
    FillRow(static_cast<long>(LngY), VecScratch.data());
    Result.MbrVecValues[LngY].assign(VecScratch.begin(), VecScratch.end());
  }
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
