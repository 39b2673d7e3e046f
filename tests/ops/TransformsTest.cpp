// tests/ops/TransformsTest.cpp - cell value transforms: per-cell rules, no-data handling, blocks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;

// A one-row map of the given cells.
TMapPtr Row(const std::vector<double>& VecCells, double DblNoData = -9999.0) {
  return MakeMap(10, 20, 1, {VecCells}, DblNoData);
}

// Takes over a one-row result and returns its cells.
std::vector<double> Cells(TMap* PtrResult) {
  return TMapPtr(PtrResult)->GetRow(0);
}

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();
const double kDblInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(TransformsTest, ThresholdKeepsCellsAtExactlyTheThreshold) {
  const TMapPtr PtrMap = Row({4.9, 5, 7, kDblNaN});
  const std::vector<double> VecCells = Cells(TMapTools::Threshold(PtrMap.get(), 5));
  EXPECT_EQ(VecCells, (std::vector<double>{0, 5, 7, 0}));
}

TEST(TransformsTest, ThresholdReplaceReplacesCellsAtExactlyTheThreshold) {
  const TMapPtr PtrMap = Row({4.9, 5, 7});
  EXPECT_EQ(Cells(TMapTools::ThresholdReplace(PtrMap.get(), 5, 1)),
            (std::vector<double>{4.9, 1, 1}));
}

TEST(TransformsTest, ThresholdTurnsNoDataIntoZeroYetDeclaresMinus9999) {
  const TMapPtr PtrMap = Row({-9999, 3}, -9999);
  const TMapPtr PtrResult(TMapTools::Threshold(PtrMap.get(), 0));
  EXPECT_EQ(PtrResult->GetRow(0), (std::vector<double>{0, 3}));
  EXPECT_EQ(PtrResult->MbrDblNoDataValue, -9999.0);
}

TEST(TransformsTest, ThresholdOfAListKeepsTheOrder) {
  const TMapPtr PtrA = Row({1, 9});
  const TMapPtr PtrB = Row({9, 1});
  std::vector<TMap*> VecResult =
      TMapTools::Threshold(std::vector<TMap*>{PtrA.get(), PtrB.get()}, 5);
  ASSERT_EQ(VecResult.size(), 2u);
  EXPECT_EQ(Cells(VecResult[0]), (std::vector<double>{0, 9}));
  EXPECT_EQ(Cells(VecResult[1]), (std::vector<double>{9, 0}));
  EXPECT_TRUE(TMapTools::Threshold(std::vector<TMap*>{}, 5).empty());
}

TEST(TransformsTest, ThresholdOfAListReleasesEarlierResultsWhenOneFails) {
  const TMapPtr PtrGood = Row({1, 9});
  TMap NoAxes(1.0, 2, 1);
  // The sanitizer build reports the first result if it leaks.
  EXPECT_MESSAGE(TMapTools::Threshold(std::vector<TMap*>{PtrGood.get(), &NoAxes}, 5),
                 "Map has no axes in TMapTools::Threshold");
}

TEST(TransformsTest, RoundContentsRoundsHalvesUpOnlyAboveZero) {
  const TMapPtr PtrMap = Row({2.5, 2.49, -2.5, -2.7, 0.5, -0.5});
  EXPECT_EQ(Cells(TMapTools::RoundContents(PtrMap.get())),
            (std::vector<double>{3, 2, -2, -2, 1, 0}));
}

TEST(TransformsTest, RoundContentsGivesPositiveZeroForSmallNegatives) {
  const TMapPtr PtrMap = Row({-0.3, -0.0});
  const std::vector<double> VecCells = Cells(TMapTools::RoundContents(PtrMap.get()));
  EXPECT_FALSE(std::signbit(VecCells[0]));
  EXPECT_FALSE(std::signbit(VecCells[1]));
}

TEST(TransformsTest, RoundContentsHandlesValuesBeyondThe32BitRange) {
  const TMapPtr PtrMap = Row({3e9 + 0.5, -3e9 - 0.7, 1e300, kDblNaN, -kDblInf});
  const std::vector<double> VecCells = Cells(TMapTools::RoundContents(PtrMap.get()));
  EXPECT_EQ(VecCells[0], 3e9 + 1);
  EXPECT_EQ(VecCells[1], -3e9);
  EXPECT_EQ(VecCells[2], 1e300);
  EXPECT_TRUE(std::isnan(VecCells[3]));
  EXPECT_EQ(VecCells[4], -kDblInf);
}

TEST(TransformsTest, ReplaceValueGivesTheDefaultNotTheCellForMissingKeys) {
  const TMapPtr PtrMap = Row({1, 2, 3, kDblNaN, -0.0});
  const std::map<double, double> MapTable{{1, 10}, {2, 20}, {0, 5}};
  EXPECT_EQ(Cells(TMapTools::ReplaceValue(PtrMap.get(), MapTable, 0)),
            (std::vector<double>{10, 20, 0, 0, 5}));
}

TEST(TransformsTest, ReplaceValueFindsExactlyTheKeysOfALargerTable) {
  std::map<double, double> MapTable;
  for (int IntKey = -20; IntKey <= 20; IntKey += 2) {
    MapTable[IntKey] = 100 + IntKey;
  }
  std::vector<double> VecCells;
  for (double DblCell = -23; DblCell <= 23; DblCell += 0.5) {
    VecCells.push_back(DblCell);
  }
  const TMapPtr PtrMap = Row(VecCells);
  const std::vector<double> VecResult = Cells(TMapTools::ReplaceValue(PtrMap.get(), MapTable, -1));
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    const auto It = MapTable.find(VecCells[LngI]);
    EXPECT_EQ(VecResult[LngI], It == MapTable.end() ? -1 : It->second) << VecCells[LngI];
  }
  EXPECT_EQ(Cells(TMapTools::ReplaceValue(PtrMap.get(), {}, 7)),
            std::vector<double>(VecCells.size(), 7));
}

TEST(TransformsTest, ConstantMultiplyGuardsMinus9999WhateverTheInputNoDataIs) {
  const double DblLowest = -3.4e38;
  const TMapPtr PtrWide = Row({DblLowest, 2}, DblLowest);
  EXPECT_EQ(Cells(TMapTools::Multiply(PtrWide.get(), 2)), (std::vector<double>{2 * DblLowest, 4}));
  const TMapPtr PtrPlain = Row({-9999, 2}, -9999);
  EXPECT_EQ(Cells(TMapTools::Multiply(PtrPlain.get(), 2)), (std::vector<double>{-9999, 4}));
  const TMapPtr PtrZero = Row({-9999, 0, 2}, 0);
  EXPECT_EQ(Cells(TMapTools::Multiply(PtrZero.get(), 3)), (std::vector<double>{-9999, 0, 6}));
}

TEST(TransformsTest, ConstantDivideGuardsTheInputNoDataButDeclaresMinus9999) {
  const TMapPtr PtrMap = Row({0, 4, -9999}, 0);
  const TMapPtr PtrResult(TMapTools::Divide(PtrMap.get(), 2));
  EXPECT_EQ(PtrResult->GetRow(0), (std::vector<double>{0, 2, -4999.5}));
  EXPECT_EQ(PtrResult->MbrDblNoDataValue, -9999.0);
}

TEST(TransformsTest, ConstantDivideByZeroGivesInfinityAndNaN) {
  const TMapPtr PtrMap = Row({3, 0, -9999});
  const std::vector<double> VecCells = Cells(TMapTools::Divide(PtrMap.get(), 0.0));
  EXPECT_EQ(VecCells[0], kDblInf);
  EXPECT_TRUE(std::isnan(VecCells[1]));
  EXPECT_EQ(VecCells[2], -9999);
}

TEST(TransformsTest, ResultTakesTheInputGridAndLeavesTheInputAlone) {
  const TMapPtr PtrMap = MakeMap(100, 200, 5, {{1, 2}, {3, 4}}, -1);
  const TMapPtr PtrResult(TMapTools::Multiply(PtrMap.get(), 10));
  EXPECT_EQ(PtrResult->GetRow(1), (std::vector<double>{30, 40}));
  EXPECT_EQ(PtrMap->GetRow(1), (std::vector<double>{3, 4}));
  EXPECT_EQ(PtrResult->MbrDblResolution, 5);
  EXPECT_EQ(PtrResult->MbrPtrXAxis->GetPoint(1)->MbrDblX,
            PtrMap->MbrPtrXAxis->GetPoint(1)->MbrDblX);
  EXPECT_EQ(PtrResult->MbrPtrYAxis->GetPoint(1)->MbrDblY,
            PtrMap->MbrPtrYAxis->GetPoint(1)->MbrDblY);
}

TEST(TransformsTest, MapWithoutAxesFailsWithAMessage) {
  TMap NoAxes(1.0, 2, 2);
  EXPECT_MESSAGE(TMapTools::Multiply(&NoAxes, 2), "Map has no axes in TMapTools::Multiply");
  EXPECT_MESSAGE(TMapTools::RoundContents(&NoAxes), "Map has no axes in TMapTools::RoundContents");
}

TEST(TransformsTest, AMapGrownPastItsAxesFailsAsTheFirstWriteBeyondThemWould) {
  // AddRow leaves the axes as they were: results on those axes have one row less than the grid.
  auto PtrGrown = MakeMap(0, 0, 1, {{1, 2}});
  PtrGrown->AddRow({3, 4});
  const char* PtrMessage = "Y-ordinate is out of range in TMap::SetPoint";
  EXPECT_MESSAGE(TMapTools::RoundContents(PtrGrown.get()), PtrMessage);
  EXPECT_MESSAGE(TMapTools::Mask(PtrGrown.get(), PtrGrown.get(), 1, 0), PtrMessage);
  EXPECT_MESSAGE(TMapTools::Sum({PtrGrown.get(), PtrGrown.get()}), PtrMessage);
  EXPECT_MESSAGE(TMapTools::Average({PtrGrown.get(), PtrGrown.get()}), PtrMessage);
  EXPECT_MESSAGE(TMapTools::ValueGradients({PtrGrown.get(), PtrGrown.get()}, 1), PtrMessage);
}

TEST(TransformsTest, MaskReadsOnlyTheSourceAndPlacesItOnTheGridMap) {
  const TMapPtr PtrGrid = MakeMap(500, 600, 2, {{7, 7}, {7, 7}});
  const TMapPtr PtrSource = MakeMap(0, 0, 2, {{1, 2}, {2, 3}});
  const TMapPtr PtrResult(TMapTools::Mask(PtrGrid.get(), PtrSource.get(), 2, -1));
  EXPECT_EQ(PtrResult->GetRow(0), (std::vector<double>{1, -1}));
  EXPECT_EQ(PtrResult->GetRow(1), (std::vector<double>{-1, 3}));
  EXPECT_EQ(PtrResult->MbrPtrXAxis->GetPoint(0)->MbrDblX, 501);
}

TEST(TransformsTest, MaskChecksXDimensionsBeforeY) {
  const TMapPtr PtrTwoByTwo = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  const TMapPtr PtrThreeByOne = MakeMap(0, 0, 1, {{1, 2, 3}});
  const TMapPtr PtrTwoByOne = MakeMap(0, 0, 1, {{1, 2}});
  EXPECT_MESSAGE(TMapTools::Mask(PtrTwoByTwo.get(), PtrThreeByOne.get(), 0, 0),
                 "X dimensions do not match in TMapTools::Mask");
  EXPECT_MESSAGE(TMapTools::Mask(PtrTwoByTwo.get(), PtrTwoByOne.get(), 0, 0),
                 "Y dimensions do not match in TMapTools::Mask");
}

TEST(TransformsTest, FillBlockWithEqualEdgesSetsExactlyOneCell) {
  const TMapPtr PtrMap = MakeMap(0, 0, 1, {{0, 0, 0}, {0, 0, 0}});
  TMapTools::FillBlock(PtrMap.get(), 8, 1, 1, 2, 2);
  EXPECT_EQ(PtrMap->GetRow(0), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(PtrMap->GetRow(1), (std::vector<double>{0, 0, 8}));
  TMapTools::FillBlock(PtrMap.get(), 5, 0, 1, 0, 1);
  EXPECT_EQ(PtrMap->GetRow(0), (std::vector<double>{5, 5, 0}));
  EXPECT_EQ(PtrMap->GetRow(1), (std::vector<double>{5, 5, 8}));
}

TEST(TransformsTest, FillBlockChecksOrderThenRowsThenColumnsAndChangesNothing) {
  const TMapPtr PtrMap = MakeMap(0, 0, 1, {{0, 0, 0}, {0, 0, 0}});
  // Inverted edges are reported before edges that are also out of range.
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, 9, 5, 7, 3),
                 "Northern edge must be less than southern edge in TMapTools::FillBlock");
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, 5, 9, 7, 3),
                 "Western edge must be less than eastern edge in TMapTools::FillBlock");
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, -1, 9, -1, 9),
                 "Northern ordinate is out of range in TMapTools::FillBlock");
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, 0, 2, -1, 9),
                 "Southern ordinate is out of range in TMapTools::FillBlock");
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, 0, 1, -1, 1),
                 "Western ordinate is out of range in TMapTools::FillBlock");
  EXPECT_MESSAGE(TMapTools::FillBlock(PtrMap.get(), 1, 0, 1, 0, 3),
                 "Eastern ordinate is out of range in TMapTools::FillBlock");
  EXPECT_EQ(PtrMap->GetRow(0), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(PtrMap->GetRow(1), (std::vector<double>{0, 0, 0}));
}

TEST(TransformsTest, BufferIndicesWidensAndClampsToTheMap) {
  TMap Map(1.0, 10, 10);
  long LngNorth = 1, LngSouth = 3, LngWest = 8, LngEast = 9;
  TMapTools::BufferIndices(&Map, 2, LngNorth, LngSouth, LngWest, LngEast);
  EXPECT_EQ(LngNorth, 0);
  EXPECT_EQ(LngSouth, 5);
  EXPECT_EQ(LngWest, 6);
  EXPECT_EQ(LngEast, 9);
  // An edge exactly the width away from the border lands on it.
  LngNorth = 2, LngSouth = 7, LngWest = 2, LngEast = 7;
  TMapTools::BufferIndices(&Map, 2, LngNorth, LngSouth, LngWest, LngEast);
  EXPECT_EQ(LngNorth, 0);
  EXPECT_EQ(LngSouth, 9);
  EXPECT_EQ(LngWest, 0);
  EXPECT_EQ(LngEast, 9);
}

TEST(TransformsTest, BufferIndicesWithExtremeWidthsDoesNotOverflow) {
  TMap Map(1.0, 10, 10);
  long LngNorth = 1, LngSouth = 3, LngWest = 4, LngEast = 5;
  TMapTools::BufferIndices(&Map, LONG_MAX, LngNorth, LngSouth, LngWest, LngEast);
  EXPECT_EQ(LngWest, 0);
  EXPECT_EQ(LngEast, 9);
  // A negative width moves the edges inwards by its size, saturating at the limits of long.
  TMapTools::BufferIndices(&Map, LONG_MIN, LngNorth, LngSouth, LngWest, LngEast);
  EXPECT_EQ(LngWest, LONG_MAX);
  EXPECT_EQ(LngEast, LONG_MIN + 9);
  EXPECT_EQ(LngNorth, LONG_MAX);
  EXPECT_EQ(LngSouth, LONG_MIN + 9);
}
