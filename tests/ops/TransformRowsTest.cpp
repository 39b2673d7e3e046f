// tests/ops/TransformRowsTest.cpp - the transform rules a row at a time: the no-data cells each
// constant rule keeps, rounding, thresholds, masks and the lookup table's exact matches.
#include "ops/TransformRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

namespace {

using tessgrid::detail::DivideByRow;
using tessgrid::detail::MaskRow;
using tessgrid::detail::OffsetRow;
using tessgrid::detail::RoundRow;
using tessgrid::detail::ScaleRow;
using tessgrid::detail::ThresholdReplaceRow;
using tessgrid::detail::ThresholdRow;
using tessgrid::detail::TLookupTable;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

// The rule applied to the cells in place: the result row is the input row.
template <typename TRule>
std::vector<double> InPlace(std::vector<double> VecCells, TRule Rule) {
  Rule(VecCells.data(), VecCells.size(), VecCells.data());
  return VecCells;
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof DblA) == 0;
}

TEST(TransformRowsTest, ConstantArithmeticKeepsTheCellsOfItsNoDataValue) {
  const auto Scale = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    ScaleRow(PtrIn, LngN, 2.0, -9999.0, PtrOut);
  };
  EXPECT_EQ(InPlace({1.5, -9999.0, -3.4e38}, Scale), (std::vector<double>{3.0, -9999.0, -6.8e38}));
  const auto Offset = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    OffsetRow(PtrIn, LngN, -100.0, -9999.0, PtrOut);
  };
  EXPECT_EQ(InPlace({1.5, -9999.0}, Offset), (std::vector<double>{-98.5, -9999.0}));
  const auto DivideBy = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    DivideByRow(PtrIn, LngN, 0.0, 0.0, PtrOut);
  };
  const std::vector<double> VecQuotients = InPlace({2.0, 0.0, -0.0, -9999.0}, DivideBy);
  EXPECT_EQ(VecQuotients[0], std::numeric_limits<double>::infinity());
  // A cell equal to the no-data value 0 stays as it was, -0 included.
  EXPECT_TRUE(SameBits(VecQuotients[1], 0.0));
  EXPECT_TRUE(SameBits(VecQuotients[2], -0.0));
  EXPECT_EQ(VecQuotients[3], -std::numeric_limits<double>::infinity());
}

TEST(TransformRowsTest, RoundGoesHalfUpAndTowardZeroBelowZero) {
  const std::vector<double> VecRounded =
      InPlace({2.5, 2.49, -2.5, -2.7, -0.3, 1e300, kDblNaN, 4503599627370497.0}, RoundRow);
  EXPECT_EQ(VecRounded[0], 3.0);
  EXPECT_EQ(VecRounded[1], 2.0);
  EXPECT_EQ(VecRounded[2], -2.0);
  EXPECT_EQ(VecRounded[3], -2.0);
  EXPECT_TRUE(SameBits(VecRounded[4], 0.0));
  EXPECT_EQ(VecRounded[5], 1e300);
  EXPECT_TRUE(std::isnan(VecRounded[6]));
  EXPECT_EQ(VecRounded[7], 4503599627370497.0);
}

TEST(TransformRowsTest, ThresholdsTakeCellsAtOrAboveAndNaNIsBelow) {
  const auto Threshold = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    ThresholdRow(PtrIn, LngN, 5.0, PtrOut);
  };
  const std::vector<double> VecKept = InPlace({4.9, 5.0, 7.0, -9999.0, kDblNaN}, Threshold);
  EXPECT_EQ(VecKept, (std::vector<double>{0.0, 5.0, 7.0, 0.0, 0.0}));
  const auto Replace = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    ThresholdReplaceRow(PtrIn, LngN, 5.0, 1.0, PtrOut);
  };
  const std::vector<double> VecReplaced = InPlace({4.9, 5.0, 7.0, kDblNaN}, Replace);
  EXPECT_EQ(VecReplaced[0], 4.9);
  EXPECT_EQ(VecReplaced[1], 1.0);
  EXPECT_EQ(VecReplaced[2], 1.0);
  EXPECT_TRUE(std::isnan(VecReplaced[3]));
}

TEST(TransformRowsTest, MaskReplacesExactMatchesOnly) {
  const auto Mask = [](const double* PtrIn, std::size_t LngN, double* PtrOut) {
    MaskRow(PtrIn, LngN, 0.0, -9999.0, PtrOut);
  };
  const std::vector<double> VecMasked = InPlace({0.0, -0.0, 1e-300, kDblNaN}, Mask);
  EXPECT_EQ(VecMasked[0], -9999.0);
  EXPECT_EQ(VecMasked[1], -9999.0);
  EXPECT_EQ(VecMasked[2], 1e-300);
  EXPECT_TRUE(std::isnan(VecMasked[3]));
}

TEST(TransformRowsTest, LookupTableMatchesExactKeysOnlyOrGivesTheDefault) {
  std::map<double, double> MapTable{{1.0, 10.0}, {2.0, 20.0}, {0.0, 5.0}, {kDblNaN, 99.0}};
  // Many more keys than the filter has bits: every one must still be found.
  for (int IntKey = 1000; IntKey < 21000; ++IntKey) {
    MapTable[IntKey + 0.25] = -IntKey;
  }
  const TLookupTable Table(MapTable);
  const std::vector<double> VecIn{1.0, 2.0, 3.0, -0.0, kDblNaN, 1000.25, 20999.25, 20999.5};
  std::vector<double> VecOut(VecIn.size());
  Table.Row(VecIn.data(), VecIn.size(), -1.0, VecOut.data());
  EXPECT_EQ(VecOut, (std::vector<double>{10.0, 20.0, -1.0, 5.0, -1.0, -1000.0, -20999.0, -1.0}));
  const TLookupTable Empty({});
  EXPECT_EQ(Empty.Find(1.0, 7.0), 7.0);
}

}  // namespace
