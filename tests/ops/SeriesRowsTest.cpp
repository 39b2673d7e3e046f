// tests/ops/SeriesRowsTest.cpp - the series rules a row at a time: the no-data rule of the sum
// (the first no-data input in list order), additions in list order, the count, the average's
// own no-data value, minimum and maximum, over rows longer than one stretch of columns; the same
// rules over the inputs that have data.
#include "ops/SeriesRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using tessgrid::detail::PresentSeriesRow;
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

// The rule over the present cells of one column, written as its definition reads: the cells with
// data in list order, then their sum, mean, least or greatest value (the first NaN where one is),
// no-data below the count needed.
double PresentReference(TSeriesRule Rule, const std::vector<double>& VecCells,
                        const std::vector<double>& VecNoData, std::size_t LngNeeded) {
  std::vector<double> VecPresent;
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    if (VecCells[LngI] != VecNoData[LngI]) {
      VecPresent.push_back(VecCells[LngI]);
    }
  }
  if (VecPresent.empty() || VecPresent.size() < LngNeeded) {
    return -9999.0;
  }
  double DblValue = VecPresent[0];
  for (std::size_t LngI = 1; LngI < VecPresent.size(); ++LngI) {
    const double DblCell = VecPresent[LngI];
    if (Rule == TSeriesRule::kSum || Rule == TSeriesRule::kAverage) {
      DblValue = DblValue + DblCell;
    } else if (std::isnan(DblValue)) {
      continue;
    } else if (std::isnan(DblCell) ||
               (Rule == TSeriesRule::kMinimum ? DblCell < DblValue : DblCell > DblValue)) {
      DblValue = DblCell;
    }
  }
  return Rule == TSeriesRule::kAverage ? DblValue / static_cast<double>(VecPresent.size())
                                       : DblValue;
}

TEST(SeriesRowsTest, PresentRulesTakeTheInputsWithDataAndNoDataBelowTheCountNeeded) {
  std::mt19937 Random(5);
  const std::vector<double> VecNoData{-9999.0, -1.0, -9999.0, 0.0, -9999.0};
  const std::vector<double> VecValues{-1.0, 0.0, 2.5, -7.25, 1e16, -1e16, 3.0, kDblNaN, -0.0};
  std::vector<std::vector<double>> VecRows(VecNoData.size(), std::vector<double>(kLngColumns));
  std::vector<const double*> VecPointers;
  for (std::size_t LngI = 0; LngI < VecRows.size(); ++LngI) {
    for (double& DblCell : VecRows[LngI]) {
      // About a third of the cells are no-data; the no-data value of another input is data.
      DblCell = std::uniform_int_distribution<int>(0, 2)(Random) == 0
                    ? VecNoData[LngI]
                    : VecValues[std::uniform_int_distribution<std::size_t>(
                          0, VecValues.size() - 1)(Random)];
    }
    VecPointers.push_back(VecRows[LngI].data());
  }
  for (const TSeriesRule Rule :
       {TSeriesRule::kSum, TSeriesRule::kAverage, TSeriesRule::kMinimum, TSeriesRule::kMaximum}) {
    for (const std::size_t LngMinCount : {1, 2, 5}) {
      std::vector<double> VecResult(kLngColumns);
      const long LngLost =
          PresentSeriesRow(Rule, VecPointers.data(), VecNoData.data(), VecPointers.size(),
                           kLngColumns, LngMinCount, -9999.0, VecResult.data());
      EXPECT_EQ(LngLost, -1);
      for (std::size_t LngK = 0; LngK < kLngColumns; ++LngK) {
        std::vector<double> VecCells;
        for (const std::vector<double>& VecRow : VecRows) {
          VecCells.push_back(VecRow[LngK]);
        }
        const double DblExpected = PresentReference(Rule, VecCells, VecNoData, LngMinCount);
        ASSERT_TRUE(SameBits(VecResult[LngK], DblExpected) ||
                    (std::isnan(DblExpected) && std::isnan(VecResult[LngK])))
            << "rule " << static_cast<int>(Rule) << ", min count " << LngMinCount << ", column "
            << LngK << ": " << VecResult[LngK] << " for " << DblExpected;
      }
    }
  }
  // The first cell whose data came to the no-data value, here in the second stretch.
  std::vector<std::vector<double>> VecLost = RowsWith({-5000.0, -4999.0, -9999.0});
  VecLost[0][300] = -9999.0;
  VecLost[1][300] = -9999.0;
  VecLost[2][300] = -9999.0;
  VecLost[0][590] = -10000.0;
  VecLost[1][590] = 1.0;
  const std::vector<const double*> VecLostRows{VecLost[0].data(), VecLost[1].data(),
                                               VecLost[2].data()};
  std::vector<double> VecResult(kLngColumns);
  EXPECT_EQ(PresentSeriesRow(TSeriesRule::kSum, VecLostRows.data(),
                             std::vector<double>(3, -9999.0).data(), 3, kLngColumns, 1, -9999.0,
                             VecResult.data()),
            517);
  EXPECT_EQ(VecResult[300], -9999.0);
  // The count takes no count needed and loses nothing.
  EXPECT_EQ(PresentSeriesRow(TSeriesRule::kCount, VecLostRows.data(),
                             std::vector<double>(3, -9999.0).data(), 3, kLngColumns, 3, -9999.0,
                             VecResult.data()),
            -1);
  EXPECT_EQ(VecResult[517], 2.0);
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
