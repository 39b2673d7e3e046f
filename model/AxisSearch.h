// model/AxisSearch.h - the interval rule of TAxis::GetIndex and its messages, written once for
// the points of an axis and for plain arrays of edge coordinates. Internal: no public header
// includes it.
#ifndef MODEL_AXISSEARCH_H
#define MODEL_AXISSEARCH_H

#include <algorithm>

#include "model/TAxis.h"
#include "model/TPoint.h"

namespace tessgrid::detail {

/// Returns the coordinate an axis is searched by: the x for 'X', the y for any other character.
inline double Coordinate(const TPoint* PtrPoint, char ChrAxis) {
  return ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY;
}

/// Returns the message TAxis::GetIndex throws for a lookup that ended with the status, or null
/// where it throws nothing.
inline const char* LookupMessage(TAxis::TLookupStatus Status) {
  switch (Status) {
    case TAxis::TLookupStatus::kOutOfRange:
      return "Ordinate is out of range in TAxis::GetIndex";
    case TAxis::TLookupStatus::kUnfilledSlot:
      return "Axis has an unfilled slot in TAxis::GetIndex";
    case TAxis::TLookupStatus::kFound:
    case TAxis::TLookupStatus::kNoInterval:
      break;
  }
  return nullptr;
}

/// Returns the index i of the first interval between edges i and i + 1 that holds the
/// coordinate, each interval holding its end with the smaller coordinate, or -1; sets the status
/// as TAxis::FindIndex documents it. EdgeAt(i) returns a pointer to the coordinate of edge i, or
/// null for an empty slot; it is called for i in [0, LngSize) only.
template <typename TEdgeAt>
long ScanIntervals(long LngSize, const TEdgeAt& EdgeAt, double DblCoordinate,
                   TAxis::TLookupStatus& Status) {
  using TStatus = TAxis::TLookupStatus;
  if (LngSize <= 0) {
    Status = TStatus::kOutOfRange;
    return -1;
  }
  const double* PtrFirst = EdgeAt(0);
  const double* PtrLast = EdgeAt(LngSize - 1);
  if (PtrFirst == nullptr || PtrLast == nullptr) {
    Status = TStatus::kUnfilledSlot;
    return -1;
  }
  // The range test reads the end points only: on an axis that is not monotonic, inner points
  // beyond them do not widen the span.
  if (DblCoordinate < std::min(*PtrFirst, *PtrLast) ||
      DblCoordinate > std::max(*PtrFirst, *PtrLast)) {
    Status = TStatus::kOutOfRange;
    return -1;
  }
  for (long LngI = 0; LngI + 1 < LngSize; ++LngI) {
    const double* PtrA = EdgeAt(LngI);
    const double* PtrB = EdgeAt(LngI + 1);
    if (PtrA == nullptr || PtrB == nullptr) {
      Status = TStatus::kUnfilledSlot;
      return -1;
    }
    if (DblCoordinate >= std::min(*PtrA, *PtrB) && DblCoordinate < std::max(*PtrA, *PtrB)) {
      Status = TStatus::kFound;
      return LngI;
    }
  }
  Status = TStatus::kNoInterval;
  return -1;
}

}  // namespace tessgrid::detail

#endif  // MODEL_AXISSEARCH_H
