// ops/TMapTools.h - TMapTools: the static operations on maps and lists of maps.
// The definitions are split by theme into ops/*.cpp; the two text writers live in io/.
#ifndef OPS_TMAPTOOLS_H
#define OPS_TMAPTOOLS_H

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "model/TAxis.h"
#include "model/TMap.h"
#include "model/TPoint.h"

/// Operations on maps. None keeps state. Argument maps are only read, except where an operation
/// says it changes its argument in place. An operation that returns a new map, point or vector of
/// them hands it to the caller, who deletes it. Every check runs before any visible change: a
/// failing operation leaves its arguments as they were, returns nothing and leaks nothing.
class TMapTools {
 public:
  TMapTools() = delete;

  // Map-to-map arithmetic (ops/Arithmetic.cpp).

  // Cell value transforms (ops/Transforms.cpp).

  // Multi-map aggregation (ops/Aggregation.cpp).

  // Resampling (ops/Resampling.cpp).

  // Map extents (ops/Extents.cpp).
  /// Returns a new map of the cells from the one holding P1 to the one holding P2 (any two
  /// opposite corners, in either order), with their centres and values. The result declares
  /// -9999 as no-data whatever the source declares, and keeps the source's Y direction.
  /// Throws "Map has no axes in TMap::GetIndex"; "Ordinate is out of range in TAxis::GetIndex"
  /// for a corner outside the map (x1, y1, x2, y2 in this order); "Start index is out of range in
  /// TAxis::GetSegment" for a corner on the map's eastern or northern outer edge. The caller owns
  /// the result.
  static TMap* Extract(const TMap* PtrMap, const TPoint* PtrPoint1, const TPoint* PtrPoint2);

  /// Sets PtrOutA and PtrOutB to new maps holding the cells of A and of B whose centres lie in the
  /// common area [greatest west edge, least east edge) x [greatest south edge, least north edge),
  /// built as Extract builds them (each keeps its map's resolution and Y direction, no-data
  /// -9999). Works for either Y direction. The outputs are assigned only when both exist.
  /// Throws "Map has no axes in TMapTools::Intersection"; "Maps do not intersect in
  /// TMapTools::Intersection" when the common area is empty or has no cell centre of a map.
  /// The caller owns both results.
  static void Intersection(const TMap* PtrMapA, const TMap* PtrMapB, TMap*& PtrOutA,
                           TMap*& PtrOutB);

  /// Writes every cell of the insert map into the destination cell that holds its centre; where
  /// several centres share a cell, the last in row-then-column order stays. Every target cell is
  /// found before any is written, so on failure the destination is unchanged.
  /// Throws "Map has no axes in TMapTools::Insert"; "Insert map's NW corner is outside of the
  /// destination map in TMapTools::Insert" (west, or beyond the destination's first Y edge);
  /// "Insert map's SE corner is outside of the destination map in TMapTools::Insert" (east, or
  /// beyond its last Y edge); for a centre outside the destination "Ordinate is out of range in
  /// TAxis::GetIndex", on its eastern or northern outer edge "LngX is out of range in
  /// TMap::SetPoint (TPoint*)" or "LngY is out of range in TMap::SetPoint (TPoint*)".
  static void Insert(TMap* PtrDestination, const TMap* PtrInsert);

  /// Sets the four outputs to the inclusive index rectangle of the cells equal to DblValue
  /// (exact comparison; NaN matches nothing), or all to 0 when no cell matches.
  static void FindPatchExtent(const TMap* PtrMap, double DblValue, long& LngMinRow, long& LngMaxRow,
                              long& LngMinColumn, long& LngMaxColumn);

  // Cell statistics and sampling (ops/Statistics.cpp).

  // Value gradients over map series (ops/Gradients.cpp).

  // Text writers (io/FlatFileWriter.cpp, io/CsvWriter.cpp).
};

#endif  // OPS_TMAPTOOLS_H
