// tests/app/ToolCalcTest.cpp - tessgrid-tool calc: its language, its no-data rule, its errors,
// and results that do not depend on the thread count. Built only where calc is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

using TCellFunction = std::function<double(double, double)>;

// The cells of the two hand-made grids, one row each; no cell is no-data.
const std::vector<double> kVecA = {0.25, 1.5, 2.5, -2.5, 4, -0.5};
const std::vector<double> kVecB = {2, -3, 0.5, 7, 1, 3};

std::string Grid(long LngColumns, long LngRows, const std::string& StgCells,
                 const std::string& StgXll = "0") {
  return "ncols " + std::to_string(LngColumns) + "\nnrows " + std::to_string(LngRows) +
         "\nxllcorner " + StgXll + "\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n" + StgCells +
         "\n";
}

std::string RowOf(const std::vector<double>& VecCells) {
  std::ostringstream Text;
  Text.precision(17);
  for (const double DblCell : VecCells) {
    Text << DblCell << ' ';
  }
  return Text.str();
}

class ToolCalcTest : public tessgrid_test::TToolTest {
 protected:
  void SetUp() override {
    TToolTest::SetUp();
    Put("a.asc", Grid(6, 1, RowOf(kVecA)));
    Put("b.asc", Grid(6, 1, RowOf(kVecB)));
  }

  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Runs calc into out.asc; returns the cells, no-data as NaN.
  std::vector<double> Calc(const std::string& StgExpr, const std::vector<std::string>& VecInputs) {
    std::vector<std::string> VecArgs = {"--digits",      "17",     "calc",
                                        Work("out.asc"), "--expr", StgExpr};
    VecArgs.insert(VecArgs.end(), VecInputs.begin(), VecInputs.end());
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "") << StgExpr;
    EXPECT_EQ(Result.LngStatus, 0) << StgExpr;
    std::istringstream Text(ReadFile(Work("out.asc")));
    std::string StgLine;
    for (int IntLine = 0; IntLine < 6; ++IntLine) {
      std::getline(Text, StgLine);
    }
    std::vector<double> VecCells;
    for (double DblCell = 0; Text >> DblCell;) {
      VecCells.push_back(DblCell == -9999 ? std::nan("") : DblCell);
    }
    return VecCells;
  }

  std::vector<double> CalcAB(const std::string& StgExpr) {
    return Calc(StgExpr, {"-A", Work("a.asc"), "-B", Work("b.asc")});
  }

  // Expects calc to give Expected(a, b) in every cell of the hand-made grids.
  void ExpectCells(const std::string& StgExpr, const TCellFunction& Expected) {
    const std::vector<double> VecCells = CalcAB(StgExpr);
    ASSERT_EQ(VecCells.size(), kVecA.size()) << StgExpr;
    for (std::size_t LngI = 0; LngI < kVecA.size(); ++LngI) {
      // The writer keeps twelve significant digits.
      const double DblExpected = Expected(kVecA[LngI], kVecB[LngI]);
      EXPECT_NEAR(VecCells[LngI], DblExpected, 1e-11 * std::max(1.0, std::fabs(DblExpected)))
          << StgExpr << " at cell " << LngI;
    }
  }

  void ExpectUsageError(const std::vector<std::string>& VecArgs, const std::string& StgLine) {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n");
    EXPECT_EQ(Result.LngStatus, 2);
    EXPECT_FALSE(tessgrid_test::fs::exists(Work("out.asc")));
  }
};

}  // namespace

TEST_F(ToolCalcTest, OperatorsFollowMathematicalPrecedence) {
  ExpectCells("A + B * 2", [](double a, double b) { return a + b * 2; });
  ExpectCells("(A + B) * 2", [](double a, double b) { return (a + b) * 2; });
  ExpectCells("A - B - 1", [](double a, double b) { return a - b - 1; });
  ExpectCells("A / B / 2", [](double a, double b) { return a / b / 2; });
  ExpectCells("-A^2 + B", [](double a, double b) { return -(a * a) + b; });
  ExpectCells("2^B^2", [](double, double b) { return std::pow(2, b * b); });
  ExpectCells("A < B && B < 3 || A == 4",
              [](double a, double b) { return (a < b && b < 3) || a == 4 ? 1 : 0; });
  ExpectCells("A > B ? A : B * 10", [](double a, double b) { return a > b ? a : b * 10; });
}

TEST_F(ToolCalcTest, EveryFunctionGivesItsMathematicalValue) {
  ExpectCells("min(A, B)", [](double a, double b) { return std::min(a, b); });
  ExpectCells("max(A, B)", [](double a, double b) { return std::max(a, b); });
  ExpectCells("abs(A)", [](double a, double) { return std::fabs(a); });
  ExpectCells("sqrt(abs(A))", [](double a, double) { return std::sqrt(std::fabs(a)); });
  ExpectCells("exp(A)", [](double a, double) { return std::exp(a); });
  ExpectCells("log(abs(A))", [](double a, double) { return std::log(std::fabs(a)); });
  ExpectCells("log10(abs(A))", [](double a, double) { return std::log10(std::fabs(a)); });
  ExpectCells("pow(abs(A), B)", [](double a, double b) { return std::pow(std::fabs(a), b); });
  ExpectCells("floor(A)", [](double a, double) { return std::floor(a); });
  ExpectCells("ceil(A)", [](double a, double) { return std::ceil(a); });
  // Halves away from zero: 2.5 -> 3, -2.5 -> -3, -0.5 -> -1.
  ExpectCells("round(A)", [](double a, double) { return std::round(a); });
  EXPECT_EQ(CalcAB("round(A)"), (std::vector<double>{0, 2, 3, -3, 4, -1}));
}

TEST_F(ToolCalcTest, NoDataInANamedInputGivesNoDataAndUnnamedInputsDoNotMatter) {
  Put("a.asc", Grid(3, 1, "-9999 1 2"));
  Put("b.asc", Grid(3, 1, "10 -9999 20"));
  const std::vector<std::string> VecInputs = {"-A", Work("a.asc"), "-B", Work("b.asc")};
  const std::vector<double> VecSum = Calc("A + B", VecInputs);
  ASSERT_EQ(VecSum.size(), 3U);
  EXPECT_TRUE(std::isnan(VecSum[0]));
  EXPECT_TRUE(std::isnan(VecSum[1]));
  EXPECT_EQ(VecSum[2], 22);
  // B is given but not named: its no-data cell leaves the result alone.
  const std::vector<double> VecDouble = Calc("A * 2", VecInputs);
  ASSERT_EQ(VecDouble.size(), 3U);
  EXPECT_TRUE(std::isnan(VecDouble[0]));
  EXPECT_EQ(VecDouble[1], 2);
  EXPECT_EQ(VecDouble[2], 4);
}

TEST_F(ToolCalcTest, IsNoDataLetsTheExpressionDecideForTheInputItTests) {
  Put("a.asc", Grid(3, 1, "-9999 1 2"));
  Put("b.asc", Grid(3, 1, "10 -9999 20"));
  const std::vector<std::string> VecInputs = {"-A", Work("a.asc"), "-B", Work("b.asc")};
  EXPECT_EQ(Calc("isnodata(A) ? 5 : A", VecInputs), (std::vector<double>{5, 1, 2}));
  EXPECT_EQ(Calc("isnodata(A)", VecInputs), (std::vector<double>{1, 0, 0}));
  // A is tested, B is not: B's no-data still decides its cell, even where the branch taken
  // does not read B.
  const std::vector<double> VecMixed = Calc("isnodata(A) ? B : A", VecInputs);
  ASSERT_EQ(VecMixed.size(), 3U);
  EXPECT_EQ(VecMixed[0], 10);
  EXPECT_TRUE(std::isnan(VecMixed[1]));
  EXPECT_EQ(VecMixed[2], 2);
}

TEST_F(ToolCalcTest, ResultsThatAreNotFiniteAreNoData) {
  const std::vector<double> VecConstant = CalcAB("A > 1 ? A : nodata");
  ASSERT_EQ(VecConstant.size(), kVecA.size());
  EXPECT_TRUE(std::isnan(VecConstant[0]));
  EXPECT_EQ(VecConstant[1], 1.5);
  Put("b.asc", Grid(6, 1, "0 1 0 2 0 -1"));
  const std::vector<double> VecQuotient = CalcAB("A / B");
  ASSERT_EQ(VecQuotient.size(), kVecA.size());
  EXPECT_TRUE(std::isnan(VecQuotient[0]));
  EXPECT_EQ(VecQuotient[1], 1.5);
  EXPECT_TRUE(std::isnan(VecQuotient[2]));
  EXPECT_TRUE(std::isnan(CalcAB("sqrt(B - 5)")[1]));
}

TEST_F(ToolCalcTest, ADataCellThatComesToTheNoDataMarkerFailsTheRun) {
  const TRun Result =
      RunTool({"calc", Work("out.asc"), "--expr", "A - 10001.5", "-A", Work("a.asc")});
  EXPECT_EQ(Result.StgErr,
            "tessgrid-tool: the result at row 0, column 2 comes to -9999, which the library's "
            "operations take for no-data; tessgrid-tool cannot keep it as data\n");
  EXPECT_EQ(Result.LngStatus, 1);
}

TEST_F(ToolCalcTest, ASyntaxErrorIsACommandLineErrorThatPointsAtItsColumn) {
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "A + )", "-A", Work("a.asc")},
                   "--expr: unexpected parenthesis \")\" at column 5 in \"A + )\"");
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "A + foo", "-A", Work("a.asc")},
                   "--expr: unexpected token \"foo\" found at column 5 in \"A + foo\"");
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "min(A", "-A", Work("a.asc")},
                   "--expr: missing parenthesis at column 7 in \"min(A\"");
}

TEST_F(ToolCalcTest, AssignmentsAndListsOfExpressionsAreCommandLineErrors) {
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "A=5", "-A", Work("a.asc")},
                   "--expr: unexpected assignment \"=\" (to compare, write \"==\") at column 2 "
                   "in \"A=5\"");
  ExpectUsageError(
      {"calc", Work("out.asc"), "--expr", "(B = A) * 2", "-A", Work("a.asc"), "-B", Work("b.asc")},
      "--expr: unexpected assignment \"=\" (to compare, write \"==\") at column 4 "
      "in \"(B = A) * 2\"");
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "A + 1, A", "-A", Work("a.asc")},
                   "--expr: unexpected \",\" outside a function's arguments (calc computes one "
                   "expression) at column 6 in \"A + 1, A\"");
  // A comparison is no assignment.
  EXPECT_EQ(CalcAB("A == 1.5 || B >= 7"), (std::vector<double>{0, 1, 0, 1, 0, 0}));
}

TEST_F(ToolCalcTest, ALongRejectedExpressionIsQuotedAroundItsFault) {
  // 100 KB of "A+", then a fault: muparser refuses the length first, at column 1.
  std::string StgLong;
  for (int IntTerm = 0; IntTerm < 50000; ++IntTerm) {
    StgLong += "A+";
  }
  ExpectUsageError(
      {"calc", Work("out.asc"), "--expr", StgLong + ")", "-A", Work("a.asc")},
      "--expr: expression too long at column 1 in \"" + StgLong.substr(0, 30) + "...\"");
  const std::string StgSum = StgLong.substr(0, 200);
  ExpectUsageError(
      {"calc", Work("out.asc"), "--expr", StgSum + ")" + StgSum + "A", "-A", Work("a.asc")},
      "--expr: unexpected parenthesis \")\" at column 201 in \"..." + StgSum.substr(170) + ")" +
          StgSum.substr(0, 29) + "...\"");
  ExpectUsageError({"calc", Work("out.asc"), "--expr", StgSum + "C", "-A", Work("a.asc")},
                   "--expr names C, which has no input grid (give one with -C) in \"..." +
                       StgSum.substr(170) + "C\"");
}

TEST_F(ToolCalcTest, AVariableWithoutAnInputIsACommandLineError) {
  ExpectUsageError(
      {"calc", Work("out.asc"), "--expr", "A + C", "-A", Work("a.asc"), "-B", Work("b.asc")},
      "--expr names C, which has no input grid (give one with -C) in \"A + C\"");
  ExpectUsageError({"calc", Work("out.asc"), "--expr", "1"},
                   "calc needs an input grid: give one or more of -A to -Z");
}

TEST_F(ToolCalcTest, InputsOnDifferentGridsAreRefused) {
  Put("b.asc", Grid(6, 1, RowOf(kVecB), "5"));
  const TRun Result = RunTool(
      {"calc", Work("out.asc"), "--expr", "A + B", "-A", Work("a.asc"), "-B", Work("b.asc")});
  EXPECT_EQ(Result.StgErr, "tessgrid-tool: grids are not aligned: " + Work("a.asc") + " and " +
                               Work("b.asc") + " differ in xllcorner (0 vs 5)\n");
  EXPECT_EQ(Result.LngStatus, 1);
  EXPECT_FALSE(tessgrid_test::fs::exists(Work("out.asc")));
}

TEST_F(ToolCalcTest, ExtentAndGridReadInputsOnDifferentGridsOntoOne) {
  // b lies two cells east: the union spans eight cells, the intersection four.
  Put("b.asc", Grid(6, 1, RowOf(kVecB), "2"));
  const std::vector<std::string> VecInputs{"-A", Work("a.asc"), "-B", Work("b.asc")};
  std::vector<std::string> VecUnion = VecInputs;
  VecUnion.insert(VecUnion.end(), {"--extent", "union"});
  const std::vector<double> VecCells = Calc("isnodata(A) ? B : isnodata(B) ? A : A + B", VecUnion);
  const std::vector<double> VecExpected{0.25, 1.5, 4.5, -5.5, 4.5, 6.5, 1, 3};
  EXPECT_EQ(VecCells, VecExpected);
  std::vector<std::string> VecShared = VecInputs;
  VecShared.insert(VecShared.end(), {"--extent", "intersect", "--grid", "first"});
  EXPECT_EQ(Calc("A * 10 + B", VecShared), (std::vector<double>{27, -28, 40.5, 2}));
}

TEST_F(ToolCalcTest, EveryThreadCountGivesTheSameBytes) {
  // Enough rows for every thread to take several blocks, with no-data scattered through them.
  const long LngColumns = 37;
  const long LngRows = 301;
  std::string StgA;
  std::string StgB;
  for (long LngCell = 0; LngCell < LngColumns * LngRows; ++LngCell) {
    StgA += LngCell % 11 == 0 ? "-9999 " : std::to_string(LngCell % 97) + ".25 ";
    StgB += LngCell % 13 == 0 ? "-9999 " : std::to_string(LngCell % 89 - 40) + " ";
  }
  Put("a.asc", Grid(LngColumns, LngRows, StgA));
  Put("b.asc", Grid(LngColumns, LngRows, StgB));
  std::string StgFirst;
  for (const int IntThreads : {1, 2, 3, 7}) {
    const TRun Result =
        RunProgram(tessgrid_test::kToolExe,
                   {"calc", Work("out.asc"), "--expr", "isnodata(A) ? B : sqrt(A) / B + log(A + 1)",
                    "-A", Work("a.asc"), "-B", Work("b.asc")},
                   "TESSGRID_THREADS=" + std::to_string(IntThreads) + " ", "/dev/null", ">");
    ASSERT_EQ(Result.LngStatus, 0) << Result.StgErr;
    const std::string StgOutput = ReadFile(Work("out.asc"));
    if (StgFirst.empty()) {
      StgFirst = StgOutput;
    }
    EXPECT_EQ(StgOutput, StgFirst) << IntThreads << " threads";
  }
}

TEST_F(ToolCalcTest, SumOfTwoGridsEqualsTheAddCommand) {
  Put("a.asc", Grid(4, 2, "1.5 -9999 3 0.1\n7 8 -9999 1e5"));
  Put("b.asc", Grid(4, 2, "2 5 -9999 0.2\n-7 0.125 3 -1e-3"));
  ASSERT_EQ(RunTool({"add", Work("a.asc"), Work("b.asc"), Work("add.asc")}).LngStatus, 0);
  const TRun Result =
      RunTool({"calc", Work("out.asc"), "--expr", "A+B", "-A", Work("a.asc"), "-B", Work("b.asc")});
  ASSERT_EQ(Result.LngStatus, 0) << Result.StgErr;
  EXPECT_EQ(ReadFile(Work("out.asc")), ReadFile(Work("add.asc")));
}

TEST_F(ToolCalcTest, OneOperatorGivesWhatTheParserGives) {
  // No-data, zeros to divide by, and in the last row a pair of cells whose sum, difference,
  // product or quotient comes to -9999: a plain loop computes "A op B", the parser "(A) op B".
  const auto Put37x40 = [this](const std::string& StgLastA, const std::string& StgLastB) {
    std::string StgA;
    std::string StgB;
    for (long LngCell = 0; LngCell < 37 * 39; ++LngCell) {
      StgA += LngCell % 11 == 0 ? "-9999 " : std::to_string(LngCell % 97 - 30) + ".25 ";
      StgB += LngCell % 13 == 0 ? "-9999 " : std::to_string(LngCell % 7) + " ";
    }
    StgA += "3 " + StgLastA;
    StgB += "4 " + StgLastB;
    for (int IntCell = 0; IntCell < 35; ++IntCell) {
      StgA += " 1";
      StgB += " 2";
    }
    Put("a.asc", Grid(37, 40, StgA));
    Put("b.asc", Grid(37, 40, StgB));
  };
  const std::vector<std::tuple<std::string, std::string, std::string>> VecCases = {
      {"+", "-9998", "-1"}, {"-", "-9998", "1"}, {"*", "-4999.5", "2"}, {"/", "-19998", "2"}};
  for (const auto& [StgOperator, StgLastA, StgLastB] : VecCases) {
    for (const bool BlnCollision : {false, true}) {
      Put37x40(BlnCollision ? StgLastA : "5", BlnCollision ? StgLastB : "6");
      const auto Run = [&](const std::string& StgExpr) {
        const TRun Result = RunTool({"--digits", "17", "calc", Work("out.asc"), "--expr", StgExpr,
                                     "-A", Work("a.asc"), "-B", Work("b.asc")});
        return std::to_string(Result.LngStatus) + Result.StgErr +
               (Result.LngStatus == 0 ? ReadFile(Work("out.asc")) : "");
      };
      EXPECT_EQ(Run("A" + StgOperator + "B"), Run("(A)" + StgOperator + "B"))
          << StgOperator << (BlnCollision ? " with a collision" : "");
    }
  }
}
