// ops/ResultGrid.h - the shared start of every operation that builds its result on the grid of
// one input map. Only the ops/ sources use it.
#ifndef OPS_RESULTGRID_H
#define OPS_RESULTGRID_H

#include <cassert>
#include <memory>

#include "model/Fail.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// Returns a new map on copies of the input's centre axes, every cell -9999, no-data value
/// -9999. Throws the given message when the input has no axes (the map constructor would read
/// through a null axis), and passes on the failures of TMap(TAxis*, TAxis*).
inline std::unique_ptr<TMap> NewResultOnGrid(const TMap& Map, const char* PtrNoAxesMessage) {
  if (Map.MbrPtrXAxis == nullptr || Map.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  auto PtrResult = std::make_unique<TMap>(Map.MbrPtrXAxis, Map.MbrPtrYAxis);
  // The axis setters keep the centre axes as long as the dimensions, so the two grids match.
  assert(PtrResult->MbrLngXDim == Map.MbrLngXDim && PtrResult->MbrLngYDim == Map.MbrLngYDim);
  return PtrResult;
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

}  // namespace tessgrid::detail

#endif  // OPS_RESULTGRID_H
