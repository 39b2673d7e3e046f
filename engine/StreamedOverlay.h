// engine/StreamedOverlay.h - StreamOverlay: the overlay with its base input read a block at a
// time into a small ring of rows, each block's rows combined and written while the next is read.
// engine/StreamedOverlay.cpp holds it; engine/OverlayRun.cpp decides when it runs.
#ifndef ENGINE_STREAMEDOVERLAY_H
#define ENGINE_STREAMEDOVERLAY_H

#include <cstddef>
#include <string>

#include "io/TARCGISFileTools.h"
#include "ops/CombineRows.h"

namespace tessgrid::detail {

/// Input bytes per part of the reader while the base input streams: blocks small enough that the
/// ring of rows stays in the cache and is soon touched once, and large enough to keep the
/// hand-overs rare.
constexpr std::size_t kLngStreamChunkBytes = std::size_t{1} << 17;

/// Runs the overlay as Overlay does, holding only the partner input whole: the base input's rows
/// are combined with their partners and written as the reader completes them, so the output
/// must be written through a temporary (WritesThroughTemporary), which a failure removes.
/// Failures come in the order a single-threaded library run meets them: a failure of the
/// partner input, of the operation's checks or pairing, or of the output's creation waits until
/// the base input (when it is the first) has been read to its end without one of its own.
/// Grids that OverlayComputes refuses, and a base input not known to hold the cells its header
/// claims (HoldsClaim: a pipe, or a file too short for them), are read whole, each in memory
/// that follows what it holds, and take FinishOverlay. Returns whether the
/// result takes the second input's grid. The base input is read in parts of LngChunkBytes.
bool StreamOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                   const std::string& StgOutputFile, TArithmetic Operation, TGridHeaderMode Mode,
                   long LngThreads, std::size_t LngChunkBytes);

}  // namespace tessgrid::detail

#endif  // ENGINE_STREAMEDOVERLAY_H
