// engine/OverlayRun.h - the steps of the overlay (engine/Engine.h's RunOverlay): two grid files
// in, one out. engine/OverlayRun.cpp holds them; bench/tools/OverlaySteps times them one by one.
#ifndef ENGINE_OVERLAYRUN_H
#define ENGINE_OVERLAYRUN_H

#include <string>

#include "engine/Engine.h"
#include "io/FlatGrid.h"
#include "io/GridHeader.h"
#include "ops/CombineRows.h"

namespace tessgrid::detail {

/// RunOverlay with the header rule for both inputs. Returns whether the result takes the second
/// input's grid (SecondIsBase).
/// Where the output is written through a temporary and the operation is known, the base input
/// is read a block at a time and each block's rows are combined and written while the next is
/// read (see StreamOverlay); elsewhere both inputs are read whole first.
bool Overlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
             const std::string& StgOutputFile, char ChrOperation, TGridHeaderMode Mode);

/// One input of the command: its header and its cells.
struct TOverlayInput {
  TGridHeader Header;
  TFlatGrid Grid;
};

/// Reads the named grid file with the header rule on the threads.
/// Throws the failures of TARCGISFileTools::LoadARCGISFile.
void LoadOverlayInput(const std::string& StgFileName, TGridHeaderMode Mode, TOverlayInput& Input,
                      long LngThreads);

/// Reads both inputs, at the same time when there is more than one thread. Throws the failure of
/// the first input, if it has one, else that of the second.
void LoadOverlayInputs(const std::string& StgFileName1, const std::string& StgFileName2,
                       TGridHeaderMode Mode, TOverlayInput& Input1, TOverlayInput& Input2,
                       long LngThreads);

/// Returns whether the character selects an operation.
bool IsOperation(char ChrOperation);

/// Returns the operation the character selects.
/// Throws "Unknown operation" for a character other than '+', '-', 'x' and '/'.
TArithmetic SelectOperation(char ChrOperation);

/// A result computed into the cells of its base input: what the grid writer states for it.
struct TOverlayResult {
  const TOverlayInput* PtrBase = nullptr;  ///< the input whose grid and cells the result has
  double DblWest = 0.0;                    ///< xllcorner of the result
  double DblSouth = 0.0;                   ///< yllcorner of the result
};

/// Computes the operation into the cells of the input whose grid the result takes, and gives the
/// other input's cells back. Returns false, having changed nothing, where OverlayComputes
/// refuses the grids: those take the library's operation (see FinishOverlay).
/// Throws the failures of the TMapTools operation that its checks and its pairing meet.
bool CombineInPlace(TArithmetic Operation, TOverlayInput& Input1, TOverlayInput& Input2,
                    TOverlayResult& Result);

/// Writes the result to the named file as TARCGISFileTools::WriteARCGISFile writes a map, the rows
/// formatted on the threads. Throws the failures of the safe replace.
void WriteOverlayResult(const TOverlayResult& Result, const std::string& StgOutputFile,
                        long LngThreads);

/// Computes the operation on two inputs read whole and writes the result: in place
/// (CombineInPlace), or through the library's operation and writer on the maps LoadARCGISFile
/// would have returned. Releases both inputs' cells. Returns whether the result takes the second
/// input's grid. Throws the failures of the operation and of the grid writer.
bool FinishOverlay(TArithmetic Operation, TOverlayInput& Input1, TOverlayInput& Input2,
                   const std::string& StgOutputFile, long LngThreads);

}  // namespace tessgrid::detail

#endif  // ENGINE_OVERLAYRUN_H
