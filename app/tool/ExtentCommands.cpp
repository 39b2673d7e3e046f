// app/tool/ExtentCommands.cpp - extract, insert, intersect, patch.
// Each is one call of TMapTools (ops/TMapTools.h); the frame is app/tool/ToolFrame.h.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/tool/ToolFrame.h"
#include "model/TPoint.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

struct TExtentArguments {
  std::string StgA;                ///< extract: IN; insert: DEST; intersect: A; patch: IN
  std::string StgB;                ///< insert: PIECE; intersect: B
  std::string StgOut;              ///< extract, insert: OUT; intersect: OUT_A
  std::string StgOutB;             ///< intersect: OUT_B
  std::vector<double> VecNumbers;  ///< extract: XMIN YMIN XMAX YMAX; patch: V
};

void AddExtract(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TExtentArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "extract",
      "the cells from the one holding (XMIN, YMIN) to the one holding (XMAX, YMAX)",
      "tessgrid-tool extract dem.asc part.asc --bbox 412010 387010 412990 387990",
      [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgA}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgA);
        const TPoint Corner1(PtrArgs->VecNumbers[0], PtrArgs->VecNumbers[1]);
        const TPoint Corner2(PtrArgs->VecNumbers[2], PtrArgs->VecNumbers[3]);
        const std::unique_ptr<TMap> PtrResult(Explained(
            [&]() { return TMapTools::Extract(PtrIn.get(), &Corner1, &Corner2); },
            [&](const std::string& StgMessage) {
              for (const TPoint* PtrCorner : {&Corner1, &Corner2}) {
                if (!Inside(Run.Input(PtrArgs->StgA), PtrCorner->MbrDblX, PtrCorner->MbrDblY)) {
                  return "extract: the corner " + PointText(*PtrCorner) + " lies outside " +
                         PtrArgs->StgA + " (" + StgMessage + ")";
                }
              }
              return StgMessage;
            }));
        Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgA);
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgA, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  AddNumbers(PtrCommand, "--bbox", PtrArgs->VecNumbers,
             "two opposite corners XMIN YMIN XMAX YMAX, each inside a cell of IN")
      ->expected(4)
      ->required();
}

void AddInsert(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TExtentArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "insert",
      "a copy of DEST with every cell of PIECE written into the cell that holds its centre",
      "tessgrid-tool insert dem.asc patch.asc repaired.asc", [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgA, PtrArgs->StgB}, {PtrArgs->StgOut});
        const std::unique_ptr<TMap> PtrDestination = Run.Load(PtrArgs->StgA);
        const std::unique_ptr<TMap> PtrPiece = Run.Load(PtrArgs->StgB);
        TMapTools::Insert(PtrDestination.get(), PtrPiece.get());
        Run.Write(PtrDestination.get(), PtrArgs->StgOut, PtrArgs->StgA);
      });
  AddGrid(PtrCommand, "DEST", PtrArgs->StgA, "destination grid (the file is not changed)");
  AddGrid(PtrCommand, "PIECE", PtrArgs->StgB, "grid to insert");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
}

void AddIntersect(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TExtentArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "intersect", "the cells of A and of B whose centres lie in their common area",
      "tessgrid-tool intersect a.asc b.asc a_common.asc b_common.asc", [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgA, PtrArgs->StgB}, {PtrArgs->StgOut, PtrArgs->StgOutB});
        const std::unique_ptr<TMap> PtrA = Run.Load(PtrArgs->StgA);
        const std::unique_ptr<TMap> PtrB = Run.Load(PtrArgs->StgB);
        TMap* PtrOutA = nullptr;
        TMap* PtrOutB = nullptr;
        TMapTools::Intersection(PtrA.get(), PtrB.get(), PtrOutA, PtrOutB);
        std::unique_ptr<TMap> PtrOwnedA(PtrOutA);
        std::unique_ptr<TMap> PtrOwnedB(PtrOutB);
        std::vector<std::unique_ptr<TMap>> VecResults;
        VecResults.push_back(std::move(PtrOwnedA));
        VecResults.push_back(std::move(PtrOwnedB));
        Run.WriteAll(VecResults, {PtrArgs->StgOut, PtrArgs->StgOutB},
                     {PtrArgs->StgA, PtrArgs->StgB});
      });
  AddGrid(PtrCommand, "A", PtrArgs->StgA, "first grid");
  AddGrid(PtrCommand, "B", PtrArgs->StgB, "second grid");
  AddGrid(PtrCommand, "OUT_A", PtrArgs->StgOut, "A's cells in the common area");
  AddGrid(PtrCommand, "OUT_B", PtrArgs->StgOutB, "B's cells in the common area");
}

void AddPatch(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TExtentArguments>();
  PtrArgs->VecNumbers.resize(1);
  CLI::App* PtrCommand = AddCommand(
      App, Context, "patch",
      "prints min_row,max_row,min_column,max_column of the cells equal to V (nothing if none)",
      "tessgrid-tool patch lakes.asc --value 3", [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgA}, {});
        const std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgA);
        const double DblValue = Run.ToLibraryValue(PtrArgs->VecNumbers[0], PtrArgs->StgA);
        long LngMinRow = 0;
        long LngMaxRow = 0;
        long LngMinColumn = 0;
        long LngMaxColumn = 0;
        TMapTools::FindPatchExtent(PtrIn.get(), DblValue, LngMinRow, LngMaxRow, LngMinColumn,
                                   LngMaxColumn);
        // The extent of no cell reads like a patch of cell (0, 0); the count tells them apart.
        const bool BlnFound = TMapTools::CountValues(PtrIn.get(), DblValue) > 0;
        Print([&](TBlockWriter& Writer) {
          if (!BlnFound) {
            return;
          }
          for (const long LngIndex : {LngMinRow, LngMaxRow, LngMinColumn}) {
            Writer.PutInteger(LngIndex);
            Writer.PutChar(',');
          }
          Writer.PutInteger(LngMaxColumn);
          Writer.PutChar('\n');
        });
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgA, "input grid");
  AddNumber(PtrCommand, "--value", PtrArgs->VecNumbers[0], "the value V")->required();
}

}  // namespace

void AddExtentCommands(CLI::App& App, TToolContext& Context) {
  AddExtract(App, Context);
  AddInsert(App, Context);
  AddIntersect(App, Context);
  AddPatch(App, Context);
}

}  // namespace tessgrid::detail
