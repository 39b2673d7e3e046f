// tests/ops/ResampleKernelTest.cpp - the resample kernel: gdalwarp's scale of a direction, and
// windows of the target grid read from blocks of the source, as the chunked Python path reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ops/ResampleKernel.h"
#include "tests/support/ExpectMessage.h"

using tessgrid::detail::PlanResample;
using tessgrid::detail::ResampleReach;
using tessgrid::detail::ResampleScale;
using tessgrid::detail::TResampleAxis;
using tessgrid::detail::TResampleBlock;
using tessgrid::detail::TResamplePlan;
using tessgrid::detail::TResampler;

namespace {

// One direction of a resample from the origin.
TResampleAxis Axis(long LngSourceCells, double DblCellSize, double DblResolution) {
  return PlanResample(LngSourceCells, 1, DblCellSize, DblResolution, 0, DblCellSize).MbrX;
}

// A source of LngCols x LngRows cells, rows from the north, with a few no-data cells.
std::vector<std::vector<double>> Source(long LngCols, long LngRows) {
  std::vector<std::vector<double>> VecRows(static_cast<std::size_t>(LngRows));
  for (long LngJ = 0; LngJ < LngRows; ++LngJ) {
    for (long LngI = 0; LngI < LngCols; ++LngI) {
      VecRows[static_cast<std::size_t>(LngJ)].push_back(
          (LngI * 5 + LngJ * 3) % 13 == 4 ? -9999.0 : 100 * std::sin(0.9 * LngI + 0.4 * LngJ));
    }
  }
  return VecRows;
}

// Rows LngFirstRow .. and columns LngFirstColumn .. of the source as a block.
struct TBlock {
  std::vector<const double*> VecRows;
  TResampleBlock Block;
};

TBlock BlockOf(const std::vector<std::vector<double>>& VecSource, long LngFirstRow, long LngRows,
               long LngFirstColumn, long LngColumns) {
  TBlock Result;
  for (long LngJ = LngFirstRow; LngJ < LngFirstRow + LngRows; ++LngJ) {
    Result.VecRows.push_back(VecSource[static_cast<std::size_t>(LngJ)].data() + LngFirstColumn);
  }
  Result.Block =
      TResampleBlock{Result.VecRows.data(), LngFirstRow, LngRows, LngFirstColumn, LngColumns};
  return Result;
}

// The cells of a window as TResampler gives them, row after row.
std::vector<std::vector<double>> Window(const TResampleAxis& X, const TResampleAxis& Y,
                                        TResampleMethod Method, const TResampleBlock& Block,
                                        long LngFirstRow, long LngRows, long LngFirstColumn,
                                        long LngColumns) {
  TResampler Resampler(X, Y, Method, -9999.0, Block, LngFirstRow, LngRows, LngFirstColumn,
                       LngColumns);
  std::vector<std::vector<double>> VecCells(
      static_cast<std::size_t>(LngRows), std::vector<double>(static_cast<std::size_t>(LngColumns)));
  for (long LngJ = 0; LngJ < LngRows; ++LngJ) {
    Resampler.Row(LngJ, VecCells[static_cast<std::size_t>(LngJ)].data());
  }
  return VecCells;
}

}  // namespace

TEST(ResampleKernelTest, ScaleIsTheTargetCellsOverTheSourceCellsTheySpanTakenWholeWhenNearly) {
  EXPECT_EQ(ResampleScale(Axis(40, 1, 2)), 0.5);
  EXPECT_EQ(ResampleScale(Axis(100, 30, 75)), 0.4);
  // A grid whose far edge overshoots the source's spans only the source: 11 cells over 21.
  EXPECT_EQ(ResampleScale(Axis(21, 1, 2)), 11.0 / 21);
  EXPECT_EQ(ResampleScale(Axis(99, 1, 2.5)), 40.0 / 99);
  // A reduction within 0.05 of a whole number is that number: 41 / 21 and 83 / 21 are 2 and 4,
  // 79 / 20 (3.95, rounded just beyond) is not.
  EXPECT_EQ(ResampleScale(Axis(41, 1, 2)), 0.5);
  EXPECT_EQ(ResampleScale(Axis(83, 1, 4)), 0.25);
  EXPECT_EQ(ResampleScale(Axis(79, 1, 4)), 20.0 / 79);
  // Refining is not reduced.
  EXPECT_EQ(ResampleScale(Axis(10, 2, 1)), 2.0);
}

TEST(ResampleKernelTest, WindowsReadFromBlocksWithTheirReachGiveTheWholeGridsCells) {
  // 23 x 17 cells of 30 m; each ratio R / r = p / q puts a target edge on every p-th source
  // edge, where windows of whole steps start and end.
  const long LngCols = 23;
  const long LngRows = 17;
  const std::vector<std::vector<double>> VecSource = Source(LngCols, LngRows);
  const TBlock Whole = BlockOf(VecSource, 0, LngRows, 0, LngCols);
  struct TRatio {
    long LngP;
    long LngQ;
  };
  for (const TRatio Ratio : {TRatio{1, 2}, TRatio{3, 10}, TRatio{7, 10}, TRatio{3, 2}, TRatio{2, 1},
                             TRatio{5, 2}, TRatio{3, 1}, TRatio{4, 1}}) {
    const double DblResolution = 30.0 * static_cast<double>(Ratio.LngP) / Ratio.LngQ;
    const TResamplePlan Plan = PlanResample(LngCols, LngRows, 30, DblResolution, 0, 30 * LngRows);
    const TResampleAxis& X = Plan.MbrX;
    const TResampleAxis& Y = Plan.MbrY;
    for (TResampleMethod Method : {TResampleMethod::kNearest, TResampleMethod::kBilinear}) {
      const std::vector<std::vector<double>> VecWhole =
          Window(X, Y, Method, Whole.Block, 0, Y.MbrLngTargetCells, 0, X.MbrLngTargetCells);
      const long LngReachX = ResampleReach(X, Method);
      const long LngReachY = ResampleReach(Y, Method);
      // Windows of one and of two steps; the last takes the rest.
      for (long LngSteps : {1L, 2L}) {
        const long LngStep = LngSteps * Ratio.LngP;
        for (long LngRow0 = 0, LngRowEnd = 0; LngRow0 < LngRows; LngRow0 = LngRowEnd) {
          const bool BlnLastRow = LngRow0 + 2 * LngStep > LngRows;
          LngRowEnd = BlnLastRow ? LngRows : LngRow0 + LngStep;
          const long LngTarget0 = LngRow0 / Ratio.LngP * Ratio.LngQ;
          const long LngTargetRows =
              (BlnLastRow ? Y.MbrLngTargetCells : LngRowEnd / Ratio.LngP * Ratio.LngQ) - LngTarget0;
          for (long LngCol0 = 0, LngColEnd = 0; LngCol0 < LngCols; LngCol0 = LngColEnd) {
            const bool BlnLastCol = LngCol0 + 2 * LngStep > LngCols;
            LngColEnd = BlnLastCol ? LngCols : LngCol0 + LngStep;
            const long LngTargetCol0 = LngCol0 / Ratio.LngP * Ratio.LngQ;
            const long LngTargetCols =
                (BlnLastCol ? X.MbrLngTargetCells : LngColEnd / Ratio.LngP * Ratio.LngQ) -
                LngTargetCol0;
            const long LngBlockRow0 = std::max(0L, LngRow0 - LngReachY);
            const long LngBlockCol0 = std::max(0L, LngCol0 - LngReachX);
            const TBlock Part = BlockOf(
                VecSource, LngBlockRow0, std::min(LngRows, LngRowEnd + LngReachY) - LngBlockRow0,
                LngBlockCol0, std::min(LngCols, LngColEnd + LngReachX) - LngBlockCol0);
            const std::vector<std::vector<double>> VecPart = Window(
                X, Y, Method, Part.Block, LngTarget0, LngTargetRows, LngTargetCol0, LngTargetCols);
            for (long LngJ = 0; LngJ < LngTargetRows; ++LngJ) {
              const std::vector<double>& VecRow =
                  VecWhole[static_cast<std::size_t>(LngTarget0 + LngJ)];
              ASSERT_EQ(VecPart[static_cast<std::size_t>(LngJ)],
                        std::vector<double>(VecRow.begin() + LngTargetCol0,
                                            VecRow.begin() + LngTargetCol0 + LngTargetCols))
                  << "R / r = " << Ratio.LngP << " / " << Ratio.LngQ << ", window at source "
                  << LngRow0 << ", " << LngCol0 << ", row " << LngJ;
            }
          }
        }
      }
    }
  }
  // A block short of one cell the window reads fails rather than reading past it.
  const TResamplePlan Plan = PlanResample(LngCols, LngRows, 30, 60, 0, 30 * LngRows);
  const TResampleAxis& X = Plan.MbrX;
  const TResampleAxis& Y = Plan.MbrY;
  const TBlock Short = BlockOf(VecSource, 0, 10, 0, LngCols);
  EXPECT_MESSAGE(TResampler(X, Y, TResampleMethod::kBilinear, -9999.0, Short.Block, 0, 5, 0, 11),
                 "The source block does not hold the cells the window reads in TResampler");
  EXPECT_MESSAGE(TResampler(X, Y, TResampleMethod::kNearest, -9999.0, Short.Block, 0, 6, 0, 11),
                 "The source block does not hold the cells the window reads in TResampler");
}
