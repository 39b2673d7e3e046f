// engine/GridFileRows.h - an ASCII grid file as the engine's row source, for callers that need
// every input as one (the regridding of engine/RegridRows.h). engine/GridFileRows.cpp holds it.
#ifndef ENGINE_GRIDFILEROWS_H
#define ENGINE_GRIDFILEROWS_H

#include <memory>
#include <string>

#include "engine/Engine.h"
#include "io/GridHeader.h"

namespace tessgrid::detail {

/// Returns an ASCII grid file (StgName "-": standard input) as a row source, read with the
/// header rule by tessgrid's own reader a block at a time through a ring of rows. A file known
/// to be too short for the cells its header claims is read to its failure at once, so that no
/// caller sizes anything by the claim; an input whose size cannot be told (a pipe) is held whole
/// once its last cell has arrived, as the grid reader holds it.
/// Throws "Unable to open file " followed by the name (std::string), and the reader's failures.
std::unique_ptr<TRowSource> OpenGridFileRows(const std::string& StgName, TGridHeaderMode Mode);

}  // namespace tessgrid::detail

#endif  // ENGINE_GRIDFILEROWS_H
