// bench/NumberTextBench.cpp - the writers' number text against the simplest correct design, on the
// kinds of values grids hold; prints the ratios of one run, one per kind.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "io/NumberText.h"

namespace {

constexpr int kLngValues = 1 << 18;

// The simplest correct design of the digit rule for the default format: the shortest digits from
// to_chars, laid out as %g lays them out with p = max(precision, digits); to_chars(general, p)
// where those digits cannot serve: more than twelve of them, a precision beyond fifteen, or a
// subnormal value, whose correctly rounded p digits are not its shortest digits padded.
std::size_t SimpleFormat(char* PtrOut, double DblValue, int LngPrecision) {
  char ChrSci[32];
  const std::to_chars_result Result =
      std::to_chars(ChrSci, ChrSci + sizeof ChrSci, DblValue, std::chars_format::scientific);
  const char* PtrE = std::find(ChrSci, Result.ptr, 'e');
  const char* PtrFirst = ChrSci + (ChrSci[0] == '-' ? 1 : 0);
  if (PtrE == Result.ptr || *PtrFirst < '0' || *PtrFirst > '9') {
    std::memcpy(PtrOut, ChrSci, static_cast<std::size_t>(Result.ptr - ChrSci));
    return static_cast<std::size_t>(Result.ptr - ChrSci);
  }
  char ChrDigits[24];
  int LngDigits = 0;
  for (const char* PtrChar = PtrFirst; PtrChar != PtrE; ++PtrChar) {
    if (*PtrChar != '.') {
      ChrDigits[LngDigits++] = *PtrChar;
    }
  }
  int LngExponent = 0;
  std::from_chars(PtrE + 2, Result.ptr, LngExponent);
  LngExponent = PtrE[1] == '-' ? -LngExponent : LngExponent;
  const int LngP = std::max(LngPrecision, std::min(LngDigits, 12));
  if (LngDigits > LngP || LngP > 15 || LngExponent < -308) {
    return static_cast<std::size_t>(
        std::to_chars(PtrOut, PtrOut + 64, DblValue, std::chars_format::general, LngP).ptr -
        PtrOut);
  }
  char* PtrNext = PtrOut;
  if (DblValue < 0 || (DblValue == 0 && ChrSci[0] == '-')) {
    *PtrNext++ = '-';
  }
  if (LngExponent < -4 || LngExponent >= LngP) {
    *PtrNext++ = ChrDigits[0];
    if (LngDigits > 1) {
      *PtrNext++ = '.';
      std::memcpy(PtrNext, ChrDigits + 1, static_cast<std::size_t>(LngDigits - 1));
      PtrNext += LngDigits - 1;
    }
    PtrNext += std::snprintf(PtrNext, 8, "e%c%02d", LngExponent < 0 ? '-' : '+',
                             LngExponent < 0 ? -LngExponent : LngExponent);
  } else if (LngExponent >= 0) {
    for (int LngI = 0; LngI < std::max(LngDigits, LngExponent + 1); ++LngI) {
      if (LngI == LngExponent + 1) {
        *PtrNext++ = '.';
      }
      *PtrNext++ = LngI < LngDigits ? ChrDigits[LngI] : '0';
    }
  } else {
    *PtrNext++ = '0';
    *PtrNext++ = '.';
    for (int LngI = -1; LngI > LngExponent; --LngI) {
      *PtrNext++ = '0';
    }
    std::memcpy(PtrNext, ChrDigits, static_cast<std::size_t>(LngDigits));
    PtrNext += LngDigits;
  }
  return static_cast<std::size_t>(PtrNext - PtrOut);
}

// FormatNumber alone, without the writers' inline plain-decimal path.
std::size_t NumberOnlyFormat(char* PtrOut, double DblValue,
                             const tessgrid::detail::TNumberFormat& Format) {
  return tessgrid::detail::FormatNumber(PtrOut, tessgrid::detail::kLngNumberChars, DblValue,
                                        Format);
}

// What the writers do for every value: the inline plain-decimal path, then FormatNumber.
std::size_t LibraryFormat(char* PtrOut, double DblValue,
                          const tessgrid::detail::TNumberFormat& Format) {
  const std::size_t LngPlain =
      tessgrid::detail::FormatPlainDecimal(PtrOut, DblValue, Format.LngPrecision);
  if (LngPlain != 0) {
    return LngPlain;
  }
  return tessgrid::detail::FormatNumber(PtrOut, tessgrid::detail::kLngNumberChars, DblValue,
                                        Format);
}

double Decimal(std::mt19937_64& Random, double DblLow, double DblHigh, int LngDecimals) {
  std::uniform_real_distribution<double> Uniform(DblLow, DblHigh);
  char ChrText[64];
  std::snprintf(ChrText, sizeof ChrText, "%.*f", LngDecimals, Uniform(Random));
  return std::strtod(ChrText, nullptr);
}

// The kinds of values, each of which one path of the library is there for.
enum class TKind { kElevations, kFractions, kLargeIntegers, kSums, kSubnormals };

const std::vector<double>& Values(TKind Kind) {
  static std::map<TKind, std::vector<double>> MapValues;
  std::vector<double>& VecValues = MapValues[Kind];
  if (!VecValues.empty()) {
    return VecValues;
  }
  std::mt19937_64 Random(static_cast<unsigned>(Kind) + 1);
  std::uniform_int_distribution<int> Decimals(0, 6);
  for (int LngI = 0; LngI < kLngValues; ++LngI) {
    switch (Kind) {
      case TKind::kElevations:  // a read grid: up to 6 decimals, 1% no-data
        VecValues.push_back(LngI % 100 == 0 ? -9999.0
                                            : Decimal(Random, 250.0, 300.0, Decimals(Random)));
        break;
      case TKind::kFractions:  // rates and factors below 1
        VecValues.push_back(Decimal(Random, -0.5, 0.5, 2 + Decimals(Random)));
        break;
      case TKind::kLargeIntegers:  // counts and projected coordinates of 7 to 12 digits
        VecValues.push_back(
            std::floor(Decimal(Random, 1e6, 1e12, 0) / std::pow(10.0, Decimals(Random))) + 1e6);
        break;
      case TKind::kSums:  // a sum or a product of two read grids: one rounding off a decimal
        VecValues.push_back(LngI % 2 == 0
                                ? Decimal(Random, 250.0, 300.0, 3) + Decimal(Random, -1.0, 1.0, 5)
                                : Decimal(Random, 250.0, 300.0, 3) * Decimal(Random, 0.0, 2.0, 4));
        break;
      case TKind::kSubnormals: {  // any bits below the smallest normal double
        std::uint64_t LngBits = Random() >> 12 >> (Random() % 52);
        LngBits += LngBits == 0 ? 1 : 0;
        double DblValue = 0.0;
        std::memcpy(&DblValue, &LngBits, sizeof DblValue);
        VecValues.push_back(DblValue);
        break;
      }
    }
  }
  return VecValues;
}

tessgrid::detail::TNumberFormat DefaultFormat() {
  std::ostringstream Stream;
  return tessgrid::detail::NumberFormatOf(Stream);
}

template <std::size_t (*Formatter)(char*, double, const tessgrid::detail::TNumberFormat&)>
void BM_Formatter(benchmark::State& State, TKind Kind) {
  const std::vector<double>& VecValues = Values(Kind);
  const tessgrid::detail::TNumberFormat Format = DefaultFormat();
  std::vector<char> VecText(VecValues.size() * 32);
  for (auto _ : State) {
    char* PtrNext = VecText.data();
    for (const double DblValue : VecValues) {
      PtrNext += Formatter(PtrNext, DblValue, Format);
      *PtrNext++ = ' ';
    }
    benchmark::DoNotOptimize(VecText.data());
  }
}

void BM_Simple(benchmark::State& State, TKind Kind) {
  const std::vector<double>& VecValues = Values(Kind);
  std::vector<char> VecText(VecValues.size() * 32);
  for (auto _ : State) {
    char* PtrNext = VecText.data();
    for (const double DblValue : VecValues) {
      PtrNext += SimpleFormat(PtrNext, DblValue, 6);
      *PtrNext++ = ' ';
    }
    benchmark::DoNotOptimize(VecText.data());
  }
}

const std::vector<std::pair<const char*, TKind>>& Kinds() {
  static const std::vector<std::pair<const char*, TKind>> VecKinds = {
      {"Elevations", TKind::kElevations},
      {"Fractions", TKind::kFractions},
      {"LargeIntegers", TKind::kLargeIntegers},
      {"Sums", TKind::kSums},
      {"Subnormals", TKind::kSubnormals}};
  return VecKinds;
}

// Keeps the mean CPU time of every run so that main can print the ratios of this one run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& VecRuns) override {
    for (const Run& ThisRun : VecRuns) {
      if (ThisRun.run_type == Run::RT_Iteration && ThisRun.iterations > 0) {
        MbrMapSeconds[ThisRun.benchmark_name()] =
            ThisRun.cpu_accumulated_time / static_cast<double>(ThisRun.iterations);
      }
    }
    ConsoleReporter::ReportRuns(VecRuns);
  }
  double Seconds(const std::string& StgName) const {
    const auto It = MbrMapSeconds.find(StgName);
    return It == MbrMapSeconds.end() ? 0.0 : It->second;
  }

 private:
  std::map<std::string, double> MbrMapSeconds;
};

}  // namespace

int main(int LngArgc, char** PtrArgv) {
  benchmark::Initialize(&LngArgc, PtrArgv);
  for (const auto& [PtrName, Kind] : Kinds()) {
    const std::vector<double>& VecValues = Values(Kind);
    // Both designs must write the same text, or the comparison means nothing.
    const tessgrid::detail::TNumberFormat Format = DefaultFormat();
    for (const double DblValue : VecValues) {
      char ChrLibrary[64];
      char ChrSimple[64];
      const std::size_t LngLibrary = LibraryFormat(ChrLibrary, DblValue, Format);
      const std::size_t LngSimple = SimpleFormat(ChrSimple, DblValue, 6);
      if (std::string(ChrLibrary, LngLibrary) != std::string(ChrSimple, LngSimple)) {
        std::printf("%s: the designs differ at %.17g: %.*s and %.*s\n", PtrName, DblValue,
                    static_cast<int>(LngLibrary), ChrLibrary, static_cast<int>(LngSimple),
                    ChrSimple);
        return 1;
      }
    }
    benchmark::RegisterBenchmark((std::string("BM_Library/") + PtrName).c_str(),
                                 BM_Formatter<LibraryFormat>, Kind)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("BM_NumberOnly/") + PtrName).c_str(),
                                 BM_Formatter<NumberOnlyFormat>, Kind)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("BM_Simple/") + PtrName).c_str(), BM_Simple, Kind)
        ->Unit(benchmark::kMicrosecond);
  }
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  // library: what the writers run; number only: FormatNumber without the inline path; simple:
  // the simplest correct design. A ratio is simple / the other, so above 1 means faster.
  std::printf("\n%-14s %11s %13s %10s %15s %14s\n", "values", "library ns", "number only ns",
              "simple ns", "simple/library", "simple/number");
  for (const auto& [PtrName, Kind] : Kinds()) {
    const double DblLibrary = Reporter.Seconds(std::string("BM_Library/") + PtrName);
    const double DblNumber = Reporter.Seconds(std::string("BM_NumberOnly/") + PtrName);
    const double DblSimple = Reporter.Seconds(std::string("BM_Simple/") + PtrName);
    if (DblLibrary > 0.0 && DblNumber > 0.0 && DblSimple > 0.0) {
      std::printf("%-14s %11.1f %13.1f %10.1f %14.2fx %13.2fx\n", PtrName,
                  DblLibrary / kLngValues * 1e9, DblNumber / kLngValues * 1e9,
                  DblSimple / kLngValues * 1e9, DblSimple / DblLibrary, DblSimple / DblNumber);
    }
  }
  benchmark::Shutdown();
  return 0;
}
