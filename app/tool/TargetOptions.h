// app/tool/TargetOptions.h - --extent and --grid: the options of the commands that read inputs on
// different grids onto one (engine/RegridRows.h). app/tool/TargetOptions.cpp holds them; calc and
// the series aggregates take them, and app/tool/CellWiseStream.cpp reads the inputs onto the grid.
#ifndef APP_TOOL_TARGETOPTIONS_H
#define APP_TOOL_TARGETOPTIONS_H

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "app/tool/ToolFrame.h"
#include "engine/RegridRows.h"

namespace tessgrid::detail {

/// The options as given; both empty: the inputs must be aligned.
struct TTargetArguments {
  std::string StgExtent;  ///< "union", "intersect" or empty
  std::string StgGrid;    ///< "finest", "coarsest", "first", a grid file, or empty
};

/// Adds --extent and --grid to the command; returns them, for options they exclude.
std::vector<CLI::Option*> AddTargetOptions(CLI::App* PtrCommand, TTargetArguments& Args);

/// Returns the target choice of the options, after Prepare: a grid file's header read through
/// the run, and its coordinate system compared with the inputs' as Prepare compares theirs.
/// Throws the failures of TToolRun::ReadHeader for the file, and "inputs have different
/// coordinate systems: a.prj, g.prj" (see TToolRun::CheckCrsOf).
TTargetChoice TargetChoiceOf(TToolRun& Run, const TTargetArguments& Args);

}  // namespace tessgrid::detail

#endif  // APP_TOOL_TARGETOPTIONS_H
