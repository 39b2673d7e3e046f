// ops/ResampleKernel.cpp - TResampler: gdalwarp's nearest and bilinear sampling of a window of
// the target grid from a block of the source. The contracts are in ops/ResampleKernel.h.
#include "ops/ResampleKernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// gdalwarp's allowance for a centre that rounding left just before a cell boundary: it takes the
// cell after the boundary all the same.
constexpr double kDblBoundarySlack = 1e-10;
// At or above this scale in both directions gdalwarp's bilinear weighs the four cells around the
// centre; below it, a kernel widened by the scale.
constexpr double kDblFourCellScale = 0.95;
// How near a whole number a reduction (1 / scale) must be for gdalwarp to take that number.
constexpr double kDblSnapToWhole = 0.05;

// Where target cell LngTarget's centre lies in the source's image space, through its map
// coordinate and the inverse of the source's geotransform, as gdalwarp transforms it: its
// rounding far from the origin moves a centre by up to 1e-11 cells, which moves a bilinear value
// by that part of the difference between neighbours.
double Centre(const TResampleAxis& Axis, long LngTarget) {
  const long LngK = Axis.MbrBlnFromFarEnd ? Axis.MbrLngTargetCells - 1 - LngTarget : LngTarget;
  const double DblInverseOrigin = -Axis.MbrDblSourceEdge / Axis.MbrDblSourceStep;
  const double DblInverseStep = 1.0 / Axis.MbrDblSourceStep;
  const double DblCoordinate =
      Axis.MbrDblTargetEdge + (static_cast<double>(LngK) + 0.5) * Axis.MbrDblTargetStep;
  return DblInverseOrigin + DblCoordinate * DblInverseStep;
}

// The whole-source cell that holds the centre, or -1.
long HoldingCell(const TResampleAxis& Axis, double DblU) {
  if (!(DblU >= 0.0)) {
    return -1;
  }
  const double DblCell = std::floor(DblU + kDblBoundarySlack);
  return DblCell < static_cast<double>(Axis.MbrLngSourceCells) ? static_cast<long>(DblCell) : -1;
}

double Tent(double DblX) {
  const double DblAbs = std::fabs(DblX);
  return DblAbs <= 1.0 ? 1.0 - DblAbs : 0.0;
}

// How far from the cell before the centre the wide kernel reaches, in cells.
long WideRadius(double DblScale) {
  return DblScale < 1.0 ? static_cast<long>(std::ceil(1.0 / DblScale)) : 1;
}

bool IsIn(long LngCell, long LngFirst, long LngCount) {
  return LngCell >= LngFirst && LngCell - LngFirst < LngCount;
}

[[noreturn]] void FailOutsideBlock() {
  Fail("The source block does not hold the cells the window reads in TResampler");
}

// The lines LngFirst .. LngFirst + LngCount - 1 of one direction, their cells counted from the
// block's first (LngBlockFirst, LngBlockCells of them). Cells outside the source are left out, as
// gdalwarp leaves them out; the weights of those kept are gdalwarp's, formed as it forms them.
TResampler::TLines PlanLines(const TResampleAxis& Axis, TResampler::TKernel Kind, long LngFirst,
                             long LngCount, long LngBlockFirst, long LngBlockCells) {
  TResampler::TLines Lines;
  Lines.MbrVecLines.resize(static_cast<std::size_t>(LngCount));
  const long LngCells = Axis.MbrLngSourceCells;
  const double DblScale = ResampleScale(Axis);
  const long LngRadius = WideRadius(DblScale);
  for (long LngK = 0; LngK < LngCount; ++LngK) {
    TResampler::TLine& Line = Lines.MbrVecLines[static_cast<std::size_t>(LngK)];
    const double DblU = Centre(Axis, LngFirst + LngK);
    const long LngHold = HoldingCell(Axis, DblU);
    if (LngHold < 0) {
      continue;
    }
    if (!IsIn(LngHold, LngBlockFirst, LngBlockCells)) {
      FailOutsideBlock();
    }
    Line.MbrLngHold = LngHold - LngBlockFirst;
    Line.MbrLngWeights = Lines.MbrVecWeights.size();
    long LngFrom = LngHold;
    if (Kind == TResampler::TKernel::kFourCells) {
      long LngBefore = static_cast<long>(std::floor(DblU - 0.5));
      double DblRatio = 1.5 - (DblU - static_cast<double>(LngBefore));
      // A centre in the outer half cell leans wholly on the first cell.
      if (LngBefore == -1) {
        LngBefore = 0;
        DblRatio = 1.0;
      }
      LngFrom = LngBefore;
      Lines.MbrVecWeights.push_back(DblRatio);
      if (LngBefore + 1 < LngCells) {
        Lines.MbrVecWeights.push_back(1.0 - DblRatio);
      }
    } else if (Kind == TResampler::TKernel::kWide) {
      const long LngBefore = static_cast<long>(std::floor(DblU - 0.5));
      const double DblDelta = DblU - 0.5 - static_cast<double>(LngBefore);
      LngFrom = std::max(LngBefore - LngRadius, 0L);
      const long LngTo = std::min(LngBefore + LngRadius, LngCells - 1);
      for (long LngCell = LngFrom; LngCell <= LngTo; ++LngCell) {
        const double DblOffset = static_cast<double>(LngCell - LngBefore) - DblDelta;
        Lines.MbrVecWeights.push_back(DblScale < 1.0 ? Tent(DblOffset * DblScale)
                                                     : Tent(DblOffset));
      }
    }
    Line.MbrLngCount = static_cast<long>(Lines.MbrVecWeights.size() - Line.MbrLngWeights);
    if (Line.MbrLngCount > 0 &&
        (!IsIn(LngFrom, LngBlockFirst, LngBlockCells) ||
         !IsIn(LngFrom + Line.MbrLngCount - 1, LngBlockFirst, LngBlockCells))) {
      FailOutsideBlock();
    }
    Line.MbrLngFirst = LngFrom - LngBlockFirst;
    Lines.MbrLngMostCells = std::max(Lines.MbrLngMostCells, Line.MbrLngCount);
  }
  return Lines;
}

// gdalwarp's count of R cells over n cells of r; a number that may exceed any long.
double ResampledCells(long LngSourceCells, double DblCellSize, double DblResolution) {
  const double DblExtent = static_cast<double>(LngSourceCells) * DblCellSize;
  return std::max(1.0, std::floor((DblExtent + DblResolution / 2) / DblResolution));
}

}  // namespace

TResamplePlan PlanResample(long LngColumns, long LngRows, double DblCellSize, double DblResolution,
                           double DblWest, double DblNorth) {
  if (!(DblResolution > 0.0) || !std::isfinite(DblResolution)) {
    Fail("New resolution cannot be <= 0.0 in TMapTools::Resample");
  }
  const char* const PtrTooSmall = "New resolution is too small for the map in TMapTools::Resample";
  if (!std::isfinite(static_cast<double>(LngColumns) * DblCellSize) ||
      !std::isfinite(static_cast<double>(LngRows) * DblCellSize)) {
    Fail(PtrTooSmall);
  }
  const double DblColumns = ResampledCells(LngColumns, DblCellSize, DblResolution);
  const double DblRows = ResampledCells(LngRows, DblCellSize, DblResolution);
  const double DblMaxCells = static_cast<double>(std::numeric_limits<std::ptrdiff_t>::max() /
                                                 static_cast<std::ptrdiff_t>(sizeof(double)));
  if (!(DblColumns * DblRows <= DblMaxCells)) {
    Fail(PtrTooSmall);
  }
  TResamplePlan Plan;
  Plan.MbrX = TResampleAxis{LngColumns,  static_cast<long>(DblColumns),
                            DblCellSize, DblResolution,
                            DblWest,     DblCellSize,
                            DblWest,     DblResolution,
                            false};
  Plan.MbrY = TResampleAxis{LngRows,     static_cast<long>(DblRows),
                            DblCellSize, DblResolution,
                            DblNorth,    -DblCellSize,
                            DblNorth,    -DblResolution,
                            false};
  return Plan;
}

double ResampleScale(const TResampleAxis& Axis) {
  const double DblTargets = static_cast<double>(Axis.MbrLngTargetCells);
  const double DblSpan = (DblTargets * Axis.MbrDblResolution) / Axis.MbrDblCellSize;
  const double DblScale =
      DblTargets / std::min(DblSpan, static_cast<double>(Axis.MbrLngSourceCells));
  if (DblScale < 1.0) {
    // gdalwarp takes a reduction within 0.05 of a whole number as that number, so that a grid
    // whose far edge overshoots the source's still weighs as 1 / k does.
    const double DblReduction = 1.0 / DblScale;
    const double DblWhole = std::floor(DblReduction + 0.5);
    if (std::fabs(DblReduction - DblWhole) < kDblSnapToWhole) {
      return 1.0 / DblWhole;
    }
  }
  return DblScale;
}

long ResampleReach(const TResampleAxis& Axis, TResampleMethod Method) {
  return Method == TResampleMethod::kNearest ? 0 : WideRadius(ResampleScale(Axis)) + 1;
}

TResampler::TResampler(const TResampleAxis& X, const TResampleAxis& Y, TResampleMethod Method,
                       double DblNoData, const TResampleBlock& Block, long LngFirstRow,
                       long LngRows, long LngFirstColumn, long LngColumns)
    : MbrKernel(TKernel::kNearest), MbrDblNoData(DblNoData), MbrBlock(Block) {
  // gdalwarp samples a source one cell wide or high by the nearest cell, bilinear or not.
  if (Method == TResampleMethod::kBilinear && X.MbrLngSourceCells > 1 && Y.MbrLngSourceCells > 1) {
    MbrKernel = ResampleScale(X) >= kDblFourCellScale && ResampleScale(Y) >= kDblFourCellScale
                    ? TKernel::kFourCells
                    : TKernel::kWide;
  }
  MbrColumns = PlanLines(X, MbrKernel, LngFirstColumn, LngColumns, Block.MbrLngFirstColumn,
                         Block.MbrLngColumns);
  MbrRows = PlanLines(Y, MbrKernel, LngFirstRow, LngRows, Block.MbrLngFirstRow, Block.MbrLngRows);
  if (MbrKernel == TKernel::kWide) {
    // As many rows as one target row weighs: those of the next row that it shares stay.
    const std::size_t LngSlots = static_cast<std::size_t>(std::max(MbrRows.MbrLngMostCells, 1L));
    MbrVecCachedRow.assign(LngSlots, -1);
    MbrVecRowSums.resize(LngSlots * 2 * MbrColumns.MbrVecLines.size());
    MbrVecSumRows.reserve(LngSlots);
  }
}

const double* TResampler::BlockRow(long LngBlockRow) const {
  return MbrBlock.MbrPtrRows[LngBlockRow];
}

// Each window column's weighted sum of the block row's cells and the sum of the weights of the
// data cells among them, in the order gdalwarp adds them.
const double* TResampler::RowSums(long LngBlockRow) {
  const std::size_t LngColumns = MbrColumns.MbrVecLines.size();
  const std::size_t LngSlot = static_cast<std::size_t>(LngBlockRow) % MbrVecCachedRow.size();
  double* PtrSums = MbrVecRowSums.data() + LngSlot * 2 * LngColumns;
  if (MbrVecCachedRow[LngSlot] == LngBlockRow) {
    return PtrSums;
  }
  const double* PtrRow = BlockRow(LngBlockRow);
  const double* PtrWeights = MbrColumns.MbrVecWeights.data();
  for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
    const TLine& Column = MbrColumns.MbrVecLines[LngC];
    double DblSum = 0.0;
    double DblWeight = 0.0;
    for (long LngI = 0; LngI < Column.MbrLngCount; ++LngI) {
      const double DblValue = PtrRow[Column.MbrLngFirst + LngI];
      if (DblValue != MbrDblNoData) {
        const double DblW = PtrWeights[Column.MbrLngWeights + static_cast<std::size_t>(LngI)];
        DblSum += DblValue * DblW;
        DblWeight += DblW;
      }
    }
    PtrSums[LngC] = DblSum;
    PtrSums[LngColumns + LngC] = DblWeight;
  }
  MbrVecCachedRow[LngSlot] = LngBlockRow;
  return PtrSums;
}

void TResampler::Row(long LngRow, double* PtrOut) {
  const std::size_t LngColumns = MbrColumns.MbrVecLines.size();
  const TLine& Row = MbrRows.MbrVecLines[static_cast<std::size_t>(LngRow)];
  if (Row.MbrLngHold < 0) {
    std::fill(PtrOut, PtrOut + LngColumns, MbrDblNoData);
    return;
  }
  const double* const PtrHeld = BlockRow(Row.MbrLngHold);
  const double* const PtrRowWeights = MbrRows.MbrVecWeights.data() + Row.MbrLngWeights;
  const double* const PtrColumnWeights = MbrColumns.MbrVecWeights.data();
  const double DblNoData = MbrDblNoData;
  if (MbrKernel == TKernel::kNearest) {
    for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
      const long LngHold = MbrColumns.MbrVecLines[LngC].MbrLngHold;
      PtrOut[LngC] = LngHold < 0 ? DblNoData : PtrHeld[LngHold];
    }
    return;
  }
  if (MbrKernel == TKernel::kFourCells) {
    const double* PtrSourceRows[2] = {
        BlockRow(Row.MbrLngFirst), Row.MbrLngCount > 1 ? BlockRow(Row.MbrLngFirst + 1) : nullptr};
    for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
      const TLine& Column = MbrColumns.MbrVecLines[LngC];
      if (Column.MbrLngHold < 0 || PtrHeld[Column.MbrLngHold] == DblNoData) {
        PtrOut[LngC] = DblNoData;
        continue;
      }
      double DblSum = 0.0;
      double DblDivisor = 0.0;
      for (long LngJ = 0; LngJ < Row.MbrLngCount; ++LngJ) {
        for (long LngI = 0; LngI < Column.MbrLngCount; ++LngI) {
          const double DblValue = PtrSourceRows[LngJ][Column.MbrLngFirst + LngI];
          if (DblValue != DblNoData) {
            const double DblWeight =
                PtrColumnWeights[Column.MbrLngWeights + static_cast<std::size_t>(LngI)] *
                PtrRowWeights[LngJ];
            DblDivisor += DblWeight;
            DblSum += DblValue * DblWeight;
          }
        }
      }
      PtrOut[LngC] = DblDivisor == 1.0      ? DblSum
                     : DblDivisor < 0.00001 ? DblNoData
                                            : DblSum / DblDivisor;
    }
    return;
  }
  // The sums of every source row the target row weighs, fetched before any is used: a row's
  // slot is taken by no other row of the same target row.
  std::vector<const double*>& VecSums = MbrVecSumRows;
  VecSums.clear();
  for (long LngJ = 0; LngJ < Row.MbrLngCount; ++LngJ) {
    VecSums.push_back(RowSums(Row.MbrLngFirst + LngJ));
  }
  for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
    const TLine& Column = MbrColumns.MbrVecLines[LngC];
    if (Column.MbrLngHold < 0 || PtrHeld[Column.MbrLngHold] == DblNoData) {
      PtrOut[LngC] = DblNoData;
      continue;
    }
    double DblSum = 0.0;
    double DblWeight = 0.0;
    for (long LngJ = 0; LngJ < Row.MbrLngCount; ++LngJ) {
      const double* PtrSums = VecSums[static_cast<std::size_t>(LngJ)];
      DblSum += PtrSums[LngC] * PtrRowWeights[LngJ];
      DblWeight += PtrSums[LngColumns + LngC] * PtrRowWeights[LngJ];
    }
    PtrOut[LngC] = DblWeight < 0.000001                         ? DblNoData
                   : DblWeight < 0.99999 || DblWeight > 1.00001 ? DblSum / DblWeight
                                                                : DblSum;
  }
}

}  // namespace tessgrid::detail
