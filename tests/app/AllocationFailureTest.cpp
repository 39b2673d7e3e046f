// tests/app/AllocationFailureTest.cpp - the command under one failing allocation, for each one a
// run makes, and tessgrid-tool, where it is built, under a spread of them.
// tests/support/FailingMalloc.cpp is preloaded; sanitized builds go without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

#ifdef TESSGRID_FAILING_MALLOC

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class AllocationFailureTest : public tessgrid_test::TCommandTest {
 protected:
  // How a run with allocation LngN failing went wrong, and what it left in the work folder.
  static std::string Fault(unsigned long LngN, const TRun& Result,
                           const std::vector<std::string>& VecEntries) {
    std::string StgFault = "allocation " + std::to_string(LngN) + ": status " +
                           std::to_string(Result.LngStatus) + ", printed " + Result.StgOut +
                           Result.StgErr + " leaving";
    for (const std::string& StgEntry : VecEntries) {
      StgFault += " " + StgEntry;
    }
    return StgFault;
  }

  // Runs the command on LngThreads threads with the Nth allocation failing (0: none) and returns
  // the number of allocations the run made.
  unsigned long RunFailing(unsigned long LngFailAt, long LngThreads, TRun& Result) const {
    Result = Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc"), "+"},
                 "TESSGRID_THREADS=" + std::to_string(LngThreads) +
                     " LD_PRELOAD=" + tessgrid_test::Quote(TESSGRID_FAILING_MALLOC) +
                     " TESSGRID_FAIL_ALLOCATION=" + std::to_string(LngFailAt) +
                     " TESSGRID_ALLOCATION_COUNT=" + tessgrid_test::Quote(Work("count.txt")) + " ");
    return std::stoul("0" + ReadFile(Work("count.txt")));
  }

#ifdef TESSGRID_TOOL_EXE
  // The same for tessgrid-tool with the arguments.
  unsigned long RunToolFailing(unsigned long LngFailAt, const std::vector<std::string>& VecArgs,
                               TRun& Result) const {
    Result = RunProgram(
        tessgrid_test::kToolExe, VecArgs,
        "LD_PRELOAD=" + tessgrid_test::Quote(TESSGRID_FAILING_MALLOC) +
            " TESSGRID_FAIL_ALLOCATION=" + std::to_string(LngFailAt) +
            " TESSGRID_ALLOCATION_COUNT=" + tessgrid_test::Quote(Work("count.txt")) + " ",
        "/dev/null", ">");
    return std::stoul("0" + ReadFile(Work("count.txt")));
  }
#endif

  // Fails each allocation of a run on LngThreads threads in turn and expects every run to end
  // as "Out of memory" with the earlier output in place, or to succeed.
  void ExpectEveryFailureSafe(long LngThreads) {
    TRun Result;
    const unsigned long LngTotal = RunFailing(0, LngThreads, Result);
    ASSERT_EQ(Result.LngStatus, 0);
    const std::string StgSum = ReadFile(Work("out.asc"));
    const std::vector<std::string> VecFiles = {"count.txt", "out.asc", "stderr.txt", "stdout.txt"};
    std::vector<std::string> VecFaults;
    for (unsigned long LngN = 1; LngN <= LngTotal; ++LngN) {
      std::ofstream(Work("out.asc")) << "earlier\n";
      RunFailing(LngN, LngThreads, Result);
      const std::string StgOutput = ReadFile(Work("out.asc"));
      const bool BlnSafe = Result.LngStatus == 0
                               ? StgOutput == StgSum && Result.StgOut.empty()
                               : Result.LngStatus == 1 && StgOutput == "earlier\n" &&
                                     Result.StgOut.find('\n') + 1 == Result.StgOut.size() &&
                                     Result.StgOut == "Out of memory\n";
      const std::vector<std::string> VecEntries = Entries();
      if (!BlnSafe || !Result.StgErr.empty() || VecEntries != VecFiles) {
        VecFaults.push_back(Fault(LngN, Result, VecEntries));
      }
    }
    EXPECT_EQ(VecFaults, std::vector<std::string>{});
  }
};

}  // namespace

// Threads are started where the reader, the writer and the overlay set up: a failure there is as
// ordinary as any other, whatever the thread count.
TEST_F(AllocationFailureTest, EveryFailedAllocationIsOutOfMemoryAndLosesNothing) {
  for (const long LngThreads : {1L, 2L, 4L}) {
    SCOPED_TRACE("threads " + std::to_string(LngThreads));
    ExpectEveryFailureSafe(LngThreads);
  }
}

#ifdef TESSGRID_TOOL_EXE
TEST_F(AllocationFailureTest, AFailedAllocationOfTheToolIsOutOfMemoryAndLosesNothing) {
  fs::copy_file(Data("elevation_4x3.asc"), Work("in.asc"));
  std::ofstream(Work("in.prj")) << "UTM 32\n";
  const std::vector<std::string> VecArgs = {"scale", Work("in.asc"), Work("out.asc"), "--factor",
                                            "2"};
  TRun Result;
  const unsigned long LngTotal = RunToolFailing(0, VecArgs, Result);
  ASSERT_EQ(Result.LngStatus, 0) << Result.StgErr;
  const std::string StgScaled = ReadFile(Work("out.asc"));
  const std::vector<std::string> VecFiles = {"count.txt", "in.asc",     "in.prj",    "out.asc",
                                             "out.prj",   "stderr.txt", "stdout.txt"};
  // Every one of the first allocations (the command-line library's objects built before main,
  // the standard streams, the command table), then a spread over the rest.
  std::vector<unsigned long> VecFailAt;
  for (unsigned long LngN = 1; LngN <= LngTotal; LngN += LngN < 120 ? 1 : 17) {
    VecFailAt.push_back(LngN);
  }
  std::vector<std::string> VecFaults;
  for (const unsigned long LngN : VecFailAt) {
    std::ofstream(Work("out.asc")) << "earlier\n";
    std::ofstream(Work("out.prj")) << "stale\n";
    RunToolFailing(LngN, VecArgs, Result);
    const bool BlnSafe = Result.LngStatus == 0
                             ? Result.StgErr.empty() && ReadFile(Work("out.asc")) == StgScaled &&
                                   ReadFile(Work("out.prj")) == "UTM 32\n"
                             : Result.LngStatus == 1 &&
                                   Result.StgErr == "tessgrid-tool: Out of memory\n" &&
                                   ReadFile(Work("out.asc")) == "earlier\n" &&
                                   ReadFile(Work("out.prj")) == "stale\n";
    const std::vector<std::string> VecEntries = Entries();
    if (!BlnSafe || !Result.StgOut.empty() || VecEntries != VecFiles) {
      VecFaults.push_back(Fault(LngN, Result, VecEntries));
    }
  }
  EXPECT_EQ(VecFaults, std::vector<std::string>{});
}

TEST_F(AllocationFailureTest, AFailedAllocationOfAStreamedSeriesIsOutOfMemoryOnAnyThreads) {
  const std::vector<std::string> VecArgs = {"average", Work("out.asc"), Data("elevation_4x3.asc"),
                                            Data("uplift_4x3.asc"), Data("elevation_4x3.asc")};
  const std::vector<std::string> VecFiles = {"count.txt", "out.asc", "stderr.txt", "stdout.txt"};
  for (const char* PtrThreads : {"1", "2", "4"}) {
    ::setenv("TESSGRID_THREADS", PtrThreads, 1);
    TRun Result;
    fs::remove(Work("out.asc"));
    const unsigned long LngTotal = RunToolFailing(0, VecArgs, Result);
    ASSERT_EQ(Result.LngStatus, 0) << Result.StgErr;
    const std::string StgAverage = ReadFile(Work("out.asc"));
    // The stream's allocations come last: every one of the last 400, a spread before them.
    std::vector<std::string> VecFaults;
    for (unsigned long LngN = 1; LngN <= LngTotal; LngN += LngN + 400 < LngTotal ? 37 : 1) {
      std::ofstream(Work("out.asc")) << "earlier\n";
      RunToolFailing(LngN, VecArgs, Result);
      const bool BlnSafe = Result.LngStatus == 0
                               ? Result.StgErr.empty() && ReadFile(Work("out.asc")) == StgAverage
                               : Result.LngStatus == 1 &&
                                     Result.StgErr == "tessgrid-tool: Out of memory\n" &&
                                     ReadFile(Work("out.asc")) == "earlier\n";
      const std::vector<std::string> VecEntries = Entries();
      if (!BlnSafe || !Result.StgOut.empty() || VecEntries != VecFiles) {
        VecFaults.push_back(Fault(LngN, Result, VecEntries));
      }
    }
    EXPECT_EQ(VecFaults, std::vector<std::string>{}) << PtrThreads << " threads";
  }
  ::unsetenv("TESSGRID_THREADS");
}
#endif

#else

TEST(AllocationFailureTest, EveryFailedAllocationIsOutOfMemoryAndLosesNothing) {
  GTEST_SKIP() << "the sanitizers bring allocators of their own";
}

#ifdef TESSGRID_TOOL_EXE
TEST(AllocationFailureTest, AFailedAllocationOfAStreamedSeriesIsOutOfMemoryOnAnyThreads) {
  GTEST_SKIP() << "the sanitizers bring allocators of their own";
}

TEST(AllocationFailureTest, AFailedAllocationOfTheToolIsOutOfMemoryAndLosesNothing) {
  GTEST_SKIP() << "the sanitizers bring allocators of their own";
}
#endif

#endif
