// tests/app/AllocationFailureTest.cpp - the command under one failing allocation, for each one a
// run makes. tests/support/FailingMalloc.cpp is preloaded; sanitized builds go without it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

#ifdef TESSGRID_FAILING_MALLOC

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class AllocationFailureTest : public tessgrid_test::TCommandTest {
 protected:
  // Runs the command with the Nth allocation failing (0: none) and returns the number of
  // allocations the run made.
  unsigned long RunFailing(unsigned long LngFailAt, const std::string& StgOperation,
                           TRun& Result) const {
    Result = Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc"), StgOperation},
                 "LD_PRELOAD=" + tessgrid_test::Quote(TESSGRID_FAILING_MALLOC) +
                     " TESSGRID_FAIL_ALLOCATION=" + std::to_string(LngFailAt) +
                     " TESSGRID_ALLOCATION_COUNT=" + tessgrid_test::Quote(Work("count.txt")) + " ");
    return std::stoul("0" + ReadFile(Work("count.txt")));
  }
};

}  // namespace

TEST_F(AllocationFailureTest, EveryFailedAllocationIsOutOfMemoryAndLosesNothing) {
  TRun Result;
  const unsigned long LngTotal = RunFailing(0, "+", Result);
  ASSERT_EQ(Result.LngStatus, 0);
  const std::string StgSum = ReadFile(Work("out.asc"));
  // A run that stops right after loading both inputs marks the end of the load stage. The grid
  // reader does not yet report every failed allocation as such (its header's stream extraction
  // turns one into a format message), so there a run only has to fail safely.
  const unsigned long LngLoaded = RunFailing(0, "?", Result);
  ASSERT_GT(LngTotal, LngLoaded);
  const std::vector<std::string> VecFiles = {"count.txt", "out.asc", "stderr.txt", "stdout.txt"};
  std::vector<std::string> VecFaults;
  for (unsigned long LngN = 1; LngN <= LngTotal; ++LngN) {
    std::ofstream(Work("out.asc")) << "earlier\n";
    RunFailing(LngN, "+", Result);
    const std::string StgOutput = ReadFile(Work("out.asc"));
    const bool BlnSafe = Result.LngStatus == 0
                             ? StgOutput == StgSum && Result.StgOut.empty()
                             : Result.LngStatus == 1 && StgOutput == "earlier\n" &&
                                   Result.StgOut.find('\n') + 1 == Result.StgOut.size() &&
                                   (LngN <= LngLoaded || Result.StgOut == "Out of memory\n");
    const std::vector<std::string> VecEntries = Entries();
    if (!BlnSafe || !Result.StgErr.empty() || VecEntries != VecFiles) {
      std::string StgFault = "allocation " + std::to_string(LngN) + ": status " +
                             std::to_string(Result.LngStatus) + ", printed " + Result.StgOut +
                             Result.StgErr + " leaving";
      for (const std::string& StgEntry : VecEntries) {
        StgFault += " " + StgEntry;
      }
      VecFaults.push_back(StgFault);
    }
  }
  EXPECT_EQ(VecFaults, std::vector<std::string>{});
}

#else

TEST(AllocationFailureTest, EveryFailedAllocationIsOutOfMemoryAndLosesNothing) {
  GTEST_SKIP() << "the sanitizers bring allocators of their own";
}

#endif
