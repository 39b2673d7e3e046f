// tests/interop/OtherWritersTest.cpp - grids written by GDAL (gdal_translate -of AAIGrid) and
// SAGA GIS (saga_cmd io_grid 0) load with the lenient header rule; skipped without the tools.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "tests/support/ExpectMessage.h"

namespace {

// The grid the tools are given: 3 x 2 cells of 10 from (100.5, 200.5), values of at most four
// decimals (SAGA writes four), one of them the no-data value.
const std::string kStgSource =
    "ncols 3\nnrows 2\nxllcorner 100.5\nyllcorner 200.5\ncellsize 10\nNODATA_value -9999\n"
    "1.25 2.5 -9999\n4 5.0625 -6\n";
const std::vector<std::vector<double>> kVecCells = {{1.25, 2.5, -9999}, {4, 5.0625, -6}};

bool Installed(const char* PtrTool) {
  return std::system((std::string("command -v ") + PtrTool + " >/dev/null 2>&1").c_str()) == 0;
}

class OtherWritersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string StgTemplate = std::string(TESSGRID_BINARY_DIR) + "/otherwriters-XXXXXX";
    ASSERT_NE(::mkdtemp(&StgTemplate[0]), nullptr);
    MbrStgFolder = StgTemplate;
    Write("source.asc", kStgSource);
    Write("nonodata.asc",
          "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
          "NODATA_value -1\n7 8\n");
  }
  void TearDown() override { std::system(("rm -rf '" + MbrStgFolder + "'").c_str()); }

  std::string Path(const std::string& StgName) const { return MbrStgFolder + "/" + StgName; }
  void Write(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Path(StgName)) << StgText;
  }
  // Runs the tool's command line in the folder; its chatter is dropped.
  void Run(const std::string& StgCommand) const {
    ASSERT_EQ(
        std::system(("cd '" + MbrStgFolder + "' && " + StgCommand + " >/dev/null 2>&1").c_str()), 0)
        << StgCommand;
  }
  std::unique_ptr<TMap> LoadLenient(const std::string& StgName) const {
    return std::unique_ptr<TMap>(
        TARCGISFileTools::LoadARCGISFile(Path(StgName), TGridHeaderMode::kLenient));
  }
  // The file holds the source grid: the same cells, corner, cell size and no-data value.
  void ExpectSource(const std::string& StgName) const {
    const auto PtrMap = LoadLenient(StgName);
    EXPECT_EQ(PtrMap->MbrVecValues, kVecCells) << StgName;
    EXPECT_EQ(PtrMap->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 100.5) << StgName;
    EXPECT_EQ(PtrMap->MbrPtrYAxisInterval->GetPoint(2)->MbrDblY, 200.5) << StgName;
    EXPECT_EQ(PtrMap->MbrDblResolution, 10.0) << StgName;
    EXPECT_EQ(PtrMap->MbrDblNoDataValue, -9999.0) << StgName;
  }

  std::string MbrStgFolder;
};

}  // namespace

TEST_F(OtherWritersTest, GdalGridsLoadWithAndWithoutNoData) {
  if (!Installed("gdal_translate")) {
    GTEST_SKIP() << "gdal_translate is not installed";
  }
  Run("gdal_translate -q -of AAIGrid source.asc gdal.asc");
  ExpectSource("gdal.asc");
  // Without no-data GDAL writes no NODATA_value entry: -9999 it is, unless a cell holds it.
  Run("gdal_translate -q -of AAIGrid -a_nodata none nonodata.asc gdal_plain.asc");
  const auto PtrPlain = LoadLenient("gdal_plain.asc");
  EXPECT_EQ(PtrPlain->MbrVecValues, (std::vector<std::vector<double>>{{7, 8}}));
  EXPECT_EQ(PtrPlain->MbrDblNoDataValue, -9999.0);
  Run("gdal_translate -q -of AAIGrid -a_nodata none source.asc gdal_holds.asc");
  EXPECT_STRING_MESSAGE(LoadLenient("gdal_holds.asc"),
                        "File format error: cell at row 0, column 2 holds -9999 but the header "
                        "has no NODATA_value in TARCGISFileTools::LoadARCGISFile");
  // Cells that are not square: GDAL writes dx and dy.
  Run("gdal_translate -q -of AAIGrid -a_ullr 100 240 130 200 source.asc gdal_dxdy.asc");
  EXPECT_MESSAGE(LoadLenient("gdal_dxdy.asc"),
                 "File format error: cells are not square (dx differs from dy) in "
                 "TARCGISFileTools::LoadARCGISFile");
}

TEST_F(OtherWritersTest, SagaGridsLoadWithCornersAndCentres) {
  if (!Installed("saga_cmd")) {
    GTEST_SKIP() << "saga_cmd is not installed";
  }
  Run("saga_cmd io_grid 0 -GRID source.asc -FILE saga_corner.asc -GEOREF 0");
  ExpectSource("saga_corner.asc");
  Run("saga_cmd io_grid 0 -GRID source.asc -FILE saga_centre.asc -GEOREF 1");
  ExpectSource("saga_centre.asc");
  // The strict rule, the default, reads neither.
  EXPECT_MESSAGE(TARCGISFileTools::LoadARCGISFile(Path("saga_corner.asc")),
                 "File format error: expected to find ncols tag");
}
