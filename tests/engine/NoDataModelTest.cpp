// tests/engine/NoDataModelTest.cpp - the no-data model's row rules as every face's results take
// them: no-data and cells that are not finite become the declared value, a data cell equal to it
// stops the row.
#include "engine/NoDataModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using tessgrid::detail::DeclaredNoDataRow;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();
const double kDblInf = std::numeric_limits<double>::infinity();

// A row longer than a vector stretch: data, -9999, NaN and both infinities, again and again.
std::vector<double> MixedRow(std::size_t LngColumns) {
  std::vector<double> VecRow(LngColumns);
  for (std::size_t LngI = 0; LngI < LngColumns; ++LngI) {
    const double kArrCycle[] = {1.5, -9999.0, kDblNaN, kDblInf, -kDblInf, -0.0};
    VecRow[LngI] = kArrCycle[LngI % 6];
  }
  return VecRow;
}

bool Same(double DblA, double DblB) {
  return (std::isnan(DblA) && std::isnan(DblB)) ||
         (DblA == DblB && std::signbit(DblA) == std::signbit(DblB));
}

}  // namespace

TEST(NoDataModelTest, DeclaredNoDataRowTurnsNoDataIntoTheValueUpToADataCellEqualToIt) {
  for (const double DblNoData : {-9999.0, kDblNaN, kDblInf, 7.0, -0.5}) {
    std::vector<double> VecRow = MixedRow(1001);
    EXPECT_EQ(DeclaredNoDataRow(VecRow.data(), VecRow.size(), DblNoData), -1);
    for (std::size_t LngI = 0; LngI < VecRow.size(); ++LngI) {
      const double DblExpected = LngI % 6 == 0 ? 1.5 : LngI % 6 == 5 ? -0.0 : DblNoData;
      ASSERT_TRUE(Same(VecRow[LngI], DblExpected)) << "cell " << LngI << ", value " << DblNoData;
    }
  }
  // A data cell equal to the value stops the row there: the cells before it take the value, it
  // and the cells after it stay as they were.
  std::vector<double> VecRow = MixedRow(1001);
  VecRow[700] = 7.0;
  const std::vector<double> VecBefore = VecRow;
  EXPECT_EQ(DeclaredNoDataRow(VecRow.data(), VecRow.size(), 7.0), 700);
  for (std::size_t LngI = 0; LngI < VecRow.size(); ++LngI) {
    const bool BlnTaken = LngI < 700 && LngI % 6 != 0 && LngI % 6 != 5;
    ASSERT_TRUE(Same(VecRow[LngI], BlnTaken ? 7.0 : VecBefore[LngI])) << "cell " << LngI;
  }
  // -0 is the data value 0, which a declared 0 cannot tell apart.
  std::vector<double> VecZero{-9999.0, -0.0, 1.0};
  EXPECT_EQ(DeclaredNoDataRow(VecZero.data(), VecZero.size(), 0.0), 1);
}
