// ops/Arithmetic.cpp - TMapTools::Add, Subtract, Multiply and Divide: two maps cell by cell.
// The declarations and their contracts are in ops/TMapTools.h; the partner lookup in
// ops/PartnerLookup.h.
#include <memory>
#include <vector>

#include "model/Fail.h"
#include "ops/PartnerLookup.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"

using tessgrid::detail::CheckPairing;
using tessgrid::detail::CheckResultHoldsGrid;
using tessgrid::detail::Fail;
using tessgrid::detail::FindPartnerLines;
using tessgrid::detail::TPartnerLines;

namespace {

struct TAddition {
  double operator()(double DblV, double DblW) const { return DblV + DblW; }
};
struct TMultiplication {
  double operator()(double DblV, double DblW) const { return DblV * DblW; }
};
struct TDivision {
  double operator()(double DblV, double DblW) const { return DblV / DblW; }
};

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

  // No arithmetic can fail, so the whole pairing is checked before the cell loop.
  const TPartnerLines Columns =
      FindPartnerLines(*Base.MbrPtrXAxis, Partner.MbrPtrXAxisInterval, Partner.MbrLngXDim, 'X');
  const TPartnerLines Rows =
      FindPartnerLines(*Base.MbrPtrYAxis, Partner.MbrPtrYAxisInterval, Partner.MbrLngYDim, 'Y');
  CheckPairing(Columns, Rows);

  const std::vector<long>& VecColumns = Columns.MbrVecIndices;
  const std::vector<long>& VecRows = Rows.MbrVecIndices;
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
  CheckResultHoldsGrid(*PtrResult, LngColumns, LngRows);
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
