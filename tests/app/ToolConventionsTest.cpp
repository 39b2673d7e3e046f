// tests/app/ToolConventionsTest.cpp - tessgrid-tool's conventions as a user meets them: help,
// statuses, failure line, '-', progress, sidecars, all-or-nothing outputs, other writers' headers.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"
#include "tessgrid_version.h"
#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

class ToolConventionsTest : public tessgrid_test::TToolTest {
 protected:
  std::string Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
    return Work(StgName);
  }

  // Copies a test grid into the work folder, optionally with a sidecar of the given text.
  std::string Grid(const std::string& StgData, const std::string& StgName,
                   const std::string& StgPrj = "") const {
    fs::copy_file(Data(StgData), Work(StgName));
    if (!StgPrj.empty()) {
      Put(fs::path(StgName).replace_extension(".prj").string(), StgPrj);
    }
    return Work(StgName);
  }

  // Expects exactly one line on standard error, this one, nothing on standard output.
  static void ExpectFailure(const TRun& Result, int LngStatus, const std::string& StgLine) {
    EXPECT_EQ(Result.StgErr, "tessgrid-tool: " + StgLine + "\n");
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.LngStatus, LngStatus);
  }

  // Runs the tool as a user whom folder permissions bind, after the shell prefix: as root (who
  // ignores them) the user nobody, who is given the work folder first. False when there is no
  // such user, no setpriv(1) to become it, or no way for it to reach the tool and the folder.
  bool RunUnprivileged(const std::vector<std::string>& VecArgs, TRun& Result,
                       const std::string& StgPrefix = "") const {
    std::string StgUser;
    if (::geteuid() == 0) {
      const struct passwd* PtrNobody = ::getpwnam("nobody");
      StgUser = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
      // A build tree inside a folder only root may enter is out of nobody's reach.
      if (PtrNobody == nullptr ||
          std::system((StgUser + "test -x " + tessgrid_test::Quote(tessgrid_test::kToolExe) +
                       " -a -x " + tessgrid_test::Quote(MbrPathWork.string()) + " 2>/dev/null")
                          .c_str()) != 0) {
        return false;
      }
      for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(MbrPathWork)) {
        ::lchown(Entry.path().c_str(), PtrNobody->pw_uid, PtrNobody->pw_gid);
      }
      ::lchown(MbrPathWork.c_str(), PtrNobody->pw_uid, PtrNobody->pw_gid);
    }
    Result = RunProgram(tessgrid_test::kToolExe, VecArgs, StgPrefix + StgUser, "/dev/null", ">");
    return true;
  }

  // The names in the work folder, with the two files every run leaves for its streams.
  std::vector<std::string> EntriesWithStreams() const {
    Put("stdout.txt", "");
    Put("stderr.txt", "");
    return Entries();
  }

  static void ExpectSuccess(const TRun& Result) {
    EXPECT_EQ(Result.StgErr, "");
    EXPECT_EQ(Result.LngStatus, 0);
  }

  const std::string kE = Data("elevation_4x3.asc");
  const std::string kU = Data("uplift_4x3.asc");
  const std::string kC = Data("uplift_coarse_2x2.asc");
};

}  // namespace

TEST_F(ToolConventionsTest, HelpAndVersionGoToStandardOutputWithStatusZero) {
  const TRun Help = RunTool({"--help"});
  ExpectSuccess(Help);
  for (const char* PtrCommand :
       {"add",       "subtract",     "multiply",     "divide",         "scale",         "divide-by",
        "offset",    "round",        "threshold",    "reclass",        "mask",          "fill",
        "sum",       "count",        "average",      "moving-average", "gradients",     "downscale",
        "subdivide", "interpolate",  "resample",     "extract",        "insert",        "intersect",
        "patch",     "count-values", "first-values", "sample",         "overlay-table", "to-csv",
        "info"}) {
    EXPECT_NE(Help.StgOut.find(std::string("\n  ") + PtrCommand + " "), std::string::npos)
        << PtrCommand;
  }
  const TRun CommandHelp = RunTool({"threshold", "--help"});
  ExpectSuccess(CommandHelp);
  EXPECT_NE(CommandHelp.StgOut.find("--replace"), std::string::npos);
  EXPECT_NE(CommandHelp.StgOut.find("Example:\n  tessgrid-tool threshold "), std::string::npos);
  const TRun Version = RunTool({"--version"});
  ExpectSuccess(Version);
  EXPECT_EQ(Version.StgOut, "tessgrid-tool " TESSGRID_VERSION_STRING "\n");
}

TEST_F(ToolConventionsTest, WrongCommandLinesExitTwoWithOneLineAndWriteNothing) {
  ExpectFailure(RunTool({"bogus", kE}), 2, "unknown command bogus");
  ExpectFailure(RunTool({"scale", kE, Work("out.asc"), "--factor", "2x"}), 2,
                "--factor: not a number: 2x");
  ExpectFailure(
      RunTool({"resample", kE, Work("out.asc"), "--resolution", "5", "--method", "cubic"}), 2,
      "--method: cubic not in {near,bilinear,average,mode,min,max,median}");
  ExpectFailure(RunTool({"add", "-", "-", Work("out.asc")}), 2,
                "standard input (-) can be read by one grid argument only");
  ExpectFailure(RunTool({"intersect", kE, kU, Work("out.asc"), Work("out.asc")}), 2,
                "output " + Work("out.asc") + " is named twice");
  for (const std::vector<std::string>& VecArgs :
       {std::vector<std::string>{},
        {"add", kE, kU},
        {"add", kE, kU, Work("out.asc"), "--nope"},
        {"fill", kE, Work("out.asc"), "--rows", "1", "--columns", "0", "1", "--value", "0"}}) {
    const TRun Result = RunTool(VecArgs);
    EXPECT_EQ(Result.LngStatus, 2);
    EXPECT_EQ(Result.StgOut, "");
    EXPECT_EQ(Result.StgErr.rfind("tessgrid-tool: ", 0), 0U) << Result.StgErr;
    EXPECT_EQ(std::count(Result.StgErr.begin(), Result.StgErr.end(), '\n'), 1) << Result.StgErr;
  }
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(ToolConventionsTest, FailedOperationsPrintTheLibrarysMessageOnStandardError) {
  ExpectFailure(RunTool({"subtract", kE, kC, Work("out.asc"), "--by-index"}), 1,
                "X dimensions do not match in TMapTools::Subtract");
  ExpectFailure(RunTool({"add", Work("missing.asc"), kE, Work("out.asc")}), 1,
                "Unable to open file " + Work("missing.asc"));
  ExpectFailure(RunTool({"sum", Work("out.asc"), kE}), 1,
                "sum: needs two or more grids, got 1 (Must have more than 2 maps to sum in "
                "TMapTools::Sum)");
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(ToolConventionsTest, ArithmeticWritesWhatTessgridWrites) {
  for (const auto& Pair : std::vector<std::pair<std::string, std::string>>{
           {"add", "+"}, {"subtract", "-"}, {"multiply", "x"}, {"divide", "/"}}) {
    EXPECT_EQ(Run({kE, kU, Work("tessgrid.asc"), Pair.second}).LngStatus, 0);
    ExpectSuccess(RunTool({Pair.first, kE, kU, Work("tool.asc")}));
    EXPECT_EQ(ReadFile(Work("tool.asc")), ReadFile(Work("tessgrid.asc"))) << Pair.first;
  }
  const TRun Tessgrid = Run({kC, kE, Work("out.asc"), "/"});
  ExpectFailure(RunTool({"divide", kC, kE, Work("out.asc")}), 1,
                Tessgrid.StgOut.substr(0, Tessgrid.StgOut.size() - 1));
}

TEST_F(ToolConventionsTest, DashReadsStandardInputAndWritesStandardOutput) {
  const TRun Result = RunTool({"scale", "-", "-", "--factor", "2"}, kE);
  ExpectSuccess(Result);
  std::ostringstream Expected;
  const std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(kE));
  const std::unique_ptr<TMap> PtrScaled(TMapTools::Multiply(PtrMap.get(), 2.0));
  TARCGISFileTools::WriteARCGISFile(PtrScaled.get(), Expected);
  EXPECT_EQ(Result.StgOut, Expected.str());
  EXPECT_FALSE(fs::exists("-.prj"));
}

TEST_F(ToolConventionsTest, ProgressIsShownOnlyOnATerminalAndNotWhenQuiet) {
  // Gradients load their maps one by one; a sum of grids on one grid streams them all at once
  // and counts the rows it has combined.
  const std::vector<std::vector<std::string>> VecRuns = {
      {"gradients", "--window", "1", kE, kU, kE, "--outputs",
       Put("outs.txt", Work("m1.asc") + "\n" + Work("m2.asc") + "\n")},
      {"sum", Work("sum.asc"), kE, kE}};
  const std::vector<std::string> VecLines = {"tessgrid-tool: loaded 3 of 3 maps",
                                             "tessgrid-tool: combined 3 of 3 rows"};
  for (std::size_t LngRun = 0; LngRun < VecRuns.size(); ++LngRun) {
    EXPECT_EQ(RunTool(VecRuns[LngRun]).StgErr, "");
    if (std::system("command -v script >/dev/null") != 0) {
      GTEST_SKIP() << "no script(1) to give the command a terminal";
    }
    // script(1) runs the command on a terminal and copies what it shows to its standard output.
    std::string StgCommand = tessgrid_test::Quote(tessgrid_test::kToolExe);
    for (const std::string& StgArg : VecRuns[LngRun]) {
      StgCommand += " " + tessgrid_test::Quote(StgArg);
    }
    const TRun Shown =
        RunProgram("script", {"-qec", StgCommand, "/dev/null"}, "", "/dev/null", ">");
    EXPECT_NE(Shown.StgOut.find(VecLines[LngRun]), std::string::npos) << Shown.StgOut;
    const TRun Quiet =
        RunProgram("script", {"-qec", StgCommand + " --quiet", "/dev/null"}, "", "/dev/null", ">");
    EXPECT_EQ(Quiet.StgOut.find("tessgrid-tool:"), std::string::npos) << Quiet.StgOut;
  }
}

TEST_F(ToolConventionsTest, OutputsTakeTheSidecarOfTheInputWhoseGridTheyTake) {
  // The same coordinate system in three spellings, so that each copy shows where it came from.
  const std::string StgE = Grid("elevation_4x3.asc", "e.asc", "UTM 32\n");
  const std::string StgC = Grid("uplift_coarse_2x2.asc", "c.asc", "  UTM 32\r\n");
  const std::string StgP = Grid("piece_2x1.asc", "p.asc", "UTM 32");
  ExpectSuccess(RunTool({"add", StgC, StgE, Work("sum.asc")}));
  EXPECT_EQ(ReadFile(Work("sum.prj")), "UTM 32\n");
  ExpectSuccess(RunTool({"intersect", StgE, StgP, Work("a.asc"), Work("b")}));
  EXPECT_EQ(ReadFile(Work("a.prj")), "UTM 32\n");
  EXPECT_EQ(ReadFile(Work("b.prj")), "UTM 32");
  ExpectSuccess(RunTool({"scale", StgC, StgC, "--factor", "2"}));
  EXPECT_EQ(ReadFile(Work("c.prj")), "  UTM 32\r\n");
}

TEST_F(ToolConventionsTest, OutputOfAnInputWithoutSidecarLosesItsOldSidecar) {
  Put("out.prj", "an older coordinate system");
  Put("csv.prj", "not the CSV file's");
  ExpectSuccess(RunTool({"round", kE, Work("out.asc")}));
  EXPECT_FALSE(fs::exists(Work("out.prj")));
  ExpectSuccess(RunTool({"to-csv", kE, Work("csv.txt")}));
  EXPECT_TRUE(fs::exists(Work("csv.prj")));
}

TEST_F(ToolConventionsTest, DifferentSidecarsRefuseTheRunUnlessIgnored) {
  const std::string StgA = Grid("elevation_4x3.asc", "a.asc", "UTM 32");
  const std::string StgB = Grid("uplift_4x3.asc", "b.asc", "UTM 33");
  ExpectFailure(
      RunTool({"add", StgA, StgB, Work("out.asc")}), 1,
      "inputs have different coordinate systems: " + Work("a.prj") + ", " + Work("b.prj"));
  EXPECT_FALSE(fs::exists(Work("out.asc")));
  ExpectSuccess(RunTool({"add", StgA, StgB, Work("out.asc"), "--ignore-crs"}));
  EXPECT_EQ(ReadFile(Work("out.prj")), "UTM 32");
  ExpectSuccess(RunTool({"add", StgA, kU, Work("out.asc")}));
}

TEST_F(ToolConventionsTest, SeveralOutputsAreWrittenOnlyWhenAllOfThemCanBe) {
  Put("a.asc", "earlier content");
  ExpectFailure(RunTool({"intersect", kE, Data("piece_2x1.asc"), Work("a.asc"), Work("no/b.asc")}),
                1, "Unable to open file " + Work("no/b.asc"));
  const std::string StgOutputs = Put("outs.txt", Work("a.asc") + "\n");
  ExpectFailure(RunTool({"moving-average", "--window", "2", kE, kU, kE, "--outputs", StgOutputs}),
                1, StgOutputs + " names 1 outputs for 2 result maps");
  ExpectFailure(RunTool({"gradients", "--window", "4", kE, kU, kE, "--outputs", StgOutputs}), 1,
                "Window size must be < number of maps in TMapTools::ValueGradients");
  EXPECT_EQ(ReadFile(Work("a.asc")), "earlier content");
}

TEST_F(ToolConventionsTest, HeadersOfOtherWritersAreRead) {
  // Keys in capitals and another order, the corner given by the centre of the corner cell.
  Put("saga.asc",
      "NCOLS 4\nNROWS 3\nCELLSIZE 10\nXLLCENTER 105\nYLLCENTER 205\nNODATA_VALUE -9999\n"
      "12.5 13 14.25 15\n11 -9999 12 13.5\n10 10.5 11 12\n");
  ExpectSuccess(RunTool({"round", kE, Work("expected.asc")}));
  ExpectSuccess(RunTool({"round", Work("saga.asc"), Work("out.asc")}));
  EXPECT_EQ(ReadFile(Work("out.asc")), ReadFile(Work("expected.asc")));
  // No NODATA_value entry: the map's no-data value is -9999, unless a cell holds it.
  Put("gdal.asc", "ncols 2\nnrows 1\nxllcorner 110\nyllcorner 210\ncellsize 10\n7 8\n");
  const TRun Info = RunTool({"info", Work("gdal.asc")});
  ExpectSuccess(Info);
  EXPECT_NE(Info.StgOut.find("NODATA_value: -9999\n"), std::string::npos);
}

TEST_F(ToolConventionsTest, HeadersThatTheMapCannotHoldFailWithOneLine) {
  Put("taken.asc", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n-9999 8\n");
  Put("oblong.asc", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 1\ndy 2\n7 8\n");
  for (const char* PtrName : {"taken.asc", "oblong.asc"}) {
    const TRun Result = RunTool({"round", Work(PtrName), Work("out.asc")});
    EXPECT_EQ(Result.LngStatus, 1) << PtrName;
    EXPECT_EQ(Result.StgErr.rfind("tessgrid-tool: ", 0), 0U) << Result.StgErr;
    EXPECT_EQ(std::count(Result.StgErr.begin(), Result.StgErr.end(), '\n'), 1) << Result.StgErr;
  }
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(ToolConventionsTest, AClaimTheInputCannotHoldFailsAtOnceInEveryPosition) {
  const std::string StgShort =
      Put("short.asc",
          "ncols 200000000\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
          "1 2 3 4\n");
  const std::string StgGood = Grid("uplift_4x3.asc", "good.asc");
  const std::string StgOut = Work("out.asc");
  // Under a memory limit, so that a reader which allocated for the claim fails another way.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string StgLimit;
#else
  const std::string StgLimit = "ulimit -v 262144; ";
#endif
  const std::vector<std::vector<std::string>> VecRuns = {
      {"scale", StgShort, StgOut, "--factor", "2"},
      {"add", StgShort, StgGood, StgOut},
      {"add", StgGood, StgShort, StgOut},
      {"sum", StgOut, StgGood, StgShort},
  };
  for (const std::vector<std::string>& VecArgs : VecRuns) {
    ExpectFailure(RunProgram(tessgrid_test::kToolExe, VecArgs, StgLimit, "/dev/null", ">"), 1,
                  "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile");
  }
  // Standard input as a file and as a pipe.
  ExpectFailure(RunProgram(tessgrid_test::kToolExe, {"scale", "-", StgOut, "--factor", "2"},
                           StgLimit, StgShort, ">"),
                1, "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile");
  ExpectFailure(RunProgram(tessgrid_test::kToolExe, {"scale", "-", StgOut, "--factor", "2"},
                           StgLimit + "cat " + tessgrid_test::Quote(StgShort) + " | ", "", ">"),
                1, "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile");
  EXPECT_FALSE(fs::exists(StgOut));
}

TEST_F(ToolConventionsTest, APipeWhoseReaderQuitsIsAWriteFailure) {
  // 500 x 500 cells: several MB, far beyond what a pipe buffers.
  std::string StgGrid = "ncols 500\nnrows 500\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  for (int LngRow = 0; LngRow < 500; ++LngRow) {
    for (int LngColumn = 0; LngColumn < 500; ++LngColumn) {
      StgGrid += "0.666666666667 ";
    }
    StgGrid += "\n";
  }
  const std::string StgInput = Put("in.asc", StgGrid);
  const std::string StgFifo = Work("fifo");
  ASSERT_EQ(::mkfifo(StgFifo.c_str(), 0600), 0);
  ExpectFailure(RunProgram(tessgrid_test::kToolExe, {"scale", StgInput, StgFifo, "--factor", "2"},
                           "head -c 10 " + tessgrid_test::Quote(StgFifo) + " > /dev/null & ",
                           "/dev/null", ">"),
                1, "Unable to write file " + StgFifo);
  // tessgrid-tool scale in.asc - --factor 2 | head -c 10
  const std::string StgCommand =
      "{ " + tessgrid_test::Quote(tessgrid_test::kToolExe) + " scale " +
      tessgrid_test::Quote(StgInput) + " - --factor 2 2> " + tessgrid_test::Quote(Work("err.txt")) +
      "; echo $? > " + tessgrid_test::Quote(Work("status.txt")) + "; } | head -c 10 > /dev/null";
  ASSERT_EQ(std::system(StgCommand.c_str()), 0);
  EXPECT_EQ(ReadFile(Work("err.txt")), "tessgrid-tool: Unable to write standard output\n");
  EXPECT_EQ(ReadFile(Work("status.txt")), "1\n");
}

TEST_F(ToolConventionsTest, ArithmeticBetweenFilesReadsAsFromStandardInput) {
  // Between files tessgrid's overlay reads the grids; standard input takes the library's calls.
  const std::string StgSaga =
      Put("saga.asc",
          "NCOLS 4\nNROWS 3\nCELLSIZE 10\nXLLCENTER 105\nYLLCENTER 205\nNODATA_VALUE -9999\n"
          "12.5 13 14.25 15\n11 -9999 12 13.5\n10 10.5 11 12\n");
  const std::string StgGdal =
      Put("gdal.asc",
          "ncols 4\nnrows 3\nxllcorner 100\nyllcorner 200\ncellsize 10\n1 2 3 4\n5 6 7 "
          "8\n9 10 11 12\n");
  const std::string StgTaken =
      Put("taken.asc",
          "ncols 4\nnrows 3\nxllcorner 100\nyllcorner 200\ncellsize 10\n1 2 3 4\n5 6 7 "
          "8\n9 10 -9999 12\n");
  for (const char* PtrCommand : {"add", "subtract", "multiply", "divide"}) {
    ExpectSuccess(RunTool({PtrCommand, StgSaga, StgGdal, Work("files.asc")}));
    ExpectSuccess(RunTool({PtrCommand, "-", StgGdal, Work("stdin.asc")}, StgSaga));
    EXPECT_EQ(ReadFile(Work("files.asc")), ReadFile(Work("stdin.asc"))) << PtrCommand;
    const TRun Files = RunTool({PtrCommand, StgSaga, StgTaken, Work("files.asc")});
    const TRun Stdin = RunTool({PtrCommand, StgSaga, "-", Work("stdin.asc")}, StgTaken);
    EXPECT_EQ(Files.LngStatus, 1) << PtrCommand;
    EXPECT_EQ(Files.StgErr, Stdin.StgErr) << PtrCommand;
  }
}

TEST_F(ToolConventionsTest, OutputsThatAreOneFileUnderTwoNamesAreACommandLineError) {
  const std::string StgP = Data("piece_2x1.asc");
  Put("x.asc", "earlier\n");
  fs::create_symlink("x.asc", Work("link.asc"));
  fs::create_hard_link(Work("x.asc"), Work("hard.asc"));
  fs::create_symlink("new.asc", Work("dangling.asc"));
  const std::string StgDotX = MbrPathWork.string() + "/./x.asc";
  const std::vector<std::string> VecBefore = EntriesWithStreams();
  for (const auto& Pair : std::vector<std::pair<std::string, std::string>>{
           {Work("x.asc"), StgDotX},
           {Work("link.asc"), Work("x.asc")},
           {Work("x.asc"), Work("hard.asc")},
           {Work("new.asc"), MbrPathWork.string() + "/./new.asc"},
           {Work("dangling.asc"), Work("new.asc")}}) {
    ExpectFailure(RunTool({"intersect", kE, StgP, Pair.first, Pair.second}), 2,
                  "outputs " + Pair.first + " and " + Pair.second + " are the same file");
  }
  // A sidecar would replace another output, or be written for one of two outputs only.
  ExpectFailure(RunTool({"intersect", kE, StgP, Work("x.asc"), Work("x.prj")}), 2,
                "output " + Work("x.prj") + " is the sidecar of output " + Work("x.asc"));
  ExpectFailure(
      RunTool({"intersect", kE, StgP, Work("x.asc"), Work("x.txt")}), 2,
      "outputs " + Work("x.asc") + " and " + Work("x.txt") + " share the sidecar " + Work("x.prj"));
  EXPECT_EQ(Entries(), VecBefore);
  EXPECT_EQ(ReadFile(Work("x.asc")), "earlier\n");
  // A grid named like a sidecar is no sidecar of itself.
  ExpectSuccess(RunTool({"round", kE, Work("grid.prj")}));
  EXPECT_EQ(ReadFile(Work("grid.prj")).rfind("ncols 4\n", 0), 0U);
}

TEST_F(ToolConventionsTest, AnOutputThatCannotTakeItsTemporaryLeavesEveryOutputAsItWas) {
  const std::string StgE = Grid("elevation_4x3.asc", "e.asc");
  const std::string StgP = Grid("piece_2x1.asc", "p.asc");
  Put("a.asc", "earlier a\n");
  fs::create_directory(Work("locked"));
  Put("locked/b.asc", "earlier b\n");
  // The temporary goes where the link chain ends, into the folder nobody may write to.
  fs::create_symlink(Work("locked/new.asc"), Work("dangling.asc"));
  fs::create_symlink("locked/b.asc", Work("link.asc"));
  const std::vector<std::string> VecBefore = EntriesWithStreams();
  std::vector<TRun> VecRuns(4);
  fs::permissions(Work("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  const bool BlnRan =
      RunUnprivileged({"intersect", StgE, StgP, Work("a.asc"), Work("locked/b.asc")}, VecRuns[0]) &&
      RunUnprivileged({"intersect", StgE, StgP, Work("a.asc"), Work("dangling.asc")}, VecRuns[1]) &&
      RunUnprivileged({"intersect", StgE, StgP, Work("a.asc"), Work("link.asc")}, VecRuns[2]) &&
      RunUnprivileged({"scale", StgE, Work("locked/new.asc"), "--factor", "2"}, VecRuns[3]);
  fs::permissions(Work("locked"), fs::perms::owner_all);
  if (!BlnRan) {
    GTEST_SKIP() << "no unprivileged user who can reach the build folder";
  }
  ExpectFailure(VecRuns[0], 1, "Unable to write file " + Work("locked/b.asc"));
  ExpectFailure(VecRuns[1], 1, "Unable to open file " + Work("dangling.asc"));
  ExpectFailure(VecRuns[2], 1, "Unable to write file " + Work("link.asc"));
  ExpectFailure(VecRuns[3], 1, "Unable to open file " + Work("locked/new.asc"));
  EXPECT_EQ(ReadFile(Work("a.asc")), "earlier a\n");
  EXPECT_EQ(ReadFile(Work("locked/b.asc")), "earlier b\n");
  EXPECT_EQ(Entries(), VecBefore);
  EXPECT_EQ(fs::directory_iterator(Work("locked"))->path().filename(), "b.asc");
  EXPECT_EQ(std::distance(fs::directory_iterator(Work("locked")), fs::directory_iterator()), 1);
}

TEST_F(ToolConventionsTest, OutputsThatFailWhileStagedLeaveEveryGridAndSidecarAsTheyWere) {
  // b.prj cannot be written within the file-size limit, after a.asc and its sidecar were staged.
  const std::string StgE = Grid("elevation_4x3.asc", "e.asc", "UTM 32\n");
  const std::string StgP = Grid("piece_2x1.asc", "p.asc", std::string(40 * 1024, 'x'));
  Put("a.asc", "earlier a\n");
  Put("a.prj", "stale a\n");
  Put("b.asc", "earlier b\n");
  const std::vector<std::string> VecBefore = EntriesWithStreams();
  const std::string StgLimit = "ulimit -f 20; ";
  ExpectFailure(RunProgram(tessgrid_test::kToolExe,
                           {"intersect", StgE, StgP, Work("a.asc"), Work("b.asc"), "--ignore-crs"},
                           StgLimit, "/dev/null", ">"),
                1, "Unable to write file " + Work("b.prj"));
  // Standard output takes its text only once every file is ready.
  ExpectFailure(RunProgram(tessgrid_test::kToolExe,
                           {"intersect", StgE, StgP, "-", Work("b.asc"), "--ignore-crs"}, StgLimit,
                           "/dev/null", ">"),
                1, "Unable to write file " + Work("b.prj"));
  EXPECT_EQ(ReadFile(Work("a.asc")), "earlier a\n");
  EXPECT_EQ(ReadFile(Work("a.prj")), "stale a\n");
  EXPECT_EQ(ReadFile(Work("b.asc")), "earlier b\n");
  EXPECT_EQ(Entries(), VecBefore);
  ExpectSuccess(RunTool({"intersect", StgE, StgP, Work("a.asc"), Work("b.asc"), "--ignore-crs"}));
  EXPECT_EQ(ReadFile(Work("a.prj")), "UTM 32\n");
  EXPECT_EQ(ReadFile(Work("b.prj")).size(), 40U * 1024);
}

TEST_F(ToolConventionsTest, ASidecarThatCannotBeReplacedOrRemovedKeepsItsGridAsItWas) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to leave the sidecar to a user other than the one who runs";
  }
  const std::string StgE = Grid("elevation_4x3.asc", "e.asc");
  fs::create_directory(Work("shared"));
  Put("shared/out.asc", "earlier\n");
  Put("shared/out.prj", "theirs\n");
  TRun Result;
  if (!RunUnprivileged({"--version"}, Result)) {
    GTEST_SKIP() << "no unprivileged user who can reach the build folder";
  }
  // Everyone may write in the folder and to the sidecar, but the sticky folder and the sidecar
  // are root's: nobody may neither replace nor remove it.
  ::lchown(Work("shared").c_str(), 0, 0);
  ::lchown(Work("shared/out.prj").c_str(), 0, 0);
  fs::permissions(Work("shared"), fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(Work("shared/out.prj"), fs::perms::all);
  const std::string StgUser = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  ExpectFailure(RunProgram(tessgrid_test::kToolExe, {"round", StgE, Work("shared/out.asc")},
                           StgUser, "/dev/null", ">"),
                1, "Unable to write file " + Work("shared/out.prj"));
  EXPECT_EQ(ReadFile(Work("shared/out.asc")), "earlier\n");
  EXPECT_EQ(ReadFile(Work("shared/out.prj")), "theirs\n");
}

TEST_F(ToolConventionsTest, SidecarsThatAreNoSmallRegularFilesFailTheRunFast) {
  const std::string StgE = Grid("elevation_4x3.asc", "e.asc");
  fs::create_symlink("/dev/zero", Work("e.prj"));
  ExpectFailure(RunTool({"round", StgE, Work("out.asc")}), 1,
                "Unable to read file " + Work("e.prj") + ": not a regular file");
  fs::remove(Work("e.prj"));
  Put("e.prj", std::string(64 * 1024 + 1, 'x'));
  ExpectFailure(RunTool({"round", StgE, Work("out.asc")}), 1,
                "Unable to read file " + Work("e.prj") + ": larger than 64 KiB");
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}
