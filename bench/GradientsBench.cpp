// bench/GradientsBench.cpp - ValueGradients on 20 maps of 1000 x 1000 with a window of 4, against
// the cell-by-cell road through GetValuesVector and TVectorTools::Gradient on the same series.
// Build with the release preset; run build/release/bench/GradientsBench.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "model/TAxis.h"
#include "model/TMap.h"
#include "ops/TMapTools.h"
#include "util/TVectorTools.h"

namespace {

constexpr long kLngSide = 1000;
constexpr int kLngMaps = 20;
constexpr int kLngWindow = 4;

// A series of realistic maps: a gentle surface with noise, about 1% no-data and 0.5% zero cells
// (the zeros exercise the neighbour rule), on the same centre axes.
struct TSeries {
  std::vector<std::unique_ptr<TMap>> MbrVecOwned;
  std::vector<TMap*> MbrVecMaps;

  TSeries() {
    TAxis XAxis(1.0, kLngSide);
    TAxis YAxis(1.0, kLngSide);
    for (long LngI = 0; LngI < kLngSide; ++LngI) {
      XAxis.SetPoint(LngI, new TPoint(0.5 + static_cast<double>(LngI), 0.0));
      YAxis.SetPoint(LngI, new TPoint(0.0, static_cast<double>(kLngSide) - 0.5 - LngI));
    }
    std::mt19937_64 Random(7);
    std::uniform_real_distribution<double> Uniform(0.0, 1.0);
    for (int LngK = 0; LngK < kLngMaps; ++LngK) {
      auto PtrMap = std::make_unique<TMap>(&XAxis, &YAxis);
      for (long LngY = 0; LngY < kLngSide; ++LngY) {
        std::vector<double>& VecRow = PtrMap->MbrVecValues[static_cast<std::size_t>(LngY)];
        for (long LngX = 0; LngX < kLngSide; ++LngX) {
          const double DblDraw = Uniform(Random);
          VecRow[static_cast<std::size_t>(LngX)] =
              DblDraw < 0.01 ? -9999.0
              : DblDraw < 0.015
                  ? 0.0
                  : 250.0 + 0.05 * LngX - 0.03 * LngY + 2.0 * LngK + 40.0 * Uniform(Random);
        }
      }
      MbrVecMaps.push_back(PtrMap.get());
      MbrVecOwned.push_back(std::move(PtrMap));
    }
  }
};

const TSeries& Series() {
  static const TSeries Instance;
  return Instance;
}

void SetCellWindowCounter(benchmark::State& State) {
  const double DblPerRun =
      static_cast<double>(kLngSide * kLngSide) * static_cast<double>(kLngMaps - kLngWindow);
  State.counters["per_cell_window"] = benchmark::Counter(
      DblPerRun, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ValueGradients(benchmark::State& State) {
  const std::vector<TMap*>& VecMaps = Series().MbrVecMaps;
  for (auto _ : State) {
    std::vector<TMap*> VecResult = TMapTools::ValueGradients(VecMaps, kLngWindow);
    benchmark::DoNotOptimize(VecResult.data());
    for (TMap* PtrMap : VecResult) {
      delete PtrMap;
    }
  }
  SetCellWindowCounter(State);
}
BENCHMARK(BM_ValueGradients)->Unit(benchmark::kMillisecond)->Iterations(5);

// The operation's definition taken literally: per cell, a values vector, neighbour look-ups,
// kept vectors and TVectorTools::Gradient, visiting cells column by column.
void BM_CellByCellDefinition(benchmark::State& State) {
  const std::vector<TMap*>& VecMaps = Series().MbrVecMaps;
  const TMap& First = *VecMaps.front();
  for (auto _ : State) {
    std::vector<std::unique_ptr<TMap>> VecResult;
    for (int LngI = 0; LngI + kLngWindow < kLngMaps; ++LngI) {
      const std::vector<double> VecX = TVectorTools::VectorSeries(LngI, LngI + kLngWindow, 1);
      auto PtrResult = std::make_unique<TMap>(First.MbrPtrXAxis, First.MbrPtrYAxis);
      for (long LngX = 0; LngX < kLngSide; ++LngX) {
        for (long LngY = 0; LngY < kLngSide; ++LngY) {
          if (VecMaps[static_cast<std::size_t>(LngI)]->GetPointVal(LngX, LngY) == 0.0) {
            continue;
          }
          std::vector<double> VecValues =
              TMapTools::GetValuesVector(VecMaps, LngX, LngY, LngI, LngI + kLngWindow);
          std::vector<double> VecKeptX;
          std::vector<double> VecKeptY;
          for (int LngL = 0; LngL <= kLngWindow; ++LngL) {
            const std::size_t LngPos = static_cast<std::size_t>(LngL);
            const TMap* PtrSource = VecMaps[static_cast<std::size_t>(LngI + LngL)];
            if (LngL < kLngWindow && VecValues[LngPos] == 0.0) {
              VecValues[LngPos] = TMapTools::FindNonzeroNeighbourVal(PtrSource, LngX, LngY);
            }
            if (!(VecValues[LngPos] == PtrSource->MbrDblNoDataValue)) {
              VecKeptX.push_back(VecX[LngPos]);
              VecKeptY.push_back(VecValues[LngPos]);
            }
          }
          PtrResult->SetPoint(LngX, LngY, TVectorTools::Gradient(VecKeptX, VecKeptY));
        }
      }
      VecResult.push_back(std::move(PtrResult));
    }
    benchmark::DoNotOptimize(VecResult.data());
  }
  SetCellWindowCounter(State);
}
BENCHMARK(BM_CellByCellDefinition)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
