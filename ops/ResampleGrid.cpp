// ops/ResampleGrid.cpp - the target grids of a resample as gdalwarp lays them out, and the names
// of the methods. The contracts are in ops/ResampleGrid.h.
#include "ops/ResampleGrid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "model/AxisCoordinates.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// gdalwarp's count of R cells over a width: (width + R / 2) / R truncated, at least one (where
// gdalwarp refuses the grid); a number that may exceed any long.
double CellsOver(double DblWidth, double DblResolution) {
  return std::max(1.0, std::floor((DblWidth + DblResolution / 2) / DblResolution));
}

bool Indexable(double DblColumns, double DblRows) {
  const double DblMaxCells = static_cast<double>(std::numeric_limits<std::ptrdiff_t>::max() /
                                                 static_cast<std::ptrdiff_t>(sizeof(double)));
  return DblColumns * DblRows <= DblMaxCells;
}

void CheckResolution(double DblResolution) {
  if (!(DblResolution > 0.0) || !std::isfinite(DblResolution)) {
    Fail("New resolution cannot be <= 0.0 in TMapTools::Resample");
  }
}

// The grid laid from the western and northern edges, as gdalwarp lays it.
TResampleGrid FromNorthWest(double DblColumns, double DblRows, double DblWest, double DblNorth,
                            double DblResolution) {
  TResampleGrid Grid;
  Grid.MbrLngColumns = static_cast<long>(DblColumns);
  Grid.MbrLngRows = static_cast<long>(DblRows);
  Grid.MbrDblWest = DblWest;
  Grid.MbrDblNorth = DblNorth;
  Grid.MbrDblSouth = DblNorth - DblRows * DblResolution;
  Grid.MbrDblCellSize = DblResolution;
  return Grid;
}

}  // namespace

TResampleGrid ResampleGridOver(long LngColumns, long LngRows, double DblCellSize,
                               double DblResolution, double DblWest, double DblNorth) {
  CheckResolution(DblResolution);
  const double DblWidth = static_cast<double>(LngColumns) * DblCellSize;
  const double DblHeight = static_cast<double>(LngRows) * DblCellSize;
  const double DblColumns = CellsOver(DblWidth, DblResolution);
  const double DblRows = CellsOver(DblHeight, DblResolution);
  if (!std::isfinite(DblWidth) || !std::isfinite(DblHeight) || !Indexable(DblColumns, DblRows)) {
    Fail("New resolution is too small for the map in TMapTools::Resample");
  }
  return FromNorthWest(DblColumns, DblRows, DblWest, DblNorth, DblResolution);
}

TResampleGrid ExtentGrid(double DblXMin, double DblYMin, double DblXMax, double DblYMax,
                         double DblResolution, bool BlnAlign) {
  CheckResolution(DblResolution);
  if (!std::isfinite(DblXMin) || !std::isfinite(DblYMin) || !std::isfinite(DblXMax) ||
      !std::isfinite(DblYMax)) {
    Fail("extent: XMIN YMIN XMAX YMAX must be finite numbers");
  }
  if (!(DblXMax > DblXMin)) {
    Fail("extent: XMAX must be greater than XMIN");
  }
  if (!(DblYMax > DblYMin)) {
    Fail("extent: YMAX must be greater than YMIN");
  }
  if (BlnAlign) {
    DblXMin = std::floor(DblXMin / DblResolution) * DblResolution;
    DblXMax = std::ceil(DblXMax / DblResolution) * DblResolution;
    DblYMin = std::floor(DblYMin / DblResolution) * DblResolution;
    DblYMax = std::ceil(DblYMax / DblResolution) * DblResolution;
  }
  const double DblColumns = CellsOver(DblXMax - DblXMin, DblResolution);
  const double DblRows = CellsOver(DblYMax - DblYMin, DblResolution);
  // An aligned corner beyond the range of double, or a width that overflows, leaves no grid.
  if (!std::isfinite(DblXMin) || !std::isfinite(DblYMax) || !std::isfinite(DblColumns) ||
      !std::isfinite(DblRows) || !Indexable(DblColumns, DblRows)) {
    Fail("extent: the grid would hold more cells than memory can be indexed by");
  }
  return FromNorthWest(DblColumns, DblRows, DblXMin, DblYMax, DblResolution);
}

TResampleGrid HeaderGrid(long LngColumns, long LngRows, double DblWest, double DblSouth,
                         double DblCellSize) {
  if (LngColumns <= 0 || LngRows <= 0) {
    Fail("like: the grid has no cells");
  }
  if (!(DblCellSize > 0.0) || !std::isfinite(DblCellSize)) {
    Fail("like: the cell size must be a finite number above 0");
  }
  TResampleGrid Grid;
  Grid.MbrLngColumns = LngColumns;
  Grid.MbrLngRows = LngRows;
  Grid.MbrDblWest = DblWest;
  Grid.MbrDblSouth = DblSouth;
  Grid.MbrDblNorth = RunningSumAt(DblSouth, DblCellSize, static_cast<std::size_t>(LngRows));
  Grid.MbrDblCellSize = DblCellSize;
  return Grid;
}

bool ResampleMethodOf(const std::string& StgName, TResampleMethod& Method) {
  static const std::pair<const char*, TResampleMethod> kMethods[] = {
      {"near", TResampleMethod::kNearest},    {"bilinear", TResampleMethod::kBilinear},
      {"average", TResampleMethod::kAverage}, {"mode", TResampleMethod::kMode},
      {"min", TResampleMethod::kMinimum},     {"max", TResampleMethod::kMaximum},
      {"median", TResampleMethod::kMedian}};
  for (const auto& Entry : kMethods) {
    if (StgName == Entry.first) {
      Method = Entry.second;
      return true;
    }
  }
  return false;
}

}  // namespace tessgrid::detail
