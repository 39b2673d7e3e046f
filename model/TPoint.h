// model/TPoint.h - TPoint, a point in the map plane, and TMapPoint, a point that carries a cell
// value. Both are plain data with public members; model/TPoint.cpp holds the few operations.
#ifndef MODEL_TPOINT_H
#define MODEL_TPOINT_H

#include "tessgrid_export.h"

/// A point in map units: x grows eastwards, y northwards. Points are created with new and owned
/// by whoever holds them (an axis owns the points in its slots). Copies are made with Clone, which
/// keeps the dynamic kind, so an axis of TMapPoints clones into an axis of TMapPoints.
class TESSGRID_EXPORT TPoint {
 public:
  /// Builds the point (x, y).
  TPoint(double DblX, double DblY);
  virtual ~TPoint() = default;

  /// Returns a new point of the same kind with the same members; the caller owns it.
  [[nodiscard]] virtual TPoint* Clone() const;

  /// Returns the Euclidean distance between this point and the other.
  double Distance(const TPoint* PtrOther) const;

  double MbrDblX;  ///< x coordinate, west to east
  double MbrDblY;  ///< y coordinate, south to north
};

/// A point that stands for a map cell: its coordinates and the cell's value.
class TESSGRID_EXPORT TMapPoint : public TPoint {
 public:
  /// Builds the point (x, y) carrying the value.
  TMapPoint(double DblX, double DblY, double DblValue);

  /// Returns a new TMapPoint with the same coordinates and value; the caller owns it.
  [[nodiscard]] TPoint* Clone() const override;

  double MbrDblValue;  ///< the value of the cell the point stands for
};

#endif  // MODEL_TPOINT_H
