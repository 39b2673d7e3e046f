// ops/CombineRows.cpp - the cell loop of the map-to-map arithmetic.
// The declarations and their contracts are in ops/CombineRows.h.
#include "ops/CombineRows.h"

#include <cmath>

#include "ops/ArithmeticTable.h"

namespace tessgrid::detail {

bool SecondIsBase(TArithmetic Operation, double DblResolutionA, double DblResolutionB) {
  return EntryOf(Operation).BlnFinerGrid && DblResolutionB < DblResolutionA;
}

namespace {

template <typename TOperator>
void CombineCells(const double* PtrBase, const double* PtrPartner, const long* PtrPartnerColumns,
                  std::size_t LngColumns, double DblBaseNoData, double DblPartnerNoData,
                  TOperator Operator, double* PtrResult) {
  const auto Cell = [=](double DblV, double DblW) {
    if (DblV == DblBaseNoData || DblW == DblPartnerNoData) {
      return DblBaseNoData;
    }
    // A NaN operand is the result, the base's first: what the processor gives, but chosen here,
    // since for + and x the compiler may put either operand first.
    return std::isnan(DblV) ? DblV : std::isnan(DblW) ? DblW : Operator(DblV, DblW);
  };
  if (PtrPartnerColumns == nullptr) {
    for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
      PtrResult[LngK] = Cell(PtrBase[LngK], PtrPartner[LngK]);
    }
  } else {
    for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
      PtrResult[LngK] =
          Cell(PtrBase[LngK], PtrPartner[static_cast<std::size_t>(PtrPartnerColumns[LngK])]);
    }
  }
}

}  // namespace

void CombineRow(TArithmetic Operation, const double* PtrBase, const double* PtrPartner,
                const long* PtrPartnerColumns, std::size_t LngColumns, double DblBaseNoData,
                double DblPartnerNoData, double* PtrResult) {
  switch (Operation) {
    case TArithmetic::kAdd:
      CombineCells(
          PtrBase, PtrPartner, PtrPartnerColumns, LngColumns, DblBaseNoData, DblPartnerNoData,
          [](double DblV, double DblW) { return DblV + DblW; }, PtrResult);
      return;
    case TArithmetic::kSubtract:
      CombineCells(
          PtrBase, PtrPartner, PtrPartnerColumns, LngColumns, DblBaseNoData, DblPartnerNoData,
          [](double DblV, double DblW) { return DblV - DblW; }, PtrResult);
      return;
    case TArithmetic::kMultiply:
      CombineCells(
          PtrBase, PtrPartner, PtrPartnerColumns, LngColumns, DblBaseNoData, DblPartnerNoData,
          [](double DblV, double DblW) { return DblV * DblW; }, PtrResult);
      return;
    case TArithmetic::kDivide:
      CombineCells(
          PtrBase, PtrPartner, PtrPartnerColumns, LngColumns, DblBaseNoData, DblPartnerNoData,
          [](double DblV, double DblW) { return DblV / DblW; }, PtrResult);
      return;
  }
}

const long* PartnerColumnsOf(const std::vector<long>& VecColumns, std::size_t LngPartnerColumns) {
  if (VecColumns.size() != LngPartnerColumns) {
    return VecColumns.data();
  }
  for (std::size_t LngK = 0; LngK < VecColumns.size(); ++LngK) {
    if (VecColumns[LngK] != static_cast<long>(LngK)) {
      return VecColumns.data();
    }
  }
  return nullptr;
}

}  // namespace tessgrid::detail
