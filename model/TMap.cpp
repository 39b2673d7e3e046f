// model/TMap.cpp - the operations of TMap and the assertions of its invariants.
// The declarations and their contracts are in model/TMap.h.
#include "model/TMap.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <utility>

#include "model/Fail.h"
#include "model/TAxisTools.h"
#include "model/UnfilledMap.h"

using tessgrid::detail::Fail;

namespace {

using TAxisPtr = std::unique_ptr<TAxis>;

// Puts a newly derived axis pair in place of the old one; the old axes are released.
void ReplaceAxes(TAxis*& PtrCentres, TAxis*& PtrEdges, TAxisPtr PtrNewCentres,
                 TAxisPtr PtrNewEdges) {
  delete PtrCentres;
  PtrCentres = PtrNewCentres.release();
  delete PtrEdges;
  PtrEdges = PtrNewEdges.release();
}

void CheckAxesResolutions(const TAxis* PtrXAxis, const TAxis* PtrYAxis) {
  // Exact comparison on purpose; a NaN resolution matches nothing.
  if (!(PtrXAxis->MbrDblResolution == PtrYAxis->MbrDblResolution)) {
    Fail("Axes resolutions do not match in TMap::TMap");
  }
}

std::size_t CountOf(long LngDim) {
  return static_cast<std::size_t>(LngDim > 0 ? LngDim : 0);
}

}  // namespace

TMap::TMap(double DblResolution)
    : MbrDblResolution(DblResolution),
      MbrLngXDim(0),
      MbrLngYDim(0),
      MbrPtrXAxis(nullptr),
      MbrPtrYAxis(nullptr),
      MbrPtrXAxisInterval(nullptr),
      MbrPtrYAxisInterval(nullptr),
      MbrDblNoDataValue(-9999.0) {}

TMap::TMap(double DblResolution, long LngXDim, long LngYDim) : TMap(DblResolution) {
  Init(DblResolution, LngXDim, LngYDim, -9999.0);
}

TMap::TMap(const TAxis* PtrXAxis, const TAxis* PtrYAxis) : TMap(0.0) {
  CheckAxesResolutions(PtrXAxis, PtrYAxis);
  Init(PtrXAxis->MbrDblResolution, PtrXAxis->GetSize(), PtrYAxis->GetSize(), -9999.0);
  SetXAxis(PtrXAxis);
  SetYAxis(PtrYAxis);
}

TMap::~TMap() {
  ReleaseAxes();
}

TMap::TMap(TMap&& Other) noexcept
    : MbrDblResolution(Other.MbrDblResolution),
      MbrLngXDim(Other.MbrLngXDim),
      MbrLngYDim(Other.MbrLngYDim),
      MbrVecValues(std::move(Other.MbrVecValues)),
      MbrPtrXAxis(std::exchange(Other.MbrPtrXAxis, nullptr)),
      MbrPtrYAxis(std::exchange(Other.MbrPtrYAxis, nullptr)),
      MbrPtrXAxisInterval(std::exchange(Other.MbrPtrXAxisInterval, nullptr)),
      MbrPtrYAxisInterval(std::exchange(Other.MbrPtrYAxisInterval, nullptr)),
      MbrDblNoDataValue(Other.MbrDblNoDataValue) {
  Other.MbrVecValues.clear();
  Other.MbrLngXDim = 0;
  Other.MbrLngYDim = 0;
}

TMap& TMap::operator=(TMap&& Other) noexcept {
  std::swap(MbrDblResolution, Other.MbrDblResolution);
  std::swap(MbrLngXDim, Other.MbrLngXDim);
  std::swap(MbrLngYDim, Other.MbrLngYDim);
  std::swap(MbrVecValues, Other.MbrVecValues);
  std::swap(MbrPtrXAxis, Other.MbrPtrXAxis);
  std::swap(MbrPtrYAxis, Other.MbrPtrYAxis);
  std::swap(MbrPtrXAxisInterval, Other.MbrPtrXAxisInterval);
  std::swap(MbrPtrYAxisInterval, Other.MbrPtrYAxisInterval);
  std::swap(MbrDblNoDataValue, Other.MbrDblNoDataValue);
  return *this;
}

void TMap::ReleaseAxes() {
  delete MbrPtrXAxis;
  delete MbrPtrYAxis;
  delete MbrPtrXAxisInterval;
  delete MbrPtrYAxisInterval;
  MbrPtrXAxis = MbrPtrYAxis = MbrPtrXAxisInterval = MbrPtrYAxisInterval = nullptr;
}

void TMap::FailGetPointVal(const char* PtrMessage) {
  Fail(PtrMessage);
}

void TMap::Init(double DblResolution, long LngXDim, long LngYDim, double DblNoDataValue) {
  // The grid is built aside first, so a map too large for memory leaves this one unchanged.
  std::vector<std::vector<double>> VecValues(CountOf(LngYDim),
                                             std::vector<double>(CountOf(LngXDim), DblNoDataValue));
  ReleaseAxes();
  MbrVecValues.swap(VecValues);
  MbrDblResolution = DblResolution;
  MbrLngXDim = LngXDim;
  MbrLngYDim = LngYDim;
  MbrDblNoDataValue = DblNoDataValue;
}

void TMap::SetPoint(long LngX, long LngY, double DblValue) {
  if (LngX < 0 || LngX >= MbrLngXDim) {
    Fail("X-ordinate is out of range in TMap::SetPoint");
  }
  if (LngY < 0 || LngY >= MbrLngYDim) {
    Fail("Y-ordinate is out of range in TMap::SetPoint");
  }
  MbrVecValues[static_cast<std::size_t>(LngY)][static_cast<std::size_t>(LngX)] = DblValue;
}

TPoint* TMap::GetCoordinates(long LngX, long LngY) const {
  if (MbrPtrXAxis == nullptr || MbrPtrYAxis == nullptr) {
    Fail("Map has no axes in TMap::GetCoordinates");
  }
  if (LngX < 0 || LngX >= MbrPtrXAxis->GetSize()) {
    Fail("LngX is out of range for the X-axis in TMap::GetCoordinates");
  }
  if (LngY < 0 || LngY >= MbrPtrYAxis->GetSize()) {
    Fail("LngY is out of range for the Y-axis in TMap::GetCoordinates");
  }
  const TPoint* PtrX = MbrPtrXAxis->GetPoint(LngX);
  const TPoint* PtrY = MbrPtrYAxis->GetPoint(LngY);
  // The edges derive from the first and the last centre only, so a centre axis with an empty
  // inner slot is accepted by the setters and by the constructor.
  if (PtrX == nullptr || PtrY == nullptr) {
    Fail("Axis has an unfilled slot in TMap::GetCoordinates");
  }
  return new TPoint(PtrX->MbrDblX, PtrY->MbrDblY);
}

TMapPoint* TMap::GetPoint(long LngX, long LngY) const {
  if (LngX < 0 || LngX >= MbrLngXDim) {
    Fail("LngX is out of range in TMap::GetPoint (long,long)");
  }
  if (LngY < 0 || LngY >= MbrLngYDim) {
    Fail("LngY is out of range in TMap::GetPoint (long,long)");
  }
  const std::unique_ptr<TPoint> PtrCentre(GetCoordinates(LngX, LngY));
  return new TMapPoint(PtrCentre->MbrDblX, PtrCentre->MbrDblY, GetPointVal(LngX, LngY));
}

void TMap::InitValues(double DblValue) {
  for (std::vector<double>& VecRow : MbrVecValues) {
    std::fill(VecRow.begin(), VecRow.end(), DblValue);
  }
}

std::vector<double> TMap::GetRow(long LngY) const {
  if (LngY < 0 || LngY >= static_cast<long>(MbrVecValues.size())) {
    Fail("Index is out of bounds in TMap::GetRow");
  }
  return MbrVecValues[static_cast<std::size_t>(LngY)];
}

void TMap::AddRow(std::vector<double> VecRow) {
  const long LngLength = static_cast<long>(VecRow.size());
  const bool BlnTakesWidth = MbrVecValues.empty() && MbrLngXDim == 0;
  if (!BlnTakesWidth && LngLength != MbrLngXDim) {
    Fail("Row length does not match the X dimension of the map in TMap::AddRow");
  }
  MbrVecValues.push_back(std::move(VecRow));
  ++MbrLngYDim;
  if (BlnTakesWidth) {
    MbrLngXDim = LngLength;
  }
}

long TMap::GetIndex(double DblCoordinate, char ChrAxis) const {
  const TAxis* PtrEdges = ChrAxis == 'X' ? MbrPtrXAxisInterval : MbrPtrYAxisInterval;
  if (PtrEdges == nullptr) {
    Fail("Map has no axes in TMap::GetIndex");
  }
  return PtrEdges->GetIndex(DblCoordinate, ChrAxis);
}

void TMap::FindCell(const TPoint* PtrPoint, const char* PtrXMessage, const char* PtrYMessage,
                    long& LngX, long& LngY) const {
  LngX = GetIndex(PtrPoint->MbrDblX, 'X');
  LngY = GetIndex(PtrPoint->MbrDblY, 'Y');
  if (LngX < 0 || LngX >= MbrLngXDim) {
    Fail(PtrXMessage);
  }
  if (LngY < 0 || LngY >= MbrLngYDim) {
    Fail(PtrYMessage);
  }
}

double TMap::GetPointVal(const TPoint* PtrPoint) const {
  long LngX = 0;
  long LngY = 0;
  FindCell(PtrPoint, "LngX is out of range in TMap::GetPointVal",
           "LngY is out of range in TMap::GetPointVal", LngX, LngY);
  return MbrVecValues[static_cast<std::size_t>(LngY)][static_cast<std::size_t>(LngX)];
}

TMapPoint* TMap::GetPoint(const TPoint* PtrPoint) const {
  long LngX = 0;
  long LngY = 0;
  FindCell(PtrPoint, "LngX is out of range in TMap::GetPoint (TPoint*)",
           "LngY is out of range in TMap::GetPoint (TPoint*)", LngX, LngY);
  return new TMapPoint(PtrPoint->MbrDblX, PtrPoint->MbrDblY, GetPointVal(LngX, LngY));
}

void TMap::SetPoint(const TPoint* PtrPoint, double DblValue) {
  long LngX = 0;
  long LngY = 0;
  FindCell(PtrPoint, "LngX is out of range in TMap::SetPoint (TPoint*)",
           "LngY is out of range in TMap::SetPoint (TPoint*)", LngX, LngY);
  MbrVecValues[static_cast<std::size_t>(LngY)][static_cast<std::size_t>(LngX)] = DblValue;
}

std::vector<double> TMap::GetPointValues(std::vector<TPoint*> VecPoints) const {
  std::vector<double> VecResult;
  VecResult.reserve(VecPoints.size());
  for (const TPoint* PtrPoint : VecPoints) {
    VecResult.push_back(GetPointVal(PtrPoint));
  }
  return VecResult;
}

void TMap::SetXAxis(const TAxis* PtrAxis) {
  if (PtrAxis->GetSize() != MbrLngXDim) {
    Fail("Length of new X axis does not match the X dimension of the map");
  }
  TAxisPtr PtrCentres(PtrAxis->Clone());
  TAxisPtr PtrEdges(TAxisTools::PointsToIntervals(PtrAxis, 'X'));
  ReplaceAxes(MbrPtrXAxis, MbrPtrXAxisInterval, std::move(PtrCentres), std::move(PtrEdges));
  assert(MbrPtrXAxis->GetSize() == MbrLngXDim);
  assert(MbrPtrXAxisInterval->GetSize() == MbrLngXDim + 1);
}

void TMap::SetYAxis(const TAxis* PtrAxis) {
  if (PtrAxis->GetSize() != MbrLngYDim) {
    Fail("Length of new Y axis does not match the Y dimension of the map");
  }
  TAxisPtr PtrCentres(PtrAxis->Clone());
  TAxisPtr PtrEdges(TAxisTools::PointsToIntervals(PtrAxis, 'Y'));
  ReplaceAxes(MbrPtrYAxis, MbrPtrYAxisInterval, std::move(PtrCentres), std::move(PtrEdges));
  assert(MbrPtrYAxis->GetSize() == MbrLngYDim);
  assert(MbrPtrYAxisInterval->GetSize() == MbrLngYDim + 1);
}

void TMap::SetXAxisInterval(const TAxis* PtrAxis) {
  // Written without MbrLngXDim + 1, which overflows for a dimension set to the largest long.
  if (PtrAxis->GetSize() - 1 != MbrLngXDim) {
    Fail("Length of new X interval axis does not fit the X dimension of the map");
  }
  TAxisPtr PtrEdges(PtrAxis->Clone());
  TAxisPtr PtrCentres(TAxisTools::IntervalsToPoints(PtrAxis, 'X'));
  ReplaceAxes(MbrPtrXAxis, MbrPtrXAxisInterval, std::move(PtrCentres), std::move(PtrEdges));
  assert(MbrPtrXAxis->GetSize() == MbrLngXDim);
  assert(MbrPtrXAxisInterval->GetSize() == MbrLngXDim + 1);
}

void TMap::SetYAxisInterval(const TAxis* PtrAxis) {
  // Written without MbrLngYDim + 1, which overflows for a dimension set to the largest long.
  if (PtrAxis->GetSize() - 1 != MbrLngYDim) {
    Fail("Length of new Y interval axis does not fit the Y dimension of the map");
  }
  TAxisPtr PtrEdges(PtrAxis->Clone());
  TAxisPtr PtrCentres(TAxisTools::IntervalsToPoints(PtrAxis, 'Y'));
  ReplaceAxes(MbrPtrYAxis, MbrPtrYAxisInterval, std::move(PtrCentres), std::move(PtrEdges));
  assert(MbrPtrYAxis->GetSize() == MbrLngYDim);
  assert(MbrPtrYAxisInterval->GetSize() == MbrLngYDim + 1);
}

std::unique_ptr<TMap> tessgrid::detail::NewUnfilledMap(double DblResolution, long LngXDim,
                                                       long LngYDim) {
  auto PtrMap = std::make_unique<TMap>(DblResolution);
  // Reserved, not resized: the memory is claimed here, as by Init, but touched only by the
  // values the caller appends.
  std::vector<std::vector<double>> VecValues(CountOf(LngYDim));
  for (std::vector<double>& VecRow : VecValues) {
    VecRow.reserve(CountOf(LngXDim));
  }
  PtrMap->MbrVecValues.swap(VecValues);
  PtrMap->MbrLngXDim = LngXDim;
  PtrMap->MbrLngYDim = LngYDim;
  return PtrMap;
}

std::unique_ptr<TMap> tessgrid::detail::NewUnfilledMap(const TAxis* PtrXAxis,
                                                       const TAxis* PtrYAxis) {
  CheckAxesResolutions(PtrXAxis, PtrYAxis);
  std::unique_ptr<TMap> PtrMap =
      NewUnfilledMap(PtrXAxis->MbrDblResolution, PtrXAxis->GetSize(), PtrYAxis->GetSize());
  PtrMap->SetXAxis(PtrXAxis);
  PtrMap->SetYAxis(PtrYAxis);
  return PtrMap;
}
