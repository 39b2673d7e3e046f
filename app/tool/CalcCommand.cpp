// app/tool/CalcCommand.cpp - calc: a cell-wise expression over up to 26 aligned grids, A to Z.
// engine/CalcOperation.h composes it; inputs that share one grid stream its rule
// (app/tool/CellWiseStream.h), others are read whole by the frame (app/tool/ToolFrame.h).
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/tool/CellWiseStream.h"
#include "app/tool/TargetOptions.h"
#include "app/tool/ToolFrame.h"
#include "engine/CalcOperation.h"
#include "engine/Expression.h"
#include "engine/ExpressionRange.h"
#include "io/Threads.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

constexpr std::size_t kLngLetters = kLngExpressionLetters;

struct TCalcArguments {
  std::string StgOut;                             ///< the result grid
  std::string StgExpr;                            ///< as the user typed it
  std::array<std::string, kLngLetters> ArrGrids;  ///< grid of variable A + i; empty: none given
  std::array<int, kLngLetters> ArrBands{};        ///< --A-band and so on; 0: not given
  bool BlnAllBands = false;                       ///< band k of every input into band k
  TTargetArguments Target;                        ///< --extent, --grid: grids made one
};

TLetterSet GivenLetters(const TCalcArguments& Args) {
  TLetterSet ArrGiven{};
  for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
    ArrGiven[LngI] = !Args.ArrGrids[LngI].empty();
  }
  return ArrGiven;
}

// Parses the expression before anything is read.
// Throws CLI::ValidationError for a syntax error, a name muparser does not know, an assignment or
// a list of expressions, and a variable without an input grid.
TExpression ParseExpression(const TCalcArguments& Args) {
  try {
    return TExpression(Args.StgExpr, GivenLetters(Args));
  } catch (const TExpressionError& Error) {
    if (Error.Missing() != '\0') {
      const std::string StgName(1, Error.Missing());
      throw CLI::ValidationError("--expr names " + StgName +
                                 ", which has no input grid (give one with -" + StgName + ") in " +
                                 Error.Echo());
    }
    throw CLI::ValidationError(std::string("--expr: ") + Error.what());
  }
}

// Evaluates the expression over the loaded grids, in the order of the letters given.
std::unique_ptr<TMap> EvaluateLoaded(const TExpression& Expression, const TCalcArguments& Args,
                                     std::vector<std::unique_ptr<TMap>> VecMaps,
                                     const std::vector<std::string>& VecNames, TToolRun& Run) {
  Run.CheckAligned(VecNames);
  std::vector<const TMap*> VecMapPtrs;
  for (const std::unique_ptr<TMap>& PtrMap : VecMaps) {
    VecMapPtrs.push_back(PtrMap.get());
  }
  return CalcOfMaps(Expression, GivenLetters(Args), VecMapPtrs, VecNames, ThreadCount());
}

// Band k of the output from band k of every input of more than one band; inputs of one band,
// and those given a band of their own, take it for every band.
void RunAllBands(const TExpression& Expression, const TCalcArguments& Args,
                 const std::vector<std::string>& VecNames, const std::vector<bool>& VecPinned,
                 TToolRun& Run) {
  long LngBands = 1;
  std::size_t LngLeader = 0;
  for (std::size_t LngI = 0; LngI < VecNames.size(); ++LngI) {
    const long LngCount = VecPinned[LngI] ? 1 : Run.BandCount(VecNames[LngI]);
    if (LngCount == 1) {
      continue;
    }
    if (LngBands > 1 && LngCount != LngBands) {
      Fail("calc --all-bands: " + VecNames[LngLeader] + " has " + std::to_string(LngBands) +
           " bands and " + VecNames[LngI] + " has " + std::to_string(LngCount) +
           "; inputs of more than one band must have as many");
    }
    LngBands = LngCount;
    LngLeader = LngI;
  }
  Run.WriteBands(Args.StgOut, VecNames.front(), LngBands, [&](long LngBand) {
    TProgress Progress(Run.Options(), "loaded", VecNames.size());
    std::vector<std::unique_ptr<TMap>> VecMaps;
    for (std::size_t LngI = 0; LngI < VecNames.size(); ++LngI) {
      const bool BlnOwnBand = VecPinned[LngI] || Run.BandCount(VecNames[LngI]) == 1;
      VecMaps.push_back(
          Run.Load(VecNames[LngI], BlnOwnBand ? Run.InputBand(LngI) : static_cast<int>(LngBand)));
      Progress.Step(VecMaps.size());
    }
    return EvaluateLoaded(Expression, Args, std::move(VecMaps), VecNames, Run);
  });
}

void RunCalc(const TCalcArguments& Args, TToolRun& Run) {
  const TExpression Expression = ParseExpression(Args);
  std::vector<std::string> VecNames;
  std::vector<int> VecBands;
  std::vector<bool> VecPinned;
  std::vector<std::size_t> VecLetters;
  for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
    if (!Args.ArrGrids[LngI].empty()) {
      VecNames.push_back(Args.ArrGrids[LngI]);
      VecBands.push_back(Args.ArrBands[LngI]);
      VecPinned.push_back(Args.ArrBands[LngI] > 0 || !Run.Options().VecBands.empty());
      VecLetters.push_back(LngI);
    }
  }
  if (Args.BlnAllBands && !Run.WritesRaster(Args.StgOut)) {
    throw CLI::ValidationError("--all-bands writes a band per input band, and " + Args.StgOut +
                               " would be an ASCII grid, which holds one; name a .tif or give "
                               "--format");
  }
  // Bands not pinned are read from band 1 on: the first output band's.
  if (Args.BlnAllBands) {
    for (std::size_t LngI = 0; LngI < VecBands.size(); ++LngI) {
      VecBands[LngI] = VecPinned[LngI] ? VecBands[LngI] : 1;
    }
  }
  Run.SetBands(VecBands);
  const TExpressionProgram& Program = Expression.Program();
  Run.SetResultRange([&Program, VecLetters](const std::vector<TValueRange>& VecInputs) {
    std::array<TValueRange, kLngLetters> ArrVariables{};
    for (std::size_t LngI = 0; LngI < VecLetters.size(); ++LngI) {
      ArrVariables[VecLetters[LngI]] = VecInputs[LngI];
    }
    return ProgramRange(Program, ArrVariables);
  });
  Run.Prepare(VecNames, {Args.StgOut});
  if (Args.BlnAllBands) {
    RunAllBands(Expression, Args, VecNames, VecPinned, Run);
    return;
  }
  TCalcCellRule Rule(Expression, GivenLetters(Args), ThreadCount());
  if (StreamCellWise(Run, VecNames, Args.StgOut, Rule, Args.Target)) {
    return;
  }
  std::unique_ptr<TMap> PtrResult =
      EvaluateLoaded(Expression, Args, Run.LoadAll(VecNames), VecNames, Run);
  Run.Write(PtrResult.get(), Args.StgOut, VecNames.front());
}

}  // namespace

void AddCalcCommand(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TCalcArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "calc",
      "a cell-wise expression over up to 26 grids on one grid (grids that are not aligned are "
      "refused unless --extent or --grid reads them onto one). A cell that is no-data in a grid "
      "the expression names is "
      "no-data, unless the expression tests that grid with isnodata(X): then it sees the cell as "
      "nodata and decides. A result that is not finite (nodata, 1/0) is no-data. The language is "
      "muparser's: + - * / ^, comparisons, && ||, c ? a : b, min, max, abs, sqrt, exp, log (the "
      "natural logarithm; log10 and log2 too), pow, floor, ceil, round (halves away from zero), "
      "sin, cos and the rest; assignment (A = 5) and lists of expressions (A, B) are refused",
      "tessgrid-tool calc out.asc --expr \"isnodata(A) ? B : (A + B) / 2\" -A a.asc -B b.asc",
      [PtrArgs](TToolRun& Run) { RunCalc(*PtrArgs, Run); });
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid, on the grid of the first input");
  PtrCommand->add_option("--expr", PtrArgs->StgExpr, "the expression; A to Z name the inputs")
      ->required()
      ->type_name("EXPR");
  for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
    const std::string StgLetter(1, static_cast<char>('A' + LngI));
    PtrCommand
        ->add_option("-" + StgLetter, PtrArgs->ArrGrids[LngI], "grid of variable " + StgLetter)
        ->type_name("GRID")
        ->group("Inputs");
#ifdef TESSGRID_WITH_GDAL
    PtrCommand
        ->add_option("--" + StgLetter + "-band", PtrArgs->ArrBands[LngI],
                     "band of the grid of " + StgLetter + " (default: --bands, else --band)")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()))
        ->type_name("N")
        ->group("Inputs");
#endif
  }
  const std::vector<CLI::Option*> VecTargetOptions = AddTargetOptions(PtrCommand, PtrArgs->Target);
#ifdef TESSGRID_WITH_GDAL
  CLI::Option* PtrAllBands =
      PtrCommand->add_flag("--all-bands", PtrArgs->BlnAllBands,
                           "evaluate band by band: band k of the output (a raster) from band k of "
                           "every input of more than one band, which must all have as many; inputs "
                           "of one band, and those given --A-band and so on, serve every band");
  for (CLI::Option* PtrOption : VecTargetOptions) {
    PtrAllBands->excludes(PtrOption);
  }
#else
  static_cast<void>(VecTargetOptions);
#endif
  PtrCommand->parse_complete_callback([PtrArgs]() {
    for (const std::string& StgGrid : PtrArgs->ArrGrids) {
      if (!StgGrid.empty()) {
        return;
      }
    }
    throw CLI::ValidationError("calc needs an input grid: give one or more of -A to -Z");
  });
}

}  // namespace tessgrid::detail
