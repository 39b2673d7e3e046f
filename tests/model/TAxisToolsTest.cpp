// tests/model/TAxisToolsTest.cpp - centre-to-edge conversions and their odd, kept rules.
#include "model/TAxisTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "model/AxisCoordinates.h"
#include "model/UnfilledMap.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeAxis;

namespace {

std::vector<double> Xs(const TAxis& Axis) {
  std::vector<double> VecXs;
  for (const TPoint* PtrPoint : Axis.MbrVecPoints)
    VecXs.push_back(PtrPoint->MbrDblX);
  return VecXs;
}

std::vector<double> Ys(const TAxis& Axis) {
  std::vector<double> VecYs;
  for (const TPoint* PtrPoint : Axis.MbrVecPoints)
    VecYs.push_back(PtrPoint->MbrDblY);
  return VecYs;
}

}  // namespace

TEST(TAxisToolsTest, PointsToIntervalsInXRisesFromHalfBeforeFirstCentre) {
  auto PtrCentres = MakeAxis(1.0, {{0.5, 7}, {1.5, 7}, {2.5, 7}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'X'));
  EXPECT_EQ(Xs(*PtrEdges), (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(Ys(*PtrEdges), (std::vector<double>{6.5, 6.5, 6.5, 6.5}));
  EXPECT_EQ(PtrEdges->MbrDblResolution, 1.0);
}

TEST(TAxisToolsTest, PointsToIntervalsInYFollowsFallingCentres) {
  auto PtrCentres = MakeAxis(1.0, {{4, 2.5}, {4, 1.5}, {4, 0.5}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'Y'));
  EXPECT_EQ(Ys(*PtrEdges), (std::vector<double>{3, 2, 1, 0}));
  EXPECT_EQ(Xs(*PtrEdges), (std::vector<double>{3.5, 3.5, 3.5, 3.5}));
}

TEST(TAxisToolsTest, PointsToIntervalsInYRisesForRisingCentres) {
  auto PtrCentres = MakeAxis(1.0, {{0, 0.5}, {0, 1.5}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'Y'));
  EXPECT_EQ(Ys(*PtrEdges), (std::vector<double>{0, 1, 2}));
}

TEST(TAxisToolsTest, PointsToIntervalsIgnoresInnerPoints) {
  auto PtrCentres = MakeAxis(1.0, {{0.5, 0}, {1.7, 0}, {2.5, 0}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'X'));
  EXPECT_EQ(Xs(*PtrEdges), (std::vector<double>{0, 1, 2, 3}));
}

TEST(TAxisToolsTest, PointsToIntervalsUsesRunningSums) {
  auto PtrCentres = MakeAxis(0.1, {{0.05, 0}, {0.15, 0}, {0.25, 0}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'X'));
  double DblX = 0.05 - 0.1 * 0.5;
  for (const TPoint* PtrPoint : PtrEdges->MbrVecPoints) {
    EXPECT_EQ(PtrPoint->MbrDblX, DblX);
    DblX += 0.1;
  }
}

TEST(TAxisToolsTest, PointsToIntervalsFailsOnEmptyAndUnfilledAxes) {
  TAxis Empty(1.0, 0);
  EXPECT_MESSAGE(TAxisTools::PointsToIntervals(&Empty, 'X'),
                 "Index is out of range in TAxis::GetPoint");
  TAxis Unfilled(1.0, 2);
  EXPECT_MESSAGE(TAxisTools::PointsToIntervals(&Unfilled, 'X'),
                 "Axis has an unfilled slot in TAxisTools::PointsToIntervals");
}

TEST(TAxisToolsTest, IntervalsToPointsGivesMidpointsForMapOrientation) {
  auto PtrX = MakeAxis(1.0, {{0, 5}, {1, 5}, {2, 5}, {3, 5}});
  std::unique_ptr<TAxis> PtrXCentres(TAxisTools::IntervalsToPoints(PtrX.get(), 'X'));
  EXPECT_EQ(Xs(*PtrXCentres), (std::vector<double>{0.5, 1.5, 2.5}));
  EXPECT_EQ(Ys(*PtrXCentres), (std::vector<double>{5, 5, 5}));
  auto PtrY = MakeAxis(1.0, {{0, 3}, {0, 2}, {0, 1}, {0, 0}});
  std::unique_ptr<TAxis> PtrYCentres(TAxisTools::IntervalsToPoints(PtrY.get(), 'Y'));
  EXPECT_EQ(Ys(*PtrYCentres), (std::vector<double>{2.5, 1.5, 0.5}));
}

TEST(TAxisToolsTest, IntervalsToPointsAlwaysAddsToXAndSubtractsFromY) {
  auto PtrX = MakeAxis(1.0, {{3, 0}, {2, 0}, {1, 0}, {0, 0}});
  std::unique_ptr<TAxis> PtrCentres(TAxisTools::IntervalsToPoints(PtrX.get(), 'X'));
  EXPECT_EQ(Xs(*PtrCentres), (std::vector<double>{3.5, 2.5, 1.5}));
}

TEST(TAxisToolsTest, IntervalsToPointsOfOnePointIsEmptyAndOfNoPointsFails) {
  auto PtrOne = MakeAxis(1.0, {{0, 0}});
  std::unique_ptr<TAxis> PtrCentres(TAxisTools::IntervalsToPoints(PtrOne.get(), 'X'));
  EXPECT_EQ(PtrCentres->GetSize(), 0);
  TAxis Empty(1.0, 0);
  EXPECT_MESSAGE(TAxisTools::IntervalsToPoints(&Empty, 'X'),
                 "Index is out of range in TAxis::GetPoint");
}

TEST(TAxisToolsTest, RoundTripLowersTheSharedCoordinateByHalfAResolution) {
  auto PtrCentres = MakeAxis(2.0, {{1, 10}, {3, 10}, {5, 10}});
  std::unique_ptr<TAxis> PtrEdges(TAxisTools::PointsToIntervals(PtrCentres.get(), 'X'));
  std::unique_ptr<TAxis> PtrBack(TAxisTools::IntervalsToPoints(PtrEdges.get(), 'X'));
  EXPECT_EQ(Xs(*PtrBack), (std::vector<double>{1, 3, 5}));
  EXPECT_EQ(Ys(*PtrBack), (std::vector<double>{9, 9, 9}));
}

TEST(TAxisToolsTest, DerivedEdgesOfCentresAreThoseOfTheMapBuiltOnTheCentres) {
  // Corners and cell sizes whose running sums round, far from the origin too; row counts on
  // either side of the spans the derived Y edges are made again in.
  const double kDblCorners[] = {0.0, 1000.0, 0.1, -123456.789, 4.5e6, 1e15, -7.3e-5};
  const double kDblSizes[] = {1.0, 0.1, 30.0, 0.3, 2.5e-7, 1e-9, 7.77};
  const long kLngColumns[] = {1, 2, 3, 7, 17};
  const long kLngRows[] = {1, 2, 3, 4, 8, 9, 15, 16, 17, 99, 100, 101, 1000};
  std::mt19937 Random(41);
  const auto Pick = [&Random](const auto& ArrChoices) {
    return ArrChoices[std::uniform_int_distribution<std::size_t>(
        0, std::size(ArrChoices) - 1)(Random)];
  };
  const auto Same = [](double DblA, double DblB) {
    return std::memcmp(&DblA, &DblB, sizeof DblA) == 0;
  };
  int IntInside = 0;
  for (int IntCase = 0; IntCase < 1500; ++IntCase) {
    tessgrid::detail::TGridHeader Header;
    Header.DblXll = Pick(kDblCorners);
    Header.DblYll = Pick(kDblCorners);
    Header.DblCellSize = Pick(kDblSizes);
    Header.LngColumns = Pick(kLngColumns);
    Header.LngRows = Pick(kLngRows);
    std::vector<std::vector<double>> VecNoRows;
    const std::unique_ptr<TMap> PtrInput = tessgrid::detail::MapOfGrid(Header, VecNoRows);
    const std::unique_ptr<TMap> PtrResult =
        tessgrid::detail::NewUnfilledMap(PtrInput->MbrPtrXAxis, PtrInput->MbrPtrYAxis);
    bool BlnInside = true;
    for (long LngI = 0; LngI < Header.LngColumns; ++LngI) {
      const double DblCentre = PtrResult->MbrPtrXAxis->GetPoint(LngI)->MbrDblX;
      BlnInside = BlnInside &&
                  PtrResult->MbrPtrXAxisInterval->GetPoint(LngI)->MbrDblX < DblCentre &&
                  DblCentre < PtrResult->MbrPtrXAxisInterval->GetPoint(LngI + 1)->MbrDblX;
    }
    for (long LngI = 0; LngI < Header.LngRows; ++LngI) {
      const double DblCentre = PtrResult->MbrPtrYAxis->GetPoint(LngI)->MbrDblY;
      BlnInside = BlnInside &&
                  PtrResult->MbrPtrYAxisInterval->GetPoint(LngI)->MbrDblY > DblCentre &&
                  DblCentre > PtrResult->MbrPtrYAxisInterval->GetPoint(LngI + 1)->MbrDblY;
    }
    const tessgrid::detail::TDerivedEdges Derived = tessgrid::detail::DerivedEdgesOfCentres(
        Header.DblXll, Header.DblYll, Header.DblCellSize,
        static_cast<std::size_t>(Header.LngColumns), static_cast<std::size_t>(Header.LngRows));
    const std::string StgCase =
        std::to_string(Header.LngColumns) + " x " + std::to_string(Header.LngRows) + " at " +
        std::to_string(Header.DblXll) + ", " + std::to_string(Header.DblYll) + " by " +
        std::to_string(Header.DblCellSize);
    ASSERT_TRUE(Same(Derived.DblWest, PtrResult->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX))
        << StgCase;
    ASSERT_TRUE(
        Same(Derived.DblSouth, PtrResult->MbrPtrYAxisInterval->GetPoint(Header.LngRows)->MbrDblY))
        << StgCase;
    ASSERT_EQ(Derived.BlnCentresInside, BlnInside) << StgCase;
    IntInside += BlnInside ? 1 : 0;
  }
  // Both answers are met.
  EXPECT_GT(IntInside, 100);
  EXPECT_LT(IntInside, 1400);
}
