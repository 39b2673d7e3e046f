// tests/app/ToolBandsTest.cpp - tessgrid-tool on the bands of multi-band rasters: a band per
// input, calc band by band into a multi-band raster, and the cell type a raster output takes
// when --type does not say.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gdal_priv.h>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::TRun;

// Cells of a raster of 4 columns and 3 rows, row by row from the north.
using TCells = std::vector<double>;

class ToolBandsTest : public tessgrid_test::TToolTest {
 protected:
  // Writes a GeoTIFF of 4 x 3 cells of 10 at (0, 0) of the type, one band per list of cells,
  // declaring the no-data value when it is not NaN.
  std::string Raster(const std::string& StgName, GDALDataType Type,
                     const std::vector<TCells>& VecBands, double DblNoData = NAN) const {
    GDALAllRegister();
    GDALDriver* PtrDriver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDataset* PtrDataset = PtrDriver->Create(Work(StgName).c_str(), 4, 3,
                                                static_cast<int>(VecBands.size()), Type, nullptr);
    double ArrTransform[6] = {0, 10, 0, 30, 0, -10};
    PtrDataset->SetGeoTransform(ArrTransform);
    for (std::size_t LngBand = 0; LngBand < VecBands.size(); ++LngBand) {
      GDALRasterBand* PtrBand = PtrDataset->GetRasterBand(static_cast<int>(LngBand) + 1);
      if (!std::isnan(DblNoData)) {
        PtrBand->SetNoDataValue(DblNoData);
      }
      TCells VecCells = VecBands[LngBand];
      EXPECT_EQ(PtrBand->RasterIO(GF_Write, 0, 0, 4, 3, VecCells.data(), 4, 3, GDT_Float64, 0, 0,
                                  nullptr),
                CE_None);
    }
    GDALClose(PtrDataset);
    return Work(StgName);
  }

  // The type of a raster's bands and their cells, as GDAL reads them.
  struct TRead {
    std::string StgType;
    std::vector<TCells> VecBands;
  };

  static TRead ReadRaster(const std::string& StgFile) {
    TRead Read;
    GDALDataset* PtrDataset = GDALDataset::Open(StgFile.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
    if (PtrDataset == nullptr) {
      Read.StgType = "(none)";
      return Read;
    }
    Read.StgType = GDALGetDataTypeName(PtrDataset->GetRasterBand(1)->GetRasterDataType());
    const int IntColumns = PtrDataset->GetRasterXSize();
    const int IntRows = PtrDataset->GetRasterYSize();
    for (int IntBand = 1; IntBand <= PtrDataset->GetRasterCount(); ++IntBand) {
      TCells VecCells(static_cast<std::size_t>(IntColumns) * static_cast<std::size_t>(IntRows));
      EXPECT_EQ(PtrDataset->GetRasterBand(IntBand)->RasterIO(GF_Read, 0, 0, IntColumns, IntRows,
                                                             VecCells.data(), IntColumns, IntRows,
                                                             GDT_Float64, 0, 0, nullptr),
                CE_None);
      Read.VecBands.push_back(VecCells);
    }
    GDALClose(PtrDataset);
    return Read;
  }

  void Succeed(const std::vector<std::string>& VecArgs) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, 0) << VecArgs[0];
  }

  void Refuse(const std::vector<std::string>& VecArgs, int LngStatus,
              const std::string& StgLine) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, LngStatus) << VecArgs[0];
  }

  // Cells from the first value on, rising by the step.
  static TCells Rising(double DblFirst, double DblStep) {
    TCells VecCells;
    for (int IntI = 0; IntI < 12; ++IntI) {
      VecCells.push_back(DblFirst + DblStep * IntI);
    }
    return VecCells;
  }
};

}  // namespace

TEST_F(ToolBandsTest, EachInputReadsTheBandGivenForIt) {
  const TCells VecRed = Rising(100, 10);
  const TCells VecNear = Rising(3000, -7);
  const std::string StgBands = Raster("bands.tif", GDT_Int16, {VecRed, VecNear});
  const std::string StgOut = Work("ndvi.tif");
  // An NDVI of two bands of one raster, Float32 without --type.
  Succeed({"calc", StgOut, "-A", StgBands, "--A-band", "1", "-B", StgBands, "--B-band", "2",
           "--expr", "(B - A) / (B + A)"});
  TRead Read = ReadRaster(StgOut);
  EXPECT_EQ(Read.StgType, "Float32");
  for (std::size_t LngI = 0; LngI < 12; ++LngI) {
    const double DblNdvi = (VecNear[LngI] - VecRed[LngI]) / (VecNear[LngI] + VecRed[LngI]);
    EXPECT_EQ(Read.VecBands[0][LngI], static_cast<double>(static_cast<float>(DblNdvi))) << LngI;
  }
  // --band stays the default of every input, and --bands gives the positional commands one band
  // per input, in order.
  Succeed({"calc", StgOut, "-A", StgBands, "-B", StgBands, "--band", "2", "--expr", "B - A"});
  EXPECT_EQ(ReadRaster(StgOut).VecBands[0], TCells(12, 0.0));
  Succeed({"calc", StgOut, "-A", StgBands, "--A-band", "1", "-B", StgBands, "--band", "2", "--expr",
           "B - A"});
  EXPECT_EQ(ReadRaster(StgOut).VecBands[0][0], VecNear[0] - VecRed[0]);
  Succeed({"subtract", StgBands, StgBands, StgOut, "--bands", "2,1"});
  Read = ReadRaster(StgOut);
  EXPECT_EQ(Read.VecBands[0][11], VecNear[11] - VecRed[11]);
  Succeed({"sum", Work("sum.asc"), StgBands, StgBands, StgBands, "--bands", "1,2,2"});
  Succeed({"calc", Work("calc.asc"), "-A", StgBands, "-B", StgBands, "--bands", "1,2", "--expr",
           "A + B + B"});
  EXPECT_EQ(tessgrid_test::ReadFile(Work("sum.asc")), tessgrid_test::ReadFile(Work("calc.asc")));
  // Loaded whole rather than streamed (standard output), one file named twice still reads the
  // band of each naming in turn.
  const TRun Loaded = RunTool(
      {"calc", "-", "-A", StgBands, "-B", StgBands, "--bands", "1,2", "--expr", "A + B + B"});
  EXPECT_EQ(Loaded.StgOut, tessgrid_test::ReadFile(Work("calc.asc")));
  EXPECT_EQ(RunTool({"sum", "-", StgBands, StgBands, StgBands, "--bands", "1,2,2"}).StgOut,
            tessgrid_test::ReadFile(Work("calc.asc")));
  // A band the raster lacks, a band of an ASCII grid, and --bands that do not match the inputs.
  Refuse({"calc", StgOut, "-A", StgBands, "--A-band", "3", "--expr", "A"}, 1,
         StgBands + ": no band 3 (the raster has 2)");
  Refuse({"add", StgBands, StgBands, StgOut, "--bands", "1,5"}, 1,
         StgBands + ": no band 5 (the raster has 2)");
  Succeed({"scale", StgBands, Work("ascii.asc"), "--factor", "1"});
  Refuse({"add", StgBands, Work("ascii.asc"), StgOut, "--bands", "1,2"}, 1,
         Work("ascii.asc") + ": no band 2 (the grid has 1)");
  Refuse({"add", StgBands, StgBands, StgOut, "--bands", "2"}, 2,
         "--bands gives 1 band for 2 input grids; give one per input, in order");
  Refuse({"add", StgBands, StgBands, StgOut, "--bands", "1,0"}, 2,
         "--bands: Value 0 not in range 1 to 2147483647");
  Refuse({"calc", StgOut, "-A", StgBands, "--A-band", "0", "--expr", "A"}, 2,
         "--A-band: Value 0 not in range 1 to 2147483647");
}

TEST_F(ToolBandsTest, AllBandsEvaluatesTheExpressionBandByBand) {
  const std::vector<TCells> VecThree = {Rising(1, 1), Rising(50, -3), Rising(-20, 5)};
  const std::string StgThree = Raster("three.tif", GDT_Int16, VecThree);
  const std::string StgOne = Raster("one.tif", GDT_Byte, {Rising(7, 2)});
  const std::string StgOut = Work("all.tif");
  // Band k of the output is the run over band k of the multi-band input; the one-band input
  // and the input pinned to a band serve every band.
  Succeed({"calc", StgOut, "-A", StgThree, "-B", StgOne, "-C", StgThree, "--C-band", "3", "--expr",
           "A * B - C", "--all-bands"});
  const TRead Read = ReadRaster(StgOut);
  ASSERT_EQ(Read.VecBands.size(), 3U);
  EXPECT_EQ(Read.StgType, "Int32");
  for (int IntBand = 1; IntBand <= 3; ++IntBand) {
    const std::string StgBand = Work("band" + std::to_string(IntBand) + ".tif");
    Succeed({"calc", StgBand, "-A", StgThree, "--A-band", std::to_string(IntBand), "-B", StgOne,
             "-C", StgThree, "--C-band", "3", "--expr", "A * B - C"});
    EXPECT_EQ(Read.VecBands[static_cast<std::size_t>(IntBand - 1)], ReadRaster(StgBand).VecBands[0])
        << IntBand;
  }
  // As gdal_calc.py's --allBands has it, where the program is there to ask.
  if (std::system("gdal_calc.py --help >/dev/null 2>&1") == 0) {
    const std::string StgTheirs = Work("theirs.tif");
    ASSERT_EQ(
        std::system(("gdal_calc.py --quiet -A '" + StgThree + "' --allBands=A -B '" + StgOne +
                     "' --calc='A*B' --type=Int32 --outfile='" + StgTheirs + "' >/dev/null 2>&1")
                        .c_str()),
        0);
    Succeed({"calc", StgOut, "-A", StgThree, "-B", StgOne, "--expr", "A * B", "--all-bands"});
    EXPECT_EQ(ReadRaster(StgOut).VecBands, ReadRaster(StgTheirs).VecBands);
  }
  // Inputs of different band counts, and an output that holds one band.
  const std::string StgTwo = Raster("two.tif", GDT_Int16, {Rising(1, 1), Rising(2, 1)});
  Refuse({"calc", StgOut, "-A", StgThree, "-B", StgTwo, "--expr", "A + B", "--all-bands"}, 1,
         "calc --all-bands: " + StgThree + " has 3 bands and " + StgTwo +
             " has 2; inputs of more than one band must have as many");
  Refuse({"calc", Work("all.asc"), "-A", StgThree, "--expr", "A", "--all-bands"}, 2,
         "--all-bands writes a band per input band, and " + Work("all.asc") +
             " would be an ASCII grid, which holds one; name a .tif or give --format");
  // It reads band by band on the inputs' own grid, never onto another.
  Refuse({"calc", StgOut, "-A", StgThree, "--expr", "A", "--all-bands", "--extent", "union"}, 2,
         "--extent excludes --all-bands");
}

TEST_F(ToolBandsTest, RasterOutputsWithoutTypeTakeTheSmallestTypeThatHoldsTheResult) {
  const std::string StgByte = Raster("byte.tif", GDT_Byte, {Rising(150, 5)}, 255);
  const std::string StgBare = Raster("bare.tif", GDT_Byte, {Rising(150, 5)});
  const std::string StgInt16 = Raster("int16.tif", GDT_Int16, {Rising(-300, 60)}, -32768);
  const std::string StgUInt32 = Raster("uint32.tif", GDT_UInt32, {Rising(7, 1)}, 0);
  const std::string StgFloat32 = Raster("float32.tif", GDT_Float32, {Rising(0.5, 1)}, -9999);
  const std::string StgAscii = Work("ascii.asc");
  Succeed({"scale", StgInt16, StgAscii, "--factor", "1"});
  const std::string StgOut = Work("out.tif");
  struct TCase {
    std::vector<std::string> VecArgs;  ///< the command, writing StgOut
    std::string StgType;               ///< the type it takes
  };
  const std::vector<TCase> VecCases = {
      // Sums of Byte cells do not wrap at 255; the declared 255 still fits the wider type.
      {{"sum", StgOut, StgByte, StgByte}, "UInt16"},
      {{"add", StgByte, StgByte, StgOut}, "UInt16"},
      // Without a declared no-data value the output declares -9999, which Byte cannot hold.
      {{"scale", StgBare, StgOut, "--factor", "1"}, "Int16"},
      {{"subtract", StgByte, StgByte, StgOut}, "Int16"},
      {{"multiply", StgInt16, StgInt16, StgOut}, "Int32"},
      {{"scale", StgInt16, StgOut, "--factor", "2"}, "Int32"},
      {{"offset", StgInt16, StgOut, "--value", "-100"}, "Int32"},
      {{"offset", StgByte, StgOut, "--value", "-100"}, "Int16"},
      // No integer type holds every product of UInt32 cells, and Float32 not every UInt32.
      {{"multiply", StgUInt32, StgUInt32, StgOut}, "Float64"},
      {{"divide", StgInt16, StgByte, StgOut}, "Float32"},
      {{"average", StgOut, StgByte, StgInt16}, "Float32"},
      {{"scale", StgInt16, StgOut, "--factor", "0.5"}, "Float32"},
      {{"divide-by", StgUInt32, StgOut, "--divisor", "2"}, "Float64"},
      {{"count", StgOut, StgByte, StgByte, StgByte}, "Byte"},
      {{"resample", StgInt16, StgOut, "--resolution", "20", "--method", "bilinear"}, "Float32"},
      {{"resample", StgInt16, StgOut, "--resolution", "20"}, "Int16"},
      {{"add", StgFloat32, StgInt16, StgOut}, "Float32"},
      {{"add", StgAscii, StgInt16, StgOut}, "Float64"},
      // calc decides from the compiled expression.
      {{"calc", StgOut, "-A", StgByte, "--expr", "A > 200 ? 1 : 0"}, "Byte"},
      {{"calc", StgOut, "-A", StgByte, "--expr", "-A"}, "Int16"},
      {{"calc", StgOut, "-A", StgByte, "-B", StgInt16, "--expr", "min(A, B) * 1000 + abs(B)"},
       "Int32"},
      {{"calc", StgOut, "-A", StgInt16, "--expr", "floor(A * 0.5)"}, "Int16"},
      {{"calc", StgOut, "-A", StgInt16, "--expr", "sqrt(A)"}, "Float32"},
      {{"calc", StgOut, "-A", StgInt16, "--expr", "A * A * A"}, "Float64"},
      {{"calc", StgOut, "-A", StgUInt32, "--expr", "A / 2"}, "Float64"},
      {{"calc", StgOut, "-A", StgByte, "--expr", "A + 0.5"}, "Float32"},
      {{"calc", StgOut, "-A", StgByte, "--expr", "A + 0.1"}, "Float32"},
      // --type always wins.
      {{"sum", StgOut, StgByte, StgByte, "--type", "Float64"}, "Float64"},
  };
  for (const TCase& Case : VecCases) {
    Succeed(Case.VecArgs);
    EXPECT_EQ(ReadRaster(StgOut).StgType, Case.StgType)
        << Case.VecArgs[0] << " " << Case.VecArgs[1];
  }
  Succeed({"sum", StgOut, StgByte, StgByte});
  EXPECT_EQ(ReadRaster(StgOut).VecBands[0][11], 410.0);
  // A format that holds few types takes the input's when it holds the result.
  Succeed({"scale", StgByte, Work("out.png"), "--format", "PNG", "--factor", "1"});
  EXPECT_EQ(ReadRaster(Work("out.png")).StgType, "Byte");
  // ASCII outputs are as they were.
  Succeed({"sum", Work("sum.asc"), StgByte, StgByte});
  const std::string StgSum = tessgrid_test::ReadFile(Work("sum.asc"));
  EXPECT_NE(StgSum.find("NODATA_value 255\n300 310 320 330 \n"), std::string::npos) << StgSum;
}
