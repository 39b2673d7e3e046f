// model/TAxisTools.cpp - centre-to-edge and edge-to-centre axis conversions.
// The declarations and their contracts are in model/TAxisTools.h.
#include "model/TAxisTools.h"

#include <cmath>
#include <memory>

#include "model/Fail.h"

using tessgrid::detail::Fail;

TAxis* TAxisTools::PointsToIntervals(const TAxis* PtrCentres, char ChrAxis) {
  const long LngSize = PtrCentres->GetSize();
  const TPoint* PtrFirst = PtrCentres->GetPoint(0);
  const TPoint* PtrLast = PtrCentres->GetPoint(LngSize - 1);
  if (PtrFirst == nullptr || PtrLast == nullptr) {
    Fail("Axis has an unfilled slot in TAxisTools::PointsToIntervals");
  }
  const double DblResolution = PtrCentres->MbrDblResolution;
  const double DblHalf = DblResolution * 0.5;
  double DblX = PtrFirst->MbrDblX - DblHalf;
  double DblY;
  double DblStep = DblResolution;
  if (PtrFirst->MbrDblY > PtrLast->MbrDblY) {
    DblY = PtrFirst->MbrDblY + DblHalf;
    if (ChrAxis == 'Y') {
      DblStep = -DblResolution;
    }
  } else {
    DblY = PtrFirst->MbrDblY - DblHalf;
  }
  auto PtrEdges = std::make_unique<TAxis>(DblResolution, 0);
  PtrEdges->MbrVecPoints.reserve(static_cast<std::size_t>(LngSize) + 1);
  // Running sums, not x0 + k * step: the grid reader builds its edges the same way, so edges
  // derived here match the ones read from a file bit for bit.
  for (long LngI = 0; LngI < LngSize; ++LngI) {
    PtrEdges->MbrVecPoints.push_back(new TPoint(DblX, DblY));
    if (ChrAxis == 'X') {
      DblX += DblStep;
    } else {
      DblY += DblStep;
    }
  }
  PtrEdges->MbrVecPoints.push_back(new TPoint(DblX, DblY));
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
        new TPoint(PtrA->MbrDblX + std::fabs(PtrB->MbrDblX - PtrA->MbrDblX) * 0.5,
                   PtrA->MbrDblY - std::fabs(PtrB->MbrDblY - PtrA->MbrDblY) * 0.5));
  }
  return PtrCentres.release();
}
