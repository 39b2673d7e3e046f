// app/tool/TransformCommands.cpp - round, threshold, reclass, mask, fill.
// Each is one call of TMapTools (ops/TMapTools.h), composed for both faces where the user's values
// meet the grid's no-data (engine/TransformOperation.h); the frame is app/tool/ToolFrame.h.
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/tool/ToolFrame.h"
#include "engine/TransformOperation.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

struct TTransformArguments {
  std::string StgIn;
  std::string StgOut;
  std::string StgSecond;  ///< mask: the source grid; reclass: the table
  double DblA = 0.0;      ///< threshold: --min; reclass: --default; mask: --match; fill: --value
  double DblB = 0.0;      ///< threshold: --replace; mask: --value
  std::pair<long, long> PairRows{0, 0};     ///< fill: northern and southern row
  std::pair<long, long> PairColumns{0, 0};  ///< fill: western and eastern column
  CLI::Option* PtrReplace = nullptr;        ///< threshold: set when --replace was given
};

// Turns the loaded input into the result; the run tells what the input's file states.
using TTransform = std::unique_ptr<TMap> (*)(TToolRun&, const TMap&, const TTransformArguments&);

// The command reads IN and writes OUT on IN's grid.
CLI::App* AddInOutCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                          const std::string& StgSummary, const std::string& StgExample,
                          const std::shared_ptr<TTransformArguments>& PtrArgs,
                          TTransform PtrTransform) {
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary, StgExample, [PtrArgs, PtrTransform](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgIn);
        const std::unique_ptr<TMap> PtrResult = PtrTransform(Run, *PtrIn, *PtrArgs);
        Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgIn);
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  return PtrCommand;
}

// The reclass table's entries in file order: a key given twice (NaN included) fails the run.
std::vector<std::pair<double, double>> ReclassEntries(const std::string& StgTable) {
  std::vector<std::pair<double, double>> VecEntries;
  std::map<double, long> MapSeen;
  bool BlnNaNSeen = false;
  for (const TNumberLine& Line : ReadNumberTable(StgTable, "from,to")) {
    if (std::isnan(Line.VecFields[0])) {
      if (BlnNaNSeen) {
        Fail("File format error: duplicate key at line " + std::to_string(Line.LngLine) + " of " +
             StgTable);
      }
      BlnNaNSeen = true;
    } else {
      AddKey(MapSeen, Line.VecFields[0], Line.LngLine, StgTable);
    }
    VecEntries.emplace_back(Line.VecFields[0], Line.VecFields[1]);
  }
  return VecEntries;
}

}  // namespace

void AddTransformCommands(CLI::App& App, TToolContext& Context) {
  AddInOutCommand(App, Context, "round",
                  "every cell rounded, halves up; negative cells truncated toward zero",
                  "tessgrid-tool round in.asc out.asc", std::make_shared<TTransformArguments>(),
                  [](TToolRun&, const TMap& In, const TTransformArguments&) {
                    return Kept(In, TMapTools::RoundContents(&In), true);
                  });

  auto PtrThreshold = std::make_shared<TTransformArguments>();
  CLI::App* PtrCommand = AddInOutCommand(
      App, Context, "threshold",
      "cells below T become 0; with --replace, cells at or above T become V instead; no-data "
      "cells stay",
      "tessgrid-tool threshold dem.asc high.asc --min 500", PtrThreshold,
      [](TToolRun& Run, const TMap& In, const TTransformArguments& Args) {
        return ThresholdOperation(
            In, Run.Input(Args.StgIn), Args.DblA,
            Args.PtrReplace->count() > 0 ? std::optional<double>(Args.DblB) : std::nullopt);
      });
  AddNumber(PtrCommand, "--min", PtrThreshold->DblA, "the threshold T")->required();
  PtrThreshold->PtrReplace =
      AddNumber(PtrCommand, "--replace", PtrThreshold->DblB, "the value V for cells at or above T");

  auto PtrReclass = std::make_shared<TTransformArguments>();
  PtrCommand = AddInOutCommand(
      App, Context, "reclass",
      "every cell replaced by its entry in a from,to table, or the default; no-data cells stay "
      "unless the table has an entry for IN's NODATA_value",
      "tessgrid-tool reclass landuse.asc classes.asc --table table.csv --default -9999", PtrReclass,
      [](TToolRun& Run, const TMap& In, const TTransformArguments& Args) {
        return ReclassOperation(In, Run.Input(Args.StgIn), ReclassEntries(Args.StgSecond),
                                Args.DblA);
      });
  PtrCommand->add_option("--table", PtrReclass->StgSecond, "CSV file of from,to lines")
      ->required()
      ->type_name("CSV");
  AddNumber(PtrCommand, "--default", PtrReclass->DblA, "the value of cells not in the table")
      ->default_str("0");

  auto PtrMask = std::make_shared<TTransformArguments>();
  PtrCommand = AddCommand(App, Context, "mask",
                          "SOURCE's cells with M replaced by V, on GRID's grid (aligned); "
                          "a NODATA_value as M or V stands for no-data",
                          "tessgrid-tool mask grid.asc source.asc out.asc --match 0 --value -9999",
                          [PtrMask](TToolRun& Run) {
                            Run.Prepare({PtrMask->StgIn, PtrMask->StgSecond}, {PtrMask->StgOut});
                            const std::unique_ptr<TMap> PtrGrid = Run.Load(PtrMask->StgIn);
                            const std::unique_ptr<TMap> PtrSource = Run.Load(PtrMask->StgSecond);
                            Run.CheckAligned({PtrMask->StgIn, PtrMask->StgSecond});
                            const std::unique_ptr<TMap> PtrResult = MaskOperation(
                                *PtrGrid, Run.Input(PtrMask->StgIn), *PtrSource,
                                Run.Input(PtrMask->StgSecond), PtrMask->DblA, PtrMask->DblB);
                            Run.Write(PtrResult.get(), PtrMask->StgOut, PtrMask->StgIn);
                          });
  AddGrid(PtrCommand, "GRID", PtrMask->StgIn, "grid that gives the result its grid");
  AddGrid(PtrCommand, "SOURCE", PtrMask->StgSecond, "grid whose values are masked");
  AddGrid(PtrCommand, "OUT", PtrMask->StgOut, "result grid");
  AddNumber(PtrCommand, "--match", PtrMask->DblA, "the value M to replace")->required();
  AddNumber(PtrCommand, "--value", PtrMask->DblB, "the replacement V")->required();

  auto PtrFill = std::make_shared<TTransformArguments>();
  PtrCommand = AddCommand(
      App, Context, "fill",
      "a block of cells set to V (rows N to S, columns W to E, from 0); IN's NODATA_value as V "
      "makes them no-data",
      "tessgrid-tool fill in.asc out.asc --rows 0 9 --columns 5 7 --value -9999",
      [PtrFill](TToolRun& Run) {
        Run.Prepare({PtrFill->StgIn}, {PtrFill->StgOut});
        const std::unique_ptr<TMap> PtrMap = Run.Load(PtrFill->StgIn);
        TMapTools::FillBlock(PtrMap.get(), Run.ToLibraryValue(PtrFill->DblA, PtrFill->StgIn),
                             PtrFill->PairRows.first, PtrFill->PairRows.second,
                             PtrFill->PairColumns.first, PtrFill->PairColumns.second);
        Run.Write(PtrMap.get(), PtrFill->StgOut, PtrFill->StgIn);
      });
  AddGrid(PtrCommand, "IN", PtrFill->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrFill->StgOut, "result grid");
  PtrCommand->add_option("--rows", PtrFill->PairRows, "northern and southern row N S")->required();
  PtrCommand->add_option("--columns", PtrFill->PairColumns, "western and eastern column W E")
      ->required();
  AddNumber(PtrCommand, "--value", PtrFill->DblA, "the value V")->required();
}

}  // namespace tessgrid::detail
