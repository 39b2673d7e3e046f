// tests/ops/SeriesRowsTest.cpp - the series rules a row at a time: the no-data rule of the sum
// (the first no-data input in list order), additions in list order, the count, the average's
// own no-data value, minimum and maximum, over rows longer than one stretch of columns.
#include "ops/SeriesRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using tessgrid::detail::SeriesRow;
using tessgrid::detail::TSeriesRule;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

// Columns in the rows below: more than two stretches, so that every rule crosses their joins.
constexpr std::size_t kLngColumns = 600;

// Rows of kLngColumns cells, input i holding VecCells[i] in column 517 and its index elsewhere.
std::vector<std::vector<double>> RowsWith(const std::vector<double>& VecCells) {
  std::vector<std::vector<double>> VecRows;
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    VecRows.emplace_back(kLngColumns, static_cast<double>(LngI + 1));
    VecRows.back()[517] = VecCells[LngI];
  }
  return VecRows;
}

// The rule over the rows, and cell 517 of the result.
double Cell517(TSeriesRule Rule, const std::vector<std::vector<double>>& VecRows,
               const std::vector<double>& VecNoData, std::vector<double>* PtrAll = nullptr) {
  std::vector<const double*> VecPointers;
  for (const std::vector<double>& VecRow : VecRows) {
    VecPointers.push_back(VecRow.data());
  }
  std::vector<double> VecResult(kLngColumns);
  SeriesRow(Rule, VecPointers.data(), VecNoData.data(), VecPointers.size(), kLngColumns,
            VecResult.data());
  if (PtrAll != nullptr) {
    *PtrAll = VecResult;
  }
  return VecResult[517];
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof DblA) == 0;
}

TEST(SeriesRowsTest, SumAddsInListOrderAndTakesTheFirstNoDataInput) {
  const std::vector<double> VecNoData{-1.0, -2.0, -9999.0};
  std::vector<double> VecAll;
  // (1e16 + 1) - 1e16 is 0 in doubles; any other order gives 1.
  EXPECT_EQ(Cell517(TSeriesRule::kSum, RowsWith({1e16, 1.0, -1e16}), VecNoData, &VecAll), 0.0);
  for (std::size_t LngK = 0; LngK < kLngColumns; ++LngK) {
    if (LngK != 517) {
      ASSERT_EQ(VecAll[LngK], 6.0) << "column " << LngK;
    }
  }
  EXPECT_EQ(Cell517(TSeriesRule::kSum, RowsWith({5.0, -2.0, -9999.0}), VecNoData), -2.0);
  EXPECT_EQ(Cell517(TSeriesRule::kSum, RowsWith({-1.0, -2.0, 3.0}), VecNoData), -1.0);
  // A no-data value of another input is data here.
  EXPECT_EQ(Cell517(TSeriesRule::kSum, RowsWith({-2.0, -1.0, 3.0}), VecNoData), 0.0);
  EXPECT_TRUE(std::isnan(Cell517(TSeriesRule::kSum, RowsWith({1.0, kDblNaN, 3.0}), VecNoData)));
  // A NaN no-data value marks no cell.
  EXPECT_TRUE(std::isnan(
      Cell517(TSeriesRule::kSum, RowsWith({kDblNaN, 2.0}), std::vector<double>{kDblNaN, -1.0})));
  EXPECT_EQ(Cell517(TSeriesRule::kSum, RowsWith({7.0}), std::vector<double>{-9999.0}), 7.0);
}

TEST(SeriesRowsTest, CountIsTheInputsWithDataAtTheCell) {
  const std::vector<double> VecNoData{-1.0, -2.0, -9999.0};
  std::vector<double> VecAll;
  EXPECT_EQ(Cell517(TSeriesRule::kCount, RowsWith({-1.0, -1.0, -9999.0}), VecNoData, &VecAll), 1.0);
  EXPECT_EQ(VecAll[0], 3.0);
  EXPECT_EQ(Cell517(TSeriesRule::kCount, RowsWith({-1.0, -2.0, -9999.0}), VecNoData), 0.0);
  EXPECT_EQ(Cell517(TSeriesRule::kCount, RowsWith({kDblNaN, 0.0, 1.0}), VecNoData), 3.0);
}

TEST(SeriesRowsTest, AverageDividesTheSumByTheDataCountAndKeepsASumOfMinus9999) {
  EXPECT_EQ(Cell517(TSeriesRule::kAverage, RowsWith({1.0, 2.0, 6.0}), {-9999.0, -9999.0, -9999.0}),
            3.0);
  EXPECT_EQ(
      Cell517(TSeriesRule::kAverage, RowsWith({1.0, -9999.0, 6.0}), {-9999.0, -9999.0, -9999.0}),
      -9999.0);
  // Another no-data value goes through the sum and is divided by the count of data cells.
  EXPECT_EQ(Cell517(TSeriesRule::kAverage, RowsWith({4.0, -1.0, 6.0}), {-9999.0, -1.0, -9999.0}),
            -0.5);
  // Data cells that sum to -9999 are taken for the sum's no-data and not divided.
  EXPECT_EQ(Cell517(TSeriesRule::kAverage, RowsWith({-5000.0, -4999.0}), {-1.0, -1.0}), -9999.0);
  // No data anywhere: the first no-data value over a count of 0.
  EXPECT_TRUE(std::isnan(
      Cell517(TSeriesRule::kAverage, RowsWith({0.0, 5.0}), std::vector<double>{0.0, 5.0})));
  EXPECT_EQ(Cell517(TSeriesRule::kAverage, RowsWith({3.0, 5.0}), {3.0, 5.0}),
            std::numeric_limits<double>::infinity());
}

TEST(SeriesRowsTest, MinimumAndMaximumTakeTheSumsNoDataRuleAndTheFirstOfEqualsOrNaNs) {
  const std::vector<double> VecNoData{-9999.0, -1.0, -9999.0};
  std::vector<double> VecAll;
  EXPECT_EQ(Cell517(TSeriesRule::kMinimum, RowsWith({4.0, -3.0, 9.0}), VecNoData, &VecAll), -3.0);
  EXPECT_EQ(VecAll[0], 1.0);
  EXPECT_EQ(Cell517(TSeriesRule::kMaximum, RowsWith({4.0, -3.0, 9.0}), VecNoData, &VecAll), 9.0);
  EXPECT_EQ(VecAll[0], 3.0);
  for (const TSeriesRule Rule : {TSeriesRule::kMinimum, TSeriesRule::kMaximum}) {
    EXPECT_EQ(Cell517(Rule, RowsWith({4.0, -1.0, -9999.0}), VecNoData), -1.0);
    EXPECT_EQ(Cell517(Rule, RowsWith({-9999.0, -1.0, 2.0}), VecNoData), -9999.0);
    EXPECT_TRUE(SameBits(Cell517(Rule, RowsWith({0.0, -0.0, 0.0}), VecNoData), 0.0));
    EXPECT_TRUE(SameBits(Cell517(Rule, RowsWith({-0.0, 0.0, 0.0}), VecNoData), -0.0));
    // The first NaN, whatever comes after it; a payload shows which one it is.
    double DblFirst = kDblNaN;
    double DblSecond = kDblNaN;
    std::uint64_t LngBits = 0;
    std::memcpy(&LngBits, &DblSecond, sizeof LngBits);
    LngBits |= 1;
    std::memcpy(&DblSecond, &LngBits, sizeof LngBits);
    EXPECT_TRUE(SameBits(Cell517(Rule, RowsWith({2.0, DblFirst, DblSecond}), VecNoData), DblFirst));
    EXPECT_TRUE(
        SameBits(Cell517(Rule, RowsWith({DblSecond, -5.0, DblFirst}), VecNoData), DblSecond));
  }
}

TEST(SeriesRowsTest, ResultMayBeAnInputRow) {
  std::vector<std::vector<double>> VecRows = RowsWith({1.0, 2.0, 3.0});
  const std::vector<const double*> VecPointers{VecRows[0].data(), VecRows[1].data(),
                                               VecRows[2].data()};
  const std::vector<double> VecNoData(3, -9999.0);
  SeriesRow(TSeriesRule::kSum, VecPointers.data(), VecNoData.data(), 3, kLngColumns,
            VecRows[1].data());
  EXPECT_EQ(VecRows[1][517], 6.0);
  EXPECT_EQ(VecRows[1][kLngColumns - 1], 6.0);
}

}  // namespace
