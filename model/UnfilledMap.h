// model/UnfilledMap.h - maps built as the TMap constructors build them, with room for their cells
// but none filled in, for results whose every cell an operation computes. model/TMap.cpp holds
// them, beside the constructors whose checks they share.
#ifndef MODEL_UNFILLEDMAP_H
#define MODEL_UNFILLEDMAP_H

#include <memory>

#include "model/TAxis.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// Returns a map as TMap(DblResolution, LngXDim, LngYDim) builds it, except that each of its
/// LngYDim rows is empty with room for LngXDim values: filling them with -9999 first would touch
/// memory that the caller overwrites at once. The caller appends every row's cells before the map
/// is used.
std::unique_ptr<TMap> NewUnfilledMap(double DblResolution, long LngXDim, long LngYDim);

/// Returns a map as TMap(PtrXAxis, PtrYAxis) builds it, the same checks in the same order, with
/// rows as NewUnfilledMap leaves them.
/// Throws "Axes resolutions do not match in TMap::TMap" and the failures of the axis setters.
std::unique_ptr<TMap> NewUnfilledMap(const TAxis* PtrXAxis, const TAxis* PtrYAxis);

}  // namespace tessgrid::detail

#endif  // MODEL_UNFILLEDMAP_H
