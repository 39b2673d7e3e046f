// ops/ResampleKernel.h - the cells of a resample onto a target grid as gdalwarp computes them, for
// the whole target grid or for a window of it read from a block of the source.
// ops/ResampleKernel.cpp holds it; TMapTools::Resample and the Python module's chunked resample
// share it, so that a chunk gives the very cells the whole grid gives.
#ifndef OPS_RESAMPLEKERNEL_H
#define OPS_RESAMPLEKERNEL_H

#include <cstddef>
#include <utility>
#include <vector>

#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

/// One direction of a resample. Its cells are placed as gdalwarp places them: target cell k's
/// centre lies at the map coordinate c = t0 + (k + 1/2) T, from the target's first edge t0 by
/// its step T (R or -R), and at u = (-s0 / S) + c (1 / S) in the source's image space, s0 being
/// the source's first edge and S its step (r or -r): u counts source cells from that edge, cell
/// i spanning [i, i + 1). Where the target's cells are stored from its far end, k is m - 1 - k.
struct TResampleAxis {
  long MbrLngSourceCells = 0;     ///< n, the source's cells in this direction, >= 1
  long MbrLngTargetCells = 0;     ///< m, the target's, >= 1
  double MbrDblCellSize = 0.0;    ///< r, the source's cell size, finite and > 0
  double MbrDblResolution = 0.0;  ///< R, the target's cell size, finite and > 0
  double MbrDblSourceEdge = 0.0;  ///< s0, the coordinate of the source's first edge
  double MbrDblSourceStep = 0.0;  ///< S, from one source edge to the next: r or -r
  double MbrDblTargetEdge = 0.0;  ///< t0, the coordinate of the target's first edge
  double MbrDblTargetStep = 0.0;  ///< T, from one target edge to the next: R or -R
  bool MbrBlnFromFarEnd = false;  ///< target cell k is stored where cell m - 1 - k lies
};

/// The two directions of a resample.
struct TResamplePlan {
  TResampleAxis MbrX;  ///< columns, west to east
  TResampleAxis MbrY;  ///< rows
};

/// Returns the resample onto the grid of LngColumns x LngRows source cells of size r (finite,
/// above 0) whose western edge is DblWest and northern edge DblNorth, rows stored from the north.
TResamplePlan PlanResampleOnto(long LngColumns, long LngRows, double DblCellSize, double DblWest,
                               double DblNorth, const TResampleGrid& Target);

/// Returns PlanResampleOnto the grid ResampleGridOver gives for cell size R: gdalwarp's -tr R R
/// over the source's extent. Throws the failures of ResampleGridOver.
TResamplePlan PlanResample(long LngColumns, long LngRows, double DblCellSize, double DblResolution,
                           double DblWest, double DblNorth);

/// Returns gdalwarp's source-to-target scale of the direction: m over the source cells the
/// target spans, u1 - u0 for the image coordinates u0 < u1 of its first and last edges, or
/// n - floor(max(0, u0)) where the source ends before u1 (as gdalwarp clips its source window);
/// a scale below 1 whose reciprocal lies within 0.05 of a whole number k is taken as 1 / k, and a
/// target that spans no source cell has the scale 1. Below 0.95 in either direction its
/// bilinear widens the kernel.
double ResampleScale(const TResampleAxis& Axis);

/// Returns how many source cells beyond a window's own the method reads on either side, for a
/// window that starts and ends on target edges that are source edges too (the cells holding its
/// centres lie within it): none for kNearest, one for the methods over the cells covered.
long ResampleReach(const TResampleAxis& Axis, TResampleMethod Method);

/// Source cells a resample reads: rows LngFirstRow .. LngFirstRow + LngRows - 1 and columns
/// LngFirstColumn .. LngFirstColumn + LngColumns - 1 of the whole source; block row i starts at
/// PtrRows[i]. No-data cells equal the no-data value given with the block.
struct TResampleBlock {
  const double* const* MbrPtrRows = nullptr;  ///< LngRows row starts, LngColumns cells each
  long MbrLngFirstRow = 0;                    ///< whole-source row of block row 0
  long MbrLngRows = 0;                        ///< rows in the block
  long MbrLngFirstColumn = 0;                 ///< whole-source column of block column 0
  long MbrLngColumns = 0;                     ///< columns in the block
};

/// The cells of a window of a resample's target grid, computed from a block of the source as
/// gdalwarp computes them for the whole grid at once (-te and -tr of the target grid, its
/// default settings):
/// - the centre of each target cell is placed in image space (see TResampleAxis); the cell
///   holding it is cell floor(u + 1e-10), so a centre on a boundary takes the cell after it, and a
///   centre outside the source, or held by a no-data cell, gives no-data;
/// - kNearest takes the holding cell's value, and so does kBilinear on a source one cell wide or
///   one cell high;
/// - kBilinear, while both directions' scales (ResampleScale) are 0.95 or more, weights the two
///   cells around the centre in each direction by 1 - distance (in source cells); else it widens
///   the kernel in the directions whose scale is below 1: weight 1 - distance x scale, so every
///   cell whose centre lies within R of the target centre weighs in (tent-shaped, as
///   gdalwarp -r bilinear when it downsamples). Cells outside the source and no-data cells drop
///   out and the remaining weights are scaled to sum to 1 (exactly as gdalwarp: the four-cell
///   form divides unless the weights sum to exactly 1, and gives no-data below 1e-5; the wide
///   form divides unless they sum to 1 within 1e-5, and gives no-data below 1e-6);
/// - the other methods take the cells the target cell covers, as TMapTools::Resample says.
/// The window's rows are taken one at a time; the wide kernel keeps the row sums of the source
/// rows the last window rows read, so rows taken in order read each source row once. The
/// methods over the cells covered gather them in buffers made once.
class TResampler {
 public:
  /// Plans target rows LngFirstRow .. LngFirstRow + LngRows - 1 and columns LngFirstColumn ..
  /// LngFirstColumn + LngColumns - 1 of the grid whose directions are X (west to east) and Y
  /// (rows in storage order), from the block (which must outlive the resampler).
  /// Throws "The source block does not hold the cells the window reads in TResampler" when a
  /// cell the window reads lies in the source but outside the block.
  TResampler(const TResampleAxis& X, const TResampleAxis& Y, TResampleMethod Method,
             double DblNoData, const TResampleBlock& Block, long LngFirstRow, long LngRows,
             long LngFirstColumn, long LngColumns);

  /// Writes the cells of window row LngRow (0 is the window's first) to PtrOut, one per window
  /// column.
  void Row(long LngRow, double* PtrOut);

  /// Returns the whole-source rows, first and count, that target rows LngFirstRow .. LngFirstRow
  /// + LngRows - 1 of the grid whose directions are X and Y read with the method: the block a
  /// resampler of those rows needs, (0, 0) when they read none.
  static std::pair<long, long> SourceRows(const TResampleAxis& X, const TResampleAxis& Y,
                                          TResampleMethod Method, long LngFirstRow, long LngRows);

  /// How the cells are formed: from the holding cell, from the four cells around the centre,
  /// from the widened kernel, or from the cells covered.
  enum class TKernel { kNearest, kFourCells, kWide, kCovered };

  /// Returns the kernel that forms the cells of the method on the grid of directions X and Y.
  static TKernel KernelOf(const TResampleAxis& X, const TResampleAxis& Y, TResampleMethod Method);

  /// Where one target line (column or row) reads the source.
  struct TLine {
    long MbrLngHold = -1;           ///< block index of the cell holding the centre (of the first
                                    ///< cell covered); -1 for none
    long MbrLngFirst = 0;           ///< block index of the first cell the kernel weighs
    long MbrLngCount = 0;           ///< the cells it weighs, consecutive; 0 without a holding cell
    std::size_t MbrLngWeights = 0;  ///< where their weights start in the line list's weights
  };

  /// The lines of one direction of the window and their weights, in line order.
  struct TLines {
    std::vector<TLine> MbrVecLines;
    std::vector<double> MbrVecWeights;
    long MbrLngMostCells = 0;  ///< the largest count of one line
  };

 private:
  const double* BlockRow(long LngBlockRow) const;
  const double* RowSums(long LngBlockRow);
  // The cells of a target row over the cells its cells cover (ops/ResampleCovered.cpp).
  void CoveredRow(const TLine& Row, double* PtrOut);

  TKernel MbrKernel;
  TResampleMethod MbrMethod;
  double MbrDblNoData;
  TResampleBlock MbrBlock;
  TLines MbrColumns;
  TLines MbrRows;
  /// The wide kernel's weighted sums of cached source rows: slot s holds block row
  /// MbrVecCachedRow[s] (or -1), each window column's sum of values and sum of weights in turn.
  std::vector<long> MbrVecCachedRow;
  std::vector<double> MbrVecRowSums;
  std::vector<const double*> MbrVecSumRows;  ///< the sums one target row weighs, reused
  /// The data cells one target cell covers, for kMedian and kMode (with their place in the
  /// order met); room for the most cells any target cell covers, made once.
  std::vector<double> MbrVecValues;
  std::vector<std::pair<double, long>> MbrVecPlaces;
};

}  // namespace tessgrid::detail

#endif  // OPS_RESAMPLEKERNEL_H
