// tests/engine/MemoryRunTest.cpp - the series operations over grids in memory, as the Python
// module runs them: each input's declared no-data read as no-data, the caller's cells left as they
// are, the result declaring its value, on 1 and 3 threads; the failures in the library's order.
#include "engine/MemoryRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/SeriesOperation.h"
#include "tests/support/ExpectMessage.h"

namespace {

using tessgrid::detail::RunInMemory;
using tessgrid::detail::TInputGrid;
using tessgrid::detail::TMemoryInput;
using tessgrid::detail::TSeriesCellRule;
using tessgrid::detail::TSeriesOptions;
using tessgrid::detail::TSeriesRule;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

// Rows and columns of the grids below: more columns than a stretch of the kernels.
constexpr long kLngRows = 5;
constexpr long kLngColumns = 700;

TInputGrid GridOf(const std::string& StgName, double DblNoData, long LngColumns = kLngColumns) {
  TInputGrid Grid;
  Grid.StgName = StgName;
  Grid.LngColumns = LngColumns;
  Grid.LngRows = kLngRows;
  Grid.DblCellSize = 1.0;
  Grid.DblNoData = DblNoData;
  return Grid;
}

// Cells i + input, every third cell of input k (shifted by k) its declared no-data value.
std::vector<double> CellsOf(std::size_t LngInput, double DblNoData) {
  std::vector<double> VecCells(kLngRows * kLngColumns);
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    VecCells[LngI] = (LngI + LngInput) % 3 == 0 ? DblNoData : static_cast<double>(LngI + LngInput);
  }
  return VecCells;
}

std::vector<double> RunSeries(const TSeriesOptions& Options,
                              const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                              double DblNoData) {
  std::vector<double> VecOut(kLngRows * kLngColumns);
  TSeriesCellRule Rule(Options, VecInputs.size());
  RunInMemory(Rule, VecInputs, LngThreads, VecOut.data(), DblNoData, "result");
  return VecOut;
}

}  // namespace

TEST(MemoryRunTest, SeriesReadsEachInputsDeclaredNoDataAndWritesTheResultsValue) {
  const std::vector<double> VecNoData{-9999.0, kDblNaN, -1.0};
  std::vector<std::vector<double>> VecCells;
  std::vector<TMemoryInput> VecInputs;
  for (std::size_t LngI = 0; LngI < VecNoData.size(); ++LngI) {
    VecCells.push_back(CellsOf(LngI, VecNoData[LngI]));
  }
  for (std::size_t LngI = 0; LngI < VecNoData.size(); ++LngI) {
    VecInputs.push_back(
        {GridOf("grids[" + std::to_string(LngI) + "]", VecNoData[LngI]), VecCells[LngI].data()});
  }
  const std::vector<std::vector<double>> VecBefore = VecCells;
  for (const long LngThreads : {1L, 3L}) {
    // Cell i has data in the two inputs other than the one with (i + k) % 3 == 0.
    const std::vector<double> VecSum =
        RunSeries({TSeriesRule::kSum, 2}, VecInputs, LngThreads, kDblNaN);
    const std::vector<double> VecAll =
        RunSeries({TSeriesRule::kMaximum, 0}, VecInputs, LngThreads, -5.0);
    const std::vector<double> VecThree =
        RunSeries({TSeriesRule::kMinimum, 3}, VecInputs, LngThreads, -5.0);
    for (std::size_t LngI = 0; LngI < VecSum.size(); ++LngI) {
      double DblExpected = 0.0;
      for (std::size_t LngK = 0; LngK < 3; ++LngK) {
        DblExpected += (LngI + LngK) % 3 == 0 ? 0.0 : static_cast<double>(LngI + LngK);
      }
      ASSERT_EQ(VecSum[LngI], DblExpected) << "cell " << LngI << ", " << LngThreads << " threads";
      ASSERT_EQ(VecAll[LngI], -5.0) << "cell " << LngI;
      ASSERT_EQ(VecThree[LngI], -5.0) << "cell " << LngI;
    }
  }
  EXPECT_EQ(VecCells[0], VecBefore[0]);
  EXPECT_EQ(VecCells[2], VecBefore[2]);
  for (std::size_t LngI = 0; LngI < VecCells[1].size(); ++LngI) {
    ASSERT_TRUE(VecCells[1][LngI] == VecBefore[1][LngI] ||
                (std::isnan(VecCells[1][LngI]) && std::isnan(VecBefore[1][LngI])));
  }
}

TEST(MemoryRunTest, FailuresComeAsTheLibraryPathMeetsThem) {
  std::vector<double> VecA(kLngRows * kLngColumns, 1.0);
  std::vector<double> VecB(kLngRows * kLngColumns, 2.0);
  const TSeriesOptions Sum{TSeriesRule::kSum, 1};
  // A result of -9999 from data; later, in row 3, a -9999 data cell of a grid that declares NaN,
  // which comes first, as the library loads every input before it combines them.
  VecA[5] = -5000.0;
  VecB[5] = -4999.0;
  EXPECT_STRING_MESSAGE(
      RunSeries(Sum, {{GridOf("a", -9999.0), VecA.data()}, {GridOf("b", -9999.0), VecB.data()}}, 2,
                -9999.0),
      "the result at row 0, column 5 comes to -9999, which the library's operations take for "
      "no-data; tessgrid-tool cannot keep it as data");
  VecB[3 * kLngColumns + 7] = -9999.0;
  for (const long LngThreads : {1L, 3L}) {
    EXPECT_STRING_MESSAGE(
        RunSeries(Sum, {{GridOf("a", -9999.0), VecA.data()}, {GridOf("b", kDblNaN), VecB.data()}},
                  LngThreads, -9999.0),
        "b: the cell at row 3, column 7 holds -9999, a data value in this grid (NODATA_value "
        "nan), which tessgrid-tool cannot tell from no-data");
  }
  // Grids the comparison refuses: the held cell still first, else the comparison's failure.
  const std::vector<TMemoryInput> VecUnaligned{{GridOf("b", kDblNaN), VecB.data()},
                                               {GridOf("a", -9999.0, 600), VecA.data()}};
  EXPECT_STRING_MESSAGE(RunSeries(Sum, VecUnaligned, 1, -9999.0),
                        "b: the cell at row 3, column 7 holds -9999, a data value in this grid "
                        "(NODATA_value nan), which tessgrid-tool cannot tell from no-data");
  VecB[3 * kLngColumns + 7] = 2.0;
  EXPECT_STRING_MESSAGE(RunSeries(Sum, VecUnaligned, 1, -9999.0),
                        "grids are not aligned: b and a differ in ncols (700 vs 600)");
  // A data result equal to the value the result declares.
  VecA[5] = 1.0;
  VecB[5] = 2.0;
  EXPECT_STRING_MESSAGE(
      RunSeries(Sum, {{GridOf("a", -9999.0), VecA.data()}, {GridOf("b", -9999.0), VecB.data()}}, 2,
                3.0),
      "result: the result holds 3 at row 0, column 0, a data value equal to the NODATA_value it "
      "declares; choose another with --nodata");
}
