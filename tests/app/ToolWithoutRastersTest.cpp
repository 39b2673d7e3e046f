// tests/app/ToolWithoutRastersTest.cpp - tessgrid-tool built without its GDAL backend: a GeoTIFF
// output and the raster options are command-line errors, and every input is an ASCII grid.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

const char kChrGrid[] =
    "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2\n";

class ToolWithoutRastersTest : public tessgrid_test::TToolTest {
 protected:
  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // The run fails on its command line with the line and status 2, and writes nothing.
  void Refuse(const std::vector<std::string>& VecArgs, const std::string& StgLine) const {
    const std::vector<std::string> VecBefore = Entries();
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n") << VecArgs.back();
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.LngStatus, 2) << VecArgs.back();
    EXPECT_EQ(Entries(), VecBefore) << VecArgs.back();
  }
};

}  // namespace

TEST_F(ToolWithoutRastersTest, RasterOutputsAndOptionsAreCommandLineErrors) {
  const std::string StgIn = Put("in.asc", kChrGrid);
  Put("stdout.txt", "");
  Put("stderr.txt", "");
  for (const std::string StgName : {"out.tif", "OUT.TIFF"}) {
    Refuse(
        {"scale", StgIn, Work(StgName), "--factor", "2"},
        "output " + Work(StgName) + " is a GeoTIFF, and this tessgrid-tool was built without GDAL");
  }
  Refuse({"scale", StgIn, Work("out.asc"), "--factor", "2", "--band", "1"},
         "The following arguments were not expected: 1 --band");
  Refuse({"scale", StgIn, Work("out.asc"), "--factor", "2", "--type", "Byte"},
         "The following arguments were not expected: Byte --type");
}

TEST_F(ToolWithoutRastersTest, EveryInputIsReadAsAnAsciiGrid) {
  // A name no GDAL driver would be asked about: the grid reader takes it whatever it is called.
  const std::string StgIn = Put("in.tif", kChrGrid);
  const TRun Result = RunTool({"scale", StgIn, Work("out.asc"), "--factor", "2"});
  EXPECT_EQ(Result.StgErr, "");
  EXPECT_EQ(Result.LngStatus, 0);
  EXPECT_EQ(ReadFile(Work("out.asc")),
            "ncols 2\nnrows 1\nxllcorner        0\nyllcorner        0\ncellsize 1\n"
            "NODATA_value -9999\n2 4 \n");
}
