// model/TAxisTools.cpp - centre-to-edge and edge-to-centre axis conversions.
// The declarations and their contracts are in model/TAxisTools.h.
#include "model/TAxisTools.h"

#include <memory>
#include <vector>

#include "model/AxisCoordinates.h"
#include "model/Fail.h"

using tessgrid::detail::CentreOfEdges;
using tessgrid::detail::EdgeRunOfCentres;
using tessgrid::detail::Fail;
using tessgrid::detail::RunningSums;
using tessgrid::detail::TEdgeRun;

TAxis* TAxisTools::PointsToIntervals(const TAxis* PtrCentres, char ChrAxis) {
  const long LngSize = PtrCentres->GetSize();
  const TPoint* PtrFirst = PtrCentres->GetPoint(0);
  const TPoint* PtrLast = PtrCentres->GetPoint(LngSize - 1);
  if (PtrFirst == nullptr || PtrLast == nullptr) {
    Fail("Axis has an unfilled slot in TAxisTools::PointsToIntervals");
  }
  const double DblResolution = PtrCentres->MbrDblResolution;
  const TEdgeRun Run = EdgeRunOfCentres(PtrFirst->MbrDblX, PtrFirst->MbrDblY, PtrLast->MbrDblY,
                                        DblResolution, ChrAxis);
  const std::size_t LngEdges = static_cast<std::size_t>(LngSize) + 1;
  std::vector<double> VecSums(LngEdges);
  RunningSums(ChrAxis == 'X' ? Run.DblX : Run.DblY, Run.DblStep, LngEdges, VecSums.data());
  auto PtrEdges = std::make_unique<TAxis>(DblResolution, 0);
  PtrEdges->MbrVecPoints.reserve(LngEdges);
  for (const double DblSum : VecSums) {
    PtrEdges->MbrVecPoints.push_back(ChrAxis == 'X' ? new TPoint(DblSum, Run.DblY)
                                                    : new TPoint(Run.DblX, DblSum));
  }
  return PtrEdges.release();
}

TAxis* TAxisTools::IntervalsToPoints(const TAxis* PtrEdges, char /*ChrAxis*/) {
  const long LngCount = PtrEdges->GetSize() - 1;
  PtrEdges->GetPoint(0);
  PtrEdges->GetPoint(LngCount);
  auto PtrCentres = std::make_unique<TAxis>(PtrEdges->MbrDblResolution, 0);
  if (LngCount <= 0) {
    return PtrCentres.release();
  }
  PtrCentres->MbrVecPoints.reserve(static_cast<std::size_t>(LngCount));
  for (long LngI = 0; LngI < LngCount; ++LngI) {
    const TPoint* PtrA = PtrEdges->MbrVecPoints[static_cast<std::size_t>(LngI)];
    const TPoint* PtrB = PtrEdges->MbrVecPoints[static_cast<std::size_t>(LngI + 1)];
    if (PtrA == nullptr || PtrB == nullptr) {
      Fail("Axis has an unfilled slot in TAxisTools::IntervalsToPoints");
    }
    PtrCentres->MbrVecPoints.push_back(
        new TPoint(CentreOfEdges(PtrA->MbrDblX, PtrB->MbrDblX, 'X'),
                   CentreOfEdges(PtrA->MbrDblY, PtrB->MbrDblY, 'Y')));
  }
  return PtrCentres.release();
}
