// app/tool/TransformCommands.cpp - round, threshold, reclass, mask, fill.
// Each is one call of TMapTools (ops/TMapTools.h); the frame is app/tool/ToolFrame.h.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/tool/ToolFrame.h"
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

// Turns the loaded input into the result, which may be the input itself.
using TTransform = std::unique_ptr<TMap> (*)(std::unique_ptr<TMap>, const TTransformArguments&);

// The command reads IN and writes OUT on IN's grid.
CLI::App* AddInOutCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                          const std::string& StgSummary, const std::string& StgExample,
                          const std::shared_ptr<TTransformArguments>& PtrArgs,
                          TTransform PtrTransform) {
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary, StgExample, [PtrArgs, PtrTransform](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrResult = PtrTransform(Run.Load(PtrArgs->StgIn), *PtrArgs);
        Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgIn);
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  return PtrCommand;
}

}  // namespace

void AddTransformCommands(CLI::App& App, TToolContext& Context) {
  AddInOutCommand(App, Context, "round",
                  "every cell rounded, halves up; negative cells truncated toward zero",
                  "tessgrid-tool round in.asc out.asc", std::make_shared<TTransformArguments>(),
                  [](std::unique_ptr<TMap> PtrIn, const TTransformArguments&) {
                    return std::unique_ptr<TMap>(TMapTools::RoundContents(PtrIn.get()));
                  });

  auto PtrThreshold = std::make_shared<TTransformArguments>();
  CLI::App* PtrCommand = AddInOutCommand(
      App, Context, "threshold",
      "cells below T become 0; with --replace, cells at or above T become V instead",
      "tessgrid-tool threshold dem.asc high.asc --min 500", PtrThreshold,
      [](std::unique_ptr<TMap> PtrIn, const TTransformArguments& Args) {
        return std::unique_ptr<TMap>(
            Args.PtrReplace->count() > 0
                ? TMapTools::ThresholdReplace(PtrIn.get(), Args.DblA, Args.DblB)
                : TMapTools::Threshold(PtrIn.get(), Args.DblA));
      });
  AddNumber(PtrCommand, "--min", PtrThreshold->DblA, "the threshold T")->required();
  PtrThreshold->PtrReplace =
      AddNumber(PtrCommand, "--replace", PtrThreshold->DblB, "the value V for cells at or above T");

  auto PtrReclass = std::make_shared<TTransformArguments>();
  PtrCommand = AddInOutCommand(
      App, Context, "reclass",
      "every cell replaced by its entry in a from,to table, or the default",
      "tessgrid-tool reclass landuse.asc classes.asc --table table.csv --default -9999", PtrReclass,
      [](std::unique_ptr<TMap> PtrIn, const TTransformArguments& Args) {
        std::map<double, double> MapTable;
        std::map<double, long> MapSeen;
        for (const TNumberLine& Line : ReadNumberTable(Args.StgSecond, "from,to")) {
          AddKey(MapSeen, Line.VecFields[0], Line.LngLine, Args.StgSecond);
          MapTable[Line.VecFields[0]] = Line.VecFields[1];
        }
        return std::unique_ptr<TMap>(TMapTools::ReplaceValue(PtrIn.get(), MapTable, Args.DblA));
      });
  PtrCommand->add_option("--table", PtrReclass->StgSecond, "CSV file of from,to lines")
      ->required()
      ->type_name("CSV");
  AddNumber(PtrCommand, "--default", PtrReclass->DblA, "the value of cells not in the table")
      ->default_str("0");

  auto PtrMask = std::make_shared<TTransformArguments>();
  PtrCommand = AddCommand(App, Context, "mask",
                          "SOURCE's cells with M replaced by V, on GRID's grid (same size)",
                          "tessgrid-tool mask grid.asc source.asc out.asc --match 0 --value -9999",
                          [PtrMask](TToolRun& Run) {
                            Run.Prepare({PtrMask->StgIn, PtrMask->StgSecond}, {PtrMask->StgOut});
                            const std::unique_ptr<TMap> PtrGrid = Run.Load(PtrMask->StgIn);
                            const std::unique_ptr<TMap> PtrSource = Run.Load(PtrMask->StgSecond);
                            const std::unique_ptr<TMap> PtrResult(TMapTools::Mask(
                                PtrGrid.get(), PtrSource.get(), PtrMask->DblA, PtrMask->DblB));
                            Run.Write(PtrResult.get(), PtrMask->StgOut, PtrMask->StgIn);
                          });
  AddGrid(PtrCommand, "GRID", PtrMask->StgIn, "grid that gives the result its grid");
  AddGrid(PtrCommand, "SOURCE", PtrMask->StgSecond, "grid whose values are masked");
  AddGrid(PtrCommand, "OUT", PtrMask->StgOut, "result grid");
  AddNumber(PtrCommand, "--match", PtrMask->DblA, "the value M to replace")->required();
  AddNumber(PtrCommand, "--value", PtrMask->DblB, "the replacement V")->required();

  auto PtrFill = std::make_shared<TTransformArguments>();
  PtrCommand = AddInOutCommand(
      App, Context, "fill", "a block of cells set to V (rows N to S, columns W to E, from 0)",
      "tessgrid-tool fill in.asc out.asc --rows 0 9 --columns 5 7 --value -9999", PtrFill,
      [](std::unique_ptr<TMap> PtrIn, const TTransformArguments& Args) {
        TMapTools::FillBlock(PtrIn.get(), Args.DblA, Args.PairRows.first, Args.PairRows.second,
                             Args.PairColumns.first, Args.PairColumns.second);
        return PtrIn;
      });
  PtrCommand->add_option("--rows", PtrFill->PairRows, "northern and southern row N S")->required();
  PtrCommand->add_option("--columns", PtrFill->PairColumns, "western and eastern column W E")
      ->required();
  AddNumber(PtrCommand, "--value", PtrFill->DblA, "the value V")->required();
}

}  // namespace tessgrid::detail
