// tests/interop/GdalwarpResampleTest.cpp - TMapTools::Resample gives what gdalwarp gives for the
// same target grid (-tr R R, -te the source's extent); skipped where gdalwarp is not installed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"

namespace {

// A grid to hand both sides: a tilted plane with irregular bumps, so that every interpolation
// differs, and no-data cells at the chosen (column, row) places.
struct TSourceGrid {
  std::string StgName;
  long LngCols;
  long LngRows;
  double DblWest;
  double DblSouth;
  double DblCellSize;
  std::vector<std::pair<long, long>> VecNoData;
};

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
      double DblValue = 4.0 * LngI - 2.5 * LngJ + 30 * std::sin(1.7 * LngI + 2.3 * LngJ);
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

  // Resamples the grid both ways at R = factor x cell size and compares every cell. Without
  // the Float64 settings GDAL reads and writes the grids as 32-bit floats.
  void ExpectAsGdalwarp(const TSourceGrid& Grid, const char* PtrMethod, double DblFactor) const {
    const std::string StgSource = Grid.StgName + ".asc";
    std::ofstream(Path(StgSource)) << GridText(Grid);
    const double DblRes = DblFactor * Grid.DblCellSize;
    const double DblEast = Grid.DblWest + static_cast<double>(Grid.LngCols) * Grid.DblCellSize;
    const double DblNorth = Grid.DblSouth + static_cast<double>(Grid.LngRows) * Grid.DblCellSize;
    const std::string StgCommand =
        "cd '" + MbrStgFolder +
        "' && gdalwarp -q -overwrite --config AAIGRID_DATATYPE Float64 -ot Float64 -of AAIGrid "
        "-r " +
        PtrMethod + " -tr " + Number(DblRes) + " " + Number(DblRes) + " -te " +
        Number(Grid.DblWest) + " " + Number(Grid.DblSouth) + " " + Number(DblEast) + " " +
        Number(DblNorth) + " " + StgSource + " warped.asc >/dev/null 2>&1";
    ASSERT_EQ(std::system(StgCommand.c_str()), 0) << StgCommand;

    const std::string StgWhat = Grid.StgName + " -r " + PtrMethod + " R = " + Number(DblRes);
    const std::unique_ptr<TMap> PtrWarped = Load("warped.asc");
    const TResampleMethod Method =
        std::string(PtrMethod) == "near" ? TResampleMethod::kNearest : TResampleMethod::kBilinear;
    const std::unique_ptr<TMap> PtrOurs(TMapTools::Resample(Load(StgSource).get(), DblRes, Method));
    ASSERT_EQ(PtrOurs->MbrLngXDim, PtrWarped->MbrLngXDim) << StgWhat;
    ASSERT_EQ(PtrOurs->MbrLngYDim, PtrWarped->MbrLngYDim) << StgWhat;
    EXPECT_EQ(PtrOurs->MbrDblNoDataValue, PtrWarped->MbrDblNoDataValue) << StgWhat;
    EXPECT_NEAR(PtrOurs->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX,
                PtrWarped->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 1e-9)
        << StgWhat;
    EXPECT_NEAR(PtrOurs->MbrPtrYAxisInterval->GetPoint(PtrOurs->MbrLngYDim)->MbrDblY,
                PtrWarped->MbrPtrYAxisInterval->GetPoint(PtrWarped->MbrLngYDim)->MbrDblY, 1e-9)
        << StgWhat;
    for (long LngJ = 0; LngJ < PtrOurs->MbrLngYDim; ++LngJ) {
      for (long LngI = 0; LngI < PtrOurs->MbrLngXDim; ++LngI) {
        EXPECT_NEAR(PtrOurs->GetPointVal(LngI, LngJ), PtrWarped->GetPointVal(LngI, LngJ), 1e-9)
            << StgWhat << ", cell " << LngI << ", " << LngJ;
      }
    }
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
