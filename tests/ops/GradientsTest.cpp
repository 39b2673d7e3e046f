// tests/ops/GradientsTest.cpp - windowed gradients over map series, the values vector and the
// nonzero neighbour: the numeric examples, the zero and no-data rules, messages and their order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"
#include "util/TVectorTools.h"

using tessgrid_test::MakeMap;

namespace {

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

using TMapPtr = std::unique_ptr<TMap>;

// Takes over the maps ValueGradients returns.
std::vector<TMapPtr> Own(std::vector<TMap*> VecMaps) {
  std::vector<TMapPtr> VecOwned;
  for (TMap* PtrMap : VecMaps) {
    VecOwned.emplace_back(PtrMap);
  }
  return VecOwned;
}

std::vector<TMap*> Raw(const std::vector<TMapPtr>& VecMaps) {
  std::vector<TMap*> VecRaw;
  for (const TMapPtr& PtrMap : VecMaps) {
    VecRaw.push_back(PtrMap.get());
  }
  return VecRaw;
}

// One-cell maps holding the given values, one map per value.
std::vector<TMapPtr> CellSeries(const std::vector<double>& VecValues) {
  std::vector<TMapPtr> VecMaps;
  for (double DblValue : VecValues) {
    VecMaps.push_back(MakeMap(0, 0, 1, {{DblValue}}));
  }
  return VecMaps;
}

double OnlyCell(const std::vector<TMapPtr>& VecMaps, std::size_t LngK) {
  return VecMaps[LngK]->GetPointVal(0, 0);
}

// The gradient of one cell, step by step as the operation is defined, through the public tools.
double ReferenceGradient(const std::vector<TMap*>& VecMaps, int LngI, int LngW, long LngX,
                         long LngY) {
  const std::vector<double> VecX = TVectorTools::VectorSeries(LngI, LngI + LngW, 1);
  std::vector<double> VecValues =
      TMapTools::GetValuesVector(VecMaps, LngX, LngY, LngI, LngI + LngW);
  for (int LngL = 0; LngL < LngW; ++LngL) {
    if (VecValues[static_cast<std::size_t>(LngL)] == 0.0) {
      VecValues[static_cast<std::size_t>(LngL)] = TMapTools::FindNonzeroNeighbourVal(
          VecMaps[static_cast<std::size_t>(LngI + LngL)], LngX, LngY);
    }
  }
  std::vector<double> VecKeptX;
  std::vector<double> VecKeptY;
  for (int LngL = 0; LngL <= LngW; ++LngL) {
    const std::size_t LngPos = static_cast<std::size_t>(LngL);
    if (!(VecValues[LngPos] == VecMaps[static_cast<std::size_t>(LngI + LngL)]->MbrDblNoDataValue)) {
      VecKeptX.push_back(VecX[LngPos]);
      VecKeptY.push_back(VecValues[LngPos]);
    }
  }
  const double DblSx = TVectorTools::SumVector(VecKeptX);
  const double DblSy = TVectorTools::SumVector(VecKeptY);
  const double DblSxx = TVectorTools::SumVector(TVectorTools::VectorProduct(VecKeptX, VecKeptX));
  const double DblSxy = TVectorTools::SumVector(TVectorTools::VectorProduct(VecKeptX, VecKeptY));
  const double DblN = static_cast<double>(VecKeptY.size());
  return (DblN * DblSxy - DblSx * DblSy) / (DblN * DblSxx - DblSx * DblSx);
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof(double)) == 0;
}

}  // namespace

TEST(GradientsTest, ValueGradientsSlidesWindowAlongSeries) {
  const std::vector<TMapPtr> VecMaps = CellSeries({1, 3, 6});
  const std::vector<TMapPtr> VecOne = Own(TMapTools::ValueGradients(Raw(VecMaps), 1));
  ASSERT_EQ(VecOne.size(), 2u);
  EXPECT_EQ(OnlyCell(VecOne, 0), 2.0);
  EXPECT_EQ(OnlyCell(VecOne, 1), 3.0);
  const std::vector<TMapPtr> VecTwo = Own(TMapTools::ValueGradients(Raw(VecMaps), 2));
  ASSERT_EQ(VecTwo.size(), 1u);
  EXPECT_EQ(OnlyCell(VecTwo, 0), 2.5);
}

TEST(GradientsTest, ValueGradientsResultTakesMapZerosAxes) {
  std::vector<TMapPtr> VecMaps;
  VecMaps.push_back(MakeMap(100, 200, 10, {{1, 2}}, -1.0));
  VecMaps.push_back(MakeMap(0, 0, 1, {{2, 4}}));
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 1));
  ASSERT_EQ(VecResult.size(), 1u);
  const TMap& Result = *VecResult[0];
  EXPECT_EQ(Result.MbrDblNoDataValue, -9999.0);
  EXPECT_EQ(Result.MbrLngXDim, 2);
  EXPECT_EQ(Result.MbrPtrXAxis->GetPoint(1)->MbrDblX, 115.0);
  EXPECT_EQ(Result.MbrPtrYAxis->GetPoint(0)->MbrDblY, 205.0);
  EXPECT_EQ(Result.GetPointVal(1, 0), 2.0);
}

TEST(GradientsTest, ValueGradientsWindowChecksComeFirst) {
  const std::vector<TMapPtr> VecMaps = CellSeries({1, 3, 6});
  EXPECT_TRUE(TMapTools::ValueGradients(Raw(VecMaps), 3).empty());
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), 4),
                 "Window size must be < number of maps in TMapTools::ValueGradients");
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), 0),
                 "Window size must be >= 1 in TMapTools::ValueGradients");
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), -2),
                 "Window size must be >= 1 in TMapTools::ValueGradients");
  EXPECT_MESSAGE(TMapTools::ValueGradients({}, 0),
                 "Window size must be >= 1 in TMapTools::ValueGradients");
  EXPECT_MESSAGE(TMapTools::ValueGradients({}, 1),
                 "Window size must be < number of maps in TMapTools::ValueGradients");
}

TEST(GradientsTest, ValueGradientsChecksEveryMapsDimensions) {
  std::vector<TMapPtr> VecMaps = CellSeries({1, 3});
  VecMaps.push_back(MakeMap(0, 0, 1, {{1, 2}}));
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), 1),
                 "Map dimensions do not match in TMapTools::ValueGradients");
  // Even with no window to compute, and after the window size checks.
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), 3),
                 "Map dimensions do not match in TMapTools::ValueGradients");
  EXPECT_MESSAGE(TMapTools::ValueGradients(Raw(VecMaps), 4),
                 "Window size must be < number of maps in TMapTools::ValueGradients");
}

TEST(GradientsTest, ValueGradientsNeedsAxesOfMapZero) {
  TMap Bare(1.0, 1, 1);
  const std::vector<TMapPtr> VecMaps = CellSeries({3});
  EXPECT_MESSAGE(TMapTools::ValueGradients({&Bare, VecMaps[0].get()}, 1),
                 "Map has no axes in TMapTools::ValueGradients");
  EXPECT_TRUE(TMapTools::ValueGradients({&Bare, VecMaps[0].get()}, 2).empty());
}

TEST(GradientsTest, ValueGradientsLeavesCellZeroInFirstMapAsNoData) {
  const std::vector<TMapPtr> VecMaps = CellSeries({0, 3, 6});
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 1));
  EXPECT_EQ(OnlyCell(VecResult, 0), -9999.0);
  EXPECT_EQ(OnlyCell(VecResult, 1), 3.0);
}

TEST(GradientsTest, ValueGradientsReplacesInnerZerosByNeighbour) {
  // Cell (0, 0) holds 4, 0, 8, 9; in map 1 its neighbour (1, 0) holds 6.
  std::vector<TMapPtr> VecMaps;
  VecMaps.push_back(MakeMap(0, 0, 1, {{4, 1}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{0, 6}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{8, 1}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{9, 1}}));
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 3));
  ASSERT_EQ(VecResult.size(), 1u);
  EXPECT_EQ(VecResult[0]->GetPointVal(0, 0), TVectorTools::Gradient({0, 1, 2, 3}, {4, 6, 8, 9}));
  EXPECT_NE(VecResult[0]->GetPointVal(0, 0), TVectorTools::Gradient({0, 1, 2, 3}, {4, 0, 8, 9}));
}

TEST(GradientsTest, ValueGradientsKeepsZeroOfLastMap) {
  std::vector<TMapPtr> VecMaps;
  VecMaps.push_back(MakeMap(0, 0, 1, {{4, 1}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{8, 1}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{0, 6}}));
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 2));
  EXPECT_EQ(VecResult[0]->GetPointVal(0, 0), -2.0);
}

TEST(GradientsTest, ValueGradientsDropsValuesEqualToTheirOwnMapsNoData) {
  std::vector<TMapPtr> VecMaps;
  VecMaps.push_back(MakeMap(0, 0, 1, {{1}}));
  VecMaps.push_back(MakeMap(0, 0, 1, {{5}}, 5.0));      // no data in map 1
  VecMaps.push_back(MakeMap(0, 0, 1, {{-9999}}, 5.0));  // data in map 2
  VecMaps.push_back(MakeMap(0, 0, 1, {{7}}));
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 3));
  EXPECT_EQ(OnlyCell(VecResult, 0), TVectorTools::Gradient({0, 2, 3}, {1, -9999, 7}));
}

TEST(GradientsTest, ValueGradientsOfOneKeptValueIsNaN) {
  const std::vector<TMapPtr> VecMaps = CellSeries({2, -9999, -9999});
  const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(Raw(VecMaps), 2));
  EXPECT_TRUE(std::isnan(OnlyCell(VecResult, 0)));
}

TEST(GradientsTest, ValueGradientsMatchesDefinitionToTheBit) {
  // Irregular values with zeros, no-data cells and NaN, on maps of different no-data values.
  const long LngXDim = 7;
  const long LngYDim = 5;
  std::vector<TMapPtr> VecMaps;
  unsigned LngState = 12345u;
  for (int LngK = 0; LngK < 6; ++LngK) {
    std::vector<std::vector<double>> VecRows(LngYDim, std::vector<double>(LngXDim));
    for (auto& VecRow : VecRows) {
      for (double& DblCell : VecRow) {
        LngState = LngState * 1103515245u + 12345u;
        const unsigned LngPick = (LngState >> 16) % 10;
        DblCell = LngPick < 3                ? 0.0
                  : LngPick < 4              ? (LngK == 2 ? -1.0 : -9999.0)
                  : LngPick < 5 && LngK == 4 ? kDblNaN
                                             : ((LngState >> 8) % 100000) / 997.0 - 30.0;
      }
    }
    VecMaps.push_back(MakeMap(0, 0, 1, VecRows, LngK == 2 ? -1.0 : -9999.0));
  }
  const std::vector<TMap*> VecRaw = Raw(VecMaps);
  for (int LngW = 1; LngW <= 3; ++LngW) {
    const std::vector<TMapPtr> VecResult = Own(TMapTools::ValueGradients(VecRaw, LngW));
    ASSERT_EQ(VecResult.size(), static_cast<std::size_t>(6 - LngW));
    for (int LngI = 0; LngI < 6 - LngW; ++LngI) {
      for (long LngX = 0; LngX < LngXDim; ++LngX) {
        for (long LngY = 0; LngY < LngYDim; ++LngY) {
          const double DblExpected =
              VecRaw[static_cast<std::size_t>(LngI)]->GetPointVal(LngX, LngY) == 0.0
                  ? -9999.0
                  : ReferenceGradient(VecRaw, LngI, LngW, LngX, LngY);
          const double DblActual =
              VecResult[static_cast<std::size_t>(LngI)]->GetPointVal(LngX, LngY);
          EXPECT_TRUE(SameBits(DblActual, DblExpected))
              << "window " << LngW << " position " << LngI << " cell (" << LngX << ", " << LngY
              << "): " << DblActual << " vs " << DblExpected;
        }
      }
    }
  }
}

TEST(GradientsTest, GetValuesVectorTakesCellAcrossRange) {
  const std::vector<TMapPtr> VecMaps = CellSeries({1, 3, 6});
  EXPECT_EQ(TMapTools::GetValuesVector(Raw(VecMaps), 0, 0, 0, 2), (std::vector<double>{1, 3, 6}));
  EXPECT_EQ(TMapTools::GetValuesVector(Raw(VecMaps), 0, 0, 1, 2), (std::vector<double>{3, 6}));
}

TEST(GradientsTest, GetValuesVectorChecksInOrder) {
  const std::vector<TMapPtr> VecMaps = CellSeries({1, 3, 6});
  const std::vector<TMap*> VecRaw = Raw(VecMaps);
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, 1, 1),
                 "Stat map number must be less than end map number");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, 2, 1),
                 "Stat map number must be less than end map number");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, 0, 3),
                 "End map number is out of range in TMapTools::GetValuesVector");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, 0, -1),
                 "End map number is out of range in TMapTools::GetValuesVector");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, -1, 2),
                 "Start map number is out of range in TMapTools::GetValuesVector");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 0, 3, 9),
                 "Start map number is out of range in TMapTools::GetValuesVector");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 1, 5, 0, 2),
                 "X-ordinate is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(TMapTools::GetValuesVector(VecRaw, 0, 1, 0, 2),
                 "Y-ordinate is out of range in TMap::GetPointVal");
}

TEST(GradientsTest, GetValuesVectorFailsAtFirstMapLackingTheCell) {
  std::vector<TMapPtr> VecMaps = CellSeries({1});
  VecMaps.push_back(MakeMap(0, 0, 1, {{1, 2}}));
  EXPECT_EQ(TMapTools::GetValuesVector(Raw(VecMaps), 0, 0, 0, 1), (std::vector<double>{1, 1}));
  EXPECT_MESSAGE(TMapTools::GetValuesVector(Raw(VecMaps), 1, 0, 0, 1),
                 "X-ordinate is out of range in TMap::GetPointVal");
}

TEST(GradientsTest, FindNonzeroNeighbourValTakesHighestColumnFirstRow) {
  auto PtrMap = MakeMap(0, 0, 1, {{0, 0, 7}, {0, 0, 8}, {5, 0, 0}});
  EXPECT_EQ(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), 1, 1), 7.0);
  // At the corner only columns 0 and 1, rows 1 and 2, are scanned.
  EXPECT_EQ(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), 0, 2), 5.0);
  auto PtrZeros = MakeMap(0, 0, 1, {{0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(TMapTools::FindNonzeroNeighbourVal(PtrZeros.get(), 1, 0), 0.0);
}

TEST(GradientsTest, FindNonzeroNeighbourValCountsCellItselfAndNaN) {
  auto PtrMap = MakeMap(0, 0, 1, {{0, 3, 0}, {0, 0, 0}});
  EXPECT_EQ(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), 1, 0), 3.0);
  auto PtrNaN = MakeMap(0, 0, 1, {{1, 0}, {0, kDblNaN}});
  EXPECT_TRUE(std::isnan(TMapTools::FindNonzeroNeighbourVal(PtrNaN.get(), 0, 0)));
}

TEST(GradientsTest, FindNonzeroNeighbourValChecksColumnThenRow) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}});
  EXPECT_MESSAGE(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), 2, 5),
                 "X-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal");
  EXPECT_MESSAGE(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), -1, 0),
                 "X-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal");
  EXPECT_MESSAGE(TMapTools::FindNonzeroNeighbourVal(PtrMap.get(), 0, 1),
                 "Y-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal");
}
