// model/TAxis.h - TAxis: an ordered list of owned points with a resolution, searched by coordinate.
// A map holds four of them (model/TMap.h); model/TAxisTools.h converts centres to edges and back.
#ifndef MODEL_TAXIS_H
#define MODEL_TAXIS_H

#include <vector>

#include "model/TPoint.h"
#include "tessgrid_export.h"

/// An axis of a map: the cell centres or the cell edges (the interval axis) of one direction.
/// Point k of an interval axis is the edge before cell k; point k of a centre axis is the centre of
/// cell k. Both coordinates of every point are stored; an X axis is searched by x ('X'), a Y axis
/// by y (any other character). Every slot owns its point and may be empty (null) until filled.
/// Axes are copied only by Clone; they cannot be copied by value, but they can be moved.
class TESSGRID_EXPORT TAxis {
 public:
  /// Builds an axis of LngSize empty slots (none for a size of 0 or less).
  TAxis(double DblResolution, long LngSize);
  ~TAxis();
  TAxis(const TAxis&) = delete;
  TAxis& operator=(const TAxis&) = delete;
  TAxis(TAxis&& Other) noexcept;
  TAxis& operator=(TAxis&& Other) noexcept;

  /// Returns the number of slots.
  long GetSize() const;

  /// Stores the point in the slot and takes it over; deletes the point the slot held before,
  /// unless it is the very point given.
  /// Throws "Index is out of range in TAxis::SetPoint" unless 0 <= index < GetSize().
  void SetPoint(long LngIndex, TPoint* PtrPoint);

  /// Returns the point in the slot (null for an unfilled slot); the axis keeps it.
  /// Throws "Index is out of range in TAxis::GetPoint" unless 0 <= index < GetSize().
  TPoint* GetPoint(long LngIndex) const;

  /// Returns the index i of the first interval [point i, point i + 1] whose smaller end the
  /// coordinate reaches and whose larger end it stays below: each interval holds its end with the
  /// smaller coordinate. Returns -1 for a coordinate inside the span that no interval holds (the
  /// largest end point, NaN, an axis of one point).
  /// Throws "Ordinate is out of range in TAxis::GetIndex" for a coordinate outside the span of the
  /// first and the last point, or on an axis without points; "Axis has an unfilled slot in
  /// TAxis::GetIndex" when the search meets an empty slot.
  long GetIndex(double DblCoordinate, char ChrAxis) const;

  /// How a lookup by FindIndex ended.
  enum class TLookupStatus {
    kFound,         ///< the index names the interval that holds the coordinate
    kNoInterval,    ///< inside the span, in no interval: GetIndex returns -1
    kOutOfRange,    ///< GetIndex throws "Ordinate is out of range in TAxis::GetIndex"
    kUnfilledSlot,  ///< GetIndex throws "Axis has an unfilled slot in TAxis::GetIndex"
  };

  /// Returns what GetIndex returns, or -1 where GetIndex throws, and sets the status to tell the
  /// cases apart; the search is the same, failures included. Never throws.
  long FindIndex(double DblCoordinate, char ChrAxis, TLookupStatus& Status) const noexcept;

  /// Returns a new axis with the same resolution and clones of points start to end inclusive;
  /// the caller owns it. Throws, in this order, "Start index is out of range in
  /// TAxis::GetSegment", "End index is out of range in TAxis::GetSegment", "Start index is
  /// greater than end index in TAxis::GetSegment".
  [[nodiscard]] TAxis* GetSegment(long LngStart, long LngEnd) const;

  /// The same, with start and end found by GetIndex from the two points' coordinates (from
  /// first). On a falling axis the point with the larger coordinate comes first.
  [[nodiscard]] TAxis* GetSegment(const TPoint* PtrFrom, const TPoint* PtrTo, char ChrAxis) const;

  /// Returns a new axis with the same resolution and a clone of every point (empty slots stay
  /// empty); the caller owns it.
  [[nodiscard]] TAxis* Clone() const;

  double MbrDblResolution;            ///< spacing of the axis in map units (a map's cell size)
  std::vector<TPoint*> MbrVecPoints;  ///< points in axis order; each non-null slot owns its point
};

#endif  // MODEL_TAXIS_H
