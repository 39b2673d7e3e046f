// app/main.cpp - the tessgrid command: tessgrid InputFile1 InputFile2 OutputFile Operation.
// The frame: checks the command line and turns every failure into one line; the overlay run
// (engine/Engine.h) does the rest.
#include <iostream>
#include <string>
#include <string_view>

#include "engine/Engine.h"
#include "io/ConsoleLine.h"
#include "io/SafeReplace.h"
#include "model/Fail.h"
#include "util/FailureText.h"

using tessgrid::detail::Fail;

namespace {

void Report(std::string_view StgMessage) {
  // The failure line goes to standard output, flushed; the error stream stays empty. File names
  // in it are shown with their control bytes escaped, so the line stays one line.
  tessgrid::detail::WriteConsoleLine(std::cout, StgMessage);
}

}  // namespace

int main(int argc, char** argv) {
  tessgrid::detail::InstallCommandSignalHandlers();
  try {
    if (argc <= 4) {
      Fail("Usage: tessgrid InputFile1 InputFile2 OutputFile Operation (+ | - | x | /)");
    }
    const std::string StgInputFile1 = argv[1];
    const std::string StgInputFile2 = argv[2];
    const std::string StgOutputFile = argv[3];
    // An empty argument gives the terminator, which selects no operation.
    const char ChrOperation = argv[4][0];
    RunOverlay(StgInputFile1, StgInputFile2, StgOutputFile, ChrOperation);
    return 0;
  } catch (...) {
    Report(tessgrid::detail::CurrentFailureText("Unknown failure in tessgrid").StgText);
  }
  // Every reported failure is a failure to scripts and build tools too.
  return 1;
}
