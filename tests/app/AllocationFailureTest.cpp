// tests/app/AllocationFailureTest.cpp - the command under one failing allocation, for each one a
// run makes, and tessgrid-tool, where it is built, under a spread of them.
// tests/support/FailingMalloc.cpp is preloaded; sanitized builds go without it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
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

// GDAL reports an allocation that failed inside it as a failure, or not at all when the report
// itself finds no memory, or it aborts or faults: whatever it does, the raster is never taken
// for written unless it reads back as written, and nothing is left behind.
TEST_F(AllocationFailureTest, AFailedAllocationWhileARasterIsWrittenLeavesNoWrongFile) {
#ifndef TESSGRID_WITH_GDAL
  GTEST_SKIP() << "tessgrid-tool is built without GDAL (TESSGRID_GDAL)";
#else
  if (tessgrid_test::kToolExe.empty()) {
    GTEST_SKIP() << "tessgrid-tool is not built (CLI11 was not found)";
  }
  // Two GeoTIFFs and an ASCII grid on their grid, 300 x 200 cells with no-data among them.
  for (const char* PtrName : {"a", "b", "g"}) {
    std::ofstream Grid(Work(std::string(PtrName) + ".asc"));
    Grid << "ncols 300\nnrows 200\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
    for (long LngCell = 0; LngCell < 300 * 200; ++LngCell) {
      const long LngValue = (LngCell * (PtrName[0] - 'a' + 7919) + 13) % 100003;
      Grid << (LngValue % 19 == 0 ? -9999.0 : static_cast<double>(LngValue) / 100)
           << (LngCell % 300 == 299 ? "\n" : " ");
    }
  }
  for (const char* PtrName : {"a", "b"}) {
    const std::string StgName(PtrName);
    ASSERT_EQ(RunTool({"scale", Work(StgName + ".asc"), Work(StgName + ".tif"), "--factor", "1"})
                  .LngStatus,
              0);
    fs::remove(Work(StgName + ".asc"));
  }
  const std::string StgOut = Work("o.tif");
  const std::vector<std::string> VecArgs = {"average", StgOut, Work("a.tif"), Work("b.tif"),
                                            Work("g.asc")};
  // The cells a raster holds, as the tool prints them.
  const auto CellsOf = [this](const std::string& StgRaster) {
    return RunTool({"scale", StgRaster, "-", "--factor", "1"}).StgOut;
  };
  ::setenv("TESSGRID_THREADS", "1", 1);
  TRun Result;
  const unsigned long LngTotal = RunToolFailing(0, VecArgs, Result);
  ASSERT_EQ(Result.LngStatus, 0) << Result.StgErr;
  const std::string StgAverage = ReadFile(StgOut);
  const std::string StgCells = CellsOf(StgOut);
  const std::vector<std::string> VecFiles = {"a.tif", "b.tif",      "count.txt", "g.asc",
                                             "o.tif", "stderr.txt", "stdout.txt"};
  // The writing and the reading back come last: every other one of the last 500, a spread
  // before.
  std::vector<std::string> VecFaults;
  for (unsigned long LngN = LngTotal > 1500 ? LngTotal - 1500 : 1; LngN <= LngTotal;
       LngN += LngN + 500 < LngTotal ? 100 : 2) {
    std::ofstream(StgOut) << "earlier\n";
    RunToolFailing(LngN, VecArgs, Result);
    const std::string StgWritten = ReadFile(StgOut);
    const std::string StgError = Result.StgErr;
    const std::vector<std::string> VecEntries = Entries();
    bool BlnSafe = false;
    if (Result.LngStatus == 0) {
      // GDAL prints a few failures of its own straight to standard error ("CPLCreateSpinLock()
      // failed.") and goes on: the run stands when the raster holds the average.
      BlnSafe = std::regex_match(StgError, std::regex("(CPL[A-Za-z]+\\(\\) failed\\.\n)*")) &&
                (StgWritten == StgAverage || CellsOf(StgOut) == StgCells);
    } else if (Result.LngStatus == 1) {
      BlnSafe = StgWritten == "earlier\n" &&
                (StgError == "tessgrid-tool: Out of memory\n" ||
                 StgError == "tessgrid-tool: Unable to write file " + StgOut + "\n" ||
                 StgError.rfind("tessgrid-tool: Unable to write file " + StgOut + ": ", 0) == 0 ||
                 StgError.rfind("tessgrid-tool: Unable to read file ", 0) == 0);
    } else {
      // Ended by GDAL's abort or fault: the earlier output stays, and no temporary.
      BlnSafe = (Result.LngStatus == 128 + SIGABRT || Result.LngStatus == 128 + SIGSEGV) &&
                StgWritten == "earlier\n";
    }
    if (!BlnSafe || !Result.StgOut.empty() || VecEntries != VecFiles) {
      VecFaults.push_back(Fault(LngN, Result, VecEntries) + " holding " + StgWritten.substr(0, 16));
    }
  }
  ::unsetenv("TESSGRID_THREADS");
  EXPECT_EQ(VecFaults, std::vector<std::string>{});
#endif
}

#else

TEST(AllocationFailureTest, AFailedAllocationWhileARasterIsWrittenLeavesNoWrongFile) {
  GTEST_SKIP() << "the sanitizers bring allocators of their own";
}

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
