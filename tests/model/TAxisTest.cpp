// tests/model/TAxisTest.cpp - axes: slots, the half-open interval rule, segments and clones.
#include "model/TAxis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeAxis;

namespace {

std::unique_ptr<TAxis> RisingX() {
  return MakeAxis(1.0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}});
}
std::unique_ptr<TAxis> FallingY() {
  return MakeAxis(1.0, {{0, 3}, {0, 2}, {0, 1}, {0, 0}});
}

}  // namespace

TEST(TAxisTest, SlotsStartEmptyAndIndicesAreChecked) {
  TAxis Axis(1.0, 2);
  EXPECT_EQ(Axis.GetSize(), 2);
  EXPECT_EQ(Axis.GetPoint(1), nullptr);
  EXPECT_MESSAGE(Axis.GetPoint(-1), "Index is out of range in TAxis::GetPoint");
  EXPECT_MESSAGE(Axis.GetPoint(2), "Index is out of range in TAxis::GetPoint");
  TPoint* PtrPoint = new TPoint(0, 0);
  EXPECT_MESSAGE(Axis.SetPoint(2, PtrPoint), "Index is out of range in TAxis::SetPoint");
  EXPECT_MESSAGE(Axis.SetPoint(-1, PtrPoint), "Index is out of range in TAxis::SetPoint");
  delete PtrPoint;
}

TEST(TAxisTest, NegativeSizeGivesNoSlots) {
  EXPECT_EQ(TAxis(1.0, -3).GetSize(), 0);
}

TEST(TAxisTest, SetPointReplacesAndKeepsTheSamePoint) {
  TAxis Axis(1.0, 1);
  Axis.SetPoint(0, new TPoint(1, 1));
  Axis.SetPoint(0, new TPoint(2, 2));  // the first point is released (checked by the sanitizers)
  TPoint* PtrSame = Axis.GetPoint(0);
  Axis.SetPoint(0, PtrSame);
  EXPECT_EQ(Axis.GetPoint(0)->MbrDblX, 2.0);
}

TEST(TAxisTest, GetIndexOnRisingAxisTakesIntervalAfterPoint) {
  auto PtrAxis = RisingX();
  EXPECT_EQ(PtrAxis->GetIndex(0.0, 'X'), 0);
  EXPECT_EQ(PtrAxis->GetIndex(0.999, 'X'), 0);
  EXPECT_EQ(PtrAxis->GetIndex(1.0, 'X'), 1);
  EXPECT_EQ(PtrAxis->GetIndex(2.5, 'X'), 2);
  EXPECT_MESSAGE(PtrAxis->GetIndex(-0.1, 'X'), "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(PtrAxis->GetIndex(3.1, 'X'), "Ordinate is out of range in TAxis::GetIndex");
}

TEST(TAxisTest, GetIndexOnFallingAxisTakesIntervalBeforePoint) {
  auto PtrAxis = FallingY();
  EXPECT_EQ(PtrAxis->GetIndex(0.0, 'Y'), 2);
  EXPECT_EQ(PtrAxis->GetIndex(1.0, 'Y'), 1);
  EXPECT_EQ(PtrAxis->GetIndex(2.0, 'Y'), 0);
  EXPECT_EQ(PtrAxis->GetIndex(2.5, 'Y'), 0);
}

TEST(TAxisTest, GetIndexFindsNoIntervalForLargestEndNanAndSinglePoint) {
  EXPECT_EQ(RisingX()->GetIndex(3.0, 'X'), -1);
  EXPECT_EQ(FallingY()->GetIndex(3.0, 'Y'), -1);
  EXPECT_EQ(RisingX()->GetIndex(std::nan(""), 'X'), -1);
  EXPECT_EQ(MakeAxis(1.0, {{5, 5}})->GetIndex(5.0, 'X'), -1);
}

TEST(TAxisTest, GetIndexSearchesYForAnyCharacterButX) {
  auto PtrAxis = MakeAxis(1.0, {{0, 10}, {1, 20}});
  EXPECT_EQ(PtrAxis->GetIndex(15.0, 'x'), 0);
  EXPECT_EQ(PtrAxis->GetIndex(0.5, 'X'), 0);
  EXPECT_MESSAGE(PtrAxis->GetIndex(0.5, 'x'), "Ordinate is out of range in TAxis::GetIndex");
}

TEST(TAxisTest, GetIndexRejectsEmptyAndUnfilledAxes) {
  EXPECT_MESSAGE(TAxis(1.0, 0).GetIndex(0.0, 'X'), "Ordinate is out of range in TAxis::GetIndex");
  TAxis Axis(1.0, 3);
  Axis.SetPoint(0, new TPoint(0, 0));
  EXPECT_MESSAGE(Axis.GetIndex(0.0, 'X'), "Axis has an unfilled slot in TAxis::GetIndex");
  Axis.SetPoint(2, new TPoint(2, 0));
  EXPECT_MESSAGE(Axis.GetIndex(0.5, 'X'), "Axis has an unfilled slot in TAxis::GetIndex");
}

TEST(TAxisTest, FindIndexTellsWithoutThrowingWhatGetIndexDoes) {
  using TStatus = TAxis::TLookupStatus;
  TStatus Status = TStatus::kOutOfRange;
  EXPECT_EQ(RisingX()->FindIndex(1.0, 'X', Status), 1);
  EXPECT_EQ(Status, TStatus::kFound);
  EXPECT_EQ(FallingY()->FindIndex(2.0, 'Y', Status), 0);
  EXPECT_EQ(Status, TStatus::kFound);
  EXPECT_EQ(RisingX()->FindIndex(3.0, 'X', Status), -1);
  EXPECT_EQ(Status, TStatus::kNoInterval);
  EXPECT_EQ(RisingX()->FindIndex(std::nan(""), 'X', Status), -1);
  EXPECT_EQ(Status, TStatus::kNoInterval);
  EXPECT_EQ(RisingX()->FindIndex(3.1, 'X', Status), -1);
  EXPECT_EQ(Status, TStatus::kOutOfRange);
  EXPECT_EQ(TAxis(1.0, 0).FindIndex(0.0, 'X', Status), -1);
  EXPECT_EQ(Status, TStatus::kOutOfRange);
  TAxis Gap(1.0, 3);
  Gap.SetPoint(0, new TPoint(0, 0));
  Gap.SetPoint(2, new TPoint(2, 0));
  EXPECT_EQ(Gap.FindIndex(0.5, 'X', Status), -1);
  EXPECT_EQ(Status, TStatus::kUnfilledSlot);
}

TEST(TAxisTest, GetSegmentCopiesInclusiveRange) {
  auto PtrAxis = RisingX();
  std::unique_ptr<TAxis> PtrSegment(PtrAxis->GetSegment(1, 2));
  ASSERT_EQ(PtrSegment->GetSize(), 2);
  EXPECT_EQ(PtrSegment->GetPoint(0)->MbrDblX, 1.0);
  EXPECT_EQ(PtrSegment->GetPoint(1)->MbrDblX, 2.0);
  EXPECT_NE(PtrSegment->GetPoint(0), PtrAxis->GetPoint(1));
  EXPECT_EQ(PtrSegment->MbrDblResolution, 1.0);
}

TEST(TAxisTest, GetSegmentChecksStartThenEndThenOrder) {
  auto PtrAxis = RisingX();
  EXPECT_MESSAGE(PtrAxis->GetSegment(2, 1),
                 "Start index is greater than end index in TAxis::GetSegment");
  EXPECT_MESSAGE(PtrAxis->GetSegment(-1, 2), "Start index is out of range in TAxis::GetSegment");
  EXPECT_MESSAGE(PtrAxis->GetSegment(0, 4), "End index is out of range in TAxis::GetSegment");
  EXPECT_MESSAGE(PtrAxis->GetSegment(-1, 9), "Start index is out of range in TAxis::GetSegment");
}

TEST(TAxisTest, GetSegmentByPointsLooksUpFromFirst) {
  auto PtrAxis = FallingY();
  TPoint North(0, 2.5);
  TPoint South(0, 0.5);
  std::unique_ptr<TAxis> PtrSegment(PtrAxis->GetSegment(&North, &South, 'Y'));
  EXPECT_EQ(PtrSegment->GetSize(), 3);
  TPoint Outside(0, 9);
  EXPECT_MESSAGE(PtrAxis->GetSegment(&Outside, &South, 'Y'),
                 "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(PtrAxis->GetSegment(&South, &North, 'Y'),
                 "Start index is greater than end index in TAxis::GetSegment");
  TPoint Top(0, 3);  // the largest end lies in no interval
  EXPECT_MESSAGE(PtrAxis->GetSegment(&Top, &South, 'Y'),
                 "Start index is out of range in TAxis::GetSegment");
}

TEST(TAxisTest, CloneKeepsKindsResolutionAndEmptySlots) {
  TAxis Axis(2.5, 3);
  Axis.SetPoint(0, new TMapPoint(1, 2, 3));
  Axis.SetPoint(2, new TPoint(4, 5));
  std::unique_ptr<TAxis> PtrCopy(Axis.Clone());
  EXPECT_EQ(PtrCopy->MbrDblResolution, 2.5);
  ASSERT_EQ(PtrCopy->GetSize(), 3);
  auto* PtrMapPoint = dynamic_cast<TMapPoint*>(PtrCopy->GetPoint(0));
  ASSERT_NE(PtrMapPoint, nullptr);
  EXPECT_EQ(PtrMapPoint->MbrDblValue, 3.0);
  EXPECT_EQ(PtrCopy->GetPoint(1), nullptr);
  EXPECT_EQ(PtrCopy->GetPoint(2)->MbrDblY, 5.0);
  EXPECT_NE(PtrCopy->GetPoint(2), Axis.GetPoint(2));
}

TEST(TAxisTest, MoveHandsOverThePoints) {
  auto PtrAxis = RisingX();
  TAxis Moved(std::move(*PtrAxis));
  EXPECT_EQ(Moved.GetSize(), 4);
  TAxis Target(1.0, 1);
  Target.SetPoint(0, new TPoint(9, 9));
  Target = std::move(Moved);  // the replaced point is released (checked by the sanitizers)
  EXPECT_EQ(Target.GetPoint(3)->MbrDblX, 3.0);
}
