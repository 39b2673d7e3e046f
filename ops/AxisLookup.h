// ops/AxisLookup.h - LookupIndices: the cell index of many coordinates on one interval axis at
// once, with the answers of TAxis::FindIndex. Operations that pair cells by coordinates use it to
// look up each column and each row only once.
#ifndef OPS_AXISLOOKUP_H
#define OPS_AXISLOOKUP_H

#include <cstddef>
#include <vector>

#include "model/TAxis.h"
#include "ops/FirstFailure.h"

namespace tessgrid::detail {

using TLookupStatus = TAxis::TLookupStatus;

/// The lookups of many coordinates on one axis; entry i belongs to coordinate i.
struct TIndexList {
  std::vector<long> MbrVecIndices;          ///< the index TAxis::FindIndex gives; -1 unless found
  std::vector<TLookupStatus> MbrVecStatus;  ///< how each lookup ended
};

/// Edge coordinates in axis order and their order, found once, so that the lookups of many
/// slabs of coordinates on one long axis read its edges once.
struct TEdgeList {
  /// Reads the order of the LngEdges coordinates; they must outlive the list.
  TEdgeList(const double* PtrEdges, std::size_t LngEdges);
  const double* MbrPtrEdges;  ///< the coordinates, not owned
  std::size_t MbrLngEdges;    ///< how many
  bool MbrBlnRising;          ///< strictly rising
  bool MbrBlnMonotonic;       ///< strictly rising or strictly falling
};

/// Returns, for each coordinate, what TAxis::FindIndex gives on an axis whose points have the
/// edge coordinates in order. Strictly monotonic edges are searched from where the previous
/// search ended, which finds what the linear scan finds; other edges are scanned.
TIndexList LookupIndices(const TEdgeList& Edges, const double* PtrCoordinates,
                         std::size_t LngCoordinates);

/// The same for the LngEdges edge coordinates at PtrEdges. Strictly monotonic edges are searched by
/// bisection, which finds what the linear scan finds; other edges are scanned.
TIndexList LookupIndices(const double* PtrEdges, std::size_t LngEdges, const double* PtrCoordinates,
                         std::size_t LngCoordinates);

/// Returns, for each coordinate, TAxis::FindIndex(coordinate, ChrAxis) on the axis.
TIndexList LookupIndices(const TAxis& Edges, const std::vector<double>& VecCoordinates,
                         char ChrAxis);

/// Returns lookup i as TAxis::GetIndex returns it (-1 when no interval holds the coordinate).
/// Throws "Ordinate is out of range in TAxis::GetIndex" or "Axis has an unfilled slot in
/// TAxis::GetIndex" where GetIndex throws them.
long CheckedIndex(const TIndexList& List, std::size_t LngI);

/// Returns whether the index names one of LngDim cells.
inline bool IsIndexIn(long LngIndex, long LngDim) {
  return LngIndex >= 0 && LngIndex < LngDim;
}

/// Notes on the line's fault the failure of lookup i, if any: the lookup's own message at step
/// IntLookupStep, or else, for an index outside [0, LngDim), the range message at IntRangeStep.
void NoteLookup(TLineFault& Fault, const TIndexList& List, std::size_t LngI, long LngDim,
                int IntLookupStep, int IntRangeStep, const char* PtrRangeMessage);

}  // namespace tessgrid::detail

#endif  // OPS_AXISLOOKUP_H
