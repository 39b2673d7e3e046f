// tests/ops/PartnerLookupTest.cpp - partner lines from plain coordinates equal those from axes.
#include "ops/PartnerLookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "tests/support/MapBuilders.h"

using tessgrid::detail::FindPartnerLines;
using tessgrid::detail::TPartnerLines;

using tessgrid_test::MakeAxis;

namespace {

std::vector<double> Coordinates(const TAxis& Axis, char ChrAxis) {
  std::vector<double> VecC;
  for (const TPoint* PtrPoint : Axis.MbrVecPoints) {
    VecC.push_back(ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY);
  }
  return VecC;
}

void ExpectSameFromArrays(const TAxis& Centres, const TAxis& Edges, long LngDim, char ChrAxis) {
  const TPartnerLines FromAxes = FindPartnerLines(Centres, &Edges, LngDim, ChrAxis);
  const std::vector<double> VecCentres = Coordinates(Centres, ChrAxis);
  const std::vector<double> VecEdges = Coordinates(Edges, ChrAxis);
  const TPartnerLines FromArrays = FindPartnerLines(
      VecCentres.data(), VecCentres.size(), VecEdges.data(), VecEdges.size(), LngDim, ChrAxis);
  EXPECT_EQ(FromArrays.MbrVecIndices, FromAxes.MbrVecIndices);
  ASSERT_EQ(FromArrays.MbrVecFaults.size(), FromAxes.MbrVecFaults.size());
  for (std::size_t LngI = 0; LngI < FromAxes.MbrVecFaults.size(); ++LngI) {
    EXPECT_EQ(FromArrays.MbrVecFaults[LngI].MbrIntStep, FromAxes.MbrVecFaults[LngI].MbrIntStep);
    const char* PtrA = FromArrays.MbrVecFaults[LngI].MbrPtrMessage;
    const char* PtrB = FromAxes.MbrVecFaults[LngI].MbrPtrMessage;
    EXPECT_TRUE(PtrA == PtrB ||
                (PtrA != nullptr && PtrB != nullptr && std::strcmp(PtrA, PtrB) == 0))
        << "line " << LngI;
  }
}

}  // namespace

TEST(PartnerLookupTest, PlainCoordinatesGiveThePartnersAndFaultsOfTheAxes) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  // Centres inside, on inner and outer edges, outside, and NaN, on rising, falling and
  // irregular partner edges.
  const auto PtrXCentres =
      MakeAxis(1, {{-0.5, 0}, {0, 0}, {0.5, 0}, {1, 0}, {2.5, 0}, {3, 0}, {3.5, 0}, {DblNaN, 0}});
  const auto PtrYCentres = MakeAxis(1, {{0, 3.5}, {0, 3}, {0, 2}, {0, 0.5}, {0, 0}, {0, -1}});
  ExpectSameFromArrays(*PtrXCentres, *MakeAxis(1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}), 3, 'X');
  ExpectSameFromArrays(*PtrYCentres, *MakeAxis(1, {{0, 3}, {0, 2}, {0, 1}, {0, 0}}), 3, 'Y');
  ExpectSameFromArrays(*PtrXCentres, *MakeAxis(1, {{0, 0}, {2, 0}, {1, 0}, {3, 0}}), 3, 'X');
  ExpectSameFromArrays(*PtrYCentres, *MakeAxis(1, {{0, 3}, {0, 2}}), 3, 'Y');
}
