// ops/AxisLookup.cpp - batched interval lookups on an axis or on plain edge coordinates.
// The declarations and their contracts are in ops/AxisLookup.h.
#include "ops/AxisLookup.h"

#include <algorithm>
#include <cmath>

#include "model/AxisSearch.h"
#include "model/Fail.h"

using tessgrid::detail::Coordinate;
using tessgrid::detail::Fail;
using tessgrid::detail::LookupMessage;
using tessgrid::detail::ScanIntervals;
using tessgrid::detail::TIndexList;
using tessgrid::detail::TLineFault;
using tessgrid::detail::TLookupStatus;

namespace {

// On strictly monotonic edges the first matching interval is the only one, so bisection finds
// what the scan finds.
long BisectIndex(const double* PtrEdges, std::size_t LngEdges, bool BlnRising, double DblCoordinate,
                 TLookupStatus& Status) {
  const double* const PtrEnd = PtrEdges + LngEdges;
  const double DblLow = BlnRising ? PtrEdges[0] : PtrEnd[-1];
  const double DblHigh = BlnRising ? PtrEnd[-1] : PtrEdges[0];
  if (DblCoordinate < DblLow || DblCoordinate > DblHigh) {
    Status = TLookupStatus::kOutOfRange;
    return -1;
  }
  if (std::isnan(DblCoordinate) || DblCoordinate == DblHigh) {
    Status = TLookupStatus::kNoInterval;
    return -1;
  }
  Status = TLookupStatus::kFound;
  if (BlnRising) {
    // Interval i is [e(i), e(i+1)): the last edge not above the coordinate.
    return static_cast<long>(std::upper_bound(PtrEdges, PtrEnd, DblCoordinate) - PtrEdges) - 1;
  }
  // Interval i is [e(i+1), e(i)): the first edge not above the coordinate ends it.
  const double* PtrIt = std::lower_bound(
      PtrEdges, PtrEnd, DblCoordinate, [](double DblEdge, double DblC) { return DblEdge > DblC; });
  return static_cast<long>(PtrIt - PtrEdges) - 1;
}

}  // namespace

TIndexList tessgrid::detail::LookupIndices(const double* PtrEdges, std::size_t LngEdges,
                                           const double* PtrCoordinates,
                                           std::size_t LngCoordinates) {
  TIndexList List;
  List.MbrVecIndices.resize(LngCoordinates);
  List.MbrVecStatus.resize(LngCoordinates);
  bool BlnRising = true;
  bool BlnFalling = true;
  for (std::size_t LngI = 0; LngI + 1 < LngEdges; ++LngI) {
    BlnRising = BlnRising && PtrEdges[LngI] < PtrEdges[LngI + 1];
    BlnFalling = BlnFalling && PtrEdges[LngI] > PtrEdges[LngI + 1];
  }
  const bool BlnMonotonic = LngEdges > 1 && (BlnRising || BlnFalling);
  const auto EdgeAt = [PtrEdges](long LngI) { return PtrEdges + LngI; };
  for (std::size_t LngI = 0; LngI < LngCoordinates; ++LngI) {
    TLookupStatus& Status = List.MbrVecStatus[LngI];
    List.MbrVecIndices[LngI] =
        BlnMonotonic
            ? BisectIndex(PtrEdges, LngEdges, BlnRising, PtrCoordinates[LngI], Status)
            : ScanIntervals(static_cast<long>(LngEdges), EdgeAt, PtrCoordinates[LngI], Status);
  }
  return List;
}

TIndexList tessgrid::detail::LookupIndices(const TAxis& Edges,
                                           const std::vector<double>& VecCoordinates,
                                           char ChrAxis) {
  std::vector<double> VecEdges;
  VecEdges.reserve(Edges.MbrVecPoints.size());
  for (const TPoint* PtrPoint : Edges.MbrVecPoints) {
    if (PtrPoint == nullptr) {
      // Rare enough to leave to the axis itself, which knows where its scan meets the gap.
      TIndexList List;
      List.MbrVecStatus.resize(VecCoordinates.size());
      for (std::size_t LngI = 0; LngI < VecCoordinates.size(); ++LngI) {
        List.MbrVecIndices.push_back(
            Edges.FindIndex(VecCoordinates[LngI], ChrAxis, List.MbrVecStatus[LngI]));
      }
      return List;
    }
    VecEdges.push_back(Coordinate(PtrPoint, ChrAxis));
  }
  return LookupIndices(VecEdges.data(), VecEdges.size(), VecCoordinates.data(),
                       VecCoordinates.size());
}

long tessgrid::detail::CheckedIndex(const TIndexList& List, std::size_t LngI) {
  const char* PtrMessage = LookupMessage(List.MbrVecStatus[LngI]);
  if (PtrMessage != nullptr) {
    Fail(PtrMessage);
  }
  return List.MbrVecIndices[LngI];
}

void tessgrid::detail::NoteLookup(TLineFault& Fault, const TIndexList& List, std::size_t LngI,
                                  long LngDim, int IntLookupStep, int IntRangeStep,
                                  const char* PtrRangeMessage) {
  const char* PtrMessage = LookupMessage(List.MbrVecStatus[LngI]);
  if (PtrMessage != nullptr) {
    Note(Fault, IntLookupStep, PtrMessage);
  } else if (!IsIndexIn(List.MbrVecIndices[LngI], LngDim)) {
    Note(Fault, IntRangeStep, PtrRangeMessage);
  }
}
