// tests/util/TPointToolsTest.cpp - plane geometry: extremes, pseudo-angles, areas, hulls.
#include "util/TPointTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Owns the points of a test and lends them out as the raw vector the tools take.
class TPointSet {
 public:
  explicit TPointSet(const std::vector<std::pair<double, double>>& VecXY) {
    for (const auto& XY : VecXY) {
      MbrVecOwned.push_back(std::make_unique<TPoint>(XY.first, XY.second));
    }
  }
  std::vector<TPoint*> Raw() const {
    std::vector<TPoint*> VecRaw;
    for (const auto& PtrPoint : MbrVecOwned) {
      VecRaw.push_back(PtrPoint.get());
    }
    return VecRaw;
  }

 private:
  std::vector<std::unique_ptr<TPoint>> MbrVecOwned;
};

// Takes over a hull and returns its coordinates.
std::vector<std::pair<double, double>> Coordinates(std::vector<TPoint*> VecHull) {
  std::vector<std::pair<double, double>> VecXY;
  for (TPoint* PtrPoint : VecHull) {
    const std::unique_ptr<TPoint> PtrOwned(PtrPoint);
    VecXY.emplace_back(PtrOwned->MbrDblX, PtrOwned->MbrDblY);
  }
  return VecXY;
}

using TXY = std::vector<std::pair<double, double>>;

double Theta(double DblAX, double DblAY, double DblBX, double DblBY) {
  TPoint A(DblAX, DblAY);
  TPoint B(DblBX, DblBY);
  return TPointTools::Theta(&A, &B);
}

}  // namespace

TEST(TPointToolsTest, MaxAndMinTakeEachCoordinateSeparately) {
  TPoint A(1, 5);
  TPoint B(3, 2);
  const std::unique_ptr<TPoint> PtrMax(TPointTools::Max(&A, &B));
  const std::unique_ptr<TPoint> PtrMin(TPointTools::Min(&A, &B));
  EXPECT_EQ(PtrMax->MbrDblX, 3);
  EXPECT_EQ(PtrMax->MbrDblY, 5);
  EXPECT_EQ(PtrMin->MbrDblX, 1);
  EXPECT_EQ(PtrMin->MbrDblY, 2);
}

TEST(TPointToolsTest, MaxKeepsTheFirstPointsCoordinateAgainstNaN) {
  TPoint A(1, 1);
  TPoint B(std::nan(""), 4);
  const std::unique_ptr<TPoint> PtrMax(TPointTools::Max(&A, &B));
  EXPECT_EQ(PtrMax->MbrDblX, 1);
  EXPECT_EQ(PtrMax->MbrDblY, 4);
}

TEST(TPointToolsTest, ThetaIsExactAtMultiplesOf45AndPseudoInBetween) {
  EXPECT_EQ(Theta(0, 1, 0, 0), 90);
  EXPECT_EQ(Theta(0, 0, 0, 1), 270);
  EXPECT_EQ(Theta(1, 2, 0, 0), 60);  // the true angle would be 63.4
  EXPECT_EQ(Theta(1, 0, 0, 0), 0);
  EXPECT_EQ(Theta(1, 1, 0, 0), 45);
  EXPECT_EQ(Theta(-1, 1, 0, 0), 135);
  EXPECT_EQ(Theta(-1, 0, 0, 0), 180);
  EXPECT_EQ(Theta(-1, -1, 0, 0), 225);
  EXPECT_EQ(Theta(1, -1, 0, 0), 315);
  EXPECT_EQ(Theta(3, 3, 3, 3), 0);
}

TEST(TPointToolsTest, HeronGivesTheAreaAndNoFailureForCollinearPoints) {
  TPoint A(0, 0);
  TPoint B(4, 0);
  TPoint C(0, 3);
  EXPECT_DOUBLE_EQ(TPointTools::Heron(&A, &B, &C), 6);
  TPoint D(8, 0);
  const double DblFlat = TPointTools::Heron(&A, &B, &D);
  EXPECT_TRUE(DblFlat == 0 || std::isnan(DblFlat));
}

TEST(TPointToolsTest, CentroidIsTheVertexMean) {
  const TPointSet Points({{0, 0}, {2, 0}, {1, 3}});
  const std::unique_ptr<TPoint> PtrCentre(TPointTools::FindCentroid(Points.Raw()));
  EXPECT_DOUBLE_EQ(PtrCentre->MbrDblX, 1);
  EXPECT_DOUBLE_EQ(PtrCentre->MbrDblY, 1);
  const std::unique_ptr<TPoint> PtrNothing(TPointTools::FindCentroid({}));
  EXPECT_TRUE(std::isnan(PtrNothing->MbrDblX));
}

TEST(TPointToolsTest, ConvexAreaNeedsTheRepeatedFirstVertexToClose) {
  const TPointSet Closed({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}});
  const TPointSet Open({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
  EXPECT_NEAR(TPointTools::FindConvexPolygonArea(Closed.Raw()), 4, 1e-12);
  EXPECT_NEAR(TPointTools::FindConvexPolygonArea(Open.Raw()), 3, 1e-12);
  EXPECT_EQ(TPointTools::FindConvexPolygonArea(TPointSet({{5, 5}}).Raw()), 0.0);
  EXPECT_EQ(TPointTools::FindConvexPolygonArea({}), 0.0);
}

TEST(TPointToolsTest, HullLeavesOutInnerPoints) {
  const TPointSet Points({{0, 0}, {1, 1}, {0, 2}, {-1, 1}, {0, 1}});
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(Points.Raw())),
            (TXY{{0, 0}, {1, 1}, {0, 2}, {-1, 1}}));
}

TEST(TPointToolsTest, HullStartsAtTheLowestPointAndRunsCounterclockwise) {
  const TPointSet Points({{2, 2}, {0, 2}, {1, -1}, {3, 0}, {1, 1}});
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(Points.Raw())),
            (TXY{{1, -1}, {3, 0}, {2, 2}, {0, 2}}));
}

TEST(TPointToolsTest, HullSkipsAPointAtTheStartingAngleZero) {
  // (2, 0) lies at angle 0 from the start, which is not above the previous angle 0.
  const TPointSet Points({{0, 0}, {2, 0}, {1, 2}});
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(Points.Raw())), (TXY{{0, 0}, {1, 2}}));
}

TEST(TPointToolsTest, HullKeepsOnlyTheEarliestOfCollinearBoundaryPoints) {
  // (1, 1) and (2, 2) share the angle 45 from the start: the earlier wins and the wrap then
  // finds (2, 2) at the same angle, which is not above the previous one.
  const TPointSet Points({{0, 0}, {1, 1}, {2, 2}, {-1, 2}});
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(Points.Raw())), (TXY{{0, 0}, {1, 1}, {-1, 2}}));
}

TEST(TPointToolsTest, HullOfFewPoints) {
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(TPointSet({{4, 5}}).Raw())), (TXY{{4, 5}}));
  EXPECT_EQ(Coordinates(TPointTools::FindConvexHull(TPointSet({{1, 1}, {0, 0}}).Raw())),
            (TXY{{0, 0}, {1, 1}}));
  EXPECT_TRUE(TPointTools::FindConvexHull({}).empty());
}

TEST(TPointToolsTest, HullCopiesKeepMapPointsAndLeaveTheInputAlone) {
  TMapPoint A(0, 0, 7);
  TPoint B(1, 1);
  TMapPoint C(-1, 1, 9);
  std::vector<TPoint*> VecInput{&B, &C, &A};
  const std::vector<TPoint*> VecBefore = VecInput;
  std::vector<TPoint*> VecHull = TPointTools::FindConvexHull(VecInput);
  std::vector<std::unique_ptr<TPoint>> VecOwned(VecHull.begin(), VecHull.end());
  EXPECT_EQ(VecInput, VecBefore);
  EXPECT_EQ(A.MbrDblX, 0);
  ASSERT_EQ(VecOwned.size(), 3u);
  const auto* PtrStart = dynamic_cast<const TMapPoint*>(VecOwned[0].get());
  ASSERT_NE(PtrStart, nullptr);
  EXPECT_NE(PtrStart, &A);
  EXPECT_EQ(PtrStart->MbrDblValue, 7);
  EXPECT_EQ(dynamic_cast<const TMapPoint*>(VecOwned[1].get()), nullptr);
}
