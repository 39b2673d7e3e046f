// bench/TransformsBench.cpp - time per million cells of the cell value transforms and the
// aggregations on a 3000 x 3000 map. Build with the release preset; run build/release/bench/...
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <vector>

#include "model/TAxis.h"
#include "model/TMap.h"
#include "ops/TMapTools.h"

namespace {

constexpr long kLngSide = 3000;
constexpr double kDblCells = static_cast<double>(kLngSide) * kLngSide;

// A map with the value mix of the grid generator: a gentle surface with noise, about 15% whole
// numbers and about 1% no-data cells (-9999).
std::unique_ptr<TMap> MakeBenchMap(unsigned LngSeed) {
  TAxis XAxis(10.0, kLngSide);
  TAxis YAxis(10.0, kLngSide);
  for (long LngI = 0; LngI < kLngSide; ++LngI) {
    XAxis.SetPoint(LngI, new TPoint(5.0 + 10.0 * static_cast<double>(LngI), 0.0));
    YAxis.SetPoint(LngI, new TPoint(0.0, 29995.0 - 10.0 * static_cast<double>(LngI)));
  }
  auto PtrMap = std::make_unique<TMap>(&XAxis, &YAxis);
  std::mt19937_64 Random(LngSeed);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  for (long LngY = 0; LngY < kLngSide; ++LngY) {
    std::vector<double>& VecRow = PtrMap->MbrVecValues[static_cast<std::size_t>(LngY)];
    for (long LngX = 0; LngX < kLngSide; ++LngX) {
      const double DblDraw = Uniform(Random);
      double DblValue = 250.0 + 0.05 * LngX - 0.03 * LngY + 40.0 * Uniform(Random);
      if (DblDraw < 0.01) {
        DblValue = -9999.0;
      } else if (DblDraw < 0.16) {
        DblValue = static_cast<double>(static_cast<long>(DblValue));
      }
      VecRow[static_cast<std::size_t>(LngX)] = DblValue;
    }
  }
  return PtrMap;
}

// The maps are built once and shared by every benchmark.
const std::vector<TMap*>& BenchMaps() {
  static std::vector<std::unique_ptr<TMap>> VecOwned;
  static std::vector<TMap*> VecMaps;
  if (VecMaps.empty()) {
    for (unsigned LngSeed = 1; LngSeed <= 5; ++LngSeed) {
      VecOwned.push_back(MakeBenchMap(LngSeed));
      VecMaps.push_back(VecOwned.back().get());
    }
  }
  return VecMaps;
}

// Reports seconds per million cells of one map (the result grid).
void CountCells(benchmark::State& State) {
  State.counters["per_Mcell"] = benchmark::Counter(
      kDblCells / 1e6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <typename TOperation>
void RunMapOperation(benchmark::State& State, TOperation Operation) {
  for (auto _ : State) {
    std::unique_ptr<TMap> PtrResult(Operation());
    benchmark::DoNotOptimize(PtrResult->MbrVecValues.data());
  }
  CountCells(State);
}

void BM_MultiplyConstant(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::Multiply(BenchMaps()[0], 2.5); });
}
void BM_DivideConstant(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::Divide(BenchMaps()[0], 2.5); });
}
void BM_RoundContents(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::RoundContents(BenchMaps()[0]); });
}
void BM_Threshold(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::Threshold(BenchMaps()[0], 300.0); });
}
void BM_ThresholdReplace(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::ThresholdReplace(BenchMaps()[0], 300.0, 1.0); });
}
void BM_ReplaceValue(benchmark::State& State) {
  // A reclassification of the whole numbers 250 to 450: about 15% of the cells match.
  std::map<double, double> MapTable;
  for (int IntKey = 250; IntKey <= 450; ++IntKey) {
    MapTable[IntKey] = IntKey / 50;
  }
  RunMapOperation(State,
                  [&MapTable] { return TMapTools::ReplaceValue(BenchMaps()[0], MapTable, 0.0); });
}
void BM_Mask(benchmark::State& State) {
  RunMapOperation(State,
                  [] { return TMapTools::Mask(BenchMaps()[0], BenchMaps()[1], -9999.0, 0.0); });
}
void BM_FillBlock(benchmark::State& State) {
  TMap* PtrMap = BenchMaps()[4];
  for (auto _ : State) {
    TMapTools::FillBlock(PtrMap, 1.0, 0, kLngSide - 1, 0, kLngSide - 1);
    benchmark::ClobberMemory();
  }
  CountCells(State);
}
void BM_BufferIndices(benchmark::State& State) {
  // Not a cell operation: the time per call is what matters.
  for (auto _ : State) {
    long LngNorth = 10, LngSouth = 20, LngWest = 2990, LngEast = 2995;
    TMapTools::BufferIndices(BenchMaps()[0], 8, LngNorth, LngSouth, LngWest, LngEast);
    benchmark::DoNotOptimize(LngEast);
  }
}

std::vector<TMap*> FirstMaps(std::size_t LngCount) {
  return std::vector<TMap*>(BenchMaps().begin(), BenchMaps().begin() + LngCount);
}

void BM_Sum3(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::Sum(FirstMaps(3)); });
}
void BM_DataCounts3(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::DataCounts(FirstMaps(3)); });
}
void BM_Average3(benchmark::State& State) {
  RunMapOperation(State, [] { return TMapTools::Average(FirstMaps(3)); });
}
void BM_Average3Composed(benchmark::State& State) {
  // The reference the one-pass average must match bit for bit.
  RunMapOperation(State, [] {
    const std::unique_ptr<TMap> PtrSum(TMapTools::Sum(FirstMaps(3)));
    const std::unique_ptr<TMap> PtrCounts(TMapTools::DataCounts(FirstMaps(3)));
    return TMapTools::Divide(PtrSum.get(), PtrCounts.get());
  });
}
void BM_MovingAverage5Window3(benchmark::State& State) {
  for (auto _ : State) {
    std::vector<TMap*> VecResult = TMapTools::MovingAverage(FirstMaps(5), 3);
    benchmark::DoNotOptimize(VecResult.data());
    for (TMap* PtrMap : VecResult) {
      delete PtrMap;
    }
  }
  CountCells(State);
}

}  // namespace

BENCHMARK(BM_MultiplyConstant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DivideConstant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoundContents)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThresholdReplace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mask)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferIndices);
BENCHMARK(BM_Sum3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataCounts3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Average3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Average3Composed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovingAverage5Window3)->Unit(benchmark::kMillisecond);

int main(int IntArgc, char** PtrArgv) {
  BenchMaps();  // built before the clock starts
  benchmark::Initialize(&IntArgc, PtrArgv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
