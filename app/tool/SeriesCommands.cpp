// app/tool/SeriesCommands.cpp - sum, count, average, minimum, maximum; moving-average, gradients.
// The aggregates and each window of moving-average are the series operations
// (engine/SeriesOperation.h), streamed over grids that share one grid (app/tool/CellWiseStream.h),
// else run on the loaded grids as the window operations are (engine/WindowOperation.h). The
// frame is app/tool/ToolFrame.h.
#include <memory>
#include <string>
#include <vector>

#include "app/tool/CellWiseStream.h"
#include "app/tool/ResultRanges.h"
#include "app/tool/TargetOptions.h"
#include "app/tool/ToolFrame.h"
#include "engine/NoDataModel.h"
#include "engine/SeriesOperation.h"
#include "engine/WindowOperation.h"
#include "model/Fail.h"
#include "ops/SeriesRows.h"
#include "ops/TMapTools.h"
#include "tessgrid_owning.h"

namespace tessgrid::detail {

namespace {

struct TSeriesArguments {
  std::string StgOut;               ///< aggregates: the result grid
  std::vector<std::string> VecIns;  ///< the grids, in series order
  std::string StgList;              ///< aggregates: a file naming the grids instead
  std::string StgOutputs;           ///< moving-average, gradients: a file naming the outputs
  int IntWindow = 0;                ///< moving-average, gradients
  bool BlnZeroMissing = false;      ///< gradients: the library's rule, a 0 counted as missing
  bool BlnSkipNoData = false;       ///< aggregates: over the grids with data in each cell
  long LngMinCount = 0;             ///< aggregates: the fewest grids with data, when given
  TTargetArguments Target;          ///< aggregates: --extent, --grid
};

using TAggregate = TMap* (*)(std::vector<TMap*>);

// A series of grids is paired by column and row; the library counts what it needs in its own
// words, which a user of the tool would read as off by one.
std::string ExplainTooFew(const std::string& StgName, const std::string& StgMessage,
                          std::size_t LngMaps) {
  const bool BlnOneIsEnough = StgMessage.find("at least 1") != std::string::npos;
  if (StgMessage.find("Must have") != 0 || LngMaps >= (BlnOneIsEnough ? 1U : 2U)) {
    return StgMessage;
  }
  return StgName +
         (BlnOneIsEnough ? ": needs one or more grids, got " : ": needs two or more grids, got ") +
         std::to_string(LngMaps) + " (" + StgMessage + ")";
}

// The maps from LngFirst on, LngCount of them, as the checks take them.
std::vector<const TMap*> ConstMaps(const std::vector<std::unique_ptr<TMap>>& VecMaps,
                                   std::size_t LngFirst, std::size_t LngCount) {
  std::vector<const TMap*> VecView;
  for (std::size_t LngI = LngFirst; LngI < LngFirst + LngCount && LngI < VecMaps.size(); ++LngI) {
    VecView.push_back(VecMaps[LngI].get());
  }
  return VecView;
}

// The series options of the command line: --min-count N, else --skip-nodata as N = 1, else the
// library's rule.
TSeriesOptions OptionsOf(TSeriesRule Rule, const TSeriesArguments& Args, bool BlnMinCountGiven,
                         std::size_t LngInputs) {
  TSeriesOptions Options;
  Options.Rule = Rule;
  if (BlnMinCountGiven) {
    if (Args.LngMinCount < 1 || static_cast<std::size_t>(Args.LngMinCount) > LngInputs) {
      throw CLI::ValidationError("--min-count must be from 1 to the number of input grids (" +
                                 std::to_string(LngInputs) + "), not " +
                                 std::to_string(Args.LngMinCount));
    }
    Options.LngMinCount = static_cast<std::size_t>(Args.LngMinCount);
  } else if (Args.BlnSkipNoData) {
    Options.LngMinCount = 1;
  }
  return Options;
}

// Where the inputs cannot stream: loaded whole, compared, then combined. The library's own
// operation (PtrAggregate) computes its rule; any other runs the series rule over the loaded
// maps, the first of which becomes the result.
void LoadedAggregate(TToolRun& Run, const std::vector<std::string>& VecIns,
                     const std::string& StgName, const std::string& StgOut,
                     const TSeriesOptions& Options, TAggregate PtrAggregate) {
  std::vector<std::unique_ptr<TMap>> VecMaps = Run.LoadAll(VecIns);
  Run.CheckAligned(VecIns);
  if (PtrAggregate == nullptr) {
    if (VecMaps.size() < FewestSeriesInputs(Options.Rule)) {
      Fail(StgName + ": needs two or more grids, got " + std::to_string(VecMaps.size()));
    }
    SeriesIntoFirst(Options, tessgrid::Borrow(VecMaps));
    std::unique_ptr<TMap> PtrResult = std::move(VecMaps.front());
    VecMaps.clear();
    Run.Write(PtrResult.get(), StgOut, VecIns.front());
    return;
  }
  const std::unique_ptr<TMap> PtrResult(
      Explained([&]() { return PtrAggregate(tessgrid::Borrow(VecMaps)); },
                [&](const std::string& StgMessage) {
                  return ExplainTooFew(StgName, StgMessage, VecMaps.size());
                }));
  if (Options.Rule != TSeriesRule::kCount) {
    CheckDataKept(ConstMaps(VecMaps, 0, VecMaps.size()), *PtrResult);
  }
  VecMaps.clear();
  // The result lies on the first map's grid.
  Run.Write(PtrResult.get(), StgOut, VecIns.empty() ? "" : VecIns.front());
}

// PtrAggregate is the library's operation of the rule, or null where it has none; with
// BlnPresent the command takes --skip-nodata and --min-count.
void AddAggregateCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                         const std::string& StgSummary, TSeriesRule Rule, TAggregate PtrAggregate,
                         bool BlnPresent) {
  auto PtrArgs = std::make_shared<TSeriesArguments>();
  auto PtrMinCountGiven = std::make_shared<CLI::Option*>(nullptr);
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " out.asc 2019.asc 2020.asc 2021.asc",
      [PtrArgs, PtrMinCountGiven, Rule, PtrAggregate, StgName](TToolRun& Run) {
        const std::vector<std::string> VecIns =
            PtrArgs->StgList.empty() ? PtrArgs->VecIns : ReadNameList(PtrArgs->StgList);
        const bool BlnMinCountGiven =
            *PtrMinCountGiven != nullptr && (*PtrMinCountGiven)->count() > 0;
        const TSeriesOptions Options = OptionsOf(Rule, *PtrArgs, BlnMinCountGiven, VecIns.size());
        // A minimum or maximum is one of its inputs' values: the default range holds it.
        if (Rule == TSeriesRule::kSum) {
          Run.SetResultRange(SumOfInputs());
        } else if (Rule == TSeriesRule::kCount) {
          Run.SetResultRange(CountOfInputs());
        } else if (Rule == TSeriesRule::kAverage) {
          Run.SetResultRange(FractionOfInputs());
        }
        Run.Prepare(VecIns, {PtrArgs->StgOut});
        TSeriesCellRule CellRule(Options, VecIns.size());
        if (StreamCellWise(Run, VecIns, PtrArgs->StgOut, CellRule, PtrArgs->Target)) {
          return;
        }
        LoadedAggregate(Run, VecIns, StgName, PtrArgs->StgOut, Options,
                        Options.LngMinCount == 0 ? PtrAggregate : nullptr);
      });
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  CLI::Option* PtrIns =
      PtrCommand->add_option("IN", PtrArgs->VecIns, "input grids")->type_name("GRID");
  PtrCommand->add_option("--list", PtrArgs->StgList, "file naming the input grids, one a line")
      ->type_name("FILE")
      ->excludes(PtrIns);
  AddTargetOptions(PtrCommand, PtrArgs->Target);
  if (BlnPresent) {
    PtrCommand->add_flag("--skip-nodata", PtrArgs->BlnSkipNoData,
                         "over the grids that have data in each cell, no-data where none has");
    *PtrMinCountGiven =
        PtrCommand
            ->add_option("--min-count", PtrArgs->LngMinCount,
                         "no-data where fewer than N grids have data (1 to the number of grids); "
                         "skips no-data as --skip-nodata does")
            ->type_name("N");
  }
  PtrCommand->parse_complete_callback([PtrArgs]() {
    if (PtrArgs->VecIns.empty() && PtrArgs->StgList.empty()) {
      throw CLI::RequiredError("IN or --list");
    }
  });
}

// Gradients take --zero-missing for the library's rule.
void AddWindowCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                      const std::string& StgSummary, TWindowOperation Operation) {
  auto PtrArgs = std::make_shared<TSeriesArguments>();
  const bool BlnWindowsOnTheirFirstMap = OnItsWindowsFirstMap(Operation);
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " --window 3 m1.asc m2.asc m3.asc m4.asc --outputs outs.txt",
      [PtrArgs, Operation, BlnWindowsOnTheirFirstMap](TToolRun& Run) {
        const std::vector<std::string> VecOutputs = ReadNameList(PtrArgs->StgOutputs);
        Run.SetResultRange(FractionOfInputs());
        Run.Prepare(PtrArgs->VecIns, VecOutputs);
        const std::unique_ptr<TCellRule> PtrRule = WindowCellRule(Operation, PtrArgs->IntWindow);
        if (PtrRule && StreamWindows(Run, PtrArgs->VecIns, VecOutputs,
                                     static_cast<std::size_t>(PtrArgs->IntWindow), *PtrRule)) {
          return;
        }
        std::vector<std::unique_ptr<TMap>> VecMaps = Run.LoadAll(PtrArgs->VecIns);
        Run.CheckAligned(PtrArgs->VecIns);
        const std::vector<std::unique_ptr<TMap>> VecResults = WindowsOfMaps(
            PtrArgs->BlnZeroMissing ? TWindowOperation::kGradientsZeroMissing : Operation,
            tessgrid::Borrow(VecMaps), PtrArgs->IntWindow);
        VecMaps.clear();
        if (VecResults.size() != VecOutputs.size()) {
          Fail(PtrArgs->StgOutputs + " names " + std::to_string(VecOutputs.size()) +
               " outputs for " + std::to_string(VecResults.size()) + " result maps");
        }
        // Result i lies on the grid of map i (a moving average) or of map 0 (gradients).
        std::vector<std::string> VecSources;
        for (std::size_t LngI = 0; LngI < VecResults.size(); ++LngI) {
          VecSources.push_back(PtrArgs->VecIns[BlnWindowsOnTheirFirstMap ? LngI : 0]);
        }
        Run.WriteAll(VecResults, VecOutputs, VecSources);
      });
  PtrCommand->add_option("--window", PtrArgs->IntWindow, "window size W")->required();
  PtrCommand->add_option("IN", PtrArgs->VecIns, "input grids, in series order")
      ->required()
      ->type_name("GRID");
  PtrCommand
      ->add_option("--outputs", PtrArgs->StgOutputs,
                   "file naming the output grids, one a line, one per window")
      ->required()
      ->type_name("OUTLIST");
  if (Operation == TWindowOperation::kGradients) {
    PtrCommand->add_flag("--zero-missing", PtrArgs->BlnZeroMissing,
                         "the library's zero rule, for series where 0 means missing: a cell that "
                         "is 0 in a window's first grid is no-data, and a 0 in another grid but "
                         "the last takes a nonzero value from its 3 x 3 neighbourhood in that "
                         "grid (TMapTools::FindNonzeroNeighbourVal)");
  }
}

}  // namespace

void AddSeriesCommands(CLI::App& App, TToolContext& Context) {
  AddAggregateCommand(App, Context, "sum",
                      "the cell-wise sum of two or more grids (aligned, or made so by --extent and "
                      "--grid); no-data in any grid gives "
                      "no-data (see --skip-nodata)",
                      TSeriesRule::kSum, TMapTools::Sum, true);
  AddAggregateCommand(App, Context, "count",
                      "for each cell, the number of grids that have data there",
                      TSeriesRule::kCount, TMapTools::DataCounts, false);
  AddAggregateCommand(App, Context, "average",
                      "the cell-wise average of two or more grids (aligned, or made so by --extent "
                      "and --grid); no-data in any grid "
                      "gives no-data (see --skip-nodata)",
                      TSeriesRule::kAverage, TMapTools::Average, true);
  AddAggregateCommand(App, Context, "minimum",
                      "the cell-wise least value of two or more grids (aligned, or made so by "
                      "--extent and --grid); no-data in any "
                      "grid gives no-data (see --skip-nodata)",
                      TSeriesRule::kMinimum, nullptr, true);
  AddAggregateCommand(App, Context, "maximum",
                      "the cell-wise greatest value of two or more grids (aligned, or made so by "
                      "--extent and --grid); no-data in any "
                      "grid gives no-data (see --skip-nodata)",
                      TSeriesRule::kMaximum, nullptr, true);
  AddWindowCommand(App, Context, "moving-average",
                   "the average of every W consecutive aligned grids, one output per window; "
                   "no-data in any grid of a window gives no-data",
                   TWindowOperation::kMovingAverage);
  AddWindowCommand(App, Context, "gradients",
                   "the least-squares slope over every W + 1 consecutive aligned grids, one output "
                   "each, of each cell's values against the grids' positions; no-data cells are "
                   "left out (a 0 is a value; see --zero-missing) and a cell with fewer than two "
                   "values is no-data",
                   TWindowOperation::kGradients);
}

}  // namespace tessgrid::detail
