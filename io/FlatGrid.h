// io/FlatGrid.h - TFlatGrid: the cells of one grid file in one block, row after row, as the grid
// reader places them; no TMap rows and no no-data fill. io/FlatGrid.cpp holds it; the tessgrid
// command reads its two inputs into them.
#ifndef IO_FLATGRID_H
#define IO_FLATGRID_H

#include <cstddef>

#include "io/GridHeader.h"
#include "io/GridReader.h"
#include "io/LargeBlock.h"

namespace tessgrid::detail {

/// Storage for the grid reader: cell (column c, row r) at Cells()[r x Columns() + c], row 0 the
/// northern row. The block is claimed once the reader has seen that the input can hold the
/// cells, and is never filled before the reader writes the cells.
class TFlatGrid final : public TGridStorage {
 public:
  void Prepare(const TGridHeader& Header) override;
  double* Row(long LngRow) override {
    return Cells() + static_cast<std::size_t>(LngRow) * MbrLngColumns;
  }

  /// Returns the first cell, or null for a grid without cells.
  double* Cells() const { return static_cast<double*>(MbrBlock.Data()); }
  /// Returns the number of columns, and of rows, of the prepared grid (0 before).
  std::size_t Columns() const { return MbrLngColumns; }
  std::size_t Rows() const { return MbrLngRows; }
  /// Gives the cells' memory back; the grid then has no cells.
  void Release() noexcept;

 private:
  TLargeBlock MbrBlock;
  std::size_t MbrLngColumns = 0;
  std::size_t MbrLngRows = 0;
};

}  // namespace tessgrid::detail

#endif  // IO_FLATGRID_H
