// tests/app/SeriesStreamTest.cpp - sum, count, average, calc and moving-average streamed over grids
// on one grid against the path that loads every grid whole (taken for standard output): the same
// bytes and the same first failure, on 1, 2, 3 and 7 threads, over generated series.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

// What a generated series breaks, if anything, in one of its grids.
enum class TFault { kNone, kBadToken, kHeldNoData, kShort, kMissing, kBadHeader, kDataLost };

class TSeriesMaker {
 public:
  explicit TSeriesMaker(unsigned LngSeed) : MbrRandom(LngSeed) {}

  // Cells of one digit from now on, with a long one now and then: as many rows per block of
  // input as a grid can have.
  void UseShortCells() { MbrBlnShort = true; }

  long Pick(std::vector<long> VecChoices) {
    return VecChoices[std::uniform_int_distribution<std::size_t>(0,
                                                                 VecChoices.size() - 1)(MbrRandom)];
  }
  bool Chance(double DblProbability) {
    return std::uniform_real_distribution<double>(0.0, 1.0)(MbrRandom) < DblProbability;
  }

  // The text of a grid: its declared no-data token ("" for none), cells of every kind, about
  // one in eight no-data; cell LngFaultCell breaks as the fault says.
  std::string Grid(long LngColumns, long LngRows, const std::string& StgXll,
                   const std::string& StgNoData, TFault Fault, long LngFaultCell,
                   bool BlnFirstOfLost) {
    std::string StgText =
        Fault == TFault::kBadHeader ? "ncols x" : "ncols " + std::to_string(LngColumns);
    StgText += "\nnrows " + std::to_string(LngRows) + "\nxllcorner " + StgXll +
               "\nyllcorner -40\ncellsize 0.5\n";
    if (!StgNoData.empty()) {
      StgText += "NODATA_value " + StgNoData + "\n";
    }
    for (long LngCell = 0; LngCell < LngColumns * LngRows; ++LngCell) {
      if (LngCell == LngFaultCell && Fault == TFault::kShort) {
        return StgText;
      }
      std::string StgCell = Value();
      if (!StgNoData.empty() && Chance(0.125)) {
        StgCell = StgNoData;
      }
      if (LngCell == LngFaultCell) {
        StgCell = Fault == TFault::kBadToken     ? "1x"
                  : Fault == TFault::kHeldNoData ? "-9999"
                  : Fault == TFault::kDataLost   ? (BlnFirstOfLost ? "-10000" : "1")
                                                 : StgCell;
      }
      StgText += StgCell + (LngCell % LngColumns == LngColumns - 1 ? "\n" : " ");
    }
    return StgText;
  }

 private:
  std::string Value() {
    if (MbrBlnShort && !Chance(0.01)) {
      return std::to_string(Pick({0, 1, 2, 7}));
    }
    switch (Pick({0, 1, 2, 3, 4})) {
      case 0:
        return std::to_string(Pick({0, 3, 7, 12, 999, 4096}));
      case 1:
        return std::to_string(std::uniform_real_distribution<double>(-500.0, 500.0)(MbrRandom));
      case 2:
        return "0.1";
      case 3:
        return "1.25e7";
      default:
        return std::to_string(std::uniform_int_distribution<int>(1, 99999)(MbrRandom)) + ".5e-3";
    }
  }

  std::mt19937 MbrRandom;
  bool MbrBlnShort = false;
};

class SeriesStreamTest : public tessgrid_test::TToolTest {
 protected:
  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Runs the command with its output at OUT: once to standard output, which takes the path that
  // loads every grid whole, and once to a file on each thread count; expects the same status,
  // line and grid, and no file left behind by a failure.
  void ExpectSameAsLibrary(const std::vector<std::string>& VecArgs, const std::string& StgCase) {
    const auto WithOutput = [&VecArgs](const std::string& StgOut) {
      std::vector<std::string> VecWith = VecArgs;
      for (std::string& StgArg : VecWith) {
        StgArg = StgArg == "OUT" ? StgOut : StgArg;
      }
      return VecWith;
    };
    const TRun Library = RunProgram(tessgrid_test::kToolExe, WithOutput("-"), "TESSGRID_THREADS=2 ",
                                    "/dev/null", ">");
    const std::string StgOut = Work("out.asc");
    for (const int IntThreads : {1, 2, 3, 7}) {
      const TRun Streamed =
          RunProgram(tessgrid_test::kToolExe, WithOutput(StgOut),
                     "TESSGRID_THREADS=" + std::to_string(IntThreads) + " ", "/dev/null", ">");
      ASSERT_EQ(Streamed.LngStatus, Library.LngStatus) << StgCase << Streamed.StgErr;
      // A failure that names the output names the file where the other names "-".
      std::string StgExpected = Library.StgErr;
      if (StgExpected.rfind("tessgrid-tool: -: ", 0) == 0) {
        StgExpected.replace(15, 1, StgOut);
      }
      ASSERT_EQ(Streamed.StgErr, StgExpected) << StgCase;
      if (Library.LngStatus == 0) {
        ASSERT_EQ(ReadFile(StgOut), Library.StgOut) << StgCase << " threads " << IntThreads;
      } else {
        ASSERT_FALSE(fs::exists(StgOut)) << StgCase;
        for (const std::string& StgEntry : Entries()) {
          ASSERT_EQ(StgEntry.find(".tmp"), std::string::npos) << StgCase;
        }
      }
      fs::remove(StgOut);
    }
  }

  // Writes a series of LngInputs grids; the fault, if any, strikes input LngFaulty (and the one
  // after it for a lost datum). With BlnLaterEarly the fault strikes the last cell, and the input
  // after it has a bad first cell, which a reader in step meets first.
  std::vector<std::string> Series(TSeriesMaker& Maker, long LngInputs, TFault Fault, long LngFaulty,
                                  bool BlnMisaligned, bool BlnLaterEarly = false) {
    const long LngColumns = Maker.Pick({1, 2, 5, 37, 120});
    const long LngRows = Maker.Pick({1, 3, 8, 61});
    const long LngCells = LngColumns * LngRows;
    const long LngFaultCell =
        BlnLaterEarly ? LngCells - 1 : Maker.Pick({0, 1, LngCells - 1, LngCells / 2});
    std::vector<std::string> VecFiles;
    for (long LngI = 0; LngI < LngInputs; ++LngI) {
      const bool BlnLost = Fault == TFault::kDataLost && (LngI == 0 || LngI == 1);
      const bool BlnStruck = LngI == LngFaulty || BlnLost;
      const bool BlnEarly = BlnLaterEarly && LngI == LngFaulty + 1;
      const std::string StgNoData =
          Fault == TFault::kHeldNoData && BlnStruck
              ? "-1"
              : std::vector<std::string>{"-9999", "-1", "nan",
                                         ""}[static_cast<std::size_t>(Maker.Pick({0, 1, 2, 3}))];
      const std::string StgFile = Work("in" + std::to_string(LngI) + ".asc");
      if (!(BlnStruck && Fault == TFault::kMissing)) {
        Put("in" + std::to_string(LngI) + ".asc",
            Maker.Grid(LngColumns, LngRows, BlnMisaligned && LngI == LngInputs - 1 ? "101" : "100",
                       BlnLost ? "" : StgNoData,
                       BlnEarly    ? TFault::kBadToken
                       : BlnStruck ? Fault
                                   : TFault::kNone,
                       BlnEarly ? 0 : LngFaultCell, LngI == 0));
      }
      VecFiles.push_back(StgFile);
    }
    return VecFiles;
  }

  // The command line of one of the streamed commands over the files: 0 to 2 sum, count and
  // average, 3 calc, 4 a pair command over the first two.
  static std::vector<std::string> Command(int IntCommand, const std::vector<std::string>& VecFiles,
                                          const std::vector<std::string>& VecOptions) {
    std::vector<std::string> VecArgs = VecOptions;
    if (IntCommand == 4 && VecFiles.size() >= 2) {
      // One of the pair commands, picked by the number of files.
      VecArgs.push_back(
          std::vector<std::string>{"add", "subtract", "multiply", "divide"}[VecFiles.size() % 4]);
      VecArgs.insert(VecArgs.end(), {VecFiles[0], VecFiles[1], "OUT"});
      return VecArgs;
    }
    if (IntCommand < 3 || IntCommand == 4) {
      VecArgs.push_back(std::vector<std::string>{"sum", "count", "average"}[IntCommand % 4]);
      VecArgs.push_back("OUT");
      VecArgs.insert(VecArgs.end(), VecFiles.begin(), VecFiles.end());
      return VecArgs;
    }
#ifdef TESSGRID_WITH_CALC
    const char* const kExpressions[] = {"A + B", "isnodata(A) ? -1 : A * 2", "A > B ? A - B : C",
                                        "min(A, B) / max(C, 1)"};
    const std::size_t LngNeeds[] = {2, 1, 3, 3};
    const std::size_t LngPick = VecFiles.size() % 4;
    if (VecFiles.size() >= LngNeeds[LngPick]) {
      VecArgs.insert(VecArgs.end(), {"calc", "OUT", "--expr", kExpressions[LngPick]});
      for (std::size_t LngI = 0; LngI < VecFiles.size(); ++LngI) {
        VecArgs.push_back(std::string("-") + static_cast<char>('A' + LngI));
        VecArgs.push_back(VecFiles[LngI]);
      }
      return VecArgs;
    }
#endif
    return Command(0, VecFiles, VecOptions);
  }
};

}  // namespace

TEST_F(SeriesStreamTest, SeriesOutputsEqualTheLibraryPath) {
  TSeriesMaker Maker(19);
  for (int IntCase = 0; IntCase < 16; ++IntCase) {
    const long LngInputs = Maker.Pick({1, 2, 3, 4, 7});
    const std::vector<std::string> VecFiles =
        Series(Maker, LngInputs, TFault::kNone, -1, IntCase % 8 == 7);
    std::vector<std::string> VecOptions;
    if (Maker.Chance(0.25)) {
      VecOptions = {"--digits", "17"};
    }
    if (Maker.Chance(0.25)) {
      VecOptions.insert(VecOptions.end(), {"--nodata", Maker.Chance(0.5) ? "nan" : "-5"});
    }
    ExpectSameAsLibrary(Command(IntCase % 5, VecFiles, VecOptions),
                        "case " + std::to_string(IntCase));
  }
}

TEST_F(SeriesStreamTest, FailuresComeInInputOrderAsTheLibraryPathMeetsThem) {
  TSeriesMaker Maker(23);
  const TFault kFaults[] = {TFault::kBadToken, TFault::kHeldNoData, TFault::kShort,
                            TFault::kMissing,  TFault::kBadHeader,  TFault::kDataLost};
  for (int IntCase = 0; IntCase < 24; ++IntCase) {
    const long LngInputs = Maker.Pick({2, 3, 5});
    const TFault Fault = kFaults[IntCase % 6];
    const long LngFaulty = Maker.Pick({0, 1, LngInputs - 1});
    // Every other case: a fault in a later input, met first in time, must not come first.
    const std::vector<std::string> VecFiles =
        Series(Maker, LngInputs, Fault, LngFaulty, false, IntCase % 2 == 0);
    // A result equal to the declared no-data value, met after any earlier failure.
    const std::vector<std::string> VecOptions =
        IntCase % 4 == 1 ? std::vector<std::string>{"--nodata", "0.1"} : std::vector<std::string>{};
    const int IntCommand = IntCase % 4 == 3 ? 3 : IntCase % 8 == 2 ? 4 : IntCase % 3;
    ExpectSameAsLibrary(Command(IntCommand, VecFiles, VecOptions),
                        "case " + std::to_string(IntCase));
  }
}

TEST_F(SeriesStreamTest, BlockBoundariesAndLongRowsKeepTheBytes) {
  TSeriesMaker Maker(29);
  // Tall and wide grids of several hundred KB each: many blocks of input per grid, and short
  // cells that fill each block with as many rows as it can hold.
  for (const auto& [LngColumns, LngRows, BlnShort] : {std::tuple<long, long, bool>{1, 90000, false},
                                                      {30000, 3, false},
                                                      {3, 150000, true},
                                                      {1000, 400, true}}) {
    if (BlnShort) {
      Maker.UseShortCells();
    }
    std::vector<std::string> VecFiles;
    for (int IntI = 0; IntI < 3; ++IntI) {
      VecFiles.push_back(Put("big" + std::to_string(IntI) + ".asc",
                             Maker.Grid(LngColumns, LngRows, "100", IntI == 1 ? "nan" : "-9999",
                                        TFault::kNone, -1, false)));
    }
    ExpectSameAsLibrary(Command(2, VecFiles, {}), "average " + std::to_string(LngColumns));
    ExpectSameAsLibrary(Command(3, VecFiles, {}), "calc " + std::to_string(LngColumns));
  }
}

TEST_F(SeriesStreamTest, MovingAveragesStreamTheBytesAndFirstFailureOfTheLibraryPath) {
  TSeriesMaker Maker(31);
  const TFault kFaults[] = {TFault::kNone,       TFault::kNone,  TFault::kBadToken,
                            TFault::kHeldNoData, TFault::kShort, TFault::kDataLost};
  for (int IntCase = 0; IntCase < 12; ++IntCase) {
    const long LngInputs = Maker.Pick({2, 3, 5, 6});
    const long LngWindow = std::min(LngInputs, Maker.Pick({2, 3}));
    const TFault Fault = kFaults[IntCase % 6];
    const std::vector<std::string> VecFiles =
        Series(Maker, LngInputs, Fault, Maker.Pick({0, LngInputs - 1}), false, IntCase % 4 == 2);
    const std::string StgCase = "case " + std::to_string(IntCase);
    // Standard output as the first output takes the path that loads every grid whole.
    const auto Run = [&](const std::string& StgPrefix, bool BlnLoaded, int IntThreads) {
      std::string StgList;
      for (long LngI = 0; LngI + LngWindow <= LngInputs; ++LngI) {
        StgList += (BlnLoaded && LngI == 0 ? "-" : Work(StgPrefix + std::to_string(LngI))) + "\n";
      }
      std::vector<std::string> VecArgs = {"moving-average", "--window", std::to_string(LngWindow),
                                          "--outputs", Put(StgPrefix + ".txt", StgList)};
      if (IntCase % 3 == 1) {
        VecArgs.insert(VecArgs.begin(), {"--nodata", "0.1"});
      }
      VecArgs.insert(VecArgs.end(), VecFiles.begin(), VecFiles.end());
      return RunProgram(tessgrid_test::kToolExe, VecArgs,
                        "TESSGRID_THREADS=" + std::to_string(IntThreads) + " ", "/dev/null", ">");
    };
    const TRun Loaded = Run("loaded", true, 2);
    for (const int IntThreads : {1, 3}) {
      const TRun Streamed = Run("streamed", false, IntThreads);
      ASSERT_EQ(Streamed.LngStatus, Loaded.LngStatus) << StgCase << Streamed.StgErr;
      std::string StgExpected = Loaded.StgErr;
      if (StgExpected.rfind("tessgrid-tool: -: ", 0) == 0) {
        StgExpected.replace(15, 1, Work("streamed0"));
      }
      ASSERT_EQ(Streamed.StgErr, StgExpected) << StgCase;
      for (long LngI = 0; LngI + LngWindow <= LngInputs; ++LngI) {
        const std::string StgOut = Work("streamed" + std::to_string(LngI));
        if (Loaded.LngStatus != 0) {
          ASSERT_FALSE(fs::exists(StgOut)) << StgCase;
          continue;
        }
        ASSERT_EQ(ReadFile(StgOut),
                  LngI == 0 ? Loaded.StgOut : ReadFile(Work("loaded" + std::to_string(LngI))))
            << StgCase << " output " << LngI << " threads " << IntThreads;
        fs::remove(StgOut);
      }
    }
  }
  // Forty inputs and thirty-nine outputs are more than 64 open files: the run loads the grids
  // one after the other instead, with the same bytes.
  std::string StgList;
  std::vector<std::string> VecArgs = {"moving-average", "--window", "2", "--outputs",
                                      Work("many.txt")};
  for (int IntI = 0; IntI < 40; ++IntI) {
    VecArgs.push_back(Put("many" + std::to_string(IntI) + ".asc",
                          Maker.Grid(3, 2, "100", "-9999", TFault::kNone, -1, false)));
    StgList += IntI == 0 ? "" : Work("mean" + std::to_string(IntI)) + "\n";
  }
  Put("many.txt", StgList);
  const TRun Streamed = RunTool(VecArgs);
  ASSERT_EQ(Streamed.LngStatus, 0) << Streamed.StgErr;
  const std::string StgFirst = ReadFile(Work("mean1"));
  fs::remove(Work("mean1"));
  const TRun Limited =
      RunProgram(tessgrid_test::kToolExe, VecArgs, "ulimit -n 64; ", "/dev/null", ">");
  ASSERT_EQ(Limited.LngStatus, 0) << Limited.StgErr;
  EXPECT_EQ(ReadFile(Work("mean1")), StgFirst);
  // The file size limit stops the outputs written side by side at the first, as it stops the
  // outputs written one after the other, and every output stays as it was.
  const std::vector<std::string> VecWide = {
      Put("wide0.asc", Maker.Grid(300, 40, "100", "-9999", TFault::kNone, -1, false)),
      Put("wide1.asc", Maker.Grid(300, 40, "100", "-9999", TFault::kNone, -1, false)),
      Put("wide2.asc", Maker.Grid(300, 40, "100", "-9999", TFault::kNone, -1, false))};
  const std::string StgKept0 = Put("kept0.asc", "earlier 0");
  const std::string StgKept1 = Put("kept1.asc", "earlier 1");
  const TRun Limit = RunProgram(
      tessgrid_test::kToolExe,
      {"moving-average", "--window", "2", "--outputs",
       Put("kept.txt", StgKept0 + "\n" + StgKept1 + "\n"), VecWide[0], VecWide[1], VecWide[2]},
      "ulimit -f 8; ", "/dev/null", ">");
  EXPECT_EQ(Limit.LngStatus, 1);
  EXPECT_EQ(Limit.StgErr, "tessgrid-tool: Unable to write file " + StgKept0 + "\n");
  EXPECT_EQ(ReadFile(StgKept0), "earlier 0");
  EXPECT_EQ(ReadFile(StgKept1), "earlier 1");
  // The second window loses a cell in row 0, the first in row 2: the first window's loss comes
  // first, as the library path checks the windows one after the other.
  const auto Small = [&](const std::string& StgName, const std::string& StgCells) {
    return Put(StgName, "ncols 2\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n" + StgCells);
  };
  const std::vector<std::string> VecLost = {Small("lost0.asc", "1 1\n1 1\n-10000 1\n"),
                                            Small("lost1.asc", "-5000 1\n1 1\n1 1\n"),
                                            Small("lost2.asc", "-4999 1\n1 1\n1 1\n")};
  const TRun Lost = RunTool({"moving-average", "--window", "2", "--outputs",
                             Put("lost.txt", Work("l0.asc") + "\n" + Work("l1.asc") + "\n"),
                             VecLost[0], VecLost[1], VecLost[2]});
  EXPECT_EQ(Lost.StgErr,
            "tessgrid-tool: the result at row 2, column 0 comes to -9999, which the library's "
            "operations take for no-data; tessgrid-tool cannot keep it as data\n");
}

TEST_F(SeriesStreamTest, EveryStreamedCommandFailsAClaimItsInputCannotHoldAtOnce) {
  // Three cells under headers that claim billions: the stream must neither build the claimed
  // grid to decide how to run nor size its rows, rings or outputs by the claim before the file
  // has shown that it cannot hold it.
  const char* const kClaims[] = {"ncols 300\nnrows 10000000", "ncols 2147483648\nnrows 3",
                                 "ncols 3\nnrows 300000000"};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string StgLimit;
#else
  const std::string StgLimit = "ulimit -v 262144; ";
#endif
  const std::string StgOut = Work("out.asc");
  const std::string StgLine =
      "tessgrid-tool: Unexpected end of file found in TARCGISFileTools::LoadARCGISFile\n";
  for (const char* PtrClaim : kClaims) {
    const std::string StgClaim =
        Put("claim.asc", std::string(PtrClaim) +
                             "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2 3\n");
    std::vector<std::vector<std::string>> VecRuns = {
        {"add", StgClaim, StgClaim, StgOut},
        {"subtract", StgClaim, StgClaim, StgOut},
        {"multiply", StgClaim, StgClaim, StgOut},
        {"divide", StgClaim, StgClaim, StgOut},
        {"sum", StgOut, StgClaim, StgClaim},
        {"count", StgOut, StgClaim},
        {"average", StgOut, StgClaim, StgClaim},
        {"moving-average", "--window", "2", "--outputs",
         Put("outs.txt", StgOut + "\n" + Work("out1.asc") + "\n"), StgClaim, StgClaim, StgClaim}};
#ifdef TESSGRID_WITH_CALC
    VecRuns.push_back({"calc", StgOut, "--expr", "A+1", "-A", StgClaim});
#endif
    for (const std::vector<std::string>& VecArgs : VecRuns) {
      const TRun Result = RunProgram(tessgrid_test::kToolExe, VecArgs, StgLimit, "/dev/null", ">");
      EXPECT_EQ(Result.StgErr, StgLine) << VecArgs[0] << " " << PtrClaim;
      EXPECT_EQ(Result.LngStatus, 1) << VecArgs[0] << " " << PtrClaim;
      EXPECT_FALSE(fs::exists(StgOut)) << VecArgs[0] << " " << PtrClaim;
      EXPECT_FALSE(fs::exists(Work("out1.asc"))) << VecArgs[0] << " " << PtrClaim;
      for (const std::string& StgEntry : Entries()) {
        EXPECT_EQ(StgEntry.find(".tmp"), std::string::npos) << VecArgs[0] << " " << PtrClaim;
      }
    }
  }
}

TEST_F(SeriesStreamTest, ASeriesBeyondTheOpenFileLimitIsReadWithItsFilesOpenedInTurn) {
  TSeriesMaker Maker(37);
  // A hundred inputs under a limit of 40 open files, however many threads read them.
  std::vector<std::string> VecFiles;
  for (int IntI = 0; IntI < 100; ++IntI) {
    VecFiles.push_back(
        Put("m" + std::to_string(IntI) + ".asc",
            Maker.Grid(7, 61, "100", IntI % 3 == 0 ? "nan" : "-9999", TFault::kNone, -1, false)));
  }
  const std::string StgOut = Work("out.asc");
  for (int IntCommand = 0; IntCommand < 3; ++IntCommand) {
    std::vector<std::string> VecArgs = Command(IntCommand, VecFiles, {});
    std::replace(VecArgs.begin(), VecArgs.end(), std::string("OUT"), StgOut);
    const TRun Open = RunTool(VecArgs);
    ASSERT_EQ(Open.LngStatus, 0) << Open.StgErr;
    const std::string StgExpected = ReadFile(StgOut);
    fs::remove(StgOut);
    for (const int IntThreads : {1, 3}) {
      const TRun Limited = RunProgram(
          tessgrid_test::kToolExe, VecArgs,
          "ulimit -n 40; TESSGRID_THREADS=" + std::to_string(IntThreads) + " ", "/dev/null", ">");
      ASSERT_EQ(Limited.StgErr, "") << VecArgs[0] << " threads " << IntThreads;
      ASSERT_EQ(Limited.LngStatus, 0);
      EXPECT_EQ(ReadFile(StgOut), StgExpected) << VecArgs[0] << " threads " << IntThreads;
      fs::remove(StgOut);
    }
  }
  // A limit that leaves no room for an input beside the output is named. It is set for the tool
  // alone, as the shell needs descriptors of its own to redirect the tool's streams, and after
  // closing what the test's runner may have left open beside them. The sanitizers' runtimes
  // need descriptors of their own at start-up (GridReaderTest names the limit under them too).
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  std::vector<std::string> VecSum = Command(0, VecFiles, {});
  std::replace(VecSum.begin(), VecSum.end(), std::string("OUT"), StgOut);
  const TRun Starved =
      RunProgram(tessgrid_test::kToolExe, VecSum,
                 "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-; prlimit --nofile=4 ", "/dev/null", ">");
  EXPECT_EQ(Starved.StgErr, "tessgrid-tool: Unable to open file " + VecFiles[0] +
                                ": too many files are open at once (the limit is 4); raise it "
                                "with ulimit -n\n");
  EXPECT_FALSE(fs::exists(StgOut));
#endif
  // A bad cell late in one input is still the failure reported, in input order.
  Put("m70.asc", Maker.Grid(7, 61, "100", "-9999", TFault::kBadToken, 7 * 61 - 1, false));
  Put("m90.asc", Maker.Grid(7, 61, "100", "-9999", TFault::kBadToken, 0, false));
  std::vector<std::string> VecArgs = Command(2, VecFiles, {});
  std::replace(VecArgs.begin(), VecArgs.end(), std::string("OUT"), StgOut);
  const TRun Failed = RunProgram(tessgrid_test::kToolExe, VecArgs,
                                 "ulimit -n 40; TESSGRID_THREADS=3 ", "/dev/null", ">");
  EXPECT_EQ(Failed.StgErr,
            "tessgrid-tool: File format error: invalid cell value '1x' at row 60, column 6 in "
            "TARCGISFileTools::LoadARCGISFile\n");
  EXPECT_EQ(Failed.LngStatus, 1);
  EXPECT_FALSE(fs::exists(StgOut));
}
