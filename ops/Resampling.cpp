// ops/Resampling.cpp - TMapTools resampling: Downscale, Subdivide, bilinear interpolation and
// Resample.
// The declarations and their contracts are in ops/TMapTools.h, section "Resampling".
#include "ops/TMapTools.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "model/AxisCoordinates.h"
#include "model/Fail.h"
#include "model/UnfilledMap.h"
#include "ops/AxisLookup.h"
#include "ops/FirstFailure.h"
#include "ops/ResampleGrid.h"
#include "ops/ResampleKernel.h"
#include "ops/ResultGrid.h"

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

using tessgrid::detail::Fail;
using tessgrid::detail::FailAtFirstCell;
using tessgrid::detail::Fails;
using tessgrid::detail::FillRows;
using tessgrid::detail::IsIndexIn;
using tessgrid::detail::LookupIndices;
using tessgrid::detail::NewUnfilledMap;
using tessgrid::detail::Note;
using tessgrid::detail::NoteLookup;
using tessgrid::detail::PlanResampleOnto;
using tessgrid::detail::ReaderEdges;
using tessgrid::detail::ResampleGridOver;
using tessgrid::detail::RowOf;
using tessgrid::detail::TGridEdges;
using tessgrid::detail::TIndexList;
using tessgrid::detail::TLineFault;
using tessgrid::detail::TResampleBlock;
using tessgrid::detail::TResampleGrid;
using tessgrid::detail::TResamplePlan;
using tessgrid::detail::TResampler;
using tessgrid::detail::TSourceRows;

namespace {

const char* const kStgGetPointX = "LngX is out of range in TMap::GetPoint (TPoint*)";
const char* const kStgGetPointY = "LngY is out of range in TMap::GetPoint (TPoint*)";

// The one evaluation of the bilinear formula, shared by every form so that they agree bit for
// bit: each value is divided by the area first, then multiplied by its two distance factors,
// and the terms are added left to right.
inline double Blend(double DblQ11, double DblQ21, double DblQ12, double DblQ22, double DblDx1,
                    double DblDx2, double DblDy1, double DblDy2, double DblArea) {
  return (DblQ11 / DblArea) * DblDx2 * DblDy2 + (DblQ21 / DblArea) * DblDx1 * DblDy2 +
         (DblQ12 / DblArea) * DblDx2 * DblDy1 + (DblQ22 / DblArea) * DblDx1 * DblDy1;
}

bool IsFilled(const TAxis* PtrAxis, long LngSize) {
  if (PtrAxis == nullptr || PtrAxis->GetSize() != LngSize) {
    return false;
  }
  for (const TPoint* PtrPoint : PtrAxis->MbrVecPoints) {
    if (PtrPoint == nullptr) {
      return false;
    }
  }
  return true;
}

// The setters always leave a map with four filled axes that fit its dimensions; a map without
// them (made by size and never given axes, or grown by AddRow) has no edges to resample from.
void CheckAxes(const TMap& Map, const char* PtrMessage) {
  const bool BlnComplete = Map.MbrLngXDim >= 0 && Map.MbrLngYDim >= 0 &&
                           IsFilled(Map.MbrPtrXAxis, Map.MbrLngXDim) &&
                           IsFilled(Map.MbrPtrYAxis, Map.MbrLngYDim) &&
                           IsFilled(Map.MbrPtrXAxisInterval, Map.MbrLngXDim + 1) &&
                           IsFilled(Map.MbrPtrYAxisInterval, Map.MbrLngYDim + 1);
  if (!BlnComplete) {
    Fail(PtrMessage);
  }
}

long double MemoryBytes() {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
  const long LngPages = sysconf(_SC_PHYS_PAGES);
  const long LngPageSize = sysconf(_SC_PAGESIZE);
  if (LngPages > 0 && LngPageSize > 0) {
    return static_cast<long double>(LngPages) * static_cast<long double>(LngPageSize);
  }
#endif
  return static_cast<long double>(std::numeric_limits<std::ptrdiff_t>::max());
}

// Turns two computed dimensions into longs, failing as an exhausted allocation would when the
// grid and its axes cannot fit in this machine's memory. The grid writes every cell as it is
// made, so without this a request far too large would fill memory row by row before failing.
void FitDimensions(long double DblXDim, long double DblYDim, long& LngXDim, long& LngYDim) {
  const long double DblLimit = 4.0e18L;  // keeps the conversion to long defined
  if (!(std::fabs(DblXDim) < DblLimit) || !(std::fabs(DblYDim) < DblLimit)) {
    throw std::bad_alloc();
  }
  const long double DblCols = DblXDim > 0 ? DblXDim : 0;
  const long double DblRows = DblYDim > 0 ? DblYDim : 0;
  const long double DblCells = DblRows * (sizeof(std::vector<double>) + DblCols * sizeof(double));
  // Up to four axes live at once while a new map is given its geometry; a point costs its
  // object, its slot and the allocator's bookkeeping.
  const long double DblAxes = 4 * (DblCols + DblRows + 2) * (sizeof(TPoint) + sizeof(TPoint*) + 16);
  if (DblCells + DblAxes > MemoryBytes()) {
    throw std::bad_alloc();
  }
  LngXDim = static_cast<long>(DblXDim);
  LngYDim = static_cast<long>(DblYDim);
}

double FirstXEdge(const TMap& Map) {
  return Map.MbrPtrXAxisInterval->MbrVecPoints.front()->MbrDblX;
}

double FirstYEdge(const TMap& Map) {
  return Map.MbrPtrYAxisInterval->MbrVecPoints.front()->MbrDblY;
}

double LastXEdge(const TMap& Map) {
  return Map.MbrPtrXAxisInterval->MbrVecPoints.back()->MbrDblX;
}

double LastYEdge(const TMap& Map) {
  return Map.MbrPtrYAxisInterval->MbrVecPoints.back()->MbrDblY;
}

// The body of Downscale, for a source whose axes are checked and an R > 0. The cells start as,
// and the map declares, the given no-data value; Downscale's own is -9999.
std::unique_ptr<TMap> MakeDownscaled(const TMap& Source, double DblResolution,
                                     double DblNoDataValue) {
  const double DblX0 = FirstXEdge(Source);
  const double DblY0 = FirstYEdge(Source);
  const bool BlnRising = LastYEdge(Source) > DblY0;
  // Extended precision before truncation: r x n / R is a whole number more often than double
  // arithmetic would show.
  const long double DblR = Source.MbrDblResolution;
  long LngXDim = 0;
  long LngYDim = 0;
  FitDimensions(DblR * Source.MbrLngXDim / DblResolution, DblR * Source.MbrLngYDim / DblResolution,
                LngXDim, LngYDim);
  auto PtrResult = std::make_unique<TMap>(DblResolution);
  PtrResult->Init(DblResolution, LngXDim, LngYDim, DblNoDataValue);

  const double DblHalf = DblResolution / 2;
  TAxis XCentres(DblResolution, LngXDim);
  double DblX = DblX0 + DblHalf;
  for (long LngI = 0; LngI < LngXDim; ++LngI) {
    XCentres.SetPoint(LngI, new TPoint(DblX, DblY0));
    DblX += DblResolution;
  }
  TAxis YCentres(DblResolution, LngYDim);
  const double DblStep = BlnRising ? DblResolution : -DblResolution;
  double DblY = BlnRising ? DblY0 + DblHalf : DblY0 - DblHalf;
  for (long LngI = 0; LngI < LngYDim; ++LngI) {
    YCentres.SetPoint(LngI, new TPoint(DblX0, DblY));
    DblY += DblStep;
  }
  PtrResult->SetXAxis(&XCentres);
  PtrResult->SetYAxis(&YCentres);
  return PtrResult;
}

// What every sample of one column shares: its x, its result column and its neighbour columns.
struct TColumn {
  long LngResult;
  long LngX1;
  long LngX2;
  double DblDx1;    // x - x1
  double DblDx2;    // x2 - x
  double DblWidth;  // x2 - x1
};

// What every column's sample at the same position shares: its y, result row and neighbour rows.
struct TRow {
  long LngResult;
  long LngY1;
  long LngY2;
  double DblDy1;     // y - y1
  double DblDy2;     // y2 - y
  double DblHeight;  // y2 - y1
};

// The running coordinates of one direction: start, add the step, go on while the condition
// holds. Always one coordinate at least. The list stops early when adding the step no longer
// changes the coordinate, where the sampling would repeat that coordinate for ever.
std::vector<double> RunningCoordinates(double DblStart, double DblStep, double DblEnd,
                                       bool BlnRising, bool& BlnStuck) {
  std::vector<double> VecCoordinates;
  BlnStuck = false;
  double DblC = DblStart;
  do {
    VecCoordinates.push_back(DblC);
    const double DblNext = DblC + DblStep;
    if (DblNext == DblC) {
      BlnStuck = true;
      break;
    }
    DblC = DblNext;
  } while (BlnRising ? DblC <= DblEnd : DblC >= DblEnd);
  return VecCoordinates;
}

// The checks one sample meets, in order: the lookups and range checks in the result map, then
// in the source, then the four neighbours. Columns number theirs with the even steps before 8
// and steps 8 and 9, rows with the odd steps before 8 and steps 10 and 11.

// Also gives each column's first failing check, kept apart so the cell loop reads less.
std::vector<TColumn> PlanColumns(const TMap& Result, const TMap& Source,
                                 const std::vector<double>& VecXs,
                                 std::vector<TLineFault>& VecFaults) {
  const TIndexList ListResult = LookupIndices(*Result.MbrPtrXAxisInterval, VecXs, 'X');
  const TIndexList ListSource = LookupIndices(*Source.MbrPtrXAxisInterval, VecXs, 'X');
  const std::vector<TPoint*>& VecCentres = Source.MbrPtrXAxis->MbrVecPoints;
  std::vector<TColumn> VecColumns(VecXs.size());
  VecFaults.assign(VecXs.size(), TLineFault());
  for (std::size_t LngC = 0; LngC < VecXs.size(); ++LngC) {
    TColumn& Column = VecColumns[LngC];
    TLineFault& Fault = VecFaults[LngC];
    Column = TColumn{ListResult.MbrVecIndices[LngC], 0, 0, 0.0, 0.0, 0.0};
    NoteLookup(Fault, ListResult, LngC, Result.MbrLngXDim, 0, 2, kStgGetPointX);
    NoteLookup(Fault, ListSource, LngC, Source.MbrLngXDim, 4, 6, kStgGetPointX);
    if (Fails(Fault)) {
      continue;
    }
    const long LngIx = ListSource.MbrVecIndices[LngC];
    const double DblX = VecXs[LngC];
    // A sample exactly on a centre pairs that centre with the one to its west.
    const bool BlnWest = VecCentres[static_cast<std::size_t>(LngIx)]->MbrDblX >= DblX;
    Column.LngX1 = BlnWest ? LngIx - 1 : LngIx;
    Column.LngX2 = BlnWest ? LngIx : LngIx + 1;
    if (!IsIndexIn(Column.LngX1, Source.MbrLngXDim)) {
      Note(Fault, 8, "LngGetX1 is out of range in TMapTools::BilinearInterpolate");
    } else if (!IsIndexIn(Column.LngX2, Source.MbrLngXDim)) {
      Note(Fault, 9, "LngGetX2 is out of range in TMapTools::BilinearInterpolate");
    } else {
      const double DblX1 = VecCentres[static_cast<std::size_t>(Column.LngX1)]->MbrDblX;
      const double DblX2 = VecCentres[static_cast<std::size_t>(Column.LngX2)]->MbrDblX;
      Column.DblDx1 = DblX - DblX1;
      Column.DblDx2 = DblX2 - DblX;
      Column.DblWidth = DblX2 - DblX1;
    }
  }
  return VecColumns;
}

std::vector<TRow> PlanRows(const TMap& Result, const TMap& Source, const std::vector<double>& VecYs,
                           std::vector<TLineFault>& VecFaults) {
  const TIndexList ListResult = LookupIndices(*Result.MbrPtrYAxisInterval, VecYs, 'Y');
  const TIndexList ListSource = LookupIndices(*Source.MbrPtrYAxisInterval, VecYs, 'Y');
  const std::vector<TPoint*>& VecCentres = Source.MbrPtrYAxis->MbrVecPoints;
  const bool BlnRising = LastYEdge(Source) > FirstYEdge(Source);
  std::vector<TRow> VecRows(VecYs.size());
  VecFaults.assign(VecYs.size(), TLineFault());
  for (std::size_t LngS = 0; LngS < VecYs.size(); ++LngS) {
    TRow& Row = VecRows[LngS];
    TLineFault& Fault = VecFaults[LngS];
    Row = TRow{ListResult.MbrVecIndices[LngS], 0, 0, 0.0, 0.0, 0.0};
    NoteLookup(Fault, ListResult, LngS, Result.MbrLngYDim, 1, 3, kStgGetPointY);
    NoteLookup(Fault, ListSource, LngS, Source.MbrLngYDim, 5, 7, kStgGetPointY);
    if (Fails(Fault)) {
      continue;
    }
    const long LngIy = ListSource.MbrVecIndices[LngS];
    const double DblY = VecYs[LngS];
    const double DblCy = VecCentres[static_cast<std::size_t>(LngIy)]->MbrDblY;
    // Either way a sample exactly on a centre pairs it with the centre of lower y.
    const bool BlnPrevious = BlnRising ? !(DblCy < DblY) : DblY > DblCy;
    Row.LngY1 = BlnPrevious ? LngIy - 1 : LngIy;
    Row.LngY2 = BlnPrevious ? LngIy : LngIy + 1;
    if (!IsIndexIn(Row.LngY1, Source.MbrLngYDim)) {
      Note(Fault, 10, "LngGetY1 is out of range in TMapTools::BilinearInterpolate");
    } else if (!IsIndexIn(Row.LngY2, Source.MbrLngYDim)) {
      Note(Fault, 11, "LngGetY2 is out of range in TMapTools::BilinearInterpolate");
    } else {
      const double DblY1 = VecCentres[static_cast<std::size_t>(Row.LngY1)]->MbrDblY;
      const double DblY2 = VecCentres[static_cast<std::size_t>(Row.LngY2)]->MbrDblY;
      Row.DblDy1 = DblY - DblY1;
      Row.DblDy2 = DblY2 - DblY;
      Row.DblHeight = DblY2 - DblY1;
    }
  }
  return VecRows;
}

// Samples run column by column, every column through all rows. Where adding the step stopped
// moving the coordinates, the sampling would repeat the last row (or column) for ever: after
// the first column when the rows stuck, after the last column when the columns stuck.
void CheckSamples(const std::vector<TLineFault>& VecColumns, bool BlnColumnsStuck,
                  const std::vector<TLineFault>& VecRows, bool BlnRowsStuck) {
  const char* const PtrStuck =
      "New resolution is too small for the map's coordinates in TMapTools::BilinearInterpolate";
  FailAtFirstCell(VecRows.data(), VecRows.size(), VecColumns.data(), 1);
  if (BlnRowsStuck) {
    Fail(PtrStuck);
  }
  FailAtFirstCell(VecRows.data(), VecRows.size(), VecColumns.data(), VecColumns.size());
  if (BlnColumnsStuck) {
    Fail(PtrStuck);
  }
}

template <typename T>
bool IsStrictlyMonotonic(const std::vector<T>& VecItems) {
  bool BlnRising = true;
  bool BlnFalling = true;
  for (std::size_t LngI = 0; LngI + 1 < VecItems.size(); ++LngI) {
    BlnRising = BlnRising && VecItems[LngI].LngResult < VecItems[LngI + 1].LngResult;
    BlnFalling = BlnFalling && VecItems[LngI].LngResult > VecItems[LngI + 1].LngResult;
  }
  return BlnRising || BlnFalling;
}

const double* RowData(const TMap& Map, long LngRow) {
  return Map.MbrVecValues[static_cast<std::size_t>(LngRow)].data();
}

// A no-data neighbour would lend its marker number to the mean and give a value that looks
// like data; the sample is no-data instead.
double SampleValue(const double* PtrRow1, const double* PtrRow2, const TColumn& Column,
                   const TRow& Row, double DblNoData) {
  const std::size_t LngX1 = static_cast<std::size_t>(Column.LngX1);
  const std::size_t LngX2 = static_cast<std::size_t>(Column.LngX2);
  const double DblQ11 = PtrRow1[LngX1];
  const double DblQ21 = PtrRow1[LngX2];
  const double DblQ12 = PtrRow2[LngX1];
  const double DblQ22 = PtrRow2[LngX2];
  if (DblQ11 == DblNoData || DblQ21 == DblNoData || DblQ12 == DblNoData || DblQ22 == DblNoData) {
    return DblNoData;
  }
  return Blend(DblQ11, DblQ21, DblQ12, DblQ22, Column.DblDx1, Column.DblDx2, Row.DblDy1, Row.DblDy2,
               Column.DblWidth * Row.DblHeight);
}

// Whether n cells of size r lie between the two edges, allowing for the rounding of edges made as
// running sums (at most half a unit in the last place of the largest edge at every step) and for
// a part in a billion of the cell size.
bool IsSpannedBy(double DblFirst, double DblLast, long LngCells, double DblCellSize) {
  const double DblCells = static_cast<double>(LngCells);
  const double DblLargest = std::max(std::fabs(DblFirst), std::fabs(DblLast));
  const double DblSlack = DblCells * (DblLargest * 0x1p-51 + DblCellSize * 1e-9);
  return std::fabs(std::fabs(DblLast - DblFirst) - DblCells * DblCellSize) <= DblSlack;
}

std::vector<double> CentresOf(const std::vector<double>& VecEdges) {
  std::vector<double> VecCentres(VecEdges.size() - 1);
  for (std::size_t LngK = 0; LngK < VecCentres.size(); ++LngK) {
    VecCentres[LngK] = VecEdges[LngK] + (VecEdges[LngK + 1] - VecEdges[LngK]) / 2;
  }
  return VecCentres;
}

std::unique_ptr<TAxis> AxisOf(double DblResolution, const std::vector<double>& VecCoordinates,
                              char ChrAxis, double DblOther) {
  auto PtrAxis = std::make_unique<TAxis>(DblResolution, 0);
  PtrAxis->MbrVecPoints.reserve(VecCoordinates.size());
  for (const double DblC : VecCoordinates) {
    PtrAxis->MbrVecPoints.push_back(ChrAxis == 'X' ? new TPoint(DblC, DblOther)
                                                   : new TPoint(DblOther, DblC));
  }
  return PtrAxis;
}

// Hands the map its four axes built in place, as the grid reader does: the setters would derive
// centres for falling Y edges only.
void GiveAxes(TMap& Map, double DblResolution, const std::vector<double>& VecXEdges,
              const std::vector<double>& VecYEdges) {
  std::unique_ptr<TAxis> PtrXEdges = AxisOf(DblResolution, VecXEdges, 'X', VecYEdges.front());
  std::unique_ptr<TAxis> PtrXCentres =
      AxisOf(DblResolution, CentresOf(VecXEdges), 'X', VecYEdges.front());
  std::unique_ptr<TAxis> PtrYEdges = AxisOf(DblResolution, VecYEdges, 'Y', VecXEdges.front());
  std::unique_ptr<TAxis> PtrYCentres =
      AxisOf(DblResolution, CentresOf(VecYEdges), 'Y', VecXEdges.front());
  Map.MbrPtrXAxis = PtrXCentres.release();
  Map.MbrPtrYAxis = PtrYCentres.release();
  Map.MbrPtrXAxisInterval = PtrXEdges.release();
  Map.MbrPtrYAxisInterval = PtrYEdges.release();
}

// Where a checked source lies: its cell size, first edges and their directions, and its western
// and northern edges, from which gdalwarp's grid over it is laid.
struct TResampleSource {
  double MbrDblCellSize;
  double MbrDblXFirst;
  double MbrDblYFirst;
  bool MbrBlnXRising;
  bool MbrBlnYRising;
  double MbrDblWest;
  double MbrDblNorth;
};

TResampleSource CheckSource(const TMap& Source) {
  if (Source.MbrLngXDim < 0 || Source.MbrLngYDim < 0 ||
      !IsFilled(Source.MbrPtrXAxisInterval, Source.MbrLngXDim + 1) ||
      !IsFilled(Source.MbrPtrYAxisInterval, Source.MbrLngYDim + 1)) {
    Fail("Map has no interval axes in TMapTools::Resample");
  }
  if (Source.MbrLngXDim == 0 || Source.MbrLngYDim == 0) {
    Fail("Map has no cells in TMapTools::Resample");
  }
  const double DblCellSize = Source.MbrDblResolution;
  const double DblXFirst = FirstXEdge(Source);
  const double DblXLast = LastXEdge(Source);
  const double DblYFirst = FirstYEdge(Source);
  const double DblYLast = LastYEdge(Source);
  if (!std::isfinite(DblXLast - DblXFirst) || !std::isfinite(DblYLast - DblYFirst)) {
    Fail("New resolution is too small for the map in TMapTools::Resample");
  }
  if (!(DblCellSize > 0.0) || !IsSpannedBy(DblXFirst, DblXLast, Source.MbrLngXDim, DblCellSize) ||
      !IsSpannedBy(DblYFirst, DblYLast, Source.MbrLngYDim, DblCellSize)) {
    Fail("Map's resolution does not match its edges in TMapTools::Resample");
  }
  const bool BlnXRising = DblXLast > DblXFirst;
  const bool BlnYRising = DblYLast > DblYFirst;
  return TResampleSource{DblCellSize,
                         DblXFirst,
                         DblYFirst,
                         BlnXRising,
                         BlnYRising,
                         BlnXRising ? DblXFirst : DblXLast,
                         BlnYRising ? DblYLast : DblYFirst};
}

// Target rows resampled per band: a band's source rows are all that is held of a source read a
// band at a time.
constexpr long kLngBandRows = 64;

// The resample of a checked source onto the grid, the source's rows asked of RowsAt a band at a
// time.
std::unique_ptr<TMap> ResampleChecked(const TMap& Map, const TResampleSource& Source,
                                      const TResampleGrid& Grid, TResampleMethod Method,
                                      const TSourceRows& RowsAt) {
  long LngXDim = 0;
  long LngYDim = 0;
  FitDimensions(Grid.MbrLngColumns, Grid.MbrLngRows, LngXDim, LngYDim);
  // The grid is laid from its western and northern edges; its rows are then stored in the
  // source's row order. A source whose first X edge is its eastern one, or whose rows run from
  // the south, counts its cells from there.
  TResamplePlan Plan = PlanResampleOnto(Map.MbrLngXDim, Map.MbrLngYDim, Source.MbrDblCellSize,
                                        Source.MbrDblWest, Source.MbrDblNorth, Grid);
  Plan.MbrX.MbrDblSourceEdge = Source.MbrDblXFirst;
  Plan.MbrX.MbrDblSourceStep =
      Source.MbrBlnXRising ? Source.MbrDblCellSize : -Source.MbrDblCellSize;
  Plan.MbrY.MbrDblSourceEdge = Source.MbrDblYFirst;
  Plan.MbrY.MbrDblSourceStep =
      Source.MbrBlnYRising ? Source.MbrDblCellSize : -Source.MbrDblCellSize;
  Plan.MbrY.MbrBlnFromFarEnd = Source.MbrBlnYRising;
  const double DblNoData = Map.MbrDblNoDataValue;
  std::unique_ptr<TMap> PtrResult = NewUnfilledMap(Grid.MbrDblCellSize, LngXDim, LngYDim);
  PtrResult->MbrDblNoDataValue = DblNoData;
  std::unique_ptr<TResampler> PtrBand;
  long LngBandFirst = 0;
  long LngBandEnd = 0;
  FillRows(*PtrResult, LngXDim, LngYDim, [&](long LngY, double* PtrOut) {
    if (LngY >= LngBandEnd) {
      const long LngRows = std::min(kLngBandRows, LngYDim - LngY);
      const std::pair<long, long> Span =
          TResampler::SourceRows(Plan.MbrX, Plan.MbrY, Method, LngY, LngRows);
      const double* const* PtrRows = Span.second > 0 ? RowsAt(Span.first, Span.second) : nullptr;
      const TResampleBlock Block{PtrRows, Span.first, Span.second, 0, Map.MbrLngXDim};
      PtrBand = std::make_unique<TResampler>(Plan.MbrX, Plan.MbrY, Method, DblNoData, Block, LngY,
                                             LngRows, 0, LngXDim);
      LngBandFirst = LngY;
      LngBandEnd = LngY + LngRows;
    }
    PtrBand->Row(LngY - LngBandFirst, PtrOut);
  });
  // The edges a grid file of the grid's header reads back as, so that its corner is stated
  // exactly.
  TGridEdges Edges =
      ReaderEdges(Grid.MbrDblWest, Grid.MbrDblSouth, Grid.MbrDblCellSize,
                  static_cast<std::size_t>(LngXDim), static_cast<std::size_t>(LngYDim));
  if (Source.MbrBlnYRising) {
    std::reverse(Edges.VecY.begin(), Edges.VecY.end());
  }
  GiveAxes(*PtrResult, Grid.MbrDblCellSize, Edges.VecX, Edges.VecY);
  return PtrResult;
}

// The rows of a map that holds them all, where they lie.
TSourceRows MapRows(const TMap& Map, std::vector<const double*>& VecRows) {
  VecRows.resize(static_cast<std::size_t>(std::max(0L, Map.MbrLngYDim)));
  for (long LngY = 0; LngY < Map.MbrLngYDim; ++LngY) {
    VecRows[static_cast<std::size_t>(LngY)] = RowOf(Map, LngY);
  }
  return [&VecRows](long LngFirst, long) { return VecRows.data() + LngFirst; };
}

}  // namespace

double TMapTools::BilinearInterpolate(double DblQ11, double DblQ21, double DblQ12, double DblQ22,
                                      double DblX, double DblX1, double DblX2, double DblY,
                                      double DblY1, double DblY2) {
  return Blend(DblQ11, DblQ21, DblQ12, DblQ22, DblX - DblX1, DblX2 - DblX, DblY - DblY1,
               DblY2 - DblY, (DblX2 - DblX1) * (DblY2 - DblY1));
}

void TMapTools::BilinearInterpolate(const TMapPoint* PtrP1, const TMapPoint* PtrP2,
                                    const TMapPoint* PtrP3, const TMapPoint* PtrP4,
                                    TMapPoint* PtrTarget) {
  PtrTarget->MbrDblValue =
      BilinearInterpolate(PtrP1->MbrDblValue, PtrP2->MbrDblValue, PtrP3->MbrDblValue,
                          PtrP4->MbrDblValue, PtrTarget->MbrDblX, PtrP1->MbrDblX, PtrP2->MbrDblX,
                          PtrTarget->MbrDblY, PtrP1->MbrDblY, PtrP3->MbrDblY);
}

TMap* TMapTools::Downscale(const TMap* PtrSource, double DblResolution) {
  if (!(DblResolution > 0.0)) {
    Fail("New resolution cannot be <= 0.0 in TMapTools::Downscale");
  }
  CheckAxes(*PtrSource, "Map has no complete axes in TMapTools::Downscale");
  return MakeDownscaled(*PtrSource, DblResolution, -9999.0).release();
}

TMap* TMapTools::Subdivide(const TMap* PtrSource, int IntFactor) {
  if (IntFactor <= 0) {
    Fail("Subdivision factor must be >= 1 in TMapTools::Subdivide");
  }
  const TMap& Source = *PtrSource;
  CheckAxes(Source, "Map has no complete axes in TMapTools::Subdivide");
  const long double DblFactor = IntFactor;
  long LngXDim = 0;
  long LngYDim = 0;
  FitDimensions(DblFactor * Source.MbrLngXDim, DblFactor * Source.MbrLngYDim, LngXDim, LngYDim);
  const double DblResolution = Source.MbrDblResolution / IntFactor;
  std::unique_ptr<TMap> PtrResult = NewUnfilledMap(DblResolution, LngXDim, LngYDim);
  // Every cell is a copy of the source cell it lies in; the K rows of a block are alike.
  FillRows(*PtrResult, LngXDim, LngYDim, [&Source, IntFactor](long LngY, double* PtrOut) {
    const long LngJ = LngY / IntFactor;
    for (long LngI = 0; LngI < Source.MbrLngXDim; ++LngI) {
      std::fill(PtrOut + LngI * IntFactor, PtrOut + (LngI + 1) * IntFactor,
                Source.GetPointVal(LngI, LngJ));
    }
  });

  // Running sums, as the grid reader builds its edges, keep the outer edges on the source's.
  const double DblX0 = FirstXEdge(Source);
  const double DblY0 = FirstYEdge(Source);
  TAxis XEdges(DblResolution, LngXDim + 1);
  double DblX = DblX0;
  for (long LngI = 0; LngI <= LngXDim; ++LngI) {
    XEdges.SetPoint(LngI, new TPoint(DblX, DblY0));
    DblX += DblResolution;
  }
  const double DblStep = LastYEdge(Source) > DblY0 ? DblResolution : -DblResolution;
  TAxis YEdges(DblResolution, LngYDim + 1);
  double DblY = DblY0;
  for (long LngI = 0; LngI <= LngYDim; ++LngI) {
    YEdges.SetPoint(LngI, new TPoint(DblX0, DblY));
    DblY += DblStep;
  }
  PtrResult->SetXAxisInterval(&XEdges);
  PtrResult->SetYAxisInterval(&YEdges);
  return PtrResult.release();
}

TMap* TMapTools::BilinearInterpolate(const TMap* PtrSource, double DblResolution) {
  if (!(DblResolution > 0.0)) {
    Fail("New resolution cannot be <= 0.0 in TMapTools::BilinearInterpolate");
  }
  const TMap& Source = *PtrSource;
  CheckAxes(Source, "Map has no complete axes in TMapTools::BilinearInterpolate");
  // Made with the source's no-data value in place of Downscale's -9999, which saves filling
  // the cells twice.
  std::unique_ptr<TMap> PtrResult = MakeDownscaled(Source, DblResolution, Source.MbrDblNoDataValue);

  const double DblR = Source.MbrDblResolution;
  const double DblXStart = FirstXEdge(*PtrResult) + DblR;
  const double DblXEnd = (LastXEdge(*PtrResult) - DblR) - DblResolution;
  if (DblXEnd < DblXStart) {
    return PtrResult.release();
  }
  const double DblY0 = FirstYEdge(*PtrResult);
  const double DblYN = LastYEdge(*PtrResult);
  const bool BlnFalling = DblY0 > DblYN;
  const double DblYStart = BlnFalling ? (DblY0 - DblR) - DblResolution : DblY0 + DblR;
  const double DblYEnd = BlnFalling ? DblYN + DblR : DblYN - DblR;

  // Every column samples the same run of y, so lookups and neighbours are found once per
  // column and once per row; the cell loop then works on indices alone.
  bool BlnColumnsStuck = false;
  bool BlnRowsStuck = false;
  const std::vector<double> VecXs =
      RunningCoordinates(DblXStart, DblResolution, DblXEnd, true, BlnColumnsStuck);
  const std::vector<double> VecYs = RunningCoordinates(
      DblYStart, BlnFalling ? -DblResolution : DblResolution, DblYEnd, !BlnFalling, BlnRowsStuck);
  std::vector<TLineFault> VecColumnFaults;
  std::vector<TLineFault> VecRowFaults;
  const std::vector<TColumn> VecColumns = PlanColumns(*PtrResult, Source, VecXs, VecColumnFaults);
  const std::vector<TRow> VecRows = PlanRows(*PtrResult, Source, VecYs, VecRowFaults);
  CheckSamples(VecColumnFaults, BlnColumnsStuck, VecRowFaults, BlnRowsStuck);

  // Row by row is the cache-friendly order. Where samples share a result cell, the column scan
  // leaves the last row of the last column there; row by row leaves the last column of the last
  // row. The two agree unless samples share both a result column and a result row.
  std::vector<std::vector<double>>& VecValues = PtrResult->MbrVecValues;
  const double DblNoData = Source.MbrDblNoDataValue;
  if (IsStrictlyMonotonic(VecColumns) || IsStrictlyMonotonic(VecRows)) {
    for (const TRow& Row : VecRows) {
      const double* PtrRow1 = RowData(Source, Row.LngY1);
      const double* PtrRow2 = RowData(Source, Row.LngY2);
      double* PtrTarget = VecValues[static_cast<std::size_t>(Row.LngResult)].data();
      for (const TColumn& Column : VecColumns) {
        PtrTarget[Column.LngResult] = SampleValue(PtrRow1, PtrRow2, Column, Row, DblNoData);
      }
    }
  } else {
    for (const TColumn& Column : VecColumns) {
      for (const TRow& Row : VecRows) {
        VecValues[static_cast<std::size_t>(Row.LngResult)]
                 [static_cast<std::size_t>(Column.LngResult)] =
                     SampleValue(RowData(Source, Row.LngY1), RowData(Source, Row.LngY2), Column,
                                 Row, DblNoData);
      }
    }
  }
  return PtrResult.release();
}

TMap* TMapTools::Resample(const TMap* PtrSource, double DblResolution, TResampleMethod Method) {
  std::vector<const double*> VecRows;
  return tessgrid::detail::ResampleRowsOver(*PtrSource, DblResolution, Method,
                                            MapRows(*PtrSource, VecRows))
      .release();
}

namespace tessgrid::detail {

namespace {

// Runs the planning step; where it fails, every row of the source is asked for first, so that a
// source read a band at a time fails as one read whole would have, before the resample does.
template <typename TStep>
auto SourceFirst(const TMap& Frame, const TSourceRows& RowsAt, TStep&& Step) {
  try {
    return Step();
  } catch (...) {
    for (long LngFirst = 0; LngFirst < Frame.MbrLngYDim; LngFirst += kLngBandRows) {
      RowsAt(LngFirst, std::min(kLngBandRows, Frame.MbrLngYDim - LngFirst));
    }
    throw;
  }
}

}  // namespace

std::unique_ptr<TMap> ResampleRowsOver(const TMap& Frame, double DblResolution,
                                       TResampleMethod Method, const TSourceRows& RowsAt) {
  const auto [Source, Grid] = SourceFirst(Frame, RowsAt, [&]() {
    if (!(DblResolution > 0.0) || !std::isfinite(DblResolution)) {
      Fail("New resolution cannot be <= 0.0 in TMapTools::Resample");
    }
    const TResampleSource Checked = CheckSource(Frame);
    return std::make_pair(
        Checked, ResampleGridOver(Frame.MbrLngXDim, Frame.MbrLngYDim, Checked.MbrDblCellSize,
                                  DblResolution, Checked.MbrDblWest, Checked.MbrDblNorth));
  });
  return ResampleChecked(Frame, Source, Grid, Method, RowsAt);
}

std::unique_ptr<TMap> ResampleRowsOnto(const TMap& Frame, const TResampleGrid& Grid,
                                       TResampleMethod Method, const TSourceRows& RowsAt) {
  const TResampleSource Source = SourceFirst(Frame, RowsAt, [&]() { return CheckSource(Frame); });
  return ResampleChecked(Frame, Source, Grid, Method, RowsAt);
}

std::unique_ptr<TMap> ResampleOnto(const TMap& Source, const TResampleGrid& Grid,
                                   TResampleMethod Method) {
  std::vector<const double*> VecRows;
  return ResampleRowsOnto(Source, Grid, Method, MapRows(Source, VecRows));
}

}  // namespace tessgrid::detail
