// ops/Arithmetic.cpp - TMapTools::Add, Subtract, Multiply and Divide: two maps cell by cell.
// The declarations and their contracts are in ops/TMapTools.h; the batched lookup in
// ops/AxisLookup.h.
#include <memory>
#include <vector>

#include "model/Fail.h"
#include "ops/AxisLookup.h"
#include "ops/TMapTools.h"

using tessgrid::detail::CheckLookup;
using tessgrid::detail::Fail;
using tessgrid::detail::LookupIndices;

namespace {

// Codes beside those of AxisLookup.h for what the per-cell definition meets before the lookup.
enum : long {
  kLngNoCentre = -10,  ///< the base centre axis has an empty slot for this column or row
  kLngNoAxes = -11,    ///< the partner has no interval axis in this direction
};

struct TAddition {
  double operator()(double DblV, double DblW) const { return DblV + DblW; }
};
struct TMultiplication {
  double operator()(double DblV, double DblW) const { return DblV * DblW; }
};
struct TDivision {
  double operator()(double DblV, double DblW) const { return DblV / DblW; }
};

// The partner column (or row) of every base column (or row): the partner cell depends on the
// centre's x only through its column and on its y only through its row.
std::vector<long> PartnerIndices(const TAxis& BaseCentres, const TAxis* PtrPartnerEdges,
                                 char ChrAxis) {
  std::vector<double> VecCoordinates;
  VecCoordinates.reserve(BaseCentres.MbrVecPoints.size());
  for (const TPoint* PtrCentre : BaseCentres.MbrVecPoints) {
    // An empty slot gets a placeholder here and its own code below.
    VecCoordinates.push_back(PtrCentre == nullptr ? 0.0
                             : ChrAxis == 'X'     ? PtrCentre->MbrDblX
                                                  : PtrCentre->MbrDblY);
  }
  std::vector<long> VecIndices = PtrPartnerEdges == nullptr
                                     ? std::vector<long>(VecCoordinates.size(), kLngNoAxes)
                                     : LookupIndices(*PtrPartnerEdges, VecCoordinates, ChrAxis);
  for (std::size_t LngI = 0; LngI < VecIndices.size(); ++LngI) {
    if (BaseCentres.MbrVecPoints[LngI] == nullptr) {
      VecIndices[LngI] = kLngNoCentre;
    }
  }
  return VecIndices;
}

bool IsPartnerCell(long LngIndex, long LngDim) {
  return LngIndex >= 0 && LngIndex < LngDim;
}

// Throws what the per-cell definition throws at a base cell whose partner lookup gave these
// codes: the centre first, then the search in x, the search in y, and the two range checks.
[[noreturn]] void FailAtCell(long LngColumn, long LngRow, const TMap& Partner) {
  if (LngColumn == kLngNoCentre || LngRow == kLngNoCentre) {
    Fail("Axis has an unfilled slot in TMap::GetCoordinates");
  }
  if (LngColumn == kLngNoAxes) {
    Fail("Map has no axes in TMap::GetIndex");
  }
  CheckLookup(LngColumn);
  if (LngRow == kLngNoAxes) {
    Fail("Map has no axes in TMap::GetIndex");
  }
  CheckLookup(LngRow);
  if (!IsPartnerCell(LngColumn, Partner.MbrLngXDim)) {
    Fail("LngX is out of range in TMap::GetPointVal");
  }
  Fail("LngY is out of range in TMap::GetPointVal");
}

// Fails as the per-cell definition would at its first unpaired cell, row by row from the north.
// No arithmetic can fail, so the whole check runs before the cell loop.
void CheckPairing(const std::vector<long>& VecColumns, const std::vector<long>& VecRows,
                  const TMap& Partner) {
  if (VecColumns.empty() || VecRows.empty()) {
    return;
  }
  std::size_t LngFirstBadColumn = 0;
  while (LngFirstBadColumn < VecColumns.size() &&
         IsPartnerCell(VecColumns[LngFirstBadColumn], Partner.MbrLngXDim)) {
    ++LngFirstBadColumn;
  }
  for (const long LngRow : VecRows) {
    if (!IsPartnerCell(LngRow, Partner.MbrLngYDim)) {
      FailAtCell(VecColumns.front(), LngRow, Partner);
    }
    if (LngFirstBadColumn < VecColumns.size()) {
      FailAtCell(VecColumns[LngFirstBadColumn], LngRow, Partner);
    }
  }
}

// The shared scheme of Add, Multiply and Divide: the result takes the base map's grid and
// no-data value, and every cell pairs with the partner cell that holds its centre.
template <typename TOperator>
TMap* CombineByCoordinates(const TMap& Base, const TMap& Partner, TOperator Operator,
                           const char* PtrNoAxesMessage) {
  if (Base.MbrPtrXAxis == nullptr || Base.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  auto PtrResult = std::make_unique<TMap>(Base.MbrDblResolution, Base.MbrLngXDim, Base.MbrLngYDim);
  PtrResult->MbrDblNoDataValue = Base.MbrDblNoDataValue;
  PtrResult->SetXAxis(Base.MbrPtrXAxis);
  PtrResult->SetYAxis(Base.MbrPtrYAxis);

  const std::vector<long> VecColumns =
      PartnerIndices(*Base.MbrPtrXAxis, Partner.MbrPtrXAxisInterval, 'X');
  const std::vector<long> VecRows =
      PartnerIndices(*Base.MbrPtrYAxis, Partner.MbrPtrYAxisInterval, 'Y');
  CheckPairing(VecColumns, VecRows, Partner);

  const double DblBaseNoData = Base.MbrDblNoDataValue;
  const double DblPartnerNoData = Partner.MbrDblNoDataValue;
  const std::size_t LngColumns = VecColumns.size();
  for (std::size_t LngR = 0; LngR < VecRows.size(); ++LngR) {
    const double* PtrBaseRow = Base.MbrVecValues[LngR].data();
    const double* PtrPartnerRow =
        Partner.MbrVecValues[static_cast<std::size_t>(VecRows[LngR])].data();
    double* PtrResultRow = PtrResult->MbrVecValues[LngR].data();
    for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
      const double DblV = PtrBaseRow[LngK];
      const double DblW = PtrPartnerRow[static_cast<std::size_t>(VecColumns[LngK])];
      PtrResultRow[LngK] =
          DblV == DblBaseNoData || DblW == DblPartnerNoData ? DblBaseNoData : Operator(DblV, DblW);
    }
  }
  return PtrResult.release();
}

// The finer grid is the base map; the first argument wins a tie (and a NaN resolution).
bool SecondIsFiner(const TMap& MapA, const TMap& MapB) {
  return MapB.MbrDblResolution < MapA.MbrDblResolution;
}

}  // namespace

TMap* TMapTools::Add(const TMap* PtrMapA, const TMap* PtrMapB) {
  if (SecondIsFiner(*PtrMapA, *PtrMapB)) {
    return CombineByCoordinates(*PtrMapB, *PtrMapA, TAddition(),
                                "Map has no axes in TMapTools::Add");
  }
  return CombineByCoordinates(*PtrMapA, *PtrMapB, TAddition(), "Map has no axes in TMapTools::Add");
}

TMap* TMapTools::Multiply(const TMap* PtrMapA, const TMap* PtrMapB) {
  if (SecondIsFiner(*PtrMapA, *PtrMapB)) {
    return CombineByCoordinates(*PtrMapB, *PtrMapA, TMultiplication(),
                                "Map has no axes in TMapTools::Multiply");
  }
  return CombineByCoordinates(*PtrMapA, *PtrMapB, TMultiplication(),
                              "Map has no axes in TMapTools::Multiply");
}

TMap* TMapTools::Divide(const TMap* PtrMapA, const TMap* PtrMapB) {
  // Written as "not at most" so that a NaN resolution is refused as well.
  if (!(PtrMapA->MbrDblResolution <= PtrMapB->MbrDblResolution)) {
    Fail("Divisor must be of equal of coarser resolution than the dividend in TMapTools::Divide");
  }
  return CombineByCoordinates(*PtrMapA, *PtrMapB, TDivision(),
                              "Map has no axes in TMapTools::Divide");
}

TMap* TMapTools::Subtract(const TMap* PtrMapA, const TMap* PtrMapB) {
  if (PtrMapA->MbrLngXDim != PtrMapB->MbrLngXDim) {
    Fail("X dimensions do not match in TMapTools::Subtract");
  }
  if (PtrMapA->MbrLngYDim != PtrMapB->MbrLngYDim) {
    Fail("Y dimensions do not match in TMapTools::Subtract");
  }
  if (PtrMapA->MbrPtrXAxis == nullptr || PtrMapA->MbrPtrYAxis == nullptr) {
    Fail("Map has no axes in TMapTools::Subtract");
  }
  auto PtrResult = std::make_unique<TMap>(PtrMapA->MbrPtrXAxis, PtrMapA->MbrPtrYAxis);
  PtrResult->MbrDblNoDataValue = PtrMapA->MbrDblNoDataValue;
  // A negative dimension stands for an empty grid.
  const long LngColumns = PtrMapA->MbrLngXDim > 0 ? PtrMapA->MbrLngXDim : 0;
  const long LngRows = PtrMapA->MbrLngYDim > 0 ? PtrMapA->MbrLngYDim : 0;
  // The result is as large as a's axes; axes shorter than a's grid stop the writes where the
  // bounds-checked SetPoint would.
  if (LngColumns > 0 && LngRows > 0) {
    if (LngColumns > PtrResult->MbrLngXDim) {
      Fail("X-ordinate is out of range in TMap::SetPoint");
    }
    if (LngRows > PtrResult->MbrLngYDim) {
      Fail("Y-ordinate is out of range in TMap::SetPoint");
    }
  }
  const double DblNoDataA = PtrMapA->MbrDblNoDataValue;
  const double DblNoDataB = PtrMapB->MbrDblNoDataValue;
  for (std::size_t LngR = 0; LngR < static_cast<std::size_t>(LngRows); ++LngR) {
    const double* PtrRowA = PtrMapA->MbrVecValues[LngR].data();
    const double* PtrRowB = PtrMapB->MbrVecValues[LngR].data();
    double* PtrResultRow = PtrResult->MbrVecValues[LngR].data();
    for (std::size_t LngK = 0; LngK < static_cast<std::size_t>(LngColumns); ++LngK) {
      const double DblVa = PtrRowA[LngK];
      const double DblVb = PtrRowB[LngK];
      PtrResultRow[LngK] = DblVa == DblNoDataA || DblVb == DblNoDataB ? DblNoDataA : DblVa - DblVb;
    }
  }
  return PtrResult.release();
}
