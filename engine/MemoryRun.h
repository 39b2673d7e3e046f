// engine/MemoryRun.h - a cell-wise operation over grids in memory: the series stream over
// in-place row sources, the no-data model of every face, the result straight into an array.
// engine/MemoryRun.cpp holds it; the Python module runs its cell-wise operations through it.
#ifndef ENGINE_MEMORYRUN_H
#define ENGINE_MEMORYRUN_H

#include <string>
#include <vector>

#include "engine/CellRule.h"
#include "engine/Engine.h"
#include "engine/NoDataModel.h"

namespace tessgrid::detail {

/// An input grid in memory: what it states, and its rows one after the other from PtrFirst
/// (Grid.LngRows rows of Grid.LngColumns cells), which the run only reads; or, for float32
/// cells, from PtrFirst32, widened a window of rows at a time as the run reads them.
struct TMemoryInput {
  TInputGrid Grid;
  const double* PtrFirst = nullptr;
  const float* PtrFirst32 = nullptr;  ///< used where PtrFirst is null
};

/// Returns whether a run over the grids pairs their cells as the library's operations on their
/// maps do: CheckAligned passes, and their grid is an OrdinaryGrid.
bool PairsCellForCell(const std::vector<const TInputGrid*>& VecGrids);

/// Computes the rule over the inputs (FewestInputs or more, of one grid) into PtrOut, rows of
/// the first input's size one after the other, on LngThreads threads a block of rows at a time:
/// each input's declared no-data becomes -9999 as its rows are read (inputs that declare -9999
/// are read where they lie, never copied), and each result row takes the value DblNoData that
/// the result declares. The failures come as the library path meets them:
/// Throws the failure of CheckAligned, unless an input before the refused one holds a -9999
/// data cell; then, in input order, ToLibraryNoData's "<name>: the cell at row <r>, column <c>
/// holds -9999, ..." for the first such cell; then CheckDataKept's "the result at row <r>,
/// column <c> comes to -9999, ..." for the first cell the rule lost; then ToDeclaredNoData's
/// "<output>: the result holds <v> at row <r>, column <c>, ..." with StgOutput as the output.
void RunInMemory(TCellRule& Rule, const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                 double* PtrOut, double DblNoData, const std::string& StgOutput);

/// RunInMemory with the result rows, each holding DblNoData where it is no-data, handed to the
/// sink in row order instead; a failure the sink throws comes after the inputs' and
/// CheckDataKept's and before ToDeclaredNoData's.
void RunInMemory(TCellRule& Rule, const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                 TRowSink& Sink, double DblNoData, const std::string& StgOutput);

}  // namespace tessgrid::detail

#endif  // ENGINE_MEMORYRUN_H
