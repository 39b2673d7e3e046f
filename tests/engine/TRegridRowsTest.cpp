// tests/engine/TRegridRowsTest.cpp - grids on different lattices read onto one target grid: the
// target's extent snapped to the chosen lattice, the partner of a target cell by its centre as the
// overlay finds it, no-data outside, the input read once in order, and ASCII grid files as row
// sources.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/GridFileRows.h"
#include "engine/MemoryRows.h"
#include "engine/RegridRows.h"
#include "tests/support/ExpectMessage.h"

namespace {

using tessgrid::detail::OpenGridFileRows;
using tessgrid::detail::TargetGrid;
using tessgrid::detail::TExtentRule;
using tessgrid::detail::TGridHeader;
using tessgrid::detail::TLatticeRule;
using tessgrid::detail::TMemoryRowSource;
using tessgrid::detail::TRegridRowSource;
using tessgrid::detail::TRowSource;
using tessgrid::detail::TTargetChoice;

TGridHeader Header(long LngColumns, long LngRows, double DblXll, double DblYll, double DblCell,
                   double DblNoData = -9999.0) {
  TGridHeader Grid;
  Grid.LngColumns = LngColumns;
  Grid.LngRows = LngRows;
  Grid.DblXll = DblXll;
  Grid.DblYll = DblYll;
  Grid.DblCellSize = DblCell;
  Grid.DblNoData = DblNoData;
  return Grid;
}

TTargetChoice Choice(std::optional<TExtentRule> OptExtent,
                     std::optional<TLatticeRule> OptLattice = std::nullopt) {
  TTargetChoice Target;
  Target.OptExtent = OptExtent;
  Target.OptLattice = OptLattice;
  return Target;
}

// Columns, rows, corner and cell size, for one comparison.
std::vector<double> Geometry(const TGridHeader& Grid) {
  return {static_cast<double>(Grid.LngColumns), static_cast<double>(Grid.LngRows), Grid.DblXll,
          Grid.DblYll, Grid.DblCellSize};
}

// A row source over cells kept by the test that records the windows read.
class TRecordingSource final : public TRowSource {
 public:
  TRecordingSource(const TGridHeader& Grid, std::vector<double> VecCells, long LngWindow,
                   std::vector<std::pair<long, long>>& VecWindows)
      : MbrHeader(Grid),
        MbrVecCells(std::move(VecCells)),
        MbrLngWindow(LngWindow),
        MbrVecWindows(VecWindows) {}
  const TGridHeader& Header() const override { return MbrHeader; }
  long WindowRows() const override { return MbrLngWindow; }
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override {
    MbrVecWindows.emplace_back(LngFirst, LngCount);
    const std::size_t LngColumns = static_cast<std::size_t>(MbrHeader.LngColumns);
    for (long LngK = 0; LngK < LngCount; ++LngK) {
      const double* PtrRow =
          MbrVecCells.data() + static_cast<std::size_t>(LngFirst + LngK) * LngColumns;
      std::copy(PtrRow, PtrRow + LngColumns, RowAt(LngK));
    }
  }

 private:
  TGridHeader MbrHeader;
  std::vector<double> MbrVecCells;
  long MbrLngWindow;
  std::vector<std::pair<long, long>>& MbrVecWindows;
};

// Every target row of the source, one after the other, read in windows of LngWindow rows.
std::vector<double> ReadAll(TRowSource& Source, long LngWindow) {
  const std::size_t LngColumns = static_cast<std::size_t>(Source.Header().LngColumns);
  std::vector<double> VecCells(LngColumns * static_cast<std::size_t>(Source.Header().LngRows));
  for (long LngFirst = 0; LngFirst < Source.Header().LngRows; LngFirst += LngWindow) {
    const long LngCount = std::min(LngWindow, Source.Header().LngRows - LngFirst);
    Source.ReadRows(LngFirst, LngCount, [&](long LngK) {
      return VecCells.data() + static_cast<std::size_t>(LngFirst + LngK) * LngColumns;
    });
  }
  return VecCells;
}

TEST(TRegridRowsTest, UnionAndIntersectionSnapOutwardAndInwardToTheLatticeOfTheChosenGrid) {
  const std::vector<std::string> VecNames{"a.asc", "b.asc"};
  // b lies off a's lattice by fractions of a cell in both directions.
  const std::vector<TGridHeader> VecInputs{Header(10, 10, 0.0, 0.0, 1.0),
                                           Header(10, 10, 5.5, -2.3, 1.0)};
  EXPECT_EQ(Geometry(TargetGrid(VecInputs, VecNames, Choice(TExtentRule::kUnion))),
            (std::vector<double>{16, 13, 0.0, -3.0, 1.0}));
  EXPECT_EQ(Geometry(TargetGrid(VecInputs, VecNames, Choice(TExtentRule::kIntersect))),
            (std::vector<double>{4, 7, 6.0, 0.0, 1.0}));
  // Only --grid: the union. An edge within a millionth of a cell of a line lies on it.
  const std::vector<TGridHeader> VecNear{Header(10, 10, 0.0, 0.0, 1.0),
                                         Header(10, 10, 5.0000000001, 4.9999999999, 1.0)};
  EXPECT_EQ(Geometry(TargetGrid(VecNear, VecNames, Choice(std::nullopt, TLatticeRule::kFirst))),
            (std::vector<double>{15, 15, 0.0, 0.0, 1.0}));
  EXPECT_EQ(Geometry(TargetGrid(VecNear, VecNames, Choice(TExtentRule::kIntersect))),
            (std::vector<double>{5, 5, 5.0, 5.0, 1.0}));
}

TEST(TRegridRowsTest, FinestCoarsestAndFirstPickTheLatticeTheEarliestAmongEqualSizes) {
  const std::vector<std::string> VecNames{"a.asc", "b.asc", "c.asc"};
  const std::vector<TGridHeader> VecInputs{
      Header(4, 4, 0.0, 0.0, 2.0), Header(8, 8, 0.25, 0.25, 1.0), Header(8, 8, 0.75, 0.75, 1.0)};
  // The finest: b, not c, whose cells are as small; its lattice runs through 0.25.
  EXPECT_EQ(Geometry(TargetGrid(VecInputs, VecNames, Choice(std::nullopt, TLatticeRule::kFinest))),
            (std::vector<double>{10, 10, -0.75, -0.75, 1.0}));
  EXPECT_EQ(
      Geometry(TargetGrid(VecInputs, VecNames, Choice(std::nullopt, TLatticeRule::kCoarsest))),
      (std::vector<double>{5, 5, 0.0, 0.0, 2.0}));
  EXPECT_EQ(Geometry(TargetGrid(VecInputs, VecNames, Choice(std::nullopt, TLatticeRule::kFirst))),
            (std::vector<double>{5, 5, 0.0, 0.0, 2.0}));
  // A grid file is taken whole, or lends its lattice to an extent rule.
  TTargetChoice Grid;
  Grid.OptGrid = Header(3, 2, 100.0, 200.0, 0.5, -1.0);
  Grid.StgGridName = "g.asc";
  const TGridHeader Whole = TargetGrid(VecInputs, VecNames, Grid);
  EXPECT_EQ(Geometry(Whole), (std::vector<double>{3, 2, 100.0, 200.0, 0.5}));
  EXPECT_EQ(Whole.DblNoData, -9999.0);
  Grid.OptExtent = TExtentRule::kIntersect;
  EXPECT_EQ(Geometry(TargetGrid(VecInputs, VecNames, Grid)),
            (std::vector<double>{14, 14, 1.0, 1.0, 0.5}));
}

TEST(TRegridRowsTest, TargetGridsThatCannotBeMadeFailWithTheirMessages) {
  const std::vector<std::string> VecNames{"a.asc", "b.asc"};
  EXPECT_STRING_MESSAGE(TargetGrid({Header(2, 2, 0, 0, 1), Header(0, 2, 0, 0, 1)}, VecNames,
                                   Choice(TExtentRule::kUnion)),
                        "b.asc has no cells");
  EXPECT_STRING_MESSAGE(TargetGrid({Header(2, 2, 0, 0, 1), Header(2, 2, 0, 0, NAN)}, VecNames,
                                   Choice(TExtentRule::kUnion)),
                        "b.asc: the cell size must be a finite number above 0");
  EXPECT_MESSAGE(TargetGrid({Header(2, 2, 0, 0, 1), Header(2, 2, 2, 0, 1)}, VecNames,
                            Choice(TExtentRule::kIntersect)),
                 "the grids do not overlap, so they have no intersection");
  EXPECT_STRING_MESSAGE(TargetGrid({Header(2, 2, 0, 0, 1), Header(2, 2, 1.5, 1.5, 1)}, VecNames,
                                   Choice(TExtentRule::kIntersect)),
                        "the area the grids share holds no whole cell of the target grid (cell "
                        "size 1)");
  EXPECT_MESSAGE(TargetGrid({Header(2, 2, 0, 0, 1e-300), Header(2, 2, 1e300, 1e300, 1)}, VecNames,
                            Choice(TExtentRule::kUnion)),
                 "the target grid would hold more cells than memory can index");
}

TEST(TRegridRowsTest, TargetCellsTakeTheInputCellHoldingTheirCentreAndAreNoDataOutside) {
  // Input edges x 0.5, 2.5, 4.5 and y 4.5, 2.5, 0.5; target centres at 0.5, 1.5, ... 4.5.
  const TGridHeader Input = Header(2, 2, 0.5, 0.5, 2.0, -1.0);
  const std::vector<double> VecCells{1, 2, 3, 4};
  TRegridRowSource Source(std::make_unique<TMemoryRowSource>(Input, VecCells.data()),
                          Header(5, 5, 0.0, 0.0, 1.0));
  // A centre on an inner edge goes east and north (a cell holds its western and southern
  // edges); one on the eastern or northern outer edge lies outside, one on the western or
  // southern outer edge inside.
  EXPECT_EQ(Source.Columns(), (std::vector<long>{0, 0, 1, 1, -1}));
  EXPECT_EQ(Source.Rows(), (std::vector<long>{-1, 0, 0, 1, 1}));
  EXPECT_EQ(Source.Header().DblNoData, -1.0);
  EXPECT_EQ(ReadAll(Source, 2), (std::vector<double>{-1, -1, -1, -1, -1,  //
                                                     1,  1,  2,  2,  -1,  //
                                                     1,  1,  2,  2,  -1,  //
                                                     3,  3,  4,  4,  -1,  //
                                                     3,  3,  4,  4,  -1}));
  // A coarser target takes one input cell of several; no-data stays the input's own.
  TRegridRowSource Coarse(std::make_unique<TMemoryRowSource>(Input, VecCells.data()),
                          Header(2, 2, -3.0, -3.0, 4.0));
  EXPECT_EQ(ReadAll(Coarse, 1), (std::vector<double>{-1, 2, -1, -1}));
}

TEST(TRegridRowsTest, CentresWithinRoundingOfEdgesTakeTheColumnTheirLookupFound) {
  // Cells of 0.1 half a cell apart: the running sums put some centres just before an input edge
  // and the next just past the one after, so that a column repeats and the next is skipped while
  // the run still spans as many input columns as it has cells.
  std::vector<double> VecCells(200);
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    VecCells[LngI] = static_cast<double>(LngI);
  }
  TRegridRowSource Source(
      std::make_unique<TMemoryRowSource>(Header(200, 1, 0.0, 0.0, 0.1), VecCells.data()),
      Header(200, 1, -0.05, 0.0, 0.1));
  const std::vector<long>& VecColumns = Source.Columns();
  std::vector<double> VecExpected;
  long LngRepeats = 0;
  for (std::size_t LngC = 0; LngC < VecColumns.size(); ++LngC) {
    VecExpected.push_back(VecColumns[LngC] < 0 ? -9999.0 : VecCells[VecColumns[LngC]]);
    LngRepeats += LngC > 0 && VecColumns[LngC] >= 0 && VecColumns[LngC] == VecColumns[LngC - 1];
  }
  ASSERT_GT(LngRepeats, 0);
  EXPECT_EQ(ReadAll(Source, 1), VecExpected);
}

TEST(TRegridRowsTest, InputRowsAreReadOnceInOrderAndToTheInputsEnd) {
  std::vector<double> VecCells(3 * 10);
  for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
    VecCells[LngI] = static_cast<double>(LngI);
  }
  std::vector<std::pair<long, long>> VecWindows;
  // The target covers the input's three northern rows only, at half its cell size.
  TRegridRowSource Source(
      std::make_unique<TRecordingSource>(Header(3, 10, 0, 0, 1), VecCells, 4, VecWindows),
      Header(6, 6, 0.0, 7.0, 0.5));
  const std::vector<double> VecRead = ReadAll(Source, 4);
  EXPECT_EQ(std::vector<double>(VecRead.begin(), VecRead.begin() + 6),
            (std::vector<double>{0, 0, 1, 1, 2, 2}));
  EXPECT_EQ(std::vector<double>(VecRead.end() - 6, VecRead.end()),
            (std::vector<double>{6, 6, 7, 7, 8, 8}));
  EXPECT_EQ(VecWindows, (std::vector<std::pair<long, long>>{{0, 4}, {4, 4}, {8, 2}}));
}

TEST(TRegridRowsTest, GridFilesAreRowSourcesWithTheReadersCellsAndFailures) {
  const std::string StgFile = ::testing::TempDir() + "regrid_rows_grid.asc";
  {
    std::ofstream Output(StgFile);
    Output << "ncols 3\nnrows 40\nxllcorner 1\nyllcorner 2\ncellsize 0.5\nNODATA_value -1\n";
    for (int IntCell = 0; IntCell < 120; ++IntCell) {
      Output << IntCell << (IntCell % 3 == 2 ? "\n" : " ");
    }
  }
  const std::unique_ptr<TRowSource> PtrSource =
      OpenGridFileRows(StgFile, TGridHeaderMode::kLenient);
  EXPECT_EQ(Geometry(PtrSource->Header()), (std::vector<double>{3, 40, 1, 2, 0.5}));
  EXPECT_EQ(PtrSource->Header().DblNoData, -1.0);
  // Windows longer than the source's own, and shorter.
  std::vector<double> VecExpected(120);
  for (std::size_t LngI = 0; LngI < VecExpected.size(); ++LngI) {
    VecExpected[LngI] = static_cast<double>(LngI);
  }
  EXPECT_EQ(ReadAll(*PtrSource, 37), VecExpected);
  EXPECT_EQ(ReadAll(*OpenGridFileRows(StgFile, TGridHeaderMode::kLenient), 3), VecExpected);
  {
    std::ofstream Output(StgFile);
    Output << "ncols 3\nnrows 40\nxllcorner 1\nyllcorner 2\ncellsize 0.5\n1 2 3\n";
  }
  EXPECT_MESSAGE(OpenGridFileRows(StgFile, TGridHeaderMode::kLenient),
                 "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile");
  {
    std::ofstream Output(StgFile);
    Output << "ncols 2\nnrows 2\nxllcorner 1\nyllcorner 2\ncellsize 0.5\n1 2\n3 x\n";
  }
  EXPECT_STRING_MESSAGE(ReadAll(*OpenGridFileRows(StgFile, TGridHeaderMode::kLenient), 1),
                        "File format error: invalid cell value 'x' at row 1, column 1 in "
                        "TARCGISFileTools::LoadARCGISFile");
  std::remove(StgFile.c_str());
  EXPECT_STRING_MESSAGE(OpenGridFileRows(StgFile, TGridHeaderMode::kLenient),
                        "Unable to open file " + StgFile);
}

}  // namespace
