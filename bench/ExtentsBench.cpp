// bench/ExtentsBench.cpp - Insert of a 2000 x 2000 map into a 4000 x 4000 one, against a plain
// row copy of the same cells and against the per-cell coordinate path on a smaller pair.
// Build with the release preset and run build/release/bench/ExtentsBench.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "io/GridReader.h"
#include "model/TAxis.h"
#include "model/TMap.h"
#include "ops/TMapTools.h"

namespace {

// A map of LngSize x LngSize cells with falling Y edges, built from its edges by running sums as
// the grid reader builds it, its south-western corner at (x0, y0).
std::unique_ptr<TMap> MakeSquareMap(double DblX0, double DblY0, double DblResolution, long LngSize,
                                    double DblValue) {
  auto PtrMap = std::make_unique<TMap>(DblResolution, LngSize, LngSize);
  PtrMap->InitValues(DblValue);
  tessgrid::detail::SetReaderEdges(*PtrMap, DblX0, DblY0, DblResolution);
  return PtrMap;
}

void BM_Insert(benchmark::State& State) {
  const long LngSize = State.range(0);
  const auto PtrDestination = MakeSquareMap(0, 0, 10, 2 * LngSize, 0);
  const auto PtrInsert = MakeSquareMap(5.0 * LngSize, 5.0 * LngSize, 10, LngSize, 1);
  for (auto _ : State) {
    TMapTools::Insert(PtrDestination.get(), PtrInsert.get());
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(State.iterations() * LngSize * LngSize);
}
BENCHMARK(BM_Insert)->Arg(2000)->Arg(250)->Unit(benchmark::kMillisecond);

// The floor: the same cells copied row by row with known offsets (the insert sits a quarter of
// the destination in from its south-western corner, so also from its north-western one).
void BM_RowCopy(benchmark::State& State) {
  const long LngSize = State.range(0);
  const auto PtrDestination = MakeSquareMap(0, 0, 10, 2 * LngSize, 0);
  const auto PtrInsert = MakeSquareMap(5.0 * LngSize, 5.0 * LngSize, 10, LngSize, 1);
  for (auto _ : State) {
    for (long LngY = 0; LngY < LngSize; ++LngY) {
      const std::vector<double>& VecSource =
          PtrInsert->MbrVecValues[static_cast<std::size_t>(LngY)];
      std::copy(VecSource.begin(), VecSource.end(),
                PtrDestination->MbrVecValues[static_cast<std::size_t>(LngY + LngSize / 2)].begin() +
                    LngSize / 2);
    }
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(State.iterations() * LngSize * LngSize);
}
BENCHMARK(BM_RowCopy)->Arg(2000)->Unit(benchmark::kMillisecond);

// What every cell costs when it is placed through its own coordinate lookup.
void BM_InsertPerCellLookup(benchmark::State& State) {
  const long LngSize = State.range(0);
  const auto PtrDestination = MakeSquareMap(0, 0, 10, 2 * LngSize, 0);
  const auto PtrInsert = MakeSquareMap(5.0 * LngSize, 5.0 * LngSize, 10, LngSize, 1);
  for (auto _ : State) {
    for (long LngY = 0; LngY < LngSize; ++LngY) {
      for (long LngX = 0; LngX < LngSize; ++LngX) {
        const std::unique_ptr<TMapPoint> PtrPoint(PtrInsert->GetPoint(LngX, LngY));
        PtrDestination->SetPoint(PtrPoint.get(), PtrPoint->MbrDblValue);
      }
    }
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(State.iterations() * LngSize * LngSize);
}
BENCHMARK(BM_InsertPerCellLookup)->Arg(250)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
