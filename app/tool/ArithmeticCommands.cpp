// app/tool/ArithmeticCommands.cpp - add, subtract, multiply, divide; scale, divide-by, offset.
// Each is one call of TMapTools (ops/TMapTools.h), or for aligned grids its cell rule streamed;
// the frame is app/tool/ToolFrame.h.
#include <memory>
#include <string>

#include "app/tool/CellWiseStream.h"
#include "app/tool/ResultRanges.h"
#include "app/tool/ToolFrame.h"
#include "engine/NoDataModel.h"
#include "engine/PairOperation.h"
#include "ops/ArithmeticTable.h"
#include "ops/CombineRows.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

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

// Returns whether the edges of two grids enclose a common area.
bool Overlap(const TInputGrid& A, const TInputGrid& B) {
  const auto Span = [](double DblFirst, long LngCells, double DblCellSize) {
    return DblFirst + static_cast<double>(LngCells) * DblCellSize;
  };
  return A.DblWest < Span(B.DblWest, B.LngColumns, B.DblCellSize) &&
         B.DblWest < Span(A.DblWest, A.LngColumns, A.DblCellSize) &&
         A.DblSouth < Span(B.DblSouth, B.LngRows, B.DblCellSize) &&
         B.DblSouth < Span(A.DblSouth, A.LngRows, A.DblCellSize);
}

// The values the operation's result can take from its inputs'.
TResultRangeRule ResultOf(TArithmetic Operation) {
  switch (Operation) {
    case TArithmetic::kAdd:
      return SumOfInputs();
    case TArithmetic::kSubtract:
      return DifferenceOfInputs();
    case TArithmetic::kMultiply:
      return ProductOfInputs();
    default:
      return FractionOfInputs();
  }
}

// The result of Add and Multiply lies on the finer grid, the first one's on a tie, and takes
// that grid's sidecar and no-data value; Subtract and Divide keep the first grid. Subtract pairs
// cells by column and row, so its grids must be aligned.
// Aligned grids stream a block of rows at a time (app/tool/CellWiseStream.h).
void AddPairCommand(CLI::App& App, TToolContext& Context, const TArithmeticEntry& Entry) {
  const std::string StgName = Entry.PtrToolName;
  const bool BlnFinerGrid = Entry.BlnFinerGrid;
  const bool BlnByIndex = Entry.BlnByIndex;
  const TArithmetic Operation = Entry.Operation;
  auto PtrArgs = std::make_shared<TPairArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, Entry.PtrToolSummary,
      "tessgrid-tool " + StgName + " a.asc b.asc out.asc",
      [PtrArgs, BlnFinerGrid, BlnByIndex, StgName, Operation](TToolRun& Run) {
        Run.SetResultRange(ResultOf(Operation));
        Run.Prepare({PtrArgs->StgA, PtrArgs->StgB}, {PtrArgs->StgOut});
        TPairCellRule Rule(Operation);
        if (StreamCellWise(Run, {PtrArgs->StgA, PtrArgs->StgB}, PtrArgs->StgOut, Rule)) {
          return;
        }
        const std::unique_ptr<TMap> PtrA = Run.Load(PtrArgs->StgA);
        const std::unique_ptr<TMap> PtrB = Run.Load(PtrArgs->StgB);
        if (BlnByIndex) {
          Run.CheckAligned({PtrArgs->StgA, PtrArgs->StgB});
        }
        const TInputGrid& A = Run.Input(PtrArgs->StgA);
        const TInputGrid& B = Run.Input(PtrArgs->StgB);
        const std::unique_ptr<TMap> PtrResult(
            Explained([&]() { return PairOfMaps(Operation, *PtrA, *PtrB).release(); },
                      [&](const std::string& StgMessage) {
                        if (BlnByIndex || StgMessage.find("out of range") == std::string::npos) {
                          return StgMessage;
                        }
                        return StgName + ": " + A.StgName + " and " + B.StgName +
                               (Overlap(A, B) ? " overlap only in part" : " do not overlap") +
                               " (" + StgMessage + ")";
                      }));
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
                        TConstantOperation PtrOperation,
                        TValueRange (*PtrRange)(const TValueRange&, const TValueRange&)) {
  auto PtrArgs = std::make_shared<TConstantArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary,
      "tessgrid-tool " + StgName + " in.asc out.asc " + StgOption + " " + StgExampleValue,
      [PtrArgs, PtrOperation, PtrRange](TToolRun& Run) {
        Run.SetResultRange(WithConstant(PtrRange, PtrArgs->DblConstant));
        Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgIn);
        const std::unique_ptr<TMap> PtrResult(PtrOperation(PtrIn.get(), PtrArgs->DblConstant));
        CheckDataKept({PtrIn.get()}, *PtrResult);
        KeepNoData(*PtrIn, *PtrResult);
        Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgIn);
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  AddNumber(PtrCommand, StgOption, PtrArgs->DblConstant, StgOptionHelp)->required();
}

}  // namespace

void AddArithmeticCommands(CLI::App& App, TToolContext& Context) {
  for (const TArithmeticEntry& Entry : kArrArithmetic) {
    AddPairCommand(App, Context, Entry);
  }
  AddConstantCommand(App, Context, "scale", "every cell times F; no-data cells stay", "--factor",
                     "the factor F", "2.5", TMapTools::Multiply, ProductRange);
  AddConstantCommand(App, Context, "divide-by", "every cell divided by D; no-data cells stay",
                     "--divisor", "the divisor D; 0 gives no-data", "4", TMapTools::Divide,
                     FractionRange);
  AddConstantCommand(App, Context, "offset", "every cell plus C; no-data cells stay", "--value",
                     "the constant C", "-100", TMapTools::Add, SumRange);
}

}  // namespace tessgrid::detail
