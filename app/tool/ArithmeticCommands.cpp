// app/tool/ArithmeticCommands.cpp - add, subtract, multiply, divide; scale, divide-by, offset.
// Each is one call of TMapTools (ops/TMapTools.h), the first four through tessgrid's own overlay
// run (app/overlay/OverlayRun.h) between files; the frame is app/tool/ToolFrame.h.
#include <memory>
#include <string>

#include "app/overlay/OverlayRun.h"
#include "app/tool/ToolFrame.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

using TMapOperation = TMap* (*)(const TMap*, const TMap*);
using TConstantOperation = TMap* (*)(const TMap*, double);

struct TPairArguments {
  std::string StgA;
  std::string StgB;
  std::string StgOut;
};

struct TConstantArguments {
  std::string StgIn;
  std::string StgOut;
  double DblConstant = 0.0;
};

// The result of Add and Multiply lies on the finer grid, the first one's on a tie, and takes
// that grid's sidecar; Subtract and Divide keep the first grid. Between files the overlay run
// of tessgrid computes it, which writes what the library's calls write, with their failures in
// their order; standard input and output take the library's calls.
void AddPairCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                    const std::string& StgSummary, TMapOperation PtrOperation, char ChrOperation,
                    bool BlnFinerGrid) {
  auto PtrArgs = std::make_shared<TPairArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary, "tessgrid-tool " + StgName + " a.asc b.asc out.asc",
      [PtrArgs, PtrOperation, ChrOperation, BlnFinerGrid](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgA, PtrArgs->StgB}, {PtrArgs->StgOut});
        if (!IsStandardStream(PtrArgs->StgA) && !IsStandardStream(PtrArgs->StgB) &&
            !IsStandardStream(PtrArgs->StgOut)) {
          const bool BlnFromB = Overlay(PtrArgs->StgA, PtrArgs->StgB, PtrArgs->StgOut, ChrOperation,
                                        TGridHeaderMode::kLenient);
          Run.WriteSidecar(PtrArgs->StgOut, BlnFromB ? PtrArgs->StgB : PtrArgs->StgA);
          return;
        }
        const std::unique_ptr<TMap> PtrA = Run.Load(PtrArgs->StgA);
        const std::unique_ptr<TMap> PtrB = Run.Load(PtrArgs->StgB);
        const std::unique_ptr<TMap> PtrResult(PtrOperation(PtrA.get(), PtrB.get()));
        const bool BlnFromB = BlnFinerGrid && PtrB->MbrDblResolution < PtrA->MbrDblResolution;
        Run.Write(PtrResult.get(), PtrArgs->StgOut, BlnFromB ? PtrArgs->StgB : PtrArgs->StgA);
      });
  AddGrid(PtrCommand, "A", PtrArgs->StgA, "first grid");
  AddGrid(PtrCommand, "B", PtrArgs->StgB, "second grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
}

void AddConstantCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                        const std::string& StgSummary, const std::string& StgOption,
                        const std::string& StgOptionHelp, const std::string& StgExampleValue,
                        TConstantOperation PtrOperation) {
  auto PtrArgs = std::make_shared<TConstantArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " in.asc out.asc " + StgOption + " " + StgExampleValue,
      [PtrArgs, PtrOperation](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgIn);
        const std::unique_ptr<TMap> PtrResult(PtrOperation(PtrIn.get(), PtrArgs->DblConstant));
        Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgIn);
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  AddNumber(PtrCommand, StgOption, PtrArgs->DblConstant, StgOptionHelp)->required();
}

}  // namespace

void AddArithmeticCommands(CLI::App& App, TToolContext& Context) {
  AddPairCommand(App, Context, "add", "A + B cell by cell, on the finer grid", TMapTools::Add, '+',
                 true);
  AddPairCommand(App, Context, "subtract", "A - B cell by cell, paired by column and row",
                 TMapTools::Subtract, '-', false);
  AddPairCommand(App, Context, "multiply", "A x B cell by cell, on the finer grid",
                 TMapTools::Multiply, 'x', true);
  AddPairCommand(App, Context, "divide", "A / B cell by cell, on A's grid (B no finer)",
                 TMapTools::Divide, '/', false);
  AddConstantCommand(App, Context, "scale", "every cell times F; -9999 cells stay", "--factor",
                     "the factor F", "2.5", TMapTools::Multiply);
  AddConstantCommand(App, Context, "divide-by",
                     "every cell divided by D; the input's no-data cells stay", "--divisor",
                     "the divisor D; 0 gives infinities", "4", TMapTools::Divide);
  AddConstantCommand(App, Context, "offset", "every cell plus C; -9999 cells stay", "--value",
                     "the constant C", "-100", TMapTools::Add);
}

}  // namespace tessgrid::detail
