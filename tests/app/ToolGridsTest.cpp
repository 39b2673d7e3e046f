// tests/app/ToolGridsTest.cpp - tessgrid-tool's series commands over grids on different lattices:
// --extent and --grid choose the target grid, each input is read onto it by the cell holding a
// target cell's centre, cells outside an input are no-data, and the failures in their words.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class ToolGridsTest : public tessgrid_test::TToolTest {
 protected:
  void SetUp() override {
    TToolTest::SetUp();
    // a: x 10 to 25, y 20 to 30; b: x 20 to 30, y 25 to 35, on a's lattice; c: a's south-western
    // cell at half its size, so that the centres of a's cells lie on c's inner edges.
    MbrStgA = Put("a.asc", 3, 2, 10, 20, 5, "1 2 3\n4 5 6\n");
    MbrStgB = Put("b.asc", 2, 2, 20, 25, 5, "10 20\n30 40\n");
    MbrStgC = Put("c.asc", 2, 2, 10, 20, 2.5, "100 200\n300 400\n");
  }

  std::string Put(const std::string& StgName, int IntColumns, int IntRows, double DblX, double DblY,
                  double DblSize, const std::string& StgCells) const {
    std::ofstream(Work(StgName), std::ios::binary)
        << "ncols " << IntColumns << "\nnrows " << IntRows << "\nxllcorner " << DblX
        << "\nyllcorner " << DblY << "\ncellsize " << DblSize << "\nNODATA_value -1\n"
        << StgCells;
    return Work(StgName);
  }

  // The grid the command writes to out.asc, which must succeed.
  std::string Output(std::vector<std::string> VecArgs, const std::string& StgStdin = "/dev/null") {
    VecArgs.insert(VecArgs.begin() + 1, Work("out.asc"));
    const TRun Result = RunTool(VecArgs, StgStdin);
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 0);
    return ReadFile(Work("out.asc"));
  }

  static std::string Grid(int IntColumns, int IntRows, const std::string& StgX,
                          const std::string& StgY, const std::string& StgSize,
                          const std::string& StgCells) {
    return "ncols " + std::to_string(IntColumns) + "\nnrows " + std::to_string(IntRows) +
           "\nxllcorner       " + StgX + "\nyllcorner       " + StgY + "\ncellsize " + StgSize +
           "\nNODATA_value -1\n" + StgCells;
  }

  std::string MbrStgA;
  std::string MbrStgB;
  std::string MbrStgC;
};

}  // namespace

TEST_F(ToolGridsTest, TheUnionAndTheIntersectionHoldTheInputsOnTheirLatticeNoDataOutsideEach) {
  const std::string StgUnion = Grid(4, 3, "10", "20", "5", "-1 -1 10 20 \n1 2 33 40 \n4 5 6 -1 \n");
  EXPECT_EQ(Output({"sum", "--skip-nodata", "--extent", "union", MbrStgA, MbrStgB}), StgUnion);
  // --grid alone takes the union; standard input and output stream as files do.
  EXPECT_EQ(Output({"sum", "--skip-nodata", "--grid", "first", "-", MbrStgB}, MbrStgA), StgUnion);
  const TRun Piped = RunTool({"sum", "--skip-nodata", "--extent", "union", "-", MbrStgA, MbrStgB});
  EXPECT_EQ(Piped.StgOut, StgUnion);
  // Without --skip-nodata a cell outside either input is no-data.
  EXPECT_EQ(Output({"sum", "--extent", "union", MbrStgA, MbrStgB}),
            Grid(4, 3, "10", "20", "5", "-1 -1 -1 -1 \n-1 -1 33 -1 \n-1 -1 -1 -1 \n"));
  EXPECT_EQ(Output({"maximum", "--extent", "intersect", MbrStgA, MbrStgB}),
            Grid(1, 1, "20", "25", "5", "30 \n"));
  EXPECT_EQ(Output({"count", "--extent", "union", MbrStgA, MbrStgB}),
            Grid(4, 3, "10", "20", "5", "0 0 1 1 \n1 1 2 1 \n1 1 1 0 \n"));
}

TEST_F(ToolGridsTest, TheGridOptionChoosesTheLatticeAndCentresOnEdgesGoEastAndNorth) {
  // On a's lattice the one target cell's centre (12.5, 22.5) lies on c's inner edges: it takes
  // c's north-eastern cell.
  EXPECT_EQ(Output({"sum", "--extent", "intersect", "--grid", "coarsest", MbrStgA, MbrStgC}),
            Grid(1, 1, "10", "20", "5", "204 \n"));
  EXPECT_EQ(Output({"sum", "--extent", "intersect", MbrStgA, MbrStgC}),
            Grid(2, 2, "10", "20", "2.5", "104 204 \n304 404 \n"));
  // A grid file is taken whole: here a centre outside b, one inside.
  const std::string StgTarget = Put("g.asc", 2, 1, 15, 25, 5, "0 0\n");
  EXPECT_EQ(Output({"sum", "--skip-nodata", "--grid", StgTarget, MbrStgA, MbrStgB}),
            Grid(2, 1, "15", "25", "5", "2 33 \n"));
  // With --extent it lends its lattice: the union of a and b on cells of 10 from (15, 25),
  // whose centres lie on a's and b's edges and outer edges.
  const std::string StgCoarse = Put("coarse.asc", 1, 1, 15, 25, 10, "0\n");
  EXPECT_EQ(Output({"average", "--skip-nodata", "--extent", "union", "--grid", StgCoarse, MbrStgA,
                    MbrStgB}),
            "ncols 3\nnrows 2\nxllcorner        5\nyllcorner       15\ncellsize 10\n"
            "NODATA_value -1\n-1 10 -1 \n4 6 -1 \n");
}

TEST_F(ToolGridsTest, TargetGridsThatCannotBeMadeFailWithTheirMessages) {
  const std::string StgFar = Put("far.asc", 1, 1, 100, 100, 5, "7\n");
  const TRun Apart = RunTool({"sum", "--extent", "intersect", Work("out.asc"), MbrStgA, StgFar});
  EXPECT_EQ(Apart.StgErr,
            "tessgrid-tool: the grids do not overlap, so they have no intersection\n");
  EXPECT_EQ(Apart.LngStatus, 1);
  const TRun Missing =
      RunTool({"sum", "--grid", Work("none.asc"), Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Missing.StgErr, "tessgrid-tool: Unable to open file " + Work("none.asc") + "\n");
  EXPECT_EQ(Missing.LngStatus, 1);
  const TRun Rule = RunTool({"sum", "--extent", "all", Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Rule.StgErr, "tessgrid-tool: --extent: all not in {union,intersect}\n");
  EXPECT_EQ(Rule.LngStatus, 2);
  const TRun Standard = RunTool({"sum", "--grid", "-", Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Standard.StgErr,
            "tessgrid-tool: --grid: takes finest, coarsest, first or a grid file\n");
  EXPECT_EQ(Standard.LngStatus, 2);
  // A grid file of another coordinate system than the inputs' is refused as an input would be.
  std::ofstream(Work("a.prj")) << "UTM 32";
  std::ofstream(Work("g.prj")) << "UTM 33";
  const std::string StgTarget = Put("g.asc", 2, 1, 15, 25, 5, "0 0\n");
  const TRun Crs = RunTool({"sum", "--grid", StgTarget, Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Crs.StgErr, "tessgrid-tool: inputs have different coordinate systems: " +
                            Work("a.prj") + ", " + Work("g.prj") + "\n");
  EXPECT_EQ(Crs.LngStatus, 1);
  // Nothing was written by any of them.
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(ToolGridsTest, WithoutTheOptionsUnalignedGridsAreRefusedAsBefore) {
  const TRun Result = RunTool({"sum", Work("out.asc"), MbrStgA, MbrStgB});
  EXPECT_EQ(Result.StgErr, "tessgrid-tool: grids are not aligned: " + MbrStgA + " and " + MbrStgB +
                               " differ in ncols (3 vs 2)\n");
  EXPECT_EQ(Result.LngStatus, 1);
}
