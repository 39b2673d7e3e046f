// io/FlatGrid.cpp - claiming and giving back the block of a flat grid.
// The declarations and their contracts are in io/FlatGrid.h.
#include "io/FlatGrid.h"

#include <cstdint>
#include <new>

namespace tessgrid::detail {

void TFlatGrid::Prepare(const TGridHeader& Header) {
  // The header has checked that the cell count fits a long; the reader prepares only cells that
  // the input can hold, two bytes each at least, so the byte count fits as well.
  const std::size_t LngColumns = static_cast<std::size_t>(Header.LngColumns);
  const std::size_t LngRows = static_cast<std::size_t>(Header.LngRows);
  if (LngColumns != 0 && LngRows > SIZE_MAX / sizeof(double) / LngColumns) {
    throw std::bad_alloc();
  }
  MbrBlock = TLargeBlock(LngColumns * LngRows * sizeof(double));
  MbrLngColumns = LngColumns;
  MbrLngRows = LngRows;
}

void TFlatGrid::Release() noexcept {
  MbrBlock.Release();
  MbrLngColumns = 0;
  MbrLngRows = 0;
}

}  // namespace tessgrid::detail
