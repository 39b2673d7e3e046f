// engine/CalcOperation.h - calc composed once for every face: the expression over the given
// letters' grids, their no-data read as the library's, the lost-cell check, the result's value.
// engine/CalcOperation.cpp holds it; the tool streams the rule or runs it on loaded maps, Python
// runs it over arrays in memory.
#ifndef ENGINE_CALCOPERATION_H
#define ENGINE_CALCOPERATION_H

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/CellRule.h"
#include "engine/Engine.h"
#include "engine/Expression.h"
#include "engine/MemoryRun.h"
#include "model/TMap.h"

namespace tessgrid::detail {

// Each takes the grids of the letters ArrGiven marks, in letter order: the first given letter's
// grid first, and so on. The expression was parsed with the same letters.

/// calc's cell rule: row r of the result from row r of each given letter's grid, -9999 being
/// no-data (TExpression::TEvaluator::EvaluateRow). Each worker evaluates through an evaluator of
/// its own, made when it first takes a row.
class TCalcCellRule final : public TCellRule {
 public:
  /// Rows for workers 0 to LngWorkers - 1; the expression outlives the rule.
  TCalcCellRule(const TExpression& Expression, const TLetterSet& ArrGiven, long LngWorkers);

  std::size_t FewestInputs() const override { return 1; }
  long Row(long LngWorker, std::size_t LngRow, const double* const* PtrRows, std::size_t LngInputs,
           std::size_t LngColumns, double* PtrOut) override;
  bool WritesFiniteRows() const override { return true; }

 private:
  static constexpr std::size_t kLngNone = kLngExpressionLetters;

  const TExpression& MbrExpression;
  std::array<std::size_t, kLngExpressionLetters> MbrArrInputs{};  ///< of A + i, or kLngNone
  std::vector<std::unique_ptr<TExpression::TEvaluator>> MbrVecEvaluators;  ///< one per worker
};

/// Returns the expression over maps in the library's no-data on LngThreads threads, a new map
/// on the first one's grid (the caller owns it); cells pair by column and row, whatever the
/// maps' places. VecNames names the maps in messages.
/// Throws "grids are not the same size: <first> and <other> differ in ncols (<n> vs <m>)" (or
/// nrows) for the first map whose size differs from the first one's; then CheckDataKept's "the
/// result at row <r>, column <c> comes to -9999, ..." for the first data cell, in row order,
/// whose result is -9999.
std::unique_ptr<TMap> CalcOfMaps(const TExpression& Expression, const TLetterSet& ArrGiven,
                                 const std::vector<const TMap*>& VecMaps,
                                 const std::vector<std::string>& VecNames, long LngThreads);

/// Computes the expression over grids in memory (RunInMemory with TCalcCellRule) on LngThreads
/// threads into the sink, the result on the first grid's grid and declaring DblNoData; an
/// input's cells are read where they lie (or widened a window at a time, for float32 cells),
/// never copied whole.
/// Throws the failures of RunInMemory, in its order: "grids are not aligned: ...", an input's
/// "<name>: the cell at row <r>, column <c> holds -9999, ...", "the result at row <r>, column
/// <c> comes to -9999, ...", then "<output>: the result holds <v> at row <r>, column <c>, ...".
void CalcInMemory(const TExpression& Expression, const TLetterSet& ArrGiven,
                  const std::vector<TMemoryInput>& VecInputs, long LngThreads, TRowSink& Sink,
                  double DblNoData, const std::string& StgOutput);

}  // namespace tessgrid::detail

#endif  // ENGINE_CALCOPERATION_H
