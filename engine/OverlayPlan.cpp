// engine/OverlayPlan.cpp - the result's edges, the partner lookups by blocks of rows, and
// the rows combined in runs. The contract is in engine/OverlayPlan.h.
#include "engine/OverlayPlan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/GridWriter.h"

namespace tessgrid::detail {

namespace {

// Rows paired at a time: the lookups take some 28 bytes a row, under 2 MiB for a block, and the
// partner's edges are read for their order only once (TEdgeList).
constexpr std::size_t kLngSlabRows = std::size_t{1} << 16;

constexpr std::size_t kLngNotPaired = std::numeric_limits<std::size_t>::max();

}  // namespace

bool OverlayComputes(TArithmetic Operation, const TGridHeader& Header1,
                     const TGridHeader& Header2) {
  const TGridHeader& Base =
      SecondIsBase(Operation, Header1.DblCellSize, Header2.DblCellSize) ? Header2 : Header1;
  return Base.LngColumns != 0 && Base.LngRows != 0 && !std::isnan(Base.DblCellSize);
}

TOverlayPlan::TOverlayPlan(TArithmetic Operation, const TGridHeader& Header1,
                           const TGridHeader& Header2)
    : MbrOperation(Operation),
      MbrBlnSecondIsBase(detail::SecondIsBase(Operation, Header1.DblCellSize, Header2.DblCellSize)),
      MbrBaseHeader(MbrBlnSecondIsBase ? Header2 : Header1),
      MbrPartnerHeader(MbrBlnSecondIsBase ? Header1 : Header2),
      MbrLngColumns(static_cast<std::size_t>(MbrBaseHeader.LngColumns)),
      MbrLngPartnerColumns(static_cast<std::size_t>(MbrPartnerHeader.LngColumns)),
      MbrLngRows(static_cast<std::size_t>(MbrBaseHeader.LngRows)),
      MbrDblWest(0.0),
      MbrDblSouth(0.0),
      MbrPtrColumns(nullptr),
      MbrLngPairedFirst(kLngNotPaired) {
  const std::size_t LngRows = MbrLngRows;
  const double DblCellSize = MbrBaseHeader.DblCellSize;
  // The geometry of the maps the library would hold: the reader's edges, their centres. The Y
  // edges are running sums northwards from the corner; only the southern edge of each block of
  // rows is kept, from which the block's edges are summed again, bit for bit, when it is paired,
  // so that a thin grid holds no coordinate for each of its rows.
  TGridEdges BaseEdges =
      ReaderEdges(MbrBaseHeader.DblXll, MbrBaseHeader.DblYll, DblCellSize, MbrLngColumns, 0);
  std::vector<double>& VecXCentres = BaseEdges.VecX;
  EdgesToCentres(VecXCentres, 'X');
  MbrVecSlabSouth.resize((LngRows + kLngSlabRows - 1) / kLngSlabRows);
  double DblEdge = MbrBaseHeader.DblYll;
  for (std::size_t LngEdge = LngRows; LngEdge > 0; --LngEdge) {
    if (LngEdge == LngRows || LngEdge % kLngSlabRows == 0) {
      MbrVecSlabSouth[(LngEdge - 1) / kLngSlabRows] = DblEdge;
    }
    DblEdge += DblCellSize;
  }
  const double DblNorth = DblEdge;
  SetSlabCentres((LngRows - 1) / kLngSlabRows * kLngSlabRows,
                 LngRows - (LngRows - 1) / kLngSlabRows * kLngSlabRows);
  const double DblLastCentre = MbrVecYCentres.back();
  SetSlabCentres(0, std::min(kLngSlabRows, LngRows));

  // The result map's edges derive from the base's centres (TMap::SetXAxis, SetYAxis); the
  // writer states the western edge and the Y corner SouthernEdge picks.
  const double DblXCentresY = CentreOfEdges(DblNorth, DblNorth, 'Y');
  const TEdgeRun XRun =
      EdgeRunOfCentres(VecXCentres.front(), DblXCentresY, DblXCentresY, DblCellSize, 'X');
  const double DblYCentresX = CentreOfEdges(MbrBaseHeader.DblXll, MbrBaseHeader.DblXll, 'X');
  const TEdgeRun YRun =
      EdgeRunOfCentres(DblYCentresX, MbrVecYCentres.front(), DblLastCentre, DblCellSize, 'Y');
  MbrDblWest = XRun.DblX;
  MbrDblSouth =
      SouthernEdge(YRun.DblY, RunningSumAt(YRun.DblY, YRun.DblStep, LngRows), DblCellSize);

  // Subtract pairs by index; the others pair each base centre with the partner cell holding it.
  if (MbrOperation != TArithmetic::kSubtract) {
    MbrPartnerEdges =
        ReaderEdges(MbrPartnerHeader.DblXll, MbrPartnerHeader.DblYll, MbrPartnerHeader.DblCellSize,
                    MbrLngPartnerColumns, static_cast<std::size_t>(MbrPartnerHeader.LngRows));
    MbrColumns =
        FindPartnerLines(VecXCentres.data(), VecXCentres.size(), MbrPartnerEdges.VecX.data(),
                         MbrPartnerEdges.VecX.size(), MbrPartnerHeader.LngColumns, 'X');
    MbrPtrColumns = PartnerColumnsOf(MbrColumns.MbrVecIndices, MbrLngPartnerColumns);
  }
  MbrPtrPartnerRowEdges =
      std::make_unique<TEdgeList>(MbrPartnerEdges.VecY.data(), MbrPartnerEdges.VecY.size());
  PairRowsAround(0);
}

void TOverlayPlan::PairRowsAround(std::size_t LngRow) {
  const std::size_t LngFirst = LngRow / kLngSlabRows * kLngSlabRows;
  if (LngFirst == MbrLngPairedFirst || MbrOperation == TArithmetic::kSubtract) {
    return;
  }
  // The first block meets any failure of a column in its first row, so a later block fails only
  // at a row of its own, and that is the first failing cell of the grid, as the library's
  // pairing of the whole grid finds it.
  MbrLngPairedFirst = kLngNotPaired;
  const std::size_t LngCount = std::min(kLngSlabRows, MbrLngRows - LngFirst);
  SetSlabCentres(LngFirst, LngCount);
  MbrRows = FindPartnerLines(MbrVecYCentres.data(), LngCount, *MbrPtrPartnerRowEdges,
                             MbrPartnerHeader.LngRows, 'Y');
  CheckPairing(MbrColumns, MbrRows);
  MbrLngPairedFirst = LngFirst;
}

void TOverlayPlan::SetSlabCentres(std::size_t LngFirst, std::size_t LngCount) {
  // Edges LngFirst + LngCount (the block's southern edge) back to LngFirst, as ReaderEdges sums
  // them northwards; then the centres between them.
  MbrVecYCentres.resize(LngCount + 1);
  double DblEdge = MbrVecSlabSouth[LngFirst / kLngSlabRows];
  for (std::size_t LngK = LngCount + 1; LngK > 0; --LngK) {
    MbrVecYCentres[LngK - 1] = DblEdge;
    DblEdge += MbrBaseHeader.DblCellSize;
  }
  EdgesToCentres(MbrVecYCentres, 'Y');
}

void TOverlayPlan::Combine(std::size_t LngFirstRow, std::size_t LngRows, double* PtrCells,
                           const double* PtrPartnerCells) {
  const std::size_t LngEnd = LngFirstRow + LngRows;
  for (std::size_t LngRow = LngFirstRow; LngRow < LngEnd;) {
    PairRowsAround(LngRow);
    const std::size_t LngSlabEnd = std::min(LngEnd, (LngRow / kLngSlabRows + 1) * kLngSlabRows);
    const auto PartnerRow = [this](std::size_t LngBaseRow) {
      return MbrOperation == TArithmetic::kSubtract
                 ? LngBaseRow
                 : static_cast<std::size_t>(MbrRows.MbrVecIndices[LngBaseRow - MbrLngPairedFirst]);
    };
    while (LngRow < LngSlabEnd) {
      // Rows that follow one another in both grids, read straight along, are one run of cells.
      std::size_t LngRun = 1;
      if (MbrPtrColumns == nullptr && MbrLngPartnerColumns == MbrLngColumns) {
        while (LngRow + LngRun < LngSlabEnd &&
               PartnerRow(LngRow + LngRun) == PartnerRow(LngRow) + LngRun) {
          ++LngRun;
        }
      }
      double* const PtrRun = PtrCells + (LngRow - LngFirstRow) * MbrLngColumns;
      CombineRow(MbrOperation, PtrRun, PtrPartnerCells + PartnerRow(LngRow) * MbrLngPartnerColumns,
                 MbrPtrColumns, LngRun * MbrLngColumns, MbrBaseHeader.DblNoData,
                 MbrPartnerHeader.DblNoData, PtrRun);
      LngRow += LngRun;
    }
  }
}

}  // namespace tessgrid::detail
