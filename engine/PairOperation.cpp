// engine/PairOperation.cpp - the map-to-map operations' cell rule and their run on loaded maps.
// The contracts are in engine/PairOperation.h.
#include "engine/PairOperation.h"

#include "engine/NoDataModel.h"
#include "ops/ArithmeticTable.h"
#include "ops/LibraryNoData.h"

namespace tessgrid::detail {

long TPairCellRule::Row(long, std::size_t, const double* const* PtrRows, std::size_t,
                        std::size_t LngColumns, double* PtrOut) {
  CombineRow(MbrOperation, PtrRows[0], PtrRows[1], nullptr, LngColumns, kDblLibraryNoData,
             kDblLibraryNoData, PtrOut);
  return DataLostColumn(PtrRows, 2, PtrOut, LngColumns);
}

std::unique_ptr<TMap> PairOfMaps(TArithmetic Operation, const TMap& A, const TMap& B) {
  std::unique_ptr<TMap> PtrResult(EntryOf(Operation).PtrLibrary(&A, &B));
  // Where the cells pair by column and row, a result of -9999 from two data cells shows.
  if (A.MbrLngXDim == B.MbrLngXDim && A.MbrLngYDim == B.MbrLngYDim &&
      A.MbrDblResolution == B.MbrDblResolution) {
    CheckDataKept({&A, &B}, *PtrResult);
  }
  return PtrResult;
}

}  // namespace tessgrid::detail
