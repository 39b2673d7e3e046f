// tests/model/TPointTest.cpp - points: distance and kind-preserving copies.
#include "model/TPoint.h"

#include <gtest/gtest.h>

#include <memory>

TEST(TPointTest, DistanceIsEuclidean) {
  TPoint Origin(0.0, 0.0);
  TPoint Other(3.0, 4.0);
  EXPECT_EQ(Origin.Distance(&Other), 5.0);
}

TEST(TPointTest, CloneThroughBaseKeepsMapPointAndValue) {
  std::unique_ptr<TPoint> PtrPoint(new TMapPoint(1.0, 2.0, 7.5));
  std::unique_ptr<TPoint> PtrCopy(PtrPoint->Clone());
  auto* PtrMapCopy = dynamic_cast<TMapPoint*>(PtrCopy.get());
  ASSERT_NE(PtrMapCopy, nullptr);
  EXPECT_EQ(PtrMapCopy->MbrDblX, 1.0);
  EXPECT_EQ(PtrMapCopy->MbrDblY, 2.0);
  EXPECT_EQ(PtrMapCopy->MbrDblValue, 7.5);
}

TEST(TPointTest, CloneOfPlainPointIsPlain) {
  TPoint Point(1.0, 2.0);
  std::unique_ptr<TPoint> PtrCopy(Point.Clone());
  EXPECT_EQ(dynamic_cast<TMapPoint*>(PtrCopy.get()), nullptr);
  EXPECT_EQ(PtrCopy->MbrDblY, 2.0);
}
