// tests/app/OverlayThreadsTest.cpp - the tessgrid command on 1, 2, 3 and 7 threads: the same
// output, and the failure a single-threaded run meets first, whatever the count.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

const long kVecThreads[] = {1, 2, 3, 7};

// A square grid (500 x 500 cells: about 1.6 MB, several of the reader's parts on two or more
// threads, and many blocks of the writer), tokens of varying length; BadCells replaced.
std::string GridText(double DblCellSize, long LngSide,
                     const std::vector<std::pair<long, const char*>>& VecBadCells = {}) {
  const char* const kVecTokens[] = {"1",   "-2.5",  "0.125", "1e-3",  "-9999", "42.75",
                                    "nan", "333.3", "-0",    "7.0e2", "12345", "0.1"};
  std::string StgText = "ncols " + std::to_string(LngSide) + "\nnrows " + std::to_string(LngSide) +
                        "\nxllcorner 100\nyllcorner 200\ncellsize " + std::to_string(DblCellSize) +
                        "\nNODATA_value -9999\n";
  for (long LngK = 0; LngK < LngSide * LngSide; ++LngK) {
    const char* PtrToken = kVecTokens[(LngK * 5 + LngK / 7) % 12];
    for (const auto& BadCell : VecBadCells) {
      PtrToken = BadCell.first == LngK ? BadCell.second : PtrToken;
    }
    StgText += PtrToken;
    StgText += (LngK + 1) % LngSide == 0 ? "\n" : (LngK % 3 == 0 ? "  " : " ");
  }
  return StgText;
}

class OverlayThreadsTest : public tessgrid_test::TCommandTest {
 protected:
  TRun RunOn(long LngThreads, const std::string& StgOperation) const {
    return Run({Work("a.asc"), Work("b.asc"), Work("out.asc"), StgOperation},
               "TESSGRID_THREADS=" + std::to_string(LngThreads) + " ");
  }
  void Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
  }
};

}  // namespace

TEST_F(OverlayThreadsTest, EveryThreadCountWritesTheSameResult) {
  Put("a.asc", GridText(1, 500));
  // The partner at twice the cell size: the result takes the first grid, each partner cell
  // serving four of its cells.
  Put("b.asc", GridText(2, 250));
  for (const char* PtrOperation : {"+", "/"}) {
    std::string StgExpected;
    for (const long LngThreads : kVecThreads) {
      const TRun Result = RunOn(LngThreads, PtrOperation);
      ASSERT_EQ(Result.StgOut + Result.StgErr, "") << LngThreads << " threads";
      const std::string StgOutput = ReadFile(Work("out.asc"));
      if (LngThreads == 1) {
        StgExpected = StgOutput;
        ASSERT_GT(StgExpected.size(), 900000u);
      }
      EXPECT_TRUE(StgOutput == StgExpected) << PtrOperation << " on " << LngThreads << " threads";
    }
  }
}

TEST_F(OverlayThreadsTest, ACountBeyondTheCapRunsAtTheCapWithTheSameResult) {
  Put("a.asc", GridText(1, 500));
  Put("b.asc", GridText(2, 250));
  ASSERT_EQ(RunOn(1, "+").LngStatus, 0);
  const std::string StgExpected = ReadFile(Work("out.asc"));
  // Each thread would bring a read block of 2 MiB and a stack: 1024 of them do not fit the
  // limit, the capped count does.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string StgLimit;
#else
  const std::string StgLimit = "ulimit -v 2097152; ";
#endif
  for (const char* PtrThreads : {"1024", "100000", "99999999999999999999"}) {
    std::remove(Work("out.asc").c_str());
    const TRun Result = Run({Work("a.asc"), Work("b.asc"), Work("out.asc"), "+"},
                            StgLimit + "TESSGRID_THREADS=" + PtrThreads + " ");
    EXPECT_EQ(Result.StgOut + Result.StgErr, "") << PtrThreads;
    EXPECT_EQ(Result.LngStatus, 0) << PtrThreads;
    EXPECT_TRUE(ReadFile(Work("out.asc")) == StgExpected) << PtrThreads;
  }
}

TEST_F(OverlayThreadsTest, TheFirstFailureOfASingleThreadedRunWins) {
  // Bad cells early and late in each file (in different parts of the parse): the first file's
  // early one is what a single-threaded run meets first.
  const std::string StgBadA = GridText(1, 400, {{1203, "1.2.3"}, {150000, "x"}});
  const std::string StgBadB = GridText(1, 400, {{801, "--1"}, {120000, "y"}});
  const std::string StgGood = GridText(1, 400);
  const std::string StgFirstA =
      "File format error: invalid cell value '1.2.3' at row 3, column 3 "
      "in TARCGISFileTools::LoadARCGISFile";
  const struct {
    const std::string* PtrA;  ///< null: no such file
    const std::string* PtrB;
    std::string StgLine;
  } VecCases[] = {
      {&StgBadA, &StgBadB, StgFirstA},
      {&StgBadA, nullptr, StgFirstA},
      {&StgGood, &StgBadB,
       "File format error: invalid cell value '--1' at row 2, column 1 in "
       "TARCGISFileTools::LoadARCGISFile"},
      {nullptr, &StgBadB, "Unable to open file " + Work("a.asc")},
  };
  for (const auto& Case : VecCases) {
    std::remove(Work("a.asc").c_str());
    std::remove(Work("b.asc").c_str());
    if (Case.PtrA != nullptr) {
      Put("a.asc", *Case.PtrA);
    }
    if (Case.PtrB != nullptr) {
      Put("b.asc", *Case.PtrB);
    }
    for (const long LngThreads : kVecThreads) {
      // A bad operation as well: the files' failures come first.
      ExpectFailure(RunOn(LngThreads, "?"), Case.StgLine);
      EXPECT_FALSE(fs::exists(Work("out.asc")));
    }
  }
}
