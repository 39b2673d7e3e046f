// tests/engine/TExpressionTest.cpp - the expression in process: its block program gives what
// muparser gives cell by cell, bit for bit, on random expressions of the whole language; the
// no-data rules around it; and the texts it refuses, quoted in part when long.
#include <gtest/gtest.h>

#ifdef TESSGRID_WITH_CALC

#include <muParser.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/Expression.h"
#include "engine/ExpressionParser.h"
#include "engine/ExpressionRows.h"

namespace {

using tessgrid::detail::kLngExpressionLetters;
using tessgrid::detail::TExpression;
using tessgrid::detail::TExpressionError;
using tessgrid::detail::TLetterSet;
using TRows = std::array<const double*, kLngExpressionLetters>;

constexpr double kDblNoData = -9999.0;
const double kDblNaN = std::numeric_limits<double>::quiet_NaN();
const double kDblInf = std::numeric_limits<double>::infinity();

TLetterSet Letters(const std::string& StgLetters) {
  TLetterSet ArrLetters{};
  for (const char ChrLetter : StgLetters) {
    ArrLetters[static_cast<std::size_t>(ChrLetter - 'A')] = true;
  }
  return ArrLetters;
}

// Random expressions over A to D from every rule of the language, deterministic for a seed.
class TExpressionMaker {
 public:
  explicit TExpressionMaker(std::uint32_t IntSeed) : MbrRandom(IntSeed) {}

  std::string Make(int IntDepth) {
    if (IntDepth == 0 || Pick(4) == 0) {
      return Leaf();
    }
    static const char* const kArrBinary[] = {
        "+", "-", "*", "/", "^", "<", "<=", ">", ">=", "==", "!=", "&&", "||"};
    static const char* const kArrUnary[] = {
        "sin",   "cos",   "tan",   "asin",  "acos",  "atan",  "sinh",    "cosh", "tanh",
        "asinh", "acosh", "atanh", "log2",  "log10", "log",   "ln",      "exp",  "sqrt",
        "sign",  "rint",  "abs",   "floor", "ceil",  "round", "isnodata"};
    static const char* const kArrListed[] = {"min", "max", "sum", "avg"};
    switch (Pick(6)) {
      case 0:
      case 1:
        return "(" + Make(IntDepth - 1) + " " + kArrBinary[Pick(13)] + " " + Make(IntDepth - 1) +
               ")";
      case 2:
        return std::string(kArrUnary[Pick(25)]) + "(" + Make(IntDepth - 1) + ")";
      case 3: {
        std::string StgCall = std::string(kArrListed[Pick(4)]) + "(" + Make(IntDepth - 1);
        for (std::uint32_t IntK = Pick(3); IntK > 0; --IntK) {
          StgCall += ", " + Make(IntDepth - 1);
        }
        return StgCall + ")";
      }
      case 4:
        return "(" + Make(IntDepth - 1) + " ? " + Make(IntDepth - 1) + " : " + Make(IntDepth - 1) +
               ")";
      default:
        return Pick(2) == 0 ? "-" + Make(IntDepth - 1)
                            : std::string(Pick(2) == 0 ? "pow(" : "atan2(") + Make(IntDepth - 1) +
                                  ", " + Make(IntDepth - 1) + ")";
    }
  }

 private:
  std::uint32_t Pick(std::uint32_t IntCount) { return MbrRandom() % IntCount; }

  // Variables most often, so that the optimiser's patterns (A * 2 + 1, A ^ 2, A + A) appear.
  std::string Leaf() {
    static const char* const kArrConstants[] = {"0",    "1",   "2",     "3",      "4",   "0.5",
                                                "-2.5", "900", "1e300", "nodata", "_pi", "-9999"};
    const std::uint32_t IntKind = Pick(10);
    if (IntKind < 6) {
      return std::string(1, static_cast<char>('A' + Pick(4)));
    }
    if (IntKind < 9) {
      return kArrConstants[Pick(12)];
    }
    return std::string(1, static_cast<char>('A' + Pick(4))) + " ^ " + kArrConstants[Pick(5)];
  }

  std::mt19937 MbrRandom;
};

// What the expression gave before it ran on blocks: muparser's value cell by cell, its variables
// bound to the cell's values, with the no-data rules around it.
class TCellByCell {
 public:
  explicit TCellByCell(const TExpression& Expression) : MbrExpression(Expression) {
    tessgrid::detail::SetUpParser(MbrParser, Expression.Text(), Letters("ABCD"), MbrArrValues);
  }

  long Row(const TRows& ArrRows, double* PtrOut, long LngColumns, double DblNoData) {
    long LngLost = -1;
    for (long LngC = 0; LngC < LngColumns; ++LngC) {
      bool BlnNoData = false;
      bool BlnTestedNoData = false;
      for (std::size_t LngL = 0; LngL < kLngExpressionLetters; ++LngL) {
        if (!MbrExpression.Named()[LngL]) {
          continue;
        }
        double DblValue = ArrRows[LngL][LngC];
        if (DblValue == DblNoData || (std::isnan(DblNoData) && std::isnan(DblValue))) {
          BlnNoData = BlnNoData || !MbrExpression.Tested()[LngL];
          BlnTestedNoData = true;
          DblValue = kDblNaN;
        }
        MbrArrValues[LngL] = DblValue;
      }
      double DblResult = DblNoData;
      if (!BlnNoData) {
        DblResult = MbrParser.Eval();
        if (!std::isfinite(DblResult)) {
          DblResult = DblNoData;
        } else if (DblResult == DblNoData && !BlnTestedNoData && LngLost < 0) {
          LngLost = LngC;
        }
      }
      PtrOut[LngC] = DblResult;
    }
    return LngLost;
  }

 private:
  const TExpression& MbrExpression;
  mu::Parser MbrParser;
  std::array<double, kLngExpressionLetters> MbrArrValues{};
};

// Rows of A to D with every kind of cell the rules treat apart: no-data, zeros of both signs,
// halves, NaN and infinities as data, values whose results meet -9999, large and tiny values.
std::vector<std::vector<double>> Cells(long LngColumns, double DblNoData, std::uint32_t IntSeed) {
  static const double kArrSpecial[] = {0.0,   -0.0,  0.5,     -0.5,     2.5,   -2.5,    1.0, -1.0,
                                       900.0, 901.0, -9998.0, -10000.0, 1e308, -1e-310, 3.0, 1e-5};
  std::mt19937 Random(IntSeed);
  std::vector<std::vector<double>> VecRows(
      4, std::vector<double>(static_cast<std::size_t>(LngColumns)));
  for (std::vector<double>& VecRow : VecRows) {
    for (double& DblCell : VecRow) {
      const std::uint32_t IntKind = Random() % 20;
      if (IntKind < 2) {
        DblCell = DblNoData;
      } else if (IntKind == 2) {
        DblCell = Random() % 2 == 0 ? kDblNaN : (Random() % 2 == 0 ? kDblInf : -kDblInf);
      } else if (IntKind < 8) {
        DblCell = kArrSpecial[Random() % 16];
      } else {
        DblCell = (static_cast<double>(Random() % 2000001) - 1000000.0) / 997.0;
      }
    }
  }
  return VecRows;
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof DblA) == 0;
}

// Runs both evaluations over the cells; returns "" when every cell and the lost cell agree.
std::string Compare(const std::string& StgExpr, const std::vector<std::vector<double>>& VecRows,
                    double DblNoData) {
  std::unique_ptr<TExpression> PtrExpression;
  try {
    PtrExpression = std::make_unique<TExpression>(StgExpr, Letters("ABCD"));
  } catch (const TExpressionError&) {
    return "";  // both refuse it: muparser parses the text for both
  }
  const long LngColumns = static_cast<long>(VecRows[0].size());
  TRows ArrRows{};
  for (std::size_t LngL = 0; LngL < 4; ++LngL) {
    ArrRows[LngL] = VecRows[LngL].data();
  }
  std::vector<double> VecBlocks(static_cast<std::size_t>(LngColumns));
  std::vector<double> VecCells(static_cast<std::size_t>(LngColumns));
  const long LngBlocksLost =
      PtrExpression->NewEvaluator()->EvaluateRow(ArrRows, VecBlocks.data(), LngColumns, DblNoData);
  const long LngCellsLost =
      TCellByCell(*PtrExpression).Row(ArrRows, VecCells.data(), LngColumns, DblNoData);
  if (LngBlocksLost != LngCellsLost) {
    return StgExpr + ": lost cell " + std::to_string(LngBlocksLost) + " instead of " +
           std::to_string(LngCellsLost);
  }
  for (long LngC = 0; LngC < LngColumns; ++LngC) {
    const std::size_t LngI = static_cast<std::size_t>(LngC);
    if (!SameBits(VecBlocks[LngI], VecCells[LngI])) {
      return StgExpr + ": cell " + std::to_string(LngC) + " is " + std::to_string(VecBlocks[LngI]) +
             " instead of " + std::to_string(VecCells[LngI]);
    }
  }
  return "";
}

std::string Refusal(const std::string& StgExpr, const std::string& StgGiven = "ABCD") {
  try {
    TExpression Expression(StgExpr, Letters(StgGiven));
  } catch (const TExpressionError& Error) {
    return Error.what();
  }
  return "accepted";
}

}  // namespace

TEST(TExpressionTest, BlocksGiveWhatTheParserGivesCellByCellBitForBit) {
  // Rows longer than a block, so that every expression also crosses a block's edge.
  const std::vector<std::vector<double>> VecRows = Cells(2500, kDblNoData, 11);
  const std::vector<std::vector<double>> VecNaNRows = Cells(300, kDblNaN, 12);
  TExpressionMaker Maker(5);
  int IntCompared = 0;
  for (int IntCase = 0; IntCase < 600; ++IntCase) {
    const std::string StgExpr = Maker.Make(1 + IntCase % 5);
    const std::string StgFault = Compare(StgExpr, IntCase % 4 == 0 ? VecNaNRows : VecRows,
                                         IntCase % 4 == 0 ? kDblNaN : kDblNoData);
    EXPECT_EQ(StgFault, "");
    IntCompared += StgFault.empty() ? 1 : 0;
  }
  // The optimiser's patterns and the conditionals, written out.
  for (const char* PtrExpr : {"A + 1 + 2",
                              "A * 3 + A",
                              "2 * (3 * A + 1)",
                              "4 * A / 2",
                              "A * A",
                              "A ^ 2",
                              "A ^ 3",
                              "A ^ 4",
                              "A ^ 0",
                              "A ^ 1",
                              "A - A",
                              "A + A",
                              "-A",
                              "-(A)",
                              "+A",
                              "0.5 && A",
                              "1 ? A : B",
                              "0 ? A * B : B * C",
                              "nodata ? A : B",
                              "A > 900 ? (B > 1 ? 1 : 2) : 3",
                              "(A - B) * C / 100 + (A > 900 ? 1 : 0)",
                              "isnodata(A) ? B : A",
                              "isnodata(A)",
                              "min(A)",
                              "sum(A)",
                              "avg(A, B, C, D)",
                              "A",
                              "5",
                              "nodata",
                              "A - 10000 + 1"}) {
    EXPECT_EQ(Compare(PtrExpr, VecRows, kDblNoData), "");
    EXPECT_EQ(Compare(PtrExpr, VecNaNRows, kDblNaN), "");
  }
  EXPECT_GT(IntCompared, 500);  // most random texts parse
}

TEST(TExpressionTest, NoDataRulesFrameTheProgram) {
  const std::vector<double> VecA = {kDblNoData, 1.0, 2.0, 3.0, -9998.0};
  const std::vector<double> VecB = {10.0, kDblNoData, 20.0, 0.0, -1.0};
  const TRows ArrRows = {VecA.data(), VecB.data()};
  const auto Row = [&](const std::string& StgExpr, long* PtrLost = nullptr) {
    const TExpression Expression(StgExpr, Letters("AB"));
    std::vector<double> VecOut(VecA.size());
    const long LngLost =
        Expression.NewEvaluator()->EvaluateRow(ArrRows, VecOut.data(), 5, kDblNoData);
    if (PtrLost != nullptr) {
      *PtrLost = LngLost;
    }
    return VecOut;
  };
  // A named input's no-data spreads; a given one that is not named does not matter.
  EXPECT_EQ(Row("A + B"), (std::vector<double>{kDblNoData, kDblNoData, 22, 3, kDblNoData}));
  EXPECT_EQ(Row("A * 2"), (std::vector<double>{kDblNoData, 2, 4, 6, -19996}));
  // A tested input decides; an untested one still spreads its no-data.
  EXPECT_EQ(Row("isnodata(A) ? 5 : A"), (std::vector<double>{5, 1, 2, 3, -9998}));
  EXPECT_EQ(Row("isnodata(A) ? B : A"), (std::vector<double>{10, kDblNoData, 2, 3, -9998}));
  // Results that are not finite are no-data; a data result of -9999 is reported, not kept.
  EXPECT_EQ(Row("A / B"), (std::vector<double>{kDblNoData, kDblNoData, 0.1, kDblNoData, 9998}));
  long LngLost = 0;
  Row("A + B", &LngLost);
  EXPECT_EQ(LngLost, 4);
  Row("isnodata(A) ? -9999 : A", &LngLost);
  EXPECT_EQ(LngLost, -1);  // the tested no-data cell asked for it
}

TEST(TExpressionTest, EvaluateRowsGivesTheSameCellsAndLostCellOnEveryThreadCount) {
  const long LngRows = 203;
  const long LngColumns = 1100;
  std::vector<double> VecA(static_cast<std::size_t>(LngRows * LngColumns));
  for (std::size_t LngI = 0; LngI < VecA.size(); ++LngI) {
    VecA[LngI] = LngI % 13 == 0 ? kDblNoData : static_cast<double>(LngI % 1000) / 8.0;
  }
  VecA[150 * 1100 + 7] = -9998.0;  // two cells whose results are lost, the first in row order
  VecA[190 * 1100 + 3] = -9998.0;
  const TExpression Expression("A < -1 ? A - 1 : sqrt(A) * 2 + (A > 50 ? 1 : 0)", Letters("A"));
  std::vector<double> VecFirst;
  for (const long LngThreads : {1L, 2L, 3L, 7L}) {
    std::vector<double> VecOut(VecA.size());
    const tessgrid::detail::TLostCell Lost =
        tessgrid::detail::EvaluateRows(Expression, LngRows, LngColumns, kDblNoData, LngThreads,
                                       [&](long LngRow, TRows& ArrRows, double*& PtrOut) {
                                         ArrRows[0] = VecA.data() + LngRow * LngColumns;
                                         PtrOut = VecOut.data() + LngRow * LngColumns;
                                       });
    EXPECT_EQ(Lost.LngRow, 150) << LngThreads;
    EXPECT_EQ(Lost.LngColumn, 7) << LngThreads;
    if (VecFirst.empty()) {
      VecFirst = VecOut;
    }
    EXPECT_EQ(std::memcmp(VecOut.data(), VecFirst.data(), VecOut.size() * sizeof(double)), 0)
        << LngThreads;
  }
}

TEST(TExpressionTest, AssignmentsAndListsOfExpressionsAreRefused) {
  EXPECT_EQ(Refusal("A=5"),
            "unexpected assignment \"=\" (to compare, write \"==\") at column 2 in \"A=5\"");
  EXPECT_EQ(
      Refusal("B + (A = 5)"),
      "unexpected assignment \"=\" (to compare, write \"==\") at column 8 in \"B + (A = 5)\"");
  EXPECT_EQ(Refusal("A <= 1 ? (B = 2) : 3"),
            "unexpected assignment \"=\" (to compare, write \"==\") at column 13 in "
            "\"A <= 1 ? (B = 2) : 3\"");
  EXPECT_EQ(Refusal("min(A, B), C"),
            "unexpected \",\" outside a function's arguments (calc computes one expression) at "
            "column 10 in \"min(A, B), C\"");
  // muparser has no compound assignment; comparisons stay comparisons.
  EXPECT_EQ(Refusal("A += 5"), "unexpected operator \"=\" found at column 4 in \"A += 5\"");
  EXPECT_EQ(Refusal("A == 5 || B != 2 || A >= B || A <= B"), "accepted");
}

TEST(TExpressionTest, LongTextsAreQuotedAroundTheFault) {
  std::string StgLong;
  for (int IntTerm = 0; IntTerm < 20000; ++IntTerm) {
    StgLong += "A+";
  }
  EXPECT_EQ(Refusal(StgLong),
            "expression too long at column 1 in \"" + StgLong.substr(0, 30) + "...\"");
  std::string StgSum;
  for (int IntTerm = 0; IntTerm < 1000; ++IntTerm) {
    StgSum += "A + ";
  }
  // The fault at column 4001 is quoted with 30 characters either side.
  EXPECT_EQ(Refusal(StgSum + ")"),
            "unexpected parenthesis \")\" at column 4001 in \"..." + StgSum.substr(3970) + ")\"");
  EXPECT_EQ(Refusal(StgSum + "Q", "AB"),
            "names Q, which has no input grid in \"..." + StgSum.substr(3970) + "Q\"");
  EXPECT_EQ(Refusal(StgSum.substr(0, 100) + "foo + " + StgSum.substr(0, 100) + "A"),
            "unexpected token \"foo\" found at column 101 in \"..." + StgSum.substr(70, 30) +
                "foo + " + StgSum.substr(0, 24) + "...\"");
  // A token muparser quotes is cut too, and never inside a character.
  const std::string StgName = "x" + std::string(200, 'y');
  EXPECT_EQ(Refusal(StgName), "unexpected token \"x" + std::string(29, 'y') +
                                  "...\" found at column 1 in \"x" + std::string(29, 'y') +
                                  "...\"");
  // A token of a two-byte character and 40 three-byte ones: both cuts fall inside a character
  // and move to its start (the token's) or its end (the text's).
  std::string StgWide = "A + \xC3\xA9";
  for (int IntChar = 0; IntChar < 40; ++IntChar) {
    StgWide += "\xE2\x82\xAC";
  }
  EXPECT_EQ(Refusal(StgWide), "unexpected token \"" + StgWide.substr(4, 29) +
                                  "...\" found at column 5 in \"" + StgWide.substr(0, 36) +
                                  "...\"");
  // Short texts are quoted whole, as before.
  EXPECT_EQ(Refusal("A + )"), "unexpected parenthesis \")\" at column 5 in \"A + )\"");
}

#else

TEST(TExpressionTest, BlocksGiveWhatTheParserGivesCellByCellBitForBit) {
  GTEST_SKIP() << "expressions are not built (muparser was not found)";
}

#endif  // TESSGRID_WITH_CALC
