// bench/ResamplingBench.cpp - how bilinear interpolation, subdivision and Resample grow with the
// map size. Square sources of 1000, 2000 and 4000 cells a side, R = 2 x resolution and k = 3,
// with warm and with cold caches, and Resample refining and coarsening; prints the time ratio of
// each doubling.
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/GridReader.h"
#include "model/TAxis.h"
#include "model/TMap.h"
#include "ops/TMapTools.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr double kDblCellSize = 25.0;

// A square map built as the grid reader builds one: values row by row from the north, edges as
// running sums from the south-western corner. Built once per size and kept for all runs.
const TMap& Source(long LngSide) {
  static std::map<long, std::unique_ptr<TMap>> MapCache;
  std::unique_ptr<TMap>& PtrMap = MapCache[LngSide];
  if (PtrMap) {
    return *PtrMap;
  }
  PtrMap = std::make_unique<TMap>(kDblCellSize, LngSide, LngSide);
  for (long LngY = 0; LngY < LngSide; ++LngY) {
    std::vector<double>& VecRow = PtrMap->MbrVecValues[static_cast<std::size_t>(LngY)];
    for (long LngX = 0; LngX < LngSide; ++LngX) {
      const bool BlnNoData = (LngX * 31 + LngY * 17) % 97 == 0;
      VecRow[static_cast<std::size_t>(LngX)] =
          BlnNoData ? -9999.0 : 100.0 * std::sin(LngX * 0.01) * std::cos(LngY * 0.013) + 0.5 * LngY;
    }
  }
  tessgrid::detail::SetReaderEdges(*PtrMap, 512000.5, 4100000.25, kDblCellSize);
  return *PtrMap;
}

// Pushes the source out of the caches before a timed run. Repeating a call on the same source
// keeps a small one (8 MB at 1000 a side) in the last-level cache and a large one not, so warm
// runs time the cache hierarchy as much as the operation; cold runs start equal at every size.
void EvictCaches(benchmark::State& State) {
  static std::vector<char> VecBuffer(128 * 1024 * 1024);
  State.PauseTiming();
  for (std::size_t LngI = 0; LngI < VecBuffer.size(); LngI += 64) {
    ++VecBuffer[LngI];
  }
  benchmark::ClobberMemory();
  State.ResumeTiming();
}

template <bool BlnCold>
void BM_BilinearInterpolate(benchmark::State& State) {
  const TMap& Map = Source(State.range(0));
  for (auto _ : State) {
    if (BlnCold) {
      EvictCaches(State);
    }
    std::unique_ptr<TMap> PtrResult(TMapTools::BilinearInterpolate(&Map, 2 * kDblCellSize));
    benchmark::DoNotOptimize(PtrResult->MbrVecValues.data());
  }
}

template <bool BlnCold>
void BM_Subdivide(benchmark::State& State) {
  const TMap& Map = Source(State.range(0));
  for (auto _ : State) {
    if (BlnCold) {
      EvictCaches(State);
    }
    std::unique_ptr<TMap> PtrResult(TMapTools::Subdivide(&Map, 3));
    benchmark::DoNotOptimize(PtrResult->MbrVecValues.data());
  }
}

// Resample at R = factor x resolution, the factor in hundredths: refining weighs four cells,
// coarsening the kernel gdalwarp widens by the factor.
template <TResampleMethod Method, int IntHundredths>
void BM_Resample(benchmark::State& State) {
  const TMap& Map = Source(State.range(0));
  for (auto _ : State) {
    std::unique_ptr<TMap> PtrResult(
        TMapTools::Resample(&Map, kDblCellSize * IntHundredths / 100.0, Method));
    benchmark::DoNotOptimize(PtrResult->MbrVecValues.data());
  }
}

void Sizes(benchmark::internal::Benchmark* PtrBenchmark) {
  PtrBenchmark->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Repetitions(3);
}

BENCHMARK_TEMPLATE(BM_BilinearInterpolate, false)->Name("BilinearInterpolate_warm")->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_BilinearInterpolate, true)->Name("BilinearInterpolate_cold")->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Subdivide, false)->Name("Subdivide_warm")->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Subdivide, true)->Name("Subdivide_cold")->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Resample, TResampleMethod::kNearest, 200)
    ->Name("Resample_near_x2")
    ->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Resample, TResampleMethod::kBilinear, 50)
    ->Name("Resample_bilinear_x0.5")
    ->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Resample, TResampleMethod::kBilinear, 200)
    ->Name("Resample_bilinear_x2")
    ->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Resample, TResampleMethod::kBilinear, 400)
    ->Name("Resample_bilinear_x4")
    ->Apply(Sizes);

// Shows the runs as usual and keeps, per benchmark and size, the fastest repetition's CPU time:
// the helpers share their cores, and the minimum is the figure least disturbed by neighbours.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& VecRuns) override {
    ConsoleReporter::ReportRuns(VecRuns);
    for (const Run& Item : VecRuns) {
      if (Item.run_type != Run::RT_Iteration || Item.error_occurred) {
        continue;
      }
      const std::string StgName = Item.run_name.function_name;
      const long LngSide = std::stol(Item.run_name.args);
      double& DblBest = MbrMapBest[StgName][LngSide];
      const double DblTime = Item.GetAdjustedCPUTime();
      if (DblBest == 0.0 || DblTime < DblBest) {
        DblBest = DblTime;
      }
    }
  }

  void PrintRatios() const {
    std::printf("\nTime ratio per doubling of the side (fastest of 3, CPU time; target <= 4.5):\n");
    for (const auto& Entry : MbrMapBest) {
      std::printf("%s:", Entry.first.c_str());
      const double* PtrPrevious = nullptr;
      long LngPrevious = 0;
      for (const auto& Size : Entry.second) {
        if (PtrPrevious != nullptr) {
          std::printf("  %ld -> %ld: %.2f", LngPrevious, Size.first, Size.second / *PtrPrevious);
        }
        PtrPrevious = &Size.second;
        LngPrevious = Size.first;
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, std::map<long, double>> MbrMapBest;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
#ifdef __GLIBC__
  // Freed result maps stay with the process. Otherwise whether a result's memory goes back to
  // the system after each run, and is faulted in again by the next, depends on where it landed
  // beside the sources, and the figures measure the heap's layout instead of the operation.
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
#endif
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  Reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
