// tests/app/ToolResampleRastersTest.cpp - tessgrid-tool resample of a raster, which it reads a band
// of rows at a time: the same cells and failures as the same grid read whole from a text file.
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

constexpr int kIntColumns = 130;
constexpr int kIntRows = 300;

class ToolResampleRastersTest : public tessgrid_test::TToolTest {
 protected:
  // Cells that tell where they are, no-data -1 in a few, and a data cell of DblOdd at row 200.
  std::vector<double> Cells(double DblOdd) const {
    std::vector<double> VecCells;
    for (int IntRow = 0; IntRow < kIntRows; ++IntRow) {
      for (int IntColumn = 0; IntColumn < kIntColumns; ++IntColumn) {
        const bool BlnEmpty = (IntRow * 7 + IntColumn * 3) % 23 == 0;
        VecCells.push_back(BlnEmpty ? -1.0 : std::sin(IntRow * 0.1) * 100 + IntColumn * 0.25);
      }
    }
    VecCells[200 * kIntColumns + 17] = DblOdd;
    return VecCells;
  }

  // The cells as a GeoTIFF in the given layout and as the same grid in a text file; returns both.
  std::pair<std::string, std::string> Grids(const std::vector<double>& VecCells,
                                            const char* PtrTiled) const {
    GDALAllRegister();
    GDALDriver* PtrDriver = GetGDALDriverManager()->GetDriverByName("GTiff");
    const char* ArrOptions[] = {PtrTiled, nullptr};
    GDALDataset* PtrDataset = PtrDriver->Create(Work("in.tif").c_str(), kIntColumns, kIntRows, 1,
                                                GDT_Float64, const_cast<char**>(ArrOptions));
    double ArrTransform[6] = {1000, 5, 0, 2000 + kIntRows * 5, 0, -5};
    PtrDataset->SetGeoTransform(ArrTransform);
    PtrDataset->GetRasterBand(1)->SetNoDataValue(-1);
    std::vector<double> VecCopy = VecCells;
    EXPECT_EQ(PtrDataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, kIntColumns, kIntRows,
                                                     VecCopy.data(), kIntColumns, kIntRows,
                                                     GDT_Float64, 0, 0, nullptr),
              CE_None);
    GDALClose(PtrDataset);
    std::ostringstream Text;
    Text.precision(17);
    Text << "ncols " << kIntColumns << "\nnrows " << kIntRows
         << "\nxllcorner 1000\nyllcorner 2000\ncellsize 5\nNODATA_value -1\n";
    for (int IntRow = 0; IntRow < kIntRows; ++IntRow) {
      for (int IntColumn = 0; IntColumn < kIntColumns; ++IntColumn) {
        Text << VecCells[static_cast<std::size_t>(IntRow * kIntColumns + IntColumn)] << ' ';
      }
      Text << '\n';
    }
    std::ofstream(Work("in.asc"), std::ios::binary) << Text.str();
    return {Work("in.tif"), Work("in.asc")};
  }

  // The result of resample on IN (an ASCII output), or its failure line.
  std::string Resampled(const std::string& StgIn,
                        const std::vector<std::string>& VecOptions) const {
    std::vector<std::string> VecArgs{"resample", StgIn, Work("out.asc")};
    VecArgs.insert(VecArgs.end(), VecOptions.begin(), VecOptions.end());
    const TRun Result = RunTool(VecArgs);
    return Result.LngStatus == 0 ? ReadFile(Work("out.asc")) : Result.StgErr;
  }
};

}  // namespace

TEST_F(ToolResampleRastersTest, ARasterReadInBandsOfRowsResamplesAsTheSameGridReadWhole) {
  const std::vector<std::vector<std::string>> VecCases = {
      {"--resolution", "20", "--method", "average"},  // coarser: bands share their edge rows
      {"--resolution", "12", "--method", "median"},
      {"--resolution", "7", "--method", "mode", "--align"},
      {"--resolution", "2", "--method", "near"},  // finer: many bands of few rows
      {"--resolution", "3", "--method", "bilinear"},
      {"--resolution", "40", "--method", "bilinear"},  // the widened kernel
      {"--resolution", "9", "--method", "max", "--extent", "990", "1900", "1700", "3600"},
  };
  for (const char* PtrLayout : {"TILED=NO", "TILED=YES"}) {
    const auto [StgRaster, StgText] = Grids(Cells(55.5), PtrLayout);
    for (const std::vector<std::string>& VecCase : VecCases) {
      const std::string StgWhole = Resampled(StgText, VecCase);
      EXPECT_EQ(StgWhole.rfind("ncols", 0), 0u) << StgWhole;
      EXPECT_EQ(Resampled(StgRaster, VecCase), StgWhole) << PtrLayout << " " << VecCase[1];
    }
  }
}

TEST_F(ToolResampleRastersTest, ARastersDataCellOfMinus9999FailsBeforeTheResampleItself) {
  const auto [StgRaster, StgText] = Grids(Cells(-9999), "TILED=NO");
  const std::string StgHeld =
      ": the cell at row 200, column 17 holds -9999, a data value in this grid (NODATA_value "
      "-1), which tessgrid-tool cannot tell from no-data\n";
  EXPECT_EQ(Resampled(StgRaster, {"--resolution", "20"}), "tessgrid-tool: " + StgRaster + StgHeld);
  // A resample bound to fail reads the rows first, as a grid read whole fails on them first.
  EXPECT_EQ(Resampled(StgRaster, {"--resolution", "0"}), "tessgrid-tool: " + StgRaster + StgHeld);
  EXPECT_EQ(Resampled(StgText, {"--resolution", "0"}), "tessgrid-tool: " + StgText + StgHeld);
  EXPECT_EQ(Resampled(StgRaster, {"--resolution", "0", "--align"}),
            "tessgrid-tool: " + StgRaster + StgHeld);
}
