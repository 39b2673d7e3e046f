// app/OverlayRun.h - RunOverlay: the body of the tessgrid command, two grid files in, one out.
// app/OverlayRun.cpp holds it; app/main.cpp is the frame that reports its failures.
#ifndef APP_OVERLAYRUN_H
#define APP_OVERLAYRUN_H

#include <string>

/// Loads both input grids, combines them with the operation the character selects ('+' Add,
/// '-' Subtract, 'x' Multiply, '/' Divide; first input first) and writes the result. Releases
/// every map it loaded or made, on every path.
/// Throws the failures of the grid reader (first input, then second), then "Unknown operation"
/// for any other character, then the failures of the operation and of the grid writer.
void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation);

#endif  // APP_OVERLAYRUN_H
