// tests/io/TPrjFileToolsTest.cpp - coordinate-system sidecars: names, comparison, the conflict
// check, and writing, reading and removing real files.
#include "io/TPrjFileTools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/ExpectMessage.h"

namespace {

namespace fs = std::filesystem;

class TPrjFileToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* PtrInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    MbrPathWork = fs::path(TESSGRID_BINARY_DIR) / "prj_work" / PtrInfo->name();
    fs::remove_all(MbrPathWork);
    fs::create_directories(MbrPathWork);
  }

  std::string Work(const std::string& StgName) const { return (MbrPathWork / StgName).string(); }

  void Put(const std::string& StgName, const std::string& StgText) const {
    std::ofstream(Work(StgName), std::ios::binary) << StgText;
  }

  fs::path MbrPathWork;  ///< a fresh folder per test
};

}  // namespace

TEST(TPrjFileToolsNameTest, ReplacesTheExtensionOfTheLastPartOrAppendsOne) {
  EXPECT_EQ(TPrjFileTools::GetPrjFileName("dem.asc"), "dem.prj");
  EXPECT_EQ(TPrjFileTools::GetPrjFileName("a.b.asc"), "a.b.prj");
  EXPECT_EQ(TPrjFileTools::GetPrjFileName("maps.v2/dem"), "maps.v2/dem.prj");
  EXPECT_EQ(TPrjFileTools::GetPrjFileName("maps/.hidden"), "maps/.hidden.prj");
  EXPECT_EQ(TPrjFileTools::GetPrjFileName("dem"), "dem.prj");
}

TEST(TPrjFileToolsNameTest, TextsCompareWithoutOuterWhiteSpaceAndLineEndStyle) {
  EXPECT_TRUE(
      TPrjFileTools::SamePrjText("PROJCS[\"a\",\r\nUNIT[1]]\r\n", "  PROJCS[\"a\",\nUNIT[1]]"));
  EXPECT_TRUE(TPrjFileTools::SamePrjText("A\rB", "A\nB\n\n"));
  EXPECT_TRUE(TPrjFileTools::SamePrjText(" \n", ""));
  EXPECT_FALSE(TPrjFileTools::SamePrjText("A B", "A  B"));
  EXPECT_FALSE(TPrjFileTools::SamePrjText("A\nB", "A\n\nB"));
}

TEST_F(TPrjFileToolsTest, WrittenSidecarLoadsBackUnchangedAndIsRemoved) {
  std::string StgText = "before";
  EXPECT_FALSE(TPrjFileTools::LoadPrjFile(Work("dem.asc"), StgText));
  EXPECT_EQ(StgText, "before");
  TPrjFileTools::WritePrjFile("GEOGCS[\"x\"]\r\n", Work("dem.asc"));
  ASSERT_TRUE(TPrjFileTools::LoadPrjFile(Work("dem.asc"), StgText));
  EXPECT_EQ(StgText, "GEOGCS[\"x\"]\r\n");
  TPrjFileTools::RemovePrjFile(Work("dem.asc"));
  EXPECT_FALSE(fs::exists(Work("dem.prj")));
  TPrjFileTools::RemovePrjFile(Work("dem.asc"));
}

TEST_F(TPrjFileToolsTest, SidecarsThatCannotBeUsedFailWithTheirName) {
  fs::create_directory(Work("folder.prj"));
  std::string StgText;
  EXPECT_STRING_MESSAGE(TPrjFileTools::LoadPrjFile(Work("folder.asc"), StgText),
                        "Unable to open file " + Work("folder.prj"));
  EXPECT_STRING_MESSAGE(TPrjFileTools::RemovePrjFile(Work("folder.asc")),
                        "Unable to remove file " + Work("folder.prj"));
  EXPECT_STRING_MESSAGE(TPrjFileTools::WritePrjFile("x", Work("missing/dem.asc")),
                        "Unable to open file " + Work("missing/dem.prj"));
}

TEST_F(TPrjFileToolsTest, CheckNamesTheFirstSidecarAndTheFirstThatDiffers) {
  Put("a.prj", "UTM 32\n");
  Put("b.prj", "UTM 32\r\n");
  Put("d.prj", "UTM 33");
  Put("e.prj", "UTM 34");
  TPrjFileTools::CheckPrjFiles({Work("none.asc"), Work("a.asc"), Work("none.asc"), Work("b.asc")});
  EXPECT_STRING_MESSAGE(
      TPrjFileTools::CheckPrjFiles(
          {Work("none.asc"), Work("a.asc"), Work("b.asc"), Work("d.asc"), Work("e.asc")}),
      "inputs have different coordinate systems: " + Work("a.prj") + ", " + Work("d.prj"));
}

TEST_F(TPrjFileToolsTest, SidecarsThatAreNoSmallRegularFilesFailFastWithoutBeingRead) {
  fs::create_symlink("/dev/zero", Work("zero.prj"));
  ASSERT_EQ(::mkfifo(Work("fifo.prj").c_str(), 0600), 0);
  Put("big.prj", std::string(64 * 1024 + 1, 'x'));
  Put("fits.prj", std::string(64 * 1024, 'x'));
  // Should a read wait on the pipe or run on through the device, the alarm ends the test.
  ::alarm(20);
  const auto Start = std::chrono::steady_clock::now();
  std::string StgText;
  EXPECT_STRING_MESSAGE(TPrjFileTools::LoadPrjFile(Work("zero.asc"), StgText),
                        "Unable to read file " + Work("zero.prj") + ": not a regular file");
  EXPECT_STRING_MESSAGE(TPrjFileTools::LoadPrjFile(Work("fifo.asc"), StgText),
                        "Unable to read file " + Work("fifo.prj") + ": not a regular file");
  EXPECT_STRING_MESSAGE(TPrjFileTools::LoadPrjFile(Work("big.asc"), StgText),
                        "Unable to read file " + Work("big.prj") + ": larger than 64 KiB");
  EXPECT_STRING_MESSAGE(TPrjFileTools::CheckPrjFiles({Work("fits.asc"), Work("zero.asc")}),
                        "Unable to read file " + Work("zero.prj") + ": not a regular file");
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
  ::alarm(0);
  ASSERT_TRUE(TPrjFileTools::LoadPrjFile(Work("fits.asc"), StgText));
  EXPECT_EQ(StgText.size(), 64U * 1024);
}
