// bench/tools/NaiveSeries.cpp - the bare loop the series commands are measured against: the
// cell-wise average of N grids on one grid. Usage: NaiveSeries OutputFile InputFile...
// No library code; run by bench/series.sh.
//
// Slurps each file in turn, parses every number with std::from_chars and adds it to a running sum
// (a no-data cell in any grid makes the cell no-data), then formats every average with
// std::to_chars (general, 6 digits) into one buffer and writes it with one fwrite.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/support/Slurp.h"

namespace {

using tessgrid_bench::Slurp;

bool IsBlank(char ChrC) {
  return ChrC == ' ' || ChrC == '\n' || ChrC == '\r' || ChrC == '\t';
}

// Adds the file's cells to the sums; the header's six numbers go to PtrHeader.
bool AddGrid(const std::string& StgText, double* PtrHeader, std::vector<double>& VecSums,
             std::vector<char>& VecNoData) {
  const char* PtrAt = StgText.data();
  const char* const PtrEnd = PtrAt + StgText.size();
  for (int IntI = 0; IntI < 6; ++IntI) {
    while (PtrAt < PtrEnd && IsBlank(*PtrAt))
      ++PtrAt;
    while (PtrAt < PtrEnd && !IsBlank(*PtrAt))
      ++PtrAt;
    while (PtrAt < PtrEnd && IsBlank(*PtrAt))
      ++PtrAt;
    const auto Result = std::from_chars(PtrAt, PtrEnd, PtrHeader[IntI]);
    if (Result.ec != std::errc()) {
      return false;
    }
    PtrAt = Result.ptr;
  }
  const std::size_t LngCells =
      static_cast<std::size_t>(PtrHeader[0]) * static_cast<std::size_t>(PtrHeader[1]);
  if (VecSums.empty()) {
    VecSums.assign(LngCells, 0.0);
    VecNoData.assign(LngCells, 0);
  }
  if (VecSums.size() != LngCells) {
    return false;
  }
  for (std::size_t LngI = 0; LngI < LngCells; ++LngI) {
    while (PtrAt < PtrEnd && IsBlank(*PtrAt))
      ++PtrAt;
    double DblValue = 0.0;
    const auto Result = std::from_chars(PtrAt, PtrEnd, DblValue);
    if (Result.ec != std::errc()) {
      return false;
    }
    PtrAt = Result.ptr;
    VecNoData[LngI] |= static_cast<char>(DblValue == PtrHeader[5]);
    VecSums[LngI] += DblValue;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::puts("Usage: NaiveSeries OutputFile InputFile...");
    return 1;
  }
  double ArrHeader[6] = {};
  std::vector<double> VecSums;
  std::vector<char> VecNoData;
  std::string StgText;
  for (int IntI = 2; IntI < argc; ++IntI) {
    if (!Slurp(argv[IntI], StgText) || !AddGrid(StgText, ArrHeader, VecSums, VecNoData)) {
      std::printf("Cannot read %s\n", argv[IntI]);
      return 1;
    }
  }
  const double DblCount = static_cast<double>(argc - 2);
  const long LngCols = static_cast<long>(ArrHeader[0]);
  std::string StgOut;
  StgOut.reserve(VecSums.size() * 10 + 256);
  char ChrBuffer[256];
  std::snprintf(
      ChrBuffer, sizeof ChrBuffer,
      "ncols %ld\nnrows %ld\nxllcorner %8g\nyllcorner %8g\ncellsize %g\nNODATA_value %g\n", LngCols,
      static_cast<long>(ArrHeader[1]), ArrHeader[2], ArrHeader[3], ArrHeader[4], ArrHeader[5]);
  StgOut += ChrBuffer;
  for (std::size_t LngI = 0; LngI < VecSums.size(); ++LngI) {
    const double DblValue = VecNoData[LngI] != 0 ? ArrHeader[5] : VecSums[LngI] / DblCount;
    const auto Result = std::to_chars(ChrBuffer, ChrBuffer + sizeof ChrBuffer, DblValue,
                                      std::chars_format::general, 6);
    StgOut.append(ChrBuffer, static_cast<std::size_t>(Result.ptr - ChrBuffer));
    StgOut += (LngI + 1) % static_cast<std::size_t>(LngCols) == 0 ? '\n' : ' ';
  }
  std::FILE* PtrFile = std::fopen(argv[1], "wb");
  if (PtrFile == nullptr ||
      std::fwrite(StgOut.data(), 1, StgOut.size(), PtrFile) != StgOut.size() ||
      std::fclose(PtrFile) != 0) {
    std::printf("Cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
