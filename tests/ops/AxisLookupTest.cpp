// tests/ops/AxisLookupTest.cpp - batched lookups agree with TAxis::GetIndex, failures included.
#include "ops/AxisLookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid::detail::CheckLookup;
using tessgrid::detail::kLngNoInterval;
using tessgrid::detail::kLngOutOfSpan;
using tessgrid::detail::kLngUnfilled;
using tessgrid::detail::LookupIndices;

using tessgrid_test::MakeAxis;

namespace {

long ReferenceIndex(const TAxis& Axis, double DblCoordinate, char ChrAxis) {
  try {
    return Axis.GetIndex(DblCoordinate, ChrAxis);
  } catch (char* PtrMessage) {
    return std::string(PtrMessage).rfind("Axis has", 0) == 0 ? kLngUnfilled : kLngOutOfSpan;
  }
}

void ExpectSameAsAxis(const TAxis& Axis, char ChrAxis) {
  std::vector<double> VecProbes{std::nan(""), -std::numeric_limits<double>::infinity()};
  for (double DblC = -1.25; DblC <= 6.5; DblC += 0.25)
    VecProbes.push_back(DblC);
  for (const TPoint* PtrPoint : Axis.MbrVecPoints) {
    if (PtrPoint != nullptr) {
      VecProbes.push_back(ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY);
    }
  }
  const std::vector<long> VecIndices = LookupIndices(Axis, VecProbes, ChrAxis);
  for (std::size_t LngI = 0; LngI < VecProbes.size(); ++LngI) {
    EXPECT_EQ(VecIndices[LngI], ReferenceIndex(Axis, VecProbes[LngI], ChrAxis))
        << "coordinate " << VecProbes[LngI];
  }
}

}  // namespace

TEST(AxisLookupTest, AgreesWithTheScanOnRisingFallingAndIrregularAxes) {
  ExpectSameAsAxis(*MakeAxis(1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}), 'X');
  ExpectSameAsAxis(*MakeAxis(1, {{0, 5}, {0, 4}, {0, 3}, {0, 1.5}}), 'Y');
  ExpectSameAsAxis(*MakeAxis(1, {{0, 1}, {0, 1}, {0, 4}, {0, 2}, {0, 5}}), 'Y');
  ExpectSameAsAxis(*MakeAxis(1, {{2, 0}}), 'X');
  ExpectSameAsAxis(TAxis(1, 0), 'X');
}

TEST(AxisLookupTest, AgreesWithTheScanOnUnfilledAxes) {
  TAxis Axis(1, 4);
  Axis.SetPoint(0, new TPoint(0, 0));
  Axis.SetPoint(1, new TPoint(1, 0));
  Axis.SetPoint(3, new TPoint(3, 0));
  ExpectSameAsAxis(Axis, 'X');
}

TEST(AxisLookupTest, CheckLookupThrowsTheAxisMessages) {
  EXPECT_MESSAGE(CheckLookup(kLngOutOfSpan), "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(CheckLookup(kLngUnfilled), "Axis has an unfilled slot in TAxis::GetIndex");
  EXPECT_EQ(CheckLookup(kLngNoInterval), kLngNoInterval);
  EXPECT_EQ(CheckLookup(4), 4);
}
