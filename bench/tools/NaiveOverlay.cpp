// bench/tools/NaiveOverlay.cpp - the bare loop the command is measured against: sum of two grids.
// Usage: NaiveOverlay InputFile1 InputFile2 OutputFile. No library code; run by bench/overlay.sh.
//
// Slurps both files, parses every number with std::from_chars, adds with the no-data rule on the
// finer grid (the partner cell found from the header arithmetic), formats every value with
// std::to_chars (general, 6 digits) into one buffer and writes it with one fwrite.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/support/Slurp.h"

namespace {

using tessgrid_bench::Slurp;

struct TGrid {
  long LngCols = 0;
  long LngRows = 0;
  double DblXll = 0;
  double DblYll = 0;
  double DblCellSize = 0;
  double DblNoData = -9999;
  std::vector<double> VecCells;
};

const char* SkipBlanks(const char* PtrAt, const char* PtrEnd) {
  while (PtrAt < PtrEnd && (*PtrAt == ' ' || *PtrAt == '\n' || *PtrAt == '\r' || *PtrAt == '\t')) {
    ++PtrAt;
  }
  return PtrAt;
}

const char* SkipWord(const char* PtrAt, const char* PtrEnd) {
  while (PtrAt < PtrEnd && !(*PtrAt == ' ' || *PtrAt == '\n' || *PtrAt == '\r' || *PtrAt == '\t')) {
    ++PtrAt;
  }
  return PtrAt;
}

bool Parse(const std::string& StgText, TGrid& Grid) {
  const char* PtrAt = StgText.data();
  const char* PtrEnd = PtrAt + StgText.size();
  double VecHeader[6];
  for (double& DblValue : VecHeader) {
    PtrAt = SkipWord(SkipBlanks(PtrAt, PtrEnd), PtrEnd);
    PtrAt = SkipBlanks(PtrAt, PtrEnd);
    const auto Result = std::from_chars(PtrAt, PtrEnd, DblValue);
    if (Result.ec != std::errc()) {
      return false;
    }
    PtrAt = Result.ptr;
  }
  Grid.LngCols = static_cast<long>(VecHeader[0]);
  Grid.LngRows = static_cast<long>(VecHeader[1]);
  Grid.DblXll = VecHeader[2];
  Grid.DblYll = VecHeader[3];
  Grid.DblCellSize = VecHeader[4];
  Grid.DblNoData = VecHeader[5];
  const std::size_t LngCount =
      static_cast<std::size_t>(Grid.LngCols) * static_cast<std::size_t>(Grid.LngRows);
  Grid.VecCells.resize(LngCount);
  for (std::size_t LngI = 0; LngI < LngCount; ++LngI) {
    PtrAt = SkipBlanks(PtrAt, PtrEnd);
    const auto Result = std::from_chars(PtrAt, PtrEnd, Grid.VecCells[LngI]);
    if (Result.ec != std::errc()) {
      return false;
    }
    PtrAt = Result.ptr;
  }
  return true;
}

void Append(std::string& StgOut, double DblValue) {
  char ChrBuffer[32];
  const auto Result = std::to_chars(ChrBuffer, ChrBuffer + sizeof ChrBuffer, DblValue,
                                    std::chars_format::general, 6);
  StgOut.append(ChrBuffer, static_cast<std::size_t>(Result.ptr - ChrBuffer));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::puts("Usage: NaiveOverlay InputFile1 InputFile2 OutputFile");
    return 1;
  }
  TGrid GridA;
  TGrid GridB;
  {
    std::string StgText;
    if (!Slurp(argv[1], StgText) || !Parse(StgText, GridA)) {
      std::printf("Cannot read %s\n", argv[1]);
      return 1;
    }
    if (!Slurp(argv[2], StgText) || !Parse(StgText, GridB)) {
      std::printf("Cannot read %s\n", argv[2]);
      return 1;
    }
  }
  const bool BlnSwap = GridB.DblCellSize < GridA.DblCellSize;
  const TGrid& Base = BlnSwap ? GridB : GridA;
  const TGrid& Partner = BlnSwap ? GridA : GridB;
  const double DblBaseTop = Base.DblYll + Base.DblCellSize * static_cast<double>(Base.LngRows);
  const double DblPartnerTop =
      Partner.DblYll + Partner.DblCellSize * static_cast<double>(Partner.LngRows);

  std::string StgOut;
  StgOut.reserve(
      static_cast<std::size_t>(Base.LngCols) * static_cast<std::size_t>(Base.LngRows) * 10 + 256);
  char ChrHeader[256];
  std::snprintf(
      ChrHeader, sizeof ChrHeader,
      "ncols %ld\nnrows %ld\nxllcorner %8g\nyllcorner %8g\ncellsize %g\nNODATA_value %g\n",
      Base.LngCols, Base.LngRows, Base.DblXll, Base.DblYll, Base.DblCellSize, Base.DblNoData);
  StgOut += ChrHeader;
  for (long LngR = 0; LngR < Base.LngRows; ++LngR) {
    const double DblY = DblBaseTop - (static_cast<double>(LngR) + 0.5) * Base.DblCellSize;
    const long LngPartnerRow =
        static_cast<long>(std::floor((DblPartnerTop - DblY) / Partner.DblCellSize));
    for (long LngK = 0; LngK < Base.LngCols; ++LngK) {
      const double DblX = Base.DblXll + (static_cast<double>(LngK) + 0.5) * Base.DblCellSize;
      const long LngPartnerCol =
          static_cast<long>(std::floor((DblX - Partner.DblXll) / Partner.DblCellSize));
      if (LngPartnerRow < 0 || LngPartnerRow >= Partner.LngRows || LngPartnerCol < 0 ||
          LngPartnerCol >= Partner.LngCols) {
        std::puts("Partner does not cover the base grid");
        return 1;
      }
      const double DblV = Base.VecCells[static_cast<std::size_t>(LngR * Base.LngCols + LngK)];
      const double DblW =
          Partner
              .VecCells[static_cast<std::size_t>(LngPartnerRow * Partner.LngCols + LngPartnerCol)];
      Append(StgOut,
             DblV == Base.DblNoData || DblW == Partner.DblNoData ? Base.DblNoData : DblV + DblW);
      StgOut += ' ';
    }
    StgOut += '\n';
  }
  std::FILE* PtrFile = std::fopen(argv[3], "wb");
  if (PtrFile == nullptr ||
      std::fwrite(StgOut.data(), 1, StgOut.size(), PtrFile) != StgOut.size() ||
      std::fclose(PtrFile) != 0) {
    std::printf("Cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
