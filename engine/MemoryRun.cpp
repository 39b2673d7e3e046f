// engine/MemoryRun.cpp - RunInMemory: in-memory row sources on the series stream. The contract
// is in engine/MemoryRun.h.
#include "engine/MemoryRun.h"

#include <cstddef>
#include <memory>

#include "engine/CellWiseCombiner.h"
#include "engine/Engine.h"
#include "engine/MemoryRows.h"
#include "io/GridHeader.h"

namespace tessgrid::detail {

namespace {

TGridHeader HeaderOf(const TInputGrid& Grid) {
  TGridHeader Header;
  Header.LngColumns = Grid.LngColumns;
  Header.LngRows = Grid.LngRows;
  Header.DblXll = Grid.DblWest;
  Header.DblYll = Grid.DblSouth;
  Header.DblCellSize = Grid.DblCellSize;
  Header.DblNoData = Grid.DblNoData;
  return Header;
}

// Throws ToLibraryNoData's failure for the first -9999 data cell of the cells, if any, without
// changing a cell: the library path meets it before it compares the grids.
template <typename TCell>
void CheckNoDataHeld(const TInputGrid& Grid, const TCell* PtrFirst) {
  if (Grid.DblNoData == kDblLibraryNoData) {
    return;
  }
  const std::size_t LngColumns = static_cast<std::size_t>(Grid.LngColumns);
  for (std::size_t LngRow = 0; LngRow < static_cast<std::size_t>(Grid.LngRows); ++LngRow) {
    const TCell* const PtrRow = PtrFirst + LngRow * LngColumns;
    for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
      if (PtrRow[LngColumn] == kDblLibraryNoData) {
        FailNoDataHeld(Grid, LngRow, LngColumn);
      }
    }
  }
}

void CheckNoDataHeld(const TMemoryInput& Input) {
  if (Input.PtrFirst != nullptr) {
    CheckNoDataHeld(Input.Grid, Input.PtrFirst);
  } else {
    CheckNoDataHeld(Input.Grid, Input.PtrFirst32);
  }
}

}  // namespace

bool PairsCellForCell(const std::vector<const TInputGrid*>& VecGrids) {
  try {
    CheckAligned(VecGrids);
  } catch (...) {
    return false;
  }
  return !VecGrids.empty() && OrdinaryGrid(*VecGrids.front());
}

void RunInMemory(TCellRule& Rule, const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                 double* PtrOut, double DblNoData, const std::string& StgOutput) {
  const std::size_t LngColumns =
      VecInputs.empty() ? 0 : static_cast<std::size_t>(VecInputs.front().Grid.LngColumns);
  TMemoryRowSink Sink(PtrOut, LngColumns);
  RunInMemory(Rule, VecInputs, LngThreads, Sink, DblNoData, StgOutput);
}

void RunInMemory(TCellRule& Rule, const std::vector<TMemoryInput>& VecInputs, long LngThreads,
                 TRowSink& Sink, double DblNoData, const std::string& StgOutput) {
  std::vector<TInputGrid> VecGrids;
  std::vector<const TInputGrid*> VecGridPtrs;
  std::vector<std::string> VecNames;
  for (const TMemoryInput& Input : VecInputs) {
    VecGrids.push_back(Input.Grid);
    VecNames.push_back(Input.Grid.StgName);
  }
  for (const TInputGrid& Grid : VecGrids) {
    VecGridPtrs.push_back(&Grid);
  }
  try {
    CheckAligned(VecGridPtrs);
  } catch (...) {
    for (const TMemoryInput& Input : VecInputs) {
      CheckNoDataHeld(Input);
    }
    throw;
  }
  // The stream opens its inputs in order, each once: the opener hands out the next source.
  std::size_t LngNext = 0;
  const TRowSourceOpener Opener = [&](const std::string&) -> std::unique_ptr<TRowSource> {
    const TMemoryInput& Input = VecInputs[LngNext++];
    if (Input.PtrFirst == nullptr) {
      return std::make_unique<TFloat32RowSource>(HeaderOf(Input.Grid), Input.PtrFirst32);
    }
    return std::make_unique<TMemoryRowSource>(HeaderOf(Input.Grid), Input.PtrFirst);
  };
  TSeriesStream Stream(VecNames, TGridHeaderMode::kStrict, LngThreads,
                       TSeriesStream::kLngSeriesBudget, Opener);
  Stream.ReadHeaders();
  TCellWiseCombiner Combiner(VecGrids, Rule, VecGrids.size(), {StgOutput}, {DblNoData});
  Stream.Run(Combiner, &Sink);
  Combiner.ThrowHeld();
}

}  // namespace tessgrid::detail
