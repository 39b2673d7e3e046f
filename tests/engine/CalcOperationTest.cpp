// tests/engine/CalcOperationTest.cpp - calc as every face runs it: over grids in memory, float32
// cells widened a window at a time and a float32 result rounded as it is written, and over loaded
// maps; each input's declared no-data, and the failures in the library's order.
#include "engine/CalcOperation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/MemoryRows.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

namespace {

using tessgrid::detail::CalcInMemory;
using tessgrid::detail::CalcOfMaps;
using tessgrid::detail::TExpression;
using tessgrid::detail::TFloat32RowSink;
using tessgrid::detail::TInputGrid;
using tessgrid::detail::TLetterSet;
using tessgrid::detail::TMemoryInput;
using tessgrid::detail::TMemoryRowSink;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

// More rows than a window of float32 rows, more columns than a block of the program.
constexpr long kLngRows = 40;
constexpr long kLngColumns = 1100;
constexpr std::size_t kLngCells = kLngRows * kLngColumns;

TLetterSet Letters(const std::string& StgLetters) {
  TLetterSet ArrGiven{};
  for (const char ChrLetter : StgLetters) {
    ArrGiven[static_cast<std::size_t>(ChrLetter - 'A')] = true;
  }
  return ArrGiven;
}

TMemoryInput InputOf(const std::string& StgName, double DblNoData, const double* PtrCells,
                     const float* PtrCells32 = nullptr, long LngColumns = kLngColumns) {
  TMemoryInput Input;
  Input.Grid.StgName = StgName;
  Input.Grid.LngColumns = LngColumns;
  Input.Grid.LngRows = kLngRows;
  Input.Grid.DblCellSize = 1.0;
  Input.Grid.DblNoData = DblNoData;
  Input.PtrFirst = PtrCells;
  Input.PtrFirst32 = PtrCells32;
  return Input;
}

std::vector<double> CalcToDoubles(const std::string& StgExpr, const std::string& StgLetters,
                                  const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                                  double DblNoData) {
  const TExpression Expression(StgExpr, Letters(StgLetters));
  std::vector<double> VecOut(kLngCells, 12345.0);
  TMemoryRowSink Sink(VecOut.data(), kLngColumns);
  CalcInMemory(Expression, Letters(StgLetters), VecInputs, LngThreads, Sink, DblNoData, "result");
  return VecOut;
}

bool SameCell(double DblA, double DblB) {
  return DblA == DblB || (std::isnan(DblA) && std::isnan(DblB));
}

}  // namespace

TEST(CalcOperationTest, InMemoryReadsEachInputsNoDataAndWidensFloat32CellsExactly) {
  // A in float64 declaring -1, B in float32 declaring NaN, given to the letters A and C: the
  // expression pairs the first given grid with A and the second with C.
  std::vector<double> VecA(kLngCells);
  std::vector<float> VecB(kLngCells);
  for (std::size_t LngI = 0; LngI < kLngCells; ++LngI) {
    VecA[LngI] = LngI % 7 == 0 ? -1.0 : 0.1 * static_cast<double>(LngI);
    VecB[LngI] = LngI % 5 == 0 ? std::numeric_limits<float>::quiet_NaN()
                               : 1.0f / static_cast<float>(LngI + 3);
  }
  const std::vector<double> VecB64(VecB.begin(), VecB.end());
  for (const long LngThreads : {1L, 3L}) {
    const std::vector<double> VecOut = CalcToDoubles(
        "A * C + (isnodata(C) ? 100 : 0)", "AC",
        {InputOf("a", -1.0, VecA.data()), InputOf("b", kDblNaN, nullptr, VecB.data())}, LngThreads,
        -7.0);
    for (std::size_t LngI = 0; LngI < kLngCells; ++LngI) {
      const double DblB = static_cast<double>(VecB[LngI]);
      const double DblExpected = LngI % 7 == 0   ? -7.0
                                 : LngI % 5 == 0 ? kDblNaN
                                                 : VecA[LngI] * DblB + 0.0;
      // A no-data C makes A * nodata not finite: no-data, declared -7.
      ASSERT_TRUE(SameCell(VecOut[LngI], std::isnan(DblExpected) ? -7.0 : DblExpected))
          << "cell " << LngI << ", " << LngThreads << " threads";
    }
    // The float32 cells give what their exact float64 copy gives, bit for bit.
    EXPECT_EQ(VecOut,
              CalcToDoubles("A * C + (isnodata(C) ? 100 : 0)", "AC",
                            {InputOf("a", -1.0, VecA.data()), InputOf("b", kDblNaN, VecB64.data())},
                            LngThreads, -7.0));
  }
}

TEST(CalcOperationTest, Float32ResultRoundsEachCellOnceAndKeepsTheFirstCellItCannotHold) {
  std::vector<float> VecA(kLngCells);
  std::vector<double> VecB(kLngCells);
  for (std::size_t LngI = 0; LngI < kLngCells; ++LngI) {
    VecA[LngI] = static_cast<float>(LngI) / 3.0f;
    VecB[LngI] = LngI % 11 == 0 ? -9999.0 : 1.0 / (static_cast<double>(LngI) + 0.5);
  }
  const TExpression Expression("(A + B) * A / 2", Letters("AB"));
  for (const long LngThreads : {1L, 2L}) {
    std::vector<float> VecOut(kLngCells);
    TFloat32RowSink Sink(VecOut.data(), kLngColumns, kDblNaN);
    CalcInMemory(Expression, Letters("AB"),
                 {InputOf("a", -9999.0, nullptr, VecA.data()), InputOf("b", -9999.0, VecB.data())},
                 LngThreads, Sink, kDblNaN, "result");
    EXPECT_EQ(Sink.RefusedRow(), -1);
    for (std::size_t LngI = 0; LngI < kLngCells; ++LngI) {
      const double DblA = VecA[LngI];
      const float FltExpected = LngI % 11 == 0
                                    ? std::numeric_limits<float>::quiet_NaN()
                                    : static_cast<float>((DblA + VecB[LngI]) * DblA / 2.0);
      ASSERT_TRUE(VecOut[LngI] == FltExpected || (std::isnan(VecOut[LngI]) && LngI % 11 == 0))
          << "cell " << LngI;
    }
  }
  // Row 2 holds a cell beyond float32's range, row 3 one that rounds to the declared -5; the
  // first is kept. A lost cell is the run's own failure and comes before either.
  std::vector<double> VecC(kLngCells, 1.0);
  VecC[2 * kLngColumns + 9] = 1e39;
  VecC[3 * kLngColumns + 1] = -4.9999999;
  std::vector<float> VecOut(kLngCells);
  TFloat32RowSink Sink(VecOut.data(), kLngColumns, -5.0);
  CalcInMemory(TExpression("C", Letters("C")), Letters("C"), {InputOf("c", -9999.0, VecC.data())},
               2, Sink, -5.0, "result");
  EXPECT_EQ(Sink.RefusedRow(), 2);
  EXPECT_EQ(Sink.RefusedColumn(), 9);
  EXPECT_EQ(Sink.RefusedValue(), 1e39);
  VecC[2 * kLngColumns + 9] = 1.0;
  TFloat32RowSink Later(VecOut.data(), kLngColumns, -5.0);
  CalcInMemory(TExpression("C", Letters("C")), Letters("C"), {InputOf("c", -9999.0, VecC.data())},
               2, Later, -5.0, "result");
  EXPECT_EQ(Later.RefusedRow(), 3);
  EXPECT_EQ(Later.RefusedColumn(), 1);
  VecC[30 * kLngColumns + 4] = -9998.0;
  TFloat32RowSink Lost(VecOut.data(), kLngColumns, -5.0);
  EXPECT_STRING_MESSAGE(
      CalcInMemory(TExpression("C - 1", Letters("C")), Letters("C"),
                   {InputOf("c", -9999.0, VecC.data())}, 2, Lost, -5.0, "result"),
      "the result at row 30, column 4 comes to -9999, which the library's operations take for "
      "no-data; tessgrid-tool cannot keep it as data");
}

TEST(CalcOperationTest, FailuresComeAsTheLibraryPathMeetsThem) {
  std::vector<double> VecA(kLngCells, 1.0);
  std::vector<float> VecB(kLngCells, 2.0f);
  // A float32 grid declaring NaN holds -9999 as data in row 6; the other grid is refused by
  // the comparison, which comes after: the library takes every input in before it compares.
  VecB[6 * kLngColumns + 2] = -9999.0f;
  EXPECT_STRING_MESSAGE(
      CalcToDoubles("A + B", "AB",
                    {InputOf("b", kDblNaN, nullptr, VecB.data()),
                     InputOf("a", -9999.0, VecA.data(), nullptr, 900)},
                    1, -9999.0),
      "b: the cell at row 6, column 2 holds -9999, a data value in this grid (NODATA_value nan), "
      "which tessgrid-tool cannot tell from no-data");
  VecB[6 * kLngColumns + 2] = 2.0f;
  EXPECT_STRING_MESSAGE(CalcToDoubles("A + B", "AB",
                                      {InputOf("b", kDblNaN, nullptr, VecB.data()),
                                       InputOf("a", -9999.0, VecA.data(), nullptr, 900)},
                                      1, -9999.0),
                        "grids are not aligned: b and a differ in ncols (1100 vs 900)");
  EXPECT_STRING_MESSAGE(
      CalcToDoubles(
          "A + B", "AB",
          {InputOf("a", -9999.0, VecA.data()), InputOf("b", kDblNaN, nullptr, VecB.data())}, 2,
          3.0),
      "result: the result holds 3 at row 0, column 0, a data value equal to the NODATA_value it "
      "declares; choose another with --nodata");
}

TEST(CalcOperationTest, LoadedMapsPairByColumnAndRowAndFailOnSizeThenLostCells) {
  using tessgrid_test::MakeMap;
  const std::unique_ptr<TMap> PtrA = MakeMap(0.0, 0.0, 1.0, {{1.0, 2.0, -9999.0}, {4.0, 5.0, 6.0}});
  // B lies elsewhere but has the same size: calc still pairs its cells by index.
  const std::unique_ptr<TMap> PtrB =
      MakeMap(500.0, 500.0, 1.0, {{10.0, 20.0, 30.0}, {40.0, -10003.0, 60.0}});
  const TExpression Expression("B + A * 2", Letters("AB"));
  const std::unique_ptr<TMap> PtrResult =
      CalcOfMaps(Expression, Letters("AB"), {PtrA.get(), PtrB.get()}, {"a", "b"}, 2);
  const std::vector<std::vector<double>> VecExpected{{12.0, 24.0, -9999.0}, {48.0, -9993.0, 72.0}};
  EXPECT_EQ(PtrResult->MbrVecValues, VecExpected);
  EXPECT_EQ(PtrResult->MbrLngXDim, 3);
  const std::unique_ptr<TMap> PtrWide =
      MakeMap(0.0, 0.0, 1.0, {{1.0, 2.0, 3.0, 4.0}, {1.0, 2.0, 3.0, 4.0}});
  EXPECT_STRING_MESSAGE(
      CalcOfMaps(Expression, Letters("AB"), {PtrA.get(), PtrWide.get()}, {"a", "w"}, 1),
      "grids are not the same size: a and w differ in ncols (3 vs 4)");
  const std::unique_ptr<TMap> PtrLow =
      MakeMap(0.0, 0.0, 1.0, {{1.0, 2.0, 3.0}, {4.0, -10009.0, 6.0}});
  EXPECT_STRING_MESSAGE(
      CalcOfMaps(Expression, Letters("AB"), {PtrA.get(), PtrLow.get()}, {"a", "l"}, 2),
      "the result at row 1, column 1 comes to -9999, which the library's operations take for "
      "no-data; tessgrid-tool cannot keep it as data");
}
