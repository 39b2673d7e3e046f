// ops/Extents.cpp - TMapTools operations on map extents: Extract, Intersection, Insert and
// FindPatchExtent. The declarations and their contracts are in ops/TMapTools.h.
#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "model/AxisSearch.h"
#include "model/Fail.h"
#include "model/UnfilledMap.h"
#include "ops/AxisLookup.h"
#include "ops/FirstFailure.h"
#include "ops/TMapTools.h"

using tessgrid::detail::CheckedIndex;
using tessgrid::detail::Coordinate;
using tessgrid::detail::Fail;
using tessgrid::detail::FailAtFirstCell;
using tessgrid::detail::LookupIndices;
using tessgrid::detail::NoteLookup;
using tessgrid::detail::TIndexList;
using tessgrid::detail::TLineFault;

namespace {

using TMapPtr = std::unique_ptr<TMap>;
using TAxisPtr = std::unique_ptr<TAxis>;

// A point of an axis that the operation must read; axes from the setters are filled, but the
// members are public, so a gap is reported rather than followed.
const TPoint* FilledPoint(const TAxis* PtrAxis, long LngIndex, const char* PtrMessage) {
  const TPoint* PtrPoint = PtrAxis->GetPoint(LngIndex);
  if (PtrPoint == nullptr) {
    Fail(PtrMessage);
  }
  return PtrPoint;
}

bool HasAxes(const TMap* PtrMap) {
  return PtrMap->MbrPtrXAxis != nullptr && PtrMap->MbrPtrYAxis != nullptr &&
         PtrMap->MbrPtrXAxisInterval != nullptr && PtrMap->MbrPtrYAxisInterval != nullptr;
}

bool HasAscendingYEdges(const TMap* PtrMap, const char* PtrMessage) {
  const TAxis* PtrEdges = PtrMap->MbrPtrYAxisInterval;
  const double DblFirst = FilledPoint(PtrEdges, 0, PtrMessage)->MbrDblY;
  const double DblLast = FilledPoint(PtrEdges, PtrEdges->GetSize() - 1, PtrMessage)->MbrDblY;
  return DblLast > DblFirst;
}

// Builds the map of source columns LngX1..LngX2 and rows LngY1..LngY2 (valid, ordered indices
// of the centre axes): the cell centres of that range, its values, no-data -9999.
TMapPtr CutRectangle(const TMap* PtrMap, long LngX1, long LngX2, long LngY1, long LngY2) {
  const TAxisPtr PtrXCentres(PtrMap->MbrPtrXAxis->GetSegment(LngX1, LngX2));
  const TAxisPtr PtrYCentres(PtrMap->MbrPtrYAxis->GetSegment(LngY1, LngY2));
  // The two corner cells bound every cell of the rectangle, so the copy below runs on rows.
  PtrMap->GetPointVal(LngX1, LngY1);
  PtrMap->GetPointVal(LngX2, LngY2);
  TMapPtr PtrResult = tessgrid::detail::NewUnfilledMap(PtrXCentres.get(), PtrYCentres.get());

  // Edges derived from a single centre always rise; a one-row cut of a map whose Y edges fall
  // would otherwise turn its Y direction over.
  TAxis* PtrYEdges = PtrResult->MbrPtrYAxisInterval;
  if (PtrResult->MbrLngYDim == 1 && PtrYEdges->GetSize() == 2 &&
      !HasAscendingYEdges(PtrMap, "Axis has an unfilled slot in TMapTools::Extract") &&
      PtrYEdges->MbrVecPoints[1]->MbrDblY > PtrYEdges->MbrVecPoints[0]->MbrDblY) {
    std::swap(PtrYEdges->MbrVecPoints[0], PtrYEdges->MbrVecPoints[1]);
  }

  // Every cell of the result is a source cell: the rows are copied once, never filled first.
  for (long LngY = LngY1; LngY <= LngY2; ++LngY) {
    const std::vector<double>& VecSource = PtrMap->MbrVecValues[static_cast<std::size_t>(LngY)];
    PtrResult->MbrVecValues[static_cast<std::size_t>(LngY - LngY1)].assign(
        VecSource.begin() + LngX1, VecSource.begin() + LngX2 + 1);
  }
  return PtrResult;
}

// The half-open span [low, high) of a map's edges in one direction; NaN for an axis of no points.
void EdgeSpan(const TAxis* PtrEdges, char ChrAxis, double& DblLow, double& DblHigh) {
  if (PtrEdges->GetSize() == 0) {
    DblLow = DblHigh = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  const char* PtrMessage = "Axis has an unfilled slot in TMapTools::Intersection";
  const double DblFirst = Coordinate(FilledPoint(PtrEdges, 0, PtrMessage), ChrAxis);
  const double DblLast =
      Coordinate(FilledPoint(PtrEdges, PtrEdges->GetSize() - 1, PtrMessage), ChrAxis);
  DblLow = std::min(DblFirst, DblLast);
  DblHigh = std::max(DblFirst, DblLast);
}

// Finds the first and last centre in [DblLow, DblHigh); false when there is none. Centre axes
// are monotonic, so the centres between the two are in the span as well.
bool CentresInSpan(const TAxis* PtrCentres, char ChrAxis, double DblLow, double DblHigh,
                   long& LngFirst, long& LngLast) {
  LngFirst = -1;
  LngLast = -1;
  for (long LngI = 0; LngI < PtrCentres->GetSize(); ++LngI) {
    const double DblC = Coordinate(
        FilledPoint(PtrCentres, LngI, "Axis has an unfilled slot in TMapTools::Intersection"),
        ChrAxis);
    if (DblC >= DblLow && DblC < DblHigh) {
      if (LngFirst < 0) {
        LngFirst = LngI;
      }
      LngLast = LngI;
    }
  }
  return LngFirst >= 0;
}

// The coordinates of all centres of an axis, in axis order.
std::vector<double> CentreCoordinates(const TAxis* PtrCentres, long LngCount, char ChrAxis) {
  std::vector<double> VecCoordinates;
  VecCoordinates.reserve(static_cast<std::size_t>(std::max(LngCount, 0L)));
  for (long LngI = 0; LngI < LngCount; ++LngI) {
    VecCoordinates.push_back(Coordinate(
        FilledPoint(PtrCentres, LngI, "Axis has an unfilled slot in TMapTools::Insert"), ChrAxis));
  }
  return VecCoordinates;
}

}  // namespace

TMap* TMapTools::Extract(const TMap* PtrMap, const TPoint* PtrPoint1, const TPoint* PtrPoint2) {
  // Both coordinates of one axis are looked up together; the checks replay the order of the
  // four single lookups (x1, y1, x2, y2).
  if (PtrMap->MbrPtrXAxisInterval == nullptr) {
    Fail("Map has no axes in TMap::GetIndex");
  }
  const TIndexList ListX =
      LookupIndices(*PtrMap->MbrPtrXAxisInterval, {PtrPoint1->MbrDblX, PtrPoint2->MbrDblX}, 'X');
  long LngX1 = CheckedIndex(ListX, 0);
  if (PtrMap->MbrPtrYAxisInterval == nullptr || PtrMap->MbrPtrXAxis == nullptr ||
      PtrMap->MbrPtrYAxis == nullptr) {
    Fail("Map has no axes in TMap::GetIndex");
  }
  const TIndexList ListY =
      LookupIndices(*PtrMap->MbrPtrYAxisInterval, {PtrPoint1->MbrDblY, PtrPoint2->MbrDblY}, 'Y');
  long LngY1 = CheckedIndex(ListY, 0);
  long LngX2 = CheckedIndex(ListX, 1);
  long LngY2 = CheckedIndex(ListY, 1);
  if (LngX1 > LngX2) {
    std::swap(LngX1, LngX2);
  }
  if (LngY1 > LngY2) {
    std::swap(LngY1, LngY2);
  }
  return CutRectangle(PtrMap, LngX1, LngX2, LngY1, LngY2).release();
}

void TMapTools::Intersection(const TMap* PtrMapA, const TMap* PtrMapB, TMap*& PtrOutA,
                             TMap*& PtrOutB) {
  if (!HasAxes(PtrMapA) || !HasAxes(PtrMapB)) {
    Fail("Map has no axes in TMapTools::Intersection");
  }
  // The common area is taken from the edge spans, so the direction of either Y axis does not
  // matter; each map then contributes the cells whose centres the area holds, under the same
  // half-open rule as a coordinate lookup.
  double DblWestA = 0, DblEastA = 0, DblSouthA = 0, DblNorthA = 0;
  double DblWestB = 0, DblEastB = 0, DblSouthB = 0, DblNorthB = 0;
  EdgeSpan(PtrMapA->MbrPtrXAxisInterval, 'X', DblWestA, DblEastA);
  EdgeSpan(PtrMapA->MbrPtrYAxisInterval, 'Y', DblSouthA, DblNorthA);
  EdgeSpan(PtrMapB->MbrPtrXAxisInterval, 'X', DblWestB, DblEastB);
  EdgeSpan(PtrMapB->MbrPtrYAxisInterval, 'Y', DblSouthB, DblNorthB);
  const double DblWest = std::max(DblWestA, DblWestB);
  const double DblEast = std::min(DblEastA, DblEastB);
  const double DblSouth = std::max(DblSouthA, DblSouthB);
  const double DblNorth = std::min(DblNorthA, DblNorthB);
  // Written to be false for NaN as well as for an area without width or height.
  const bool BlnOverlap = DblWest < DblEast && DblSouth < DblNorth && DblWestA < DblEastA &&
                          DblWestB < DblEastB && DblSouthA < DblNorthA && DblSouthB < DblNorthB;
  long LngXA1 = 0, LngXA2 = 0, LngYA1 = 0, LngYA2 = 0;
  long LngXB1 = 0, LngXB2 = 0, LngYB1 = 0, LngYB2 = 0;
  if (!BlnOverlap || !CentresInSpan(PtrMapA->MbrPtrXAxis, 'X', DblWest, DblEast, LngXA1, LngXA2) ||
      !CentresInSpan(PtrMapA->MbrPtrYAxis, 'Y', DblSouth, DblNorth, LngYA1, LngYA2) ||
      !CentresInSpan(PtrMapB->MbrPtrXAxis, 'X', DblWest, DblEast, LngXB1, LngXB2) ||
      !CentresInSpan(PtrMapB->MbrPtrYAxis, 'Y', DblSouth, DblNorth, LngYB1, LngYB2)) {
    Fail("Maps do not intersect in TMapTools::Intersection");
  }
  TMapPtr PtrResultA = CutRectangle(PtrMapA, LngXA1, LngXA2, LngYA1, LngYA2);
  TMapPtr PtrResultB = CutRectangle(PtrMapB, LngXB1, LngXB2, LngYB1, LngYB2);
  PtrOutA = PtrResultA.release();
  PtrOutB = PtrResultB.release();
}

void TMapTools::Insert(TMap* PtrDestination, const TMap* PtrInsert) {
  if (!HasAxes(PtrDestination) || !HasAxes(PtrInsert)) {
    Fail("Map has no axes in TMapTools::Insert");
  }
  const char* PtrUnfilled = "Axis has an unfilled slot in TMapTools::Insert";
  const TAxis* PtrDestX = PtrDestination->MbrPtrXAxisInterval;
  const TAxis* PtrDestY = PtrDestination->MbrPtrYAxisInterval;
  const TAxis* PtrInsX = PtrInsert->MbrPtrXAxisInterval;
  const TAxis* PtrInsY = PtrInsert->MbrPtrYAxisInterval;
  const double DblDestX0 = FilledPoint(PtrDestX, 0, PtrUnfilled)->MbrDblX;
  const double DblDestY0 = FilledPoint(PtrDestY, 0, PtrUnfilled)->MbrDblY;
  const double DblDestXL = FilledPoint(PtrDestX, PtrDestination->MbrLngXDim, PtrUnfilled)->MbrDblX;
  const double DblDestYL = FilledPoint(PtrDestY, PtrDestination->MbrLngYDim, PtrUnfilled)->MbrDblY;
  const double DblInsX0 = FilledPoint(PtrInsX, 0, PtrUnfilled)->MbrDblX;
  const double DblInsY0 = FilledPoint(PtrInsY, 0, PtrUnfilled)->MbrDblY;
  const double DblInsXL = FilledPoint(PtrInsX, PtrInsert->MbrLngXDim, PtrUnfilled)->MbrDblX;
  const double DblInsYL = FilledPoint(PtrInsY, PtrInsert->MbrLngYDim, PtrUnfilled)->MbrDblY;
  // "Before" and "beyond" follow the destination's Y direction; a NaN difference passes.
  const bool BlnAscending = DblDestYL > DblDestY0;
  const double DblNorthOver = DblInsY0 - DblDestY0;
  const double DblSouthOver = DblDestYL - DblInsYL;
  if (DblInsX0 - DblDestX0 < 0 || (BlnAscending ? DblNorthOver < 0 : DblNorthOver > 0)) {
    Fail("Insert map's NW corner is outside of the destination map in TMapTools::Insert");
  }
  if (DblDestXL - DblInsXL < 0 || (BlnAscending ? DblSouthOver < 0 : DblSouthOver > 0)) {
    Fail("Insert map's SE corner is outside of the destination map in TMapTools::Insert");
  }

  // A map without cells has no centre to place; the lookups below would give its rows (or
  // columns) codes that no write may index with.
  const long LngCols = std::max(PtrInsert->MbrLngXDim, 0L);
  const long LngRows = std::max(PtrInsert->MbrLngYDim, 0L);
  if (LngCols == 0 || LngRows == 0) {
    return;
  }
  // Every target cell is decided before the first write, so a centre that misses the
  // destination leaves it unchanged. The checks of one cell are those of SetPoint(TPoint*) on
  // the destination: the search in x, in y, then the column and the row range.
  const TIndexList ListX =
      LookupIndices(*PtrDestX, CentreCoordinates(PtrInsert->MbrPtrXAxis, LngCols, 'X'), 'X');
  const TIndexList ListY =
      LookupIndices(*PtrDestY, CentreCoordinates(PtrInsert->MbrPtrYAxis, LngRows, 'Y'), 'Y');
  std::vector<TLineFault> VecColumnFaults(ListX.MbrVecIndices.size());
  for (std::size_t LngCol = 0; LngCol < VecColumnFaults.size(); ++LngCol) {
    NoteLookup(VecColumnFaults[LngCol], ListX, LngCol, PtrDestination->MbrLngXDim, 0, 2,
               "LngX is out of range in TMap::SetPoint (TPoint*)");
  }
  std::vector<TLineFault> VecRowFaults(ListY.MbrVecIndices.size());
  for (std::size_t LngRow = 0; LngRow < VecRowFaults.size(); ++LngRow) {
    NoteLookup(VecRowFaults[LngRow], ListY, LngRow, PtrDestination->MbrLngYDim, 1, 3,
               "LngY is out of range in TMap::SetPoint (TPoint*)");
  }
  FailAtFirstCell(VecColumnFaults.data(), VecColumnFaults.size(), VecRowFaults.data(),
                  VecRowFaults.size());

  const std::vector<long>& VecX = ListX.MbrVecIndices;
  const std::vector<long>& VecY = ListY.MbrVecIndices;
  for (long LngRow = 0; LngRow < LngRows; ++LngRow) {
    const std::vector<double>& VecSource =
        PtrInsert->MbrVecValues[static_cast<std::size_t>(LngRow)];
    std::vector<double>& VecTarget =
        PtrDestination
            ->MbrVecValues[static_cast<std::size_t>(VecY[static_cast<std::size_t>(LngRow)])];
    for (long LngCol = 0; LngCol < LngCols; ++LngCol) {
      VecTarget[static_cast<std::size_t>(VecX[static_cast<std::size_t>(LngCol)])] =
          VecSource[static_cast<std::size_t>(LngCol)];
    }
  }
}

void TMapTools::FindPatchExtent(const TMap* PtrMap, double DblValue, long& LngMinRow,
                                long& LngMaxRow, long& LngMinColumn, long& LngMaxColumn) {
  long LngRowLow = PtrMap->MbrLngYDim - 1;
  long LngRowHigh = 0;
  long LngColLow = PtrMap->MbrLngXDim - 1;
  long LngColHigh = 0;
  bool BlnFound = false;
  // Row by row reads the grid in memory order; the bounding rectangle does not depend on the
  // order of the visits.
  const long LngRows = std::min(PtrMap->MbrLngYDim, static_cast<long>(PtrMap->MbrVecValues.size()));
  for (long LngY = 0; LngY < LngRows; ++LngY) {
    const std::vector<double>& VecRow = PtrMap->MbrVecValues[static_cast<std::size_t>(LngY)];
    const long LngCols = std::min(PtrMap->MbrLngXDim, static_cast<long>(VecRow.size()));
    for (long LngX = 0; LngX < LngCols; ++LngX) {
      if (VecRow[static_cast<std::size_t>(LngX)] == DblValue) {
        LngRowLow = std::min(LngRowLow, LngY);
        LngRowHigh = std::max(LngRowHigh, LngY);
        LngColLow = std::min(LngColLow, LngX);
        LngColHigh = std::max(LngColHigh, LngX);
        BlnFound = true;
      }
    }
  }
  if (!BlnFound) {
    LngRowLow = LngRowHigh = LngColLow = LngColHigh = 0;
  }
  LngMinRow = LngRowLow;
  LngMaxRow = LngRowHigh;
  LngMinColumn = LngColLow;
  LngMaxColumn = LngColHigh;
}
