// tests/app/MalformedInputTest.cpp - damaged and hostile grid files given to the command.
// Every one ends in exactly one clear line, exit status 1, an empty error stream, no output file
// created or damaged, and memory that stays small.
#include <gtest/gtest.h>

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
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return Run(VecArgs);
#else
    return Run(VecArgs, "ulimit -v 262144; ");
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
