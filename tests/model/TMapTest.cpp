// tests/model/TMapTest.cpp - the map grid: construction, cells by index and by coordinates, axes.
#include "model/TMap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeAxis;
using tessgrid_test::MakeMap;

namespace {

// The worked example: 3 columns, 2 rows, south-western corner (0, 0), resolution 1.
std::unique_ptr<TMap> Example() {
  return MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
}

double Value(const TMap& Map, double DblX, double DblY) {
  TPoint Point(DblX, DblY);
  return Map.GetPointVal(&Point);
}

}  // namespace

TEST(TMapTest, SizedConstructorFillsNoDataWithoutAxes) {
  TMap Map(2.0, 3, 2);
  EXPECT_EQ(Map.MbrLngXDim, 3);
  EXPECT_EQ(Map.MbrLngYDim, 2);
  ASSERT_EQ(Map.MbrVecValues.size(), 2u);
  EXPECT_EQ(Map.MbrVecValues[1], std::vector<double>(3, -9999.0));
  EXPECT_EQ(Map.MbrDblNoDataValue, -9999.0);
  EXPECT_EQ(Map.MbrPtrXAxis, nullptr);
  EXPECT_EQ(Map.MbrPtrYAxisInterval, nullptr);
}

TEST(TMapTest, NegativeDimensionsAreStoredWithoutCells) {
  TMap Map(1.0, -2, 3);
  EXPECT_EQ(Map.MbrLngXDim, -2);
  ASSERT_EQ(Map.MbrVecValues.size(), 3u);
  EXPECT_TRUE(Map.MbrVecValues[0].empty());
}

TEST(TMapTest, AxesConstructorChecksResolutionsAndDerivesEdges) {
  auto PtrX = MakeAxis(1.0, {{0.5, 0}, {1.5, 0}, {2.5, 0}, {3.5, 0}});
  auto PtrY = MakeAxis(1.0, {{0, 2.5}, {0, 1.5}, {0, 0.5}});
  TMap Map(PtrX.get(), PtrY.get());
  EXPECT_EQ(Map.MbrLngXDim, 4);
  EXPECT_EQ(Map.MbrLngYDim, 3);
  EXPECT_EQ(Map.MbrPtrXAxisInterval->GetSize(), 5);
  EXPECT_EQ(Map.MbrPtrYAxisInterval->GetSize(), 4);
  EXPECT_EQ(Map.GetPointVal(3, 2), -9999.0);
  EXPECT_NE(Map.MbrPtrXAxis, PtrX.get());
  auto PtrCoarse = MakeAxis(2.0, {{0, 2.5}, {0, 0.5}});
  EXPECT_MESSAGE(TMap(PtrX.get(), PtrCoarse.get()), "Axes resolutions do not match in TMap::TMap");
  auto PtrNan = MakeAxis(std::nan(""), {{0, 1}});
  EXPECT_MESSAGE(TMap(PtrNan.get(), PtrNan.get()), "Axes resolutions do not match in TMap::TMap");
}

TEST(TMapTest, WorkedExampleFindsCellsAndCentres) {
  auto PtrMap = Example();
  EXPECT_EQ(PtrMap->MbrPtrXAxis->GetPoint(0)->MbrDblX, 0.5);
  EXPECT_EQ(PtrMap->MbrPtrYAxis->GetPoint(1)->MbrDblY, 0.5);
  EXPECT_EQ(Value(*PtrMap, 2.2, 0.3), 6.0);  // column 2, row 1
  EXPECT_EQ(Value(*PtrMap, 1, 1), 2.0);      // column 1, row 0
  EXPECT_EQ(Value(*PtrMap, 0, 0), 4.0);      // column 0, row 1
  std::unique_ptr<TPoint> PtrCentre(PtrMap->GetCoordinates(0, 0));
  EXPECT_EQ(PtrCentre->MbrDblX, 0.5);
  EXPECT_EQ(PtrCentre->MbrDblY, 1.5);
}

TEST(TMapTest, InlineAccessorChecksColumnBeforeRow) {
  auto PtrMap = Example();
  EXPECT_MESSAGE(PtrMap->GetPointVal(3, -1), "X-ordinate is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(PtrMap->GetPointVal(-1, 0), "X-ordinate is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(PtrMap->GetPointVal(0, -1), "Y-ordinate is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(PtrMap->GetPointVal(0, 2), "Y-ordinate is out of range in TMap::GetPointVal");
}

TEST(TMapTest, SetPointByIndexIsBoundsChecked) {
  auto PtrMap = Example();
  PtrMap->SetPoint(2, 1, 9.0);
  EXPECT_EQ(PtrMap->GetPointVal(2, 1), 9.0);
  EXPECT_MESSAGE(PtrMap->SetPoint(3, -1, 0), "X-ordinate is out of range in TMap::SetPoint");
  EXPECT_MESSAGE(PtrMap->SetPoint(0, 2, 0), "Y-ordinate is out of range in TMap::SetPoint");
}

TEST(TMapTest, PointsOnEdgesGoEastAndNorthWithinTheMap) {
  auto PtrMap = Example();
  EXPECT_EQ(Value(*PtrMap, 1.0, 0.5), 5.0);  // column boundary reads the eastern column
  EXPECT_EQ(Value(*PtrMap, 0.5, 1.0), 1.0);  // row boundary reads the northern row
  EXPECT_EQ(Value(*PtrMap, 0.0, 0.5), 4.0);  // western edge
  EXPECT_EQ(Value(*PtrMap, 0.5, 0.0), 4.0);  // southern edge
}

TEST(TMapTest, OuterEastAndNorthEdgesAreRejectedByEachCaller) {
  auto PtrMap = Example();
  TPoint East(3.0, 0.5);
  TPoint North(0.5, 2.0);
  EXPECT_EQ(PtrMap->GetIndex(3.0, 'X'), -1);
  EXPECT_MESSAGE(PtrMap->GetPointVal(&East), "LngX is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(PtrMap->GetPointVal(&North), "LngY is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(PtrMap->GetPoint(&East), "LngX is out of range in TMap::GetPoint (TPoint*)");
  EXPECT_MESSAGE(PtrMap->GetPoint(&North), "LngY is out of range in TMap::GetPoint (TPoint*)");
  EXPECT_MESSAGE(PtrMap->SetPoint(&East, 1), "LngX is out of range in TMap::SetPoint (TPoint*)");
  EXPECT_MESSAGE(PtrMap->SetPoint(&North, 1), "LngY is out of range in TMap::SetPoint (TPoint*)");
  TPoint Nan(std::nan(""), 0.5);
  EXPECT_MESSAGE(PtrMap->SetPoint(&Nan, 1), "LngX is out of range in TMap::SetPoint (TPoint*)");
}

TEST(TMapTest, PointsOutsideFailInTheAxisSearchXFirst) {
  auto PtrMap = Example();
  TPoint West(-0.1, 9.0);
  EXPECT_MESSAGE(PtrMap->GetPointVal(&West), "Ordinate is out of range in TAxis::GetIndex");
  TPoint South(0.5, -0.1);
  EXPECT_MESSAGE(PtrMap->SetPoint(&South, 1), "Ordinate is out of range in TAxis::GetIndex");
}

TEST(TMapTest, GetPointByIndexGivesCentreAndByPointGivesThePointItself) {
  auto PtrMap = Example();
  std::unique_ptr<TMapPoint> PtrCell(PtrMap->GetPoint(1, 1));
  EXPECT_EQ(PtrCell->MbrDblX, 1.5);
  EXPECT_EQ(PtrCell->MbrDblY, 0.5);
  EXPECT_EQ(PtrCell->MbrDblValue, 5.0);
  TPoint Probe(1.2, 0.3);
  std::unique_ptr<TMapPoint> PtrAt(PtrMap->GetPoint(&Probe));
  EXPECT_EQ(PtrAt->MbrDblX, 1.2);
  EXPECT_EQ(PtrAt->MbrDblValue, 5.0);
  EXPECT_MESSAGE(PtrMap->GetPoint(3, 0), "LngX is out of range in TMap::GetPoint (long,long)");
  EXPECT_MESSAGE(PtrMap->GetPoint(0, 2), "LngY is out of range in TMap::GetPoint (long,long)");
}

TEST(TMapTest, GetCoordinatesChecksAgainstCentreAxes) {
  auto PtrMap = Example();
  EXPECT_MESSAGE(PtrMap->GetCoordinates(3, 0),
                 "LngX is out of range for the X-axis in TMap::GetCoordinates");
  EXPECT_MESSAGE(PtrMap->GetCoordinates(0, -1),
                 "LngY is out of range for the Y-axis in TMap::GetCoordinates");
}

TEST(TMapTest, CentreAxisWithAnEmptyInnerSlotFailsAtThatSlot) {
  TAxis XCentres(1, 3);
  XCentres.SetPoint(0, new TPoint(0.5, 0));
  XCentres.SetPoint(2, new TPoint(2.5, 0));
  TMap Map(&XCentres, MakeAxis(1, {{0, 0.5}}).get());
  const std::unique_ptr<TPoint> PtrCentre(Map.GetCoordinates(2, 0));
  EXPECT_EQ(PtrCentre->MbrDblX, 2.5);
  EXPECT_MESSAGE(Map.GetCoordinates(1, 0), "Axis has an unfilled slot in TMap::GetCoordinates");
  EXPECT_MESSAGE(Map.GetPoint(1, 0), "Axis has an unfilled slot in TMap::GetCoordinates");
}

TEST(TMapTest, MapWithoutAxesFailsClearly) {
  TMap Map(1.0, 2, 2);
  TPoint Point(0, 0);
  EXPECT_MESSAGE(Map.GetCoordinates(0, 0), "Map has no axes in TMap::GetCoordinates");
  EXPECT_MESSAGE(Map.GetPoint(0, 0), "Map has no axes in TMap::GetCoordinates");
  EXPECT_MESSAGE(Map.GetPointVal(&Point), "Map has no axes in TMap::GetIndex");
  EXPECT_MESSAGE(Map.SetPoint(&Point, 1), "Map has no axes in TMap::GetIndex");
}

TEST(TMapTest, GetPointValuesFailsAsAWhole) {
  auto PtrMap = Example();
  TPoint A(0.5, 0.5);
  TPoint B(2.5, 1.5);
  TPoint Outside(9, 9);
  EXPECT_EQ(PtrMap->GetPointValues({&A, &B}), (std::vector<double>{4, 3}));
  EXPECT_MESSAGE(PtrMap->GetPointValues({&A, &Outside}),
                 "Ordinate is out of range in TAxis::GetIndex");
}

TEST(TMapTest, AxisSettersCheckLengthsAndKeepOldAxesOnFailure) {
  auto PtrMap = Example();
  TAxis* PtrOldX = PtrMap->MbrPtrXAxis;
  auto PtrShort = MakeAxis(1.0, {{0.5, 0}, {1.5, 0}});
  EXPECT_MESSAGE(PtrMap->SetXAxis(PtrShort.get()),
                 "Length of new X axis does not match the X dimension of the map");
  EXPECT_EQ(PtrMap->MbrPtrXAxis, PtrOldX);
  auto PtrThree = MakeAxis(1.0, {{0, 0}, {1, 0}, {2, 0}});
  EXPECT_MESSAGE(PtrMap->SetXAxisInterval(PtrThree.get()),
                 "Length of new X interval axis does not fit the X dimension of the map");
  EXPECT_MESSAGE(PtrMap->SetYAxis(PtrThree.get()),
                 "Length of new Y axis does not match the Y dimension of the map");
  EXPECT_MESSAGE(PtrMap->SetYAxisInterval(PtrShort.get()),
                 "Length of new Y interval axis does not fit the Y dimension of the map");
}

TEST(TMapTest, IntervalSettersCompareLengthsWithoutOverflow) {
  TMap Map(1.0);
  Map.MbrLngXDim = LONG_MAX;
  Map.MbrLngYDim = LONG_MAX;
  auto PtrEdges = MakeAxis(1.0, {{0, 0}, {1, 0}});
  EXPECT_MESSAGE(Map.SetXAxisInterval(PtrEdges.get()),
                 "Length of new X interval axis does not fit the X dimension of the map");
  EXPECT_MESSAGE(Map.SetYAxisInterval(PtrEdges.get()),
                 "Length of new Y interval axis does not fit the Y dimension of the map");
}

TEST(TMapTest, AxisSettersDeriveThePartner) {
  TMap Map(2.0, 2, 1);
  auto PtrEdges = MakeAxis(2.0, {{10, 0}, {12, 0}, {14, 0}});
  Map.SetXAxisInterval(PtrEdges.get());
  EXPECT_EQ(Map.MbrPtrXAxis->GetPoint(1)->MbrDblX, 13.0);
  auto PtrCentres = MakeAxis(2.0, {{5, 0}, {7, 0}});
  Map.SetXAxis(PtrCentres.get());
  EXPECT_EQ(Map.MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 4.0);
  EXPECT_EQ(Map.MbrPtrXAxisInterval->GetSize(), 3);
}

TEST(TMapTest, GetRowCopiesNorthernRowFirst) {
  auto PtrMap = Example();
  EXPECT_EQ(PtrMap->GetRow(0), (std::vector<double>{1, 2, 3}));
  EXPECT_MESSAGE(PtrMap->GetRow(2), "Index is out of bounds in TMap::GetRow");
  EXPECT_MESSAGE(PtrMap->GetRow(-1), "Index is out of bounds in TMap::GetRow");
}

TEST(TMapTest, AddRowTakesWidthFromFirstRowAndRejectsOtherLengths) {
  TMap Map(1.0);
  Map.AddRow({1, 2});
  Map.AddRow({3, 4});
  EXPECT_EQ(Map.MbrLngXDim, 2);
  EXPECT_EQ(Map.MbrLngYDim, 2);
  EXPECT_MESSAGE(Map.AddRow({5}),
                 "Row length does not match the X dimension of the map in TMap::AddRow");
  EXPECT_EQ(Map.MbrLngYDim, 2);
  EXPECT_EQ(Map.MbrVecValues.size(), 2u);
  TMap Sized(1.0, 3, 0);
  EXPECT_MESSAGE(Sized.AddRow({1, 2}),
                 "Row length does not match the X dimension of the map in TMap::AddRow");
}

TEST(TMapTest, InitValuesFillsEveryCell) {
  auto PtrMap = Example();
  PtrMap->InitValues(0.25);
  EXPECT_EQ(PtrMap->GetPointVal(2, 1), 0.25);
  EXPECT_EQ(PtrMap->GetPointVal(0, 0), 0.25);
}

TEST(TMapTest, InitOnALiveMapReplacesGridAndAxes) {
  auto PtrMap = Example();
  PtrMap->Init(5.0, 1, 4, -1.0);
  EXPECT_EQ(PtrMap->MbrVecValues.size(), 4u);
  EXPECT_EQ(PtrMap->MbrVecValues[3], std::vector<double>{-1.0});
  EXPECT_EQ(PtrMap->MbrPtrXAxis, nullptr);
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -1.0);
}

TEST(TMapTest, MoveHandsOverGridAndAxes) {
  auto PtrMap = Example();
  TMap Moved(std::move(*PtrMap));
  EXPECT_EQ(PtrMap->MbrPtrXAxis, nullptr);
  EXPECT_EQ(Value(Moved, 2.5, 1.5), 3.0);
  TMap Target(1.0, 1, 1);
  Target = std::move(Moved);
  EXPECT_EQ(Target.MbrLngXDim, 3);
}
