// engine/CellWiseCombiner.cpp - TCellWiseCombiner: inputs translated as they are read, results
// checked and translated as they are combined. The contract is in engine/CellWiseCombiner.h.
#include "engine/CellWiseCombiner.h"

#include <tuple>
#include <utility>

namespace tessgrid::detail {

TCellWiseCombiner::TCellWiseCombiner(const std::vector<TInputGrid>& VecGrids, TCellRule& Rule,
                                     std::size_t LngWindow, std::vector<std::string> VecOutputs,
                                     std::vector<double> VecNoData,
                                     std::function<void(std::size_t)> Progress)
    : MbrVecGrids(VecGrids),
      MbrRule(Rule),
      MbrLngWindow(LngWindow),
      MbrVecOutputs(std::move(VecOutputs)),
      MbrVecNoData(std::move(VecNoData)),
      MbrProgress(std::move(Progress)),
      MbrVecHeld(MbrVecOutputs.size()) {}

void TCellWiseCombiner::RowsCombined(std::size_t LngRows) {
  if (MbrProgress) {
    MbrProgress(LngRows);
  }
}

bool TCellWiseCombiner::TakesRowsOf(std::size_t LngInput) const {
  // Rows already in the library's no-data hold nothing to translate or refuse.
  return !(MbrVecGrids[LngInput].DblNoData == kDblLibraryNoData);
}

void TCellWiseCombiner::TakeRow(std::size_t LngInput, std::size_t LngRow, double* PtrCells) {
  const TInputGrid& Grid = MbrVecGrids[LngInput];
  const long LngHeld =
      LibraryNoDataRow(PtrCells, static_cast<std::size_t>(Grid.LngColumns), Grid.DblNoData);
  if (LngHeld >= 0) {
    FailNoDataHeld(Grid, LngRow, static_cast<std::size_t>(LngHeld));
  }
}

void TCellWiseCombiner::CombineRow(long LngWorker, std::size_t LngRow, const double* const* PtrRows,
                                   double* PtrOut) {
  const std::size_t LngColumns = static_cast<std::size_t>(MbrVecGrids.front().LngColumns);
  for (std::size_t LngR = 0; LngR < MbrVecOutputs.size(); ++LngR) {
    double* const PtrResult = PtrOut + LngR * LngColumns;
    const long LngLost =
        MbrRule.Row(LngWorker, LngRow, PtrRows + LngR, MbrLngWindow, LngColumns, PtrResult);
    if (LngLost >= 0) {
      // The library path checks the results one after the other: a later result's loss
      // waits for the earlier results' rows.
      if (MbrVecOutputs.size() == 1) {
        FailDataLost(LngRow, static_cast<std::size_t>(LngLost));
      }
      Keep(MbrLost, LngR, LngRow, static_cast<std::size_t>(LngLost), 0.0);
      continue;
    }
    // The library path meets this only once every cell has passed CheckDataKept: it is kept
    // for the end.
    const bool BlnAsTheyAre = MbrVecNoData[LngR] == kDblLibraryNoData && MbrRule.WritesFiniteRows();
    const long LngHeld =
        BlnAsTheyAre ? -1 : DeclaredNoDataRow(PtrResult, LngColumns, MbrVecNoData[LngR]);
    if (LngHeld >= 0) {
      Keep(MbrVecHeld[LngR], LngR, LngRow, static_cast<std::size_t>(LngHeld), 0.0);
      continue;
    }
    CheckRow(LngR, LngRow, PtrResult, LngColumns);
  }
}

bool TCellWiseCombiner::Failing() {
  const std::lock_guard<std::mutex> Lock(MbrMutex);
  return MbrLost.LngRow != kLngNone;
}

void TCellWiseCombiner::ThrowHeld() const {
  ThrowLost();
  for (std::size_t LngR = 0; LngR < MbrVecOutputs.size(); ++LngR) {
    ThrowHeld(LngR);
  }
}

void TCellWiseCombiner::ThrowLost() const {
  if (MbrLost.LngRow != kLngNone) {
    FailDataLost(MbrLost.LngRow, MbrLost.LngColumn);
  }
}

void TCellWiseCombiner::ThrowHeld(std::size_t LngR) const {
  const TCell& Held = MbrVecHeld[LngR];
  if (Held.LngRow != kLngNone) {
    FailNoDataWritten(MbrVecOutputs[LngR], MbrVecNoData[LngR], Held.LngRow, Held.LngColumn);
  }
  ThrowChecked(LngR);
}

void TCellWiseCombiner::Keep(TCell& Cell, std::size_t LngResult, std::size_t LngRow,
                             std::size_t LngColumn, double DblValue) {
  const std::lock_guard<std::mutex> Lock(MbrMutex);
  if (std::tie(LngResult, LngRow, LngColumn) <
      std::tie(Cell.LngResult, Cell.LngRow, Cell.LngColumn)) {
    Cell = {LngResult, LngRow, LngColumn, DblValue};
  }
}

}  // namespace tessgrid::detail
