// ops/AxisLookup.h - LookupIndices: the cell index of many coordinates on one interval axis at
// once. Operations that pair cells by coordinates use it to look up each column and each row only
// once.
#ifndef OPS_AXISLOOKUP_H
#define OPS_AXISLOOKUP_H

#include <vector>

#include "model/TAxis.h"

namespace tessgrid::detail {

/// What TAxis::GetIndex gives for one coordinate, encoded so that callers can replay the failures
/// in the order their per-cell definition would meet them.
enum : long {
  kLngNoInterval = -1,  ///< inside the span but in no interval (largest edge, NaN)
  kLngOutOfSpan = -2,   ///< GetIndex throws "Ordinate is out of range in TAxis::GetIndex"
  kLngUnfilled = -3,    ///< GetIndex throws "Axis has an unfilled slot in TAxis::GetIndex"
};

/// Returns, for each coordinate, TAxis::GetIndex(coordinate, ChrAxis) on the axis, or one of the
/// codes above where GetIndex would fail or find no interval. The results equal those of the
/// linear scan; strictly monotonic axes are searched by bisection.
std::vector<long> LookupIndices(const TAxis& Edges, const std::vector<double>& VecCoordinates,
                                char ChrAxis);

/// Throws the failure a LookupIndices code stands for: "Ordinate is out of range in
/// TAxis::GetIndex" or "Axis has an unfilled slot in TAxis::GetIndex". Other values are not
/// failures of the lookup and are returned unchanged, so the caller can apply its own checks.
long CheckLookup(long LngIndex);

}  // namespace tessgrid::detail

#endif  // OPS_AXISLOOKUP_H
