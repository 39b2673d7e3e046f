// tests/ops/ExtentsTest.cpp - map extents: Extract, Insert, Intersection and FindPatchExtent, on
// maps built as the grid reader builds them (Y edges falling) and on maps whose Y edges rise.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeAxis;
using tessgrid_test::MakeMap;

namespace {

using TGrid = std::vector<std::vector<double>>;
using TMapPtr = std::unique_ptr<TMap>;

// A map of LngCols x LngRows cells of resolution 1 whose Y edges rise: row 0 is the southern
// row, with its south-western corner at (x0, y0). Cell (c, r) holds 10 c + r.
TMapPtr MakeAscendingMap(double DblX0, double DblY0, long LngCols, long LngRows) {
  std::vector<std::pair<double, double>> VecX;
  std::vector<std::pair<double, double>> VecY;
  for (long LngC = 0; LngC < LngCols; ++LngC) {
    VecX.emplace_back(DblX0 + 0.5 + static_cast<double>(LngC), DblY0);
  }
  for (long LngR = 0; LngR < LngRows; ++LngR) {
    VecY.emplace_back(DblX0, DblY0 + 0.5 + static_cast<double>(LngR));
  }
  auto PtrMap = std::make_unique<TMap>(MakeAxis(1, VecX).get(), MakeAxis(1, VecY).get());
  for (long LngC = 0; LngC < LngCols; ++LngC) {
    for (long LngR = 0; LngR < LngRows; ++LngR) {
      PtrMap->SetPoint(LngC, LngR, static_cast<double>(10 * LngC + LngR));
    }
  }
  return PtrMap;
}

// A file map of LngCols x LngRows cells of the given resolution; cell (c, r) holds 10 c + r.
TMapPtr MakeNumberedMap(double DblX0, double DblY0, double DblResolution, long LngCols,
                        long LngRows) {
  TGrid VecRows(static_cast<std::size_t>(LngRows), std::vector<double>(LngCols));
  for (long LngR = 0; LngR < LngRows; ++LngR) {
    for (long LngC = 0; LngC < LngCols; ++LngC) {
      VecRows[static_cast<std::size_t>(LngR)][static_cast<std::size_t>(LngC)] =
          static_cast<double>(10 * LngC + LngR);
    }
  }
  return MakeMap(DblX0, DblY0, DblResolution, VecRows);
}

std::vector<double> Centres(const TAxis* PtrAxis, char ChrAxis) {
  std::vector<double> VecC;
  for (const TPoint* PtrPoint : PtrAxis->MbrVecPoints) {
    VecC.push_back(ChrAxis == 'X' ? PtrPoint->MbrDblX : PtrPoint->MbrDblY);
  }
  return VecC;
}

bool YEdgesFall(const TMap& Map) {
  const TAxis* PtrEdges = Map.MbrPtrYAxisInterval;
  return PtrEdges->MbrVecPoints.front()->MbrDblY > PtrEdges->MbrVecPoints.back()->MbrDblY;
}

void ExpectSameCells(const TMap& A, const TMap& B) {
  EXPECT_EQ(A.MbrVecValues, B.MbrVecValues);
  EXPECT_EQ(Centres(A.MbrPtrXAxis, 'X'), Centres(B.MbrPtrXAxis, 'X'));
  EXPECT_EQ(Centres(A.MbrPtrYAxis, 'Y'), Centres(B.MbrPtrYAxis, 'Y'));
}

void Insert(TMap& Destination, const TMap& Insert) {
  TMapTools::Insert(&Destination, &Insert);
}

// Runs Intersection and takes over both results.
void Intersect(const TMap& A, const TMap& B, TMapPtr& PtrOutA, TMapPtr& PtrOutB) {
  TMap* PtrA = nullptr;
  TMap* PtrB = nullptr;
  TMapTools::Intersection(&A, &B, PtrA, PtrB);
  PtrOutA.reset(PtrA);
  PtrOutB.reset(PtrB);
}

}  // namespace

// --- Extract ---------------------------------------------------------------------------------

TEST(ExtentsTest, ExtractTakesCornersInEitherOrder) {
  const TMapPtr PtrMap = MakeNumberedMap(0, 0, 1, 4, 3);
  TPoint SouthWest(0.5, 0.5);
  TPoint NorthEast(2.5, 1.5);
  TPoint NorthWest(0.5, 1.5);
  TPoint SouthEast(2.5, 0.5);
  const TMapPtr PtrA(TMapTools::Extract(PtrMap.get(), &SouthWest, &NorthEast));
  const TMapPtr PtrB(TMapTools::Extract(PtrMap.get(), &NorthEast, &SouthWest));
  const TMapPtr PtrC(TMapTools::Extract(PtrMap.get(), &NorthWest, &SouthEast));
  EXPECT_EQ(PtrA->MbrVecValues, (TGrid{{1, 11, 21}, {2, 12, 22}}));
  EXPECT_EQ(Centres(PtrA->MbrPtrXAxis, 'X'), (std::vector<double>{0.5, 1.5, 2.5}));
  EXPECT_EQ(Centres(PtrA->MbrPtrYAxis, 'Y'), (std::vector<double>{1.5, 0.5}));
  EXPECT_TRUE(YEdgesFall(*PtrA));
  ExpectSameCells(*PtrA, *PtrB);
  ExpectSameCells(*PtrA, *PtrC);
}

TEST(ExtentsTest, ExtractInsideOneCellGivesThatCellWithNoDataMinus9999) {
  const TMapPtr PtrMap = MakeMap(10, 20, 2, {{1, 2}, {3, -1}}, -1);
  TPoint P1(12.2, 20.1);
  TPoint P2(13.9, 21.7);
  const TMapPtr PtrCell(TMapTools::Extract(PtrMap.get(), &P1, &P2));
  EXPECT_EQ(PtrCell->MbrVecValues, (TGrid{{-1}}));
  EXPECT_EQ(PtrCell->MbrDblNoDataValue, -9999);
  EXPECT_EQ(PtrCell->MbrDblResolution, 2);
  EXPECT_EQ(Centres(PtrCell->MbrPtrXAxis, 'X'), std::vector<double>{13});
  EXPECT_EQ(Centres(PtrCell->MbrPtrYAxis, 'Y'), std::vector<double>{21});
  // A single row keeps the falling Y edges of its map.
  EXPECT_TRUE(YEdgesFall(*PtrCell));
  EXPECT_EQ(PtrCell->MbrPtrYAxisInterval->MbrVecPoints[0]->MbrDblY, 22);
}

TEST(ExtentsTest, ExtractRejectsCornersOutsideTheMapOrOnItsOuterEdge) {
  const TMapPtr PtrMap = MakeNumberedMap(0, 0, 1, 3, 3);
  TPoint Inside(1.5, 1.5);
  TPoint West(-0.1, 1.5);
  TPoint NorthEdge(1.5, 3);
  EXPECT_MESSAGE(TMapTools::Extract(PtrMap.get(), &West, &Inside),
                 "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(TMapTools::Extract(PtrMap.get(), &Inside, &NorthEdge),
                 "Start index is out of range in TAxis::GetSegment");
  TMap Bare(1.0, 2, 2);
  EXPECT_MESSAGE(TMapTools::Extract(&Bare, &Inside, &Inside), "Map has no axes in TMap::GetIndex");
}

// --- Insert ----------------------------------------------------------------------------------

TEST(ExtentsTest, InsertOfTheSameExtentReplacesEveryCell) {
  const TMapPtr PtrDestination = MakeMap(0, 0, 1, {{0, 0}, {0, 0}}, -5);
  const TMapPtr PtrInsert = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  Insert(*PtrDestination, *PtrInsert);
  EXPECT_EQ(PtrDestination->MbrVecValues, (TGrid{{1, 2}, {3, 4}}));
  EXPECT_EQ(PtrDestination->MbrDblNoDataValue, -5);
}

TEST(ExtentsTest, InsertStrictlyInsideAFileMapWritesOnlyTheCellsUnderIt) {
  const TMapPtr PtrDestination = MakeMap(0, 0, 1, TGrid(4, std::vector<double>(5, 0)));
  const TMapPtr PtrInsert = MakeMap(1, 1, 1, {{7, 8}, {9, 6}});
  Insert(*PtrDestination, *PtrInsert);
  EXPECT_EQ(PtrDestination->MbrVecValues,
            (TGrid{{0, 0, 0, 0, 0}, {0, 7, 8, 0, 0}, {0, 9, 6, 0, 0}, {0, 0, 0, 0, 0}}));
}

TEST(ExtentsTest, InsertCornerTestsOnFileMapsLeaveTheDestinationUnchanged) {
  const TMapPtr PtrDestination = MakeNumberedMap(0, 0, 1, 4, 4);
  const TGrid VecBefore = PtrDestination->MbrVecValues;
  const TGrid VecOnes(2, std::vector<double>(2, 1));
  const char* PtrNW =
      "Insert map's NW corner is outside of the destination map in TMapTools::Insert";
  const char* PtrSE =
      "Insert map's SE corner is outside of the destination map in TMapTools::Insert";
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeMap(1, 2.5, 1, VecOnes)), PtrNW);   // north
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeMap(-0.5, 1, 1, VecOnes)), PtrNW);  // west
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeMap(1, -0.5, 1, VecOnes)), PtrSE);  // south
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeMap(2.5, 1, 1, VecOnes)), PtrSE);   // east
  EXPECT_EQ(PtrDestination->MbrVecValues, VecBefore);
  // Touching the destination's outer edges from inside passes.
  EXPECT_NO_THROW(Insert(*PtrDestination, *MakeMap(2, 2, 1, VecOnes)));
  EXPECT_NO_THROW(Insert(*PtrDestination, *MakeMap(0, 0, 1, VecOnes)));
}

TEST(ExtentsTest, InsertOfAFinerMapKeepsTheLastCellInEachDestinationCell) {
  const TMapPtr PtrDestination = MakeMap(0, 0, 2, {{0, 0}, {0, 0}});
  const TMapPtr PtrInsert = MakeNumberedMap(0, 0, 1, 4, 4);
  Insert(*PtrDestination, *PtrInsert);
  // Destination cell (c, r) holds insert cells 2c..2c+1 x 2r..2r+1; the last is (2c+1, 2r+1).
  EXPECT_EQ(PtrDestination->MbrVecValues, (TGrid{{11, 31}, {13, 33}}));
}

TEST(ExtentsTest, InsertOfACoarserMapWritesTheCellsHoldingItsCentres) {
  const TMapPtr PtrDestination = MakeMap(0, 0, 1, TGrid(4, std::vector<double>(4, 0)));
  const TMapPtr PtrInsert = MakeMap(0, 0, 2, {{1, 2}, {3, 4}});
  Insert(*PtrDestination, *PtrInsert);
  // Centres at x = 1, 3 and y = 3, 1 lie on inner edges: the cells east and north of them.
  EXPECT_EQ(PtrDestination->MbrVecValues,
            (TGrid{{0, 1, 0, 2}, {0, 0, 0, 0}, {0, 3, 0, 4}, {0, 0, 0, 0}}));
}

TEST(ExtentsTest, InsertDecidesEveryCellBeforeWritingAny) {
  // A map with rising Y edges passes the corner tests of a file map while reaching north of it.
  const TMapPtr PtrDestination = MakeNumberedMap(0, 0, 1, 3, 3);
  const TGrid VecBefore = PtrDestination->MbrVecValues;
  // Row 0 (centre y 2.5) fits; row 1 (centre y 3.5) lies north of the destination.
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeAscendingMap(0, 2, 2, 2)),
                 "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_EQ(PtrDestination->MbrVecValues, VecBefore);
  // A centre exactly on the northern outer edge falls in no row.
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeAscendingMap(0, 2.5, 2, 1)),
                 "LngY is out of range in TMap::SetPoint (TPoint*)");
  EXPECT_EQ(PtrDestination->MbrVecValues, VecBefore);
}

TEST(ExtentsTest, InsertOfAMapWithoutCellsChangesNothingWhereverItsCentresLie) {
  const TMapPtr PtrDestination = MakeNumberedMap(0, 0, 1, 2, 2);
  const TGrid VecBefore = PtrDestination->MbrVecValues;
  // No columns, one row of no height on the destination's northern edge: that centre has no row.
  Insert(*PtrDestination, *MakeMap(0, 2, 0, {{}}));
  EXPECT_EQ(PtrDestination->MbrVecValues, VecBefore);
  // No rows, one column of no width on the eastern edge: that centre has no column.
  TMap NoRows(0.0, 1, 0);
  NoRows.SetXAxisInterval(MakeAxis(0, {{2, 2}, {2, 2}}).get());
  NoRows.SetYAxisInterval(MakeAxis(0, {{2, 2}}).get());
  Insert(*PtrDestination, NoRows);
  EXPECT_EQ(PtrDestination->MbrVecValues, VecBefore);
}

TEST(ExtentsTest, InsertFollowsTheYDirectionOfAnAscendingDestination) {
  const TMapPtr PtrDestination = MakeAscendingMap(0, 0, 3, 3);
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeAscendingMap(0, -1, 1, 2)),
                 "Insert map's NW corner is outside of the destination map in TMapTools::Insert");
  EXPECT_MESSAGE(Insert(*PtrDestination, *MakeAscendingMap(0, 2, 1, 2)),
                 "Insert map's SE corner is outside of the destination map in TMapTools::Insert");
  // A file map's row 0 is its northern row; it lands in the destination's row 2.
  Insert(*PtrDestination, *MakeMap(1, 1, 1, {{5}, {6}}));
  EXPECT_EQ(PtrDestination->GetPointVal(1, 2), 5);
  EXPECT_EQ(PtrDestination->GetPointVal(1, 1), 6);
  EXPECT_EQ(PtrDestination->GetPointVal(1, 0), 10);
}

// --- FindPatchExtent -------------------------------------------------------------------------

TEST(ExtentsTest, FindPatchExtentBoundsTheCellsOfTheValue) {
  TGrid VecRows(7, std::vector<double>(5, 0));
  VecRows[5][3] = 2;
  const TMapPtr PtrMap = MakeMap(0, 0, 1, VecRows);
  long LngMinRow = -1, LngMaxRow = -1, LngMinCol = -1, LngMaxCol = -1;
  TMapTools::FindPatchExtent(PtrMap.get(), 2, LngMinRow, LngMaxRow, LngMinCol, LngMaxCol);
  EXPECT_EQ((std::vector<long>{LngMinRow, LngMaxRow, LngMinCol, LngMaxCol}),
            (std::vector<long>{5, 5, 3, 3}));
  PtrMap->SetPoint(1, 6, 2);
  PtrMap->SetPoint(4, 2, 2);
  TMapTools::FindPatchExtent(PtrMap.get(), 2, LngMinRow, LngMaxRow, LngMinCol, LngMaxCol);
  EXPECT_EQ((std::vector<long>{LngMinRow, LngMaxRow, LngMinCol, LngMaxCol}),
            (std::vector<long>{2, 6, 1, 4}));
}

TEST(ExtentsTest, FindPatchExtentOfAnAbsentValueIsAllZero) {
  const TMapPtr PtrMap = MakeMap(0, 0, 1, {{1, 1, 1}, {1, 1, std::nan("")}});
  long LngMinRow = -1, LngMaxRow = -1, LngMinCol = -1, LngMaxCol = -1;
  TMapTools::FindPatchExtent(PtrMap.get(), std::nextafter(1.0, 2.0), LngMinRow, LngMaxRow,
                             LngMinCol, LngMaxCol);
  EXPECT_EQ((std::vector<long>{LngMinRow, LngMaxRow, LngMinCol, LngMaxCol}),
            (std::vector<long>{0, 0, 0, 0}));
  LngMinRow = -1;
  TMapTools::FindPatchExtent(PtrMap.get(), std::nan(""), LngMinRow, LngMaxRow, LngMinCol,
                             LngMaxCol);
  EXPECT_EQ(LngMinRow, 0);
  EXPECT_EQ(LngMaxCol, 0);
}

// --- Intersection ----------------------------------------------------------------------------

TEST(ExtentsTest, IntersectionOfPartlyOverlappingFileMaps) {
  const TMapPtr PtrA = MakeNumberedMap(0, 0, 1, 4, 3);
  const TMapPtr PtrB = MakeNumberedMap(2, 1, 1, 4, 3);
  TMapPtr PtrOutA, PtrOutB;
  Intersect(*PtrA, *PtrB, PtrOutA, PtrOutB);
  // Common area [2, 4) x [1, 3): A's columns 2-3, rows 0-1; B's columns 0-1, rows 1-2.
  EXPECT_EQ(PtrOutA->MbrVecValues, (TGrid{{20, 30}, {21, 31}}));
  EXPECT_EQ(PtrOutB->MbrVecValues, (TGrid{{1, 11}, {2, 12}}));
  EXPECT_EQ(Centres(PtrOutA->MbrPtrXAxis, 'X'), (std::vector<double>{2.5, 3.5}));
  EXPECT_EQ(Centres(PtrOutA->MbrPtrYAxis, 'Y'), (std::vector<double>{2.5, 1.5}));
  EXPECT_EQ(Centres(PtrOutB->MbrPtrXAxis, 'X'), Centres(PtrOutA->MbrPtrXAxis, 'X'));
  EXPECT_EQ(Centres(PtrOutB->MbrPtrYAxis, 'Y'), Centres(PtrOutA->MbrPtrYAxis, 'Y'));
  EXPECT_TRUE(YEdgesFall(*PtrOutA));
  EXPECT_TRUE(YEdgesFall(*PtrOutB));
  EXPECT_EQ(PtrOutB->MbrDblNoDataValue, -9999);
}

TEST(ExtentsTest, IntersectionWithAContainedMapKeepsItWhole) {
  const TMapPtr PtrOuter = MakeNumberedMap(0, 0, 1, 5, 5);
  const TMapPtr PtrInner = MakeMap(1, 2, 1, {{7, 8, 9}, {4, 5, 6}}, -1);
  TMapPtr PtrOutA, PtrOutB;
  Intersect(*PtrOuter, *PtrInner, PtrOutA, PtrOutB);
  EXPECT_EQ(PtrOutA->MbrVecValues, (TGrid{{11, 21, 31}, {12, 22, 32}}));
  ExpectSameCells(*PtrOutB, *PtrInner);
  EXPECT_EQ(PtrOutB->MbrDblNoDataValue, -9999);
}

TEST(ExtentsTest, IntersectionOfMapsOfDifferentResolutionsKeepsEach) {
  const TMapPtr PtrFine = MakeNumberedMap(0, 0, 1, 4, 4);
  const TMapPtr PtrCoarse = MakeNumberedMap(1, 1, 2, 2, 2);
  TMapPtr PtrOutA, PtrOutB;
  Intersect(*PtrFine, *PtrCoarse, PtrOutA, PtrOutB);
  // Common area [1, 4) x [1, 4): the fine map's centres 1.5..3.5; of the coarse centres
  // (x 2, 4 and y 4, 2) only (2, 2) lies inside, the others on the area's open edges.
  EXPECT_EQ(PtrOutA->MbrLngXDim, 3);
  EXPECT_EQ(PtrOutA->MbrLngYDim, 3);
  EXPECT_EQ(PtrOutA->MbrDblResolution, 1);
  EXPECT_EQ(PtrOutB->MbrVecValues, (TGrid{{1}}));
  EXPECT_EQ(PtrOutB->MbrDblResolution, 2);
  EXPECT_TRUE(YEdgesFall(*PtrOutB));
}

TEST(ExtentsTest, IntersectionOfAscendingMapsKeepsTheFirstRowAndColumn) {
  const TMapPtr PtrA = MakeAscendingMap(0, 0, 4, 4);
  const TMapPtr PtrB = MakeAscendingMap(1, 2, 4, 4);
  TMapPtr PtrOutA, PtrOutB;
  Intersect(*PtrA, *PtrB, PtrOutA, PtrOutB);
  // Common block: columns 1-3 and rows 2-3 of A, columns 0-2 and rows 0-1 of B.
  EXPECT_EQ(PtrOutA->MbrVecValues, (TGrid{{12, 22, 32}, {13, 23, 33}}));
  EXPECT_EQ(PtrOutB->MbrVecValues, (TGrid{{0, 10, 20}, {1, 11, 21}}));
  EXPECT_EQ(Centres(PtrOutA->MbrPtrXAxis, 'X'), Centres(PtrOutB->MbrPtrXAxis, 'X'));
  EXPECT_EQ(Centres(PtrOutA->MbrPtrYAxis, 'Y'), (std::vector<double>{2.5, 3.5}));
  EXPECT_EQ(Centres(PtrOutB->MbrPtrYAxis, 'Y'), (std::vector<double>{2.5, 3.5}));
  EXPECT_FALSE(YEdgesFall(*PtrOutA));
}

TEST(ExtentsTest, IntersectionOfAFileMapAndAnAscendingMap) {
  const TMapPtr PtrFile = MakeNumberedMap(0, 0, 1, 3, 3);
  const TMapPtr PtrAscending = MakeAscendingMap(1, 1, 3, 3);
  TMapPtr PtrOutA, PtrOutB;
  Intersect(*PtrFile, *PtrAscending, PtrOutA, PtrOutB);
  EXPECT_EQ(PtrOutA->MbrVecValues, (TGrid{{10, 20}, {11, 21}}));
  EXPECT_EQ(PtrOutB->MbrVecValues, (TGrid{{0, 10}, {1, 11}}));
}

TEST(ExtentsTest, IntersectionFailsWithoutACommonAreaAndAssignsNothing) {
  const TMapPtr PtrA = MakeNumberedMap(0, 0, 1, 2, 2);
  const char* PtrMessage = "Maps do not intersect in TMapTools::Intersection";
  TMap* PtrOutA = PtrA.get();
  TMap* PtrOutB = PtrA.get();
  // Touching along an edge, touching at a corner, apart.
  EXPECT_MESSAGE(
      TMapTools::Intersection(PtrA.get(), MakeNumberedMap(2, 0, 1, 2, 2).get(), PtrOutA, PtrOutB),
      PtrMessage);
  EXPECT_MESSAGE(
      TMapTools::Intersection(PtrA.get(), MakeNumberedMap(-2, 2, 1, 2, 2).get(), PtrOutA, PtrOutB),
      PtrMessage);
  EXPECT_MESSAGE(
      TMapTools::Intersection(MakeNumberedMap(5, 5, 1, 2, 2).get(), PtrA.get(), PtrOutA, PtrOutB),
      PtrMessage);
  // A sliver of common area that holds no centre of the coarse map.
  EXPECT_MESSAGE(TMapTools::Intersection(MakeNumberedMap(0, 0, 2, 2, 2).get(),
                                         MakeNumberedMap(3.5, 0, 1, 2, 2).get(), PtrOutA, PtrOutB),
                 PtrMessage);
  EXPECT_EQ(PtrOutA, PtrA.get());
  EXPECT_EQ(PtrOutB, PtrA.get());
}
