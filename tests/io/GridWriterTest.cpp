// tests/io/GridWriterTest.cpp - the rows writer: the same text and the same flushes for every
// thread count, whatever the shape of the grid against the blocks the threads format; and grids
// written under a given header and digit cap.
#include "io/GridWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid::detail::GridLayoutOf;
using tessgrid::detail::TGridLayout;
using tessgrid::detail::WriteGridWithLayout;

namespace {

// Keeps what is written and the text at each flush; refuses everything past a byte limit.
class TRecordingBuffer : public std::streambuf {
 public:
  explicit TRecordingBuffer(std::size_t LngLimit = std::string::npos) : MbrLngLimit(LngLimit) {}

  std::string MbrStgText;                  ///< every byte taken
  std::vector<std::size_t> MbrVecFlushes;  ///< length of the text at each flush

 protected:
  std::streamsize xsputn(const char* PtrText, std::streamsize LngCount) override {
    const std::size_t LngRoom = MbrLngLimit - MbrStgText.size();
    const std::size_t LngTaken = std::min(LngRoom, static_cast<std::size_t>(LngCount));
    MbrStgText.append(PtrText, LngTaken);
    return static_cast<std::streamsize>(LngTaken);
  }
  int_type overflow(int_type LngChar) override {
    if (traits_type::eq_int_type(LngChar, traits_type::eof())) {
      return traits_type::not_eof(LngChar);
    }
    const char ChrValue = traits_type::to_char_type(LngChar);
    return xsputn(&ChrValue, 1) == 1 ? LngChar : traits_type::eof();
  }
  int sync() override {
    MbrVecFlushes.push_back(MbrStgText.size());
    return 0;
  }

 private:
  std::size_t MbrLngLimit;
};

// The cells of a grid with every kind of value the number text has a path for.
std::vector<double> MakeCells(std::size_t LngCount) {
  const double kVecValues[] = {0.1 + 0.2,
                               552.18,
                               -9999,
                               7,
                               -0.0,
                               1e-310,
                               123456789012.0,
                               std::numeric_limits<double>::quiet_NaN(),
                               -std::numeric_limits<double>::infinity(),
                               2.5e-5,
                               1.0 / 3.0};
  std::vector<double> VecCells(LngCount);
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    VecCells[LngK] = kVecValues[(LngK * 7 + LngK / 5) % 11] + static_cast<double>(LngK % 3);
  }
  return VecCells;
}

struct TWritten {
  std::string StgText;
  std::vector<std::size_t> VecFlushes;
};

TWritten Write(const std::vector<double>& VecCells, std::size_t LngRows, std::size_t LngColumns,
               long LngThreads, int LngMaxDigits = 12, bool BlnNaNNoData = false) {
  TRecordingBuffer Buffer;
  std::ostream Output(&Buffer);
  tessgrid::detail::WriteRows(
      Output, [&](std::size_t LngRow) { return VecCells.data() + LngRow * LngColumns; }, LngRows,
      LngColumns, ' ', LngThreads, LngMaxDigits, BlnNaNNoData);
  return TWritten{Buffer.MbrStgText, Buffer.MbrVecFlushes};
}

std::string WriteWithLayout(const TMap& Map, const TGridLayout& Layout) {
  std::ostringstream Output;
  WriteGridWithLayout(Map, Layout, Output);
  return Output.str();
}

std::unique_ptr<TMap> Load(const std::string& StgText) {
  std::istringstream Input(StgText);
  return std::unique_ptr<TMap>(TARCGISFileTools::LoadARCGISFile(Input));
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof DblA) == 0;
}

// Rows of finite doubles of any bits, with the values that are hard to write among them.
std::vector<std::vector<double>> HardRows(std::size_t LngRows, std::size_t LngColumns) {
  const double kVecHard[] = {100.0 + 0.1 + 0.1 + 0.1,
                             0.1 + 0.2,
                             1.0 / 3.0,
                             -0.0,
                             1e22,
                             std::ldexp(1.0, -24),
                             std::ldexp(1.0, -1074),
                             std::numeric_limits<double>::max(),
                             1234567.8901234567,
                             -9999};
  std::mt19937_64 Random(3);
  std::vector<std::vector<double>> VecRows(LngRows, std::vector<double>(LngColumns));
  std::size_t LngK = 0;
  for (std::vector<double>& VecRow : VecRows) {
    for (double& DblCell : VecRow) {
      if (LngK < sizeof kVecHard / sizeof kVecHard[0]) {
        DblCell = kVecHard[LngK];
      } else {
        const std::uint64_t LngBits = Random();
        std::memcpy(&DblCell, &LngBits, sizeof DblCell);
        DblCell = std::isfinite(DblCell) ? DblCell : static_cast<double>(LngK) / 7.0;
      }
      ++LngK;
    }
  }
  return VecRows;
}

}  // namespace

TEST(GridWriterTest, EveryThreadCountWritesTheSameTextAndFlushesEachRow) {
  // One column; rows as wide as the threads' blocks; rows wider than a block; blocks that end
  // inside rows.
  const struct {
    std::size_t LngRows;
    std::size_t LngColumns;
  } VecShapes[] = {{45000, 1}, {3, 20971}, {2, 50000}, {200, 333}, {1, 1}};
  // Under every digit cap: texts of other lengths move the ends of the blocks.
  for (const auto& Shape : VecShapes) {
    const std::vector<double> VecCells = MakeCells(Shape.LngRows * Shape.LngColumns);
    for (const int LngMaxDigits : {12, 17, 9}) {
      const TWritten Expected = Write(VecCells, Shape.LngRows, Shape.LngColumns, 1, LngMaxDigits);
      ASSERT_EQ(Expected.VecFlushes.back(), Expected.StgText.size());
      for (const long LngThreads : {2L, 3L, 7L}) {
        const TWritten Written =
            Write(VecCells, Shape.LngRows, Shape.LngColumns, LngThreads, LngMaxDigits);
        EXPECT_TRUE(Written.StgText == Expected.StgText)
            << Shape.LngRows << " x " << Shape.LngColumns << ", " << LngThreads << " threads, "
            << LngMaxDigits << " digits";
        // A flush at the end of every row, and one at the very end.
        EXPECT_EQ(Written.VecFlushes, Expected.VecFlushes)
            << Shape.LngRows << " x " << Shape.LngColumns << ", " << LngThreads << " threads, "
            << LngMaxDigits << " digits";
      }
    }
  }
}

TEST(GridWriterTest, NothingIsWrittenAfterTheStreamFails) {
  const std::vector<double> VecCells = MakeCells(300 * 333);
  const std::string StgAll = Write(VecCells, 300, 333, 1).StgText;
  for (const long LngThreads : {1L, 2L, 7L}) {
    TRecordingBuffer Buffer(StgAll.size() / 3);
    std::ostream Output(&Buffer);
    tessgrid::detail::WriteRows(
        Output, [&](std::size_t LngRow) { return VecCells.data() + LngRow * 333; }, 300, 333, ' ',
        LngThreads);
    EXPECT_TRUE(Output.bad()) << LngThreads << " threads";
    EXPECT_EQ(Buffer.MbrStgText, StgAll.substr(0, StgAll.size() / 3)) << LngThreads << " threads";
  }
}

TEST(GridWriterTest, ALayoutsCornerIsWrittenAsGivenNotRebuiltFromTheAxes) {
  // A thousand rows of 0.1 from yllcorner 0: an operation rebuilds the edges from the centres,
  // and the southern edge drifts off zero.
  const auto PtrRead = tessgrid_test::MakeMap(0, 0, 0.1, HardRows(1000, 3));
  const std::unique_ptr<TMap> PtrResult(TMapTools::Multiply(PtrRead.get(), 1.0));
  ASSERT_NE(GridLayoutOf(*PtrResult).DblSouth, 0.0);
  TGridLayout Layout = GridLayoutOf(*PtrRead);
  Layout.IntDigits = 17;
  const std::string StgText = WriteWithLayout(*PtrResult, Layout);
  EXPECT_EQ(StgText.substr(0, StgText.find("\nNODATA")),
            "ncols 3\nnrows 1000\nxllcorner        0\nyllcorner        0\ncellsize 0.1");
  const auto PtrBack = Load(StgText);
  EXPECT_EQ(GridLayoutOf(*PtrBack).DblSouth, 0.0);
  for (std::size_t LngRow = 0; LngRow < 1000; ++LngRow) {
    for (std::size_t LngColumn = 0; LngColumn < 3; ++LngColumn) {
      ASSERT_TRUE(SameBits(PtrBack->MbrVecValues[LngRow][LngColumn],
                           PtrResult->MbrVecValues[LngRow][LngColumn]))
          << LngRow << ", " << LngColumn;
    }
  }
}

TEST(GridWriterTest, SeventeenDigitsBringEveryCellAndHeaderRealBack) {
  const auto PtrMap = tessgrid_test::MakeMap(0, 0, 1, HardRows(40, 250));
  const TGridLayout Layout{250, 40, 0.1 + 0.2, -1.0 / 3.0, 2.0 / 3.0, -9999.123456789012, 17};
  const auto PtrBack = Load(WriteWithLayout(*PtrMap, Layout));
  const TGridLayout Back = GridLayoutOf(*PtrBack);
  EXPECT_EQ(Back.DblWest, Layout.DblWest);
  EXPECT_EQ(Back.DblSouth, Layout.DblSouth);
  EXPECT_EQ(Back.DblCellSize, Layout.DblCellSize);
  EXPECT_EQ(Back.DblNoData, Layout.DblNoData);
  for (std::size_t LngRow = 0; LngRow < 40; ++LngRow) {
    for (std::size_t LngColumn = 0; LngColumn < 250; ++LngColumn) {
      ASSERT_TRUE(SameBits(PtrBack->MbrVecValues[LngRow][LngColumn],
                           PtrMap->MbrVecValues[LngRow][LngColumn]))
          << LngRow << ", " << LngColumn;
    }
  }
}

TEST(GridWriterTest, ANoDataValueThatIsNotANumberIsWrittenAsTheReaderReadsIt) {
  const auto PtrMap = tessgrid_test::MakeMap(0, 0, 1, {{1, std::nan("")}});
  TGridLayout Layout = GridLayoutOf(*PtrMap);
  Layout.DblNoData = std::numeric_limits<double>::quiet_NaN();
  const std::string StgText = WriteWithLayout(*PtrMap, Layout);
  EXPECT_NE(StgText.find("\nNODATA_value nan\n1 nan \n"), std::string::npos) << StgText;
  EXPECT_TRUE(std::isnan(Load(StgText)->MbrDblNoDataValue));
}

TEST(GridWriterTest, AGridDeclaringNaNWritesWholeNumbersAsRealsOnEveryThreadCount) {
  // Readers that type a grid by its cells would take one of whole numbers for integers, where
  // nan is no value.
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  const auto PtrMap =
      tessgrid_test::MakeMap(0, 0, 1, {{DblNaN, 7, -2, 0.5}, {-0.0, 1e20, 123456789012.0, 1e-7}});
  TGridLayout Layout = GridLayoutOf(*PtrMap);
  Layout.DblNoData = DblNaN;
  const std::string StgPlain = WriteWithLayout(*PtrMap, Layout);
  EXPECT_NE(StgPlain.find("\nNODATA_value nan\nnan 7 -2 0.5 \n-0 1e+20 123456789012 1e-07 \n"),
            std::string::npos)
      << StgPlain;
  Layout.BlnNaNNoData = true;
  const std::string StgMarked = WriteWithLayout(*PtrMap, Layout);
  EXPECT_NE(
      StgMarked.find("\nNODATA_value nan\n nan 7.0 -2.0 0.5 \n -0.0 1e+20 123456789012.0 1e-07 \n"),
      std::string::npos)
      << StgMarked;
  const auto PtrBack = Load(StgMarked);
  EXPECT_TRUE(std::isnan(PtrBack->MbrDblNoDataValue));
  for (std::size_t LngRow = 0; LngRow < 2; ++LngRow) {
    for (std::size_t LngColumn = 0; LngColumn < 4; ++LngColumn) {
      const double DblCell = PtrMap->MbrVecValues[LngRow][LngColumn];
      const double DblBack = PtrBack->MbrVecValues[LngRow][LngColumn];
      EXPECT_TRUE(SameBits(DblBack, DblCell) || (std::isnan(DblBack) && std::isnan(DblCell)))
          << LngRow << ", " << LngColumn;
    }
  }
  // The threads' blocks take the marks as the one writer does, under every digit cap.
  const std::vector<double> VecCells = MakeCells(200 * 333);
  for (const int LngMaxDigits : {12, 17}) {
    const std::string StgOne = Write(VecCells, 200, 333, 1, LngMaxDigits, true).StgText;
    for (const long LngThreads : {2L, 7L}) {
      EXPECT_TRUE(Write(VecCells, 200, 333, LngThreads, LngMaxDigits, true).StgText == StgOne)
          << LngThreads << " threads, " << LngMaxDigits << " digits";
    }
    std::istringstream Tokens(StgOne);
    for (std::string StgToken; Tokens >> StgToken;) {
      ASSERT_NE(StgToken.find_first_not_of("-0123456789"), std::string::npos) << StgToken;
    }
  }
}

TEST(GridWriterTest, TheRuleLayoutOfAMapWritesWhatWriteARCGISFileWrites) {
  const auto PtrMap = tessgrid_test::MakeMap(512345.125, 5123456.75, 0.1, HardRows(7, 5), -9999.5);
  std::ostringstream Expected;
  TARCGISFileTools::WriteARCGISFile(PtrMap.get(), Expected);
  TGridLayout Layout{5, 7, 512345.125, 5123456.75, 0.1, -9999.5};
  EXPECT_EQ(WriteWithLayout(*PtrMap, Layout), Expected.str());
  Layout.IntDigits = 12;
  EXPECT_EQ(WriteWithLayout(*PtrMap, Layout), Expected.str());
  EXPECT_EQ(WriteWithLayout(*PtrMap, GridLayoutOf(*PtrMap)), Expected.str());
}

TEST(GridWriterTest, ALayoutThatDoesNotFitTheMapIsRejectedBeforeWriting) {
  const auto PtrMap = tessgrid_test::MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}});
  const TGridLayout Layout = GridLayoutOf(*PtrMap);
  std::ostringstream Output;
  for (const int IntDigits : {-1, 1, 5, 18}) {
    TGridLayout Wrong = Layout;
    Wrong.IntDigits = IntDigits;
    EXPECT_MESSAGE(WriteGridWithLayout(*PtrMap, Wrong, Output),
                   "Grid layout digits must be 0 or from 6 to 17 in WriteGridWithLayout");
  }
  TGridLayout Wrong = Layout;
  Wrong.LngColumns = 4;
  EXPECT_STRING_MESSAGE(WriteGridWithLayout(*PtrMap, Wrong, Output),
                        "Grid layout has 4 columns but the map has 3 in WriteGridWithLayout");
  Wrong = Layout;
  Wrong.LngRows = 1;
  EXPECT_STRING_MESSAGE(WriteGridWithLayout(*PtrMap, Wrong, Output),
                        "Grid layout has 1 rows but the map has 2 in WriteGridWithLayout");
  PtrMap->MbrVecValues[1].pop_back();
  EXPECT_MESSAGE(WriteGridWithLayout(*PtrMap, Layout, Output),
                 "Map rows do not match its dimensions in WriteGridWithLayout");
  EXPECT_EQ(Output.str(), "");
}
