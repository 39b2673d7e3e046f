// engine/CellRule.h - TCellRule: the cell rule of a cell-wise operation, a result row from the rows
// of its inputs in the library's no-data. The series operations and the tool's commands define
// them.
#ifndef ENGINE_CELLRULE_H
#define ENGINE_CELLRULE_H

#include <cstddef>

namespace tessgrid::detail {

/// The cell rule of a command: a result row from the rows of its inputs, all with the library's
/// no-data value (-9999), computed as the library's operation computes each cell.
class TCellRule {
 public:
  virtual ~TCellRule() = default;
  /// Returns the fewest inputs the rule takes; fewer take the library's path and its message.
  virtual std::size_t FewestInputs() const = 0;
  /// Computes row LngRow of the result, LngColumns cells, into PtrOut from PtrRows[0] to
  /// PtrRows[LngInputs - 1], on worker LngWorker (below the run's thread count; one call at a
  /// time each). Returns the first column whose result came from data to -9999, which the
  /// library path would fail CheckDataKept on, or -1. Throws the rule's own failures.
  virtual long Row(long LngWorker, std::size_t LngRow, const double* const* PtrRows,
                   std::size_t LngInputs, std::size_t LngColumns, double* PtrOut) = 0;
  /// Returns whether Row writes every result that is not finite as -9999 itself, so that a
  /// result declaring -9999 takes its rows as they are.
  virtual bool WritesFiniteRows() const { return false; }
};

}  // namespace tessgrid::detail

#endif  // ENGINE_CELLRULE_H
