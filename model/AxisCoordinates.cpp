// model/AxisCoordinates.cpp - running sums, reader edges, centres and derived edge runs.
// The declarations and their contracts are in model/AxisCoordinates.h.
#include "model/AxisCoordinates.h"

#include <algorithm>

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

}  // namespace tessgrid::detail
