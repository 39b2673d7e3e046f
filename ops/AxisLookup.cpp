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

// Returns the first position in [PtrFirst, PtrLast) whose edge the predicate Beyond(edge) holds
// for, the predicate being false and then true along the range, searched outward from PtrHint:
// coordinates looked up in order land near one another, and a search that starts where the last
// one ended reads a few edges instead of bisecting the whole axis.
template <typename TBeyond>
const double* FindFromHint(const double* PtrFirst, const double* PtrLast, const double* PtrHint,
                           TBeyond Beyond) {
  const double* PtrLow = PtrFirst;
  const double* PtrHigh = PtrLast;
  if (PtrHint < PtrLast && !Beyond(*PtrHint)) {
    // The answer lies after the hint: widen the step until an edge is beyond.
    PtrLow = PtrHint + 1;
    for (std::size_t LngStep = 1; PtrLow < PtrLast; LngStep *= 2) {
      const double* PtrProbe = PtrLow + std::min<std::size_t>(LngStep, PtrLast - PtrLow) - 1;
      if (Beyond(*PtrProbe)) {
        PtrHigh = PtrProbe + 1;
        break;
      }
      PtrLow = PtrProbe + 1;
    }
  } else if (PtrHint > PtrFirst) {
    // The answer is the hint or lies before it: widen the step until an edge is not beyond.
    PtrHigh = PtrHint < PtrLast ? PtrHint + 1 : PtrLast;
    const double* PtrTop = PtrHint < PtrLast ? PtrHint : PtrLast;
    for (std::size_t LngStep = 1; PtrTop > PtrFirst; LngStep *= 2) {
      const double* PtrProbe = PtrTop - std::min<std::size_t>(LngStep, PtrTop - PtrFirst);
      if (!Beyond(*PtrProbe)) {
        PtrLow = PtrProbe + 1;
        break;
      }
      PtrTop = PtrProbe;
      PtrHigh = PtrProbe + 1;
    }
  }
  return std::partition_point(PtrLow, PtrHigh,
                              [&Beyond](double DblEdge) { return !Beyond(DblEdge); });
}

// On strictly monotonic edges the first matching interval is the only one, so a search of the
// sorted edges finds what the scan finds. PtrHint is where the previous search ended, and is
// set to where this one ends.
long BisectIndex(const double* PtrEdges, std::size_t LngEdges, bool BlnRising, double DblCoordinate,
                 const double*& PtrHint, TLookupStatus& Status) {
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
  // Rising, interval i is [e(i), e(i+1)): the first edge above the coordinate ends it. Falling,
  // interval i is [e(i+1), e(i)): the first edge not above the coordinate ends it.
  PtrHint = BlnRising
                ? FindFromHint(PtrEdges, PtrEnd, PtrHint,
                               [DblCoordinate](double DblEdge) { return DblEdge > DblCoordinate; })
                : FindFromHint(PtrEdges, PtrEnd, PtrHint, [DblCoordinate](double DblEdge) {
                    return !(DblEdge > DblCoordinate);
                  });
  return static_cast<long>(PtrHint - PtrEdges) - 1;
}

}  // namespace

tessgrid::detail::TEdgeList::TEdgeList(const double* PtrEdges, std::size_t LngEdges)
    : MbrPtrEdges(PtrEdges), MbrLngEdges(LngEdges), MbrBlnRising(false), MbrBlnMonotonic(false) {
  // Counted rather than and-ed, so that the loop runs on vectors.
  std::size_t LngRises = 0;
  std::size_t LngFalls = 0;
  for (std::size_t LngI = 0; LngI + 1 < LngEdges; ++LngI) {
    LngRises += PtrEdges[LngI] < PtrEdges[LngI + 1] ? 1 : 0;
    LngFalls += PtrEdges[LngI] > PtrEdges[LngI + 1] ? 1 : 0;
  }
  MbrBlnRising = LngEdges > 1 && LngRises == LngEdges - 1;
  MbrBlnMonotonic = MbrBlnRising || (LngEdges > 1 && LngFalls == LngEdges - 1);
}

TIndexList tessgrid::detail::LookupIndices(const TEdgeList& Edges, const double* PtrCoordinates,
                                           std::size_t LngCoordinates) {
  TIndexList List;
  List.MbrVecIndices.resize(LngCoordinates);
  List.MbrVecStatus.resize(LngCoordinates);
  const double* const PtrEdges = Edges.MbrPtrEdges;
  const auto EdgeAt = [PtrEdges](long LngI) { return PtrEdges + LngI; };
  const double* PtrHint = PtrEdges;
  for (std::size_t LngI = 0; LngI < LngCoordinates; ++LngI) {
    TLookupStatus& Status = List.MbrVecStatus[LngI];
    List.MbrVecIndices[LngI] = Edges.MbrBlnMonotonic
                                   ? BisectIndex(PtrEdges, Edges.MbrLngEdges, Edges.MbrBlnRising,
                                                 PtrCoordinates[LngI], PtrHint, Status)
                                   : ScanIntervals(static_cast<long>(Edges.MbrLngEdges), EdgeAt,
                                                   PtrCoordinates[LngI], Status);
  }
  return List;
}

TIndexList tessgrid::detail::LookupIndices(const double* PtrEdges, std::size_t LngEdges,
                                           const double* PtrCoordinates,
                                           std::size_t LngCoordinates) {
  return LookupIndices(TEdgeList(PtrEdges, LngEdges), PtrCoordinates, LngCoordinates);
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
