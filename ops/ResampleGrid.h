// ops/ResampleGrid.h - the target grid of a resample: gdalwarp's grid of cell size R over the
// source's extent (-tr), over a given extent (-te, aligned by -tap) or another grid's, and the
// resample of a map onto one. ops/ResampleGrid.cpp builds the grids; ops/Resampling.cpp resamples.
#ifndef OPS_RESAMPLEGRID_H
#define OPS_RESAMPLEGRID_H

#include <functional>
#include <memory>
#include <string>

#include "model/TMap.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

/// A north-up grid of LngColumns x LngRows square cells. gdalwarp lays its cells from the western
/// and northern edges (cell k's northern edge at north - k R); the southern edge is the corner
/// its header states, from which the grid reader builds its edges.
struct TResampleGrid {
  long MbrLngColumns = 0;       ///< >= 1
  long MbrLngRows = 0;          ///< >= 1; columns x rows can be indexed in memory
  double MbrDblWest = 0.0;      ///< the western edge, finite
  double MbrDblSouth = 0.0;     ///< the southern edge as the header states it, finite
  double MbrDblNorth = 0.0;     ///< the northern edge, about south + rows x R, finite
  double MbrDblCellSize = 0.0;  ///< R, finite and > 0
};

/// Returns gdalwarp's grid for -tr R R over the extent of LngColumns x LngRows cells of size r
/// (finite, above 0) from the western edge DblWest and the northern edge DblNorth: (n r + R / 2)
/// / R cells each way, truncated, at least 1; the southern edge north - rows x R.
/// Throws "New resolution cannot be <= 0.0 in TMapTools::Resample" for an R that is not a finite
/// number above 0, then "New resolution is too small for the map in TMapTools::Resample" when
/// the extent n r is not finite or the grid would hold more cells than memory can be indexed by.
TResampleGrid ResampleGridOver(long LngColumns, long LngRows, double DblCellSize,
                               double DblResolution, double DblWest, double DblNorth);

/// Returns gdalwarp's grid for -te XMIN YMIN XMAX YMAX -tr R R: from the western edge XMIN and the
/// northern edge YMAX, (XMAX - XMIN + R / 2) / R columns and (YMAX - YMIN + R / 2) / R rows,
/// truncated, at least 1 each, so the far edges may lie up to R / 2 within or beyond XMAX and
/// YMIN. With BlnAlign (-tap) the extent first grows to the nearest multiples of R outward:
/// XMIN = floor(XMIN / R) R, XMAX = ceil(XMAX / R) R, and so for Y.
/// Throws "New resolution cannot be <= 0.0 in TMapTools::Resample" for an R that is not a finite
/// number above 0, then "extent: XMIN YMIN XMAX YMAX must be finite numbers", "extent: XMAX must
/// be greater than XMIN", "extent: YMAX must be greater than YMIN", and "extent: the grid would
/// hold more cells than memory can be indexed by".
TResampleGrid ExtentGrid(double DblXMin, double DblYMin, double DblXMax, double DblYMax,
                         double DblResolution, bool BlnAlign);

/// Returns the grid of a header: LngColumns x LngRows cells of size R from the south-western
/// corner (DblWest, DblSouth), its northern edge where the grid reader puts it.
/// Throws "like: the grid has no cells" for a grid without columns or rows, and "like: the cell
/// size must be a finite number above 0".
TResampleGrid HeaderGrid(long LngColumns, long LngRows, double DblWest, double DblSouth,
                         double DblCellSize);

/// Returns the source resampled onto the grid, as TMapTools::Resample resamples it onto gdalwarp's
/// grid over its extent: each target cell placed in the source's image space, the method's rule,
/// rows in the direction of the source's Y edges, the edges the grid reader gives the grid's
/// header, and the source's no-data value declared. Cells that miss the source are no-data.
/// Throws the failures of TMapTools::Resample for the source ("Map has no interval axes in
/// TMapTools::Resample", "Map has no cells in TMapTools::Resample", "New resolution is too small
/// for the map in TMapTools::Resample", "Map's resolution does not match its edges in
/// TMapTools::Resample"); a grid too large for this machine's memory throws std::bad_alloc.
std::unique_ptr<TMap> ResampleOnto(const TMap& Source, const TResampleGrid& Grid,
                                   TResampleMethod Method);

/// A resample's source read a band of rows at a time: returns the starts of rows LngFirst to
/// LngFirst + LngCount - 1 of the source (counted as its map stores them), which stay where they
/// are until the next call. Throws the source's failures.
using TSourceRows = std::function<const double* const*(long LngFirst, long LngCount)>;

/// TMapTools::Resample of a source whose rows RowsAt gives a band at a time: Frame states the
/// source as its map would (dimensions, axes, no-data value), its rows never read. Same result
/// and failures; where the resample itself fails, RowsAt is first asked for every row, so that the
/// source's own failures come first, as for a source read whole. Bands of 64 target rows are made
/// in order, each asking RowsAt once for the rows it reads.
std::unique_ptr<TMap> ResampleRowsOver(const TMap& Frame, double DblResolution,
                                       TResampleMethod Method, const TSourceRows& RowsAt);

/// ResampleOnto a source whose rows RowsAt gives a band at a time, as ResampleRowsOver.
std::unique_ptr<TMap> ResampleRowsOnto(const TMap& Frame, const TResampleGrid& Grid,
                                       TResampleMethod Method, const TSourceRows& RowsAt);

/// The method names of the faces, as their messages list them.
constexpr const char* kStgResampleMethods =
    "\"near\", \"bilinear\", \"average\", \"mode\", \"min\", \"max\" or \"median\"";

/// Returns true and sets the method of a face's name, or returns false for any other name.
bool ResampleMethodOf(const std::string& StgName, TResampleMethod& Method);

}  // namespace tessgrid::detail

#endif  // OPS_RESAMPLEGRID_H
