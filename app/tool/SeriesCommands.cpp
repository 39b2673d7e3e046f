// app/tool/SeriesCommands.cpp - sum, count, average; moving-average, gradients.
// Each is one call of TMapTools (ops/TMapTools.h) on a list; sum, count, average and
// moving-average on grids that share one grid stream instead (app/tool/CellWiseStream.h). The frame
// is app/tool/ToolFrame.h.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/tool/CellWiseStream.h"
#include "app/tool/PresentGradients.h"
#include "app/tool/ResultRanges.h"
#include "app/tool/ToolFrame.h"
#include "engine/NoDataModel.h"
#include "model/Fail.h"
#include "ops/SeriesRows.h"
#include "ops/TMapTools.h"
#include "tessgrid_owning.h"

namespace tessgrid::detail {

namespace {

struct TSeriesArguments {
  std::string StgOut;               ///< sum, count, average: the result grid
  std::vector<std::string> VecIns;  ///< the grids, in series order
  std::string StgList;              ///< sum, count, average: a file naming the grids instead
  std::string StgOutputs;           ///< moving-average, gradients: a file naming the outputs
  int IntWindow = 0;                ///< moving-average, gradients
  bool BlnZeroMissing = false;      ///< gradients: the library's rule, a 0 counted as missing
};

using TAggregate = TMap* (*)(std::vector<TMap*>);

// The rule of TMapTools::Sum, DataCounts or Average (ops/SeriesRows.h) over rows of up to
// LngInputs inputs whose no-data value is -9999, with the check that no data cell came to -9999.
class TAggregateRule final : public TCellRule {
 public:
  TAggregateRule(TAggregate PtrAggregate, std::size_t LngInputs)
      : MbrPtrAggregate(PtrAggregate),
        MbrRule(PtrAggregate == TMapTools::DataCounts ? TSeriesRule::kCount
                : PtrAggregate == TMapTools::Sum      ? TSeriesRule::kSum
                                                      : TSeriesRule::kAverage),
        MbrVecNoData(LngInputs, kDblLibraryNoData) {}

  std::size_t FewestInputs() const override {
    return MbrPtrAggregate == TMapTools::DataCounts ? 1 : 2;
  }

  long Row(long, std::size_t, const double* const* PtrRows, std::size_t LngInputs,
           std::size_t LngColumns, double* PtrOut) override {
    SeriesRow(MbrRule, PtrRows, MbrVecNoData.data(), LngInputs, LngColumns, PtrOut);
    // A count is never -9999.
    return MbrRule == TSeriesRule::kCount ? -1
                                          : DataLostColumn(PtrRows, LngInputs, PtrOut, LngColumns);
  }

 private:
  TAggregate MbrPtrAggregate;
  TSeriesRule MbrRule;
  std::vector<double> MbrVecNoData;  ///< -9999 for every input a row may have
};
using TSeriesOperation = std::vector<TMap*> (*)(std::vector<TMap*>, int);

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

void AddAggregateCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                         const std::string& StgSummary, TAggregate PtrAggregate) {
  auto PtrArgs = std::make_shared<TSeriesArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " out.asc 2019.asc 2020.asc 2021.asc",
      [PtrArgs, PtrAggregate, StgName](TToolRun& Run) {
        const std::vector<std::string> VecIns =
            PtrArgs->StgList.empty() ? PtrArgs->VecIns : ReadNameList(PtrArgs->StgList);
        Run.SetResultRange(PtrAggregate == TMapTools::Sum          ? SumOfInputs()
                           : PtrAggregate == TMapTools::DataCounts ? CountOfInputs()
                                                                   : FractionOfInputs());
        Run.Prepare(VecIns, {PtrArgs->StgOut});
        TAggregateRule Rule(PtrAggregate, VecIns.size());
        if (StreamCellWise(Run, VecIns, PtrArgs->StgOut, Rule)) {
          return;
        }
        std::vector<std::unique_ptr<TMap>> VecMaps = Run.LoadAll(VecIns);
        Run.CheckAligned(VecIns);
        const std::unique_ptr<TMap> PtrResult(
            Explained([&]() { return PtrAggregate(tessgrid::Borrow(VecMaps)); },
                      [&](const std::string& StgMessage) {
                        return ExplainTooFew(StgName, StgMessage, VecMaps.size());
                      }));
        if (PtrAggregate != TMapTools::DataCounts) {
          CheckDataKept(ConstMaps(VecMaps, 0, VecMaps.size()), *PtrResult);
        }
        VecMaps.clear();
        // The result lies on the first map's grid.
        Run.Write(PtrResult.get(), PtrArgs->StgOut, VecIns.empty() ? "" : VecIns.front());
      });
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  CLI::Option* PtrIns =
      PtrCommand->add_option("IN", PtrArgs->VecIns, "input grids")->type_name("GRID");
  PtrCommand->add_option("--list", PtrArgs->StgList, "file naming the input grids, one a line")
      ->type_name("FILE")
      ->excludes(PtrIns);
  PtrCommand->parse_complete_callback([PtrArgs]() {
    if (PtrArgs->VecIns.empty() && PtrArgs->StgList.empty()) {
      throw CLI::RequiredError("IN or --list");
    }
  });
}

// PtrZeroRule, when given, is the operation --zero-missing asks for instead.
void AddWindowCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                      const std::string& StgSummary, TSeriesOperation PtrOperation,
                      TSeriesOperation PtrZeroRule, bool BlnWindowsOnTheirFirstMap) {
  auto PtrArgs = std::make_shared<TSeriesArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " --window 3 m1.asc m2.asc m3.asc m4.asc --outputs outs.txt",
      [PtrArgs, PtrOperation, PtrZeroRule, BlnWindowsOnTheirFirstMap](TToolRun& Run) {
        const std::vector<std::string> VecOutputs = ReadNameList(PtrArgs->StgOutputs);
        Run.SetResultRange(FractionOfInputs());
        Run.Prepare(PtrArgs->VecIns, VecOutputs);
        // A moving average is the average rule over each window: aligned grids stream.
        TAggregateRule Rule(TMapTools::Average,
                            static_cast<std::size_t>(std::max(0, PtrArgs->IntWindow)));
        if (BlnWindowsOnTheirFirstMap && PtrArgs->IntWindow > 0 &&
            StreamWindows(Run, PtrArgs->VecIns, VecOutputs,
                          static_cast<std::size_t>(PtrArgs->IntWindow), Rule)) {
          return;
        }
        std::vector<std::unique_ptr<TMap>> VecMaps = Run.LoadAll(PtrArgs->VecIns);
        Run.CheckAligned(PtrArgs->VecIns);
        const TSeriesOperation PtrRun = PtrArgs->BlnZeroMissing ? PtrZeroRule : PtrOperation;
        const std::vector<std::unique_ptr<TMap>> VecResults =
            tessgrid::Own(PtrRun(tessgrid::Borrow(VecMaps), PtrArgs->IntWindow));
        // A window's average is -9999 only where one of its grids has no data; a slope is
        // no-data where too few values are present.
        for (std::size_t LngI = 0; BlnWindowsOnTheirFirstMap && LngI < VecResults.size(); ++LngI) {
          CheckDataKept(ConstMaps(VecMaps, LngI, static_cast<std::size_t>(PtrArgs->IntWindow)),
                        *VecResults[LngI]);
        }
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
  if (PtrZeroRule != nullptr) {
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
                      "the cell-wise sum of two or more aligned grids; no-data in any grid gives "
                      "no-data",
                      TMapTools::Sum);
  AddAggregateCommand(App, Context, "count",
                      "for each cell, the number of grids that have data there",
                      TMapTools::DataCounts);
  AddAggregateCommand(App, Context, "average",
                      "the cell-wise average of two or more aligned grids; no-data in any grid "
                      "gives no-data",
                      TMapTools::Average);
  AddWindowCommand(App, Context, "moving-average",
                   "the average of every W consecutive aligned grids, one output per window; "
                   "no-data in any grid of a window gives no-data",
                   TMapTools::MovingAverage, nullptr, true);
  AddWindowCommand(App, Context, "gradients",
                   "the least-squares slope over every W + 1 consecutive aligned grids, one output "
                   "each, of each cell's values against the grids' positions; no-data cells are "
                   "left out (a 0 is a value; see --zero-missing) and a cell with fewer than two "
                   "values is no-data",
                   GradientsOfPresentValues, TMapTools::ValueGradients, false);
}

}  // namespace tessgrid::detail
