// tests/ops/AggregationTest.cpp - sum, data counts, average and moving average over map lists.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;

// A one-row map of the given cells.
TMapPtr Row(const std::vector<double>& VecCells, double DblNoData = -9999.0) {
  return MakeMap(0, 0, 1, {VecCells}, DblNoData);
}

std::vector<TMap*> Pointers(const std::vector<TMapPtr>& VecMaps) {
  std::vector<TMap*> VecPointers;
  for (const TMapPtr& PtrMap : VecMaps) {
    VecPointers.push_back(PtrMap.get());
  }
  return VecPointers;
}

// Takes over a one-row result and returns its cells.
std::vector<double> Cells(TMap* PtrResult) {
  return TMapPtr(PtrResult)->GetRow(0);
}

// The message a statement throws as char*, or "" when it throws nothing.
template <typename TStatement>
std::string MessageOf(TStatement Statement) {
  try {
    Statement();
  } catch (char* PtrMessage) {
    return PtrMessage;
  }
  return "";
}

// True when both maps hold the same bits in every cell and declare the same no-data value.
bool SameBits(const TMap& MapA, const TMap& MapB) {
  if (MapA.MbrVecValues.size() != MapB.MbrVecValues.size() ||
      MapA.MbrDblNoDataValue != MapB.MbrDblNoDataValue) {
    return false;
  }
  for (std::size_t LngY = 0; LngY < MapA.MbrVecValues.size(); ++LngY) {
    const std::vector<double>& VecA = MapA.MbrVecValues[LngY];
    const std::vector<double>& VecB = MapB.MbrVecValues[LngY];
    if (VecA.size() != VecB.size() ||
        std::memcmp(VecA.data(), VecB.data(), VecA.size() * sizeof(double)) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

TEST(AggregationTest, SumNeedsTwoMapsAndAcceptsExactlyTwo) {
  const TMapPtr PtrA = Row({1, 2});
  const TMapPtr PtrB = Row({10, 20});
  EXPECT_EQ(Cells(TMapTools::Sum({PtrA.get(), PtrB.get()})), (std::vector<double>{11, 22}));
  EXPECT_MESSAGE(TMapTools::Sum({PtrA.get()}),
                 "Must have more than 2 maps to sum in TMapTools::Sum");
}

TEST(AggregationTest, SumStopsAtTheFirstNoDataMap) {
  const TMapPtr PtrA = Row({1, 1});
  const TMapPtr PtrB = Row({2, -9999});
  const TMapPtr PtrC = Row({3, 3});
  EXPECT_EQ(Cells(TMapTools::Sum({PtrA.get(), PtrB.get(), PtrC.get()})),
            (std::vector<double>{6, -9999}));
}

TEST(AggregationTest, SumTakesTheNoDataValueOfTheFirstNoDataMap) {
  const TMapPtr PtrA = Row({-1, 5, 5}, -1);
  const TMapPtr PtrB = Row({-2, -2, 7}, -2);
  const TMapPtr PtrResult(TMapTools::Sum({PtrA.get(), PtrB.get()}));
  EXPECT_EQ(PtrResult->GetRow(0), (std::vector<double>{-1, -2, 12}));
  EXPECT_EQ(PtrResult->MbrDblNoDataValue, -9999.0);
}

TEST(AggregationTest, DimensionChecksGoInListOrderXBeforeY) {
  const TMapPtr PtrBase = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  const TMapPtr PtrWide = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  const TMapPtr PtrShort = MakeMap(0, 0, 1, {{1, 2}});
  const TMapPtr PtrBoth = MakeMap(0, 0, 1, {{1, 2, 3}});
  EXPECT_MESSAGE(TMapTools::Sum({PtrBase.get(), PtrWide.get(), PtrShort.get()}),
                 "X-dimension of maps are inconsistent in TMapTools::Sum");
  EXPECT_MESSAGE(TMapTools::Sum({PtrBase.get(), PtrShort.get(), PtrWide.get()}),
                 "Y-dimension of maps are inconsistent in TMapTools::Sum");
  EXPECT_MESSAGE(TMapTools::Sum({PtrBase.get(), PtrBoth.get()}),
                 "X-dimension of maps are inconsistent in TMapTools::Sum");
  EXPECT_MESSAGE(TMapTools::DataCounts({PtrBase.get(), PtrShort.get()}),
                 "Y-dimension of maps are inconsistent in TMapTools::DataCounts");
  EXPECT_MESSAGE(TMapTools::DataCounts({PtrBase.get(), PtrWide.get()}),
                 "X-dimension of maps are inconsistent in TMapTools::DataCounts");
  // Average reports as Sum does.
  EXPECT_MESSAGE(TMapTools::Average({PtrBase.get(), PtrShort.get()}),
                 "Y-dimension of maps are inconsistent in TMapTools::Sum");
}

TEST(AggregationTest, FirstMapWithoutAxesFailsWithAMessage) {
  TMap NoAxesA(1.0, 2, 1);
  TMap NoAxesB(1.0, 2, 1);
  EXPECT_MESSAGE(TMapTools::Sum({&NoAxesA, &NoAxesB}), "Map has no axes in TMapTools::Sum");
  EXPECT_MESSAGE(TMapTools::DataCounts({&NoAxesA}), "Map has no axes in TMapTools::DataCounts");
  EXPECT_MESSAGE(TMapTools::Average({&NoAxesA, &NoAxesB}), "Map has no axes in TMapTools::Sum");
}

TEST(AggregationTest, DataCountsCountsEachMapByItsOwnNoData) {
  const TMapPtr PtrA = Row({1, 1, -1}, -1);
  const TMapPtr PtrB = Row({2, -9999, 2});
  const TMapPtr PtrC = Row({3, 3, -9999});
  const TMapPtr PtrResult(TMapTools::DataCounts({PtrA.get(), PtrB.get(), PtrC.get()}));
  EXPECT_EQ(PtrResult->GetRow(0), (std::vector<double>{3, 2, 1}));
  EXPECT_EQ(PtrResult->MbrDblNoDataValue, -9999.0);
  EXPECT_EQ(Cells(TMapTools::DataCounts({PtrB.get()})), (std::vector<double>{1, 0, 1}));
}

TEST(AggregationTest, DataCountsOfAnEmptyListFails) {
  EXPECT_MESSAGE(TMapTools::DataCounts({}), "Must have at least 1 map in TMapTools::DataCounts");
}

TEST(AggregationTest, AverageIsTheMeanOrMinus9999WithPlainNoData) {
  const TMapPtr PtrA = Row({1, 1});
  const TMapPtr PtrB = Row({2, -9999});
  const TMapPtr PtrC = Row({6, 6});
  EXPECT_EQ(Cells(TMapTools::Average({PtrA.get(), PtrB.get(), PtrC.get()})),
            (std::vector<double>{3, -9999}));
  EXPECT_MESSAGE(TMapTools::Average({PtrA.get()}),
                 "Must have more than 2 maps to sum in TMapTools::Sum");
}

TEST(AggregationTest, AverageCarriesOtherNoDataValuesThroughTheDivision) {
  // The first cell is no-data in a (-1): the sum carries -1 and the count of data cells is 2.
  // The second is no-data everywhere: -1 over a count of 0.
  // The third sums to -9999 by chance and is then taken for no-data.
  const TMapPtr PtrA = Row({-1, -1, -9000}, -1);
  const TMapPtr PtrB = Row({4, -2, -999}, -2);
  const TMapPtr PtrC = Row({5, -3, 0}, -3);
  const std::vector<double> VecCells =
      Cells(TMapTools::Average({PtrA.get(), PtrB.get(), PtrC.get()}));
  EXPECT_EQ(VecCells[0], -0.5);
  EXPECT_EQ(VecCells[1], -HUGE_VAL);
  EXPECT_EQ(VecCells[2], -9999);
}

TEST(AggregationTest, AverageIsBitIdenticalToDividingSumByDataCounts) {
  std::mt19937 Generator(7);
  std::uniform_real_distribution<double> Value(-100, 100);
  const std::vector<double> VecNoData{-9999, -1, 0, -9999, 3.5};
  std::vector<TMapPtr> VecMaps;
  for (const double DblNoData : VecNoData) {
    std::vector<std::vector<double>> VecRows(6, std::vector<double>(7));
    for (std::vector<double>& VecRow : VecRows) {
      for (double& DblCell : VecRow) {
        const int IntKind = static_cast<int>(Generator() % 8);
        DblCell = IntKind == 0 ? DblNoData : IntKind == 1 ? -9999 : Value(Generator);
      }
    }
    VecMaps.push_back(MakeMap(3, 4, 0.5, VecRows, DblNoData));
  }
  const std::vector<TMap*> VecList = Pointers(VecMaps);
  const TMapPtr PtrAverage(TMapTools::Average(VecList));
  const TMapPtr PtrSum(TMapTools::Sum(VecList));
  const TMapPtr PtrCounts(TMapTools::DataCounts(VecList));
  const TMapPtr PtrComposed(TMapTools::Divide(PtrSum.get(), PtrCounts.get()));
  EXPECT_TRUE(SameBits(*PtrAverage, *PtrComposed));
}

TEST(AggregationTest, AverageOnDegenerateAxesBehavesAsTheComposition) {
  // With a cell size of 0 every edge coincides, so no centre lies inside a cell of its own grid.
  const TMapPtr PtrA = MakeMap(0, 0, 0, {{1, 2}});
  const TMapPtr PtrB = MakeMap(0, 0, 0, {{3, 4}});
  const std::vector<TMap*> VecList{PtrA.get(), PtrB.get()};
  const std::string StgComposed = MessageOf([&] {
    const TMapPtr PtrSum(TMapTools::Sum(VecList));
    const TMapPtr PtrCounts(TMapTools::DataCounts(VecList));
    delete TMapTools::Divide(PtrSum.get(), PtrCounts.get());
  });
  ASSERT_NE(StgComposed, "");
  EXPECT_MESSAGE(TMapTools::Average(VecList), StgComposed);
}

TEST(AggregationTest, MovingAverageReturnsOneMapPerWindow) {
  std::vector<TMapPtr> VecMaps;
  for (double DblValue : {1, 2, 3, 4, 5}) {
    VecMaps.push_back(Row({DblValue, 10 * DblValue}));
  }
  const std::vector<TMap*> VecList = Pointers(VecMaps);
  std::vector<TMap*> VecResult = TMapTools::MovingAverage(VecList, 3);
  ASSERT_EQ(VecResult.size(), 3u);
  EXPECT_EQ(Cells(VecResult[0]), (std::vector<double>{2, 20}));
  EXPECT_EQ(Cells(VecResult[1]), (std::vector<double>{3, 30}));
  EXPECT_EQ(Cells(VecResult[2]), (std::vector<double>{4, 40}));
  VecResult = TMapTools::MovingAverage(VecList, 5);
  ASSERT_EQ(VecResult.size(), 1u);
  EXPECT_EQ(Cells(VecResult[0]), (std::vector<double>{3, 30}));
  EXPECT_TRUE(TMapTools::MovingAverage(VecList, 6).empty());
  EXPECT_TRUE(TMapTools::MovingAverage({}, 2).empty());
}

TEST(AggregationTest, MovingAverageWindowBelowTwoFailsUnlessTheListIsShorter) {
  const TMapPtr PtrA = Row({1});
  const TMapPtr PtrB = Row({2});
  const std::vector<TMap*> VecList{PtrA.get(), PtrB.get()};
  const char* PtrMessage = "Must have more than 2 maps to sum in TMapTools::Sum";
  EXPECT_MESSAGE(TMapTools::MovingAverage(VecList, 1), PtrMessage);
  EXPECT_MESSAGE(TMapTools::MovingAverage(VecList, 0), PtrMessage);
  EXPECT_MESSAGE(TMapTools::MovingAverage(VecList, -5), PtrMessage);
  EXPECT_MESSAGE(TMapTools::MovingAverage({}, 0), PtrMessage);
  EXPECT_TRUE(TMapTools::MovingAverage({}, 1).empty());
}

TEST(AggregationTest, MovingAverageReleasesEarlierWindowsWhenALaterOneFails) {
  const TMapPtr PtrA = Row({1, 2});
  const TMapPtr PtrB = Row({3, 4});
  const TMapPtr PtrC = Row({5, 6});
  const TMapPtr PtrWide = Row({7, 8, 9});
  // The first window succeeds; the sanitizer build reports its map if it leaks.
  EXPECT_MESSAGE(TMapTools::MovingAverage({PtrA.get(), PtrB.get(), PtrC.get(), PtrWide.get()}, 2),
                 "X-dimension of maps are inconsistent in TMapTools::Sum");
}
