// engine/ResampleRows.cpp - a grid resampled from bands of its rows. The contract is in
// engine/ResampleRows.h.
#include "engine/ResampleRows.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "io/GridReader.h"

namespace tessgrid::detail {

namespace {

// The rows of the band in hand, one after the other, in the library's no-data: a band that
// overlaps the one before keeps the rows they share and reads only the rest.
class TBandRows {
 public:
  TBandRows(const TInputGrid& Input, const TReadRows& ReadRows)
      : MbrInput(Input),
        MbrReadRows(ReadRows),
        MbrLngColumns(static_cast<std::size_t>(Input.LngColumns)) {}

  const double* const* Rows(long LngFirst, long LngCount) {
    const long LngEnd = LngFirst + LngCount;
    long LngKept = 0;  // rows of the band in hand that the new band starts with
    if (LngFirst >= MbrLngFirst && LngFirst < MbrLngEnd) {
      LngKept = std::min(MbrLngEnd, LngEnd) - LngFirst;
      std::copy(Row(LngFirst - MbrLngFirst), Row(LngFirst - MbrLngFirst + LngKept),
                MbrVecCells.begin());
    }
    MbrVecCells.resize(static_cast<std::size_t>(LngCount) * MbrLngColumns);
    if (LngKept < LngCount) {
      MbrReadRows(LngFirst + LngKept, LngCount - LngKept, Row(LngKept));
      for (long LngK = LngKept; LngK < LngCount; ++LngK) {
        const long LngColumn = LibraryNoDataRow(Row(LngK), MbrLngColumns, MbrInput.DblNoData);
        if (LngColumn >= 0) {
          FailNoDataHeld(MbrInput, static_cast<std::size_t>(LngFirst + LngK),
                         static_cast<std::size_t>(LngColumn));
        }
      }
    }
    MbrLngFirst = LngFirst;
    MbrLngEnd = LngEnd;
    MbrVecRows.resize(static_cast<std::size_t>(LngCount));
    for (long LngK = 0; LngK < LngCount; ++LngK) {
      MbrVecRows[static_cast<std::size_t>(LngK)] = Row(LngK);
    }
    return MbrVecRows.data();
  }

 private:
  double* Row(long LngK) {
    return MbrVecCells.data() + static_cast<std::size_t>(LngK) * MbrLngColumns;
  }

  const TInputGrid& MbrInput;
  const TReadRows& MbrReadRows;
  std::size_t MbrLngColumns;
  std::vector<double> MbrVecCells;        ///< rows [MbrLngFirst, MbrLngEnd), one after the other
  std::vector<const double*> MbrVecRows;  ///< where each of them starts
  long MbrLngFirst = 0;
  long MbrLngEnd = 0;
};

}  // namespace

std::unique_ptr<TMap> ResampleGridRows(const TInputGrid& Input, const TReadRows& ReadRows,
                                       const TTargetGrid& Target, double DblResolution,
                                       TResampleMethod Method) {
  // The map the grid reader would make, without its cells: its axes place the source.
  TMap Frame(Input.DblCellSize);
  Frame.MbrLngXDim = Input.LngColumns;
  Frame.MbrLngYDim = Input.LngRows;
  Frame.MbrDblNoDataValue = kDblLibraryNoData;
  SetReaderEdges(Frame, Input.DblWest, Input.DblSouth, Input.DblCellSize);
  TBandRows Band(Input, ReadRows);
  const TSourceRows RowsAt = [&Band](long LngFirst, long LngCount) {
    return Band.Rows(LngFirst, LngCount);
  };
  std::unique_ptr<TResampleGrid> PtrGrid;
  try {
    PtrGrid = Target();
  } catch (...) {
    // A source read whole would have failed first.
    constexpr long kLngRows = 64;
    for (long LngFirst = 0; LngFirst < Input.LngRows; LngFirst += kLngRows) {
      Band.Rows(LngFirst, std::min(kLngRows, Input.LngRows - LngFirst));
    }
    throw;
  }
  return PtrGrid ? ResampleRowsOnto(Frame, *PtrGrid, Method, RowsAt)
                 : ResampleRowsOver(Frame, DblResolution, Method, RowsAt);
}

}  // namespace tessgrid::detail
