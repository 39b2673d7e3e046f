// ops/PartnerLookup.cpp - partner columns and rows for the map-to-map arithmetic.
// The declarations and their contracts are in ops/PartnerLookup.h.
#include "ops/PartnerLookup.h"

#include <utility>

#include "model/AxisSearch.h"
#include "ops/AxisLookup.h"

using tessgrid::detail::Coordinate;
using tessgrid::detail::FailAtFirstCell;
using tessgrid::detail::LookupIndices;
using tessgrid::detail::Note;
using tessgrid::detail::NoteLookup;
using tessgrid::detail::TEdgeList;
using tessgrid::detail::TIndexList;
using tessgrid::detail::TLineFault;
using tessgrid::detail::TPartnerLines;

namespace {

// The checks one base cell meets, in order: its centre (GetCoordinates), the partner's search in
// x, then in y, then the partner's column and row ranges (GetPointVal). Columns take the even
// steps, rows the odd ones.
int Step(int IntColumnStep, char ChrAxis) {
  return ChrAxis == 'X' ? IntColumnStep : IntColumnStep + 1;
}

TPartnerLines FromLookups(TIndexList List, long LngPartnerDim, char ChrAxis) {
  TPartnerLines Lines;
  Lines.MbrVecFaults.resize(List.MbrVecIndices.size());
  const char* PtrRangeMessage = ChrAxis == 'X' ? "LngX is out of range in TMap::GetPointVal"
                                               : "LngY is out of range in TMap::GetPointVal";
  for (std::size_t LngI = 0; LngI < List.MbrVecIndices.size(); ++LngI) {
    NoteLookup(Lines.MbrVecFaults[LngI], List, LngI, LngPartnerDim, Step(2, ChrAxis),
               Step(4, ChrAxis), PtrRangeMessage);
  }
  Lines.MbrVecIndices = std::move(List.MbrVecIndices);
  return Lines;
}

}  // namespace

TPartnerLines tessgrid::detail::FindPartnerLines(const double* PtrCentres, std::size_t LngCentres,
                                                 const double* PtrEdges, std::size_t LngEdges,
                                                 long LngPartnerDim, char ChrAxis) {
  return FindPartnerLines(PtrCentres, LngCentres, TEdgeList(PtrEdges, LngEdges), LngPartnerDim,
                          ChrAxis);
}

TPartnerLines tessgrid::detail::FindPartnerLines(const double* PtrCentres, std::size_t LngCentres,
                                                 const TEdgeList& PartnerEdges, long LngPartnerDim,
                                                 char ChrAxis) {
  return FromLookups(LookupIndices(PartnerEdges, PtrCentres, LngCentres), LngPartnerDim, ChrAxis);
}

TPartnerLines tessgrid::detail::FindPartnerLines(const TAxis& BaseCentres,
                                                 const TAxis* PtrPartnerEdges, long LngPartnerDim,
                                                 char ChrAxis) {
  const std::size_t LngCount = BaseCentres.MbrVecPoints.size();
  std::vector<double> VecCentres;
  VecCentres.reserve(LngCount);
  for (const TPoint* PtrCentre : BaseCentres.MbrVecPoints) {
    // An empty slot gets a placeholder here and its own fault below.
    VecCentres.push_back(PtrCentre == nullptr ? 0.0 : Coordinate(PtrCentre, ChrAxis));
  }
  TPartnerLines Lines;
  if (PtrPartnerEdges == nullptr) {
    Lines.MbrVecIndices.assign(LngCount, -1);
    Lines.MbrVecFaults.resize(LngCount);
    for (TLineFault& Fault : Lines.MbrVecFaults) {
      Note(Fault, Step(2, ChrAxis), "Map has no axes in TMap::GetIndex");
    }
  } else {
    Lines =
        FromLookups(LookupIndices(*PtrPartnerEdges, VecCentres, ChrAxis), LngPartnerDim, ChrAxis);
  }
  for (std::size_t LngI = 0; LngI < LngCount; ++LngI) {
    if (BaseCentres.MbrVecPoints[LngI] == nullptr) {
      Note(Lines.MbrVecFaults[LngI], Step(0, ChrAxis),
           "Axis has an unfilled slot in TMap::GetCoordinates");
    }
  }
  return Lines;
}

void tessgrid::detail::CheckPairing(const TPartnerLines& Columns, const TPartnerLines& Rows) {
  FailAtFirstCell(Columns.MbrVecFaults.data(), Columns.MbrVecFaults.size(),
                  Rows.MbrVecFaults.data(), Rows.MbrVecFaults.size());
}
