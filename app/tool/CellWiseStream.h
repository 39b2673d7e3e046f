// app/tool/CellWiseStream.h - cell-wise commands over grid files that share one grid, run on the
// engine's series stream (engine/Engine.h) with the no-data model applied row by row
// (engine/CellWiseCombiner.h). app/tool/CellWiseStream.cpp holds it; the pair commands, the
// series aggregates, calc and moving-average use it.
#ifndef APP_TOOL_CELLWISESTREAM_H
#define APP_TOOL_CELLWISESTREAM_H

#include <cstddef>
#include <string>
#include <vector>

#include "app/tool/TargetOptions.h"
#include "app/tool/ToolFrame.h"
#include "engine/CellRule.h"

namespace tessgrid::detail {

/// Runs the rule over the inputs a block of rows at a time and stages the result as
/// TToolRun::Write stages the library path's result on the first input's grid, sidecar included,
/// with the same bytes and the same first failure: an input's reader failure or -9999 data cell
/// (ToLibraryNoData) in input order, then the first cell CheckDataKept fails on, then the first
/// ToDeclaredNoData fails on, then the output's. Returns false, having read no cell and staged
/// nothing, where the run takes the library path instead: fewer inputs than the rule takes, an
/// input that is standard input or not a regular file (a pipe cannot be read twice), an output
/// that is standard output or not written through a temporary, a raster output whose type
/// cannot hold its no-data value, and inputs whose headers all read but that CheckAligned
/// refuses or whose grid has no cells, a cell size that is not a positive number, or edges
/// whose cells do not hold their own centres. Rasters GDAL reads are read a window of blocks at
/// a time; a raster output is written a row of blocks at a time, each row checked against its
/// type as CheckFitsType checks the map, the first cell that does not fit failing after the
/// failures above.
/// With --extent or --grid (Target), the inputs are read onto the target grid they choose
/// (engine/RegridRows.h), each opened as a row source in input order and failing as it opens,
/// and the result lies on that grid with the first input's no-data value and coordinate system;
/// such a run takes the library path only for fewer inputs than the rule takes, and otherwise
/// streams or throws: the failures of TargetChoiceOf, then of each input's opening in order,
/// then of TargetGrid, then those above. Standard input and output, pipes and devices stream
/// too (an input of unknown size held whole, standard output staged in memory).
/// Call it after TToolRun::Prepare.
bool StreamCellWise(TToolRun& Run, const std::vector<std::string>& VecInputs,
                    const std::string& StgOutput, TCellRule& Rule,
                    const TTargetArguments& Target = {});

/// Runs the rule over every window of LngWindow consecutive inputs in one pass, as
/// StreamCellWise runs it over all of them: result i, from inputs i to i + LngWindow - 1, is
/// staged for VecOutputs[i] (a text grid or a raster) on the grid of input i, declaring its
/// no-data value, with its sidecar; all are written side by side. The first failure is the
/// library path's: an input's in input order, then the first cell CheckDataKept fails on in the
/// first window that loses one, then for each output in turn the first cell ToDeclaredNoData or
/// CheckFitsType fails on and its writing's. Returns false, having staged nothing, where the run
/// takes the library path instead: a window shorter than two inputs or than the rule takes, or
/// longer than the list, outputs that are not one per window, an output not written through a
/// temporary (standard output, a device), a raster output whose type cannot hold its no-data
/// value, more inputs and outputs than the system lets the run hold open at once, and the
/// inputs StreamCellWise leaves to it.
/// Call it after TToolRun::Prepare.
bool StreamWindows(TToolRun& Run, const std::vector<std::string>& VecInputs,
                   const std::vector<std::string>& VecOutputs, std::size_t LngWindow,
                   TCellRule& Rule);

}  // namespace tessgrid::detail

#endif  // APP_TOOL_CELLWISESTREAM_H
