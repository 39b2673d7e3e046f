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

const TSourceGrid kPlain{"plain", 7, 5, 100.5, 200.25, 2.5, {}};
const TSourceGrid kHoles{"holes", 7, 5, 100.5, 200.25, 2.5, {{0, 0}, {3, 2}, {4, 2}, {6, 4}}};
const TSourceGrid kTall{"tall", 5, 7, -3.25, 10.5, 0.75, {{2, 0}, {1, 5}}};

}  // namespace

// The factors keep every target centre off the source's cell boundaries, where the two take
// different cells (see TMapTools::Resample).
TEST_F(GdalwarpResampleTest, NearestTakesTheCellsGdalwarpTakes) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  for (const TSourceGrid& Grid : {kPlain, kHoles, kTall}) {
    for (double DblFactor : {0.3, 0.5, 0.75, 1.0, 1.5, 3.0}) {
      ExpectAsGdalwarp(Grid, "near", DblFactor);
    }
  }
}

// Up to the source's cell size, where gdalwarp also interpolates between four centres; the
// outer half-cell band and the cells beside no-data are compared too.
TEST_F(GdalwarpResampleTest, BilinearGivesGdalwarpsValuesUpToTheSourceCellSize) {
  if (!Installed("gdalwarp")) {
    GTEST_SKIP() << "gdalwarp is not installed";
  }
  for (const TSourceGrid& Grid : {kPlain, kHoles, kTall}) {
    for (double DblFactor : {0.3, 0.5, 0.75, 1.0}) {
      ExpectAsGdalwarp(Grid, "bilinear", DblFactor);
    }
  }
}
