// bench/tools/OverlaySteps.cpp - the tessgrid command's steps timed one by one: each input read
// alone, the combination, the write; then the whole command with both inputs read whole, and as
// it runs, the base input streamed. Run by bench/overlay.sh.
// Usage: OverlaySteps InputFile1 InputFile2 OutputFile Operation (TESSGRID_THREADS as the command).
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/OverlayRun.h"
#include "io/GridReader.h"
#include "io/Threads.h"

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::puts("Usage: OverlaySteps InputFile1 InputFile2 OutputFile Operation");
    return 1;
  }
  using namespace tessgrid::detail;
  const long LngThreads = ThreadCount();
  try {
    double DblSteps[6] = {};
    {
      TOverlayInput Input1;
      TOverlayInput Input2;
      TClock::time_point Start = TClock::now();
      LoadOverlayInput(argv[1], TGridHeaderMode::kStrict, Input1, LngThreads);
      DblSteps[0] = SecondsSince(Start);
      Start = TClock::now();
      LoadOverlayInput(argv[2], TGridHeaderMode::kStrict, Input2, LngThreads);
      DblSteps[1] = SecondsSince(Start);
      Start = TClock::now();
      TOverlayResult Result;
      if (!CombineInPlace(SelectOperation(argv[4][0]), Input1, Input2, Result)) {
        std::puts("the base grid has no cells: the library's operation runs");
        return 1;
      }
      DblSteps[2] = SecondsSince(Start);
      Start = TClock::now();
      WriteOverlayResult(Result, argv[3], LngThreads);
      DblSteps[3] = SecondsSince(Start);
    }
    {
      const TClock::time_point Start = TClock::now();
      TOverlayInput Input1;
      TOverlayInput Input2;
      LoadOverlayInputs(argv[1], argv[2], TGridHeaderMode::kStrict, Input1, Input2, LngThreads);
      FinishOverlay(SelectOperation(argv[4][0]), Input1, Input2, argv[3], LngThreads);
      DblSteps[4] = SecondsSince(Start);
    }
    const TClock::time_point Start = TClock::now();
    RunOverlay(argv[1], argv[2], argv[3], argv[4][0]);
    DblSteps[5] = SecondsSince(Start);
    std::printf(
        "threads %ld: load a %.3f s, load b %.3f s, combine %.3f s, write %.3f s, whole read "
        "whole %.3f s, whole streamed %.3f s\n",
        LngThreads, DblSteps[0], DblSteps[1], DblSteps[2], DblSteps[3], DblSteps[4], DblSteps[5]);
  } catch (char* PtrMessage) {
    std::puts(PtrMessage);
    return 1;
  } catch (const std::string& StgMessage) {
    std::puts(StgMessage.c_str());
    return 1;
  }
  return 0;
}
