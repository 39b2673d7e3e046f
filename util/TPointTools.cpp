// util/TPointTools.cpp - the operations of TPointTools.
// The declarations and their contracts are in util/TPointTools.h.
#include "util/TPointTools.h"

#include <cmath>
#include <memory>
#include <utility>

namespace {

// Heron's formula on the three side lengths.
double TriangleArea(double DblD1, double DblD2, double DblD3) {
  const double DblS = (DblD1 + DblD2 + DblD3) * 0.5;
  return std::sqrt(DblS * (DblS - DblD1) * (DblS - DblD2) * (DblS - DblD3));
}

}  // namespace

TPoint* TPointTools::FindCentroid(std::vector<TPoint*> VecPoints) {
  double DblSumX = 0.0;
  double DblSumY = 0.0;
  for (const TPoint* PtrPoint : VecPoints) {
    DblSumX += PtrPoint->MbrDblX;
    DblSumY += PtrPoint->MbrDblY;
  }
  // An empty list divides 0 by 0 on purpose: the mean of nothing is not a number.
  const double DblCount = static_cast<double>(VecPoints.size());
  return new TPoint(DblSumX / DblCount, DblSumY / DblCount);
}

TPoint* TPointTools::Max(const TPoint* PtrA, const TPoint* PtrB) {
  const double DblX = PtrB->MbrDblX > PtrA->MbrDblX ? PtrB->MbrDblX : PtrA->MbrDblX;
  const double DblY = PtrB->MbrDblY > PtrA->MbrDblY ? PtrB->MbrDblY : PtrA->MbrDblY;
  return new TPoint(DblX, DblY);
}

TPoint* TPointTools::Min(const TPoint* PtrA, const TPoint* PtrB) {
  const double DblX = PtrA->MbrDblX > PtrB->MbrDblX ? PtrB->MbrDblX : PtrA->MbrDblX;
  const double DblY = PtrA->MbrDblY > PtrB->MbrDblY ? PtrB->MbrDblY : PtrA->MbrDblY;
  return new TPoint(DblX, DblY);
}

double TPointTools::Theta(const TPoint* PtrA, const TPoint* PtrB) {
  const double DblDx = PtrA->MbrDblX - PtrB->MbrDblX;
  const double DblDy = PtrA->MbrDblY - PtrB->MbrDblY;
  // The ratio dy / (|dx| + |dy|) orders directions like the true angle without a trigonometric
  // call; the quadrant shifts (2 - u, u + 4) map it onto 0..4, scaled to degrees.
  double DblU = 0.0;
  if (DblDx != 0.0 || DblDy != 0.0) {
    DblU = DblDy / (std::fabs(DblDx) + std::fabs(DblDy));
  }
  if (DblDx < 0.0) {
    DblU = 2.0 - DblU;
  } else if (DblDy < 0.0) {
    DblU = DblU + 4.0;
  }
  return DblU * 90.0;
}

double TPointTools::Heron(const TPoint* PtrA, const TPoint* PtrB, const TPoint* PtrC) {
  return TriangleArea(PtrA->Distance(PtrB), PtrA->Distance(PtrC), PtrB->Distance(PtrC));
}

double TPointTools::FindConvexPolygonArea(std::vector<TPoint*> VecPoints) {
  const std::unique_ptr<TPoint> PtrCentre(FindCentroid(VecPoints));
  double DblArea = 0.0;
  for (std::size_t LngI = 1; LngI < VecPoints.size(); ++LngI) {
    const TPoint* PtrVertex = VecPoints[LngI];
    const TPoint* PtrPrevious = VecPoints[LngI - 1];
    DblArea += TriangleArea(PtrVertex->Distance(PtrPrevious), PtrVertex->Distance(PtrCentre.get()),
                            PtrPrevious->Distance(PtrCentre.get()));
  }
  return DblArea;
}

std::vector<TPoint*> TPointTools::FindConvexHull(std::vector<TPoint*> VecPoints) {
  const std::size_t LngCount = VecPoints.size();
  if (LngCount == 0) {
    return {};
  }
  // The working list: the points in input order and, at position n, the start point again, so
  // that reaching position n means the wrap has closed.
  std::vector<const TPoint*> VecWork(VecPoints.begin(), VecPoints.end());
  std::size_t LngStart = 0;
  for (std::size_t LngI = 1; LngI < LngCount; ++LngI) {
    if (VecWork[LngI]->MbrDblY < VecWork[LngStart]->MbrDblY) {
      LngStart = LngI;
    }
  }
  VecWork.push_back(VecWork[LngStart]);

  double DblPreviousAngle = 0.0;
  std::size_t LngHull = 0;
  std::size_t LngPlace = LngStart;
  for (;;) {
    std::swap(VecWork[LngHull], VecWork[LngPlace]);
    double DblBestAngle = 360.0;
    std::size_t LngChosen = LngCount;
    for (std::size_t LngI = LngHull + 1; LngI <= LngCount; ++LngI) {
      const double DblAngle = Theta(VecWork[LngI], VecWork[LngHull]);
      // Both comparisons strict: an equal angle neither turns back nor displaces an earlier tie.
      if (DblAngle > DblPreviousAngle && DblAngle < DblBestAngle) {
        LngChosen = LngI;
        DblBestAngle = DblAngle;
      }
    }
    if (LngChosen == LngCount) {
      break;
    }
    DblPreviousAngle = DblBestAngle;
    ++LngHull;
    LngPlace = LngChosen;
  }

  std::vector<std::unique_ptr<TPoint>> VecCopies;
  VecCopies.reserve(LngHull + 1);
  for (std::size_t LngI = 0; LngI <= LngHull; ++LngI) {
    VecCopies.emplace_back(VecWork[LngI]->Clone());
  }
  std::vector<TPoint*> VecHull;
  VecHull.reserve(VecCopies.size());
  for (std::unique_ptr<TPoint>& PtrCopy : VecCopies) {
    VecHull.push_back(PtrCopy.release());
  }
  return VecHull;
}
