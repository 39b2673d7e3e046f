// tests/io/GridWriterTest.cpp - the rows writer: the same text and the same flushes for every
// thread count, whatever the shape of the grid against the blocks the threads format.
#include "io/GridWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

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
               long LngThreads, std::size_t LngLimit = std::string::npos) {
  TRecordingBuffer Buffer(LngLimit);
  std::ostream Output(&Buffer);
  tessgrid::detail::WriteRows(
      Output, [&](std::size_t LngRow) { return VecCells.data() + LngRow * LngColumns; }, LngRows,
      LngColumns, ' ', LngThreads);
  return TWritten{Buffer.MbrStgText, Buffer.MbrVecFlushes};
}

}  // namespace

TEST(GridWriterTest, EveryThreadCountWritesTheSameTextAndFlushesEachRow) {
  // One column; rows as wide as the threads' blocks; rows wider than a block; blocks that end
  // inside rows.
  const struct {
    std::size_t LngRows;
    std::size_t LngColumns;
  } VecShapes[] = {{45000, 1}, {3, 20971}, {2, 50000}, {200, 333}, {1, 1}};
  for (const auto& Shape : VecShapes) {
    const std::vector<double> VecCells = MakeCells(Shape.LngRows * Shape.LngColumns);
    const TWritten Expected = Write(VecCells, Shape.LngRows, Shape.LngColumns, 1);
    ASSERT_EQ(Expected.VecFlushes.back(), Expected.StgText.size());
    for (const long LngThreads : {2L, 3L, 7L}) {
      const TWritten Written = Write(VecCells, Shape.LngRows, Shape.LngColumns, LngThreads);
      EXPECT_TRUE(Written.StgText == Expected.StgText)
          << Shape.LngRows << " x " << Shape.LngColumns << ", " << LngThreads << " threads";
      // A flush at the end of every row, and one at the very end.
      EXPECT_EQ(Written.VecFlushes, Expected.VecFlushes)
          << Shape.LngRows << " x " << Shape.LngColumns << ", " << LngThreads << " threads";
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
