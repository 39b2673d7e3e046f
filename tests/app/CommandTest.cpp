// tests/app/CommandTest.cpp - the tessgrid command run as a user runs it.
// Each case starts the built binary and checks stdout, stderr, exit status and the output bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

const std::string kStgUsage =
    "Usage: tessgrid InputFile1 InputFile2 OutputFile Operation (+ | - | x | /)\n";

const std::string kStgHeader =
    "ncols 4\nnrows 3\nxllcorner      100\nyllcorner      200\ncellsize 10\n";

// The results of the four operations on elevation_4x3.asc and uplift_4x3.asc.
const std::string kStgSum = kStgHeader +
                            "NODATA_value -9999\n13 14 -9999 17 \n13 -9999 14.5 16.5 \n"
                            "10.5 14.5 11.25 12.5 \n";
const std::string kStgDifference = kStgHeader +
                                   "NODATA_value -9999\n12 12 -9999 13 \n9 -9999 9.5 10.5 \n"
                                   "9.5 6.5 10.75 11.5 \n";
const std::string kStgProduct = kStgHeader +
                                "NODATA_value -9999\n6.25 13 -9999 30 \n22 -9999 30 40.5 \n"
                                "5 42 2.75 6 \n";
const std::string kStgQuotient = kStgHeader +
                                 "NODATA_value -9999\n25 13 -9999 7.5 \n5.5 -9999 4.8 4.5 \n"
                                 "20 2.625 44 24 \n";

class CommandTest : public tessgrid_test::TCommandTest {
 protected:
  // Runs an operation on the elevation and uplift grids and returns the output file's text.
  std::string Combine(const std::string& StgOperation) const {
    const TRun Result =
        Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc"), StgOperation});
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 0);
    return ReadFile(Work("out.asc"));
  }
};

}  // namespace

TEST_F(CommandTest, FewerThanFourArgumentsPrintTheUsageAndFail) {
  std::vector<std::string> VecArgs;
  for (const char* PtrArg : {"a.asc", "b.asc", "out.asc"}) {
    const TRun Result = Run(VecArgs);
    EXPECT_EQ(Result.StgOut, kStgUsage) << VecArgs.size() << " arguments";
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 1);
    VecArgs.push_back(Work(PtrArg));
  }
  const TRun Result = Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc")});
  EXPECT_EQ(Result.StgOut, kStgUsage);
  EXPECT_EQ(Result.LngStatus, 1);
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(CommandTest, EachOperationCharacterWritesItsResult) {
  EXPECT_EQ(Combine("+"), kStgSum);
  EXPECT_EQ(Combine("-"), kStgDifference);
  EXPECT_EQ(Combine("x"), kStgProduct);
  EXPECT_EQ(Combine("/"), kStgQuotient);
}

TEST_F(CommandTest, OnlyTheFirstCharacterOfTheOperationCounts) {
  EXPECT_EQ(Combine("xyz"), kStgProduct);
  EXPECT_EQ(Combine("+5"), kStgSum);
  EXPECT_EQ(Combine("/x"), kStgQuotient);
}

TEST_F(CommandTest, ArgumentsAfterTheFourthAreIgnored) {
  const TRun Result = Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc"), "-",
                           "x", Work("other.asc")});
  EXPECT_EQ(Result.StgOut, "");
  EXPECT_EQ(Result.LngStatus, 0);
  EXPECT_EQ(ReadFile(Work("out.asc")), kStgDifference);
  EXPECT_FALSE(fs::exists(Work("other.asc")));
}

TEST_F(CommandTest, UnknownOperationIsReportedAfterBothFilesLoad) {
  for (const char* PtrOperation : {"X", "*", "", "plus"}) {
    ExpectFailure(
        Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), Work("out.asc"), PtrOperation}),
        "Unknown operation");
    EXPECT_FALSE(fs::exists(Work("out.asc")));
  }
}

TEST_F(CommandTest, InputFailuresComeBeforeTheOperationCharacter) {
  ExpectFailure(Run({Data("elevation_4x3.asc"), Work("missing.asc"), Work("out.asc"), "*"}),
                "Unable to open file " + Work("missing.asc"));
  ExpectFailure(Run({Work("first.asc"), Work("second.asc"), Work("out.asc"), "+"}),
                "Unable to open file " + Work("first.asc"));
  ExpectFailure(Run({Data("elevation_4x3.asc"), Data("capital_ncols.asc"), Work("out.asc"), "*"}),
                "File format error: expected to find ncols tag");
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(CommandTest, OperationFailuresWriteNothing) {
  ExpectFailure(
      Run({Data("uplift_coarse_2x2.asc"), Data("elevation_4x3.asc"), Work("out.asc"), "/"}),
      "Divisor must be of equal of coarser resolution than the dividend in TMapTools::Divide");
  ExpectFailure(
      Run({Data("elevation_4x3.asc"), Data("uplift_coarse_2x2.asc"), Work("out.asc"), "-"}),
      "X dimensions do not match in TMapTools::Subtract");
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(CommandTest, CoarserPartnerServesSeveralCells) {
  const std::string StgHeader = kStgHeader + "NODATA_value -9999\n";
  const TRun Quotient =
      Run({Data("elevation_4x3.asc"), Data("uplift_coarse_2x2.asc"), Work("quotient.asc"), "/"});
  EXPECT_EQ(Quotient.LngStatus, 0);
  EXPECT_EQ(ReadFile(Work("quotient.asc")),
            StgHeader + "6.25 6.5 3.5625 3.75 \n22 -9999 -9999 -9999 \n20 21 -9999 -9999 \n");
  // The coarse map first: the sum still takes the finer grid.
  const TRun Sum =
      Run({Data("uplift_coarse_2x2.asc"), Data("elevation_4x3.asc"), Work("sum.asc"), "+"});
  EXPECT_EQ(Sum.LngStatus, 0);
  EXPECT_EQ(ReadFile(Work("sum.asc")),
            StgHeader + "14.5 15 18.25 19 \n11.5 -9999 -9999 -9999 \n10.5 11 -9999 -9999 \n");
}

TEST_F(CommandTest, AOneRowGridKeepsItsCornersThroughEveryOperation) {
  const std::string StgGrid =
      "ncols 2\nnrows 1\nxllcorner      100\nyllcorner      200\ncellsize 10\n"
      "NODATA_value -9999\n";
  std::ofstream(Work("row.asc")) << StgGrid << "1 2\n";
  for (const std::string StgOperation : {"+", "-", "x", "/"}) {
    const TRun Result = Run({Work("row.asc"), Work("row.asc"), Work("out.asc"), StgOperation});
    EXPECT_EQ(Result.LngStatus, 0) << StgOperation;
    EXPECT_EQ(ReadFile(Work("out.asc")).substr(0, StgGrid.size()), StgGrid) << StgOperation;
  }
}

TEST_F(CommandTest, OutputInAMissingDirectoryIsReportedAfterTheOperation) {
  const std::string StgOutput = Work("no/such/dir/out.asc");
  ExpectFailure(Run({Data("elevation_4x3.asc"), Data("uplift_4x3.asc"), StgOutput, "+"}),
                "Unable to open file " + StgOutput);
}

TEST_F(CommandTest, ExistingOutputIsReplaced) {
  std::ofstream(Work("out.asc")) << std::string(4096, 'z') << "\n";
  EXPECT_EQ(Combine("+"), kStgSum);
}

TEST_F(CommandTest, AllocationFailureIsReportedAsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit leaves";
#else
  // Two grids of 8 MB of cells each under a 20 MB address-space limit.
  std::ofstream Grid(Work("large.asc"));
  Grid << "ncols 1000\nnrows 1000\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  std::string StgRow;
  for (int LngI = 0; LngI < 1000; ++LngI) {
    StgRow += "1.5 ";
  }
  for (int LngI = 0; LngI < 1000; ++LngI) {
    Grid << StgRow << "\n";
  }
  Grid.close();
  ExpectFailure(
      Run({Work("large.asc"), Work("large.asc"), Work("out.asc"), "+"}, "ulimit -v 20000; "),
      "Out of memory");
  EXPECT_FALSE(fs::exists(Work("out.asc")));
#endif
}
