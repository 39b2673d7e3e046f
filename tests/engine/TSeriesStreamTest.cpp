// tests/engine/TSeriesStreamTest.cpp - the series stream in process: rows in step whatever the
// budget, the thread count or the kind of input (a pipe is held whole, a row source is read in
// windows, memory where it lies), and failures ranked as a run that loads the inputs in order
// meets them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "engine/MemoryRows.h"
#include "io/GridWriter.h"

namespace {

namespace fs = std::filesystem;
using tessgrid::detail::TGridHeader;
using tessgrid::detail::TRowSource;
using tessgrid::detail::TSeriesCombiner;
using tessgrid::detail::TSeriesStream;

// Sums the inputs cell by cell; a cell of -777 fails the input's row, a result of -555.5 its own.
class TSumCombiner final : public TSeriesCombiner {
 public:
  explicit TSumCombiner(std::size_t LngColumns) : MbrLngColumns(LngColumns) {}
  void TakeRow(std::size_t LngInput, std::size_t LngRow, double* PtrCells) override {
    for (std::size_t LngX = 0; LngX < MbrLngColumns; ++LngX) {
      if (PtrCells[LngX] == -777.0) {
        throw "input " + std::to_string(LngInput) + " holds -777 at row " + std::to_string(LngRow);
      }
    }
  }
  void CombineRow(long, std::size_t LngRow, const double* const* PtrRows, double* PtrOut) override {
    for (std::size_t LngX = 0; LngX < MbrLngColumns; ++LngX) {
      PtrOut[LngX] = 0.0;
      for (std::size_t LngI = 0; LngI < MbrLngInputs; ++LngI) {
        PtrOut[LngX] += PtrRows[LngI][LngX];
      }
      if (PtrOut[LngX] == -555.5) {
        throw "the result is -555.5 at row " + std::to_string(LngRow);
      }
    }
  }
  std::size_t MbrLngInputs = 0;

 private:
  std::size_t MbrLngColumns;
};

class TSeriesStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "engine_work" /
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
  }

  std::string Work(const std::string& StgName) const { return (MbrPathWork / StgName).string(); }

  // A grid's text with the cells given row after row.
  static std::string GridText(long LngColumns, const std::vector<double>& VecCells) {
    std::ostringstream Text;
    Text.precision(17);
    Text << "ncols " << LngColumns << "\nnrows " << VecCells.size() / LngColumns
         << "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
    for (std::size_t LngI = 0; LngI < VecCells.size(); ++LngI) {
      Text << VecCells[LngI] << ((LngI + 1) % LngColumns == 0 ? "\n" : " ");
    }
    return Text.str();
  }

  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Runs the stream over the files; returns the rows it wrote.
  static std::string Stream(const std::vector<std::string>& VecFiles, std::size_t LngColumns,
                            long LngThreads, std::size_t LngBudget) {
    TSeriesStream Series(VecFiles, TGridHeaderMode::kStrict, LngThreads, LngBudget);
    Series.ReadHeaders();
    TSumCombiner Combiner(LngColumns);
    Combiner.MbrLngInputs = VecFiles.size();
    std::ostringstream Output;
    Series.Run(Combiner, &Output, 12, false);
    return Output.str();
  }

  // The text the stream fails with, char* or std::string alike; "" when it does not fail.
  static std::string FailureOf(const std::vector<std::string>& VecFiles, long LngThreads) {
    try {
      Stream(VecFiles, 40, LngThreads, 1);
    } catch (const char* PtrMessage) {
      return PtrMessage;
    } catch (const std::string& StgMessage) {
      return StgMessage;
    }
    return "";
  }

  fs::path MbrPathWork;
};

}  // namespace

TEST_F(TSeriesStreamTest, RowsComeInStepWhateverTheBudgetThreadsAndPipes) {
  std::mt19937 Random(7);
  for (const long LngColumns : {1L, 3L, 250L}) {
    const std::size_t LngCells = static_cast<std::size_t>(LngColumns) * 2000;
    std::vector<std::vector<double>> VecGrids(3, std::vector<double>(LngCells));
    std::vector<double> VecSums(LngCells, 0.0);
    for (std::vector<double>& VecGrid : VecGrids) {
      for (std::size_t LngI = 0; LngI < LngCells; ++LngI) {
        // One-digit cells mostly: as many rows per block as a block can hold.
        VecGrid[LngI] = Random() % 8 == 0 ? static_cast<double>(Random() % 100000) / 64.0
                                          : static_cast<double>(Random() % 10);
        VecSums[LngI] += VecGrid[LngI];
      }
    }
    std::ostringstream Expected;
    tessgrid::detail::WriteRows(
        Expected, [&](std::size_t LngRow) { return VecSums.data() + LngRow * LngColumns; }, 2000,
        static_cast<std::size_t>(LngColumns), ' ', 1);
    const std::vector<std::string> VecFiles = {Put("a.asc", GridText(LngColumns, VecGrids[0])),
                                               Put("b.asc", GridText(LngColumns, VecGrids[1])),
                                               Put("c.asc", GridText(LngColumns, VecGrids[2]))};
    for (const long LngThreads : {1L, 2L, 3L, 7L}) {
      for (const std::size_t LngBudget : {std::size_t{1}, TSeriesStream::kLngSeriesBudget}) {
        EXPECT_EQ(Stream(VecFiles, static_cast<std::size_t>(LngColumns), LngThreads, LngBudget),
                  Expected.str())
            << LngColumns << " columns, " << LngThreads << " threads, budget " << LngBudget;
      }
    }
    // The second input through a pipe, whose size nobody knows.
    const std::string StgPipe = Work("pipe.asc");
    fs::remove(StgPipe);
    ASSERT_EQ(::mkfifo(StgPipe.c_str(), 0600), 0);
    std::thread Writer(
        [&] { std::ofstream(StgPipe, std::ios::binary) << GridText(LngColumns, VecGrids[1]); });
    EXPECT_EQ(
        Stream({VecFiles[0], StgPipe, VecFiles[2]}, static_cast<std::size_t>(LngColumns), 2, 1),
        Expected.str());
    Writer.join();
  }
}

TEST_F(TSeriesStreamTest, FailuresRankAsARunInInputOrderMeetsThem) {
  std::vector<double> VecCells(40 * 300, 1.0);
  const std::string StgGood = Put("good.asc", GridText(40, VecCells));
  VecCells[40] = -777.0;  // row 1
  const std::string StgHeld = Put("held.asc", GridText(40, VecCells));
  std::string StgText = GridText(40, VecCells);
  StgText.replace(StgText.size() - 2, 1, "x");  // the last cell
  const std::string StgHeldBadLast = Put("held_bad_last.asc", StgText);
  const std::string StgBadFirst = Put("bad_first.asc",
                                      "ncols 40\nnrows 300\nxllcorner 0\n"
                                      "yllcorner 0\ncellsize 1\nNODATA_value "
                                      "-9999\ny\n");
  const std::string StgShort = Put("short.asc",
                                   "ncols 40\nnrows 300\nxllcorner 0\nyllcorner "
                                   "0\ncellsize 1\nNODATA_value -9999\n1 2 3\n");
  const std::string StgBadLast =
      "File format error: invalid cell value 'x' at row 299, column 39 "
      "in TARCGISFileTools::LoadARCGISFile";
  const std::string StgBadFirstLine =
      "File format error: invalid cell value 'y' at row 0, column 0 in "
      "TARCGISFileTools::LoadARCGISFile";
  const std::string StgEnd = "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile";
  VecCells.assign(40 * 300, 1.0);
  VecCells[40 * 200 + 3] = -557.5;  // with two good inputs: -555.5 at row 200
  VecCells[40 * 100 + 3] = -557.5;  // and at row 100
  const std::string StgLost = Put("lost.asc", GridText(40, VecCells));
  const std::vector<std::pair<std::vector<std::string>, std::string>> VecCases = {
      // A reader's failure anywhere in an input comes before its rows' failures.
      {{StgHeldBadLast, StgBadFirst}, StgBadLast},
      {{StgHeld, StgBadFirst}, "input 0 holds -777 at row 1"},
      {{StgGood, StgShort, StgBadFirst}, StgEnd},
      {{StgShort, StgHeldBadLast}, StgEnd},
      {{StgGood, StgGood, Work("missing.asc")}, "Unable to open file " + Work("missing.asc")},
      {{StgGood, StgBadFirst, Work("missing.asc")}, StgBadFirstLine},
      {{StgLost, StgGood, StgGood}, "the result is -555.5 at row 100"},
      {{StgLost, StgGood, StgHeld}, "input 2 holds -777 at row 1"},
  };
  for (const long LngThreads : {1L, 2L, 4L}) {
    for (const auto& [VecFiles, StgLine] : VecCases) {
      EXPECT_EQ(FailureOf(VecFiles, LngThreads), StgLine) << LngThreads;
    }
  }
}

namespace {

// A grid in memory read a window at a time, as a raster of another format is: it fails at
// LngFailRow when that row is read, and checks that each window starts where the last ended.
class TMemorySource final : public tessgrid::detail::TRowSource {
 public:
  TMemorySource(long LngColumns, std::vector<double> VecCells, long LngWindow, long LngFailRow)
      : MbrVecCells(std::move(VecCells)), MbrLngWindow(LngWindow), MbrLngFailRow(LngFailRow) {
    MbrHeader.LngColumns = LngColumns;
    MbrHeader.LngRows = static_cast<long>(MbrVecCells.size()) / LngColumns;
    MbrHeader.DblCellSize = 1.0;
  }
  const TGridHeader& Header() const override { return MbrHeader; }
  long WindowRows() const override { return MbrLngWindow; }
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override {
    EXPECT_EQ(LngFirst, MbrLngNext);
    EXPECT_LE(LngFirst + LngCount, MbrHeader.LngRows);
    MbrLngNext = LngFirst + LngCount;
    for (long LngK = 0; LngK < LngCount; ++LngK) {
      if (LngFirst + LngK == MbrLngFailRow) {
        throw "source fails at row " + std::to_string(MbrLngFailRow);
      }
      const double* PtrRow = MbrVecCells.data() + (LngFirst + LngK) * MbrHeader.LngColumns;
      std::copy(PtrRow, PtrRow + MbrHeader.LngColumns, RowAt(LngK));
    }
  }

 private:
  TGridHeader MbrHeader;
  std::vector<double> MbrVecCells;
  long MbrLngWindow;
  long MbrLngFailRow;
  long MbrLngNext = 0;
};

}  // namespace

TEST_F(TSeriesStreamTest, RowSourcesComeInStepWithFilesWhateverTheirWindows) {
  constexpr long kLngColumns = 30;
  constexpr long kLngRows = 700;
  std::mt19937 Random(11);
  std::vector<std::vector<double>> VecGrids(3, std::vector<double>(kLngColumns * kLngRows));
  std::vector<double> VecSums(VecGrids[0].size(), 0.0);
  for (std::vector<double>& VecGrid : VecGrids) {
    for (std::size_t LngI = 0; LngI < VecGrid.size(); ++LngI) {
      VecGrid[LngI] = static_cast<double>(Random() % 1000) / 8.0;
      VecSums[LngI] += VecGrid[LngI];
    }
  }
  std::ostringstream Expected;
  tessgrid::detail::WriteRows(
      Expected, [&](std::size_t LngRow) { return VecSums.data() + LngRow * kLngColumns; }, kLngRows,
      kLngColumns, ' ', 1);
  const std::string StgFile = Put("a.asc", GridText(kLngColumns, VecGrids[0]));
  // Runs the file and two sources of the given windows; returns the rows or the failure.
  const auto Run = [&](long LngWindow, long LngThreads, std::size_t LngBudget,
                       const std::string& StgFirst, long LngFailRow) {
    long LngSource = 0;
    TSeriesStream Series({StgFirst, "source 1", "source 2"}, TGridHeaderMode::kStrict, LngThreads,
                         LngBudget, [&](const std::string& StgName) -> std::unique_ptr<TRowSource> {
                           if (StgName.rfind("source", 0) != 0) {
                             return nullptr;
                           }
                           ++LngSource;
                           return std::make_unique<TMemorySource>(
                               kLngColumns, VecGrids[static_cast<std::size_t>(LngSource)],
                               LngWindow + LngSource - 1, LngSource == 1 ? LngFailRow : -1);
                         });
    TSumCombiner Combiner(kLngColumns);
    Combiner.MbrLngInputs = 3;
    std::ostringstream Output;
    try {
      Series.ReadHeaders();
      Series.Run(Combiner, &Output, 12, false);
    } catch (const char* PtrMessage) {
      return std::string(PtrMessage);
    } catch (const std::string& StgMessage) {
      return StgMessage;
    }
    return Output.str();
  };
  for (const long LngWindow : {1L, 7L, 256L, 2000L}) {
    for (const long LngThreads : {1L, 3L}) {
      for (const std::size_t LngBudget : {std::size_t{1}, TSeriesStream::kLngSeriesBudget}) {
        EXPECT_EQ(Run(LngWindow, LngThreads, LngBudget, StgFile, -1), Expected.str())
            << "windows of " << LngWindow << ", " << LngThreads << " threads, budget " << LngBudget;
        // A source's failure comes after the failures of the inputs before it.
        EXPECT_EQ(Run(LngWindow, LngThreads, LngBudget, StgFile, 650), "source fails at row 650");
        EXPECT_EQ(Run(LngWindow, LngThreads, LngBudget, Work("missing.asc"), 3),
                  "Unable to open file " + Work("missing.asc"));
      }
    }
  }
}

// Takes the rows of the even inputs, doubling their cells, and reads the odd ones as they are;
// notes where each row and each result row lay.
class TInPlaceCombiner final : public TSeriesCombiner {
 public:
  void TakeRow(std::size_t, std::size_t, double* PtrCells) override {
    for (std::size_t LngX = 0; LngX < 7; ++LngX) {
      PtrCells[LngX] *= 2.0;
    }
  }
  bool TakesRowsOf(std::size_t LngInput) const override { return LngInput % 2 == 0; }
  void CombineRow(long, std::size_t LngRow, const double* const* PtrRows, double* PtrOut) override {
    for (std::size_t LngX = 0; LngX < 7; ++LngX) {
      PtrOut[LngX] = PtrRows[0][LngX] + PtrRows[1][LngX];
    }
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    MbrVecSeen.push_back({LngRow, PtrRows[0], PtrRows[1], PtrOut});
  }
  struct TSeen {
    std::size_t LngRow;
    const double* PtrTaken;
    const double* PtrKept;
    const double* PtrOut;
  };
  std::mutex MbrMutex;
  std::vector<TSeen> MbrVecSeen;
};

TEST_F(TSeriesStreamTest, MemoryRowsAreReadWhereTheyLieUnlessTakenAndResultsCombinedInPlace) {
  using tessgrid::detail::TMemoryRowSink;
  using tessgrid::detail::TMemoryRowSource;
  for (const long LngThreads : {1L, 3L}) {
    TGridHeader Header;
    Header.LngColumns = 7;
    Header.LngRows = 500;
    std::vector<std::vector<double>> VecArrays(2, std::vector<double>(7 * 500));
    for (std::size_t LngI = 0; LngI < VecArrays[0].size(); ++LngI) {
      VecArrays[0][LngI] = static_cast<double>(LngI);
      VecArrays[1][LngI] = 0.5;
    }
    const std::vector<std::vector<double>> VecBefore = VecArrays;
    std::vector<double> VecResult(7 * 500, -1.0);
    TSeriesStream Series({"a", "b"}, TGridHeaderMode::kStrict, LngThreads,
                         TSeriesStream::kLngSeriesBudget,
                         [&](const std::string& StgName) -> std::unique_ptr<TRowSource> {
                           return std::make_unique<TMemoryRowSource>(
                               Header, VecArrays[StgName == "a" ? 0 : 1].data());
                         });
    ASSERT_TRUE(Series.ReadHeaders());
    TInPlaceCombiner Combiner;
    TMemoryRowSink Sink(VecResult.data(), 7);
    Series.Run(Combiner, &Sink);
    EXPECT_EQ(VecArrays, VecBefore) << "a caller's rows were changed";
    ASSERT_EQ(Combiner.MbrVecSeen.size(), 500u);
    for (const TInPlaceCombiner::TSeen& Seen : Combiner.MbrVecSeen) {
      EXPECT_EQ(Seen.PtrKept, VecArrays[1].data() + 7 * Seen.LngRow);
      EXPECT_NE(Seen.PtrTaken, VecArrays[0].data() + 7 * Seen.LngRow);
      EXPECT_EQ(Seen.PtrOut, VecResult.data() + 7 * Seen.LngRow);
    }
    for (std::size_t LngI = 0; LngI < VecResult.size(); ++LngI) {
      ASSERT_EQ(VecResult[LngI], 2.0 * static_cast<double>(LngI) + 0.5) << LngI;
    }
  }
}
