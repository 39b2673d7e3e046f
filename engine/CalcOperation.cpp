// engine/CalcOperation.cpp - calc's cell rule, its run on loaded maps and over grids in memory.
// The contracts are in engine/CalcOperation.h.
#include "engine/CalcOperation.h"

#include <tuple>

#include "engine/ExpressionRows.h"
#include "engine/NoDataModel.h"
#include "model/Fail.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

// Cells still pair by column and row where the caller let grids on different places through.
void CheckSameSize(const std::vector<const TMap*>& VecMaps,
                   const std::vector<std::string>& VecNames) {
  for (std::size_t LngI = 1; LngI < VecMaps.size(); ++LngI) {
    for (const auto& [PtrEntry, LngFirst, LngOther] :
         {std::tuple{"ncols", VecMaps[0]->MbrLngXDim, VecMaps[LngI]->MbrLngXDim},
          std::tuple{"nrows", VecMaps[0]->MbrLngYDim, VecMaps[LngI]->MbrLngYDim}}) {
      if (LngFirst != LngOther) {
        Fail("grids are not the same size: " + VecNames[0] + " and " + VecNames[LngI] +
             " differ in " + PtrEntry + " (" + std::to_string(LngFirst) + " vs " +
             std::to_string(LngOther) + ")");
      }
    }
  }
}

}  // namespace

TCalcCellRule::TCalcCellRule(const TExpression& Expression, const TLetterSet& ArrGiven,
                             long LngWorkers)
    : MbrExpression(Expression),
      MbrVecEvaluators(static_cast<std::size_t>(std::max(1L, LngWorkers))) {
  for (std::size_t LngI = 0, LngInput = 0; LngI < kLngExpressionLetters; ++LngI) {
    MbrArrInputs[LngI] = ArrGiven[LngI] ? LngInput++ : kLngNone;
  }
}

long TCalcCellRule::Row(long LngWorker, std::size_t, const double* const* PtrRows, std::size_t,
                        std::size_t LngColumns, double* PtrOut) {
  std::unique_ptr<TExpression::TEvaluator>& PtrEvaluator =
      MbrVecEvaluators[static_cast<std::size_t>(LngWorker)];
  std::array<const double*, kLngExpressionLetters> ArrRows{};
  for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
    ArrRows[LngI] = MbrArrInputs[LngI] == kLngNone ? nullptr : PtrRows[MbrArrInputs[LngI]];
  }
  if (!PtrEvaluator) {
    PtrEvaluator = MbrExpression.NewEvaluator();
  }
  return PtrEvaluator->EvaluateRow(ArrRows, PtrOut, static_cast<long>(LngColumns),
                                   kDblLibraryNoData);
}

std::unique_ptr<TMap> CalcOfMaps(const TExpression& Expression, const TLetterSet& ArrGiven,
                                 const std::vector<const TMap*>& VecMaps,
                                 const std::vector<std::string>& VecNames, long LngThreads) {
  CheckSameSize(VecMaps, VecNames);
  std::array<const TMap*, kLngExpressionLetters> ArrMaps{};
  for (std::size_t LngI = 0, LngGiven = 0; LngI < kLngExpressionLetters; ++LngI) {
    if (ArrGiven[LngI]) {
      ArrMaps[LngI] = VecMaps[LngGiven++];
    }
  }
  // A copy of the first grid's shape and axes; every cell is overwritten.
  std::unique_ptr<TMap> PtrResult(TMapTools::Multiply(VecMaps.front(), 0.0));
  TMap& Result = *PtrResult;
  const TLostCell Lost = EvaluateRows(
      Expression, Result.MbrLngYDim, Result.MbrLngXDim, kDblLibraryNoData, LngThreads,
      [&](long LngRow, std::array<const double*, kLngExpressionLetters>& ArrRows, double*& PtrOut) {
        const std::size_t LngR = static_cast<std::size_t>(LngRow);
        for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
          ArrRows[LngI] = ArrMaps[LngI] ? ArrMaps[LngI]->MbrVecValues[LngR].data() : nullptr;
        }
        PtrOut = Result.MbrVecValues[LngR].data();
      });
  if (Lost.LngRow >= 0) {
    FailDataLost(static_cast<std::size_t>(Lost.LngRow), static_cast<std::size_t>(Lost.LngColumn));
  }
  return PtrResult;
}

void CalcInMemory(const TExpression& Expression, const TLetterSet& ArrGiven,
                  const std::vector<TMemoryInput>& VecInputs, long LngThreads, TRowSink& Sink,
                  double DblNoData, const std::string& StgOutput) {
  TCalcCellRule Rule(Expression, ArrGiven, LngThreads);
  RunInMemory(Rule, VecInputs, LngThreads, Sink, DblNoData, StgOutput);
}

}  // namespace tessgrid::detail
