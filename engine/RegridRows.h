// engine/RegridRows.h - grids on different lattices read onto one target grid: the target's
// choice (whose cell size, which extent) and a row source that delivers an input's rows on it.
// engine/RegridRows.cpp holds them; the tool's calc and series commands and Python use them.
#ifndef ENGINE_REGRIDROWS_H
#define ENGINE_REGRIDROWS_H

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "io/GridHeader.h"

namespace tessgrid::detail {

/// Which area the target grid covers: every input's (the union of their extents, snapped
/// outward to the lattice) or only what all of them cover (the intersection, snapped inward).
enum class TExtentRule { kUnion, kIntersect };

/// Which input's lattice (origin and cell size) the target grid takes: the smallest cell size,
/// the largest, or the first input's; among equal cell sizes the earliest input wins.
enum class TLatticeRule { kFinest, kCoarsest, kFirst };

/// How inputs on different grids go onto one; a face that was given neither an extent nor a
/// grid leaves the inputs as they are, and they must be aligned.
struct TTargetChoice {
  std::optional<TExtentRule> OptExtent;    ///< unset: a given grid's whole extent, else the union
  std::optional<TLatticeRule> OptLattice;  ///< unset: the finest, unless a grid is given
  std::optional<TGridHeader> OptGrid;      ///< a grid file's grid instead of an input's lattice
  std::string StgGridName;                 ///< that file, for messages
};

/// Sets the rule a face's name for it names ("union", "intersect"; "finest", "coarsest",
/// "first") and returns true, or returns false for any other name.
bool ExtentRuleOf(const std::string& StgName, TExtentRule& Rule);
bool LatticeRuleOf(const std::string& StgName, TLatticeRule& Rule);

/// Returns the target grid of the inputs (their headers in input order, names for messages):
/// the lattice is the chosen input's (TLatticeRule) or the given grid's, anchored at its western
/// and southern edges with its cell size R; the extent is the union or intersection of the
/// inputs' extents, each edge moved to the nearest lattice line outward (union) or inward
/// (intersect), an edge within 1e-6 R of a line taken as on it. Given a grid and no extent rule,
/// the target is that grid whole; given neither, the union. The target's corner is the
/// lattice's origin plus a whole number of cells (exactly the origin where the extent starts
/// there), its no-data value -9999.
/// Throws, in this order: "NAME has no cells" for an input or the grid without columns or rows;
/// "NAME: the cell size must be a finite number above 0"; "the grids do not overlap, so they have
/// no intersection" for an intersection of no area; "the area the grids share holds no whole
/// cell of the target grid (cell size R)" when the inward snap leaves none; "the target grid
/// would hold more cells than memory can index".
TGridHeader TargetGrid(const std::vector<TGridHeader>& VecInputs,
                       const std::vector<std::string>& VecNames, const TTargetChoice& Choice);

/// An input's rows delivered on a target grid: target cell (c, r) takes the value of the input
/// cell that holds its centre, as the overlay (TMapTools::Add) finds a partner cell: a cell
/// holds its western and southern edges, so a centre on the edge between two columns goes to the
/// eastern one and a centre on the edge between two rows to the northern one, and a centre on
/// the input's eastern or northern outer edge, or beyond any outer edge, lies outside. Cells
/// outside the input are its declared no-data value. The partner column of each target column
/// and the partner row of each target row are found once, when the source is made; the rows are
/// then gathered by index, and each input row is read once, in order, a window of the input's
/// rows at a time (memory: that window). Reading the last target row reads the input on to its
/// end, so that a bad cell anywhere in it fails the run as it would an aligned one.
class TRegridRowSource final : public TRowSource {
 public:
  /// Wraps the input's source (never null) for the target grid (a header TargetGrid returned).
  TRegridRowSource(std::unique_ptr<TRowSource> PtrInput, const TGridHeader& Target);

  /// Returns the target's geometry with the input's no-data value.
  const TGridHeader& Header() const override { return MbrHeader; }
  long WindowRows() const override;
  /// Throws the input source's failures.
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override;

  /// Returns the input column of each target column, -1 where it lies outside the input.
  const std::vector<long>& Columns() const { return MbrVecColumns; }
  /// Returns the input row of each target row, -1 where it lies outside the input.
  const std::vector<long>& Rows() const { return MbrVecRows; }

 private:
  // Returns input row LngRow, reading windows of the input up to it; rows come in order.
  const double* InputRow(long LngRow);
  // Reads the next window of the input into the buffer.
  void ReadWindow();

  std::unique_ptr<TRowSource> MbrPtrInput;  ///< never null
  TGridHeader MbrHeader;                    ///< the target's, with the input's no-data value
  std::vector<long> MbrVecColumns;          ///< input column of each target column, or -1
  std::vector<long> MbrVecRows;             ///< input row of each target row, or -1
  long MbrLngInputColumns;                  ///< cells of an input row
  long MbrLngInputRows;                     ///< rows of the input
  std::size_t MbrLngRunFirst = 0;           ///< first target column inside the input
  std::size_t MbrLngRunEnd = 0;             ///< one past the last; none inside when equal
  bool MbrBlnStraight = false;              ///< the run takes consecutive input columns
  long MbrLngWindow;                        ///< input rows the buffer holds, at least 1
  std::vector<double> MbrVecBuffer;         ///< input rows [MbrLngBufferFirst, MbrLngBufferEnd)
  long MbrLngBufferFirst = 0;               ///< first input row the buffer holds
  long MbrLngBufferEnd = 0;                 ///< also the next input row to read
};

}  // namespace tessgrid::detail

#endif  // ENGINE_REGRIDROWS_H
