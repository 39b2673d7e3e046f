// tests/ops/ResampleCoveredTest.cpp - the resample methods over the source cells each target cell
// covers (average, mode, min, max, median), on hand-made grids whose values can be worked out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"
#include "tests/support/MapBuilders.h"

using tessgrid::detail::ExtentGrid;
using tessgrid::detail::ResampleOnto;
using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;
using TRows = std::vector<std::vector<double>>;

const double kDblNaN = std::numeric_limits<double>::quiet_NaN();

TRows Resampled(const TRows& VecRows, double DblResolution, TResampleMethod Method) {
  const TMapPtr PtrSource = MakeMap(0, 0, 1, VecRows);
  return TMapPtr(TMapTools::Resample(PtrSource.get(), DblResolution, Method))->MbrVecValues;
}

// 3 x 3 cells of 1 at R = 1.5: each target cell covers one whole cell and half of the next in
// each direction, so the cells weigh 1, 0.5 (x) times 1, 0.5 (y).
const TRows kThree = {{1, 2, 4}, {8, 16, 32}, {64, 128, 256}};

}  // namespace

TEST(ResampleCoveredTest, AverageWeighsEachDataCellByThePartOfItCovered) {
  // Whole blocks: the plain mean.
  EXPECT_EQ(Resampled({{1, 2, 3, 4}, {5, 6, 7, 8}}, 2, TResampleMethod::kAverage),
            (TRows{{3.5, 5.5}}));
  // Part cells: the north-western target cell covers (0, 0) whole, (1, 0) and (0, 1) half and
  // (1, 1) a quarter; the south-eastern the same from the other side.
  const TRows VecAverage = Resampled(kThree, 1.5, TResampleMethod::kAverage);
  EXPECT_DOUBLE_EQ(VecAverage[0][0], (1 + 2 * 0.5 + 8 * 0.5 + 16 * 0.25) / 2.25);
  EXPECT_DOUBLE_EQ(VecAverage[1][1], (16 * 0.25 + 32 * 0.5 + 128 * 0.5 + 256) / 2.25);
  // No-data cells drop out and the others' weights stand alone; none left is no-data.
  const TRows VecHoles =
      Resampled({{1, -9999, -9999, -9999}, {5, 6, -9999, -9999}}, 2, TResampleMethod::kAverage);
  EXPECT_EQ(VecHoles, (TRows{{4, -9999}}));
  const TRows VecPartHole =
      Resampled({{1, 2, 4}, {-9999, 16, 32}, {64, 128, 256}}, 1.5, TResampleMethod::kAverage);
  EXPECT_DOUBLE_EQ(VecPartHole[0][0], (1 + 2 * 0.5 + 16 * 0.25) / 1.75);
  // A NaN among the data cells is the result.
  EXPECT_TRUE(std::isnan(Resampled({{1, kDblNaN}, {3, 4}}, 2, TResampleMethod::kAverage)[0][0]));
}

TEST(ResampleCoveredTest, MinimumMaximumAndMedianTakeEveryDataCellCoveredWhole) {
  const TRows VecSource = {{5, 1, 7, 2}, {3, 9, -9999, 4}};
  EXPECT_EQ(Resampled(VecSource, 2, TResampleMethod::kMinimum), (TRows{{1, 2}}));
  EXPECT_EQ(Resampled(VecSource, 2, TResampleMethod::kMaximum), (TRows{{9, 7}}));
  // Of 4 values the lower middle one, of 3 the middle one.
  EXPECT_EQ(Resampled(VecSource, 2, TResampleMethod::kMedian), (TRows{{3, 4}}));
  // A cell covered in part counts as a whole one: the north-western target cell of kThree
  // takes 1, 2, 8 and 16.
  EXPECT_EQ(Resampled(kThree, 1.5, TResampleMethod::kMinimum)[0][0], 1);
  EXPECT_EQ(Resampled(kThree, 1.5, TResampleMethod::kMaximum)[0][0], 16);
  EXPECT_EQ(Resampled(kThree, 1.5, TResampleMethod::kMedian)[0][0], 2);
  EXPECT_EQ(Resampled({{-9999, -9999}}, 2, TResampleMethod::kMedian), (TRows{{-9999}}));
  for (TResampleMethod Method :
       {TResampleMethod::kMinimum, TResampleMethod::kMaximum, TResampleMethod::kMedian}) {
    EXPECT_TRUE(std::isnan(Resampled({{1, kDblNaN}, {3, 4}}, 2, Method)[0][0]));
    EXPECT_TRUE(std::isnan(Resampled({{kDblNaN, 1}, {3, 4}}, 2, Method)[0][0]));
  }
  // Of equal values the first met stays: -0 before 0.
  EXPECT_TRUE(std::signbit(Resampled({{-0.0, 0.0}}, 2, TResampleMethod::kMinimum)[0][0]));
  EXPECT_FALSE(std::signbit(Resampled({{0.0, -0.0}}, 2, TResampleMethod::kMaximum)[0][0]));
}

TEST(ResampleCoveredTest, ModeTakesTheValueHeldMostOftenExactlyAndOfEqualsTheFirstToGetThere) {
  EXPECT_EQ(Resampled({{3, 5, 5, 3}, {5, 3, 3, 3}}, 2, TResampleMethod::kMode), (TRows{{5, 3}}));
  // 7 and 5 are held twice each; row by row 5 has its second cell first.
  EXPECT_EQ(Resampled({{7, 5, 1}, {5, 7, 1}}, 3, TResampleMethod::kMode), (TRows{{5}}));
  EXPECT_EQ(Resampled({{7, 5}, {7, 5}}, 2, TResampleMethod::kMode), (TRows{{7}}));
  // Values that differ in the last bits are different values, and the one held most comes out
  // as it is, not as a 32-bit float.
  const double DblNear = 0.1 + 1e-12;
  EXPECT_EQ(Resampled({{DblNear, 0.1}, {0.1, -9999}}, 2, TResampleMethod::kMode), (TRows{{0.1}}));
  EXPECT_EQ(Resampled({{-9999, DblNear}, {-9999, -9999}}, 2, TResampleMethod::kMode),
            (TRows{{DblNear}}));
  EXPECT_EQ(Resampled({{-9999, -9999}}, 2, TResampleMethod::kMode), (TRows{{-9999}}));
  EXPECT_TRUE(std::isnan(Resampled({{1, 1}, {1, kDblNaN}}, 2, TResampleMethod::kMode)[0][0]));
  // 0 and -0 are one value, given as the first cell holds it.
  EXPECT_TRUE(std::signbit(Resampled({{-0.0, 0.0}, {2, 3}}, 2, TResampleMethod::kMode)[0][0]));
}

TEST(ResampleCoveredTest, CellsThatCoverNoPartOfTheSourceAreNoDataAndEdgeCellsWeighForTheRest) {
  // 4 x 4 cells of 1 from (0, 0), on the grid of cells of 1 from (-2, -2) to (6, 6): the cells
  // beyond the source hold nothing, whatever the method, on every side.
  TRows VecRows(4, std::vector<double>(4));
  for (std::size_t LngJ = 0; LngJ < 4; ++LngJ) {
    for (std::size_t LngI = 0; LngI < 4; ++LngI) {
      VecRows[LngJ][LngI] = static_cast<double>(10 * LngJ + LngI + 1);
    }
  }
  const TMapPtr PtrSource = MakeMap(0, 0, 1, VecRows);
  for (TResampleMethod Method :
       {TResampleMethod::kNearest, TResampleMethod::kBilinear, TResampleMethod::kAverage,
        TResampleMethod::kMode, TResampleMethod::kMinimum, TResampleMethod::kMaximum,
        TResampleMethod::kMedian}) {
    const TMapPtr PtrWide = ResampleOnto(*PtrSource, ExtentGrid(-2, -2, 6, 6, 1, false), Method);
    ASSERT_EQ(PtrWide->MbrLngXDim, 8);
    ASSERT_EQ(PtrWide->MbrLngYDim, 8);
    for (std::size_t LngJ = 0; LngJ < 8; ++LngJ) {
      for (std::size_t LngI = 0; LngI < 8; ++LngI) {
        const bool BlnInside = LngI >= 2 && LngI < 6 && LngJ >= 2 && LngJ < 6;
        EXPECT_EQ(PtrWide->MbrVecValues[LngJ][LngI],
                  BlnInside ? VecRows[LngJ - 2][LngI - 2] : -9999.0)
            << static_cast<int>(Method) << ": " << LngI << ", " << LngJ;
      }
    }
  }
  // A target cell half beyond the western edge weighs the outermost cell by 1.5, the part
  // beyond included, and the next by 0.5, as gdalwarp -r average does.
  const TMapPtr PtrShifted =
      ResampleOnto(*PtrSource, ExtentGrid(-0.5, 2, 3.5, 4, 2, false), TResampleMethod::kAverage);
  EXPECT_DOUBLE_EQ(PtrShifted->MbrVecValues[0][0], (1.5 * (1 + 11) + 0.5 * (2 + 12)) / 4);
}
