// bench/support/GridText.h - MakeGridText: realistic ASCII grid text for benchmarks.
// Used in process by the benchmarks and by bench/tools/GenerateGrid.cpp for files on disk.
#ifndef BENCH_SUPPORT_GRIDTEXT_H
#define BENCH_SUPPORT_GRIDTEXT_H

#include <cstdio>
#include <random>
#include <string>

namespace tessgrid_bench {

/// Returns the text of a grid file of the given size: a smooth surface written with 2 to 6
/// decimals, about 15% whole numbers and about 1% no-data cells (-9999), the same for a seed.
inline std::string MakeGridText(long LngCols, long LngRows, double DblCellSize, double DblXll,
                                double DblYll, unsigned LngSeed = 1) {
  std::mt19937_64 Random(LngSeed);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  std::string StgText;
  StgText.reserve(static_cast<std::size_t>(LngCols) * static_cast<std::size_t>(LngRows) * 9 + 256);
  char ChrBuffer[64];
  std::snprintf(ChrBuffer, sizeof ChrBuffer, "ncols %ld\nnrows %ld\n", LngCols, LngRows);
  StgText += ChrBuffer;
  std::snprintf(ChrBuffer, sizeof ChrBuffer, "xllcorner %.10g\nyllcorner %.10g\n", DblXll, DblYll);
  StgText += ChrBuffer;
  std::snprintf(ChrBuffer, sizeof ChrBuffer, "cellsize %.10g\nNODATA_value -9999\n", DblCellSize);
  StgText += ChrBuffer;
  for (long LngY = 0; LngY < LngRows; ++LngY) {
    for (long LngX = 0; LngX < LngCols; ++LngX) {
      const double DblDraw = Uniform(Random);
      if (DblDraw < 0.01) {
        StgText += "-9999";
      } else {
        // A gentle surface with noise, in the range of elevations in metres.
        const double DblValue = 250.0 + 0.05 * LngX - 0.03 * LngY + 40.0 * Uniform(Random);
        if (DblDraw < 0.16) {
          std::snprintf(ChrBuffer, sizeof ChrBuffer, "%.0f", DblValue);
        } else {
          const int LngDecimals = 2 + static_cast<int>(Uniform(Random) * 5.0);
          std::snprintf(ChrBuffer, sizeof ChrBuffer, "%.*f", LngDecimals, DblValue);
        }
        StgText += ChrBuffer;
      }
      StgText += LngX + 1 < LngCols ? ' ' : '\n';
    }
  }
  return StgText;
}

}  // namespace tessgrid_bench

#endif  // BENCH_SUPPORT_GRIDTEXT_H
