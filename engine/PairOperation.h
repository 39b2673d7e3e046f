// engine/PairOperation.h - the map-to-map operations (add, subtract, multiply, divide) composed
// once for every face: the cell rule on aligned grids, and the loaded maps' operation with its
// check. engine/PairOperation.cpp holds them; the tool streams the rule, Python runs it in memory.
#ifndef ENGINE_PAIROPERATION_H
#define ENGINE_PAIROPERATION_H

#include <memory>

#include "engine/CellRule.h"
#include "model/TMap.h"
#include "ops/CombineRows.h"

namespace tessgrid::detail {

/// The library's cell rule of the operation on two aligned grids, a row at a time: each cell
/// pairs with the cell of the same column, and -9999 is no-data in both. Immutable.
class TPairCellRule final : public TCellRule {
 public:
  explicit TPairCellRule(TArithmetic Operation) : MbrOperation(Operation) {}

  std::size_t FewestInputs() const override { return 2; }
  long Row(long LngWorker, std::size_t LngRow, const double* const* PtrRows, std::size_t LngInputs,
           std::size_t LngColumns, double* PtrOut) override;

 private:
  TArithmetic MbrOperation;  ///< as given
};

/// Returns the operation's library result on two maps in the library's no-data (TMapTools::Add,
/// Subtract, Multiply or Divide); the caller owns it. Where the maps pair cell for cell (the
/// same size and resolution), a result of -9999 from two data cells fails.
/// Throws the library operation's failures, then CheckDataKept's "the result at row <r>, column
/// <c> comes to -9999, ...".
std::unique_ptr<TMap> PairOfMaps(TArithmetic Operation, const TMap& A, const TMap& B);

}  // namespace tessgrid::detail

#endif  // ENGINE_PAIROPERATION_H
