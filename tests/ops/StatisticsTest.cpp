// tests/ops/StatisticsTest.cpp - value counts, first cells, fetched values and the value
// overlay: column-by-column scan order, the remembered previous value, messages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

using TPointSet = std::map<double, TMapPoint*>;

// Owns the points of GetFirstValues results for the length of a test.
struct TOwnedSets {
  std::vector<TPointSet> MbrVecSets;
  ~TOwnedSets() {
    for (TPointSet& MapSet : MbrVecSets) {
      for (auto& Entry : MapSet) {
        delete Entry.second;
      }
    }
  }
  const TPointSet& Add(TPointSet MapSet) {
    MbrVecSets.push_back(std::move(MapSet));
    return MbrVecSets.back();
  }
};

void ExpectPoint(const TPointSet& MapSet, double DblKey, double DblX, double DblY) {
  auto It = MapSet.find(DblKey);
  ASSERT_NE(It, MapSet.end()) << "no entry for " << DblKey;
  EXPECT_EQ(It->second->MbrDblX, DblX) << "key " << DblKey;
  EXPECT_EQ(It->second->MbrDblY, DblY) << "key " << DblKey;
  EXPECT_EQ(It->second->MbrDblValue, DblKey);
}

}  // namespace

TEST(StatisticsTest, CountValuesCountsEveryValueNoDataIncluded) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 1}, {2, -9999}});
  const std::map<double, long> MapCounts = TMapTools::CountValues(PtrMap.get());
  EXPECT_EQ(MapCounts, (std::map<double, long>{{-9999, 1}, {1, 2}, {2, 1}}));
}

TEST(StatisticsTest, CountValuesLeavesOutNaNCells) {
  auto PtrMap = MakeMap(0, 0, 1, {{kDblNaN, 3}, {3, kDblNaN}});
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get()), (std::map<double, long>{{3, 2}}));
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get(), kDblNaN), 0);
}

TEST(StatisticsTest, CountValuesKeysEqualValuesByTheFirstCellColumnByColumn) {
  // 0 and -0 are one key; the first of them column by column gives its sign.
  auto PtrPositive = MakeMap(0, 0, 1, {{5, -0.0}, {0, 5}});
  const std::map<double, long> MapCounts = TMapTools::CountValues(PtrPositive.get());
  EXPECT_EQ(MapCounts, (std::map<double, long>{{0, 2}, {5, 2}}));
  EXPECT_FALSE(std::signbit(MapCounts.begin()->first));
  auto PtrNegative = MakeMap(0, 0, 1, {{5, 0, 0}, {-0.0, 5, -0.0}});
  EXPECT_TRUE(std::signbit(TMapTools::CountValues(PtrNegative.get()).begin()->first));
}

TEST(StatisticsTest, CountValueCountsEqualCells) {
  auto PtrMap = MakeMap(0, 0, 1, {{-9999, 4, 4}, {-9999, -9999, 0}});
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get(), 5.0), 0);
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get(), -9999.0), 3);
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get(), 4.0), 2);
  EXPECT_EQ(TMapTools::CountValues(PtrMap.get(), -0.0), 1);
}

TEST(StatisticsTest, GetFirstValuesTakesFirstCellColumnByColumn) {
  // Column 0 holds 5, 5, 7 from row 0 down, column 1 holds 5, 9, 7.
  auto PtrMap = MakeMap(0, 0, 1, {{5, 5}, {5, 9}, {7, 7}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {}));
  EXPECT_EQ(MapSet.size(), 3u);
  ExpectPoint(MapSet, 5, 0.5, 2.5);
  ExpectPoint(MapSet, 7, 0.5, 0.5);
  ExpectPoint(MapSet, 9, 1.5, 1.5);
}

TEST(StatisticsTest, GetFirstValuesScansColumnsBeforeRows) {
  // Row by row, 2 would first be met at (1, 0); column by column it is (0, 1).
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}, {2, 1}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {}));
  ExpectPoint(MapSet, 2, 0.5, 0.5);
}

TEST(StatisticsTest, GetFirstValuesLeavesOutListedValues) {
  auto PtrMap = MakeMap(0, 0, 1, {{5, 5}, {5, 9}, {7, 7}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {7}));
  EXPECT_EQ(MapSet.size(), 2u);
  EXPECT_EQ(MapSet.count(7), 0u);
  ExpectPoint(MapSet, 9, 1.5, 1.5);
}

TEST(StatisticsTest, GetFirstValuesPassesOverLeadingNoDataRun) {
  // Column 0: -9999, -9999, 3; column 1: -9999, 4, 4. The no-data entry is (1, 0).
  auto PtrMap = MakeMap(0, 0, 1, {{-9999, -9999}, {-9999, 4}, {3, 4}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {}));
  EXPECT_EQ(MapSet.size(), 3u);
  ExpectPoint(MapSet, -9999, 1.5, 2.5);
  ExpectPoint(MapSet, 3, 0.5, 0.5);
}

TEST(StatisticsTest, GetFirstValuesFollowsTheMapsOwnNoDataValue) {
  auto PtrMap = MakeMap(0, 0, 1, {{-1, 2}, {-9999, -1}}, -1.0);
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {}));
  EXPECT_EQ(MapSet.size(), 3u);
  ExpectPoint(MapSet, -1, 1.5, 0.5);
  ExpectPoint(MapSet, -9999, 0.5, 0.5);
}

TEST(StatisticsTest, GetFirstValuesOfOnlyNoDataIsEmpty) {
  auto PtrMap = MakeMap(0, 0, 1, {{-9999, -9999}, {-9999, -9999}});
  EXPECT_TRUE(TMapTools::GetFirstValues(PtrMap.get(), {}).empty());
}

TEST(StatisticsTest, GetFirstValuesLeavesOutNaNCells) {
  auto PtrMap = MakeMap(0, 0, 1, {{kDblNaN, -9999}, {kDblNaN, 1}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrMap.get(), {}));
  // The NaN cells end the leading no-data run, so the no-data cell at (1, 0) counts.
  EXPECT_EQ(MapSet.size(), 2u);
  ExpectPoint(MapSet, -9999, 1.5, 1.5);
  ExpectPoint(MapSet, 1, 1.5, 0.5);
}

TEST(StatisticsTest, GetFirstValuesListKeepsMapOrder) {
  auto PtrA = MakeMap(0, 0, 1, {{1}});
  auto PtrB = MakeMap(10, 10, 1, {{2, 3}});
  TOwnedSets Owned;
  for (TPointSet& MapSet : TMapTools::GetFirstValues({PtrA.get(), PtrB.get()}, {3})) {
    Owned.Add(std::move(MapSet));
  }
  ASSERT_EQ(Owned.MbrVecSets.size(), 2u);
  ExpectPoint(Owned.MbrVecSets[0], 1, 0.5, 0.5);
  EXPECT_EQ(Owned.MbrVecSets[1].size(), 1u);
  ExpectPoint(Owned.MbrVecSets[1], 2, 10.5, 10.5);
  EXPECT_TRUE(TMapTools::GetFirstValues(std::vector<TMap*>{}, {}).empty());
}

TEST(StatisticsTest, GetFirstValuesFailingPartWayLeavesNoPoint) {
  // A row added after the axes were set has no centre yet: its cell cannot become a point.
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}});
  PtrMap->AddRow({3, 4});
  EXPECT_MESSAGE(TMapTools::GetFirstValues(PtrMap.get(), {}),
                 "LngY is out of range for the Y-axis in TMap::GetCoordinates");
  auto PtrGood = MakeMap(0, 0, 1, {{1, 2}});
  TMap Bare(1.0, 2, 2);
  Bare.SetPoint(1, 1, 3.0);
  EXPECT_MESSAGE(TMapTools::GetFirstValues({PtrGood.get(), &Bare}, {}),
                 "Map has no axes in TMap::GetCoordinates");
}

TEST(StatisticsTest, FetchMapValuesReadsSecondMapAtFirstCells) {
  auto PtrKeys = MakeMap(0, 0, 1, {{5, 5}, {5, 9}, {7, 7}});
  auto PtrValues = MakeMap(0, 0, 1, {{10, 11}, {12, 13}, {14, 15}});
  TOwnedSets Owned;
  const TPointSet& MapSet = Owned.Add(TMapTools::GetFirstValues(PtrKeys.get(), {}));
  EXPECT_EQ(TMapTools::FetchMapValues(PtrValues.get(), MapSet),
            (std::map<double, double>{{5, 10}, {7, 14}, {9, 13}}));
  EXPECT_TRUE(TMapTools::FetchMapValues(PtrValues.get(), {}).empty());
}

TEST(StatisticsTest, FetchMapValuesPassesOnPointLookupFailures) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}});
  TMapPoint Outside(5.0, 0.5, 0.0);
  EXPECT_MESSAGE(TMapTools::FetchMapValues(PtrMap.get(), {{1.0, &Outside}}),
                 "Ordinate is out of range in TAxis::GetIndex");
  TMapPoint EasternEdge(2.0, 0.5, 0.0);
  EXPECT_MESSAGE(TMapTools::FetchMapValues(PtrMap.get(), {{1.0, &EasternEdge}}),
                 "LngX is out of range in TMap::GetPointVal");
}

TEST(StatisticsTest, FetchMapValuesListPairsMapsWithPointSets) {
  auto PtrA = MakeMap(0, 0, 1, {{1, 2}});
  auto PtrB = MakeMap(0, 0, 1, {{3, 4}});
  TMapPoint West(0.5, 0.5, 0.0);
  TMapPoint East(1.5, 0.5, 0.0);
  const std::vector<std::map<double, double>> VecResult = TMapTools::FetchMapValues(
      {PtrA.get(), PtrB.get()}, {{{7, &West}}, {{7, &East}}, {{8, nullptr}}});
  ASSERT_EQ(VecResult.size(), 2u);
  EXPECT_EQ(VecResult[0], (std::map<double, double>{{7, 1}}));
  EXPECT_EQ(VecResult[1], (std::map<double, double>{{7, 4}}));
}

TEST(StatisticsTest, FetchMapValuesListWithTooFewPointSetsFails) {
  auto PtrA = MakeMap(0, 0, 1, {{1}});
  TMapPoint Outside(9.0, 9.0, 0.0);
  // The count check comes before any look-up, even a failing one.
  EXPECT_MESSAGE(TMapTools::FetchMapValues({PtrA.get(), PtrA.get()}, {{{1, &Outside}}}),
                 "Number of point sets is less than number of maps in TMapTools::FetchMapValues");
}

TEST(StatisticsTest, GetValuesOverlayChecksColumnsThenRows) {
  auto PtrValues = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  auto PtrNarrow = MakeMap(0, 0, 1, {{1, 2}, {3, 4}, {5, 6}});
  auto PtrTall = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_MESSAGE(TMapTools::GetValuesOverlay(PtrValues.get(), PtrNarrow.get(), {}),
                 "Map X-dimensions do not match");
  EXPECT_MESSAGE(TMapTools::GetValuesOverlay(PtrValues.get(), PtrTall.get(), {}),
                 "Map Y-Dimensions do not match");
}

TEST(StatisticsTest, GetValuesOverlayListsValuesInScanOrder) {
  auto PtrValues = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  auto PtrOneKey = MakeMap(50, 50, 2, {{8, 8, 8}, {8, 8, 8}});
  EXPECT_EQ(TMapTools::GetValuesOverlay(PtrValues.get(), PtrOneKey.get(), {}),
            (std::map<double, std::vector<double>>{{8, {1, 4, 2, 5, 3, 6}}}));
}

TEST(StatisticsTest, GetValuesOverlayGroupsByKeyAndLeavesOutKeys) {
  auto PtrValues = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  auto PtrKeys = MakeMap(0, 0, 1, {{0, -9999, 0}, {kDblNaN, 1, 0}});
  EXPECT_EQ(TMapTools::GetValuesOverlay(PtrValues.get(), PtrKeys.get(), {}),
            (std::map<double, std::vector<double>>{{-9999, {2}}, {0, {1, 3, 6}}, {1, {5}}}));
  EXPECT_EQ(TMapTools::GetValuesOverlay(PtrValues.get(), PtrKeys.get(), {-9999, 1}),
            (std::map<double, std::vector<double>>{{0, {1, 3, 6}}}));
}
