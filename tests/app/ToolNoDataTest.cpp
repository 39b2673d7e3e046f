// tests/app/ToolNoDataTest.cpp - tessgrid-tool keeps what a grid means: other programs' no-data
// values, their geometry, and messages that name the cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

// A one-row grid at the origin with cells of 1, declaring the no-data value as written.
std::string Row(const std::string& StgNoData, const std::string& StgCells,
                const std::string& StgXll = "0") {
  const long LngColumns = static_cast<long>(std::count(StgCells.begin(), StgCells.end(), ' ')) + 1;
  return "ncols " + std::to_string(LngColumns) + "\nnrows 1\nxllcorner " + StgXll +
         "\nyllcorner 0\ncellsize 1\nNODATA_value " + StgNoData + "\n" + StgCells + "\n";
}

// What the tool writes for a one-row grid like it; the rows of a grid that declares nan begin
// with a blank, and its whole numbers are written as reals ("5.0").
std::string Written(const std::string& StgNoData, const std::string& StgCells,
                    const std::string& StgXll = "0") {
  const std::string StgPadding(StgXll.size() < 8 ? 8 - StgXll.size() : 0, ' ');
  std::string StgRow;
  std::istringstream Cells(StgCells);
  for (std::string StgCell; Cells >> StgCell;) {
    const bool BlnWhole = StgCell.find_first_not_of("-0123456789") == std::string::npos;
    StgRow += (StgRow.empty() ? "" : " ") + StgCell + (StgNoData == "nan" && BlnWhole ? ".0" : "");
  }
  return "ncols " + std::to_string(std::count(StgCells.begin(), StgCells.end(), ' ') + 1) +
         "\nnrows 1\nxllcorner " + StgPadding + StgXll +
         "\nyllcorner        0\ncellsize 1\nNODATA_value " + StgNoData + "\n" +
         (StgNoData == "nan" ? " " : "") + StgRow + " \n";
}

class ToolNoDataTest : public tessgrid_test::TToolTest {
 protected:
  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Runs a command that must succeed silently and returns its output grid.
  std::string Output(std::vector<std::string> VecArgs) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, 0) << VecArgs[0];
    return ReadFile(Work("out.asc"));
  }

  // Expects the line and status 1, and out.asc as it was.
  void ExpectFailure(const std::vector<std::string>& VecArgs, const std::string& StgLine) const {
    const bool BlnExisted = std::filesystem::exists(Work("out.asc"));
    const std::string StgBefore = ReadFile(Work("out.asc"));
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, 1) << VecArgs[0];
    EXPECT_EQ(std::filesystem::exists(Work("out.asc")), BlnExisted) << VecArgs[0];
    EXPECT_EQ(ReadFile(Work("out.asc")), StgBefore) << VecArgs[0];
  }
};

}  // namespace

TEST_F(ToolNoDataTest, EveryCellWiseCommandKeepsTheDeclaredNoDataCells) {
  const std::string StgOut = Work("out.asc");
  for (const std::string StgNoData : {"-99999", "-32768", "-3.40282346639e+38", "nan", "-9999"}) {
    const std::string StgIn = Put("in.asc", Row(StgNoData, StgNoData + " 5 0 -2.5"));
    const std::string StgTable = Put("table.csv", "5,50\n0,1\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> VecCases = {
        {{"scale", StgIn, StgOut, "--factor", "2"}, "10 0 -5"},
        {{"offset", StgIn, StgOut, "--value", "1"}, "6 1 -1.5"},
        {{"divide-by", StgIn, StgOut, "--divisor", "2"}, "2.5 0 -1.25"},
        {{"round", StgIn, StgOut}, "5 0 -2"},
        {{"threshold", StgIn, StgOut, "--min", "1"}, "5 0 0"},
        {{"threshold", StgIn, StgOut, "--min", "1", "--replace", "7"}, "7 0 -2.5"},
        {{"reclass", StgIn, StgOut, "--table", StgTable, "--default", "3"}, "50 1 3"},
        {{"sum", StgOut, StgIn, StgIn}, "10 0 -5"},
        {{"average", StgOut, StgIn, StgIn}, "5 0 -2.5"},
        {{"subtract", StgIn, StgIn, StgOut}, "0 0 0"},
        {{"add", StgIn, StgIn, StgOut}, "10 0 -5"},
    };
    for (const auto& Case : VecCases) {
      EXPECT_EQ(Output(Case.first), Written(StgNoData, StgNoData + " " + Case.second))
          << Case.first[0] << " with NODATA_value " << StgNoData;
    }
    EXPECT_EQ(Output({"count", StgOut, StgIn, StgIn}), Written(StgNoData, "0 2 2 2"));
  }
}

TEST_F(ToolNoDataTest, ReclassMapsNoDataOnlyThroughAnEntryForTheDeclaredValue) {
  const std::string StgIn = Put("in.asc", Row("-99999", "-99999 5"));
  EXPECT_EQ(Output({"reclass", StgIn, Work("out.asc"), "--table", Put("t.csv", "-99999,1\n"),
                    "--default", "0"}),
            Written("-99999", "1 0"));
  // -9999 is data to this grid's writer, so an entry for it matches no cell.
  EXPECT_EQ(Output({"reclass", StgIn, Work("out.asc"), "--table", Put("t.csv", "-9999,1\n"),
                    "--default", "0"}),
            Written("-99999", "-99999 0"));
}

TEST_F(ToolNoDataTest, NonFiniteResultsAreWrittenAsNoData) {
  const std::string StgIn = Put("in.asc", Row("-99999", "4 0 -99999"));
  const std::string StgZero = Put("zero.asc", Row("-99999", "0 0 1"));
  EXPECT_EQ(Output({"divide-by", StgIn, Work("out.asc"), "--divisor", "0"}),
            Written("-99999", "-99999 -99999 -99999"));
  EXPECT_EQ(Output({"divide", StgIn, StgZero, Work("out.asc")}),
            Written("-99999", "-99999 -99999 -99999"));
  // A slope from fewer than two values is not a number.
  const std::string StgFirst = Put("first.asc", Row("-99999", "1 2 3"));
  const std::string StgOutputs = Put("outs.txt", Work("out.asc") + "\n");
  EXPECT_EQ(Output({"gradients", "--window", "1", StgFirst, StgIn, "--outputs", StgOutputs}),
            Written("-99999", "3 -2 -99999"));
}

TEST_F(ToolNoDataTest, GradientsTakeAZeroAsAValueUnlessAskedToCountItMissing) {
  // Four grids, one window of 3: a 0 in the first grid and one in a middle grid are values, and
  // only no-data is left out: slopes 1 over 0 1 2 3, 0.8 over 1 0 2 3, 1 over 2 _ 4 5.
  const std::string StgOutputs = Put("outs.txt", Work("out.asc") + "\n");
  const std::vector<std::string> VecArgs = {"gradients",
                                            "--window",
                                            "3",
                                            Put("g0.asc", Row("-99999", "0 1 2")),
                                            Put("g1.asc", Row("-99999", "1 0 -99999")),
                                            Put("g2.asc", Row("-99999", "2 2 4")),
                                            Put("g3.asc", Row("-99999", "3 3 5")),
                                            "--outputs",
                                            StgOutputs};
  EXPECT_EQ(Output(VecArgs), Written("-99999", "1 0.8 1"));
  // The library's rule: a first 0 gives no-data, and the middle one takes its neighbourhood's
  // last nonzero value, here the no-data beside it, which leaves it out: 1 _ 2 3 has slope 9/14.
  std::vector<std::string> VecZeroMissing = VecArgs;
  VecZeroMissing.push_back("--zero-missing");
  EXPECT_EQ(Output(VecZeroMissing), Written("-99999", "-99999 0.642857142857 1"));
}

TEST_F(ToolNoDataTest, OutputsDeclareTheValueAskedForAndRefuseDataEqualToIt) {
  const std::string StgIn = Put("in.asc", Row("-99999", "-99999 5 -1"));
  EXPECT_EQ(Output({"scale", StgIn, Work("out.asc"), "--factor", "2", "--nodata", "-1"}),
            Written("-1", "-1 10 -2"));
  EXPECT_EQ(Output({"--nodata", "nan", "offset", StgIn, Work("out.asc"), "--value", "0"}),
            Written("nan", "nan 5 -1"));
  ExpectFailure({"offset", StgIn, Work("out.asc"), "--value", "-100004"},
                Work("out.asc") +
                    ": the result holds -99999 at row 0, column 1, a data value equal to the "
                    "NODATA_value it declares; choose another with --nodata");
}

TEST_F(ToolNoDataTest, MinusNineThousandNineHundredNinetyNineAsDataFailsNamingTheCell) {
  const std::string StgIn = Put("in.asc", Row("-99999", "1 -99999 -9999"));
  ExpectFailure({"scale", StgIn, Work("out.asc"), "--factor", "2"},
                StgIn +
                    ": the cell at row 0, column 2 holds -9999, a data value in this grid "
                    "(NODATA_value -99999), which tessgrid-tool cannot tell from no-data");
  // The commands that print cells print them as the file states them.
  const TRun Counted = RunTool({"count-values", StgIn});
  EXPECT_EQ(Counted.StgOut, "-99999,1\n-9999,1\n1,1\n");
}

TEST_F(ToolNoDataTest, SettingCommandsTakeTheDeclaredValueAsNoData) {
  const std::string StgIn = Put("in.asc", Row("-99999", "1 2 -99999"));
  EXPECT_EQ(Output({"fill", StgIn, Work("out.asc"), "--rows", "0", "0", "--columns", "0", "0",
                    "--value", "-99999"}),
            Written("-99999", "-99999 2 -99999"));
  EXPECT_EQ(Output({"mask", StgIn, StgIn, Work("out.asc"), "--match", "-99999", "--value", "0"}),
            Written("-99999", "1 2 0"));
}

TEST_F(ToolNoDataTest, InfoReportsTheDeclaredValueAndCountsItsCells) {
  const TRun Result = RunTool({"info", Put("in.asc", Row("nan", "nan 1 3 nan")), "--json"});
  EXPECT_NE(Result.StgOut.find("\"NODATA_value\":null,\"cells\":4,\"nodata_cells\":2,\"min\":1,"
                               "\"max\":3,\"mean\":2}"),
            std::string::npos)
      << Result.StgOut;
}

TEST_F(ToolNoDataTest, PairingCommandsRefuseGridsThatAreNotAligned) {
  const std::string StgA = Put("a.asc", Row("-9999", "1 2", "1000"));
  const std::string StgB = Put("b.asc", Row("-9999", "3 4", "900000"));
  const std::string StgWide = Put("wide.asc", Row("-9999", "3 4 5", "1000"));
  const std::string StgOutputs = Put("outs.txt", Work("out.asc") + "\n");
  const std::string StgMessage =
      "grids are not aligned: " + StgA + " and " + StgB + " differ in xllcorner (1000 vs 900000)";
  for (const std::vector<std::string>& VecArgs : std::vector<std::vector<std::string>>{
           {"subtract", StgA, StgB, Work("out.asc")},
           {"sum", Work("out.asc"), StgA, StgB},
           {"count", Work("out.asc"), StgA, StgB},
           {"average", Work("out.asc"), StgA, StgB},
           {"mask", StgA, StgB, Work("out.asc"), "--match", "1", "--value", "0"},
           {"overlay-table", StgA, StgB},
           {"moving-average", "--window", "2", StgA, StgB, "--outputs", StgOutputs},
           {"gradients", "--window", "1", StgA, StgB, "--outputs", StgOutputs}}) {
    ExpectFailure(VecArgs, StgMessage);
  }
  ExpectFailure({"sum", Work("out.asc"), StgA, StgWide},
                "grids are not aligned: " + StgA + " and " + StgWide + " differ in ncols (2 vs 3)");
  // Corners that differ by rounding alone are the same corner.
  const std::string StgNear = Put("near.asc", Row("-9999", "3 4", "1000.0000000001"));
  EXPECT_EQ(Output({"sum", Work("out.asc"), StgA, StgNear}), Written("-9999", "4 6", "1000"));
  EXPECT_EQ(Output({"--by-index", "subtract", StgA, StgB, Work("out.asc")}),
            Written("-9999", "-2 -2", "1000"));
}

TEST_F(ToolNoDataTest, FailuresNameTheirCauseBeforeTheLibrarysMessage) {
  const std::string StgA = Put("a.asc", Row("-9999", "1 2"));
  const std::string StgFar = Put("far.asc", Row("-9999", "1 2", "5000"));
  ExpectFailure({"add", StgA, StgFar, Work("out.asc")},
                "add: " + StgA + " and " + StgFar +
                    " do not overlap (Ordinate is out of range in TAxis::GetIndex)");
  ExpectFailure({"extract", StgA, Work("out.asc"), "--bbox", "0.5", "0.5", "7", "0.5"},
                "extract: the corner (7, 0.5) lies outside " + StgA +
                    " (Ordinate is out of range in TAxis::GetIndex)");
  const TRun Sampled = RunTool({"sample", StgA, "--points", Put("p.csv", "1,0.5,0.5\n2,9,9\n")});
  EXPECT_EQ(Sampled.StgErr, "tessgrid-tool: sample: the point 2 (9, 9) lies outside " + StgA +
                                " (Ordinate is out of range in TAxis::GetIndex)\n");
  EXPECT_EQ(RunTool({"scale", StgA, Work("out.asc"), "--factor", "1e999"}).StgErr,
            "tessgrid-tool: --factor: out of range: 1e999\n");
}

TEST_F(ToolNoDataTest,
       AComputedMinusNineThousandNineHundredNinetyNineFailsWhereTheUserAskedForNoData) {
  const std::string StgIn = Put("in.asc", Row("-99999", "-99999 9999 5"));
  const std::string StgMessage =
      "the result at row 0, column 1 comes to -9999, which the library's operations take for "
      "no-data; tessgrid-tool cannot keep it as data";
  ExpectFailure({"scale", StgIn, Work("out.asc"), "--factor", "-1"}, StgMessage);
  ExpectFailure({"sum", Work("out.asc"), StgIn, Put("b.asc", Row("-99999", "1 -19998 2"))},
                StgMessage);
  // A -9999 the user gives is the tool's word for no-data.
  EXPECT_EQ(Output({"threshold", StgIn, Work("out.asc"), "--min", "6", "--replace", "-9999"}),
            Written("-99999", "-99999 -99999 5"));
}

TEST_F(ToolNoDataTest, DigitsAndCornersComeBackExactly) {
  // 1,000 rows of 0.1: edges rebuilt from centres drift from 0 in the last bits.
  std::string StgGrid =
      "ncols 2\nnrows 1000\nxllcorner 0.3\nyllcorner 0\ncellsize 0.1\n"
      "NODATA_value -9999\n";
  std::vector<double> VecCells;
  for (int IntRow = 0; IntRow < 1000; ++IntRow) {
    for (const double DblCell : {0.1 * IntRow + 0.2, 1.0 / (IntRow + 3.0)}) {
      VecCells.push_back(DblCell);
      char ChrText[32];
      std::snprintf(ChrText, sizeof ChrText, "%.17g ", DblCell);
      StgGrid += ChrText;
    }
    StgGrid += "\n";
  }
  const std::string StgIn = Put("in.asc", StgGrid);
  const std::string StgText =
      Output({"offset", StgIn, Work("out.asc"), "--value", "0", "--digits", "17"});
  EXPECT_EQ(StgText.substr(0, StgText.find("NODATA")),
            "ncols 2\nnrows 1000\nxllcorner      0.3\nyllcorner        0\ncellsize 0.1\n");
  std::istringstream Cells(StgText.substr(StgText.find('\n', StgText.find("NODATA"))));
  for (const double DblCell : VecCells) {
    double DblRead = 0.0;
    Cells >> DblRead;
    ASSERT_EQ(DblRead, DblCell);
  }
  // Without --digits the rule's 12 digits stand, and the corners stay those read.
  const std::string StgDefault = Output({"offset", StgIn, Work("out.asc"), "--value", "0"});
  EXPECT_EQ(StgDefault.substr(0, StgDefault.find("NODATA")),
            "ncols 2\nnrows 1000\nxllcorner      0.3\nyllcorner        0\ncellsize 0.1\n");
  EXPECT_NE(StgDefault.find("\n0.2 0.333333333333 \n"), std::string::npos);
}
