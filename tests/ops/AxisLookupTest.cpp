// tests/ops/AxisLookupTest.cpp - batched lookups agree with TAxis::FindIndex, failures included,
// whether the edges come as an axis or as plain coordinates.
#include "ops/AxisLookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid::detail::CheckedIndex;
using tessgrid::detail::LookupIndices;
using tessgrid::detail::TIndexList;
using tessgrid::detail::TLookupStatus;

using tessgrid_test::MakeAxis;

namespace {

void ExpectSameAsFindIndex(const TIndexList& List, const TAxis& Axis,
                           const std::vector<double>& VecProbes, char ChrAxis) {
  ASSERT_EQ(List.MbrVecIndices.size(), VecProbes.size());
  ASSERT_EQ(List.MbrVecStatus.size(), VecProbes.size());
  for (std::size_t LngI = 0; LngI < VecProbes.size(); ++LngI) {
    TLookupStatus Status = TLookupStatus::kFound;
    EXPECT_EQ(List.MbrVecIndices[LngI], Axis.FindIndex(VecProbes[LngI], ChrAxis, Status))
        << "coordinate " << VecProbes[LngI];
    EXPECT_EQ(List.MbrVecStatus[LngI], Status) << "coordinate " << VecProbes[LngI];
  }
}

// Probes every quarter unit, the points themselves, NaN and an infinity; on a filled axis the
// plain-coordinate form is checked as well.
void ExpectSameAsAxis(const TAxis& Axis, char ChrAxis) {
  std::vector<double> VecProbes{std::nan(""), -std::numeric_limits<double>::infinity()};
  for (double DblC = -1.25; DblC <= 6.5; DblC += 0.25)
    VecProbes.push_back(DblC);
  std::vector<double> VecEdges;
  bool BlnFilled = true;
  for (const TPoint* PtrPoint : Axis.MbrVecPoints) {
    BlnFilled = BlnFilled && PtrPoint != nullptr;
    if (PtrPoint != nullptr) {
      VecProbes.push_back(ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY);
      VecEdges.push_back(VecProbes.back());
    }
  }
  ExpectSameAsFindIndex(LookupIndices(Axis, VecProbes, ChrAxis), Axis, VecProbes, ChrAxis);
  if (BlnFilled) {
    ExpectSameAsFindIndex(
        LookupIndices(VecEdges.data(), VecEdges.size(), VecProbes.data(), VecProbes.size()), Axis,
        VecProbes, ChrAxis);
  }
}

}  // namespace

TEST(AxisLookupTest, AgreesWithTheScanOnRisingFallingAndIrregularAxes) {
  ExpectSameAsAxis(*MakeAxis(1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}), 'X');
  ExpectSameAsAxis(*MakeAxis(1, {{0, 5}, {0, 4}, {0, 3}, {0, 1.5}}), 'Y');
  ExpectSameAsAxis(*MakeAxis(1, {{0, 1}, {0, 1}, {0, 4}, {0, 2}, {0, 5}}), 'Y');
  ExpectSameAsAxis(*MakeAxis(1, {{0, 0}, {std::nan(""), 0}, {2, 0}}), 'X');
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

TEST(AxisLookupTest, CheckedIndexThrowsTheAxisMessages) {
  const TIndexList List{{-1, -1, -1, 4},
                        {TLookupStatus::kOutOfRange, TLookupStatus::kUnfilledSlot,
                         TLookupStatus::kNoInterval, TLookupStatus::kFound}};
  EXPECT_MESSAGE(CheckedIndex(List, 0), "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(CheckedIndex(List, 1), "Axis has an unfilled slot in TAxis::GetIndex");
  EXPECT_EQ(CheckedIndex(List, 2), -1);
  EXPECT_EQ(CheckedIndex(List, 3), 4);
}

TEST(AxisLookupTest, AgreesWithTheScanWhateverTheOrderOfTheCoordinates) {
  // Each search starts where the last one ended: coordinates that rise, fall and jump about,
  // on long rising and falling axes, must find what a search of the whole axis finds.
  for (const double DblStep : {0.75, -0.75}) {
    TAxis Axis(0.75, 1000);
    for (long LngI = 0; LngI < 1000; ++LngI) {
      Axis.SetPoint(LngI, new TPoint(0, 10 + DblStep * static_cast<double>(LngI)));
    }
    std::vector<double> VecProbes;
    for (long LngI = -20; LngI < 1400; LngI += 3) {
      VecProbes.push_back(0.5 * static_cast<double>(LngI));
    }
    for (long LngI = 1400; LngI > -20; LngI -= 7) {
      VecProbes.push_back(0.5 * static_cast<double>(LngI));
    }
    for (long LngI = 0; LngI < 500; ++LngI) {
      VecProbes.push_back(static_cast<double>((LngI * 7919) % 1500) * 0.6 - 200);
    }
    ExpectSameAsFindIndex(LookupIndices(Axis, VecProbes, 'Y'), Axis, VecProbes, 'Y');
  }
}
