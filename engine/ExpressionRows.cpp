// engine/ExpressionRows.cpp - blocks of rows shared out over the pool, each thread evaluating
// through its own evaluator. The contract is in engine/ExpressionRows.h.
#include "engine/ExpressionRows.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "io/Threads.h"

namespace tessgrid::detail {

namespace {

// Rows a thread takes at a time: enough to keep the shared counter cold, few enough that the
// last blocks spread over the threads.
constexpr long kLngBlockRows = 16;

}  // namespace

TLostCell EvaluateRows(const TExpression& Expression, long LngRows, long LngColumns,
                       double DblNoData, long LngThreads, const TExpressionRowsOf& RowsOf) {
  const long LngBlocks = (LngRows + kLngBlockRows - 1) / kLngBlockRows;
  const long LngUsed = std::max(1L, std::min(LngThreads, LngBlocks));
  std::vector<std::unique_ptr<TExpression::TEvaluator>> VecEvaluators;
  for (long LngT = 0; LngT < LngUsed; ++LngT) {
    VecEvaluators.push_back(Expression.NewEvaluator());
  }
  // Each row's first lost column, so that every thread count reports the same cell.
  std::vector<long> VecLost(static_cast<std::size_t>(std::max(0L, LngRows)), -1);
  ForRowBlocks(LngRows, kLngBlockRows, LngUsed, [&](long LngFirst, long LngEnd, long LngWorker) {
    TExpression::TEvaluator& Evaluator = *VecEvaluators[static_cast<std::size_t>(LngWorker)];
    std::array<const double*, kLngExpressionLetters> ArrRows{};
    double* PtrOut = nullptr;
    for (long LngRow = LngFirst; LngRow < LngEnd; ++LngRow) {
      RowsOf(LngRow, ArrRows, PtrOut);
      VecLost[static_cast<std::size_t>(LngRow)] =
          Evaluator.EvaluateRow(ArrRows, PtrOut, LngColumns, DblNoData);
    }
  });
  TLostCell Lost;
  const auto PtrFirst =
      std::find_if(VecLost.begin(), VecLost.end(), [](long LngColumn) { return LngColumn >= 0; });
  if (PtrFirst != VecLost.end()) {
    Lost.LngRow = static_cast<long>(PtrFirst - VecLost.begin());
    Lost.LngColumn = *PtrFirst;
  }
  return Lost;
}

}  // namespace tessgrid::detail
