// engine/Engine.h - the streaming engine's face to the commands: grid files in, combined cell by
// cell, a grid file out, read and written in row blocks on every thread. engine/*.cpp hold it.
#ifndef ENGINE_ENGINE_H
#define ENGINE_ENGINE_H

#include <string>

/// Loads both input grids, combines them with the operation the character selects ('+' Add,
/// '-' Subtract, 'x' Multiply, '/' Divide; first input first) and writes the result, exactly as
/// TARCGISFileTools::LoadARCGISFile, the TMapTools operation and
/// TARCGISFileTools::WriteARCGISFile would, on TESSGRID_THREADS threads (see
/// tessgrid::detail::ThreadCount). Releases all it claimed, on every path.
/// Throws the failures of the grid reader (first input, then second), then "Unknown operation"
/// for any other character, then the failures of the operation and of the grid writer.
void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation);

#endif  // ENGINE_ENGINE_H
