// engine/ResampleRows.h - the resample of a grid file read a band of rows at a time, with the
// no-data model of the faces applied as the rows arrive: memory follows the band, not the grid.
// engine/ResampleRows.cpp holds it; tessgrid-tool's resample runs rasters through it.
#ifndef ENGINE_RESAMPLEROWS_H
#define ENGINE_RESAMPLEROWS_H

#include <functional>
#include <memory>

#include "engine/NoDataModel.h"
#include "model/TMap.h"
#include "ops/ResampleGrid.h"

namespace tessgrid::detail {

/// Reads rows [LngFirst, LngFirst + LngCount) of a grid, north to south, one after the other
/// into PtrRows. Throws the source's failures.
using TReadRows = std::function<void(long LngFirst, long LngCount, double* PtrRows)>;

/// The grid a resample goes onto, made once the source's header is known; null for gdalwarp's
/// grid over the source's extent. Throws its failures.
using TTargetGrid = std::function<std::unique_ptr<TResampleGrid>()>;

/// Returns the resample of the grid Input states (its header as read and its declared no-data
/// value), whose rows ReadRows reads, onto the grid Target makes (ResampleRowsOnto), or onto
/// gdalwarp's grid of cell size DblResolution over its extent (ResampleRowsOver). The result and
/// the failures are those of the same resample of the grid loaded whole and turned to the
/// library's no-data (ToLibraryNoData): each row's declared no-data cells become -9999 as it is
/// read, a -9999 data cell failing as ToLibraryNoData fails; then Target's failures, then the
/// resample's own. Bands are read in order; rows two bands share are read once.
std::unique_ptr<TMap> ResampleGridRows(const TInputGrid& Input, const TReadRows& ReadRows,
                                       const TTargetGrid& Target, double DblResolution,
                                       TResampleMethod Method);

}  // namespace tessgrid::detail

#endif  // ENGINE_RESAMPLEROWS_H
