// tests/app/ToolAggregatesTest.cpp - tessgrid-tool's minimum and maximum, and the aggregates over
// the grids with data (--skip-nodata, --min-count), on grids read as files (streamed) and from
// standard input (loaded whole): the same cells either way, and the failures in their words.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class ToolAggregatesTest : public tessgrid_test::TToolTest {
 protected:
  void SetUp() override {
    TToolTest::SetUp();
    // No-data -1; cell (0, 2) has data in a only, (0, 0) and (0, 1) in two grids.
    MbrStgA = Put("a.asc", "1 2 8\n4 5 6\n");
    MbrStgB = Put("b.asc", "3 -1 -1\n1 7 6\n");
    MbrStgC = Put("c.asc", "-1 0.5 -1\n4 -1 9\n");
  }

  std::string Put(const std::string& StgName, const std::string& StgCells) const {
    std::ofstream(Work(StgName), std::ios::binary)
        << "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 5\nNODATA_value -1\n"
        << StgCells;
    return Work(StgName);
  }

  // The cells the command writes, a grid's rows after its header, as it writes them with its
  // inputs read from files and again with the first one read from standard input.
  std::string Cells(std::vector<std::string> VecArgs) const {
    std::string StgCells[2];
    for (int IntPath = 0; IntPath < 2; ++IntPath) {
      std::vector<std::string> VecRun = VecArgs;
      VecRun.insert(VecRun.begin() + 1, Work("out.asc"));
      VecRun.insert(VecRun.end(), {IntPath == 0 ? MbrStgA : "-", MbrStgB, MbrStgC});
      const TRun Result = RunTool(VecRun, MbrStgA);
      EXPECT_EQ(Result.StgErr, "");
      EXPECT_EQ(Result.LngStatus, 0);
      const std::string StgText = ReadFile(Work("out.asc"));
      StgCells[IntPath] = StgText.substr(StgText.find('\n', StgText.find("NODATA_value")) + 1);
    }
    EXPECT_EQ(StgCells[0], StgCells[1]) << "streamed and loaded differ";
    return StgCells[0];
  }

  std::string MbrStgA;
  std::string MbrStgB;
  std::string MbrStgC;
};

}  // namespace

TEST_F(ToolAggregatesTest, MinimumAndMaximumTakeTheExtremeValueAndTheNoDataRuleOfTheSum) {
  EXPECT_EQ(Cells({"minimum"}), "-1 -1 -1 \n1 -1 6 \n");
  EXPECT_EQ(Cells({"maximum"}), "-1 -1 -1 \n4 -1 9 \n");
  const TRun Few = RunTool({"minimum", Work("out.asc"), MbrStgA});
  EXPECT_EQ(Few.StgErr, "tessgrid-tool: minimum: needs two or more grids, got 1\n");
  EXPECT_EQ(Few.LngStatus, 1);
}

TEST_F(ToolAggregatesTest, SkipNoDataAggregatesTheGridsWithDataAndMinCountNeedsThatMany) {
  EXPECT_EQ(Cells({"sum", "--skip-nodata"}), "4 2.5 8 \n9 12 21 \n");
  EXPECT_EQ(Cells({"average", "--skip-nodata"}), "2 1.25 8 \n3 6 7 \n");
  EXPECT_EQ(Cells({"minimum", "--skip-nodata"}), "1 0.5 8 \n1 5 6 \n");
  EXPECT_EQ(Cells({"maximum", "--skip-nodata"}), "3 2 8 \n4 7 9 \n");
  EXPECT_EQ(Cells({"average", "--min-count", "2"}), "2 1.25 -1 \n3 6 7 \n");
  EXPECT_EQ(Cells({"sum", "--min-count", "3"}), "-1 -1 -1 \n9 -1 21 \n");
  EXPECT_EQ(Cells({"maximum", "--min-count", "2", "--nodata", "-5"}), "3 2 -5 \n4 7 9 \n");
  // Without the option the library's rule stands.
  EXPECT_EQ(Cells({"sum"}), "-1 -1 -1 \n9 -1 21 \n");
}

TEST_F(ToolAggregatesTest, MinCountOutsideOneToTheNumberOfGridsIsACommandLineError) {
  for (const std::string StgCount : {"0", "4", "-2"}) {
    const TRun Result =
        RunTool({"average", "--min-count", StgCount, Work("out.asc"), MbrStgA, MbrStgB, MbrStgC});
    EXPECT_EQ(Result.StgErr,
              "tessgrid-tool: --min-count must be from 1 to the number of input grids (3), not " +
                  StgCount + "\n");
    EXPECT_EQ(Result.LngStatus, 2);
  }
  const TRun Count = RunTool({"count", "--skip-nodata", Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Count.LngStatus, 2);
}

TEST_F(ToolAggregatesTest, ADataResultOfMinus9999OverTheGridsWithDataFails) {
  const std::string StgLow = Put("low.asc", "-5000 -1 1\n1 1 1\n");
  const std::string StgHigh = Put("high.asc", "-4999 -1 1\n1 1 1\n");
  for (const std::string& StgFirst : {StgLow, std::string("-")}) {
    const TRun Result =
        RunTool({"sum", "--skip-nodata", Work("out.asc"), StgFirst, StgHigh}, StgLow);
    EXPECT_EQ(Result.StgErr,
              "tessgrid-tool: the result at row 0, column 0 comes to -9999, which the library's "
              "operations take for no-data; tessgrid-tool cannot keep it as data\n");
    EXPECT_EQ(Result.LngStatus, 1);
  }
}
