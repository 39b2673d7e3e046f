// ops/Arithmetic.cpp - TMapTools::Add, Subtract, Multiply and Divide: two maps cell by cell.
// The declarations and their contracts are in ops/TMapTools.h; the cell rule in ops/CombineRows.h
// and the partner lookup in ops/PartnerLookup.h.
#include <algorithm>
#include <memory>
#include <vector>

#include "model/Fail.h"
#include "model/UnfilledMap.h"
#include "ops/CombineRows.h"
#include "ops/PartnerLookup.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"

using tessgrid::detail::CheckOperands;
using tessgrid::detail::CheckPairing;
using tessgrid::detail::CheckResultHoldsGrid;
using tessgrid::detail::CombineRow;
using tessgrid::detail::Fail;
using tessgrid::detail::FillRows;
using tessgrid::detail::FindPartnerLines;
using tessgrid::detail::NewUnfilledMap;
using tessgrid::detail::PartnerColumnsOf;
using tessgrid::detail::SecondIsBase;
using tessgrid::detail::TArithmetic;
using tessgrid::detail::TPartnerLines;

namespace {

// The shared scheme of Add, Multiply and Divide: the result takes the base map's grid and
// no-data value, and every cell pairs with the partner cell that holds its centre.
TMap* CombineByCoordinates(TArithmetic Operation, const TMap& Base, const TMap& Partner,
                           const char* PtrNoAxesMessage) {
  if (Base.MbrPtrXAxis == nullptr || Base.MbrPtrYAxis == nullptr) {
    Fail(PtrNoAxesMessage);
  }
  std::unique_ptr<TMap> PtrResult =
      NewUnfilledMap(Base.MbrDblResolution, Base.MbrLngXDim, Base.MbrLngYDim);
  PtrResult->MbrDblNoDataValue = Base.MbrDblNoDataValue;
  PtrResult->SetXAxis(Base.MbrPtrXAxis);
  PtrResult->SetYAxis(Base.MbrPtrYAxis);

  // No arithmetic can fail, so the whole pairing is checked before the cell loop.
  const TPartnerLines Columns =
      FindPartnerLines(*Base.MbrPtrXAxis, Partner.MbrPtrXAxisInterval, Partner.MbrLngXDim, 'X');
  const TPartnerLines Rows =
      FindPartnerLines(*Base.MbrPtrYAxis, Partner.MbrPtrYAxisInterval, Partner.MbrLngYDim, 'Y');
  CheckPairing(Columns, Rows);

  const std::vector<long>& VecRows = Rows.MbrVecIndices;
  const long* const PtrColumns = PartnerColumnsOf(
      Columns.MbrVecIndices, static_cast<std::size_t>(std::max(Partner.MbrLngXDim, 0L)));
  FillRows(*PtrResult, PtrResult->MbrLngXDim, PtrResult->MbrLngYDim,
           [&](long LngY, double* PtrOut) {
             const std::size_t LngR = static_cast<std::size_t>(LngY);
             CombineRow(Operation, Base.MbrVecValues[LngR].data(),
                        Partner.MbrVecValues[static_cast<std::size_t>(VecRows[LngR])].data(),
                        PtrColumns, Columns.MbrVecIndices.size(), Base.MbrDblNoDataValue,
                        Partner.MbrDblNoDataValue, PtrOut);
           });
  return PtrResult.release();
}

// Add, Multiply and Divide: the operand checks, then the pairing on the base map's grid.
TMap* ByCoordinates(TArithmetic Operation, const TMap* PtrMapA, const TMap* PtrMapB,
                    const char* PtrNoAxesMessage) {
  CheckOperands(Operation, PtrMapA->MbrLngXDim, PtrMapA->MbrLngYDim, PtrMapA->MbrDblResolution,
                PtrMapB->MbrLngXDim, PtrMapB->MbrLngYDim, PtrMapB->MbrDblResolution);
  if (SecondIsBase(Operation, PtrMapA->MbrDblResolution, PtrMapB->MbrDblResolution)) {
    return CombineByCoordinates(Operation, *PtrMapB, *PtrMapA, PtrNoAxesMessage);
  }
  return CombineByCoordinates(Operation, *PtrMapA, *PtrMapB, PtrNoAxesMessage);
}

}  // namespace

TMap* TMapTools::Add(const TMap* PtrMapA, const TMap* PtrMapB) {
  return ByCoordinates(TArithmetic::kAdd, PtrMapA, PtrMapB, "Map has no axes in TMapTools::Add");
}

TMap* TMapTools::Multiply(const TMap* PtrMapA, const TMap* PtrMapB) {
  return ByCoordinates(TArithmetic::kMultiply, PtrMapA, PtrMapB,
                       "Map has no axes in TMapTools::Multiply");
}

TMap* TMapTools::Divide(const TMap* PtrMapA, const TMap* PtrMapB) {
  return ByCoordinates(TArithmetic::kDivide, PtrMapA, PtrMapB,
                       "Map has no axes in TMapTools::Divide");
}

TMap* TMapTools::Subtract(const TMap* PtrMapA, const TMap* PtrMapB) {
  CheckOperands(TArithmetic::kSubtract, PtrMapA->MbrLngXDim, PtrMapA->MbrLngYDim,
                PtrMapA->MbrDblResolution, PtrMapB->MbrLngXDim, PtrMapB->MbrLngYDim,
                PtrMapB->MbrDblResolution);
  if (PtrMapA->MbrPtrXAxis == nullptr || PtrMapA->MbrPtrYAxis == nullptr) {
    Fail("Map has no axes in TMapTools::Subtract");
  }
  std::unique_ptr<TMap> PtrResult = NewUnfilledMap(PtrMapA->MbrPtrXAxis, PtrMapA->MbrPtrYAxis);
  PtrResult->MbrDblNoDataValue = PtrMapA->MbrDblNoDataValue;
  // A negative dimension stands for an empty grid.
  const long LngColumns = PtrMapA->MbrLngXDim > 0 ? PtrMapA->MbrLngXDim : 0;
  const long LngRows = PtrMapA->MbrLngYDim > 0 ? PtrMapA->MbrLngYDim : 0;
  // The result is as large as a's axes; axes shorter than a's grid stop the writes where the
  // bounds-checked SetPoint would.
  CheckResultHoldsGrid(*PtrResult, LngColumns, LngRows);
  FillRows(*PtrResult, LngColumns, LngRows, [&](long LngY, double* PtrOut) {
    const std::size_t LngR = static_cast<std::size_t>(LngY);
    CombineRow(TArithmetic::kSubtract, PtrMapA->MbrVecValues[LngR].data(),
               PtrMapB->MbrVecValues[LngR].data(), nullptr, static_cast<std::size_t>(LngColumns),
               PtrMapA->MbrDblNoDataValue, PtrMapB->MbrDblNoDataValue, PtrOut);
  });
  return PtrResult.release();
}
