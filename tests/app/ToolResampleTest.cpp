// tests/app/ToolResampleTest.cpp - tessgrid-tool resample as a user runs it: every method, onto
// the grid over IN's extent, over --extent (aligned by --align) or of --like, against the library
// call it stands for; and the target grids it refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"
#include "tests/support/CommandRunner.h"

namespace {

using tessgrid::detail::ExtentGrid;
using tessgrid::detail::HeaderGrid;
using tessgrid::detail::ResampleOnto;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;
using TMapPtr = std::unique_ptr<TMap>;

// The input as the tool hands it to the library: its declared no-data cells become -9999.
TMapPtr LoadForLibrary(const std::string& StgFileName) {
  TMapPtr PtrMap(TARCGISFileTools::LoadARCGISFile(StgFileName));
  for (std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (double& DblCell : VecRow) {
      DblCell = DblCell == PtrMap->MbrDblNoDataValue ? -9999.0 : DblCell;
    }
  }
  PtrMap->MbrDblNoDataValue = -9999.0;
  return PtrMap;
}

// The grid file the tool writes for a library result, its no-data cells as DblNoData.
std::string ToolText(TMapPtr PtrResult, double DblNoData) {
  for (std::vector<double>& VecRow : PtrResult->MbrVecValues) {
    for (double& DblCell : VecRow) {
      DblCell = DblCell == -9999.0 ? DblNoData : DblCell;
    }
  }
  PtrResult->MbrDblNoDataValue = DblNoData;
  std::ostringstream Output;
  TARCGISFileTools::WriteARCGISFile(PtrResult.get(), Output);
  return Output.str();
}

class ToolResampleTest : public tessgrid_test::TToolTest {
 protected:
  // Runs the tool, which must succeed silently; returns the output grid's bytes.
  std::string Written(const std::vector<std::string>& VecArgs) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 0);
    return ReadFile(Out());
  }

  // Runs the tool, which must fail with the line and status and write nothing.
  void Refuse(const std::vector<std::string>& VecArgs, int LngStatus,
              const std::string& StgLine) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n");
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.LngStatus, LngStatus);
    EXPECT_FALSE(std::ifstream(Out()).good());
  }

  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  std::string Out() const { return Work("out.asc"); }

  const std::string kE = Data("elevation_4x3.asc");      ///< 4 x 3 cells of 10 at (100, 200)
  const std::string kU = Data("uplift_4x3.asc");         ///< the same grid, no-data -1
  const std::string kC = Data("uplift_coarse_2x2.asc");  ///< 2 x 2 cells of 20 at (100, 200)
};

}  // namespace

TEST_F(ToolResampleTest, EveryMethodGoesOntoTheGridOverInOrOverExtentAlignedOrOfLike) {
  const TMapPtr PtrE = LoadForLibrary(kE);
  const char* const kPtrNames[] = {"near", "bilinear", "average", "mode", "min", "max", "median"};
  for (const char* PtrName : kPtrNames) {
    TResampleMethod Method = TResampleMethod::kNearest;
    ASSERT_TRUE(tessgrid::detail::ResampleMethodOf(PtrName, Method));
    EXPECT_EQ(Written({"resample", kE, Out(), "--method", PtrName, "--resolution", "15"}),
              ToolText(TMapPtr(TMapTools::Resample(PtrE.get(), 15, Method)), -9999))
        << PtrName;
    EXPECT_EQ(
        Written({"resample", kE, Out(), "--method", PtrName, "--extent", "95", "190", "132", "236",
                 "--resolution", "20"}),
        ToolText(ResampleOnto(*PtrE, ExtentGrid(95, 190, 132, 236, 20, false), Method), -9999))
        << PtrName;
    EXPECT_EQ(Written({"resample", kE, Out(), "--method", PtrName, "--extent", "95", "190", "132",
                       "236", "--align", "--resolution", "20"}),
              ToolText(ResampleOnto(*PtrE, ExtentGrid(95, 190, 132, 236, 20, true), Method), -9999))
        << PtrName;
    // --align alone aligns IN's own extent.
    EXPECT_EQ(
        Written({"resample", kE, Out(), "--method", PtrName, "--align", "--resolution", "15"}),
        ToolText(ResampleOnto(*PtrE, ExtentGrid(100, 200, 140, 230, 15, true), Method), -9999))
        << PtrName;
    EXPECT_EQ(Written({"resample", kE, Out(), "--method", PtrName, "--like", kC}),
              ToolText(ResampleOnto(*PtrE, HeaderGrid(2, 2, 100, 200, 20), Method), -9999))
        << PtrName;
  }
  // The result declares IN's no-data value, or --nodata, and takes IN's sidecar; the grid of
  // --like is its header's, corner and cell size as written.
  const std::string StgLike =
      Put("like.asc",
          "ncols 3\nnrows 2\nxllcorner 99.9\nyllcorner 200.1\ncellsize 13.3\n"
          "NODATA_value 0\n0 0 0\n0 0 0\n");
  Put("like.prj", "LOCAL_CS[\"site\"]");
  const std::string StgIn = Put("in.asc", ReadFile(kU));
  Put("in.prj", "LOCAL_CS[\"site\"]");
  EXPECT_EQ(Written({"resample", StgIn, Out(), "--method", "max", "--like", StgLike}),
            ToolText(ResampleOnto(*LoadForLibrary(kU), HeaderGrid(3, 2, 99.9, 200.1, 13.3),
                                  TResampleMethod::kMaximum),
                     -1));
  EXPECT_EQ(ReadFile(Work("out.prj")), "LOCAL_CS[\"site\"]");
  EXPECT_EQ(
      Written({"resample", StgIn, Out(), "--method", "max", "--like", StgLike, "--nodata", "-5"}),
      ToolText(ResampleOnto(*LoadForLibrary(kU), HeaderGrid(3, 2, 99.9, 200.1, 13.3),
                            TResampleMethod::kMaximum),
               -5));
}

TEST_F(ToolResampleTest, TargetGridsThatCannotBeMadeAreRefusedBeforeAnythingIsWritten) {
  Refuse({"resample", kE, Out()}, 2, "--resolution or --like is required");
  Refuse({"resample", kE, Out(), "--like", kC, "--resolution", "5"}, 2,
         "--resolution excludes --like");
  Refuse({"resample", kE, Out(), "--like", kC, "--align"}, 2, "--align excludes --like");
  Refuse({"resample", kE, Out(), "--resolution", "5", "--extent", "1", "2", "3"}, 2,
         "--extent: At least 4 required but received 3");
  Refuse({"resample", kE, Out(), "--resolution", "5", "--extent", "140", "200", "100", "230"}, 2,
         "--extent: XMAX must be greater than XMIN");
  Refuse({"resample", kE, Out(), "--resolution", "5", "--extent", "100", "230", "140", "230"}, 2,
         "--extent: YMAX must be greater than YMIN");
  Refuse({"resample", kE, Out(), "--resolution", "5", "--extent", "100", "nan", "140", "230"}, 2,
         "--extent: XMIN YMIN XMAX YMAX must be finite numbers");
  Refuse({"resample", kE, Out(), "--resolution", "0", "--extent", "100", "200", "140", "230"}, 1,
         "New resolution cannot be <= 0.0 in TMapTools::Resample");
  const std::string StgEmpty =
      Put("empty.asc", "ncols 0\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value 0\n");
  Refuse({"resample", kE, Out(), "--like", StgEmpty}, 1,
         "--like " + StgEmpty + ": the grid has no cells");
  const std::string StgA = Put("a.asc", ReadFile(kE));
  Put("a.prj", "grid A");
  const std::string StgB = Put("b.asc", ReadFile(kC));
  Put("b.prj", "grid B");
  Refuse({"resample", StgA, Out(), "--like", StgB}, 1,
         "inputs have different coordinate systems: " + Work("a.prj") + ", " + Work("b.prj"));
}
