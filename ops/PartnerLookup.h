// ops/PartnerLookup.h - the partner columns and rows of the map-to-map operations that pair a
// base cell with the partner cell holding its centre (Add, Multiply, Divide), and the first base
// cell that has none. Built from the maps' axes, or from plain coordinates for callers that hold
// no TAxis; both give the same answers.
#ifndef OPS_PARTNERLOOKUP_H
#define OPS_PARTNERLOOKUP_H

#include <cstddef>
#include <vector>

#include "model/TAxis.h"
#include "ops/AxisLookup.h"
#include "ops/FirstFailure.h"

namespace tessgrid::detail {

/// The partner column of every base column, or the partner row of every base row: a partner
/// cell depends on a base centre's x only through its column and on its y only through its row.
struct TPartnerLines {
  std::vector<long> MbrVecIndices;       ///< partner index of each base line; valid where it passes
  std::vector<TLineFault> MbrVecFaults;  ///< the first check of the cell-by-cell pairing it fails
};

/// Pairs base lines whose centres have the given coordinates with a partner whose edges in that
/// direction have the given coordinates and which has LngPartnerDim columns ('X') or rows (any
/// other character). A base line fails where TMap::GetPointVal(TPoint*) on the partner would
/// fail for its centre: the edge search, then "LngX is out of range in TMap::GetPointVal" (or
/// the LngY text) for a centre on the partner's eastern or northern outer edge.
TPartnerLines FindPartnerLines(const double* PtrCentres, std::size_t LngCentres,
                               const double* PtrEdges, std::size_t LngEdges, long LngPartnerDim,
                               char ChrAxis);

/// The same on partner edges whose order is known, for many slabs of centres on one long axis.
TPartnerLines FindPartnerLines(const double* PtrCentres, std::size_t LngCentres,
                               const TEdgeList& PartnerEdges, long LngPartnerDim, char ChrAxis);

/// The same from a base centre axis and the partner's interval axis (null when the partner has
/// none). A base line also fails with "Axis has an unfilled slot in TMap::GetCoordinates" for an
/// empty centre slot, and every line with "Map has no axes in TMap::GetIndex" for a partner
/// without the axis.
TPartnerLines FindPartnerLines(const TAxis& BaseCentres, const TAxis* PtrPartnerEdges,
                               long LngPartnerDim, char ChrAxis);

/// Throws what the cell-by-cell pairing throws at the first base cell, row by row from the north,
/// that has no partner cell; returns when every cell has one.
void CheckPairing(const TPartnerLines& Columns, const TPartnerLines& Rows);

}  // namespace tessgrid::detail

#endif  // OPS_PARTNERLOOKUP_H
