// engine/OverlayPlan.h - TOverlayPlan: how the overlay computes a result from the cells of
// its base input and its partner's: the geometry the writer states and every base cell's partner.
// engine/OverlayPlan.cpp holds it; the flat and the streamed overlay both combine through it.
#ifndef ENGINE_OVERLAYPLAN_H
#define ENGINE_OVERLAYPLAN_H

#include <cstddef>
#include <memory>
#include <vector>

#include "io/GridHeader.h"
#include "model/AxisCoordinates.h"
#include "ops/AxisLookup.h"
#include "ops/CombineRows.h"
#include "ops/PartnerLookup.h"

namespace tessgrid::detail {

/// Returns whether the overlay computes the operation's result itself: the library builds its
/// result from the base map's centre axes, and a base grid without cells has none to derive edges
/// from, while a NaN cell size fails the resolution test of the result map's constructor. Those
/// two take the library's operation, whose own code gives their failures.
bool OverlayComputes(TArithmetic Operation, const TGridHeader& Header1, const TGridHeader& Header2);

/// The result of the operation on two grids, computed into the base grid's cells: the base is
/// the grid the result takes (SecondIsBase), the partner the other. Rows are counted from the
/// north, a cell's partner is the partner cell holding its centre (Subtract: the cell with the
/// same column and row), and the result's edges derive from the base's centres as TMap::SetXAxis
/// and SetYAxis derive them.
class TOverlayPlan {
 public:
  /// Plans the operation on grids with the headers (first operand first), which OverlayComputes
  /// accepts and whose shapes CheckOperands has passed; pairs the columns and the first rows.
  /// Throws what the TMapTools operation's pairing throws at the first base cell without a
  /// partner, if that cell lies in the first 65536 rows.
  TOverlayPlan(TArithmetic Operation, const TGridHeader& Header1, const TGridHeader& Header2);
  TOverlayPlan(const TOverlayPlan&) = delete;
  TOverlayPlan& operator=(const TOverlayPlan&) = delete;

  /// Returns whether the second operand is the base.
  bool SecondIsBase() const { return MbrBlnSecondIsBase; }
  /// Returns the header of the base grid.
  const TGridHeader& BaseHeader() const { return MbrBaseHeader; }
  /// Returns the western and the southern edge of the result, as the grid writer states them.
  double West() const { return MbrDblWest; }
  double South() const { return MbrDblSouth; }

  /// Combines the LngRows base rows from row LngFirstRow, whose cells lie one row after the other
  /// at PtrCells, with their partner cells (the partner grid's cells row after row at
  /// PtrPartnerCells), in place. Rows handed over in order have each block of 65536 rows paired
  /// once. Throws what the pairing throws at the first of these rows' cells without a partner;
  /// the cells combined before are then left as they are.
  void Combine(std::size_t LngFirstRow, std::size_t LngRows, double* PtrCells,
               const double* PtrPartnerCells);

 private:
  // Pairs the rows of the block of rows that holds the row, unless it is paired already.
  void PairRowsAround(std::size_t LngRow);
  // Sets MbrVecYCentres to the centres of the LngCount rows from LngFirst, a block's first row.
  void SetSlabCentres(std::size_t LngFirst, std::size_t LngCount);

  TArithmetic MbrOperation;
  bool MbrBlnSecondIsBase;
  TGridHeader MbrBaseHeader;
  TGridHeader MbrPartnerHeader;
  std::size_t MbrLngColumns;         ///< base columns
  std::size_t MbrLngPartnerColumns;  ///< partner columns
  std::size_t MbrLngRows;            ///< base rows
  double MbrDblWest;
  double MbrDblSouth;
  std::vector<double> MbrVecSlabSouth;  ///< y of the southern edge of each block of rows
  std::vector<double> MbrVecYCentres;   ///< y of the row centres of the paired block
  TGridEdges MbrPartnerEdges;           ///< the partner's edges (none for Subtract)
  TPartnerLines MbrColumns;             ///< partner column of each base column (none for Subtract)
  const long* MbrPtrColumns;            ///< the columns CombineRow takes: null when read straight
  std::unique_ptr<TEdgeList> MbrPtrPartnerRowEdges;  ///< the partner's Y edges and their order
  std::size_t MbrLngPairedFirst;                     ///< first row of the paired block
  TPartnerLines MbrRows;  ///< partner row of each row of the paired block (none for Subtract)
};

}  // namespace tessgrid::detail

#endif  // ENGINE_OVERLAYPLAN_H
