// tests/app/ToolRastersTest.cpp - tessgrid-tool on rasters GDAL reads and writes: round trips
// through GeoTIFF, types that must hold every cell, coordinate systems by meaning, geometry the
// map model cannot take, and outputs left as they were by a failed run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

// EPSG:32633 as GDAL writes it, and as the ESRI dialect other programs write in .prj files.
const char kChrGdalUtm33[] =
    "PROJCS[\"WGS 84 / UTM zone 33N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS "
    "84\",6378137,298.257223563,AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],"
    "PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,"
    "AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\",\"4326\"]],PROJECTION[\"Transverse_"
    "Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",15],"
    "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_"
    "northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],AXIS[\"Easting\",EAST],"
    "AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"32633\"]]";
const char kChrEsriUtm33[] =
    "PROJCS[\"WGS_1984_UTM_Zone_33N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\","
    "SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],"
    "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
    "PARAMETER[\"Central_Meridian\",15.0],PARAMETER[\"Scale_Factor\",0.9996],"
    "PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]\r\n";
// The neighbouring zone, in the ESRI dialect too: only the meridian differs.
const char kChrEsriUtm32[] =
    "PROJCS[\"WGS_1984_UTM_Zone_32N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\","
    "SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],"
    "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
    "PARAMETER[\"Central_Meridian\",9.0],PARAMETER[\"Scale_Factor\",0.9996],"
    "PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]";

// A grid of 3 columns and 2 rows at (1000, 2000) with cells of 10, declaring the no-data value.
std::string SmallGrid(const std::string& StgNoData, const std::string& StgRow1,
                      const std::string& StgRow2) {
  return "ncols 3\nnrows 2\nxllcorner 1000\nyllcorner 2000\ncellsize 10\nNODATA_value " +
         StgNoData + "\n" + StgRow1 + "\n" + StgRow2 + "\n";
}

class ToolRastersTest : public tessgrid_test::TToolTest {
 protected:
  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Runs the tool, expecting silent success.
  void Succeed(const std::vector<std::string>& VecArgs) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, 0) << VecArgs[0];
  }

  // Runs the tool, expecting the failure line and status, and every named file as it was.
  void Refuse(const std::vector<std::string>& VecArgs, int LngStatus, const std::string& StgLine,
              const std::vector<std::string>& VecKept = {}) const {
    std::vector<std::string> VecBefore;
    for (const std::string& StgKept : VecKept) {
      VecBefore.push_back(ReadFile(StgKept));
    }
    // The runner's own two files exist before the run, so that only a temporary left behind
    // would change the folder.
    Put("stdout.txt", "");
    Put("stderr.txt", "");
    const std::vector<std::string> VecExpected = Entries();
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n") << VecArgs[0];
    EXPECT_EQ(Result.LngStatus, LngStatus) << VecArgs[0];
    for (std::size_t LngI = 0; LngI < VecKept.size(); ++LngI) {
      EXPECT_EQ(ReadFile(VecKept[LngI]), VecBefore[LngI]) << VecKept[LngI];
    }
    const std::vector<std::string> VecAfter = Entries();
    EXPECT_EQ(VecAfter, VecExpected) << VecArgs[0];
  }

  // The value of one key of info's key: value lines.
  std::string InfoOf(const std::string& StgGrid, const std::string& StgKey) const {
    const TRun Result = RunTool({"info", StgGrid});
    const std::string StgStart = "\n" + StgKey + ": ";
    const std::string StgText = "\n" + Result.StgOut;
    const std::size_t LngAt = StgText.find(StgStart);
    if (LngAt == std::string::npos) {
      return "(no " + StgKey + ")";
    }
    const std::size_t LngFrom = LngAt + StgStart.size();
    return StgText.substr(LngFrom, StgText.find('\n', LngFrom) - LngFrom);
  }

  // Writes a GeoTIFF of 3 x 2 cells, DblFirst and the next five numbers, under the geotransform,
  // without a no-data value.
  std::string Raster(const std::string& StgName, const std::vector<double>& VecTransform,
                     int IntBands = 1, double DblFirst = 1) const {
    GDALAllRegister();
    GDALDriver* PtrDriver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDataset* PtrDataset =
        PtrDriver->Create(Work(StgName).c_str(), 3, 2, IntBands, GDT_Float64, nullptr);
    std::vector<double> VecTransformCopy = VecTransform;
    PtrDataset->SetGeoTransform(VecTransformCopy.data());
    double ArrCells[6] = {DblFirst,     DblFirst + 1, DblFirst + 2,
                          DblFirst + 3, DblFirst + 4, DblFirst + 5};
    for (int IntBand = 1; IntBand <= IntBands; ++IntBand) {
      EXPECT_EQ(PtrDataset->GetRasterBand(IntBand)->RasterIO(GF_Write, 0, 0, 3, 2, ArrCells, 3, 2,
                                                             GDT_Float64, 0, 0, nullptr),
                CE_None);
    }
    GDALClose(PtrDataset);
    return Work(StgName);
  }

  // What GDAL, at its defaults, reads from band 1 of a raster.
  struct TGdalRead {
    std::string StgDriver;
    std::string StgType;
    std::string StgLayout;  ///< "COG" for a Cloud-Optimized GeoTIFF
    std::vector<double> VecTransform;
    bool BlnNoData = false;
    double DblNoData = 0;
    std::vector<double> VecCells;  ///< row by row from the north
  };

  static TGdalRead ReadThroughGdal(const std::string& StgFile) {
    GDALAllRegister();
    TGdalRead Read;
    GDALDataset* PtrDataset = GDALDataset::Open(StgFile.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
    if (PtrDataset == nullptr) {
      Read.StgDriver = "(none)";
      return Read;
    }
    Read.StgDriver = PtrDataset->GetDriver()->GetDescription();
    const char* PtrLayout = PtrDataset->GetMetadataItem("LAYOUT", "IMAGE_STRUCTURE");
    Read.StgLayout = PtrLayout != nullptr ? PtrLayout : "";
    Read.VecTransform.assign(6, 0.0);
    PtrDataset->GetGeoTransform(Read.VecTransform.data());
    GDALRasterBand* PtrBand = PtrDataset->GetRasterBand(1);
    Read.StgType = GDALGetDataTypeName(PtrBand->GetRasterDataType());
    int IntHasNoData = 0;
    Read.DblNoData = PtrBand->GetNoDataValue(&IntHasNoData);
    Read.BlnNoData = IntHasNoData != 0;
    const int IntColumns = PtrDataset->GetRasterXSize();
    const int IntRows = PtrDataset->GetRasterYSize();
    Read.VecCells.resize(static_cast<std::size_t>(IntColumns) * static_cast<std::size_t>(IntRows));
    EXPECT_EQ(PtrBand->RasterIO(GF_Read, 0, 0, IntColumns, IntRows, Read.VecCells.data(),
                                IntColumns, IntRows, GDT_Float64, 0, 0, nullptr),
              CE_None);
    GDALClose(PtrDataset);
    return Read;
  }

  // The names in the work folder that a run left behind: its temporaries.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> VecLeft;
    for (const std::string& StgEntry : Entries()) {
      if (StgEntry.find(".tessgrid-") != std::string::npos) {
        VecLeft.push_back(StgEntry);
      }
    }
    return VecLeft;
  }
};

}  // namespace

TEST_F(ToolRastersTest, AsciiGridsGoThroughGeoTiffAndBackCellForCell) {
  struct TCase {
    std::string StgNoData;  ///< as the grid declares it
    std::string StgShown;   ///< as info shows it
    std::string StgType;    ///< --type, or "" for the default
    std::string StgLastRow;
  };
  // Negative values, no-data cells, and values each type holds exactly; an integer type holds
  // no 0.5.
  const std::vector<TCase> VecCases = {
      {"-9999", "-9999", "Float64", "7 -2.25 1e+300"},
      {"-32768", "-32768", "Int16", "7 -2 300"},
      {"-3.4028234663852886e+38", "-3.40282346639e+38", "Float32", "7 -2.25 300.5"},
      {"nan", "nan", "Float32", "7 -2.25 300.5"}};
  for (const TCase& Case : VecCases) {
    const std::string StgIn =
        Put("in.asc", SmallGrid(Case.StgNoData, "-12 " + Case.StgNoData + " 0", Case.StgLastRow));
    std::vector<std::string> VecToTiff = {"scale", StgIn, Work("mid.tif"), "--factor", "1"};
    if (Case.StgType != "Float64") {
      VecToTiff.insert(VecToTiff.end(), {"--type", Case.StgType});
    }
    Succeed(VecToTiff);
    EXPECT_EQ(InfoOf(Work("mid.tif"), "format"), "GTiff") << Case.StgNoData;
    EXPECT_EQ(InfoOf(Work("mid.tif"), "data_type"), Case.StgType) << Case.StgNoData;
    EXPECT_EQ(InfoOf(Work("mid.tif"), "NODATA_value"), Case.StgShown) << Case.StgNoData;
    EXPECT_EQ(InfoOf(Work("mid.tif"), "nodata_cells"), "1") << Case.StgNoData;
    // The same command on the ASCII grid writes what the trip through GeoTIFF gives back.
    Succeed({"scale", Work("mid.tif"), Work("back.asc"), "--factor", "1"});
    Succeed({"scale", StgIn, Work("direct.asc"), "--factor", "1"});
    EXPECT_EQ(ReadFile(Work("back.asc")), ReadFile(Work("direct.asc"))) << Case.StgNoData;
    // A GeoTIFF made from a GeoTIFF keeps its type.
    Succeed({"scale", Work("mid.tif"), Work("again.tif"), "--factor", "1"});
    EXPECT_EQ(InfoOf(Work("again.tif"), "data_type"), Case.StgType) << Case.StgNoData;
  }
}

TEST_F(ToolRastersTest, AValueThatDoesNotFitTheTypeFailsTheRunNamingTheCell) {
  const std::string StgIn = Put("in.asc", SmallGrid("-9999", "1 2 3", "4 -9999 256"));
  const std::string StgOut = Put("out.tif", "the earlier output");
  Refuse({"scale", StgIn, StgOut, "--factor", "1", "--type", "Byte", "--nodata", "0"}, 1,
         StgOut +
             ": the result holds 256 at row 1, column 2, which does not fit Byte (a whole "
             "number from 0 to 255)",
         {StgOut});
  Refuse({"scale", StgIn, StgOut, "--factor", "0.5", "--type", "Int32"}, 1,
         StgOut +
             ": the result holds 0.5 at row 0, column 0, which does not fit Int32 (a whole "
             "number from -2147483648 to 2147483647)",
         {StgOut});
  Refuse({"scale", StgIn, StgOut, "--factor", "1e37", "--type", "Float32"}, 1,
         StgOut +
             ": the result holds 2.56e+39 at row 1, column 2, which does not fit Float32 "
             "(-3.40282346639e+38 to 3.40282346639e+38)",
         {StgOut});
  Refuse({"scale", StgIn, StgOut, "--factor", "0.1", "--type", "Byte"}, 1,
         StgOut +
             ": the NODATA_value -9999 does not fit Byte (a whole number from 0 to 255); "
             "choose another with --nodata",
         {StgOut});
  Refuse({"scale", StgIn, StgOut, "--factor", "1", "--type", "Float32", "--nodata", "0.1"}, 1,
         StgOut + ": the NODATA_value 0.1 is no Float32 value; choose another with --nodata",
         {StgOut});
  // A data cell that Float32 rounds onto the no-data value would turn into no-data.
  Refuse({"scale", StgIn, StgOut, "--factor", "1.00000001", "--type", "Float32", "--nodata", "1"},
         1,
         StgOut +
             ": the result holds 1.00000001 at row 0, column 0, which Float32 cannot tell "
             "from the NODATA_value 1",
         {StgOut});
}

TEST_F(ToolRastersTest, CoordinateSystemsCompareByMeaning) {
  const std::string StgGrid = SmallGrid("-9999", "1 2 3", "4 5 6");
  const std::string StgGdal = Put("gdal.asc", StgGrid);
  Put("gdal.prj", kChrGdalUtm33);
  const std::string StgOther = Put("other.asc", StgGrid);
  Put("other.prj", kChrEsriUtm33);
  const std::string StgZone32 = Put("zone32.asc", StgGrid);
  Put("zone32.prj", kChrEsriUtm32);
  // Two programs' texts for EPSG:32633 agree; the raster made from one holds it too.
  Succeed({"add", StgGdal, StgOther, Work("sum.tif")});
  EXPECT_EQ(InfoOf(Work("sum.tif"), "crs"), "WGS 84 / UTM zone 33N");
  Succeed({"add", Work("sum.tif"), StgOther, Work("sum.asc")});
  EXPECT_FALSE(ReadFile(Work("sum.prj")).empty());
  Refuse(
      {"add", StgOther, StgZone32, Work("out.asc")}, 1,
      "inputs have different coordinate systems: " + Work("other.prj") + ", " + Work("zone32.prj"));
  Refuse(
      {"add", Work("sum.tif"), StgZone32, Work("out.asc")}, 1,
      "inputs have different coordinate systems: " + Work("sum.tif") + ", " + Work("zone32.prj"));
  Succeed({"add", Work("sum.tif"), StgZone32, Work("out.asc"), "--ignore-crs"});
}

TEST_F(ToolRastersTest, RastersOutsideTheMapModelAreRefused) {
  const std::string StgRotated = Raster("rotated.tif", {1000, 10, 0.5, 2020, 0.5, -10});
  const std::string StgOblong = Raster("oblong.tif", {1000, 10, 0, 2020, 0, -20});
  const std::string StgSouthUp = Raster("southup.tif", {1000, 10, 0, 2000, 0, 10});
  const std::string StgTwoBands = Raster("bands.tif", {1000, 10, 0, 2020, 0, -10}, 2);
  Refuse({"info", StgRotated}, 1,
         StgRotated + ": the raster is rotated; tessgrid-tool takes north-up grids only");
  Refuse({"info", StgOblong}, 1,
         StgOblong + ": cells are not square (10 by 20); tessgrid-tool takes square cells only");
  Refuse({"info", StgSouthUp}, 1,
         StgSouthUp + ": rows run from south to north; tessgrid-tool takes north-up grids only");
  Refuse({"info", StgTwoBands, "--band", "3"}, 1, StgTwoBands + ": no band 3 (the raster has 2)");
  Succeed({"info", StgTwoBands, "--band", "2"});
  // A raster without a declared no-data value has no cell of -9999, as an ASCII grid without
  // a NODATA_value has none.
  const std::string StgLow = Raster("low.tif", {1000, 10, 0, 2020, 0, -10}, 1, -10003);
  for (const std::vector<std::string>& VecArgs :
       {std::vector<std::string>{"info", StgLow},
        std::vector<std::string>{"add", StgTwoBands, StgLow, Work("sum.asc")}}) {
    Refuse(VecArgs, 1,
           "File format error: cell at row 1, column 1 of " + StgLow +
               " holds -9999 but the raster declares no no-data value");
  }
}

TEST_F(ToolRastersTest, AFailedRunLeavesEveryOutputAsItWas) {
  const std::string StgA = Put("a.asc", SmallGrid("-9999", "1 2 3", "4 5 6"));
  const std::string StgB = Put("b.asc", SmallGrid("-9999", "1 2 3", "4 5 600"));
  const std::string StgOutA = Put("out_a.tif", "earlier a");
  const std::string StgOutB = Put("out_b.tif", "earlier b");
  // out_a.tif is ready when out_b.tif fails: neither takes its place.
  Refuse({"intersect", StgA, StgB, StgOutA, StgOutB, "--type", "Byte", "--nodata", "0"}, 1,
         StgOutB +
             ": the result holds 600 at row 1, column 2, which does not fit Byte (a whole "
             "number from 0 to 255)",
         {StgOutA, StgOutB});
  Refuse({"add", StgA, StgB, Work("out.xyz"), "--format", "NoSuchFormat"}, 2,
         "--format: GDAL has no raster format NoSuchFormat that it can write");
  // The write itself failing: GDAL meets the file-size limit.
  const std::string StgBig = Put("big.asc",
                                 "ncols 200\nnrows 200\nxllcorner 0\nyllcorner 0\n"
                                 "cellsize 1\nNODATA_value -9999\n");
  {
    std::ofstream Cells(StgBig, std::ios::app);
    for (int IntCell = 0; IntCell < 200 * 200; ++IntCell) {
      Cells << (IntCell * 7919 % 10007) << (IntCell % 200 == 199 ? "\n" : " ");
    }
  }
  // Loaded whole and written at once, and streamed a row of blocks at a time.
  for (const std::vector<std::string>& VecArgs :
       {std::vector<std::string>{"scale", StgBig, StgOutA, "--factor", "1"},
        std::vector<std::string>{"add", StgBig, StgBig, StgOutA}}) {
    std::vector<std::string> VecRun = VecArgs;
    VecRun.insert(VecRun.end(), {"--co", "COMPRESS=NONE"});
    const TRun Result =
        RunProgram(tessgrid_test::kToolExe, VecRun, "ulimit -f 8; ", "/dev/null", ">");
    EXPECT_EQ(Result.LngStatus, 1) << VecArgs[0];
    EXPECT_EQ(Result.StgErr.rfind("tessgrid-tool: Unable to write file " + StgOutA, 0), 0u)
        << Result.StgErr;
    EXPECT_EQ(ReadFile(StgOutA), "earlier a") << VecArgs[0];
  }
}

TEST_F(ToolRastersTest, OtherFormatsComeFromFormatWhateverTheNameAndReadBackCellForCell) {
  // Negative, fractional and no-data cells; and whole ones that PNG's Byte cells hold.
  const std::string StgReal = Put("real.asc", SmallGrid("-9999", "-1.5 2 -9999", "4 0.25 600"));
  const std::vector<double> VecReal = {-1.5, 2, -9999, 4, 0.25, 600};
  const std::string StgByte = Put("byte.asc", SmallGrid("255", "1 2 3", "4 255 6"));
  const std::vector<double> VecByte = {1, 2, 3, 4, 255, 6};
  struct TCase {
    std::string StgOut;
    std::vector<std::string> VecOptions;
    std::string StgDriver;  ///< the driver that reads it back
    std::string StgType;
    bool BlnBytes;  ///< made from the Byte grid
    std::vector<std::string> VecSidecars;
  };
  const std::vector<TCase> VecCases = {
      {"plain.tif", {}, "GTiff", "Float64", false, {}},
      // The format asked for wins over the name: a Cloud-Optimized GeoTIFF is named .tif.
      {"cog.tif", {"--format", "COG"}, "GTiff", "Float64", false, {}},
      {"lerc.tif", {"--co", "COMPRESS=LERC"}, "GTiff", "Float64", false, {}},
      {"u16.tif", {"--type", "UInt16"}, "GTiff", "UInt16", true, {}},
      {"out.img", {"--format", "HFA", "--type", "Float32"}, "HFA", "Float32", false, {}},
      {"out.envi", {"--format", "ENVI"}, "ENVI", "Float64", false, {"out.hdr"}},
      {"out.sdat", {"--format", "SAGA"}, "SAGA", "Float64", false, {"out.sgrd"}},
      {"out.nc", {"--format", "netCDF"}, "netCDF", "Float64", false, {}},
      // PNG holds no corner: GDAL's own sidecar does.
      {"out.png", {"--format", "PNG", "--type", "Byte"}, "PNG", "Byte", true, {"out.png.aux.xml"}},
  };
  for (const TCase& Case : VecCases) {
    std::vector<std::string> VecArgs = {"scale", Case.BlnBytes ? StgByte : StgReal,
                                        Work(Case.StgOut), "--factor", "1"};
    VecArgs.insert(VecArgs.end(), Case.VecOptions.begin(), Case.VecOptions.end());
    Succeed(VecArgs);
    const TGdalRead Read = ReadThroughGdal(Work(Case.StgOut));
    EXPECT_EQ(Read.StgDriver, Case.StgDriver) << Case.StgOut;
    EXPECT_EQ(Read.StgType, Case.StgType) << Case.StgOut;
    EXPECT_EQ(Read.VecTransform, (std::vector<double>{1000, 10, 0, 2020, 0, -10})) << Case.StgOut;
    EXPECT_TRUE(Read.BlnNoData) << Case.StgOut;
    EXPECT_EQ(Read.DblNoData, Case.BlnBytes ? 255 : -9999) << Case.StgOut;
    EXPECT_EQ(Read.VecCells, Case.BlnBytes ? VecByte : VecReal) << Case.StgOut;
    for (const std::string& StgSidecar : Case.VecSidecars) {
      EXPECT_TRUE(fs::is_regular_file(Work(StgSidecar))) << StgSidecar;
    }
  }
  EXPECT_EQ(ReadThroughGdal(Work("cog.tif")).StgLayout, "COG");
  EXPECT_EQ(ReadThroughGdal(Work("plain.tif")).StgLayout, "");
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  // Creation options reach GDAL: the layout in strips of rows instead of tiles.
  Succeed({"scale", StgReal, Work("strips.tif"), "--factor", "1", "--co", "TILED=NO"});
  EXPECT_EQ(InfoOf(Work("strips.tif"), "block_columns"), "3");
}

TEST_F(ToolRastersTest, RasterOutputsThatCannotHoldTheResultFailBeforeWriting) {
  const std::string StgIn = Put("in.asc", SmallGrid("255", "1 2 3", "4 255 16"));
  const std::string StgOut = Put("out.tif", "the earlier output");
  const std::string StgOther = Put("out.x", "the earlier output");
  const std::string StgCells = "; the cells would not read back as written";
  struct TCase {
    std::vector<std::string> VecOptions;
    std::string StgLine;
    std::string StgOutput;
  };
  const std::vector<TCase> VecCases = {
      // Formats whose file holds no cells: the earlier output would become an empty one.
      {{"--format", "MEM"},
       StgOther + ": GDAL's format MEM writes no file that holds the cells; choose another with "
                  "--format",
       StgOther},
      {{"--format", "VRT"},
       StgOther + ": GDAL's format VRT writes no file that holds the cells; choose another with "
                  "--format",
       StgOther},
      // Types the format lists, and compression with loss.
      {{"--format", "PNG"},
       StgOther + ": GDAL's format PNG holds UInt16 or Byte cells, not Float64; choose one with "
                  "--type",
       StgOther},
      {{"--format", "JPEG", "--type", "Byte"},
       StgOther + ": GDAL's format JPEG compresses with loss" + StgCells,
       StgOther},
      {{"--format", "WEBP", "--type", "Byte"},
       StgOther + ": GDAL's format WEBP compresses with loss unless LOSSLESS=YES" + StgCells,
       StgOther},
      {{"--co", "COMPRESS=JPEG"},
       StgOut + ": the creation option COMPRESS=JPEG compresses with loss" + StgCells,
       StgOut},
      {{"--co", "compress=webp"},
       StgOut +
           ": the creation option COMPRESS=webp compresses with loss unless "
           "WEBP_LOSSLESS=YES" +
           StgCells,
       StgOut},
      {{"--co", "COMPRESS=LERC_ZSTD", "--co", "MAX_Z_ERROR=0.5"},
       StgOut + ": the creation option MAX_Z_ERROR=0.5 lets LERC change each cell by up to 0.5" +
           StgCells,
       StgOut},
      // Land cover in 4 bits would clamp 16 onto 15.
      {{"--type", "Byte", "--co", "NBITS=4"},
       StgOut + ": the creation option NBITS=4 keeps 4 bits of each Byte cell" + StgCells,
       StgOut},
      {{"--co", "NBITS=16", "--type", "Float32", "--co", "PREDICTOR=1"},
       StgOut + ": the creation option NBITS=16 keeps 16 bits of each Float32 cell" + StgCells,
       StgOut},
      {{"--type", "Byte", "--co", "PIXELTYPE=SIGNEDBYTE"},
       StgOut + ": the creation option PIXELTYPE=SIGNEDBYTE makes Byte cells read as signed" +
           StgCells,
       StgOut},
      {{"--co", "DISCARD_LSB=2"},
       StgOut + ": the creation option DISCARD_LSB=2 drops the low bits of each cell" + StgCells,
       StgOut},
      {{"--format", "COG", "--co", "TILING_SCHEME=GoogleMapsCompatible"},
       StgOut +
           ": the creation option TILING_SCHEME=GoogleMapsCompatible resamples the grid to a "
           "tiling scheme" +
           StgCells,
       StgOut},
      {{"--format", "COG", "--co", "TARGET_SRS=EPSG:4326"},
       StgOut + ": the creation option TARGET_SRS=EPSG:4326 resamples the grid to another grid" +
           StgCells,
       StgOut},
      // What no rule foresees shows when the raster is read back, before it takes the place of
      // the earlier output.
      {{"--format", "XYZ"},
       StgOther + ": GDAL's format XYZ reads back Byte cells, not Float64; the format or its "
                  "options do not keep the grid as written",
       StgOther},
  };
  for (const TCase& Case : VecCases) {
    // Loaded whole, and streamed.
    for (const std::vector<std::string>& VecCommand :
         {std::vector<std::string>{"scale", StgIn, Case.StgOutput, "--factor", "1"},
          std::vector<std::string>{"add", StgIn, StgIn, Case.StgOutput}}) {
      std::vector<std::string> VecArgs = VecCommand;
      VecArgs.insert(VecArgs.end(), Case.VecOptions.begin(), Case.VecOptions.end());
      Refuse(VecArgs, 1, Case.StgLine, {Case.StgOutput});
    }
  }
}

TEST_F(ToolRastersTest, RasterFilesBesideTheOutputGoWithItOrNotAtAll) {
  const std::string StgIn = Put("in.asc", SmallGrid("-9999", "-1.5 2 -9999", "4 0.25 600"));
  const std::vector<double> VecCells = {-1.5, 2, -9999, 4, 0.25, 600};
  // A header beside the raster is replaced with it; both read back as one raster.
  const std::string StgEnvi = Put("out.envi", "earlier cells");
  const std::string StgHeader = Put("out.hdr", "earlier header");
  Succeed({"add", StgIn, StgIn, StgEnvi, "--format", "ENVI"});
  EXPECT_EQ(ReadFile(StgHeader).rfind("ENVI", 0), 0u);
  EXPECT_EQ(ReadThroughGdal(StgEnvi).VecCells, (std::vector<double>{-3, 4, -9999, 8, 0.5, 1200}));
  // GDAL reads an earlier file's sidecars with a raster of its name: they go, or GDAL would
  // take this one's corner from the earlier .aux.xml and its overviews from the earlier .ovr.
  const std::string StgTif = Put("out.tif", "earlier");
  Put("out.tif.aux.xml",
      "<PAMDataset><GeoTransform>0, 1, 0, 0, 0, -1</GeoTransform></PAMDataset>\n");
  Put("out.tif.ovr", "earlier overviews");
  Put("out.tif.msk", "earlier mask");
  Succeed({"scale", StgIn, StgTif, "--factor", "1"});
  EXPECT_EQ(ReadThroughGdal(StgTif).VecTransform, (std::vector<double>{1000, 10, 0, 2020, 0, -10}));
  for (const char* PtrGone : {"out.tif.aux.xml", "out.tif.ovr", "out.tif.msk"}) {
    EXPECT_FALSE(fs::exists(Work(PtrGone))) << PtrGone;
  }
  // Through a link to another folder the cells go where the link leads and the header beside
  // the link, where GDAL looks for it.
  fs::create_directory(Work("data"));
  Put("data/real.envi", "earlier real");
  fs::create_symlink("data/real.envi", Work("link.envi"));
  Succeed({"scale", StgIn, Work("link.envi"), "--factor", "1", "--format", "ENVI"});
  EXPECT_TRUE(fs::is_symlink(Work("link.envi")));
  EXPECT_TRUE(fs::is_regular_file(Work("link.hdr")));
  EXPECT_EQ(ReadThroughGdal(Work("link.envi")).VecCells, VecCells);
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  // A sidecar that cannot be written fails the run, naming it, with the raster as it was.
  Put("out.sdat", "earlier grid");
  fs::create_directory(Work("out.sgrd"));
  Refuse({"scale", StgIn, Work("out.sdat"), "--factor", "1", "--format", "SAGA"}, 1,
         "Unable to open file " + Work("out.sgrd"), {Work("out.sdat")});
  // A write that fails names the user's file, and leaves the raster and its header as they
  // were, without temporaries.
  const std::string StgBig = Put("big.asc",
                                 "ncols 200\nnrows 200\nxllcorner 0\nyllcorner 0\n"
                                 "cellsize 1\nNODATA_value -9999\n");
  {
    std::ofstream Cells(StgBig, std::ios::app);
    for (int IntCell = 0; IntCell < 200 * 200; ++IntCell) {
      Cells << (IntCell * 7919 % 10007) << (IntCell % 200 == 199 ? "\n" : " ");
    }
  }
  Put("out.envi", "earlier cells");
  Put("out.hdr", "earlier header");
  for (const char* PtrCommand : {"scale", "add"}) {
    std::vector<std::string> VecArgs = {PtrCommand, StgBig};
    const std::vector<std::string> VecRest =
        std::string(PtrCommand) == "add" ? std::vector<std::string>{StgBig, StgEnvi}
                                         : std::vector<std::string>{StgEnvi, "--factor", "1"};
    VecArgs.insert(VecArgs.end(), VecRest.begin(), VecRest.end());
    VecArgs.insert(VecArgs.end(), {"--format", "ENVI"});
    const TRun Result =
        RunProgram(tessgrid_test::kToolExe, VecArgs, "ulimit -f 100; ", "/dev/null", ">");
    EXPECT_EQ(Result.LngStatus, 1) << PtrCommand;
    EXPECT_EQ(Result.StgErr.rfind("tessgrid-tool: Unable to write file " + StgEnvi, 0), 0u)
        << Result.StgErr;
    EXPECT_EQ(Result.StgErr.find("/proc/"), std::string::npos) << Result.StgErr;
    EXPECT_EQ(Result.StgErr.find(".tessgrid-"), std::string::npos) << Result.StgErr;
    EXPECT_EQ(ReadFile(StgEnvi), "earlier cells") << PtrCommand;
    EXPECT_EQ(ReadFile(StgHeader), "earlier header") << PtrCommand;
    EXPECT_EQ(Temporaries(), std::vector<std::string>{}) << PtrCommand;
  }
}

TEST_F(ToolRastersTest, CellWiseCommandsStreamRastersToTheBytesOfTheLoadedRun) {
  // Grids of 40 x 300 cells, each cell's text from its index.
  const auto Grid = [this](const std::string& StgName,
                           const std::function<std::string(int)>& Cell) {
    std::string StgText =
        "ncols 40\nnrows 300\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n"
        "NODATA_value -9999\n";
    for (int IntCell = 0; IntCell < 40 * 300; ++IntCell) {
      StgText += Cell(IntCell) + (IntCell % 40 == 39 ? "\n" : " ");
    }
    Put(StgName + ".asc", StgText);
    return Work(StgName + ".asc");
  };
  // No-data, negative and fractional values.
  const auto CellA = [](int IntCell) {
    return IntCell % 97 == 5 ? std::string("-9999") : std::to_string(IntCell % 613 - 300);
  };
  const auto CellB = [](int IntCell) {
    return IntCell % 89 == 7 ? std::string("-9999") : std::to_string(IntCell % 41) + ".25";
  };
  // As tiles of 16 rows and as strips of 3: windows and rows of blocks end inside the rounds of
  // the stream.
  Succeed({"scale", Grid("a", CellA), Work("a.tif"), "--factor", "1", "--co", "BLOCKXSIZE=16",
           "--co", "BLOCKYSIZE=16"});
  Succeed({"scale", Grid("b", CellB), Work("b.tif"), "--factor", "1", "--co", "TILED=NO", "--co",
           "BLOCKYSIZE=3"});
  const std::vector<std::vector<std::string>> VecCommands = {
      {"add", "a.tif", "b.tif"},          {"subtract", "b.tif", "a.tif"},
      {"multiply", "a.tif", "b.tif"},     {"divide", "a.tif", "b.tif"},
      {"sum", "a.tif", "b.tif", "a.tif"}, {"average", "b.tif", "a.tif"},
      {"count", "a.tif", "b.tif"}};
  for (const std::vector<std::string>& VecCommand : VecCommands) {
    // Pair commands name the output last, series commands first.
    const bool BlnOutFirst =
        VecCommand[0] == "sum" || VecCommand[0] == "average" || VecCommand[0] == "count";
    const auto Args = [&](const std::string& StgOut) {
      std::vector<std::string> VecArgs = {VecCommand[0]};
      if (BlnOutFirst) {
        VecArgs.push_back(StgOut);
      }
      for (std::size_t LngI = 1; LngI < VecCommand.size(); ++LngI) {
        VecArgs.push_back(Work(VecCommand[LngI]));
      }
      if (!BlnOutFirst) {
        VecArgs.push_back(StgOut);
      }
      return VecArgs;
    };
    // Standard output takes the path that loads every grid whole.
    const TRun Loaded = RunTool(Args("-"));
    ASSERT_EQ(Loaded.LngStatus, 0) << VecCommand[0] << ": " << Loaded.StgErr;
    Succeed(Args(Work("out.asc")));
    EXPECT_EQ(ReadFile(Work("out.asc")), Loaded.StgOut) << VecCommand[0];
    Succeed(Args(Work("out.tif")));
    Succeed({"scale", Work("out.tif"), Work("back.asc"), "--factor", "1"});
    EXPECT_EQ(ReadFile(Work("back.asc")), Loaded.StgOut) << VecCommand[0];
  }
  // The failures of the rows come in the loaded run's order: a value that does not fit the
  // type is found only once every cell has kept its data, as CheckFitsType runs last.
  const std::string StgOut = Put("kept.tif", "the earlier output");
  Refuse({"add", Work("a.tif"), Work("b.tif"), StgOut, "--type", "Int16"}, 1,
         StgOut +
             ": the result holds -299.75 at row 0, column 0, which does not fit Int16 (a whole "
             "number from -32768 to 32767)",
         {StgOut});
  // Row 250 comes to -9999 from two data cells: B holds 37.25 there.
  Succeed({"scale",
           Grid("lost",
                [&](int IntCell) { return IntCell == 250 * 40 ? "-10036.25" : CellA(IntCell); }),
           Work("lost.tif"), "--factor", "1"});
  Refuse({"add", Work("lost.tif"), Work("b.tif"), StgOut, "--type", "Int16"}, 1,
         "the result at row 250, column 0 comes to -9999, which the library's operations take "
         "for no-data; tessgrid-tool cannot keep it as data",
         {StgOut});
}

TEST_F(ToolRastersTest, MovingAveragesStreamRastersInAndOut) {
  // Four 30 x 50 GeoTIFFs in strips of 7 rows, with no-data, negative and fractional cells.
  std::vector<std::string> VecInputs;
  for (int IntGrid = 0; IntGrid < 4; ++IntGrid) {
    std::string StgText =
        "ncols 30\nnrows 50\nxllcorner 1000\nyllcorner 2000\ncellsize 10\nNODATA_value -9999\n";
    for (int IntCell = 0; IntCell < 30 * 50; ++IntCell) {
      StgText += (IntCell % (53 + IntGrid) == 3 ? std::string("-9999")
                                                : std::to_string(IntCell % 211 - 100 + IntGrid) +
                                                      (IntGrid % 2 == 1 ? ".5" : "")) +
                 (IntCell % 30 == 29 ? "\n" : " ");
    }
    const std::string StgName = "in" + std::to_string(IntGrid);
    Put(StgName + ".asc", StgText);
    Succeed({"scale", Work(StgName + ".asc"), Work(StgName + ".tif"), "--factor", "1", "--co",
             "TILED=NO", "--co", "BLOCKYSIZE=7"});
    VecInputs.push_back(Work(StgName + ".tif"));
  }
  const auto Run = [&](const std::vector<std::string>& VecOutputs,
                       const std::vector<std::string>& VecOptions) {
    std::string StgList;
    for (const std::string& StgOutput : VecOutputs) {
      StgList += StgOutput + "\n";
    }
    std::vector<std::string> VecArgs = VecOptions;
    VecArgs.insert(VecArgs.end(),
                   {"moving-average", "--window", "2", "--outputs", Put("outs.txt", StgList)});
    VecArgs.insert(VecArgs.end(), VecInputs.begin(), VecInputs.end());
    return RunTool(VecArgs);
  };
  // Standard output as the first output takes the path that loads every grid whole; a text
  // and two rasters stream.
  const TRun Loaded = Run({"-", Work("l1.tif"), Work("l2.asc")}, {});
  ASSERT_EQ(Loaded.LngStatus, 0) << Loaded.StgErr;
  const TRun Streamed = Run({Work("s0.tif"), Work("s1.tif"), Work("s2.asc")}, {});
  ASSERT_EQ(Streamed.LngStatus, 0) << Streamed.StgErr;
  EXPECT_EQ(ReadFile(Work("s2.asc")), ReadFile(Work("l2.asc")));
  for (const std::string StgPair : {"s0", "s1", "l1"}) {
    Succeed({"scale", Work(StgPair + ".tif"), Work(StgPair + ".asc"), "--factor", "1"});
  }
  EXPECT_EQ(ReadFile(Work("s0.asc")), Loaded.StgOut);
  EXPECT_EQ(ReadFile(Work("s1.asc")), ReadFile(Work("l1.asc")));
  // The first output whose cells do not fit the type fails the run (the first window's averages
  // are whole numbers), and every output stays as it was.
  const std::string StgKept0 = Put("k0.tif", "earlier 0");
  const std::string StgKept1 = Put("k1.tif", "earlier 1");
  const std::string StgKept2 = Put("k2.tif", "earlier 2");
  Refuse({"moving-average", "--type", "Int16", "--window", "2", "--outputs",
          Put("kept.txt", StgKept0 + "\n" + StgKept1 + "\n" + StgKept2 + "\n"), VecInputs[0],
          VecInputs[2], VecInputs[1], VecInputs[3]},
         1,
         StgKept1 +
             ": the result holds -98.75 at row 0, column 0, which does not fit Int16 (a whole "
             "number from -32768 to 32767)",
         {StgKept0, StgKept1, StgKept2});
}

TEST_F(ToolRastersTest, AVrtClaimingMoreRowsThanItsSourcesStreamsWhatGdalReadsInBoundedMemory) {
  Raster("source.tif", {1000, 10, 0, 2020, 0, -10});
  // The cells beyond the source read as GDAL gives them: the VRT's no-data value.
  const auto Vrt = [this](const std::string& StgName, long LngRows) {
    return Put(StgName,
               "<VRTDataset rasterXSize=\"3\" rasterYSize=\"" + std::to_string(LngRows) +
                   "\">\n  <GeoTransform>1000, 10, 0, 2020, 0, -10</GeoTransform>\n"
                   "  <VRTRasterBand dataType=\"Float64\" band=\"1\">\n"
                   "    <NoDataValue>-9999</NoDataValue>\n    <SimpleSource>\n"
                   "      <SourceFilename relativeToVRT=\"1\">source.tif</SourceFilename>\n"
                   "      <SourceBand>1</SourceBand>\n"
                   "      <SrcRect xOff=\"0\" yOff=\"0\" xSize=\"3\" ySize=\"2\"/>\n"
                   "      <DstRect xOff=\"0\" yOff=\"0\" xSize=\"3\" ySize=\"2\"/>\n"
                   "    </SimpleSource>\n  </VRTRasterBand>\n</VRTDataset>\n");
  };
  const std::string StgSmall = Vrt("small.vrt", 5);
  const TRun Loaded = RunTool({"add", StgSmall, StgSmall, "-"});
  ASSERT_EQ(Loaded.LngStatus, 0) << Loaded.StgErr;
  EXPECT_EQ(Loaded.StgOut.substr(Loaded.StgOut.find("2 4 6")),
            "2 4 6 \n8 10 12 \n-9999 -9999 -9999 \n-9999 -9999 -9999 \n-9999 -9999 -9999 \n");
  Succeed({"add", StgSmall, StgSmall, Work("out.asc")});
  EXPECT_EQ(ReadFile(Work("out.asc")), Loaded.StgOut);
  // Two million rows read in windows under a memory limit far below them, into an output the
  // file-size limit stops: the write fails, and the earlier file stays.
  const std::string StgLarge = Vrt("large.vrt", 2000000);
  const std::string StgKept = Put("kept.asc", "the earlier output");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string StgLimit = "ulimit -f 64; ";
#else
  const std::string StgLimit = "ulimit -v 262144; ulimit -f 64; ";
#endif
  const TRun Limited = RunProgram(tessgrid_test::kToolExe, {"add", StgLarge, StgLarge, StgKept},
                                  StgLimit, "/dev/null", ">");
  EXPECT_EQ(Limited.StgErr, "tessgrid-tool: Unable to write file " + StgKept + "\n");
  EXPECT_EQ(Limited.LngStatus, 1);
  EXPECT_EQ(ReadFile(StgKept), "the earlier output");
}
