// tests/app/ToolCommandsTest.cpp - each command of tessgrid-tool, run as a user runs it, against
// the library call it stands for: the same bytes in the output file or on standard output.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"
#include "tests/support/CommandRunner.h"

namespace {

using tessgrid_test::ReadFile;
using tessgrid_test::TRun;
using TMapPtr = std::unique_ptr<TMap>;

TMapPtr Load(const std::string& StgFileName) {
  return TMapPtr(TARCGISFileTools::LoadARCGISFile(StgFileName));
}

// The grid file the library writes for the map.
std::string Text(TMap& Map) {
  std::ostringstream Output;
  TARCGISFileTools::WriteARCGISFile(&Map, Output);
  return Output.str();
}

// The same for a result the caller hands over.
std::string Text(TMap* PtrResult) {
  return Text(*TMapPtr(PtrResult));
}

// The input as the tool hands it to the library: the cells of its declared no-data value become
// -9999, the value the library keys on.
TMapPtr LoadForLibrary(const std::string& StgFileName) {
  TMapPtr PtrMap = Load(StgFileName);
  for (std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (double& DblCell : VecRow) {
      DblCell = DblCell == PtrMap->MbrDblNoDataValue ? -9999.0 : DblCell;
    }
  }
  PtrMap->MbrDblNoDataValue = -9999.0;
  return PtrMap;
}

// The grid file the tool writes for a library result that declares DblNoData: cells that are
// -9999, not finite, or no-data in PtrKeep (a cell-wise command's input) are written as it.
std::string ToolText(TMap* PtrResult, double DblNoData, const TMap* PtrKeep = nullptr) {
  const TMapPtr PtrOwned(PtrResult);
  for (std::size_t LngRow = 0; LngRow < PtrOwned->MbrVecValues.size(); ++LngRow) {
    for (std::size_t LngColumn = 0; LngColumn < PtrOwned->MbrVecValues[LngRow].size();
         ++LngColumn) {
      double& DblCell = PtrOwned->MbrVecValues[LngRow][LngColumn];
      const bool BlnKept =
          PtrKeep != nullptr && PtrKeep->MbrVecValues[LngRow][LngColumn] == -9999.0;
      DblCell = DblCell == -9999.0 || !std::isfinite(DblCell) || BlnKept ? DblNoData : DblCell;
    }
  }
  PtrOwned->MbrDblNoDataValue = DblNoData;
  return Text(*PtrOwned);
}

std::string ToolTexts(const std::vector<TMap*>& VecResults, double DblNoData) {
  std::string StgTexts;
  for (TMap* PtrResult : VecResults) {
    StgTexts += ToolText(PtrResult, DblNoData);
  }
  return StgTexts;
}

class ToolCommandsTest : public tessgrid_test::TToolTest {
 protected:
  // Runs a command that must succeed silently; returns the bytes of the named outputs.
  std::string Written(const std::vector<std::string>& VecArgs,
                      const std::vector<std::string>& VecOutputs = {"out.asc"}) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.LngStatus, 0);
    std::string StgTexts;
    for (const std::string& StgOutput : VecOutputs) {
      StgTexts += ReadFile(Work(StgOutput));
    }
    return StgTexts;
  }

  // Runs a command that must succeed; returns what it printed.
  std::string Printed(const std::vector<std::string>& VecArgs) const {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 0);
    return Result.StgOut;
  }

  std::string Out() const { return Work("out.asc"); }

  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  const std::string kE = Data("elevation_4x3.asc");      ///< no-data -9999, one no-data cell
  const std::string kU = Data("uplift_4x3.asc");         ///< no-data -1
  const std::string kZ = Data("zones_4x3.asc");          ///< whole zone numbers
  const std::string kC = Data("uplift_coarse_2x2.asc");  ///< twice the cell size
  const std::string kP = Data("piece_2x1.asc");          ///< inside the others
};

}  // namespace

TEST_F(ToolCommandsTest, AddTakesTheFinerGrid) {
  EXPECT_EQ(Written({"add", kC, kE, Out()}), Text(TMapTools::Add(Load(kC).get(), Load(kE).get())));
}

TEST_F(ToolCommandsTest, SubtractPairsByIndex) {
  EXPECT_EQ(Written({"subtract", kE, kU, Out()}),
            Text(TMapTools::Subtract(Load(kE).get(), Load(kU).get())));
}

TEST_F(ToolCommandsTest, MultiplyTakesTheFinerGrid) {
  EXPECT_EQ(Written({"multiply", kE, kU, Out()}),
            Text(TMapTools::Multiply(Load(kE).get(), Load(kU).get())));
}

TEST_F(ToolCommandsTest, DivideByACoarserGrid) {
  EXPECT_EQ(Written({"divide", kE, kC, Out()}),
            Text(TMapTools::Divide(Load(kE).get(), Load(kC).get())));
}

TEST_F(ToolCommandsTest, ScaleMultipliesByTheFactor) {
  EXPECT_EQ(Written({"scale", kE, Out(), "--factor", "2.5"}),
            Text(TMapTools::Multiply(Load(kE).get(), 2.5)));
}

TEST_F(ToolCommandsTest, DivideByDividesByTheDivisor) {
  EXPECT_EQ(
      Written({"divide-by", kU, Out(), "--divisor", "4"}),
      ToolText(TMapTools::Divide(LoadForLibrary(kU).get(), 4.0), -1, LoadForLibrary(kU).get()));
}

TEST_F(ToolCommandsTest, OffsetAddsTheConstant) {
  EXPECT_EQ(
      Written({"offset", kU, Out(), "--value", "-100"}),
      ToolText(TMapTools::Add(LoadForLibrary(kU).get(), -100.0), -1, LoadForLibrary(kU).get()));
}

TEST_F(ToolCommandsTest, RoundRoundsEveryCell) {
  EXPECT_EQ(Written({"round", kE, Out()}), Text(TMapTools::RoundContents(Load(kE).get())));
}

TEST_F(ToolCommandsTest, ThresholdZeroesOrReplaces) {
  EXPECT_EQ(Written({"threshold", kE, Out(), "--min", "12"}),
            ToolText(TMapTools::Threshold(Load(kE).get(), 12.0), -9999, Load(kE).get()));
  EXPECT_EQ(
      Written({"threshold", kE, Out(), "--min", "12", "--replace", "1e3"}),
      ToolText(TMapTools::ThresholdReplace(Load(kE).get(), 12.0, 1000.0), -9999, Load(kE).get()));
}

TEST_F(ToolCommandsTest, ReclassLooksCellsUpInTheTable) {
  const std::string StgTable = Put("table.csv", "1,10\n\n 2 , 20\r\n");
  EXPECT_EQ(Written({"reclass", kZ, Out(), "--table", StgTable, "--default", "-1"}),
            ToolText(TMapTools::ReplaceValue(Load(kZ).get(), {{1, 10}, {2, 20}}, -1), -9999,
                     Load(kZ).get()));
}

TEST_F(ToolCommandsTest, MaskReplacesTheMatchOnTheGridMap) {
  EXPECT_EQ(Written({"mask", kE, kZ, Out(), "--match", "3", "--value", "-9999"}),
            Text(TMapTools::Mask(Load(kE).get(), Load(kZ).get(), 3, -9999)));
}

TEST_F(ToolCommandsTest, FillSetsTheBlockAndKeepsTheNoDataValue) {
  const TMapPtr PtrExpected = Load(kU);
  TMapTools::FillBlock(PtrExpected.get(), 0, 1, 2, 0, 1);
  EXPECT_EQ(Written({"fill", kU, Out(), "--rows", "1", "2", "--columns", "0", "1", "--value", "0"}),
            Text(*PtrExpected));
}

TEST_F(ToolCommandsTest, SumAddsTheList) {
  EXPECT_EQ(Written({"sum", Out(), kE, kU, kZ}),
            ToolText(TMapTools::Sum({LoadForLibrary(kE).get(), LoadForLibrary(kU).get(),
                                     LoadForLibrary(kZ).get()}),
                     -9999));
}

TEST_F(ToolCommandsTest, CountReadsItsListFromAFile) {
  const std::string StgList = Put("maps.txt", kE + "\n" + kU + "\r\n\n");
  EXPECT_EQ(Written({"count", Out(), "--list", StgList}),
            Text(TMapTools::DataCounts({Load(kE).get(), Load(kU).get()})));
}

TEST_F(ToolCommandsTest, AverageAveragesTheList) {
  EXPECT_EQ(Written({"average", Out(), kE, kZ}),
            Text(TMapTools::Average({Load(kE).get(), Load(kZ).get()})));
}

TEST_F(ToolCommandsTest, MovingAverageWritesOneOutputPerWindow) {
  const std::string StgOutputs = Put("outs.txt", Work("m1.asc") + "\n" + Work("m2.asc") + "\n");
  EXPECT_EQ(
      Written({"moving-average", "--window", "2", kE, kU, kZ, "--outputs", StgOutputs},
              {"m1.asc", "m2.asc"}),
      ToolText(TMapTools::MovingAverage({LoadForLibrary(kE).get(), LoadForLibrary(kU).get()}, 2)[0],
               -9999) +
          ToolText(
              TMapTools::MovingAverage({LoadForLibrary(kU).get(), LoadForLibrary(kZ).get()}, 2)[0],
              -1));
}

TEST_F(ToolCommandsTest, GradientsWritesOneOutputPerWindow) {
  // The library's own rule on request; the tool's default is in ToolNoDataTest.
  const std::string StgOutputs = Put("outs.txt", Work("g1.asc") + "\n" + Work("g2.asc") + "\n");
  EXPECT_EQ(
      Written({"gradients", "--window", "1", kE, kU, kZ, "--outputs", StgOutputs, "--zero-missing"},
              {"g1.asc", "g2.asc"}),
      ToolTexts(
          TMapTools::ValueGradients(
              {LoadForLibrary(kE).get(), LoadForLibrary(kU).get(), LoadForLibrary(kZ).get()}, 1),
          -9999));
}

TEST_F(ToolCommandsTest, DownscaleWritesTheEmptyTemplate) {
  EXPECT_EQ(Written({"downscale", kE, Out(), "--resolution", "20"}),
            Text(TMapTools::Downscale(Load(kE).get(), 20)));
}

TEST_F(ToolCommandsTest, SubdivideSplitsEveryCell) {
  EXPECT_EQ(Written({"subdivide", kC, Out(), "--factor", "2"}),
            Text(TMapTools::Subdivide(Load(kC).get(), 2)));
}

TEST_F(ToolCommandsTest, InterpolateResamplesBilinearly) {
  EXPECT_EQ(Written({"interpolate", kE, Out(), "--resolution", "5"}),
            Text(TMapTools::BilinearInterpolate(Load(kE).get(), 5)));
}

TEST_F(ToolCommandsTest, ResampleSamplesCentresByTheNamedMethodNearestByDefault) {
  EXPECT_EQ(Written({"resample", kE, Out(), "--resolution", "5"}),
            Text(TMapTools::Resample(Load(kE).get(), 5, TResampleMethod::kNearest)));
  EXPECT_EQ(Written({"resample", kE, Out(), "--method", "bilinear", "--resolution", "4"}),
            Text(TMapTools::Resample(Load(kE).get(), 4, TResampleMethod::kBilinear)));
}

TEST_F(ToolCommandsTest, ExtractTakesTheCellsBetweenTheCorners) {
  const TPoint Corner1(125, 215);
  const TPoint Corner2(105, 205);
  EXPECT_EQ(Written({"extract", kE, Out(), "--bbox", "125", "215", "105", "205"}),
            Text(TMapTools::Extract(Load(kE).get(), &Corner1, &Corner2)));
}

TEST_F(ToolCommandsTest, InsertWritesIntoACopyOfTheDestination) {
  const std::string StgDestination = ReadFile(kE);
  const TMapPtr PtrExpected = Load(kE);
  TMapTools::Insert(PtrExpected.get(), Load(kP).get());
  EXPECT_EQ(Written({"insert", kE, kP, Out()}), Text(*PtrExpected));
  EXPECT_EQ(ReadFile(kE), StgDestination);
}

TEST_F(ToolCommandsTest, IntersectWritesBothParts) {
  TMap* PtrA = nullptr;
  TMap* PtrB = nullptr;
  TMapTools::Intersection(Load(kE).get(), Load(kP).get(), PtrA, PtrB);
  EXPECT_EQ(Written({"intersect", kE, kP, Work("a.asc"), Work("b.asc")}, {"a.asc", "b.asc"}),
            Text(PtrA) + Text(PtrB));
}

TEST_F(ToolCommandsTest, PatchPrintsTheExtentOrNothing) {
  long LngMinRow = 0;
  long LngMaxRow = 0;
  long LngMinColumn = 0;
  long LngMaxColumn = 0;
  TMapTools::FindPatchExtent(Load(kZ).get(), 3, LngMinRow, LngMaxRow, LngMinColumn, LngMaxColumn);
  std::ostringstream Expected;
  Expected << LngMinRow << ',' << LngMaxRow << ',' << LngMinColumn << ',' << LngMaxColumn << '\n';
  EXPECT_EQ(Printed({"patch", kZ, "--value", "3"}), Expected.str());
  EXPECT_EQ(Printed({"patch", kZ, "--value", "4"}), "");
}

TEST_F(ToolCommandsTest, CountValuesPrintsEachValueAndItsCount) {
  std::ostringstream Expected;
  for (const auto& Entry : TMapTools::CountValues(Load(kZ).get())) {
    Expected << Entry.first << ',' << Entry.second << '\n';
  }
  EXPECT_EQ(Printed({"count-values", kZ}), Expected.str());
}

TEST_F(ToolCommandsTest, FirstValuesPrintsTheFirstCentreOfEachValue) {
  std::ostringstream Expected;
  for (const auto& Entry : TMapTools::GetFirstValues(Load(kZ).get(), {-9999, 2})) {
    Expected << Entry.first << ',' << Entry.second->MbrDblX << ',' << Entry.second->MbrDblY << '\n';
    delete Entry.second;
  }
  EXPECT_EQ(Printed({"first-values", kZ, "--leave-out", "-9999", "2"}), Expected.str());
}

TEST_F(ToolCommandsTest, SamplePrintsTheValueUnderEachPoint) {
  const std::string StgPoints = Put("points.csv", "7,135,205\n2,105,225\n");
  TMapPoint Point7(135, 205, 0);
  TMapPoint Point2(105, 225, 0);
  std::ostringstream Expected;
  for (const auto& Entry :
       TMapTools::FetchMapValues(Load(kE).get(), {{7, &Point7}, {2, &Point2}})) {
    Expected << Entry.first << ',' << Entry.second << '\n';
  }
  EXPECT_EQ(Printed({"sample", kE, "--points", StgPoints}), Expected.str());
}

TEST_F(ToolCommandsTest, OverlayTablePrintsTheValuesUnderEachKey) {
  std::ostringstream Expected;
  for (const auto& Entry : TMapTools::GetValuesOverlay(Load(kE).get(), Load(kZ).get(), {-9999})) {
    Expected << Entry.first;
    for (std::size_t LngI = 0; LngI < Entry.second.size(); ++LngI) {
      Expected << (LngI == 0 ? ',' : ';') << Entry.second[LngI];
    }
    Expected << '\n';
  }
  EXPECT_EQ(Printed({"overlay-table", kE, kZ, "--leave-out", "-9999"}), Expected.str());
}

TEST_F(ToolCommandsTest, ToCsvWritesEveryCellCentre) {
  std::ostringstream Expected;
  TMapTools::WriteCSVFile(Load(kE).get(), Expected);
  EXPECT_EQ(Written({"to-csv", kE, Work("out.csv")}, {"out.csv"}), Expected.str());
}

TEST_F(ToolCommandsTest, InfoPrintsSizeEdgesAndStatisticsOfTheDataCells) {
  EXPECT_EQ(Printed({"info", kE}),
            "ncols: 4\nnrows: 3\nwest: 100\neast: 140\nsouth: 200\nnorth: 230\ncellsize: 10\n"
            "NODATA_value: -9999\ncells: 12\nnodata_cells: 1\nmin: 10\nmax: 15\nmean: 12.25\n");
  EXPECT_EQ(Printed({"info", "--json", Data("piece_2x1.asc")}),
            "{\"ncols\":2,\"nrows\":1,\"west\":110,\"east\":130,\"south\":210,\"north\":220,"
            "\"cellsize\":10,\"NODATA_value\":-9999,\"cells\":2,\"nodata_cells\":0,\"min\":7,"
            "\"max\":8,\"mean\":7.5}\n");
}
