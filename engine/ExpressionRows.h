// engine/ExpressionRows.h - an expression over whole grids: rows in blocks over the thread
// module's pool, one evaluator a thread. engine/ExpressionRows.cpp holds it; both faces of calc
// (tessgrid-tool and the Python module) evaluate through it.
#ifndef ENGINE_EXPRESSIONROWS_H
#define ENGINE_EXPRESSIONROWS_H

#include <array>
#include <functional>

#include "engine/Expression.h"

namespace tessgrid::detail {

/// Where row LngRow lies: sets ArrRows[i] to the cells of variable A + i (those the expression
/// names must be set) and PtrOut to the cells the result goes to. Called from several threads
/// at once, so it must only read shared state.
using TExpressionRowsOf = std::function<void(
    long LngRow, std::array<const double*, kLngExpressionLetters>& ArrRows, double*& PtrOut)>;

/// The first cell, in row order, whose result equals the no-data value although no named input
/// is no-data there; LngRow is -1 when there is none.
struct TLostCell {
  long LngRow = -1;
  long LngColumn = -1;
};

/// Evaluates the expression (see TExpression::TEvaluator::EvaluateRow) over LngRows rows of
/// LngColumns cells on LngThreads threads or fewer, each with an evaluator of its own, taking
/// blocks of rows as they come free. A cell depends on its inputs alone, so every thread count
/// gives the same cells and the same lost cell.
TLostCell EvaluateRows(const TExpression& Expression, long LngRows, long LngColumns,
                       double DblNoData, long LngThreads, const TExpressionRowsOf& RowsOf);

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSIONROWS_H
