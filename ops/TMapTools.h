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
  // Add, Multiply and Divide work on the grid of a base map and take the partner value from the
  // partner cell that holds each base cell centre; a cell is no-data in the result (the base
  // map's no-data value) when either value is the no-data value of its own map.

  /// Returns a + b on the finer grid (a's on a tie), with that map's no-data value; the caller
  /// owns it. Throws "Map has no axes in TMapTools::Add" when the base map has no centre axes;
  /// for the first base cell (row by row from the north) whose centre the partner does not hold,
  /// "Ordinate is out of range in TAxis::GetIndex" (outside its extent), "LngX is out of range in
  /// TMap::GetPointVal" or "LngY is out of range in TMap::GetPointVal" (on its eastern or northern
  /// outer edge), "Map has no axes in TMap::GetIndex" (partner without axes); "Axis has an
  /// unfilled slot in TMap::GetCoordinates" for a base centre axis with an empty slot.
  static TMap* Add(TMap* PtrMapA, TMap* PtrMapB);
  /// Returns a - b cell for cell by column and row, on a's grid with a's no-data value; the
  /// caller owns it. Throws "X dimensions do not match in TMapTools::Subtract", then "Y
  /// dimensions do not match in TMapTools::Subtract", then "Map has no axes in
  /// TMapTools::Subtract" and "Axes resolutions do not match in TMap::TMap" for a's axes.
  static TMap* Subtract(TMap* PtrMapA, TMap* PtrMapB);
  /// Returns a x b on the finer grid (a's on a tie); the caller owns it. Throws as Add, with
  /// "Map has no axes in TMapTools::Multiply".
  static TMap* Multiply(TMap* PtrMapA, TMap* PtrMapB);
  /// Returns a / b on a's grid with a's no-data value; a zero divisor gives an infinity or NaN.
  /// The caller owns it. Throws "Divisor must be of equal of coarser resolution than the dividend
  /// in TMapTools::Divide" unless a's resolution <= b's, then as Add, with "Map has no axes in
  /// TMapTools::Divide".
  static TMap* Divide(TMap* PtrMapA, TMap* PtrMapB);

  // Cell value transforms (ops/Transforms.cpp).

  // Multi-map aggregation (ops/Aggregation.cpp).

  // Resampling (ops/Resampling.cpp).

  // Map extents (ops/Extents.cpp).

  // Cell statistics and sampling (ops/Statistics.cpp).

  // Value gradients over map series (ops/Gradients.cpp).

  // Text writers (io/FlatFileWriter.cpp, io/CsvWriter.cpp).
};

#endif  // OPS_TMAPTOOLS_H
