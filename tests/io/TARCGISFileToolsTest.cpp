// tests/io/TARCGISFileToolsTest.cpp - the ASCII grid reader and writer, through streams and real
// files, and lists of grid files.
#include "io/TARCGISFileTools.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

constexpr const char* kStgEndOfFile =
    "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile";

const std::string kStgHeader =
    "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";

std::unique_ptr<TMap> Load(const std::string& StgText) {
  std::istringstream Input(StgText);
  return std::unique_ptr<TMap>(TARCGISFileTools::LoadARCGISFile(Input));
}

std::string Write(TMap& Map) {
  std::ostringstream Output;
  TARCGISFileTools::WriteARCGISFile(&Map, Output);
  return Output.str();
}

std::string ReadFile(const std::string& StgName) {
  std::ifstream Input(StgName);
  std::ostringstream Text;
  Text << Input.rdbuf();
  return Text.str();
}

void WriteText(const std::string& StgName, const std::string& StgText) {
  std::ofstream Output(StgName);
  Output << StgText;
}

double WesternEdge(const TMap& Map) {
  return Map.MbrPtrXAxisInterval->GetPoint(0)->MbrDblX;
}

double SouthernEdge(const TMap& Map) {
  return Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim)->MbrDblY;
}

// A fresh folder for the files of one test, removed with everything in it afterwards.
class GridFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string StgTemplate = std::string(TESSGRID_BINARY_DIR) + "/gridfiles-XXXXXX";
    ASSERT_NE(::mkdtemp(&StgTemplate[0]), nullptr);
    MbrStgFolder = StgTemplate;
  }
  void TearDown() override {
    const std::string StgCommand = "rm -rf '" + MbrStgFolder + "'";
    ASSERT_EQ(std::system(StgCommand.c_str()), 0);
  }
  std::string Path(const std::string& StgName) const { return MbrStgFolder + "/" + StgName; }
  // Names in the folder, to see that no temporary file was left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> VecNames;
    std::unique_ptr<FILE, int (*)(FILE*)> PtrList(
        ::popen(("ls -A '" + MbrStgFolder + "'").c_str(), "r"), ::pclose);
    char ChrLine[512];
    while (std::fgets(ChrLine, sizeof ChrLine, PtrList.get()) != nullptr) {
      std::string StgName(ChrLine);
      StgName.pop_back();
      VecNames.push_back(StgName);
    }
    return VecNames;
  }

  std::string MbrStgFolder;
};

}  // namespace

// Reading

TEST(LoadARCGISFileTest, ReadsCellsRowByRowFromTheNorth) {
  const auto PtrMap = Load(kStgHeader + "1 2 3\n4 5 6\n");
  EXPECT_EQ(PtrMap->MbrLngXDim, 3);
  EXPECT_EQ(PtrMap->MbrLngYDim, 2);
  EXPECT_EQ(PtrMap->MbrVecValues, (std::vector<std::vector<double>>{{1, 2, 3}, {4, 5, 6}}));
  EXPECT_EQ(PtrMap->MbrDblResolution, 1.0);
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -9999.0);
  // Centres: column 0 at x 0.5, row 0 (north) at y 1.5.
  EXPECT_EQ(PtrMap->MbrPtrXAxis->GetPoint(0)->MbrDblX, 0.5);
  EXPECT_EQ(PtrMap->MbrPtrYAxis->GetPoint(0)->MbrDblY, 1.5);
}

TEST(LoadARCGISFileTest, EdgesAreRunningSumsFromTheCornerRead) {
  const auto PtrMap = Load(
      "ncols 3\nnrows 3\nxllcorner 0.1\nyllcorner 0.7\ncellsize 0.1\nNODATA_value -1\n"
      "1 2 3 4 5 6 7 8 9\n");
  EXPECT_EQ(WesternEdge(*PtrMap), 0.1);
  EXPECT_EQ(SouthernEdge(*PtrMap), 0.7);
  double DblY = 0.7;
  for (long LngK = 2; LngK >= 0; --LngK) {
    DblY += 0.1;
    EXPECT_EQ(PtrMap->MbrPtrYAxisInterval->GetPoint(LngK)->MbrDblY, DblY);
  }
  double DblX = 0.1;
  for (long LngK = 1; LngK <= 3; ++LngK) {
    DblX += 0.1;
    EXPECT_EQ(PtrMap->MbrPtrXAxisInterval->GetPoint(LngK)->MbrDblX, DblX);
    EXPECT_EQ(PtrMap->MbrPtrXAxisInterval->GetPoint(LngK)->MbrDblY, DblY);
  }
}

TEST(LoadARCGISFileTest, TokensMaySpreadOverLinesInAnyWay) {
  const auto PtrExpected = Load(kStgHeader + "1 2 3\n4 5 6\n");
  for (const std::string& StgText :
       {std::string("ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 1 NODATA_value -9999 "
                    "1 2 3 4 5 6\n"),
        std::string("ncols\n3\nnrows\t2\n\nxllcorner   0\nyllcorner 0\ncellsize 1\n"
                    "NODATA_value\n-9999\n1\n2\n3\n4\n5\n6\n"),
        std::string("ncols 3\r\nnrows 2\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\n"
                    "NODATA_value -9999\r\n1 2 3\r\n4 5 6\r\n"),
        std::string("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value "
                    "-9999\n1 2\n3 4\n5 6\n")}) {
    const auto PtrMap = Load(StgText);
    EXPECT_EQ(PtrMap->MbrVecValues, PtrExpected->MbrVecValues);
  }
}

TEST(LoadARCGISFileTest, TheLastValueMayEndTheInput) {
  const auto PtrMap = Load(kStgHeader + "1 2 3\n4 5 6");
  EXPECT_EQ(PtrMap->MbrVecValues[1][2], 6.0);
}

TEST(LoadARCGISFileTest, FewerValuesThanCellsIsTheEndOfFile) {
  EXPECT_MESSAGE(Load(kStgHeader + "1 2 3\n4 5\n"), kStgEndOfFile);
  EXPECT_MESSAGE(Load(kStgHeader), kStgEndOfFile);
  EXPECT_MESSAGE(Load("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value"),
                 kStgEndOfFile);
}

TEST(LoadARCGISFileTest, AHugeClaimFailsAtTheEndOfTheInputWithoutAllocatingForIt) {
  // 10^12 cells would need 8 TB; the reader only holds what it has read.
  EXPECT_MESSAGE(Load("ncols 1000000\nnrows 1000000\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value -9999\n1 2 3\n"),
                 kStgEndOfFile);
  EXPECT_MESSAGE(Load("ncols 1000000000000\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value -9999\n1 2 3\n"),
                 kStgEndOfFile);
}

TEST(LoadARCGISFileTest, ValuesAfterTheLastCellStayInTheStream) {
  std::istringstream Input(kStgHeader + "1 2 3\n4 5 6\nrest of it\n");
  const std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(Input));
  EXPECT_EQ(PtrMap->MbrVecValues[1][2], 6.0);
  std::string StgWord;
  Input >> StgWord;
  EXPECT_EQ(StgWord, "rest");
}

TEST(LoadARCGISFileTest, ZeroColumnsOrRowsGiveAMapWithoutCells) {
  const auto PtrNoColumns =
      Load("ncols 0\nnrows 2\nxllcorner 5\nyllcorner 6\ncellsize 1\nNODATA_value -9999\n");
  EXPECT_EQ(PtrNoColumns->MbrLngXDim, 0);
  EXPECT_EQ(PtrNoColumns->MbrVecValues.size(), 2u);
  EXPECT_EQ(PtrNoColumns->MbrPtrXAxisInterval->GetSize(), 1);
  EXPECT_EQ(WesternEdge(*PtrNoColumns), 5.0);
  const auto PtrNoRows =
      Load("ncols 4\nnrows 0\nxllcorner 5\nyllcorner 6\ncellsize 1\nNODATA_value -9999\n");
  EXPECT_EQ(PtrNoRows->MbrLngYDim, 0);
  EXPECT_EQ(PtrNoRows->MbrPtrYAxisInterval->GetSize(), 1);
  EXPECT_EQ(SouthernEdge(*PtrNoRows), 6.0);
}

TEST(LoadARCGISFileTest, EachMisplacedKeyHasItsMessage) {
  const std::string StgValues = " -9999\n1 2 3\n4 5 6\n";
  EXPECT_MESSAGE(
      Load("NCOLS 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value" + StgValues),
      "File format error: expected to find ncols tag");
  EXPECT_MESSAGE(
      Load("ncols 3\nNROWS 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value" + StgValues),
      "File format error: expectd to find nrows tag");
  EXPECT_MESSAGE(
      Load("ncols 3\nnrows 2\nxllcenter 0\nyllcorner 0\ncellsize 1\nNODATA_value" + StgValues),
      "File format error: expected to find xllcorner tag");
  EXPECT_MESSAGE(
      Load("ncols 3\nnrows 2\nxllcorner 0\nyllcenter 0\ncellsize 1\nNODATA_value" + StgValues),
      "File format error: expected to find yllcorner tag");
  EXPECT_MESSAGE(
      Load("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\nCellsize 1\nNODATA_value" + StgValues),
      "File format error: expected to find cellsize tag");
  EXPECT_MESSAGE(
      Load("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNoData_Value" + StgValues),
      "File format error: expected to find NODATA_value tag");
}

TEST(LoadARCGISFileTest, TheLowerCaseNoDataKeyIsAccepted) {
  const auto PtrMap =
      Load("ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1\n7\n");
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -1.0);
}

TEST(LoadARCGISFileTest, AMissingNoDataEntryFailsOnTheFirstCell) {
  EXPECT_MESSAGE(Load("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n"),
                 "File format error: expected to find NODATA_value tag");
}

TEST(LoadARCGISFileTest, AnUnparsableHeaderValueFailsTheNextKey) {
  EXPECT_MESSAGE(Load("ncols 10.5\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"),
                 "File format error: expectd to find nrows tag");
  EXPECT_MESSAGE(Load("ncols abc\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"),
                 "File format error: expectd to find nrows tag");
  EXPECT_MESSAGE(Load("ncols 3\nnrows 2\nxllcorner x\nyllcorner 0\ncellsize 1\n"),
                 "File format error: expected to find yllcorner tag");
  EXPECT_MESSAGE(Load("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1e999\n"
                      "NODATA_value -9999\n"),
                 "File format error: expected to find NODATA_value tag");
}

TEST(LoadARCGISFileTest, ANoDataValueThatIsNotANumberIsRejected) {
  EXPECT_MESSAGE(Load("ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value none\n7\n"),
                 "File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile");
  EXPECT_MESSAGE(Load("ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value 1e999\n7\n"),
                 "File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile");
}

TEST(LoadARCGISFileTest, ACellThatIsNotANumberIsRejectedWithItsPlace) {
  EXPECT_STRING_MESSAGE(Load(kStgHeader + "1 2 3\n4 abc 6\n"),
                        "File format error: invalid cell value 'abc' at row 1, column 1 in "
                        "TARCGISFileTools::LoadARCGISFile");
  EXPECT_STRING_MESSAGE(Load(kStgHeader + "1,5 2 3\n4 5 6\n"),
                        "File format error: invalid cell value '1,5' at row 0, column 0 in "
                        "TARCGISFileTools::LoadARCGISFile");
  EXPECT_STRING_MESSAGE(Load(kStgHeader + "1 2 3\n4 5 1e999\n"),
                        "File format error: invalid cell value '1e999' at row 1, column 2 in "
                        "TARCGISFileTools::LoadARCGISFile");
  EXPECT_STRING_MESSAGE(Load(kStgHeader + "1 2 " + std::string(50, '7') + "x\n4 5 6\n"),
                        "File format error: invalid cell value '" + std::string(40, '7') +
                            "...' at row 0, column 2 in TARCGISFileTools::LoadARCGISFile");
}

TEST(LoadARCGISFileTest, CellsTakeEveryNumberStreamExtractionTakes) {
  const auto PtrMap = Load(kStgHeader + "+2 .5 5.\n-1e-3 1e-400 1E2\n");
  EXPECT_EQ(PtrMap->MbrVecValues,
            (std::vector<std::vector<double>>{{2, 0.5, 5}, {-0.001, 0, 100}}));
}

TEST(LoadARCGISFileTest, NegativeOrOverflowingDimensionsAreRejected) {
  EXPECT_MESSAGE(Load("ncols -3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value -9999\n1 2 3\n"),
                 "File format error: negative ncols or nrows in TARCGISFileTools::LoadARCGISFile");
  EXPECT_MESSAGE(Load("ncols 3000000000000\nnrows 3000000000000\nxllcorner 0\nyllcorner 0\n"
                      "cellsize 1\nNODATA_value -9999\n1 2 3\n"),
                 "File format error: ncols or nrows too large in "
                 "TARCGISFileTools::LoadARCGISFile");
  EXPECT_MESSAGE(Load("ncols 0\nnrows 1000000000000\nxllcorner 0\nyllcorner 0\n"
                      "cellsize 1\nNODATA_value -9999\n"),
                 "File format error: ncols or nrows too large in "
                 "TARCGISFileTools::LoadARCGISFile");
}

TEST(LoadARCGISFileTest, TokensCutByTheReadBlockAreJoined) {
  // Two million cells of varied lengths cross several blocks of the reader at every offset.
  const long LngColumns = 2000;
  const long LngRows = 1000;
  std::string StgText =
      "ncols 2000\nnrows 1000\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
      "NODATA_value -9999\n";
  for (long LngK = 0; LngK < LngColumns * LngRows; ++LngK) {
    StgText +=
        std::to_string(LngK % 997) + (LngK % 3 == 0 ? ".25" : "") + (LngK % 5 == 0 ? "\r\n" : " ");
  }
  const auto PtrMap = Load(StgText);
  for (long LngK = 0; LngK < LngColumns * LngRows; LngK += 1237) {
    const double DblExpected = static_cast<double>(LngK % 997) + (LngK % 3 == 0 ? 0.25 : 0.0);
    ASSERT_EQ(PtrMap->MbrVecValues[static_cast<std::size_t>(LngK / LngColumns)]
                                  [static_cast<std::size_t>(LngK % LngColumns)],
              DblExpected);
  }
}

// Writing

TEST(WriteARCGISFileTest, WritesTheHeaderAndRowsByteForByte) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(Write(*PtrMap),
            "ncols 3\nnrows 2\nxllcorner        0\nyllcorner        0\ncellsize 1\n"
            "NODATA_value -9999\n1 2 3 \n4 5 6 \n");
}

TEST(WriteARCGISFileTest, CornersArePaddedToEightAndKeepTheirDigits) {
  auto PtrMap = MakeMap(100, 5123456.25, 0.5, {{0.1 + 0.2}}, -3.5);
  EXPECT_EQ(Write(*PtrMap),
            "ncols 1\nnrows 1\nxllcorner      100\nyllcorner 5123456.25\ncellsize 0.5\n"
            "NODATA_value -3.5\n0.3 \n");
}

TEST(WriteARCGISFileTest, AMapWithoutColumnsWritesOneEmptyLinePerRow) {
  auto PtrMap = MakeMap(0, 0, 1, {{}, {}});
  EXPECT_EQ(Write(*PtrMap),
            "ncols 0\nnrows 2\nxllcorner        0\nyllcorner        0\ncellsize 1\n"
            "NODATA_value -9999\n\n\n");
}

TEST(WriteARCGISFileTest, AMapWithoutEdgesIsRejectedBeforeWriting) {
  TMap Map(1.0, 2, 2);
  std::ostringstream Output;
  EXPECT_MESSAGE(TARCGISFileTools::WriteARCGISFile(&Map, Output),
                 "Map has no interval axes in TARCGISFileTools::WriteARCGISFile");
  EXPECT_EQ(Output.str(), "");
}

TEST(WriteARCGISFileTest, RoundTripKeepsEveryValueExactly) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  auto PtrMap = MakeMap(512345.125, 5123456.75, 0.1,
                        {{2.0 / 3.0, 1234567, -9999.5},
                         {1e-7, 1e300, 0.1 + 0.2},
                         {std::numeric_limits<double>::infinity(), DblNaN, -0.0}},
                        -9999.5);
  const auto PtrBack = Load(Write(*PtrMap));
  EXPECT_EQ(PtrBack->MbrLngXDim, 3);
  EXPECT_EQ(PtrBack->MbrLngYDim, 3);
  EXPECT_EQ(WesternEdge(*PtrBack), 512345.125);
  EXPECT_EQ(SouthernEdge(*PtrBack), 5123456.75);
  EXPECT_EQ(PtrBack->MbrDblResolution, 0.1);
  EXPECT_EQ(PtrBack->MbrDblNoDataValue, -9999.5);
  EXPECT_EQ(PtrBack->MbrVecValues[0][0], 0.666666666667);  // twelve digits at most
  EXPECT_EQ(PtrBack->MbrVecValues[0][1], 1234567.0);
  EXPECT_EQ(PtrBack->MbrVecValues[0][2], -9999.5);
  EXPECT_EQ(PtrBack->MbrVecValues[1][0], 1e-7);
  EXPECT_EQ(PtrBack->MbrVecValues[1][1], 1e300);
  EXPECT_EQ(PtrBack->MbrVecValues[1][2], 0.3);  // beyond twelve digits only noise is lost
  EXPECT_EQ(PtrBack->MbrVecValues[2][0], std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(PtrBack->MbrVecValues[2][1]));
  EXPECT_TRUE(std::signbit(PtrBack->MbrVecValues[2][2]));
  // A second round changes nothing at all.
  EXPECT_EQ(Write(*PtrBack), Write(*Load(Write(*PtrBack))));
}

// Files

TEST_F(GridFileTest, FileRoundTripKeepsTheGrid) {
  auto PtrMap = MakeMap(10, 20, 2, {{1.5, -9999}, {3, 4.25}});
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("map.asc"));
  const std::unique_ptr<TMap> PtrBack(TARCGISFileTools::LoadARCGISFile(Path("map.asc")));
  EXPECT_EQ(PtrBack->MbrVecValues, PtrMap->MbrVecValues);
  EXPECT_EQ(WesternEdge(*PtrBack), 10.0);
  EXPECT_EQ(SouthernEdge(*PtrBack), 20.0);
  EXPECT_EQ(ReadFile(Path("map.asc")), Write(*PtrMap));
  EXPECT_EQ(Entries(), std::vector<std::string>{"map.asc"});
}

TEST_F(GridFileTest, AGoldenGridLoads) {
  const std::unique_ptr<TMap> PtrMap(
      TARCGISFileTools::LoadARCGISFile(std::string(TESSGRID_TEST_DATA) + "/nodata_corner.asc"));
  EXPECT_EQ(PtrMap->MbrLngXDim, 4);
  EXPECT_EQ(PtrMap->MbrLngYDim, 3);
  EXPECT_EQ(PtrMap->MbrVecValues[0][0], -9999.0);
  EXPECT_EQ(PtrMap->MbrVecValues[2][3], 12.5);
  EXPECT_EQ(SouthernEdge(*PtrMap), 5123456.25);
}

TEST_F(GridFileTest, AFileThatCannotBeOpenedIsNamed) {
  EXPECT_STRING_MESSAGE(TARCGISFileTools::LoadARCGISFile(Path("missing.asc")),
                        "Unable to open file " + Path("missing.asc"));
  EXPECT_STRING_MESSAGE(TARCGISFileTools::LoadARCGISFile(MbrStgFolder),
                        "Unable to open file " + MbrStgFolder);
  auto PtrMap = MakeMap(0, 0, 1, {{1}});
  EXPECT_STRING_MESSAGE(TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("no/such.asc")),
                        "Unable to open file " + Path("no/such.asc"));
  EXPECT_STRING_MESSAGE(TARCGISFileTools::WriteARCGISFile(PtrMap.get(), MbrStgFolder),
                        "Unable to open file " + MbrStgFolder);
}

TEST_F(GridFileTest, AnExistingFileIsReplacedWithItsPermissions) {
  WriteText(Path("map.asc"), "old content that is longer than the new grid text ...........\n");
  ASSERT_EQ(::chmod(Path("map.asc").c_str(), 0640), 0);
  auto PtrMap = MakeMap(0, 0, 1, {{1}});
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("map.asc"));
  EXPECT_EQ(ReadFile(Path("map.asc")), Write(*PtrMap));
  struct stat FileStat {};
  ASSERT_EQ(::stat(Path("map.asc").c_str(), &FileStat), 0);
  EXPECT_EQ(FileStat.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"map.asc"});
}

TEST_F(GridFileTest, AFailedWriteLeavesTheEarlierFileAndNoTemporary) {
  WriteText(Path("map.asc"), "earlier\n");
  std::vector<std::vector<double>> VecRows(200, std::vector<double>(200, 2.0 / 3.0));
  auto PtrMap = MakeMap(0, 0, 1, VecRows);
  // Files may grow to 4 KiB only, so the grid cannot be written; the signal is turned off so
  // that the write fails instead of ending the test.
  const auto OldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit OldLimit {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &OldLimit), 0);
  struct rlimit Limit = OldLimit;
  Limit.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Limit), 0);
  EXPECT_STRING_MESSAGE(TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("map.asc")),
                        "Unable to write file " + Path("map.asc"));
  ::setrlimit(RLIMIT_FSIZE, &OldLimit);
  ::signal(SIGXFSZ, OldHandler);
  EXPECT_EQ(ReadFile(Path("map.asc")), "earlier\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"map.asc"});
}

TEST_F(GridFileTest, AFullDeviceIsAWriteError) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  EXPECT_STRING_MESSAGE(TARCGISFileTools::WriteARCGISFile(PtrMap.get(), std::string("/dev/full")),
                        "Unable to write file /dev/full");
}

TEST_F(GridFileTest, DevicesAndLinksAreWrittenInPlace) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), std::string("/dev/null"));
  struct stat FileStat {};
  ASSERT_EQ(::stat("/dev/null", &FileStat), 0);
  EXPECT_TRUE(S_ISCHR(FileStat.st_mode));
  WriteText(Path("target.asc"), "earlier\n");
  ASSERT_EQ(::symlink(Path("target.asc").c_str(), Path("link.asc").c_str()), 0);
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("link.asc"));
  ASSERT_EQ(::lstat(Path("link.asc").c_str(), &FileStat), 0);
  EXPECT_TRUE(S_ISLNK(FileStat.st_mode));
  EXPECT_EQ(ReadFile(Path("target.asc")), Write(*PtrMap));
}

// Lists

TEST_F(GridFileTest, FileListsRoundTripInOrder) {
  auto PtrFirst = MakeMap(0, 0, 1, {{1, 2, 3}});
  auto PtrSecond = MakeMap(0, 0, 1, {{4}, {5}});
  const std::vector<std::string> VecNames = {Path("a.asc"), Path("b.asc")};
  TARCGISFileTools::WriteFileList({PtrFirst.get(), PtrSecond.get()}, VecNames);
  std::vector<TMap*> VecMaps = TARCGISFileTools::LoadFileList(VecNames);
  ASSERT_EQ(VecMaps.size(), 2u);
  EXPECT_EQ(VecMaps[0]->MbrVecValues, PtrFirst->MbrVecValues);
  EXPECT_EQ(VecMaps[1]->MbrVecValues, PtrSecond->MbrVecValues);
  for (TMap* PtrMap : VecMaps) {
    delete PtrMap;
  }
  EXPECT_TRUE(TARCGISFileTools::LoadFileList({}).empty());
}

TEST_F(GridFileTest, WriteFileListChecksTheLengthsBeforeWriting) {
  auto PtrMap = MakeMap(0, 0, 1, {{1}});
  EXPECT_MESSAGE(TARCGISFileTools::WriteFileList({PtrMap.get(), PtrMap.get(), PtrMap.get()},
                                                 {Path("a.asc"), Path("b.asc")}),
                 "Size of map list and filename list do not match in "
                 "TARCGISFileTools::WriteFileList");
  EXPECT_TRUE(Entries().empty());
}

TEST_F(GridFileTest, WriteFileListKeepsTheFilesBeforeAFailure) {
  auto PtrMap = MakeMap(0, 0, 1, {{1}});
  EXPECT_STRING_MESSAGE(TARCGISFileTools::WriteFileList({PtrMap.get(), PtrMap.get()},
                                                        {Path("a.asc"), Path("no/b.asc")}),
                        "Unable to open file " + Path("no/b.asc"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.asc"});
}

TEST_F(GridFileTest, LoadFileListFailsOnTheFirstBadFileAndReleasesTheOthers) {
  auto PtrMap = MakeMap(0, 0, 1, {{1}});
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Path("a.asc"));
  WriteText(Path("bad.asc"), "ncols 1\n");
  // The leak checker of the sanitizer build would report the map of a.asc if it were kept.
  EXPECT_MESSAGE(TARCGISFileTools::LoadFileList({Path("a.asc"), Path("bad.asc"), Path("x.asc")}),
                 "File format error: expectd to find nrows tag");
  EXPECT_STRING_MESSAGE(TARCGISFileTools::LoadFileList({Path("a.asc"), Path("x.asc")}),
                        "Unable to open file " + Path("x.asc"));
}

TEST(LoadARCGISFileTest, DamagedFilesFailWithAMessageOrLoad) {
  // Random damage to a valid grid: every outcome is a map or one of the reader's messages, and
  // never anything else (the sanitizer build checks the memory accesses on the way).
  const std::string StgGood = kStgHeader + "1 2.5 -3e2\n+4 .5 6.\n";
  std::mt19937 Random(5);
  const std::string StgAlphabet = "0123456789+-.eE \n\r\tnaifx\0";
  for (int LngI = 0; LngI < 5000; ++LngI) {
    std::string StgText = StgGood;
    for (int LngK = 0; LngK < 1 + LngI % 4; ++LngK) {
      const std::size_t LngAt = Random() % StgText.size();
      const char ChrNew = StgAlphabet[Random() % StgAlphabet.size()];
      switch (Random() % 3) {
        case 0:
          StgText[LngAt] = ChrNew;
          break;
        case 1:
          StgText.insert(LngAt, 1, ChrNew);
          break;
        default:
          StgText.erase(LngAt, 1);
          break;
      }
    }
    try {
      Load(StgText);
    } catch (char*) {
    } catch (const std::string&) {
    }
  }
}
