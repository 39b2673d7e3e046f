// ops/CombineRows.cpp - the cell loop of the map-to-map arithmetic.
// The declarations and their contracts are in ops/CombineRows.h.
#include "ops/CombineRows.h"

#include <algorithm>

namespace tessgrid::detail {

namespace {

// Cells per block of the cell loop.
constexpr std::size_t kLngBlockCells = 256;

// The arithmetic runs on blocks of cells copied into local arrays, which nothing else can alias:
// the compiler then makes one version of it, whether or not the result row is the base row.
template <typename TOperator>
void CombineCells(const double* PtrBase, const double* PtrPartner, const long* PtrPartnerColumns,
                  std::size_t LngColumns, double DblBaseNoData, double DblPartnerNoData,
                  TOperator Operator, double* PtrResult) {
  double DblV[kLngBlockCells];
  double DblW[kLngBlockCells];
  double DblOut[kLngBlockCells];
  for (std::size_t LngFirst = 0; LngFirst < LngColumns; LngFirst += kLngBlockCells) {
    const std::size_t LngCount = std::min(kLngBlockCells, LngColumns - LngFirst);
    for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
      DblV[LngK] = PtrBase[LngFirst + LngK];
    }
    if (PtrPartnerColumns == nullptr) {
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        DblW[LngK] = PtrPartner[LngFirst + LngK];
      }
    } else {
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        DblW[LngK] = PtrPartner[static_cast<std::size_t>(PtrPartnerColumns[LngFirst + LngK])];
      }
    }
    for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
      DblOut[LngK] = DblV[LngK] == DblBaseNoData || DblW[LngK] == DblPartnerNoData
                         ? DblBaseNoData
                         : Operator(DblV[LngK], DblW[LngK]);
    }
    for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
      PtrResult[LngFirst + LngK] = DblOut[LngK];
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
