// ops/ResampleKernel.cpp - TResampler: gdalwarp's sampling of a window of the target grid from a
// block of the source, and where each target line reads it. The contracts are in
// ops/ResampleKernel.h; the rows of the methods over the cells covered are in
// ops/ResampleCovered.cpp.
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

// Where the point DblK target cells from the target's first edge lies in the source's image
// space, through its map coordinate and the inverse of the source's geotransform, as gdalwarp
// transforms it: its rounding far from the origin moves a centre by up to 1e-11 cells, which
// moves a bilinear value by that part of the difference between neighbours.
double ImageAt(const TResampleAxis& Axis, double DblK) {
  const double DblInverseOrigin = -Axis.MbrDblSourceEdge / Axis.MbrDblSourceStep;
  const double DblInverseStep = 1.0 / Axis.MbrDblSourceStep;
  const double DblCoordinate = Axis.MbrDblTargetEdge + DblK * Axis.MbrDblTargetStep;
  return DblInverseOrigin + DblCoordinate * DblInverseStep;
}

// The target cell stored at LngTarget, counted from the target's first edge.
long FromFirstEdge(const TResampleAxis& Axis, long LngTarget) {
  return Axis.MbrBlnFromFarEnd ? Axis.MbrLngTargetCells - 1 - LngTarget : LngTarget;
}

// Where target cell LngTarget's centre lies in the source's image space.
double Centre(const TResampleAxis& Axis, long LngTarget) {
  return ImageAt(Axis, static_cast<double>(FromFirstEdge(Axis, LngTarget)) + 0.5);
}

// The source cells target cell LngTarget covers, [MbrLngFirst, MbrLngFirst + MbrLngCount), and the
// image coordinates of its edges, MbrDblLow < MbrDblHigh; MbrLngCount is 0 where it covers none.
struct TCover {
  double MbrDblLow;
  double MbrDblHigh;
  long MbrLngFirst;
  long MbrLngCount;
};

TCover Covered(const TResampleAxis& Axis, long LngTarget) {
  const double DblK = static_cast<double>(FromFirstEdge(Axis, LngTarget));
  const double DblA = ImageAt(Axis, DblK);
  const double DblB = ImageAt(Axis, DblK + 1.0);
  TCover Cover{std::min(DblA, DblB), std::max(DblA, DblB), 0, 0};
  const double DblCells = static_cast<double>(Axis.MbrLngSourceCells);
  // gdalwarp's span, with its allowance for edges that rounding left just short of a boundary.
  const double DblFirst = std::max(std::floor(Cover.MbrDblLow + kDblBoundarySlack), 0.0);
  const double DblEnd = std::min(std::ceil(Cover.MbrDblHigh - kDblBoundarySlack), DblCells);
  // gdalwarp takes the first cell for a target cell up to one cell before the source as well;
  // a cell that covers no part of the source is no-data here, as it is beyond the far end.
  if (!(DblEnd > 0.0) || !(DblFirst < DblCells)) {
    return Cover;
  }
  Cover.MbrLngFirst = static_cast<long>(DblFirst);
  // A target cell within one source cell takes that cell.
  Cover.MbrLngCount = std::max(static_cast<long>(DblEnd) - Cover.MbrLngFirst, 1L);
  return Cover;
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

// The line of target cell LngTarget over the cells it covers, weighted as gdalwarp -r average
// weighs them: the first cell by the part from u0 to its far side, the last by the part from its
// near side to u1, every other cell by 1, and a lone cell by 1; the cells the block holds are
// counted from its first (LngBlockFirst, LngBlockCells of them).
void PlanCovered(const TResampleAxis& Axis, long LngTarget, long LngBlockFirst, long LngBlockCells,
                 TResampler::TLine& Line, TResampler::TLines& Lines) {
  const TCover Cover = Covered(Axis, LngTarget);
  if (Cover.MbrLngCount == 0) {
    return;
  }
  const long LngLast = Cover.MbrLngFirst + Cover.MbrLngCount - 1;
  if (!IsIn(Cover.MbrLngFirst, LngBlockFirst, LngBlockCells) ||
      !IsIn(LngLast, LngBlockFirst, LngBlockCells)) {
    FailOutsideBlock();
  }
  Line.MbrLngHold = Cover.MbrLngFirst - LngBlockFirst;
  Line.MbrLngFirst = Line.MbrLngHold;
  Line.MbrLngCount = Cover.MbrLngCount;
  Line.MbrLngWeights = Lines.MbrVecWeights.size();
  for (long LngCell = Cover.MbrLngFirst; LngCell <= LngLast; ++LngCell) {
    double DblWeight = 1.0;
    if (Cover.MbrLngCount > 1 && LngCell == Cover.MbrLngFirst) {
      DblWeight = 1 - (Cover.MbrDblLow - static_cast<double>(Cover.MbrLngFirst));
    } else if (Cover.MbrLngCount > 1 && LngCell == LngLast) {
      DblWeight = 1 - (static_cast<double>(LngLast + 1) - Cover.MbrDblHigh);
    }
    Lines.MbrVecWeights.push_back(DblWeight);
  }
  Lines.MbrLngMostCells = std::max(Lines.MbrLngMostCells, Line.MbrLngCount);
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
    if (Kind == TResampler::TKernel::kCovered) {
      PlanCovered(Axis, LngFirst + LngK, LngBlockFirst, LngBlockCells, Line, Lines);
      continue;
    }
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

}  // namespace

TResamplePlan PlanResampleOnto(long LngColumns, long LngRows, double DblCellSize, double DblWest,
                               double DblNorth, const TResampleGrid& Target) {
  TResamplePlan Plan;
  Plan.MbrX =
      TResampleAxis{LngColumns, Target.MbrLngColumns, DblCellSize,       Target.MbrDblCellSize,
                    DblWest,    DblCellSize,          Target.MbrDblWest, Target.MbrDblCellSize,
                    false};
  Plan.MbrY = TResampleAxis{LngRows,  Target.MbrLngRows, DblCellSize,        Target.MbrDblCellSize,
                            DblNorth, -DblCellSize,      Target.MbrDblNorth, -Target.MbrDblCellSize,
                            false};
  return Plan;
}

TResamplePlan PlanResample(long LngColumns, long LngRows, double DblCellSize, double DblResolution,
                           double DblWest, double DblNorth) {
  return PlanResampleOnto(
      LngColumns, LngRows, DblCellSize, DblWest, DblNorth,
      ResampleGridOver(LngColumns, LngRows, DblCellSize, DblResolution, DblWest, DblNorth));
}

double ResampleScale(const TResampleAxis& Axis) {
  const double DblTargets = static_cast<double>(Axis.MbrLngTargetCells);
  const double DblA = ImageAt(Axis, 0.0);
  const double DblB = ImageAt(Axis, DblTargets);
  const double DblLow = std::min(DblA, DblB);
  // gdalwarp's source window: from the target's first edge, or the source's where that lies
  // before it, to the target's last edge or the source's far end, whichever comes first.
  const double DblSpan =
      std::min(static_cast<double>(Axis.MbrLngSourceCells) - std::floor(std::max(0.0, DblLow)),
               std::max(DblA, DblB) - DblLow);
  if (!(DblSpan > 0.0)) {
    return 1.0;
  }
  const double DblScale = DblTargets / DblSpan;
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
  switch (Method) {
    case TResampleMethod::kNearest:
      return 0;
    case TResampleMethod::kBilinear:
      return WideRadius(ResampleScale(Axis)) + 1;
    default:
      return 1;
  }
}

TResampler::TKernel TResampler::KernelOf(const TResampleAxis& X, const TResampleAxis& Y,
                                         TResampleMethod Method) {
  if (Method != TResampleMethod::kNearest && Method != TResampleMethod::kBilinear) {
    return TKernel::kCovered;
  }
  // gdalwarp samples a source one cell wide or high by the nearest cell, bilinear or not.
  if (Method == TResampleMethod::kBilinear && X.MbrLngSourceCells > 1 && Y.MbrLngSourceCells > 1) {
    return ResampleScale(X) >= kDblFourCellScale && ResampleScale(Y) >= kDblFourCellScale
               ? TKernel::kFourCells
               : TKernel::kWide;
  }
  return TKernel::kNearest;
}

std::pair<long, long> TResampler::SourceRows(const TResampleAxis& X, const TResampleAxis& Y,
                                             TResampleMethod Method, long LngFirstRow,
                                             long LngRows) {
  const TLines Rows =
      PlanLines(Y, KernelOf(X, Y, Method), LngFirstRow, LngRows, 0, Y.MbrLngSourceCells);
  long LngFirst = Y.MbrLngSourceCells;
  long LngEnd = 0;
  for (const TLine& Row : Rows.MbrVecLines) {
    if (Row.MbrLngHold >= 0) {
      LngFirst = std::min({LngFirst, Row.MbrLngHold, Row.MbrLngFirst});
      LngEnd = std::max({LngEnd, Row.MbrLngHold + 1, Row.MbrLngFirst + Row.MbrLngCount});
    }
  }
  return LngEnd > LngFirst ? std::make_pair(LngFirst, LngEnd - LngFirst) : std::make_pair(0L, 0L);
}

TResampler::TResampler(const TResampleAxis& X, const TResampleAxis& Y, TResampleMethod Method,
                       double DblNoData, const TResampleBlock& Block, long LngFirstRow,
                       long LngRows, long LngFirstColumn, long LngColumns)
    : MbrKernel(KernelOf(X, Y, Method)),
      MbrMethod(Method),
      MbrDblNoData(DblNoData),
      MbrBlock(Block) {
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
  const std::size_t LngMost = static_cast<std::size_t>(MbrRows.MbrLngMostCells) *
                              static_cast<std::size_t>(MbrColumns.MbrLngMostCells);
  if (Method == TResampleMethod::kMedian) {
    MbrVecValues.reserve(LngMost);
  } else if (Method == TResampleMethod::kMode) {
    MbrVecPlaces.reserve(LngMost);
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
  if (MbrKernel == TKernel::kCovered) {
    CoveredRow(Row, PtrOut);
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
