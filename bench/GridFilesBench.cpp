// bench/GridFilesBench.cpp - speed of the grid reader and writer against plain iostream code and
// bare from_chars / to_chars loops over the same 3000 x 3000 realistic grid, and of file loading
// on 1 and 2 threads (TESSGRID_THREADS); prints the ratios.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "bench/support/GridText.h"
#include "io/GridWriter.h"
#include "io/TARCGISFileTools.h"
#include "ops/TMapTools.h"

namespace {

constexpr long kLngColumns = 3000;
constexpr long kLngRows = 3000;

const std::string& GridText() {
  static const std::string StgText =
      tessgrid_bench::MakeGridText(kLngColumns, kLngRows, 25.0, 512345.0, 5123456.0, 7);
  return StgText;
}

// Offset of the first cell value: just after the sixth header line.
std::size_t CellsStart() {
  std::size_t LngAt = 0;
  for (int LngLine = 0; LngLine < 6; ++LngLine) {
    LngAt = GridText().find('\n', LngAt) + 1;
  }
  return LngAt;
}

// Reads a string in place, so no variant pays for copying the text into a stream. It can seek,
// as a string stream can, so the reader takes it in blocks.
class TMemoryBuffer : public std::streambuf {
 public:
  explicit TMemoryBuffer(const std::string& StgText) {
    char* PtrBegin = const_cast<char*>(StgText.data());
    setg(PtrBegin, PtrBegin, PtrBegin + StgText.size());
  }

 protected:
  pos_type seekoff(off_type LngOffset, std::ios_base::seekdir Direction,
                   std::ios_base::openmode) override {
    const off_type LngBase = Direction == std::ios_base::beg   ? 0
                             : Direction == std::ios_base::cur ? gptr() - eback()
                                                               : egptr() - eback();
    return seekpos(pos_type(LngBase + LngOffset), std::ios_base::in);
  }
  pos_type seekpos(pos_type LngPosition, std::ios_base::openmode) override {
    const off_type LngAt = LngPosition;
    if (LngAt < 0 || LngAt > egptr() - eback()) {
      return pos_type(off_type(-1));
    }
    setg(eback(), eback() + LngAt, egptr());
    return LngPosition;
  }
};

// The same text without seeking: the reader takes it byte by byte up to the last cell.
class TUnseekableBuffer : public std::streambuf {
 public:
  explicit TUnseekableBuffer(const std::string& StgText) {
    char* PtrBegin = const_cast<char*>(StgText.data());
    setg(PtrBegin, PtrBegin, PtrBegin + StgText.size());
  }
};

// The text as a file (in the page cache after the first load), as the command reads it.
const std::string& GridFile() {
  static const std::string StgName = [] {
    std::string StgTemplate = "/tmp/gridfilesbench-XXXXXX";
    const int LngDescriptor = ::mkstemp(&StgTemplate[0]);
    std::ofstream(StgTemplate, std::ios::binary) << GridText();
    ::close(LngDescriptor);
    return StgTemplate;
  }();
  return StgName;
}

// Takes every character and keeps none, so writers are timed without a disk or a growing string.
class TDiscardBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type LngChar) override { return traits_type::not_eof(LngChar); }
  std::streamsize xsputn(const char*, std::streamsize LngCount) override { return LngCount; }
};

const TMap& LoadedMap() {
  static const std::unique_ptr<TMap> PtrMap = [] {
    TMemoryBuffer Buffer(GridText());
    std::istream Input(&Buffer);
    return std::unique_ptr<TMap>(TARCGISFileTools::LoadARCGISFile(Input));
  }();
  return *PtrMap;
}

void BM_Load(benchmark::State& State) {
  for (auto _ : State) {
    TMemoryBuffer Buffer(GridText());
    std::istream Input(&Buffer);
    std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(Input));
    benchmark::DoNotOptimize(PtrMap->MbrVecValues.data());
  }
}

void BM_LoadUnseekable(benchmark::State& State) {
  for (auto _ : State) {
    TUnseekableBuffer Buffer(GridText());
    std::istream Input(&Buffer);
    std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(Input));
    benchmark::DoNotOptimize(PtrMap->MbrVecValues.data());
  }
}

// The file-name form on State.range(0) threads.
void BM_LoadFile(benchmark::State& State) {
  ::setenv("TESSGRID_THREADS", std::to_string(State.range(0)).c_str(), 1);
  for (auto _ : State) {
    std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(GridFile()));
    benchmark::DoNotOptimize(PtrMap->MbrVecValues.data());
  }
  ::unsetenv("TESSGRID_THREADS");
}

// The reader as formatted extraction writes it: one >> per value into the map.
void BM_LoadIostream(benchmark::State& State) {
  for (auto _ : State) {
    TMemoryBuffer Buffer(GridText());
    std::istream Input(&Buffer);
    std::string StgKey;
    long LngColumns = 0;
    long LngRows = 0;
    double DblXll = 0.0;
    double DblYll = 0.0;
    double DblCellSize = 0.0;
    double DblNoData = 0.0;
    Input >> StgKey >> LngColumns >> StgKey >> LngRows >> StgKey >> DblXll >> StgKey >> DblYll >>
        StgKey >> DblCellSize >> StgKey >> DblNoData;
    TMap Map(DblCellSize, LngColumns, LngRows);
    for (long LngY = 0; LngY < LngRows; ++LngY) {
      for (long LngX = 0; LngX < LngColumns; ++LngX) {
        double DblValue = 0.0;
        Input >> DblValue;
        Map.SetPoint(LngX, LngY, DblValue);
      }
    }
    benchmark::DoNotOptimize(Map.MbrVecValues.data());
  }
}

// Only the parsing: from_chars over every value of the text, nothing stored.
void BM_BareParse(benchmark::State& State) {
  const char* const PtrBegin = GridText().data() + CellsStart();
  const char* const PtrEnd = GridText().data() + GridText().size();
  for (auto _ : State) {
    double DblSum = 0.0;
    const char* PtrNext = PtrBegin;
    while (PtrNext != PtrEnd) {
      while (PtrNext != PtrEnd && (*PtrNext == ' ' || *PtrNext == '\n')) {
        ++PtrNext;
      }
      if (PtrNext == PtrEnd) {
        break;
      }
      double DblValue = 0.0;
      PtrNext = std::from_chars(PtrNext, PtrEnd, DblValue).ptr;
      DblSum += DblValue;
    }
    benchmark::DoNotOptimize(DblSum);
  }
}

void BM_Write(benchmark::State& State) {
  TMap& Map = const_cast<TMap&>(LoadedMap());
  for (auto _ : State) {
    TDiscardBuffer Buffer;
    std::ostream Output(&Buffer);
    TARCGISFileTools::WriteARCGISFile(&Map, Output);
  }
}

// The same grid with every real in the fewest digits up to 17 that read back, as
// WriteGridWithLayout writes it for a caller who wants exact values.
void BM_WriteSeventeenDigits(benchmark::State& State) {
  const TMap& Map = LoadedMap();
  tessgrid::detail::TGridLayout Layout = tessgrid::detail::GridLayoutOf(Map);
  Layout.IntDigits = 17;
  for (auto _ : State) {
    TDiscardBuffer Buffer;
    std::ostream Output(&Buffer);
    tessgrid::detail::WriteGridWithLayout(Map, Layout, Output);
  }
}

// The writer as stream insertion writes it: one << per value, a flush per row.
void BM_WriteIostream(benchmark::State& State) {
  const TMap& Map = LoadedMap();
  for (auto _ : State) {
    TDiscardBuffer Buffer;
    std::ostream Output(&Buffer);
    Output << "ncols " << Map.MbrLngXDim << "\nnrows " << Map.MbrLngYDim << "\nxllcorner "
           << Map.MbrPtrXAxisInterval->GetPoint(0)->MbrDblX << "\nyllcorner "
           << Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim)->MbrDblY << "\ncellsize "
           << Map.MbrDblResolution << "\nNODATA_value " << Map.MbrDblNoDataValue << std::endl;
    for (long LngY = 0; LngY < Map.MbrLngYDim; ++LngY) {
      for (long LngX = 0; LngX < Map.MbrLngXDim; ++LngX) {
        Output << Map.GetPointVal(LngX, LngY) << ' ';
      }
      Output << std::endl;
    }
  }
}

// Only the formatting: to_chars(general, 6) for every value into a row buffer, nothing written.
void BM_BareFormat(benchmark::State& State) {
  const TMap& Map = LoadedMap();
  std::vector<char> VecRow(static_cast<std::size_t>(Map.MbrLngXDim) * 32 + 2);
  for (auto _ : State) {
    for (const std::vector<double>& VecValues : Map.MbrVecValues) {
      char* PtrNext = VecRow.data();
      char* const PtrEnd = VecRow.data() + VecRow.size();
      for (const double DblValue : VecValues) {
        PtrNext = std::to_chars(PtrNext, PtrEnd, DblValue, std::chars_format::general, 6).ptr;
        *PtrNext++ = ' ';
      }
      benchmark::DoNotOptimize(VecRow.data());
    }
  }
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadUnseekable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFile)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadIostream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSeventeenDigits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteIostream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareFormat)->Unit(benchmark::kMillisecond);

// Keeps the mean CPU time (the machine may be shared, so wall time would measure the neighbours) of
// every run, and the mean wall time for the runs on several threads, so that main can print the
// ratios of this one run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& VecRuns) override {
    for (const Run& ThisRun : VecRuns) {
      if (ThisRun.run_type == Run::RT_Iteration && ThisRun.iterations > 0) {
        MbrVecSeconds[ThisRun.benchmark_name()] =
            ThisRun.cpu_accumulated_time / static_cast<double>(ThisRun.iterations);
        MbrVecWallSeconds[ThisRun.benchmark_name()] =
            ThisRun.real_accumulated_time / static_cast<double>(ThisRun.iterations);
      }
    }
    ConsoleReporter::ReportRuns(VecRuns);
  }
  double Seconds(const std::string& StgName) const {
    const auto It = MbrVecSeconds.find(StgName);
    return It == MbrVecSeconds.end() ? 0.0 : It->second;
  }
  double WallSeconds(const std::string& StgName) const {
    const auto It = MbrVecWallSeconds.find(StgName);
    return It == MbrVecWallSeconds.end() ? 0.0 : It->second;
  }

 private:
  std::map<std::string, double> MbrVecSeconds;
  std::map<std::string, double> MbrVecWallSeconds;
};

void PrintRatio(const char* PtrLabel, double DblNumerator, double DblDenominator,
                const char* PtrTarget) {
  if (DblNumerator > 0.0 && DblDenominator > 0.0) {
    std::printf("%-44s %6.2fx   (target %s)\n", PtrLabel, DblNumerator / DblDenominator, PtrTarget);
  }
}

}  // namespace

int main(int LngArgc, char** PtrArgv) {
  benchmark::Initialize(&LngArgc, PtrArgv);
  GridText();
  GridFile();
  LoadedMap();
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  const double DblCells = static_cast<double>(kLngColumns) * static_cast<double>(kLngRows);
  const double DblLoad = Reporter.Seconds("BM_Load");
  const double DblLoadStream = Reporter.Seconds("BM_LoadIostream");
  const double DblParse = Reporter.Seconds("BM_BareParse");
  const double DblWrite = Reporter.Seconds("BM_Write");
  const double DblWriteStream = Reporter.Seconds("BM_WriteIostream");
  const double DblFormat = Reporter.Seconds("BM_BareFormat");
  std::printf("\nPer value: load %.1f ns, bare parse %.1f ns, write %.1f ns, bare format %.1f ns\n",
              DblLoad / DblCells * 1e9, DblParse / DblCells * 1e9, DblWrite / DblCells * 1e9,
              DblFormat / DblCells * 1e9);
  PrintRatio("iostream load / load", DblLoadStream, DblLoad, ">= 8");
  PrintRatio("iostream write / write", DblWriteStream, DblWrite, ">= 8");
  PrintRatio("load / bare from_chars parse", DblLoad, DblParse, "<= 1.2");
  PrintRatio("bare to_chars(general, 6) / write", DblFormat, DblWrite, ">= 1.5");
  PrintRatio("write, up to 17 digits / write", Reporter.Seconds("BM_WriteSeventeenDigits"),
             DblWrite, "<= 3");
  const double DblFile1 = Reporter.Seconds("BM_LoadFile/1/real_time");
  PrintRatio("file load, 1 thread / bare from_chars parse", DblFile1, DblParse, "<= 1.2");
  PrintRatio("unseekable stream load / load", Reporter.Seconds("BM_LoadUnseekable"), DblLoad,
             "as small as may be");
  PrintRatio("file load wall time, 1 thread / 2 threads",
             Reporter.WallSeconds("BM_LoadFile/1/real_time"),
             Reporter.WallSeconds("BM_LoadFile/2/real_time"), "> 1");
  ::unlink(GridFile().c_str());
  benchmark::Shutdown();
  return 0;
}
