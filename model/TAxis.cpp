// model/TAxis.cpp - the operations of TAxis.
// The declarations and their contracts are in model/TAxis.h.
#include "model/TAxis.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "model/AxisSearch.h"
#include "model/Fail.h"

using tessgrid::detail::Coordinate;
using tessgrid::detail::Fail;
using tessgrid::detail::LookupMessage;
using tessgrid::detail::ScanIntervals;

TAxis::TAxis(double DblResolution, long LngSize)
    : MbrDblResolution(DblResolution),
      MbrVecPoints(static_cast<std::size_t>(std::max(LngSize, 0L)), nullptr) {}

TAxis::~TAxis() {
  for (TPoint*& PtrPoint : MbrVecPoints) {
    delete PtrPoint;
    PtrPoint = nullptr;
  }
}

TAxis::TAxis(TAxis&& Other) noexcept
    : MbrDblResolution(Other.MbrDblResolution), MbrVecPoints(std::move(Other.MbrVecPoints)) {
  Other.MbrVecPoints.clear();
}

TAxis& TAxis::operator=(TAxis&& Other) noexcept {
  // Swapping hands this axis's old points to Other, whose destructor releases them.
  std::swap(MbrDblResolution, Other.MbrDblResolution);
  std::swap(MbrVecPoints, Other.MbrVecPoints);
  return *this;
}

long TAxis::GetSize() const {
  return static_cast<long>(MbrVecPoints.size());
}

void TAxis::SetPoint(long LngIndex, TPoint* PtrPoint) {
  if (LngIndex < 0 || LngIndex >= GetSize()) {
    Fail("Index is out of range in TAxis::SetPoint");
  }
  TPoint*& PtrSlot = MbrVecPoints[static_cast<std::size_t>(LngIndex)];
  if (PtrSlot != PtrPoint) {
    delete PtrSlot;
    PtrSlot = PtrPoint;
  }
}

TPoint* TAxis::GetPoint(long LngIndex) const {
  if (LngIndex < 0 || LngIndex >= GetSize()) {
    Fail("Index is out of range in TAxis::GetPoint");
  }
  return MbrVecPoints[static_cast<std::size_t>(LngIndex)];
}

long TAxis::GetIndex(double DblCoordinate, char ChrAxis) const {
  TLookupStatus Status = TLookupStatus::kFound;
  const long LngIndex = FindIndex(DblCoordinate, ChrAxis, Status);
  const char* PtrMessage = LookupMessage(Status);
  if (PtrMessage != nullptr) {
    Fail(PtrMessage);
  }
  return LngIndex;
}

long TAxis::FindIndex(double DblCoordinate, char ChrAxis, TLookupStatus& Status) const noexcept {
  const auto EdgeAt = [this, ChrAxis](long LngI) -> const double* {
    const TPoint* PtrPoint = MbrVecPoints[static_cast<std::size_t>(LngI)];
    if (PtrPoint == nullptr) {
      return nullptr;
    }
    return ChrAxis == 'X' ? &PtrPoint->MbrDblX : &PtrPoint->MbrDblY;
  };
  return ScanIntervals(GetSize(), EdgeAt, DblCoordinate, Status);
}

TAxis* TAxis::GetSegment(long LngStart, long LngEnd) const {
  if (LngStart < 0 || LngStart >= GetSize()) {
    Fail("Start index is out of range in TAxis::GetSegment");
  }
  if (LngEnd < 0 || LngEnd >= GetSize()) {
    Fail("End index is out of range in TAxis::GetSegment");
  }
  if (LngStart > LngEnd) {
    Fail("Start index is greater than end index in TAxis::GetSegment");
  }
  auto PtrSegment = std::make_unique<TAxis>(MbrDblResolution, LngEnd - LngStart + 1);
  for (long LngJ = 0; LngJ <= LngEnd - LngStart; ++LngJ) {
    const TPoint* PtrPoint = MbrVecPoints[static_cast<std::size_t>(LngStart + LngJ)];
    PtrSegment->MbrVecPoints[static_cast<std::size_t>(LngJ)] =
        PtrPoint == nullptr ? nullptr : PtrPoint->Clone();
  }
  return PtrSegment.release();
}

TAxis* TAxis::GetSegment(const TPoint* PtrFrom, const TPoint* PtrTo, char ChrAxis) const {
  const long LngStart = GetIndex(Coordinate(PtrFrom, ChrAxis), ChrAxis);
  const long LngEnd = GetIndex(Coordinate(PtrTo, ChrAxis), ChrAxis);
  return GetSegment(LngStart, LngEnd);
}

TAxis* TAxis::Clone() const {
  auto PtrCopy = std::make_unique<TAxis>(MbrDblResolution, GetSize());
  for (std::size_t LngI = 0; LngI < MbrVecPoints.size(); ++LngI) {
    if (MbrVecPoints[LngI] != nullptr) {
      PtrCopy->MbrVecPoints[LngI] = MbrVecPoints[LngI]->Clone();
    }
  }
  return PtrCopy.release();
}
