// tests/io/gdal/RasterReaderTest.cpp - TRasterReader: which files GDAL reads, and row windows
// of whole blocks and of parts of them, at their edges and at the raster's last, short block.
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/gdal/Rasters.h"
#include "tests/support/ExpectMessage.h"

namespace {

namespace fs = std::filesystem;

class RasterReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "raster_work" / PtrInfo->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
  }

  std::string Work(const std::string& StgName) const { return (MbrPathWork / StgName).string(); }

  // Cell (column c, row r) of the test rasters: every cell tells where it is.
  static double CellAt(long LngColumn, long LngRow) {
    return static_cast<double>(LngRow) * 1000.0 + static_cast<double>(LngColumn);
  }

  // A GeoTIFF of 37 columns and 23 rows in the layout the options ask for.
  std::string Raster(const std::string& StgName, const std::vector<const char*>& VecOptions) const {
    GDALAllRegister();
    std::vector<char*> VecList;
    for (const char* PtrOption : VecOptions) {
      VecList.push_back(const_cast<char*>(PtrOption));
    }
    VecList.push_back(nullptr);
    GDALDataset* PtrDataset = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        Work(StgName).c_str(), 37, 23, 1, GDT_Float32, VecList.data());
    double ArrTransform[6] = {500000, 2, 0, 5100046, 0, -2};
    PtrDataset->SetGeoTransform(ArrTransform);
    std::vector<double> VecCells;
    for (long LngRow = 0; LngRow < 23; ++LngRow) {
      for (long LngColumn = 0; LngColumn < 37; ++LngColumn) {
        VecCells.push_back(CellAt(LngColumn, LngRow));
      }
    }
    EXPECT_EQ(PtrDataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 37, 23, VecCells.data(), 37,
                                                     23, GDT_Float64, 0, 0, nullptr),
              CE_None);
    GDALClose(PtrDataset);
    return Work(StgName);
  }

  fs::path MbrPathWork;
};

}  // namespace

TEST_F(RasterReaderTest, AsciiGridsAndUnknownFilesAreLeftToTheOwnReader) {
  using tessgrid::detail::TRasterReader;
  const std::string StgGrid = "NCOLS 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n5\n";
  std::ofstream(Work("grid.txt")) << StgGrid;
  std::ofstream(Work("grid.asc")) << StgGrid;
  std::ofstream(Work("notes.txt")) << "nothing GDAL reads\n";
  for (const std::string StgName : {"grid.txt", "grid.asc", "notes.txt", "missing.tif"}) {
    EXPECT_EQ(TRasterReader::OpenIfRaster(Work(StgName), 1), nullptr) << StgName;
  }
  EXPECT_EQ(TRasterReader::OpenIfRaster("-", 1), nullptr);
  EXPECT_NE(TRasterReader::OpenIfRaster(Raster("r.tif", {}), 1), nullptr);
}

TEST_F(RasterReaderTest, RowWindowsOfAnySizeReadEveryRowIntoItsPlace) {
  using tessgrid::detail::TRasterReader;
  // Tiles of 16 rows, and strips of 5: 23 rows end in a short block either way.
  for (const auto& VecOptions : std::vector<std::vector<const char*>>{
           {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}, {"BLOCKYSIZE=5"}}) {
    const std::unique_ptr<TRasterReader> PtrReader =
        TRasterReader::OpenIfRaster(Raster("r.tif", VecOptions), 1);
    ASSERT_NE(PtrReader, nullptr);
    const long LngBlock = PtrReader->Facts().LngBlockRows;
    EXPECT_EQ(LngBlock, VecOptions.size() == 3 ? 16 : 5);
    EXPECT_EQ(PtrReader->Header().LngColumns, 37);
    EXPECT_EQ(PtrReader->Header().DblYll, 5100000);
    // Windows of whole blocks and of parts of blocks, one after the other to the last row,
    // into a ring of a few slots more than a window: a window may wrap around its end.
    for (const long LngWindow : {1L, 3L, LngBlock, 2 * LngBlock, 23L}) {
      const long LngSlots = LngWindow + 2;
      std::vector<double> VecRing(static_cast<std::size_t>(LngSlots * 37), -1.0);
      const auto Slot = [&](long LngRow) { return VecRing.data() + (LngRow % LngSlots) * 37; };
      for (long LngFirst = 0; LngFirst < 23; LngFirst += LngWindow) {
        const long LngRows = std::min(LngWindow, 23 - LngFirst);
        PtrReader->ReadRows(LngFirst, LngRows, [&](long LngK) { return Slot(LngFirst + LngK); });
        for (long LngRow = LngFirst; LngRow < LngFirst + LngRows; ++LngRow) {
          for (long LngColumn = 0; LngColumn < 37; ++LngColumn) {
            ASSERT_EQ(Slot(LngRow)[LngColumn], CellAt(LngColumn, LngRow))
                << "window " << LngWindow << ", row " << LngRow;
          }
        }
      }
    }
    std::vector<double> VecRows(37 * 23);
    EXPECT_MESSAGE(PtrReader->ReadRows(LngBlock, 23, VecRows.data()),
                   "Row window is outside the raster in TRasterReader::ReadRows");
    EXPECT_MESSAGE(PtrReader->ReadRows(0, 0, VecRows.data()),
                   "Row window is outside the raster in TRasterReader::ReadRows");
    const std::unique_ptr<TMap> PtrMap = PtrReader->ReadMap();
    EXPECT_EQ(PtrMap->GetPointVal(36, 22), CellAt(36, 22));
    EXPECT_EQ(PtrMap->GetPointVal(0, 16), CellAt(0, 16));
  }
}
