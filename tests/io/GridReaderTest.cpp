// tests/io/GridReaderTest.cpp - the grid reader's bounds, exactness, read errors, thread counts
// and lenient header rule, through the public loaders and the internal entry points.
#include "io/GridReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ios>
#include <limits>
#include <memory>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "io/GridSource.h"
#include "io/TARCGISFileTools.h"
#include "io/Threads.h"
#include "tests/support/ExpectMessage.h"

namespace {

constexpr const char* kStgHeader =
    "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";

// A stream buffer that cannot seek and hands out its text a few bytes at a time, as a pipe does.
class TPipeBuffer : public std::streambuf {
 public:
  explicit TPipeBuffer(std::string StgText) : MbrStgText(std::move(StgText)) {}

 protected:
  int_type underflow() override {
    if (MbrLngAt == MbrStgText.size()) {
      return traits_type::eof();
    }
    const std::size_t LngCount = std::min<std::size_t>(5, MbrStgText.size() - MbrLngAt);
    char* PtrFirst = &MbrStgText[MbrLngAt];
    setg(PtrFirst, PtrFirst, PtrFirst + LngCount);
    MbrLngAt += LngCount;
    return traits_type::to_int_type(*PtrFirst);
  }

 private:
  std::string MbrStgText;
  std::size_t MbrLngAt = 0;
};

// Its text, then the byte ChrFill without end (up to 64 MiB); counts the bytes handed out.
class TEndlessBuffer : public std::streambuf {
 public:
  TEndlessBuffer(std::string StgText, char ChrFill) : MbrStgText(std::move(StgText)) {
    MbrVecFill.assign(4096, ChrFill);
  }
  std::size_t Served() const { return MbrLngServed - static_cast<std::size_t>(egptr() - gptr()); }

 protected:
  int_type underflow() override {
    if (MbrLngServed >= (std::size_t{64} << 20)) {
      return traits_type::eof();
    }
    char* PtrFirst =
        MbrLngServed < MbrStgText.size() ? &MbrStgText[MbrLngServed] : MbrVecFill.data();
    const std::size_t LngCount =
        MbrLngServed < MbrStgText.size() ? MbrStgText.size() - MbrLngServed : MbrVecFill.size();
    setg(PtrFirst, PtrFirst, PtrFirst + LngCount);
    MbrLngServed += LngCount;
    return traits_type::to_int_type(*PtrFirst);
  }

 private:
  std::string MbrStgText;
  std::vector<char> MbrVecFill;
  std::size_t MbrLngServed = 0;
};

// Hands out its text, then fails as the standard file buffer does on a read error (or with
// std::bad_alloc).
class TFailingBuffer : public std::streambuf {
 public:
  TFailingBuffer(std::string StgText, bool BlnOutOfMemory)
      : MbrStgText(std::move(StgText)), MbrBlnOutOfMemory(BlnOutOfMemory) {
    setg(&MbrStgText[0], &MbrStgText[0], &MbrStgText[0] + MbrStgText.size());
  }

 protected:
  int_type underflow() override {
    if (MbrBlnOutOfMemory) {
      throw std::bad_alloc();
    }
    throw std::ios_base::failure("basic_filebuf::underflow error reading the file");
  }

 private:
  std::string MbrStgText;
  bool MbrBlnOutOfMemory;
};

// Cells in one flat buffer, as a caller of the internal entry point keeps them; counts how
// often each row is asked for.
class TFlatCells final : public tessgrid::detail::TGridStorage {
 public:
  void Prepare(const tessgrid::detail::TGridHeader& Header) override {
    MbrLngColumns = static_cast<std::size_t>(Header.LngColumns);
    MbrVecCells.assign(MbrLngColumns * static_cast<std::size_t>(Header.LngRows), 0.0);
    MbrVecCalls.assign(static_cast<std::size_t>(Header.LngRows), 0);
  }
  double* Row(long LngRow) override {
    ++MbrVecCalls[static_cast<std::size_t>(LngRow)];
    return MbrVecCells.data() + static_cast<std::size_t>(LngRow) * MbrLngColumns;
  }

  std::size_t MbrLngColumns = 0;
  std::vector<double> MbrVecCells;
  std::vector<int> MbrVecCalls;  ///< one per row, each touched by one thread only
};

std::unique_ptr<TMap> Load(const std::string& StgText,
                           TGridHeaderMode Mode = TGridHeaderMode::kStrict) {
  std::istringstream Input(StgText);
  return std::unique_ptr<TMap>(TARCGISFileTools::LoadARCGISFile(Input, Mode));
}

std::unique_ptr<TMap> LoadLenient(const std::string& StgText) {
  return Load(StgText, TGridHeaderMode::kLenient);
}

// A file of the test's own, removed afterwards.
class TScratchFile {
 public:
  explicit TScratchFile(const std::string& StgText) {
    MbrStgName = std::string(TESSGRID_BINARY_DIR) + "/gridreader-XXXXXX";
    const int LngDescriptor = ::mkstemp(&MbrStgName[0]);
    std::ofstream(MbrStgName, std::ios::binary) << StgText;
    ::close(LngDescriptor);
  }
  ~TScratchFile() { ::unlink(MbrStgName.c_str()); }
  const std::string& Name() const { return MbrStgName; }

 private:
  std::string MbrStgName;
};

// The cells and header numbers of a read, or its failure message.
std::string ReadFlat(const std::string& StgFileName, long LngThreads, std::size_t LngChunk,
                     TGridHeaderMode Mode, std::vector<double>& VecCells) {
  TFlatCells Cells;
  tessgrid::detail::TReadOptions Options;
  Options.LngThreads = LngThreads;
  Options.LngChunkBytes = LngChunk;
  try {
    tessgrid::detail::LoadGridFile(StgFileName, Mode, Cells, Options);
  } catch (const std::string& StgMessage) {
    return StgMessage;
  } catch (char* PtrMessage) {
    return PtrMessage;
  }
  VecCells = Cells.MbrVecCells;
  // Every row has cells, so each is asked for exactly once.
  for (const int LngCalls : Cells.MbrVecCalls) {
    if (LngCalls != 1) {
      return "a row was asked for " + std::to_string(LngCalls) + " times";
    }
  }
  return "";
}

}  // namespace

TEST(GridReaderTest, HeaderTokensAreBoundedWhateverTheInput) {
  // An endless token, an endless value and endless leading zeros: each fails after a few
  // hundred bytes with the message of the key it stands at, as an unparsable value does.
  const struct {
    const char* PtrText;
    char ChrFill;
    const char* PtrMessage;
  } VecCases[] = {
      {"", '\0', "File format error: expected to find ncols tag"},
      {"ncols 3 nrows 2 xllcorner ", '1', "File format error: expected to find yllcorner tag"},
      {"ncols ", '0', "File format error: expectd to find nrows tag"},
      {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 1 NODATA_value ", '7',
       "File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile"},
  };
  for (const auto& Case : VecCases) {
    TEndlessBuffer Buffer(Case.PtrText, Case.ChrFill);
    std::istream Input(&Buffer);
    EXPECT_MESSAGE(TARCGISFileTools::LoadARCGISFile(Input), Case.PtrMessage);
    EXPECT_LT(Buffer.Served(), std::strlen(Case.PtrText) + 1024) << Case.PtrText;
  }
  TEndlessBuffer Buffer("", 'k');
  std::istream Input(&Buffer);
  EXPECT_STRING_MESSAGE(TARCGISFileTools::LoadARCGISFile(Input, TGridHeaderMode::kLenient),
                        std::string("File format error: unknown header key '") +
                            std::string(40, 'k') + "...' in TARCGISFileTools::LoadARCGISFile");
  EXPECT_LT(Buffer.Served(), 1024u);
  EXPECT_MESSAGE(TARCGISFileTools::LoadARCGISFile(std::string("/dev/zero")),
                 "File format error: expected to find ncols tag");
}

TEST(GridReaderTest, AStreamIsLeftRightAfterTheLastCell) {
  const std::string StgTwo =
      std::string(kStgHeader) + "1 2 3\n4 5 6 " + kStgHeader + "7 8 9 10 11 12\ttail";
  TPipeBuffer Pipe(StgTwo);
  std::istream PipeInput(&Pipe);
  std::istringstream StringInput(StgTwo);
  for (std::istream* PtrInput : {&PipeInput, static_cast<std::istream*>(&StringInput)}) {
    const std::unique_ptr<TMap> PtrFirst(TARCGISFileTools::LoadARCGISFile(*PtrInput));
    const std::unique_ptr<TMap> PtrSecond(TARCGISFileTools::LoadARCGISFile(*PtrInput));
    EXPECT_EQ(PtrFirst->MbrVecValues, (std::vector<std::vector<double>>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(PtrSecond->MbrVecValues, (std::vector<std::vector<double>>{{7, 8, 9}, {10, 11, 12}}));
    EXPECT_EQ(PtrInput->peek(), '\t');
    std::string StgRest;
    *PtrInput >> StgRest;
    EXPECT_EQ(StgRest, "tail");
  }
  // A last cell that ends the input sets end-of-file, as extraction of it would.
  TPipeBuffer Ending(std::string(kStgHeader) + "1 2 3 4 5 6");
  std::istream EndingInput(&Ending);
  delete TARCGISFileTools::LoadARCGISFile(EndingInput);
  EXPECT_TRUE(EndingInput.eof());
}

TEST(GridReaderTest, ReadErrorsAreReportedAsSuch) {
  const std::string StgRead = "Unable to read the input stream in TARCGISFileTools::LoadARCGISFile";
  for (const std::string& StgText :
       {std::string("ncols 3\nnrows"), kStgHeader + std::string("1 2")}) {
    TFailingBuffer Buffer(StgText, false);
    std::istream Input(&Buffer);
    EXPECT_MESSAGE(TARCGISFileTools::LoadARCGISFile(Input), StgRead.c_str());
    TFailingBuffer Hungry(StgText, true);
    std::istream HungryInput(&Hungry);
    EXPECT_THROW(static_cast<void>(TARCGISFileTools::LoadARCGISFile(HungryInput)), std::bad_alloc);
  }
  // Reading a process's memory at address 0 fails with EIO.
  std::ifstream Memory("/proc/self/mem");
  if (!Memory.is_open()) {
    GTEST_SKIP() << "/proc/self/mem cannot be opened here";
  }
  EXPECT_MESSAGE(TARCGISFileTools::LoadARCGISFile(Memory), StgRead.c_str());
  EXPECT_STRING_MESSAGE(TARCGISFileTools::LoadARCGISFile(std::string("/proc/self/mem")),
                        "Unable to read file /proc/self/mem");
}

TEST(GridReaderTest, EveryThreadCountAndChunkSizeGivesTheSameCells) {
  // Tokens of 1 to 15 bytes and every kind of separator, so that part and block edges fall
  // on every position of a token.
  const char* const VecTokens[] = {"7",     "-12.5", "+3",   "1e-3", ".5", "123456.789012",
                                   "-9999", "0",     "5.",   "inf",  "-0", "2.2250738585e-308",
                                   "42",    "-nan",  "1E22", "0.1"};
  const char* const VecSeparators[] = {" ", "\n", "\t", "  ", "\r\n", " \n "};
  std::string StgText =
      "ncols 7\nnrows 29\nxllcorner 1\nyllcorner 2\ncellsize 0.5\nNODATA_value -9999\n";
  for (int LngK = 0; LngK < 7 * 29; ++LngK) {
    StgText += VecTokens[(LngK * 7) % 16];
    StgText += VecSeparators[(LngK * 5) % 6];
  }
  StgText += "beyond the grid";
  const TScratchFile File(StgText);
  std::vector<double> VecExpected;
  ASSERT_EQ(ReadFlat(File.Name(), 1, tessgrid::detail::kLngDefaultChunkBytes,
                     TGridHeaderMode::kStrict, VecExpected),
            "");
  ASSERT_EQ(VecExpected.size(), 7u * 29u);
  for (const long LngThreads : {1L, 2L, 3L, 7L}) {
    for (std::size_t LngChunk = 1; LngChunk <= 48; LngChunk += 1 + LngChunk / 8) {
      std::vector<double> VecCells;
      ASSERT_EQ(ReadFlat(File.Name(), LngThreads, LngChunk, TGridHeaderMode::kStrict, VecCells),
                "");
      ASSERT_EQ(
          std::memcmp(VecCells.data(), VecExpected.data(), VecExpected.size() * sizeof(double)), 0)
          << LngThreads << " threads, chunks of " << LngChunk;
    }
  }
  // A stream that cannot seek nor tell its size is read into segments while its size is
  // unknown: the same cells, also when they cross segments, and the stream stays after them.
  std::string StgLarge =
      "ncols 301\nnrows 500\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value 0\n";
  for (int LngK = 0; LngK < 301 * 500; ++LngK) {
    StgLarge += VecTokens[(LngK * 3) % 16];
    StgLarge += VecSeparators[LngK % 6];
  }
  const TScratchFile LargeFile(StgLarge);
  std::vector<double> VecLarge;
  ASSERT_EQ(ReadFlat(LargeFile.Name(), 1, tessgrid::detail::kLngDefaultChunkBytes,
                     TGridHeaderMode::kStrict, VecLarge),
            "");
  const struct {
    const std::string* PtrText;
    const std::vector<double>* PtrCells;
    const char* PtrNext;
  } VecPipes[] = {{&StgText, &VecExpected, "beyond"}, {&StgLarge, &VecLarge, "after"}};
  for (const auto& Pipe : VecPipes) {
    for (const long LngThreads : {1L, 3L}) {
      TPipeBuffer Buffer(*Pipe.PtrText + " after");
      std::istream Input(&Buffer);
      tessgrid::detail::TStreamSource Source(Input);
      TFlatCells Cells;
      tessgrid::detail::TReadOptions Options;
      Options.LngThreads = LngThreads;
      Options.LngChunkBytes = 4096;
      tessgrid::detail::ReadGrid(Source, TGridHeaderMode::kStrict, Cells, Options);
      ASSERT_EQ(Cells.MbrVecCells.size(), Pipe.PtrCells->size());
      EXPECT_EQ(std::memcmp(Cells.MbrVecCells.data(), Pipe.PtrCells->data(),
                            Pipe.PtrCells->size() * sizeof(double)),
                0)
          << LngThreads << " threads";
      std::string StgRest;
      Input >> StgRest;
      EXPECT_EQ(StgRest, Pipe.PtrNext);
    }
  }
}

TEST(GridReaderTest, TheFirstFailureInCellOrderWins) {
  // Bad cells at cells 41 and 150 and a file that ends early: the one at cell 41 (row 2,
  // column 1) is what a reading from the first cell meets first, for every split.
  std::string StgText = "ncols 20\nnrows 10\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  std::string StgCells;
  for (int LngK = 0; LngK < 180; ++LngK) {
    StgCells += LngK == 41    ? "4..1"
                : LngK == 150 ? "x150"
                : LngK == 77  ? "-9999"
                              : std::to_string(LngK);
    StgCells += LngK % 20 == 19 ? "\n" : " ";
  }
  const TScratchFile Strict(StgText + "NODATA_value -9999\n" + StgCells);
  const TScratchFile Lenient(StgText + StgCells);
  for (const long LngThreads : {1L, 2L, 3L, 7L}) {
    for (const std::size_t LngChunk :
         {std::size_t{3}, std::size_t{16}, std::size_t{100}, std::size_t{1} << 20}) {
      std::vector<double> VecCells;
      EXPECT_EQ(ReadFlat(Strict.Name(), LngThreads, LngChunk, TGridHeaderMode::kStrict, VecCells),
                "File format error: invalid cell value '4..1' at row 2, column 1 in "
                "TARCGISFileTools::LoadARCGISFile");
      // Without NODATA_value the -9999 at cell 77 fails, but after the bad cell at 41.
      EXPECT_EQ(ReadFlat(Lenient.Name(), LngThreads, LngChunk, TGridHeaderMode::kLenient, VecCells),
                "File format error: invalid cell value '4..1' at row 2, column 1 in "
                "TARCGISFileTools::LoadARCGISFile");
    }
  }
  const TScratchFile NoDataFirst(StgText +
                                 std::string(StgCells).replace(StgCells.find("4..1"), 4, "41"));
  std::vector<double> VecCells;
  EXPECT_EQ(ReadFlat(NoDataFirst.Name(), 3, 7, TGridHeaderMode::kLenient, VecCells),
            "File format error: cell at row 3, column 17 holds -9999 but the header has no "
            "NODATA_value in TARCGISFileTools::LoadARCGISFile");
}

TEST(GridReaderTest, TheLenientRuleReadsWhatOtherWritersWrite) {
  const auto PtrStrict = Load(kStgHeader + std::string("1 2 3\n4 5 6\n"));
  // Capitals, another order, centres instead of corners.
  const auto PtrOther = LoadLenient(
      "NROWS 2\nNCOLS 3\nCELLSIZE 1\nYLLCENTER 0.5\nXLLCENTER 0.5\nNODATA_VALUE -9999\n"
      "1 2 3\n4 5 6\n");
  EXPECT_EQ(PtrOther->MbrVecValues, PtrStrict->MbrVecValues);
  EXPECT_EQ(PtrOther->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 0.0);
  EXPECT_EQ(PtrOther->MbrPtrYAxisInterval->GetPoint(2)->MbrDblY, 0.0);
  EXPECT_EQ(PtrOther->MbrPtrYAxisInterval->GetPoint(0)->MbrDblY,
            PtrStrict->MbrPtrYAxisInterval->GetPoint(0)->MbrDblY);
  // No NODATA_value: -9999, which no cell may then hold; dx equal to dy is the cell size; a
  // first cell written as nan is a cell, not a key.
  const auto PtrNoNoData =
      LoadLenient("ncols 2 nrows 1 xllcorner 0 yllcorner 0 dx 2 dy 2\nnan 5\n");
  EXPECT_EQ(PtrNoNoData->MbrDblNoDataValue, -9999.0);
  EXPECT_EQ(PtrNoNoData->MbrDblResolution, 2.0);
  EXPECT_EQ(PtrNoNoData->MbrVecValues[0][1], 5.0);
  // Messages that name a place or a key are built at run time.
  EXPECT_STRING_MESSAGE(
      LoadLenient("ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 1\n3 -9999\n"),
      "File format error: cell at row 0, column 1 holds -9999 but the header "
      "has no NODATA_value in TARCGISFileTools::LoadARCGISFile");
  EXPECT_STRING_MESSAGE(
      LoadLenient("ncols 2 nrows 1 xllcorner 0 XLLCENTER 0 yllcorner 0 cellsize 1\n3 4\n"),
      "File format error: duplicate header entry XLLCENTER in TARCGISFileTools::LoadARCGISFile");
  EXPECT_STRING_MESSAGE(
      LoadLenient("ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nbits 32\n3 4\n"),
      "File format error: unknown header key 'nbits' in TARCGISFileTools::LoadARCGISFile");
  const struct {
    const char* PtrText;
    const char* PtrMessage;
  } VecFailures[] = {
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 dx 1 dy 2\n3 4\n",
       "File format error: cells are not square (dx differs from dy) in "
       "TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 cellsize 1\n3 4\n",
       "File format error: expected to find yllcorner tag"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 dx 1\n3 4\n",
       "File format error: expected to find cellsize tag"},
      {"ncols 2.5 nrows 1 xllcorner 0 yllcorner 0 cellsize 1\n3 4\n",
       "File format error: invalid ncols in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize inf\n3 4\n",
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize",
       "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 0\n3 4\n",
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize -1\n3 4\n",
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 0 yllcorner 0 dx -2 dy -2\n3 4\n",
       "File format error: invalid dx in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcorner 1.7e308 yllcorner 0 cellsize 1e308\n3 4\n",
       "File format error: grid extent is not finite in TARCGISFileTools::LoadARCGISFile"},
      {"ncols 2 nrows 1 xllcenter -1.7e308 yllcorner 0 cellsize 1e308\n3 4\n",
       "File format error: grid extent is not finite in TARCGISFileTools::LoadARCGISFile"},
  };
  for (const auto& Failure : VecFailures) {
    EXPECT_MESSAGE(LoadLenient(Failure.PtrText), Failure.PtrMessage) << Failure.PtrText;
  }
  // The strict rule stays the default and reads none of these.
  EXPECT_MESSAGE(Load("NCOLS 3\nNROWS 2\nXLLCORNER 0\nYLLCORNER 0\nCELLSIZE 1\n1 2 3\n4 5 6\n"),
                 "File format error: expected to find ncols tag");
}

TEST(GridReaderTest, GridNumbersHeldElsewhereAreCheckedAsTheLenientRuleChecksAHeader) {
  using tessgrid::detail::CheckGridHeader;
  using tessgrid::detail::TGridHeader;
  const auto Header = [](long LngColumns, long LngRows, double DblXll, double DblYll,
                         double DblCellSize) {
    TGridHeader Result;
    Result.LngColumns = LngColumns;
    Result.LngRows = LngRows;
    Result.DblXll = DblXll;
    Result.DblYll = DblYll;
    Result.DblCellSize = DblCellSize;
    return Result;
  };
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  const double DblInf = std::numeric_limits<double>::infinity();
  EXPECT_NO_THROW(CheckGridHeader(Header(3, 2, -1e300, 1e300, 1e-300)));
  EXPECT_NO_THROW(CheckGridHeader(Header(0, 1L << 16, 0, 0, 1)));
  const struct {
    TGridHeader Numbers;
    const char* PtrMessage;
  } VecFailures[] = {
      {Header(3, 2, DblNaN, 0, 1),
       "File format error: invalid xllcorner in TARCGISFileTools::LoadARCGISFile"},
      {Header(3, 2, 0, -DblInf, 1),
       "File format error: invalid yllcorner in TARCGISFileTools::LoadARCGISFile"},
      {Header(3, 2, 0, 0, DblInf),
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {Header(3, 2, 0, 0, DblNaN),
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {Header(3, 2, 0, 0, 0),
       "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile"},
      {Header(3, 2, 0, -1e308, 1e308),
       "File format error: grid extent is not finite in TARCGISFileTools::LoadARCGISFile"},
      {Header(0, (1L << 16) + 1, 0, 0, 1),
       "File format error: ncols or nrows too large in TARCGISFileTools::LoadARCGISFile"},
      {Header(-1, 2, 0, 0, 1),
       "File format error: negative ncols or nrows in TARCGISFileTools::LoadARCGISFile"},
  };
  for (const auto& Failure : VecFailures) {
    EXPECT_MESSAGE(CheckGridHeader(Failure.Numbers), Failure.PtrMessage) << Failure.PtrMessage;
  }
}

TEST(GridReaderTest, ThreadCountComesFromTheEnvironmentUpToTheCap) {
  const char* PtrOld = std::getenv("TESSGRID_THREADS");
  const std::string StgOld = PtrOld != nullptr ? PtrOld : "";
  ::unsetenv("TESSGRID_THREADS");
  const long LngCores = tessgrid::detail::ThreadCount();
  ::setenv("TESSGRID_THREADS", "3", 1);
  EXPECT_EQ(tessgrid::detail::ThreadCount(), 3);
  for (const char* PtrText : {"0", "-2", "2x", ""}) {
    ::setenv("TESSGRID_THREADS", PtrText, 1);
    EXPECT_EQ(tessgrid::detail::ThreadCount(), LngCores) << PtrText;
  }
  const long LngCap =
      std::min(tessgrid::detail::kLngMaxThreads,
               tessgrid::detail::kLngMaxThreadsPerCore *
                   std::max(1L, static_cast<long>(std::thread::hardware_concurrency())));
  for (const char* PtrText : {"1024", "100000", "99999999999999999999"}) {
    ::setenv("TESSGRID_THREADS", PtrText, 1);
    EXPECT_EQ(tessgrid::detail::ThreadCount(), LngCap) << PtrText;
  }
  if (PtrOld != nullptr) {
    ::setenv("TESSGRID_THREADS", StgOld.c_str(), 1);
  } else {
    ::unsetenv("TESSGRID_THREADS");
  }
}

TEST(GridReaderTest, AParkedFileReadsOnWhereItWasLeftWhileItIsTheSameFile) {
  const std::string StgName = ::testing::TempDir() + "parked_" + std::to_string(::getpid());
  const std::string StgOther = StgName + ".other";
  // Beyond the source's read-ahead of the header, so that a parked file is sought again.
  std::string StgText = kStgHeader;
  for (int IntRow = 0; IntRow < 3000; ++IntRow) {
    StgText += std::to_string(IntRow) + " 2 3\n";
  }
  std::ofstream(StgName, std::ios::binary) << StgText;
  const auto ReadAll = [](tessgrid::detail::TFileSource& Source) {
    std::string StgRead;
    char ArrBlock[1000];
    std::size_t LngGot = 0;
    tessgrid::detail::TReadEnd End = tessgrid::detail::TReadEnd::kFull;
    while (End == tessgrid::detail::TReadEnd::kFull) {
      Source.Resume();
      End = Source.Read(ArrBlock, sizeof ArrBlock, 0, false, LngGot);
      Source.Park();
      StgRead.append(ArrBlock, LngGot);
    }
    return StgRead;
  };
  {
    // A byte taken for the header leaves its read-ahead in the source while it is parked.
    tessgrid::detail::TFileSource Source(StgName);
    ASSERT_EQ(Source.Peek(), 'n');
    Source.Take();
    Source.Park();
    EXPECT_EQ(ReadAll(Source), StgText.substr(1));
  }
  {
    // Another file renamed over the name is not read on as if it were the first.
    tessgrid::detail::TFileSource Source(StgName);
    Source.Park();
    std::ofstream(StgOther, std::ios::binary) << StgText;
    ASSERT_EQ(std::rename(StgOther.c_str(), StgName.c_str()), 0);
    EXPECT_STRING_MESSAGE(Source.Resume(), "Unable to read file " + StgName);
    // Gone, it cannot be opened again.
    ASSERT_EQ(std::remove(StgName.c_str()), 0);
    EXPECT_STRING_MESSAGE(Source.Resume(), "Unable to open file " + StgName);
  }
  {
    // Where the process may open no more files, the message says so and names the limit.
    std::ofstream(StgName, std::ios::binary) << StgText;
    tessgrid::detail::TFileSource Source(StgName);
    Source.Park();
    // The lowest free descriptor as the limit: every one below it is taken.
    const int IntFree = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(IntFree, 0);
    ::close(IntFree);
    rlimit Before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &Before), 0);
    rlimit Starved = Before;
    Starved.rlim_cur = static_cast<rlim_t>(IntFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &Starved), 0);
    const testing::AssertionResult Result = tessgrid_test::ThrowsMessage(
        [&Source]() { Source.Resume(); },
        "Unable to open file " + StgName + ": too many files are open at once (the limit is " +
            std::to_string(IntFree) + "); raise it with ulimit -n",
        tessgrid_test::TMessageKind::kString);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &Before), 0);
    EXPECT_TRUE(Result);
    std::remove(StgName.c_str());
  }
}
