// bench/tools/GenerateGrid.cpp - writes a realistic ASCII grid file for benchmarks and examples.
// Usage: GenerateGrid OutputFile Columns Rows [CellSize [Xll [Yll [Seed]]]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/support/GridText.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::puts("Usage: GenerateGrid OutputFile Columns Rows [CellSize [Xll [Yll [Seed]]]]");
    return 1;
  }
  const long LngCols = std::atol(argv[2]);
  const long LngRows = std::atol(argv[3]);
  const double DblCellSize = argc > 4 ? std::atof(argv[4]) : 25.0;
  const double DblXll = argc > 5 ? std::atof(argv[5]) : 500000.0;
  const double DblYll = argc > 6 ? std::atof(argv[6]) : 5100000.0;
  const unsigned LngSeed = argc > 7 ? static_cast<unsigned>(std::atol(argv[7])) : 1u;
  const std::string StgText =
      tessgrid_bench::MakeGridText(LngCols, LngRows, DblCellSize, DblXll, DblYll, LngSeed);
  std::FILE* PtrFile = std::fopen(argv[1], "wb");
  if (PtrFile == nullptr ||
      std::fwrite(StgText.data(), 1, StgText.size(), PtrFile) != StgText.size() ||
      std::fclose(PtrFile) != 0) {
    std::printf("Unable to write file %s\n", argv[1]);
    return 1;
  }
  return 0;
}
