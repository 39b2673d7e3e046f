// ops/AxisLookup.cpp - batched interval lookups on an axis.
// The declarations and their contracts are in ops/AxisLookup.h.
#include "ops/AxisLookup.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/Fail.h"

using tessgrid::detail::CheckLookup;
using tessgrid::detail::Fail;
using tessgrid::detail::kLngNoInterval;
using tessgrid::detail::kLngOutOfSpan;
using tessgrid::detail::kLngUnfilled;
using tessgrid::detail::LookupIndices;

namespace {

double Coordinate(const TPoint* PtrPoint, char ChrAxis) {
  return ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY;
}

// The same answer as TAxis::GetIndex, as a code instead of a throw.
long ScanIndex(const std::vector<double>& VecEdges, double DblCoordinate) {
  const double DblLow = std::min(VecEdges.front(), VecEdges.back());
  const double DblHigh = std::max(VecEdges.front(), VecEdges.back());
  if (DblCoordinate < DblLow || DblCoordinate > DblHigh) {
    return kLngOutOfSpan;
  }
  for (std::size_t LngI = 0; LngI + 1 < VecEdges.size(); ++LngI) {
    const double DblA = VecEdges[LngI];
    const double DblB = VecEdges[LngI + 1];
    if (DblCoordinate >= std::min(DblA, DblB) && DblCoordinate < std::max(DblA, DblB)) {
      return static_cast<long>(LngI);
    }
  }
  return kLngNoInterval;
}

// On strictly monotonic edges the first matching interval is the only one, so bisection finds
// what the scan finds.
long BisectIndex(const std::vector<double>& VecEdges, bool BlnRising, double DblCoordinate) {
  const double DblLow = BlnRising ? VecEdges.front() : VecEdges.back();
  const double DblHigh = BlnRising ? VecEdges.back() : VecEdges.front();
  if (DblCoordinate < DblLow || DblCoordinate > DblHigh) {
    return kLngOutOfSpan;
  }
  if (std::isnan(DblCoordinate) || DblCoordinate == DblHigh) {
    return kLngNoInterval;
  }
  if (BlnRising) {
    // Interval i is [e(i), e(i+1)): the last edge not above the coordinate.
    const auto It = std::upper_bound(VecEdges.begin(), VecEdges.end(), DblCoordinate);
    return static_cast<long>(It - VecEdges.begin()) - 1;
  }
  // Interval i is [e(i+1), e(i)): the first edge not above the coordinate ends it.
  const auto It = std::lower_bound(VecEdges.begin(), VecEdges.end(), DblCoordinate,
                                   [](double DblEdge, double DblC) { return DblEdge > DblC; });
  return static_cast<long>(It - VecEdges.begin()) - 1;
}

}  // namespace

std::vector<long> tessgrid::detail::LookupIndices(const TAxis& Edges,
                                                  const std::vector<double>& VecCoordinates,
                                                  char ChrAxis) {
  std::vector<long> VecIndices(VecCoordinates.size(), kLngOutOfSpan);
  if (Edges.MbrVecPoints.empty()) {
    return VecIndices;
  }
  std::vector<double> VecEdges;
  VecEdges.reserve(Edges.MbrVecPoints.size());
  bool BlnFilled = true;
  for (const TPoint* PtrPoint : Edges.MbrVecPoints) {
    if (PtrPoint == nullptr) {
      BlnFilled = false;
      break;
    }
    VecEdges.push_back(Coordinate(PtrPoint, ChrAxis));
  }
  if (!BlnFilled) {
    // Rare enough to defer to the axis itself, which knows where the scan meets the gap.
    for (std::size_t LngI = 0; LngI < VecCoordinates.size(); ++LngI) {
      try {
        VecIndices[LngI] = Edges.GetIndex(VecCoordinates[LngI], ChrAxis);
      } catch (char* PtrMessage) {
        const bool BlnUnfilled = std::string(PtrMessage).rfind("Axis has", 0) == 0;
        VecIndices[LngI] = BlnUnfilled ? kLngUnfilled : kLngOutOfSpan;
      }
    }
    return VecIndices;
  }
  bool BlnRising = true;
  bool BlnFalling = true;
  for (std::size_t LngI = 0; LngI + 1 < VecEdges.size(); ++LngI) {
    BlnRising = BlnRising && VecEdges[LngI] < VecEdges[LngI + 1];
    BlnFalling = BlnFalling && VecEdges[LngI] > VecEdges[LngI + 1];
  }
  const bool BlnMonotonic = VecEdges.size() > 1 && (BlnRising || BlnFalling);
  for (std::size_t LngI = 0; LngI < VecCoordinates.size(); ++LngI) {
    VecIndices[LngI] = BlnMonotonic ? BisectIndex(VecEdges, BlnRising, VecCoordinates[LngI])
                                    : ScanIndex(VecEdges, VecCoordinates[LngI]);
  }
  return VecIndices;
}

long tessgrid::detail::CheckLookup(long LngIndex) {
  if (LngIndex == kLngOutOfSpan) {
    Fail("Ordinate is out of range in TAxis::GetIndex");
  }
  if (LngIndex == kLngUnfilled) {
    Fail("Axis has an unfilled slot in TAxis::GetIndex");
  }
  return LngIndex;
}
