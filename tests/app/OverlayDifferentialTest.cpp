// tests/app/OverlayDifferentialTest.cpp - the command against the library path it stands for:
// LoadARCGISFile twice, the TMapTools operation, WriteARCGISFile, over generated grid pairs; the
// streamed overlay in small blocks against the same, with failures wherever they can be.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "engine/OverlayRun.h"
#include "engine/StreamedOverlay.h"
#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"
#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

// The line the command prints for the run, or "" when it writes the output: what the command
// did before it had a path of its own.
std::string RunLibraryPath(const std::string& StgFile1, const std::string& StgFile2,
                           const std::string& StgOutput, char ChrOperation) {
  try {
    std::unique_ptr<TMap> PtrMap1(TARCGISFileTools::LoadARCGISFile(StgFile1));
    std::unique_ptr<TMap> PtrMap2(TARCGISFileTools::LoadARCGISFile(StgFile2));
    using TOperation = TMap* (*)(const TMap*, const TMap*);
    const TOperation PtrOperation = ChrOperation == '+'   ? TOperation(TMapTools::Add)
                                    : ChrOperation == '-' ? TOperation(TMapTools::Subtract)
                                    : ChrOperation == 'x' ? TOperation(TMapTools::Multiply)
                                    : ChrOperation == '/' ? TOperation(TMapTools::Divide)
                                                          : nullptr;
    if (PtrOperation == nullptr) {
      return "Unknown operation";
    }
    const std::unique_ptr<TMap> PtrResult(PtrOperation(PtrMap1.get(), PtrMap2.get()));
    TARCGISFileTools::WriteARCGISFile(PtrResult.get(), StgOutput);
    return "";
  } catch (char* PtrMessage) {
    return PtrMessage;
  } catch (const std::string& StgMessage) {
    return StgMessage;
  } catch (const std::bad_alloc&) {
    return "Out of memory";
  }
}

// A grid's header numbers as the generator picks them.
struct TGeometry {
  long LngColumns;
  long LngRows;
  double DblXll;
  double DblYll;
  double DblCellSize;
  double DblNoData;
};

// Generates grid pairs that meet the odd cases: no cells, one row or column, cell sizes of 0,
// below 0 or large enough for the edges to overflow, partners that match, cover, are finer,
// stand half a cell off or elsewhere, no-data and NaN cells, and broken files.
class TPairGenerator {
 public:
  explicit TPairGenerator(unsigned LngSeed) : MbrRandom(LngSeed) {}

  template <typename T, std::size_t N>
  const T& Pick(const T (&VecChoices)[N]) {
    return VecChoices[std::uniform_int_distribution<std::size_t>(0, N - 1)(MbrRandom)];
  }
  bool Chance(double DblProbability) {
    return std::uniform_real_distribution<double>(0.0, 1.0)(MbrRandom) < DblProbability;
  }

  TGeometry First() {
    static const long kVecDims[] = {0, 1, 1, 2, 3, 3, 4, 5, 6};
    static const double kVecSizes[] = {1, 1, 0.5, 2, 0.3, 25, 0, -1, -0.5, 1e308};
    static const double kVecCorners[] = {0, 0.5, -2, 100.25, 1e6};
    static const double kVecNoData[] = {-9999, -9999, 0, 7, -1.5};
    return TGeometry{Pick(kVecDims),    Pick(kVecDims),  Pick(kVecCorners),
                     Pick(kVecCorners), Pick(kVecSizes), Pick(kVecNoData)};
  }

  TGeometry Partner(const TGeometry& Base) {
    static const double kVecNoData[] = {-9999, -9999, 0, 7, 2.5};
    TGeometry Second = Base;
    Second.DblNoData = Pick(kVecNoData);
    switch (std::uniform_int_distribution<int>(0, 6)(MbrRandom)) {
      case 0:  // the same grid
      case 6:
        break;
      case 1:  // coarser, covering the first
        Second.DblCellSize = Base.DblCellSize * 2;
        Second.LngColumns = (Base.LngColumns + 1) / 2 + (Chance(0.5) ? 1 : 0);
        Second.LngRows = (Base.LngRows + 1) / 2 + (Chance(0.5) ? 1 : 0);
        break;
      case 2:  // finer, the base of Add and Multiply
        Second.DblCellSize = Base.DblCellSize / 2;
        Second.LngColumns = Base.LngColumns * 2;
        Second.LngRows = Base.LngRows * 2;
        break;
      case 3:  // half a cell or a cell off: centres on the partner's edges or beyond them
        Second.DblXll += Base.DblCellSize * (Chance(0.5) ? 0.5 : 1.0);
        Second.DblYll -= Base.DblCellSize * (Chance(0.5) ? 0.5 : 1.0);
        break;
      case 4:  // one column or row more or less
        Second.LngColumns += Chance(0.5) ? 1 : -1;
        Second.LngRows += Chance(0.5) ? 0 : 1;
        Second.LngColumns = Second.LngColumns < 0 ? 0 : Second.LngColumns;
        break;
      default:
        Second = First();
        break;
    }
    return Second;
  }

  std::string Text(const TGeometry& Geometry) {
    static const char* const kVecCells[] = {"1.25", "0.1",   "-3",     "1e-5", "123456789",
                                            "0",    "-0",    "nan",    "-nan", "inf",
                                            "-inf", "1e300", "5e-324", "2.5",  "7"};
    char ChrHeader[512];
    std::snprintf(ChrHeader, sizeof ChrHeader,
                  "ncols %ld\nnrows %ld\nxllcorner %.17g\nyllcorner %.17g\ncellsize %.17g\n"
                  "NODATA_value %.17g\n",
                  Geometry.LngColumns, Geometry.LngRows, Geometry.DblXll, Geometry.DblYll,
                  Geometry.DblCellSize, Geometry.DblNoData);
    std::string StgText = ChrHeader;
    char ChrNoData[64];
    std::snprintf(ChrNoData, sizeof ChrNoData, "%.17g", Geometry.DblNoData);
    for (long LngK = 0; LngK < Geometry.LngColumns * Geometry.LngRows; ++LngK) {
      StgText += Chance(0.2) ? ChrNoData : Pick(kVecCells);
      StgText += (LngK + 1) % Geometry.LngColumns == 0 ? "\n" : " ";
    }
    return StgText;
  }

  // Spoils the text now and then: a misspelt key, a bad cell, too few cells.
  std::string Spoilt(std::string StgText) {
    if (Chance(0.9)) {
      return StgText;
    }
    switch (std::uniform_int_distribution<int>(0, 2)(MbrRandom)) {
      case 0:
        return "NCOLS" + StgText.substr(5);
      case 1:
        return StgText + "\n";
      default:
        return StgText.substr(0, StgText.size() * 3 / 4);
    }
  }

 private:
  std::mt19937 MbrRandom;
};

// A grid of the geometry, written row by row, its tokens of varying length; the cells of the map
// hold other tokens, and the last LngMissing cells are left out.
std::string GridOf(const TGeometry& Geometry, const std::map<long, std::string>& MapTokens = {},
                   long LngMissing = 0) {
  static const char* const kVecTokens[] = {"1",     "-2.5", "0.125", "1e-3",  "-9999", "42.75",
                                           "333.3", "-0",   "7.0e2", "12345", "0.1"};
  std::string StgText = "ncols " + std::to_string(Geometry.LngColumns) + "\nnrows " +
                        std::to_string(Geometry.LngRows) + "\nxllcorner " +
                        std::to_string(Geometry.DblXll) + "\nyllcorner " +
                        std::to_string(Geometry.DblYll) + "\ncellsize " +
                        std::to_string(Geometry.DblCellSize) + "\nNODATA_value -9999\n";
  const long LngCells = Geometry.LngColumns * Geometry.LngRows - LngMissing;
  for (long LngK = 0; LngK < LngCells; ++LngK) {
    const auto It = MapTokens.find(LngK);
    StgText += It != MapTokens.end() ? It->second : kVecTokens[(LngK * 7 + LngK / 5) % 11];
    StgText += (LngK + 1) % Geometry.LngColumns == 0 ? "\n" : " ";
  }
  return StgText;
}

// The line StreamOverlay gives for the run, or "" when it writes the output.
std::string RunStreamed(const std::string& StgFile1, const std::string& StgFile2,
                        const std::string& StgOutput, char ChrOperation, long LngThreads,
                        std::size_t LngChunkBytes) {
  try {
    tessgrid::detail::StreamOverlay(StgFile1, StgFile2, StgOutput,
                                    tessgrid::detail::SelectOperation(ChrOperation),
                                    TGridHeaderMode::kStrict, LngThreads, LngChunkBytes);
    return "";
  } catch (char* PtrMessage) {
    return PtrMessage;
  } catch (const std::string& StgMessage) {
    return StgMessage;
  }
}

class OverlayDifferentialTest : public tessgrid_test::TCommandTest {};

}  // namespace

TEST_F(OverlayDifferentialTest, CommandWritesAndFailsAsTheLibraryPathDoes) {
  TPairGenerator Generator(20261208);
  const char kVecOperations[] = {'+', '-', 'x', '/'};
  const char* const kVecOddOperations[] = {"X", "*", ""};
  const std::string StgFile1 = Work("a.asc");
  const std::string StgFile2 = Work("b.asc");
  const std::string StgLibraryOutput = Work("library.asc");
  const std::string StgCommandOutput = Work("command.asc");
  int LngWritten = 0;
  for (int LngCase = 0; LngCase < 320; ++LngCase) {
    const TGeometry First = Generator.First();
    const TGeometry Second = Generator.Partner(First);
    std::remove(StgFile1.c_str());
    std::remove(StgFile2.c_str());
    // Now and then an input is missing, so that the order of the two files' failures shows.
    if (Generator.Chance(0.95)) {
      std::ofstream(StgFile1, std::ios::binary) << Generator.Spoilt(Generator.Text(First));
    }
    if (Generator.Chance(0.95)) {
      std::ofstream(StgFile2, std::ios::binary) << Generator.Spoilt(Generator.Text(Second));
    }
    const std::string StgOperation = Generator.Chance(0.05)
                                         ? std::string(Generator.Pick(kVecOddOperations))
                                         : std::string(1, kVecOperations[LngCase % 4]);
    std::remove(StgLibraryOutput.c_str());
    std::remove(StgCommandOutput.c_str());
    const std::string StgExpected =
        RunLibraryPath(StgFile1, StgFile2, StgLibraryOutput, StgOperation.c_str()[0]);
    const TRun Result = Run({StgFile1, StgFile2, StgCommandOutput, StgOperation},
                            "TESSGRID_THREADS=" + std::to_string(1 + LngCase % 3) + " ");
    const std::string StgCase = "case " + std::to_string(LngCase) + ", operation '" + StgOperation +
                                "':\n" + ReadFile(StgFile1) + "--\n" + ReadFile(StgFile2);
    ASSERT_EQ(Result.StgOut, StgExpected.empty() ? "" : StgExpected + "\n") << StgCase;
    ASSERT_EQ(Result.StgErr, "") << StgCase;
    ASSERT_EQ(Result.LngStatus, StgExpected.empty() ? 0 : 1) << StgCase;
    ASSERT_EQ(ReadFile(StgCommandOutput), ReadFile(StgLibraryOutput)) << StgCase;
    LngWritten += StgExpected.empty() ? 1 : 0;
  }
  // The cases must not all fail: a good share of them writes a result.
  EXPECT_GT(LngWritten, 60);
}

TEST_F(OverlayDifferentialTest, ThinGridsWriteAndFailAsTheLibraryPathDoes) {
  // 300,000 rows of one cell: the command pairs them in slabs; the partners cover all of them,
  // or only the northern 280,000, so that the first row without a partner lies in a later slab.
  // With a cell size of 0.1 half a cell off, each base centre lies on a partner edge up to
  // rounding, so every row's centre must be summed exactly as the library sums it.
  const auto Grid = [](long LngRows, const char* PtrYll, const char* PtrCellSize) {
    std::string StgText = "ncols 1\nnrows " + std::to_string(LngRows) +
                          "\nxllcorner 0\nyllcorner " + PtrYll + "\ncellsize " + PtrCellSize +
                          "\nNODATA_value -9999\n";
    for (long LngK = 0; LngK < LngRows; ++LngK) {
      StgText += std::to_string(LngK % 97) + (LngK % 13 == 0 ? ".5\n" : "\n");
    }
    return StgText;
  };
  const struct {
    const char* PtrBase;
    const char* PtrPartner;
    const char* PtrExpected;  ///< the library's line; null where any outcome is compared
  } VecCases[] = {
      {"thin.asc", "whole.asc", ""},
      {"thin.asc", "north.asc", "Ordinate is out of range in TAxis::GetIndex"},
      {"fine.asc", "half.asc", nullptr},
  };
  std::ofstream(Work("thin.asc"), std::ios::binary) << Grid(300000, "0", "1");
  std::ofstream(Work("whole.asc"), std::ios::binary) << Grid(300000, "0", "1");
  std::ofstream(Work("north.asc"), std::ios::binary) << Grid(280000, "20000", "1");
  std::ofstream(Work("fine.asc"), std::ios::binary) << Grid(300000, "0.3", "0.1");
  std::ofstream(Work("half.asc"), std::ios::binary) << Grid(300001, "0.25", "0.1");
  for (const auto& Case : VecCases) {
    for (const char ChrOperation : {'+', '/'}) {
      std::remove(Work("library.asc").c_str());
      std::remove(Work("command.asc").c_str());
      const std::string StgExpected = RunLibraryPath(Work(Case.PtrBase), Work(Case.PtrPartner),
                                                     Work("library.asc"), ChrOperation);
      const TRun Result = Run({Work(Case.PtrBase), Work(Case.PtrPartner), Work("command.asc"),
                               std::string(1, ChrOperation)});
      if (Case.PtrExpected != nullptr) {
        EXPECT_EQ(StgExpected, Case.PtrExpected) << Case.PtrPartner;
      }
      EXPECT_EQ(Result.StgOut, StgExpected.empty() ? "" : StgExpected + "\n") << Case.PtrPartner;
      EXPECT_TRUE(ReadFile(Work("command.asc")) == ReadFile(Work("library.asc")))
          << Case.PtrPartner;
    }
  }
}

TEST_F(OverlayDifferentialTest, StreamedBaseWritesAndFailsAsTheLibraryPathDoes) {
  // Parts of one byte: blocks of some 4 KiB, so that 400 rows of 20 cells take a dozen blocks
  // and the ring of rows wraps round several times.
  const TGeometry Base{20, 400, 0, 0, 1, -9999};
  const TGeometry Coarse{10, 200, 0, 0, 2, -9999};
  const TGeometry Fine{40, 800, 0, 0, 0.5, -9999};
  // Six rows of the base lie south of it: the first cell without a partner is in row 394.
  const TGeometry North{10, 200, 0, 6, 2, -9999};
  const std::map<long, std::string> MapEarly{{25, "early"}};
  const std::map<long, std::string> MapLate{{350 * 20 + 3, "late"}, {390 * 20, "later"}};
  const std::map<long, std::string> MapLast{{399 * 20 + 19, "last"}};
  const std::map<long, std::string> MapCoarseLate{{190 * 10 + 4, "late"}};
  const std::map<long, std::string> MapFineLate{{700 * 40 + 3, "late"}};
  const struct {
    char ChrOperation;
    std::string StgFirst;
    std::string StgSecond;
    const char* PtrExpected;  ///< a part of the library's line; "" when it writes the result
  } VecCases[] = {
      {'+', GridOf(Base), GridOf(Coarse), ""},
      {'-', GridOf(Base), GridOf(Base), ""},
      {'x', GridOf(Coarse), GridOf(Fine), ""},
      {'+', GridOf(Base, MapEarly), GridOf(Coarse), "'early'"},
      {'+', GridOf(Base, MapLate), GridOf(Coarse), "'late'"},
      {'/', GridOf(Base, MapLast), GridOf(Coarse), "'last'"},
      {'/', GridOf(Base, {}, 3), GridOf(Coarse), "Unexpected end of file"},
      // The partner's failure, the operation's and the output's wait for the base's own.
      {'+', GridOf(Base, MapLate), GridOf(Coarse, MapEarly), "'late'"},
      {'+', GridOf(Base), GridOf(Coarse, MapEarly), "'early'"},
      {'+', GridOf(Base, MapLate), GridOf(North), "'late'"},
      {'+', GridOf(Base), GridOf(North), "Ordinate is out of range in TAxis::GetIndex"},
      {'/', GridOf(Base, MapLast), GridOf(Fine), "'last'"},
      {'-', GridOf(Base, MapLast), GridOf(Coarse), "'last'"},
      // The base is the second input: the first one's failures come first.
      {'x', GridOf(Coarse, MapCoarseLate), GridOf(Fine, MapEarly), "'late'"},
      {'x', GridOf(Coarse), GridOf(Fine, MapFineLate), "'late'"},
  };
  const std::string StgFile1 = Work("a.asc");
  const std::string StgFile2 = Work("b.asc");
  const std::string StgLibraryOutput = Work("library.asc");
  const std::string StgStreamedOutput = Work("streamed.asc");
  for (const auto& Case : VecCases) {
    std::ofstream(StgFile1, std::ios::binary) << Case.StgFirst;
    std::ofstream(StgFile2, std::ios::binary) << Case.StgSecond;
    // A failing run leaves the earlier output as it was.
    std::ofstream(StgLibraryOutput, std::ios::binary) << "earlier\n";
    const std::string StgExpected =
        RunLibraryPath(StgFile1, StgFile2, StgLibraryOutput, Case.ChrOperation);
    ASSERT_NE(StgExpected.find(Case.PtrExpected), std::string::npos) << StgExpected;
    ASSERT_EQ(StgExpected.empty(), *Case.PtrExpected == '\0') << StgExpected;
    for (const long LngThreads : {1L, 2L, 3L, 7L}) {
      std::ofstream(StgStreamedOutput, std::ios::binary) << "earlier\n";
      EXPECT_EQ(
          RunStreamed(StgFile1, StgFile2, StgStreamedOutput, Case.ChrOperation, LngThreads, 1),
          StgExpected)
          << Case.PtrExpected << " on " << LngThreads << " threads";
      EXPECT_TRUE(ReadFile(StgStreamedOutput) == ReadFile(StgLibraryOutput))
          << Case.PtrExpected << " on " << LngThreads << " threads";
    }
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.asc", "b.asc", "library.asc", "streamed.asc"}));
}

TEST_F(OverlayDifferentialTest, OutputsSeenBeforeTheEndAreWrittenOnlyOnceBothInputsAreRead) {
  // Some 700 KB: several of the reader's blocks on one thread. Standard output is not written
  // through a temporary, so a failure in the last row must find nothing of the result there.
  const TGeometry Base{400, 300, 0, 0, 1, -9999};
  std::ofstream(Work("b.asc"), std::ios::binary) << GridOf(TGeometry{200, 150, 0, 0, 2, -9999});
  for (const bool BlnBad : {false, true}) {
    std::ofstream(Work("a.asc"), std::ios::binary)
        << GridOf(Base, BlnBad ? std::map<long, std::string>{{299 * 400, "last"}}
                               : std::map<long, std::string>{});
    std::remove(Work("library.asc").c_str());
    const std::string StgExpected =
        RunLibraryPath(Work("a.asc"), Work("b.asc"), Work("library.asc"), '+');
    const TRun Result =
        Run({Work("a.asc"), Work("b.asc"), "/dev/stdout", "+"}, "TESSGRID_THREADS=1 ");
    EXPECT_EQ(Result.StgOut, BlnBad ? StgExpected + "\n" : ReadFile(Work("library.asc")));
    EXPECT_EQ(StgExpected.empty(), !BlnBad);
  }
}
