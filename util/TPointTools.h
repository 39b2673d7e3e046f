// util/TPointTools.h - TPointTools: plane geometry on points (means, extremes, pseudo-angles,
// triangle and convex polygon areas, convex hulls). util/TPointTools.cpp holds the definitions.
#ifndef UTIL_TPOINTTOOLS_H
#define UTIL_TPOINTTOOLS_H

#include <vector>

#include "model/TPoint.h"
#include "tessgrid_export.h"

/// Static operations on plane points. x grows eastwards and y northwards; counterclockwise runs
/// from east towards north. Input points are only read and the caller's vectors are never
/// reordered. Every point returned is new and owned by the caller. Nothing here fails: empty
/// inputs and degenerate shapes give floating-point results (NaN, 0) instead of messages.
class TESSGRID_EXPORT TPointTools {
 public:
  TPointTools() = delete;

  /// Returns a new TPoint at the mean x and mean y of the points (NaN for no points). It is the
  /// mean of the vertices, not the area centroid of a polygon.
  [[nodiscard]] static TPoint* FindCentroid(std::vector<TPoint*> VecPoints);

  /// Returns a new TPoint holding the larger x and the larger y of the two points; on a tie or a
  /// NaN comparison the coordinate of a is kept.
  [[nodiscard]] static TPoint* Max(const TPoint* PtrA, const TPoint* PtrB);

  /// Returns a new TPoint holding the smaller x and the smaller y of the two points; on a tie or
  /// a NaN comparison the coordinate of a is kept.
  [[nodiscard]] static TPoint* Min(const TPoint* PtrA, const TPoint* PtrB);

  /// Returns the pseudo-angle in degrees, 0 <= angle < 360, of the direction from b to a. It rises
  /// with the true angle and equals it at every multiple of 45 degrees; coincident points give 0.
  static double Theta(const TPoint* PtrA, const TPoint* PtrB);

  /// Returns the area of the triangle by Heron's formula (0 or NaN for collinear points).
  static double Heron(const TPoint* PtrA, const TPoint* PtrB, const TPoint* PtrC);

  /// Returns the area of a convex polygon given by its vertices in order, as the sum of the
  /// triangles each edge forms with the vertex mean. Only consecutive vertices form edges, so a
  /// closed polygon must end with its first vertex again. Returns 0 for fewer than two points.
  static double FindConvexPolygonArea(std::vector<TPoint*> VecPoints);

  /// Returns new copies (Clone, so a TMapPoint keeps its value) of the hull's vertices by package
  /// wrapping, counterclockwise from the first point of smallest y, without repeating it at the
  /// end. Ties in angle keep the earliest candidate and a candidate at the previous edge's angle
  /// is skipped, so collinear boundary points, and some points sharing the smallest y, are left
  /// out. Returns an empty vector for no points. The caller owns the copies.
  [[nodiscard]] static std::vector<TPoint*> FindConvexHull(std::vector<TPoint*> VecPoints);
};

#endif  // UTIL_TPOINTTOOLS_H
