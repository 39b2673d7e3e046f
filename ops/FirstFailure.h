// ops/FirstFailure.h - the first failing cell of a grid whose checks each depend on the cell's
// column alone or on its row alone. Operations that decide every cell before writing any use it
// to fail exactly where their cell-by-cell definition would.
#ifndef OPS_FIRSTFAILURE_H
#define OPS_FIRSTFAILURE_H

#include <climits>
#include <cstddef>

namespace tessgrid::detail {

/// Step of a line that passes every check.
inline constexpr int kIntPasses = INT_MAX;

/// The first check that a line of cells (a column or a row) fails. An operation numbers the
/// checks of one cell in the order the cell meets them; a cell then fails at the earlier of its
/// column's and its row's fault.
struct TLineFault {
  int MbrIntStep = kIntPasses;          ///< number of the failing check; kIntPasses if none fails
  const char* MbrPtrMessage = nullptr;  ///< the message of that check; null if none fails
};

/// Returns whether the line fails a check.
inline bool Fails(const TLineFault& Fault) {
  return Fault.MbrIntStep != kIntPasses;
}

/// Records that the line fails the check of the given step, unless it fails an earlier one.
inline void Note(TLineFault& Fault, int IntStep, const char* PtrMessage) {
  if (IntStep < Fault.MbrIntStep) {
    Fault.MbrIntStep = IntStep;
    Fault.MbrPtrMessage = PtrMessage;
  }
}

/// Throws the message of the first failing cell when the cells are visited outer line by outer
/// line, each through all the inner lines in order (row by row for outer rows): cell (inner i,
/// outer j) fails with the earlier of the two lines' faults. Returns when no cell fails.
void FailAtFirstCell(const TLineFault* PtrInner, std::size_t LngInner, const TLineFault* PtrOuter,
                     std::size_t LngOuter);

}  // namespace tessgrid::detail

#endif  // OPS_FIRSTFAILURE_H
