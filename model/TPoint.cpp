// model/TPoint.cpp - the operations of TPoint and TMapPoint.
// The declarations and their contracts are in model/TPoint.h.
#include "model/TPoint.h"

#include <cmath>

TPoint::TPoint(double DblX, double DblY) : MbrDblX(DblX), MbrDblY(DblY) {}

TPoint* TPoint::Clone() const {
  return new TPoint(MbrDblX, MbrDblY);
}

double TPoint::Distance(const TPoint* PtrOther) const {
  const double DblDx = MbrDblX - PtrOther->MbrDblX;
  const double DblDy = MbrDblY - PtrOther->MbrDblY;
  return std::sqrt(DblDx * DblDx + DblDy * DblDy);
}

TMapPoint::TMapPoint(double DblX, double DblY, double DblValue)
    : TPoint(DblX, DblY), MbrDblValue(DblValue) {}

TPoint* TMapPoint::Clone() const {
  return new TMapPoint(MbrDblX, MbrDblY, MbrDblValue);
}
