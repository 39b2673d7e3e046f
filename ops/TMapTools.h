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
  // Results cover the source's area from its first X edge and first Y edge (the northern edge on
  // a map read from a grid file) and follow the direction of its Y edges. A map's Y edges rise
  // when its last Y edge is greater than its first. Sources need their four axes, as the setters
  // leave them; a map without them fails with "Map has no complete axes in TMapTools::<name>".
  // A map too large for memory fails with std::bad_alloc before any of it is built.

  /// Returns the bilinear interpolation at (x, y) of q11 at (x1, y1), q21 at (x2, y1), q12 at
  /// (x1, y2) and q22 at (x2, y2): each value divided by the rectangle's area, times its two
  /// distance factors, the four terms added left to right. Checks nothing: a flat rectangle
  /// divides by zero and a point outside it is extrapolated.
  static double BilinearInterpolate(double DblQ11, double DblQ21, double DblQ12, double DblQ22,
                                    double DblX, double DblX1, double DblX2, double DblY,
                                    double DblY1, double DblY2);

  /// Stores in the target's value the interpolation between the values of the four corners on
  /// the rectangle x1 = P1.x, y1 = P1.y, x2 = P2.x, y2 = P3.y. The y of P2, the x of P3 and the
  /// coordinates of P4 are not read.
  static void BilinearInterpolate(const TMapPoint* PtrP1, const TMapPoint* PtrP2,
                                  const TMapPoint* PtrP3, const TMapPoint* PtrP4,
                                  TMapPoint* PtrTarget);

  /// Returns an empty map of resolution R over the source's area: (r x dimension) / R whole
  /// cells in each direction, the strips beyond them on the far X and far Y sides left out; every
  /// cell -9999, no-data value -9999. No value of the source is carried over.
  /// Throws "New resolution cannot be <= 0.0 in TMapTools::Downscale" for an R that is not
  /// greater than 0 (NaN included), and "Index is out of range in TAxis::GetPoint" when no whole
  /// cell fits in X or in Y. Returns a new map; the caller owns it.
  static TMap* Downscale(const TMap* PtrSource, double DblResolution);

  /// Returns the source refined by k: every cell becomes a k x k block holding its value, at
  /// resolution r / k over the same area; no-data value -9999.
  /// Throws "Subdivision factor must be >= 1 in TMapTools::Subdivide" for k <= 0.
  /// Returns a new map; the caller owns it.
  static TMap* Subdivide(const TMap* PtrSource, int IntFactor);

  /// Returns Downscale(source, R) filled by bilinear interpolation between the centres of the
  /// four source cells around one sample point per cell, taken at a fixed offset from the cell's
  /// first edges inside a band r (the source's resolution) within the map, and r + R within on
  /// its far X side and, where its Y edges fall, on its first (northern) Y side. No-data cells
  /// take part with their number. Cells no sample reaches, and the no-data value the result
  /// declares, are the source's no-data value.
  /// Throws "New resolution cannot be <= 0.0 in TMapTools::BilinearInterpolate" for an R that is
  /// not greater than 0, then the failures of Downscale, then for the first sample that has no
  /// four neighbours "LngGetX1 is out of range in TMapTools::BilinearInterpolate" (likewise
  /// LngGetX2, LngGetY1, LngGetY2), or the lookup's "Ordinate is out of range in
  /// TAxis::GetIndex", "LngX is out of range in TMap::GetPoint (TPoint*)" or "LngY is out of
  /// range in TMap::GetPoint (TPoint*)". Throws "New resolution is too small for the map's
  /// coordinates in TMapTools::BilinearInterpolate" when adding R no longer moves a sample
  /// coordinate, where sampling would never end. Returns a new map; the caller owns it.
  static TMap* BilinearInterpolate(const TMap* PtrSource, double DblResolution);

  // Map extents (ops/Extents.cpp).

  // Cell statistics and sampling (ops/Statistics.cpp).

  // Value gradients over map series (ops/Gradients.cpp).

  // Text writers (io/FlatFileWriter.cpp, io/CsvWriter.cpp).
};

#endif  // OPS_TMAPTOOLS_H
