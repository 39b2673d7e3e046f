// model/TAxisTools.h - TAxisTools: the conversions between an axis of cell centres and its axis of
// cell edges (the interval axis). TMap keeps each pair of its axes consistent through them.
#ifndef MODEL_TAXISTOOLS_H
#define MODEL_TAXISTOOLS_H

#include "model/TAxis.h"
#include "tessgrid_export.h"

/// Static conversions between centre and edge axes. Each returns a new axis that the caller owns
/// and leaves its argument unchanged. They suit the orientation of every map's axes: X rising
/// with the index, Y falling.
class TESSGRID_EXPORT TAxisTools {
 public:
  TAxisTools() = delete;

  /// Returns the edge axis of a centre axis: one point more, evenly spaced by the resolution r,
  /// starting half a resolution before point 0. Only point 0, the last point and r are read.
  /// With 'X' the edges rise in x and share the y of point 0 (lowered by r/2 for a rising or
  /// flat y, raised for a falling one); with 'Y' they follow the direction of the centres in y
  /// and share the x of point 0 less r/2. Every coordinate is a running sum of r.
  /// Throws "Index is out of range in TAxis::GetPoint" for an empty axis and "Axis has an
  /// unfilled slot in TAxisTools::PointsToIntervals" when point 0 or the last point is missing.
  [[nodiscard]] static TAxis* PointsToIntervals(const TAxis* PtrCentres, char ChrAxis);

  /// Returns the centre axis of an edge axis: one point fewer (none for a one-point axis), point
  /// i at (a.x + |b.x - a.x| / 2, a.y - |b.y - a.y| / 2) for edges a = i and b = i + 1, which is
  /// the midpoint for an x that rises and a y that falls. The character has no effect.
  /// Throws "Index is out of range in TAxis::GetPoint" for an empty axis and "Axis has an
  /// unfilled slot in TAxisTools::IntervalsToPoints" when an edge is missing.
  [[nodiscard]] static TAxis* IntervalsToPoints(const TAxis* PtrEdges, char ChrAxis);
};

#endif  // MODEL_TAXISTOOLS_H
