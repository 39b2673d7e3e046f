// tests/util/TVectorToolsTest.cpp - sums, means, membership, products, series and gradients.
#include "util/TVectorTools.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/support/ExpectMessage.h"
#include "util/LeastSquares.h"

namespace {

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();
const double kDblInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(TVectorToolsTest, SumOfEmptyIsZeroAndMeanOfEmptyIsNaN) {
  EXPECT_EQ(TVectorTools::SumVector({}), 0.0);
  EXPECT_TRUE(std::isnan(TVectorTools::VectorMean({})));
  EXPECT_EQ(TVectorTools::SumVector({1.5, 2.5, -1.0}), 3.0);
  EXPECT_EQ(TVectorTools::VectorMean({1.0, 2.0, 6.0}), 3.0);
}

TEST(TVectorToolsTest, SumAddsInIndexOrder) {
  // (1e16 + 1) + 1 loses both ones; adding them first would keep them.
  EXPECT_EQ(TVectorTools::SumVector({1e16, 1.0, 1.0}), 1e16);
  EXPECT_EQ(TVectorTools::SumVector({1.0, 1.0, 1e16}), 1e16 + 2.0);
}

TEST(TVectorToolsTest, WeightedMeanDividesByCountNotByWeightSum) {
  EXPECT_EQ(TVectorTools::VectorWeightedMean({1, 2, 3}, {1, 1, 1}), 2.0);
  EXPECT_EQ(TVectorTools::VectorWeightedMean({2, 4}, {0.5, 0.5}), 1.5);
  EXPECT_TRUE(std::isnan(TVectorTools::VectorWeightedMean({}, {})));
}

TEST(TVectorToolsTest, WeightedMeanOfUnequalLengthsNamesWeightedMean) {
  EXPECT_MESSAGE(TVectorTools::VectorWeightedMean({1, 2}, {1, 2, 3}),
                 "Length of value and weight vectors do not match in TVectorTools::WeightedMean");
}

TEST(TVectorToolsTest, HasValueComparesExactly) {
  EXPECT_FALSE(TVectorTools::HasValue(std::vector<double>{0.1 + 0.2}, 0.3));
  EXPECT_FALSE(TVectorTools::HasValue(std::vector<double>{1, 2, kDblNaN}, kDblNaN));
  EXPECT_FALSE(TVectorTools::HasValue(std::vector<double>{}, 0.0));
  EXPECT_TRUE(TVectorTools::HasValue(std::vector<double>{1, 2, 3}, 3.0));
  EXPECT_TRUE(TVectorTools::HasValue(std::vector<int>{4, -7}, -7));
  EXPECT_FALSE(TVectorTools::HasValue(std::vector<int>{4, -7}, 7));
}

TEST(TVectorToolsTest, ProductIsElementWise) {
  EXPECT_EQ(TVectorTools::VectorProduct({1, 2}, {3, 4}), (std::vector<double>{3, 8}));
  EXPECT_TRUE(TVectorTools::VectorProduct({}, {}).empty());
  EXPECT_MESSAGE(TVectorTools::VectorProduct({1}, {1, 2}),
                 "Length of vectors does not match in TVectorTools::VectorProduct");
}

TEST(TVectorToolsTest, SeriesAccumulatesRounding) {
  const std::vector<double> VecTenths = TVectorTools::VectorSeries(0, 1, 0.1);
  ASSERT_EQ(VecTenths.size(), 11u);
  EXPECT_EQ(VecTenths.back(), 0.9999999999999999);
  EXPECT_EQ(VecTenths[3], 0.1 + 0.1 + 0.1);
  EXPECT_EQ(TVectorTools::VectorSeries(0, 1, 0.25), (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
}

TEST(TVectorToolsTest, SeriesEndsAndEmptyCases) {
  EXPECT_TRUE(TVectorTools::VectorSeries(1, 0, 1).empty());
  EXPECT_EQ(TVectorTools::VectorSeries(2, 2, 1), (std::vector<double>{2}));
  EXPECT_TRUE(TVectorTools::VectorSeries(kDblNaN, 1, 1).empty());
  EXPECT_TRUE(TVectorTools::VectorSeries(0, kDblNaN, 1).empty());
  EXPECT_EQ(TVectorTools::VectorSeries(3, 5, kDblNaN), (std::vector<double>{3}));
  // Start above end never loops, whatever the step.
  EXPECT_TRUE(TVectorTools::VectorSeries(1, 0, 0).empty());
  EXPECT_TRUE(TVectorTools::VectorSeries(1, 0, -1).empty());
}

TEST(TVectorToolsTest, SeriesWithoutEndFails) {
  EXPECT_MESSAGE(TVectorTools::VectorSeries(0, 1, 0),
                 "Step must be positive in TVectorTools::VectorSeries");
  EXPECT_MESSAGE(TVectorTools::VectorSeries(2, 2, -0.5),
                 "Step must be positive in TVectorTools::VectorSeries");
  EXPECT_MESSAGE(TVectorTools::VectorSeries(0, kDblInf, 1),
                 "Series does not end in TVectorTools::VectorSeries");
  EXPECT_MESSAGE(TVectorTools::VectorSeries(1e20, 1e20, 1),
                 "Series does not end in TVectorTools::VectorSeries");
  EXPECT_MESSAGE(TVectorTools::VectorSeries(-kDblInf, 0, 1),
                 "Series does not end in TVectorTools::VectorSeries");
}

TEST(TVectorToolsTest, GradientIsLeastSquaresSlopeOfSecondOnFirst) {
  EXPECT_EQ(TVectorTools::Gradient({0, 1, 2, 3}, {1, 3, 2, 5}), 1.1);
  EXPECT_EQ(TVectorTools::Gradient({1, 2, 3}, {2, 4, 6}), 2.0);
  EXPECT_EQ(TVectorTools::Gradient({1, 2, 3}, {1, 1, 1}), 0.0);
  EXPECT_FALSE(std::isfinite(TVectorTools::Gradient({1, 1, 1}, {1, 5, 2})));
  EXPECT_TRUE(std::isnan(TVectorTools::Gradient({4}, {2})));
  EXPECT_TRUE(std::isnan(TVectorTools::Gradient({}, {})));
}

TEST(TVectorToolsTest, GradientOfUnequalLengthsFailsWithProductMessage) {
  EXPECT_MESSAGE(TVectorTools::Gradient({1, 2, 3}, {1, 2}),
                 "Length of vectors does not match in TVectorTools::VectorProduct");
}

TEST(TVectorToolsTest, GradientEqualsItsDefiningSums) {
  const std::vector<double> VecX{0.3, 1.7, 2.9, 4.1, 5.5};
  const std::vector<double> VecY{10.125, -3.5, 7.25, 1e-3, 99.75};
  const double DblSx = TVectorTools::SumVector(VecX);
  const double DblSy = TVectorTools::SumVector(VecY);
  const double DblSxx = TVectorTools::SumVector(TVectorTools::VectorProduct(VecX, VecX));
  const double DblSxy = TVectorTools::SumVector(TVectorTools::VectorProduct(VecX, VecY));
  const double DblN = 5.0;
  EXPECT_EQ(TVectorTools::Gradient(VecX, VecY),
            (DblN * DblSxy - DblSx * DblSy) / (DblN * DblSxx - DblSx * DblSx));
}

TEST(TVectorToolsTest, SlopeRowIsTheGradientOfEachCellsPresentValuesToTheBit) {
  // Five series of 40 cells: irregular values with zeros, missing values (-9999) anywhere, and
  // cells left with one value or none; the abscissae of a window past the first.
  const std::size_t LngColumns = 40;
  const std::vector<double> VecX{3, 4, 5, 6, 7};
  std::vector<std::vector<double>> VecSeries(VecX.size(), std::vector<double>(LngColumns));
  for (std::size_t LngK = 0; LngK < VecX.size(); ++LngK) {
    for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
      const std::size_t LngMix = (LngC * 7 + LngK * 3) % 11;
      VecSeries[LngK][LngC] = LngMix == 0   ? -9999.0
                              : LngMix == 5 ? 0.0
                                            : std::sin(1.3 * LngC + 0.7 * LngK) * 1e3 / 7;
    }
  }
  for (std::size_t LngK = 0; LngK < VecX.size(); ++LngK) {
    VecSeries[LngK][0] = -9999.0;
    VecSeries[LngK][1] = LngK == 2 ? 5.0 : -9999.0;
  }
  std::vector<const double*> VecRows;
  for (const std::vector<double>& VecRow : VecSeries) {
    VecRows.push_back(VecRow.data());
  }
  std::vector<double> VecSums(5 * LngColumns);
  std::vector<double> VecSlopes(LngColumns);
  tessgrid::detail::LeastSquaresSlopeRow(VecX.data(), VecRows.data(), VecX.size(), LngColumns,
                                         -9999.0, VecSums.data(), VecSlopes.data());
  for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
    std::vector<double> VecKeptX;
    std::vector<double> VecKeptY;
    for (std::size_t LngK = 0; LngK < VecX.size(); ++LngK) {
      if (VecSeries[LngK][LngC] != -9999.0) {
        VecKeptX.push_back(VecX[LngK]);
        VecKeptY.push_back(VecSeries[LngK][LngC]);
      }
    }
    const double DblExpected = TVectorTools::Gradient(VecKeptX, VecKeptY);
    if (std::isnan(DblExpected)) {
      EXPECT_TRUE(std::isnan(VecSlopes[LngC])) << LngC;
    } else {
      EXPECT_EQ(VecSlopes[LngC], DblExpected) << LngC;
    }
  }
}

TEST(TVectorToolsTest, StringConversionsReadNumericPrefixes) {
  EXPECT_EQ(TVectorTools::StringToInt({"12", " 7x", "abc", "-3", "+8"}),
            (std::vector<int>{12, 7, 0, -3, 8}));
  EXPECT_EQ(TVectorTools::StringToDouble({"1.5", "2e3", "x", " -0.25y"}),
            (std::vector<double>{1.5, 2000, 0, -0.25}));
  EXPECT_EQ(TVectorTools::IntToDouble({-2, 0, INT_MAX}),
            (std::vector<double>{-2.0, 0.0, 2147483647.0}));
}

TEST(TVectorToolsTest, StringToIntClampsBeyondIntRange) {
  EXPECT_EQ(TVectorTools::StringToInt({"99999999999", "-99999999999", "999999999999999999999"}),
            (std::vector<int>{INT_MAX, INT_MIN, INT_MAX}));
}
