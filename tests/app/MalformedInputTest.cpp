// tests/app/MalformedInputTest.cpp - damaged and hostile grid files given to the command.
// Every one ends in exactly one clear line, exit status 1, an empty error stream, no output file
// created or damaged, and memory that stays small.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <string>

#include "tests/support/CommandRunner.h"

namespace {

namespace fs = std::filesystem;
using tessgrid_test::ReadFile;
using tessgrid_test::TRun;

const std::string kStgReader = " in TARCGISFileTools::LoadARCGISFile";

// The line each malformed file of the fuzz seed corpus gives.
const std::map<std::string, std::string> kMapExpected = {
    {"malformed_empty.asc", "File format error: expected to find ncols tag"},
    {"malformed_truncated_header.asc", "File format error: expected to find yllcorner tag"},
    {"malformed_ncols_key.asc", "File format error: expected to find ncols tag"},
    {"malformed_nrows_key.asc", "File format error: expectd to find nrows tag"},
    {"malformed_xllcorner_key.asc", "File format error: expected to find xllcorner tag"},
    {"malformed_yllcorner_key.asc", "File format error: expected to find yllcorner tag"},
    {"malformed_cellsize_key.asc", "File format error: expected to find cellsize tag"},
    {"malformed_nodata_key.asc", "File format error: expected to find NODATA_value tag"},
    {"malformed_missing_nodata.asc", "File format error: expected to find NODATA_value tag"},
    {"malformed_fractional_ncols.asc", "File format error: expectd to find nrows tag"},
    {"malformed_text_cellsize.asc", "File format error: expected to find NODATA_value tag"},
    {"malformed_negative_ncols.asc", "File format error: negative ncols or nrows" + kStgReader},
    {"malformed_negative_nrows.asc", "File format error: negative ncols or nrows" + kStgReader},
    {"malformed_huge_dimensions.asc", "File format error: ncols or nrows too large" + kStgReader},
    {"malformed_claims_1e12_cells.asc", "Unexpected end of file found" + kStgReader},
    {"malformed_empty_claims_many_rows.asc",
     "File format error: ncols or nrows too large" + kStgReader},
    {"malformed_text_nodata.asc", "File format error: invalid NODATA_value" + kStgReader},
    {"malformed_text_cell.asc",
     "File format error: invalid cell value 'abc' at row 1, column 1" + kStgReader},
    {"malformed_cell_beyond_double.asc",
     "File format error: invalid cell value '1e999' at row 1, column 1" + kStgReader},
    {"malformed_too_few_cells.asc", "Unexpected end of file found" + kStgReader},
    {"malformed_binary.asc", "File format error: expected to find ncols tag"},
    {"malformed_binary_after_header.asc",
     "File format error: invalid cell value '\\x00\\xff\\xfe\\x01' at row 0, column 0" +
         kStgReader},
};

class MalformedInputTest : public tessgrid_test::TCommandTest {
 protected:
  static std::string Corpus(const std::string& StgName) {
    return (fs::path(TESSGRID_TEST_DATA) / ".." / "fuzz" / "corpus" / StgName).string();
  }
  static std::string Good() {
    return (fs::path(TESSGRID_TEST_DATA) / "app" / "uplift_4x3.asc").string();
  }

  // Runs the command under a 256 MiB address-space limit, so that a reader which allocated for
  // what a header claims would fail with another line. Sanitizer runtimes need more room.
  TRun RunSmall(const std::vector<std::string>& VecArgs) const {
    return Run(VecArgs, LimitPrefix());
  }
  static std::string LimitPrefix() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return "";
#else
    return "ulimit -v 262144; ";
#endif
  }

  // Runs the command as RunSmall does, after the shell words StgBefore, and expects the failure
  // line. A failed allocation can hide behind the input's own failure, so where the allocator
  // can be watched the largest request must also stay far below what the header claims.
  void ExpectSmallFailure(const std::vector<std::string>& VecArgs, const std::string& StgLine,
                          const std::string& StgBefore = "") const {
    std::string StgWatch;
#ifdef TESSGRID_FAILING_MALLOC
    const std::string StgLargest = Work("largest.txt");
    fs::remove(StgLargest);
    StgWatch = "TESSGRID_THREADS=2 LD_PRELOAD=" + tessgrid_test::Quote(TESSGRID_FAILING_MALLOC) +
               " TESSGRID_LARGEST_ALLOCATION=" + tessgrid_test::Quote(StgLargest) + " ";
#endif
    ExpectFailure(Run(VecArgs, StgBefore + LimitPrefix() + StgWatch), StgLine);
#ifdef TESSGRID_FAILING_MALLOC
    const std::string StgBytes = ReadFile(StgLargest);
    ASSERT_FALSE(StgBytes.empty());
    EXPECT_LT(std::stoull(StgBytes), 64ULL << 20) << VecArgs[0] << " " << VecArgs[1];
#endif
  }
};

}  // namespace

TEST_F(MalformedInputTest, EachMalformedFileGivesItsOneLineAndNoOutput) {
  for (const auto& [StgName, StgLine] : kMapExpected) {
    ASSERT_TRUE(fs::exists(Corpus(StgName))) << StgName;
    for (const bool BlnFirst : {true, false}) {
      const std::string StgOut = Work("out.asc");
      const TRun Result = BlnFirst ? RunSmall({Corpus(StgName), Good(), StgOut, "+"})
                                   : RunSmall({Good(), Corpus(StgName), StgOut, "+"});
      EXPECT_EQ(Result.StgOut, StgLine + "\n") << StgName;
      EXPECT_EQ(Result.StgErr, "") << StgName;
      EXPECT_EQ(Result.LngStatus, 1) << StgName;
      EXPECT_FALSE(fs::exists(StgOut)) << StgName;
    }
  }
}

TEST_F(MalformedInputTest, AClaimTheInputCannotHoldFailsAtOnceInEveryPosition) {
  // Four cells under headers that claim far more; the plan, the ring and the row writer would be
  // sized by the claim of a base input, the flat grid by a partner's.
  const char* const kVecClaims[] = {"ncols 200000000\nnrows 1", "ncols 2147483648\nnrows 3",
                                    "ncols 3\nnrows 300000000"};
  const auto Grid = [this](const std::string& StgName, const std::string& StgSize,
                           const char* PtrCellSize, const std::string& StgCells) {
    std::ofstream(Work(StgName), std::ios::binary)
        << StgSize << "\nxllcorner 0\nyllcorner 0\ncellsize " << PtrCellSize
        << "\nNODATA_value -9999\n"
        << StgCells;
    return Work(StgName);
  };
  const std::string StgFine =
      Grid("fine.asc", "ncols 4\nnrows 3", "1", "1 2 3 4\n5 6 7 8\n9 0 1 2\n");
  const std::string StgCoarse = Grid("coarse.asc", "ncols 2\nnrows 2", "2", "1 2\n3 4\n");
  const std::string StgOut = Work("out.asc");
  const std::string StgEnd = "Unexpected end of file found" + kStgReader;
  for (const char* PtrClaim : kVecClaims) {
    // "+" takes the finer grid, the first on a tie.
    const std::string StgShortFine = Grid("short_fine.asc", PtrClaim, "1", "1 2 3 4\n");
    const std::string StgShortCoarse = Grid("short_coarse.asc", PtrClaim, "2", "1 2 3 4\n");
    const std::vector<std::vector<std::string>> VecRuns = {
        {StgShortFine, StgFine, StgOut, "+"},    // the base, first
        {StgShortCoarse, StgFine, StgOut, "+"},  // the partner, first
        {StgCoarse, StgShortFine, StgOut, "+"},  // the base, second
        {StgFine, StgShortFine, StgOut, "+"},    // the partner, second
        {StgShortFine, StgFine, StgOut, "-"},    // the base of an index-wise operation
    };
    for (const std::vector<std::string>& VecArgs : VecRuns) {
      ExpectSmallFailure(VecArgs, StgEnd);
      EXPECT_FALSE(fs::exists(StgOut)) << PtrClaim;
    }
    // A base from a pipe, whose size nobody knows: memory grows with the cells that come.
    const std::string StgPipe = Work("pipe.asc");
    ASSERT_EQ(::mkfifo(StgPipe.c_str(), 0600), 0);
    ExpectSmallFailure({StgPipe, StgFine, StgOut, "+"}, StgEnd,
                       "cat " + tessgrid_test::Quote(StgShortFine) + " > " +
                           tessgrid_test::Quote(StgPipe) + " & ");
    fs::remove(StgPipe);
    // The first failure met reading the cells in order stays the one reported.
    const std::string StgBadShort = Grid("bad_short.asc", PtrClaim, "1", "1 x 3 4\n");
    ExpectSmallFailure({StgBadShort, StgFine, StgOut, "+"},
                       "File format error: invalid cell value 'x' at row 0, column 1" + kStgReader);
    ExpectSmallFailure({StgShortFine, StgBadShort, StgOut, "+"}, StgEnd);
  }
  // Many blocks of cells before the bad one (6 MB), none of them kept.
  std::string StgCells;
  for (int LngRow = 0; LngRow < 3000; ++LngRow) {
    for (int LngColumn = 0; LngColumn < 1000; ++LngColumn) {
      StgCells += "1 ";
    }
    StgCells += "\n";
  }
  const std::string StgLateBad =
      Grid("late_bad.asc", "ncols 1000\nnrows 100000000", "1", StgCells + "5 6 x\n");
  ExpectSmallFailure(
      {StgLateBad, StgFine, StgOut, "+"},
      "File format error: invalid cell value 'x' at row 3000, column 2" + kStgReader);
}

TEST_F(MalformedInputTest, AFailedRunLeavesAnEarlierOutputAsItWas) {
  const std::string StgOut = Work("out.asc");
  {
    std::ofstream Earlier(StgOut, std::ios::binary);
    Earlier << "earlier result\n";
  }
  ExpectFailure(RunSmall({Corpus("malformed_text_cell.asc"), Good(), StgOut, "+"}),
                kMapExpected.at("malformed_text_cell.asc"));
  EXPECT_EQ(ReadFile(StgOut), "earlier result\n");
}

TEST_F(MalformedInputTest, ADirectoryAsInputCannotBeOpened) {
  const std::string StgFolder = Work("folder.asc");
  fs::create_directories(StgFolder);
  ExpectFailure(RunSmall({StgFolder, Good(), Work("out.asc"), "+"}),
                "Unable to open file " + StgFolder);
  EXPECT_FALSE(fs::exists(Work("out.asc")));
}

TEST_F(MalformedInputTest, CrlfLineEndsReadLikePlainOnes) {
  const TRun Result =
      RunSmall({Corpus("valid_crlf.asc"), Corpus("valid_small.asc"), Work("out.asc"), "-"});
  EXPECT_EQ(Result.StgOut, "");
  EXPECT_EQ(Result.LngStatus, 0);
  EXPECT_EQ(ReadFile(Work("out.asc")),
            "ncols 3\nnrows 2\nxllcorner        0\nyllcorner        0\ncellsize 1\n"
            "NODATA_value -9999\n0 0 0 \n0 0 0 \n");
}
