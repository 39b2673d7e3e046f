// bench/ExpressionBench.cpp - the ways to run a calc expression over 1000 x 1000 cells on one
// thread: muparser cell by cell (how calc ran before), muparser's bulk mode, and the block program
// calc runs now, each with the same no-data rules around it. Build with the release preset; run
// build/release/bench/ExpressionBench (OMP_NUM_THREADS=1 keeps the bulk mode on one thread).
#include <benchmark/benchmark.h>

#ifdef TESSGRID_WITH_CALC

#include <muParser.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/Expression.h"
#include "engine/ExpressionParser.h"

namespace {

using tessgrid::detail::kLngExpressionLetters;
using tessgrid::detail::kLngProgramBlock;
using tessgrid::detail::TExpression;
using tessgrid::detail::TLetterSet;

constexpr long kLngSide = 1000;
constexpr double kDblNoData = -9999.0;

const char* const kArrExpressions[] = {"A+B", "(A-B)*C/100 + (A>900 ? 1 : 0)",
                                       "sqrt(A) * 2 + (B > 500 ? B : 0)", "isnodata(A) ? B : A"};

// Three grids of values from 0 to 1000 in steps of 0.01, 5% of the cells no-data.
const std::vector<std::vector<double>>& Grids() {
  static std::vector<std::vector<double>> VecGrids;
  if (VecGrids.empty()) {
    std::mt19937_64 Random(1);
    for (int IntGrid = 0; IntGrid < 3; ++IntGrid) {
      std::vector<double> VecCells(static_cast<std::size_t>(kLngSide * kLngSide));
      for (double& DblCell : VecCells) {
        DblCell = Random() % 20 == 0 ? kDblNoData : static_cast<double>(Random() % 100001) / 100;
      }
      VecGrids.push_back(VecCells);
    }
  }
  return VecGrids;
}

TLetterSet GivenABC() {
  TLetterSet ArrGiven{};
  ArrGiven[0] = ArrGiven[1] = ArrGiven[2] = true;
  return ArrGiven;
}

std::array<const double*, kLngExpressionLetters> RowOf(long LngRow) {
  std::array<const double*, kLngExpressionLetters> ArrRows{};
  for (std::size_t LngI = 0; LngI < 3; ++LngI) {
    ArrRows[LngI] = Grids()[LngI].data() + LngRow * kLngSide;
  }
  return ArrRows;
}

void CountCells(benchmark::State& State) {
  State.SetItemsProcessed(State.iterations() * kLngSide * kLngSide);
  State.SetLabel(kArrExpressions[State.range(0)]);
}

// The block program: what calc runs.
void BM_Blocks(benchmark::State& State) {
  const TExpression Expression(kArrExpressions[State.range(0)], GivenABC());
  const auto PtrEvaluator = Expression.NewEvaluator();
  std::vector<double> VecOut(static_cast<std::size_t>(kLngSide * kLngSide));
  for (auto _ : State) {
    for (long LngRow = 0; LngRow < kLngSide; ++LngRow) {
      PtrEvaluator->EvaluateRow(RowOf(LngRow), VecOut.data() + LngRow * kLngSide, kLngSide,
                                kDblNoData);
    }
    benchmark::DoNotOptimize(VecOut.data());
  }
  CountCells(State);
}

// muparser's interpreter once per cell, its variables bound to the cell's values.
void BM_CellByCell(benchmark::State& State) {
  const TExpression Expression(kArrExpressions[State.range(0)], GivenABC());
  mu::Parser Parser;
  std::array<double, kLngExpressionLetters> ArrValues{};
  tessgrid::detail::SetUpParser(Parser, Expression.Text(), GivenABC(), ArrValues);
  Parser.Eval();
  std::vector<double> VecOut(static_cast<std::size_t>(kLngSide * kLngSide));
  for (auto _ : State) {
    for (long LngRow = 0; LngRow < kLngSide; ++LngRow) {
      const auto ArrRows = RowOf(LngRow);
      double* PtrOut = VecOut.data() + LngRow * kLngSide;
      for (long LngC = 0; LngC < kLngSide; ++LngC) {
        bool BlnNoData = false;
        for (std::size_t LngL = 0; LngL < 3 && !BlnNoData; ++LngL) {
          double DblValue = ArrRows[LngL][LngC];
          if (DblValue == kDblNoData) {
            BlnNoData = !Expression.Tested()[LngL] && Expression.Named()[LngL];
            DblValue = std::numeric_limits<double>::quiet_NaN();
          }
          ArrValues[LngL] = DblValue;
        }
        const double DblResult = BlnNoData ? kDblNoData : Parser.Eval();
        PtrOut[LngC] = std::isfinite(DblResult) ? DblResult : kDblNoData;
      }
    }
    benchmark::DoNotOptimize(VecOut.data());
  }
  CountCells(State);
}

// muparser's bulk mode over a block at a time: the variables bound to arrays (a tested one's
// no-data cells copied as NaN), then the same no-data rules over the block.
void BM_MuparserBulk(benchmark::State& State) {
  const TExpression Expression(kArrExpressions[State.range(0)], GivenABC());
  mu::Parser Parser;
  std::array<double, kLngExpressionLetters> ArrUnused{};
  tessgrid::detail::SetUpParser(Parser, Expression.Text(), GivenABC(), ArrUnused);
  std::array<std::vector<double>, 3> ArrBlocks;
  for (std::size_t LngL = 0; LngL < 3; ++LngL) {
    ArrBlocks[LngL].resize(static_cast<std::size_t>(kLngProgramBlock));
    Parser.DefineVar(std::string(1, static_cast<char>('A' + LngL)), ArrBlocks[LngL].data());
  }
  std::vector<double> VecResults(static_cast<std::size_t>(kLngProgramBlock));
  std::vector<double> VecOut(static_cast<std::size_t>(kLngSide * kLngSide));
  for (auto _ : State) {
    for (long LngRow = 0; LngRow < kLngSide; ++LngRow) {
      const auto ArrRows = RowOf(LngRow);
      for (long LngFirst = 0; LngFirst < kLngSide; LngFirst += kLngProgramBlock) {
        const long LngCells = std::min(kLngProgramBlock, kLngSide - LngFirst);
        for (std::size_t LngL = 0; LngL < 3; ++LngL) {
          for (long LngC = 0; LngC < LngCells; ++LngC) {
            const double DblValue = ArrRows[LngL][LngFirst + LngC];
            ArrBlocks[LngL][static_cast<std::size_t>(LngC)] =
                DblValue == kDblNoData ? std::numeric_limits<double>::quiet_NaN() : DblValue;
          }
        }
        Parser.Eval(VecResults.data(), static_cast<int>(LngCells));
        double* PtrOut = VecOut.data() + LngRow * kLngSide + LngFirst;
        for (long LngC = 0; LngC < LngCells; ++LngC) {
          const double DblResult = VecResults[static_cast<std::size_t>(LngC)];
          PtrOut[LngC] = std::isfinite(DblResult) ? DblResult : kDblNoData;
        }
        for (std::size_t LngL = 0; LngL < 3; ++LngL) {
          if (Expression.Named()[LngL] && !Expression.Tested()[LngL]) {
            for (long LngC = 0; LngC < LngCells; ++LngC) {
              PtrOut[LngC] =
                  ArrRows[LngL][LngFirst + LngC] == kDblNoData ? kDblNoData : PtrOut[LngC];
            }
          }
        }
      }
    }
    benchmark::DoNotOptimize(VecOut.data());
  }
  CountCells(State);
}

}  // namespace

BENCHMARK(BM_CellByCell)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuparserBulk)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blocks)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int main(int IntArgc, char** PtrArgv) {
  Grids();  // built before the clock starts
  benchmark::Initialize(&IntArgc, PtrArgv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

#else

int main() {
  return 0;  // calc is not built (muparser was not found): nothing to time
}

#endif  // TESSGRID_WITH_CALC
