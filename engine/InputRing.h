// engine/InputRing.h - TInputRing: where the grid reader places the cells of one input that a
// reader of rows may still take, a ring of rows rather than the whole grid. The series stream and
// the grid files read as row sources keep their inputs in it.
#ifndef ENGINE_INPUTRING_H
#define ENGINE_INPUTRING_H

#include <algorithm>
#include <cstddef>

#include "io/GridReader.h"
#include "io/LargeBlock.h"

namespace tessgrid::detail {

/// The rows of one input that its reader may still take: row r in slot r mod slots. Rows before
/// the first one not yet taken are free. Between two calls of CellsPlaced the grid reader fills
/// at most BlockRows rows, beginning with the one it left unfinished; a round reads only while a
/// row before the round's end is unfinished, so it fills no row beyond RoundRows + BlockRows - 2
/// past the first row not yet taken: RoundRows + BlockRows - 1 slots never reach one still to be
/// taken. An input of unknown size keeps all its rows (BlnWhole): its reader places them only
/// once the last has arrived.
class TInputRing final : public TGridStorage {
 public:
  TInputRing(std::size_t LngBlockCells, std::size_t LngRoundRows, bool BlnWhole)
      : MbrLngBlockCells(LngBlockCells), MbrLngRoundRows(LngRoundRows), MbrBlnWhole(BlnWhole) {}

  void Prepare(const TGridHeader& Header) override {
    MbrLngColumns = static_cast<std::size_t>(Header.LngColumns);
    const std::size_t LngRows = static_cast<std::size_t>(Header.LngRows);
    if (MbrLngColumns == 0) {
      return;
    }
    const std::size_t LngBlockRows = 2 + MbrLngBlockCells / MbrLngColumns;
    MbrLngSlots = MbrBlnWhole ? LngRows : std::min(LngRows, MbrLngRoundRows + LngBlockRows - 1);
    MbrBlock = TLargeBlock(MbrLngSlots * MbrLngColumns * sizeof(double));
  }

  double* Row(long LngRow) override {
    if (MbrLngSlots == 0) {
      return nullptr;  // rows without cells
    }
    return static_cast<double*>(MbrBlock.Data()) +
           static_cast<std::size_t>(LngRow) % MbrLngSlots * MbrLngColumns;
  }

  void CellsPlaced(std::size_t LngCells) override {
    MbrLngComplete = MbrLngColumns == 0 ? 0 : LngCells / MbrLngColumns;
  }

  // Rows whose cells are all in place, counted from the first.
  std::size_t Complete() const { return MbrLngComplete; }

 private:
  std::size_t MbrLngBlockCells;
  std::size_t MbrLngRoundRows;
  bool MbrBlnWhole;
  std::size_t MbrLngColumns = 0;
  std::size_t MbrLngSlots = 0;
  std::size_t MbrLngComplete = 0;
  TLargeBlock MbrBlock;
};

}  // namespace tessgrid::detail

#endif  // ENGINE_INPUTRING_H
