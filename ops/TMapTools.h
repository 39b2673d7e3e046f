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

  // Cell statistics and sampling (ops/Statistics.cpp).
  // Cells are visited column by column (column 0 first), each column from row 0 down; "first"
  // means first in that order. The no-data value is an ordinary value here. Cells holding
  // not-a-number are left out of every result keyed by cell value.

  /// Returns each distinct cell value and the number of cells that hold it, in ascending order.
  static std::map<double, long> CountValues(const TMap* PtrMap);

  /// Returns the number of cells equal to the value (not-a-number equals nothing).
  static long CountValues(const TMap* PtrMap, double DblValue);

  /// Returns each distinct value not left out and a new point at the centre of the first cell
  /// that holds it, carrying the value; the caller owns the points. A cell equal to the cell
  /// before it is passed over, the scan starting as if after a no-data cell: the leading run of
  /// no-data cells never gives the no-data value its entry.
  /// Throws the failures of TMap::GetPoint(long, long) ("Map has no axes in
  /// TMap::GetCoordinates" for a map without axes); no point is left behind.
  static std::map<double, TMapPoint*> GetFirstValues(const TMap* PtrMap,
                                                     std::vector<double> VecLeaveOut);

  /// Returns GetFirstValues of each map with the same values left out, in the maps' order.
  /// Fails as a whole, as the one-map form, and then leaves no point behind.
  static std::vector<std::map<double, TMapPoint*>> GetFirstValues(std::vector<TMap*> VecMaps,
                                                                  std::vector<double> VecLeaveOut);

  /// Returns each key of the points and the map's value in the cell that holds its point.
  /// The points stay the caller's. Throws the failures of TMap::GetPointVal(TPoint*):
  /// "Ordinate is out of range in TAxis::GetIndex", "LngX is out of range in
  /// TMap::GetPointVal", "LngY is out of range in TMap::GetPointVal".
  static std::map<double, double> FetchMapValues(const TMap* PtrMap,
                                                 std::map<double, TMapPoint*> MapPoints);

  /// Returns FetchMapValues of map k with point set k, for each map in order; sets beyond the
  /// number of maps are not used.
  /// Throws "Number of point sets is less than number of maps in TMapTools::FetchMapValues"
  /// before any work, then fails as a whole with the failures of the one-map form.
  static std::vector<std::map<double, double>> FetchMapValues(
      std::vector<TMap*> VecMaps, std::vector<std::map<double, TMapPoint*>> VecPointSets);

  /// Returns each key-map value not left out and the value-map values of the cells that hold it
  /// in the key map, in scan order. The maps are paired by cell index only.
  /// Throws "Map X-dimensions do not match", then "Map Y-Dimensions do not match".
  static std::map<double, std::vector<double>> GetValuesOverlay(const TMap* PtrValueMap,
                                                                const TMap* PtrKeyMap,
                                                                std::vector<double> VecLeaveOut);

  // Value gradients over map series (ops/Gradients.cpp).
  // The position of a map in the series is its map number, from 0. The maps are only read.

  /// Returns one new map per window position i = 0 .. n - w - 1, on copies of map 0's centre
  /// axes: each cell holds the least-squares slope of its values in maps i .. i + w against the
  /// map number. A cell that is 0.0 in map i stays -9999; a 0.0 in maps i .. i + w - 1 is
  /// replaced by FindNonzeroNeighbourVal of that map; a value equal to its own map's no-data
  /// value is left out of the fit (fewer than two values left give not-a-number). The caller
  /// owns the vector's maps.
  /// Throws, in this order, "Window size must be >= 1 in TMapTools::ValueGradients",
  /// "Window size must be < number of maps in TMapTools::ValueGradients" when n < w,
  /// "Map dimensions do not match in TMapTools::ValueGradients", and, when there is a window,
  /// "Map has no axes in TMapTools::ValueGradients" for a map 0 without centre axes.
  static std::vector<TMap*> ValueGradients(std::vector<TMap*> VecMaps, int LngWindowSize);

  /// Returns the value of cell (x, y) in maps start to end, both included, in map order.
  /// Throws, in this order, "Start map number is out of range in TMapTools::GetValuesVector" and
  /// "End map number is out of range in TMapTools::GetValuesVector" (compared as unsigned, so a
  /// negative number is out of range), "Stat map number must be less than end map number", then
  /// "X-ordinate is out of range in TMap::GetPointVal" or "Y-ordinate is out of range in
  /// TMap::GetPointVal" at the first map that lacks the cell.
  static std::vector<double> GetValuesVector(std::vector<TMap*> VecMaps, long LngX, long LngY,
                                             int LngStart, int LngEnd);

  /// Returns, from the 3 x 3 block around the cell clipped to the map, the first nonzero value
  /// (not-a-number counts) of the highest column that holds one, or 0.0.
  /// Throws "X-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal", then
  /// "Y-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal", for a cell outside
  /// the map.
  static double FindNonzeroNeighbourVal(const TMap* PtrMap, long LngX, long LngY);

  // Text writers (io/FlatFileWriter.cpp, io/CsvWriter.cpp).
};

#endif  // OPS_TMAPTOOLS_H
