// model/AxisCoordinates.cpp - running sums, reader edges, centres and derived edge runs.
// The declarations and their contracts are in model/AxisCoordinates.h.
#include "model/AxisCoordinates.h"

#include <algorithm>
#include <cmath>

namespace tessgrid::detail {

void RunningSums(double DblStart, double DblStep, std::size_t LngCount, double* PtrOut) {
  double DblValue = DblStart;
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    PtrOut[LngK] = DblValue;
    DblValue += DblStep;
  }
}

double RunningSumAt(double DblStart, double DblStep, std::size_t LngIndex) {
  double DblValue = DblStart;
  for (std::size_t LngK = 0; LngK < LngIndex; ++LngK) {
    DblValue += DblStep;
  }
  return DblValue;
}

TGridEdges ReaderEdges(double DblXll, double DblYll, double DblCellSize, std::size_t LngColumns,
                       std::size_t LngRows) {
  TGridEdges Edges;
  // The northward sums run from the southern edge, which is the last Y edge.
  Edges.VecY.resize(LngRows + 1);
  RunningSums(DblYll, DblCellSize, LngRows + 1, Edges.VecY.data());
  std::reverse(Edges.VecY.begin(), Edges.VecY.end());
  Edges.VecX.resize(LngColumns + 1);
  RunningSums(DblXll, DblCellSize, LngColumns + 1, Edges.VecX.data());
  return Edges;
}

void EdgesToCentres(std::vector<double>& VecCoordinates, char ChrCoordinate) {
  if (VecCoordinates.size() < 2) {
    VecCoordinates.clear();
    return;
  }
  // Centre i needs edges i and i + 1, and edge i is not read again once centre i is written.
  for (std::size_t LngI = 0; LngI + 1 < VecCoordinates.size(); ++LngI) {
    VecCoordinates[LngI] =
        CentreOfEdges(VecCoordinates[LngI], VecCoordinates[LngI + 1], ChrCoordinate);
  }
  VecCoordinates.pop_back();
}

TEdgeRun EdgeRunOfCentres(double DblFirstX, double DblFirstY, double DblLastY, double DblResolution,
                          char ChrAxis) {
  const double DblHalf = DblResolution * 0.5;
  TEdgeRun Run{DblFirstX - DblHalf, DblFirstY - DblHalf, DblResolution};
  if (DblFirstY > DblLastY) {
    Run.DblY = DblFirstY + DblHalf;
    if (ChrAxis == 'Y') {
      Run.DblStep = -DblResolution;
    }
  }
  return Run;
}

namespace {

// Whether every X centre the reader's edges give lies strictly between the two X edges derived
// from the centres; sets DblWest to the first derived edge. The reader's X edges, and so their
// centres, share the northern edge's y.
bool XCentresInside(double DblXll, double DblNorth, double DblCellSize, std::size_t LngColumns,
                    double& DblWest) {
  const double DblCentreY = CentreOfEdges(DblNorth, DblNorth, 'Y');
  const double DblFirst = CentreOfEdges(DblXll, DblXll + DblCellSize, 'X');
  const TEdgeRun Run = EdgeRunOfCentres(DblFirst, DblCentreY, DblCentreY, DblCellSize, 'X');
  DblWest = Run.DblX;
  // Both runs rise from the west, so they are walked side by side.
  double DblEdge = DblXll;
  double DblDerived = Run.DblX;
  for (std::size_t LngI = 0; LngI < LngColumns; ++LngI) {
    const double DblNextEdge = DblEdge + DblCellSize;
    const double DblNextDerived = DblDerived + Run.DblStep;
    const double DblCentre = CentreOfEdges(DblEdge, DblNextEdge, 'X');
    if (!(DblDerived < DblCentre && DblCentre < DblNextDerived)) {
      return false;
    }
    DblEdge = DblNextEdge;
    DblDerived = DblNextDerived;
  }
  return true;
}

}  // namespace

TDerivedEdges DerivedEdgesOfCentres(double DblXll, double DblYll, double DblCellSize,
                                    std::size_t LngColumns, std::size_t LngRows) {
  TDerivedEdges Derived;
  // The reader's Y edges are sums northwards from the corner: S(0) = DblYll up to S(rows), the
  // northern edge. Centre i (from the north) lies between S(rows - i) and S(rows - i - 1).
  double DblNorth = DblYll;
  double DblBelowNorth = DblYll;
  for (std::size_t LngJ = 0; LngJ < LngRows; ++LngJ) {
    DblBelowNorth = DblNorth;
    DblNorth += DblCellSize;
  }
  const bool BlnXInside =
      XCentresInside(DblXll, DblNorth, DblCellSize, LngColumns, Derived.DblWest);
  const double DblFirstCentre = CentreOfEdges(DblNorth, DblBelowNorth, 'Y');
  const double DblLastCentre = CentreOfEdges(DblYll + DblCellSize, DblYll, 'Y');
  const TEdgeRun Run = EdgeRunOfCentres(CentreOfEdges(DblXll, DblXll, 'X'), DblFirstCentre,
                                        DblLastCentre, DblCellSize, 'Y');
  // The derived Y edges are sums southwards from the north, the reader's northwards from the
  // south: neither run can be walked backwards to the bit, so the derived run keeps a sum every
  // span edges and is made again a span at a time, from the south, beside the reader's run.
  const std::size_t LngSpan = static_cast<std::size_t>(std::sqrt(static_cast<double>(LngRows))) + 1;
  std::vector<double> VecKept((LngRows + LngSpan - 1) / LngSpan);
  double DblDerived = Run.DblY;
  for (std::size_t LngK = 0; LngK < LngRows; ++LngK) {
    if (LngK % LngSpan == 0) {
      VecKept[LngK / LngSpan] = DblDerived;
    }
    DblDerived += Run.DblStep;
  }
  Derived.DblSouth = DblDerived;
  if (!BlnXInside) {
    return Derived;
  }
  std::vector<double> VecSpan(LngSpan + 1);
  double DblLower = DblYll;  // the reader's edges of the centre in hand, from the south
  double DblUpper = DblYll + DblCellSize;
  for (std::size_t LngBlock = VecKept.size(); LngBlock-- > 0;) {
    const std::size_t LngFirst = LngBlock * LngSpan;
    const std::size_t LngEnd = std::min(LngRows, LngFirst + LngSpan);
    RunningSums(VecKept[LngBlock], Run.DblStep, LngEnd - LngFirst + 1, VecSpan.data());
    for (std::size_t LngI = LngEnd; LngI-- > LngFirst;) {
      const double DblCentre = CentreOfEdges(DblUpper, DblLower, 'Y');
      const double DblAbove = VecSpan[LngI - LngFirst];
      const double DblBelow = VecSpan[LngI - LngFirst + 1];
      if (!(DblAbove > DblCentre && DblCentre > DblBelow)) {
        return Derived;
      }
      DblLower = DblUpper;
      DblUpper += DblCellSize;
    }
  }
  Derived.BlnCentresInside = true;
  return Derived;
}

}  // namespace tessgrid::detail
