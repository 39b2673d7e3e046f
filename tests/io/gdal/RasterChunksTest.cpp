// tests/io/gdal/RasterChunksTest.cpp - chunks compressed on their own and moved into a raster as
// compressed tiles: the raster reads back as the cells written, and only whole tiles move.
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/gdal/RasterChunks.h"
#include "io/gdal/RasterWindows.h"
#include "tests/support/ExpectMessage.h"

namespace {

namespace fs = std::filesystem;
using tessgrid::detail::TRasterTarget;
using tessgrid::detail::TRasterType;
using tessgrid_test::TMessageKind;

constexpr long kLngRows = 600;
constexpr long kLngColumns = 520;

class RasterChunksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "raster_work" / "chunks" / PtrInfo->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
    MbrTarget.StgFormat = "GTiff";
    MbrTarget.Type = TRasterType::kFloat32;
    MbrTarget.VecOptions = tessgrid::detail::DefaultGeoTiffOptions(TRasterType::kFloat32);
    // Every cell tells where it is; the north-west quarter is no-data, whole tiles of it.
    for (long LngRow = 0; LngRow < kLngRows; ++LngRow) {
      for (long LngColumn = 0; LngColumn < kLngColumns; ++LngColumn) {
        MbrVecCells.push_back(LngRow < 300 && LngColumn < 256
                                  ? -9999.0
                                  : static_cast<double>(LngRow) * 1000.0 + LngColumn + 0.5);
      }
    }
    tessgrid::detail::CreateRasterForWindows({kLngColumns, kLngRows, 10.0, 20.0, 5.0, -9999.0},
                                             MbrTarget, Raster(), "out.tif");
  }

  std::string Raster() const { return (MbrPathWork / "out.tif").string(); }

  // Writes the chunk of the cells at the row and column into a file of its own, with the
  // target's options and then the extra ones, and returns its name.
  std::string Chunk(long LngRow, long LngColumn, long LngRows, long LngColumns,
                    const std::vector<std::string>& VecExtra = {}) const {
    TRasterTarget Target = MbrTarget;
    Target.VecOptions.insert(Target.VecOptions.end(), VecExtra.begin(), VecExtra.end());
    std::vector<double> VecChunk;
    for (long LngR = LngRow; LngR < LngRow + LngRows; ++LngR) {
      const double* PtrRow = MbrVecCells.data() + LngR * kLngColumns + LngColumn;
      VecChunk.insert(VecChunk.end(), PtrRow, PtrRow + LngColumns);
    }
    const std::string StgChunk =
        Raster() + ".chunk-" + std::to_string(LngRow) + "-" + std::to_string(LngColumn);
    tessgrid::detail::WriteRasterChunk(StgChunk, "out.tif", Target, LngRows, LngColumns, -9999.0,
                                       VecChunk.data());
    return StgChunk;
  }

  void Place(long LngRow, long LngColumn, long LngRows, long LngColumns) const {
    tessgrid::detail::PlaceRasterChunk(Chunk(LngRow, LngColumn, LngRows, LngColumns), Raster(),
                                       "out.tif", LngRow, LngColumn);
  }

  fs::path MbrPathWork;
  TRasterTarget MbrTarget;
  std::vector<double> MbrVecCells;
};

TEST_F(RasterChunksTest, ChunksMovedAsCompressedTilesReadBackAsWrittenAlsoWhenMovedTwice) {
  Place(0, 0, 256, kLngColumns);
  Place(0, 0, 256, kLngColumns);  // a task that ran twice
  Place(256, 0, 344, 256);
  Place(256, 256, 344, 264);  // the last, short tiles of both edges
  GDALDataset* PtrDataset = GDALDataset::Open(Raster().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
  ASSERT_NE(PtrDataset, nullptr);
  std::vector<double> VecRead(MbrVecCells.size());
  EXPECT_EQ(
      PtrDataset->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kLngColumns, kLngRows, VecRead.data(),
                                             kLngColumns, kLngRows, GDT_Float64, 0, 0, nullptr),
      CE_None);
  double ArrTransform[6] = {0, 0, 0, 0, 0, 0};
  PtrDataset->GetGeoTransform(ArrTransform);
  int IntHasNoData = 0;
  const double DblNoData = PtrDataset->GetRasterBand(1)->GetNoDataValue(&IntHasNoData);
  GDALClose(PtrDataset);
  EXPECT_EQ(VecRead, MbrVecCells);
  EXPECT_EQ(std::vector<double>(ArrTransform, ArrTransform + 6),
            (std::vector<double>{10.0, 5.0, 0.0, 3020.0, 0.0, -5.0}));
  EXPECT_TRUE(IntHasNoData != 0 && DblNoData == -9999.0);
  std::vector<std::string> VecLeft;
  for (const fs::directory_entry& Entry : fs::directory_iterator(MbrPathWork)) {
    VecLeft.push_back(Entry.path().filename().string());
  }
  EXPECT_EQ(VecLeft, std::vector<std::string>{"out.tif"});
}

TEST_F(RasterChunksTest, OnlyChunksOfWholeTilesInTheRastersLayoutMove) {
  const struct {
    long LngRow, LngColumn, LngRows, LngColumns;
    std::vector<std::string> VecExtra;
    std::string StgWhy;
  } ArrCases[] = {
      {256, 100, 344, 256, {}, "does not cover whole tiles of the raster"},
      {0, 0, 100, kLngColumns, {}, "does not cover whole tiles of the raster"},
      {256, 256, 344, 200, {}, "does not cover whole tiles of the raster"},
      {256, 0, 344, 256, {"COMPRESS=LZW"}, "is not laid out in tiles as the raster is"},
      {0, 0, 256, 256, {"BLOCKXSIZE=128"}, "is not laid out in tiles as the raster is"},
  };
  for (const auto& Case : ArrCases) {
    const std::string StgChunk =
        Chunk(Case.LngRow, Case.LngColumn, Case.LngRows, Case.LngColumns, Case.VecExtra);
    EXPECT_TRUE(tessgrid_test::ThrowsMessage(
        [&]() {
          tessgrid::detail::PlaceRasterChunk(StgChunk, Raster(), "out.tif", Case.LngRow,
                                             Case.LngColumn);
        },
        "Unable to write file out.tif: the chunk at row " + std::to_string(Case.LngRow) +
            ", column " + std::to_string(Case.LngColumn) + " " + Case.StgWhy,
        TMessageKind::kString));
  }
}

}  // namespace

TEST_F(RasterChunksTest, AChunkMissingATileOfDataOrCutShortFailsItsCheck) {
  const std::string StgChunk = Chunk(0, 0, 256, kLngColumns);
  const std::vector<double> VecCells(MbrVecCells.begin(), MbrVecCells.begin() + 256 * kLngColumns);
  tessgrid::detail::CheckRasterChunk(StgChunk, "out.tif", 256, kLngColumns, -9999.0,
                                     VecCells.data());
  // The file cut short of its last tile's bytes, as a disk that filled up unnoticed leaves it.
  fs::resize_file(StgChunk, fs::file_size(StgChunk) - 100);
  EXPECT_TRUE(tessgrid_test::ThrowsMessage(
      [&]() {
        tessgrid::detail::CheckRasterChunk(StgChunk, "out.tif", 256, kLngColumns, -9999.0,
                                           VecCells.data());
      },
      "Unable to write file out.tif: " + StgChunk +
          " lacks the tile at row 0, column 512 after GDAL wrote it",
      TMessageKind::kString));
  // A chunk made but never filled holds no tile: only tiles of no-data may be missing.
  const std::string StgEmpty = (MbrPathWork / "empty.tif").string();
  tessgrid::detail::CreateRasterForWindows({kLngColumns, 256, 0.0, 0.0, 1.0, -9999.0}, MbrTarget,
                                           StgEmpty, "out.tif");
  std::vector<double> VecNoData(VecCells.size(), -9999.0);
  tessgrid::detail::CheckRasterChunk(StgEmpty, "out.tif", 256, kLngColumns, -9999.0,
                                     VecNoData.data());
  VecNoData[10 * kLngColumns + 300] = 1.0;
  EXPECT_TRUE(tessgrid_test::ThrowsMessage(
      [&]() {
        tessgrid::detail::CheckRasterChunk(StgEmpty, "out.tif", 256, kLngColumns, -9999.0,
                                           VecNoData.data());
      },
      "Unable to write file out.tif: " + StgEmpty +
          " lacks the tile at row 0, column 256 after GDAL wrote it",
      TMessageKind::kString));
}
