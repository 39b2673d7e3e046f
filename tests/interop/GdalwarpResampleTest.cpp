// tests/interop/GdalwarpResampleTest.cpp - TMapTools::Resample gives what gdalwarp gives for the
// same target grid (-tr R R, -te the source's extent, or -te and -tap of another extent), every
// method; skipped where gdalwarp is not installed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"

namespace {

// A grid to hand both sides: a tilted plane with irregular bumps, so that every interpolation
// differs, or classes 0 to 4 that repeat (which a mode needs, and which a 32-bit float holds, as
// gdalwarp's mode takes them), with no-data cells at the chosen (column, row) places.
struct TSourceGrid {
  std::string StgName;
  long LngCols;
  long LngRows;
  double DblWest;
  double DblSouth;
  double DblCellSize;
  std::vector<std::pair<long, long>> VecNoData;
  bool BlnClasses = false;
};

// The target grid besides the cell size: the source's extent, another extent (XMIN YMIN XMAX
// YMAX, aligned or not), or the grid of a header (its corner, cell size and dimensions).
struct TTarget {
  enum class TKind { kOwnExtent, kExtent, kHeader } Kind = TKind::kOwnExtent;
  double DblFactor = 1;  ///< R over the source's cell size
  double ArrExtent[4] = {0, 0, 0, 0};
  bool BlnAlign = false;
  long LngCols = 0;  ///< kHeader
  long LngRows = 0;
};

TTarget OwnExtent(double DblFactor) {
  TTarget Target;
  Target.DblFactor = DblFactor;
  return Target;
}

std::string Number(double DblValue) {
  char ChrText[40];
  std::snprintf(ChrText, sizeof ChrText, "%.17g", DblValue);
  return ChrText;
}

std::string GridText(const TSourceGrid& Grid) {
  std::string StgText = "ncols " + std::to_string(Grid.LngCols) + "\nnrows " +
                        std::to_string(Grid.LngRows) + "\nxllcorner " + Number(Grid.DblWest) +
                        "\nyllcorner " + Number(Grid.DblSouth) + "\ncellsize " +
                        Number(Grid.DblCellSize) + "\nNODATA_value -9999\n";
  for (long LngJ = 0; LngJ < Grid.LngRows; ++LngJ) {
    for (long LngI = 0; LngI < Grid.LngCols; ++LngI) {
      double DblValue = Grid.BlnClasses
                            ? static_cast<double>((LngI * LngI + 3 * LngJ + LngI * LngJ) % 5)
                            : 4.0 * LngI - 2.5 * LngJ + 30 * std::sin(1.7 * LngI + 2.3 * LngJ);
      for (const auto& Place : Grid.VecNoData) {
        if (Place.first == LngI && Place.second == LngJ) {
          DblValue = -9999;
        }
      }
      StgText += Number(DblValue) + (LngI + 1 < Grid.LngCols ? " " : "\n");
    }
  }
  return StgText;
}

bool Installed(const char* PtrTool) {
  return std::system((std::string("command -v ") + PtrTool + " >/dev/null 2>&1").c_str()) == 0;
}

class GdalwarpResampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string StgTemplate = std::string(TESSGRID_BINARY_DIR) + "/gdalwarp-XXXXXX";
    ASSERT_NE(::mkdtemp(&StgTemplate[0]), nullptr);
    MbrStgFolder = StgTemplate;
  }
  void TearDown() override { std::system(("rm -rf '" + MbrStgFolder + "'").c_str()); }

  std::string Path(const std::string& StgName) const { return MbrStgFolder + "/" + StgName; }

  std::unique_ptr<TMap> Load(const std::string& StgName) const {
    return std::unique_ptr<TMap>(
        TARCGISFileTools::LoadARCGISFile(Path(StgName), TGridHeaderMode::kLenient));
  }

  // Resamples the grid both ways onto the target and compares every cell. Without the Float64
  // settings GDAL reads and writes the grids as 32-bit floats.
  void ExpectAsGdalwarp(const TSourceGrid& Grid, const char* PtrMethod,
                        const TTarget& Target) const {
    const std::string StgSource = Grid.StgName + ".asc";
    std::ofstream(Path(StgSource)) << GridText(Grid);
    const double DblR = Grid.DblCellSize;
    const double DblRes = Target.DblFactor * DblR;
    const double DblEast = Grid.DblWest + static_cast<double>(Grid.LngCols) * DblR;
    const double DblNorth = Grid.DblSouth + static_cast<double>(Grid.LngRows) * DblR;
    double ArrTe[4] = {Grid.DblWest, Grid.DblSouth, DblEast, DblNorth};
    if (Target.Kind == TTarget::TKind::kExtent) {
      std::copy(Target.ArrExtent, Target.ArrExtent + 4, ArrTe);
    } else if (Target.Kind == TTarget::TKind::kHeader) {
      // The header's corner is gdalwarp's -te XMIN YMIN.
      ArrTe[0] = Target.ArrExtent[0];
      ArrTe[1] = Target.ArrExtent[1];
      ArrTe[2] = ArrTe[0] + static_cast<double>(Target.LngCols) * DblRes;
      ArrTe[3] = ArrTe[1] + static_cast<double>(Target.LngRows) * DblRes;
    }
    const std::string StgMethod = PtrMethod;
    const std::string StgCommand =
        "cd '" + MbrStgFolder +
        "' && gdalwarp -q -overwrite --config AAIGRID_DATATYPE Float64 -ot Float64 -of AAIGrid "
        "-r " +
        (StgMethod == "median" ? std::string("med") : StgMethod) + " -tr " + Number(DblRes) + " " +
        Number(DblRes) + " -te " + Number(ArrTe[0]) + " " + Number(ArrTe[1]) + " " +
        Number(ArrTe[2]) + " " + Number(ArrTe[3]) + (Target.BlnAlign ? " -tap " : " ") + StgSource +
        " warped.asc >/dev/null 2>&1";
    ASSERT_EQ(std::system(StgCommand.c_str()), 0) << StgCommand;

    const std::string StgWhat = Grid.StgName + " -r " + StgMethod + " R = " + Number(DblRes) +
                                " -te " + Number(ArrTe[0]) + " " + Number(ArrTe[1]) + " " +
                                Number(ArrTe[2]) + " " + Number(ArrTe[3]) +
                                (Target.BlnAlign ? " -tap" : "");
    const std::unique_ptr<TMap> PtrWarped = Load("warped.asc");
    TResampleMethod Method = TResampleMethod::kNearest;
    ASSERT_TRUE(tessgrid::detail::ResampleMethodOf(StgMethod, Method)) << StgMethod;
    const std::unique_ptr<TMap> PtrSource = Load(StgSource);
    std::unique_ptr<TMap> PtrOurs;
    if (Target.Kind == TTarget::TKind::kOwnExtent) {
      PtrOurs.reset(TMapTools::Resample(PtrSource.get(), DblRes, Method));
    } else {
      const tessgrid::detail::TResampleGrid Onto =
          Target.Kind == TTarget::TKind::kExtent
              ? tessgrid::detail::ExtentGrid(ArrTe[0], ArrTe[1], ArrTe[2], ArrTe[3], DblRes,
                                             Target.BlnAlign)
              : tessgrid::detail::HeaderGrid(Target.LngCols, Target.LngRows, ArrTe[0], ArrTe[1],
                                             DblRes);
      PtrOurs = tessgrid::detail::ResampleOnto(*PtrSource, Onto, Method);
    }
    ASSERT_EQ(PtrOurs->MbrLngXDim, PtrWarped->MbrLngXDim) << StgWhat;
    ASSERT_EQ(PtrOurs->MbrLngYDim, PtrWarped->MbrLngYDim) << StgWhat;
    EXPECT_EQ(PtrOurs->MbrDblNoDataValue, PtrWarped->MbrDblNoDataValue) << StgWhat;
    const double DblOursWest = PtrOurs->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX;
    const double DblOursNorth = PtrOurs->MbrPtrYAxisInterval->GetPoint(0)->MbrDblY;
    EXPECT_NEAR(DblOursWest, PtrWarped->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 1e-9) << StgWhat;
    EXPECT_NEAR(PtrOurs->MbrPtrYAxisInterval->GetPoint(PtrOurs->MbrLngYDim)->MbrDblY,
                PtrWarped->MbrPtrYAxisInterval->GetPoint(PtrWarped->MbrLngYDim)->MbrDblY, 1e-9)
        << StgWhat;
    const bool BlnCovered = StgMethod != "near" && StgMethod != "bilinear";
    for (long LngJ = 0; LngJ < PtrOurs->MbrLngYDim; ++LngJ) {
      for (long LngI = 0; LngI < PtrOurs->MbrLngXDim; ++LngI) {
        const double DblOurs = PtrOurs->GetPointVal(LngI, LngJ);
        const double DblTheirs = PtrWarped->GetPointVal(LngI, LngJ);
        // gdalwarp gives a cell up to one source cell before the western or northern edge the
        // first column's or row's value, though it covers none of the source; here it is no-data.
        const bool BlnBefore = DblOursWest + (LngI + 1) * DblRes <= Grid.DblWest + 1e-9 * DblR ||
                               DblOursNorth - (LngJ + 1) * DblRes >= DblNorth - 1e-9 * DblR;
        if (BlnCovered && BlnBefore) {
          EXPECT_EQ(DblOurs, -9999.0) << StgWhat << ", cell " << LngI << ", " << LngJ;
          continue;
        }
        EXPECT_NEAR(DblOurs, DblTheirs, 1e-9) << StgWhat << ", cell " << LngI << ", " << LngJ;
      }
    }
  }

  void ExpectAsGdalwarp(const TSourceGrid& Grid, const char* PtrMethod, double DblFactor) const {
    ExpectAsGdalwarp(Grid, PtrMethod, OwnExtent(DblFactor));
  }

  std::string MbrStgFolder;
};

const TSourceGrid kHoles{"holes", 7, 5, 100.5, 200.25, 2.5, {{0, 0}, {3, 2}, {4, 2}, {6, 4}}};
const TSourceGrid kTall{"tall", 5, 7, -3.25, 10.5, 0.75, {{2, 0}, {1, 5}}};
// Two rows, the northern 1 and the southern 2 (as the plane gives them), whose boundary the
// middle centre of five meets at R = 4.
const TSourceGrid kTwoRows{"tworows", 1, 2, 0, 0, 10, {}};
// Far from the origin, as projected grids are; 41 x 23 cells, so that the grid at R = 2 r
// overshoots the source by one column and one row, with a block of no-data and lone holes.
const TSourceGrid kProjected{
    "projected",
    41,
    23,
    512340,
    4100010,
    30,
    {{5, 5}, {6, 5}, {5, 6}, {6, 6}, {0, 22}, {40, 0}, {20, 11}, {33, 17}}};
const TSourceGrid kOdd{"odd", 13, 11, -7.5, 3.25, 0.5, {{12, 10}, {0, 0}, {7, 3}}};
const TSourceGrid kClasses{
    "classes", 19, 14, 300010, 5000020, 10, {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {9, 6}, {18, 13}},
    true};
// The methods over the cells covered, gdalwarp's median under this project's name.
const char* const kPtrCovered[] = {"average", "mode", "min", "max", "median"};
// Coarsening by whole and other ratios, and refining, where one cell is covered.
const double kDblCoveredFactors[] = {0.4, 0.7, 1.0, 1.5, 2.0, 2.5, 3.0, 4.0};

const double kDblFactors[] = {0.3, 0.4, 0.5, 0.7, 0.75, 1.0, 1.5, 2.0, 2.5, 3.0, 4.0};
// gdalwarp refuses a grid narrower than half a new cell, where the library makes one column.
const double kDblNarrowFactors[] = {0.3, 0.4, 0.5, 0.7, 1.0, 1.5, 2.0};

}  // namespace

// Every factor, boundaries included: a centre on a cell boundary takes the cell after it, one on
// the southern or eastern edge is no-data.
TEST_F(GdalwarpResampleTest, NearestTakesTheCellsGdalwarpTakes) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  for (const TSourceGrid& Grid : {kHoles, kTall, kProjected, kOdd}) {
    for (double DblFactor : kDblFactors) {
      ExpectAsGdalwarp(Grid, "near", DblFactor);
    }
  }
  for (double DblFactor : kDblNarrowFactors) {
    ExpectAsGdalwarp(kTwoRows, "near", DblFactor);
  }
}

// Refining, where gdalwarp weighs the four cells around the centre, and coarsening, where it
// widens the kernel by the scale; no-data cells and cells beyond the edges drop out of both. A
// source one cell wide is sampled by the nearest cell.
TEST_F(GdalwarpResampleTest, BilinearGivesGdalwarpsValuesWhenRefiningAndCoarsening) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  for (const TSourceGrid& Grid : {kHoles, kTall, kProjected, kOdd}) {
    for (double DblFactor : kDblFactors) {
      ExpectAsGdalwarp(Grid, "bilinear", DblFactor);
    }
  }
  for (double DblFactor : kDblNarrowFactors) {
    ExpectAsGdalwarp(kTwoRows, "bilinear", DblFactor);
  }
}

// Average weighs the cells covered by the part covered, the others take them whole; no-data
// cells drop out, and a cell that holds none is no-data.
TEST_F(GdalwarpResampleTest, MethodsOverTheCellsCoveredGiveGdalwarpsValues) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  for (const char* PtrMethod : kPtrCovered) {
    for (double DblFactor : kDblCoveredFactors) {
      ExpectAsGdalwarp(kClasses, PtrMethod, DblFactor);
      // gdalwarp's mode compares 32-bit floats, which the plane's values are not.
      if (std::string(PtrMethod) != "mode") {
        ExpectAsGdalwarp(kProjected, PtrMethod, DblFactor);
        ExpectAsGdalwarp(kHoles, PtrMethod, DblFactor);
      }
    }
  }
}

// -te inside the source and beyond it on every side, aligned by -tap or not, and a grid given
// by its header, with every method: the cells are placed from XMIN and YMAX, and those that miss
// the source are no-data.
TEST_F(GdalwarpResampleTest, TargetExtentsAlignedOrNotAndHeadersGiveGdalwarpsGrids) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  const char* const kPtrAll[] = {"near", "bilinear", "average", "mode", "min", "max", "median"};
  for (const TSourceGrid* PtrGrid : {&kClasses, &kProjected}) {
    const TSourceGrid& Grid = *PtrGrid;
    const double DblR = Grid.DblCellSize;
    const double DblEast = Grid.DblWest + static_cast<double>(Grid.LngCols) * DblR;
    const double DblNorth = Grid.DblSouth + static_cast<double>(Grid.LngRows) * DblR;
    std::vector<TTarget> VecTargets;
    for (double DblFactor : {0.7, 1.5, 2.0, 3.0}) {
      for (bool BlnAlign : {false, true}) {
        TTarget Inside;
        Inside.Kind = TTarget::TKind::kExtent;
        Inside.DblFactor = DblFactor;
        Inside.BlnAlign = BlnAlign;
        const double ArrInside[4] = {Grid.DblWest + 0.3 * DblR, Grid.DblSouth + 1.1 * DblR,
                                     DblEast - 2.4 * DblR, DblNorth - 0.7 * DblR};
        std::copy(ArrInside, ArrInside + 4, Inside.ArrExtent);
        VecTargets.push_back(Inside);
        TTarget Beyond = Inside;
        const double ArrBeyond[4] = {Grid.DblWest - 1.3 * DblR, Grid.DblSouth - 2.2 * DblR,
                                     DblEast + 0.6 * DblR, DblNorth + 1.1 * DblR};
        std::copy(ArrBeyond, ArrBeyond + 4, Beyond.ArrExtent);
        VecTargets.push_back(Beyond);
      }
    }
    TTarget Header;
    Header.Kind = TTarget::TKind::kHeader;
    Header.DblFactor = 1.7;
    Header.ArrExtent[0] = Grid.DblWest - 0.5 * DblR;
    Header.ArrExtent[1] = Grid.DblSouth + 0.25 * DblR;
    Header.LngCols = 9;
    Header.LngRows = 6;
    for (const char* PtrMethod : kPtrAll) {
      if (std::string(PtrMethod) == "mode" && !Grid.BlnClasses) {
        continue;
      }
      for (const TTarget& Target : VecTargets) {
        ExpectAsGdalwarp(Grid, PtrMethod, Target);
      }
      ExpectAsGdalwarp(Grid, PtrMethod, Header);
    }
  }
}
