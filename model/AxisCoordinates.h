// model/AxisCoordinates.h - edge and centre coordinates as plain numbers: the running sums of the
// grid reader's edges and of derived edges, and the centre between two edges.
// model/AxisCoordinates.cpp holds them; TAxisTools, the grid reader and the command build on them.
#ifndef MODEL_AXISCOORDINATES_H
#define MODEL_AXISCOORDINATES_H

#include <cmath>
#include <cstddef>
#include <vector>

namespace tessgrid::detail {

/// Writes LngCount running sums to PtrOut: PtrOut[0] = DblStart and PtrOut[k] = PtrOut[k - 1] +
/// DblStep, each sum rounded in turn. Every edge of the library is made this way, not as start +
/// k x step, so that edges derived from centres match the edges read from a file bit for bit.
void RunningSums(double DblStart, double DblStep, std::size_t LngCount, double* PtrOut);

/// Returns the value RunningSums writes at index LngIndex: DblStart with DblStep added LngIndex
/// times, each sum rounded in turn.
double RunningSumAt(double DblStart, double DblStep, std::size_t LngIndex);

/// The edge coordinates the grid reader gives a grid.
struct TGridEdges {
  std::vector<double> VecX;  ///< x of the X edges, west to east; every X edge has the y VecY[0]
  std::vector<double> VecY;  ///< y of the Y edges, index 0 the northern edge; every Y edge has
                             ///< the x of the western edge
};

/// Returns the edges of LngColumns x LngRows cells of the size whose south-western corner is
/// (DblXll, DblYll): the Y edges as running sums northwards from the corner, the X edges as
/// running sums eastwards, so the southern and western edges are exactly the corner.
TGridEdges ReaderEdges(double DblXll, double DblYll, double DblCellSize, std::size_t LngColumns,
                       std::size_t LngRows);

/// Returns the coordinate of the centre between consecutive edges a and b as a centre axis
/// derived from edges places it: a + |b - a| / 2 for an x ('X'), a - |b - a| / 2 for a y (any
/// other character). That is the midpoint for an x that rises and a y that falls.
inline double CentreOfEdges(double DblA, double DblB, char ChrCoordinate) {
  const double DblHalf = std::fabs(DblB - DblA) * 0.5;
  return ChrCoordinate == 'X' ? DblA + DblHalf : DblA - DblHalf;
}

/// Turns consecutive edge coordinates into the coordinates of the centres between them, in place:
/// one fewer, none for fewer than two edges.
void EdgesToCentres(std::vector<double>& VecCoordinates, char ChrCoordinate);

/// The edges derived from a centre axis: edge 0 and the step from edge to edge.
struct TEdgeRun {
  double DblX;     ///< x of edge 0
  double DblY;     ///< y of edge 0
  double DblStep;  ///< added to the x of each edge for an X axis, to the y for any other
};

/// Returns the edge run of a centre axis of resolution r whose first centre is (DblFirstX,
/// DblFirstY) and whose last centre has the y DblLastY: edge 0 lies r/2 west of the first centre
/// and r/2 beyond it in y (north where the centres fall in y, south otherwise); the step is r,
/// or -r for a Y axis ('Y') whose centres fall.
TEdgeRun EdgeRunOfCentres(double DblFirstX, double DblFirstY, double DblLastY, double DblResolution,
                          char ChrAxis);

/// What a map built on the centre axes of a grid the reader read derives from them (as
/// TMap::SetXAxis and SetYAxis derive edges through TAxisTools::PointsToIntervals), the centres
/// being those the reader's edges give (ReaderEdges, then IntervalsToPoints).
struct TDerivedEdges {
  double DblWest = 0.0;           ///< the first derived X edge
  double DblSouth = 0.0;          ///< the last derived Y edge
  bool BlnCentresInside = false;  ///< every centre lies strictly between its two derived edges
};

/// Returns the derived edges of LngColumns x LngRows cells (both at least 1) of the size whose
/// south-western corner is (DblXll, DblYll), bit for bit those of the maps the axes would make,
/// without making them: time follows the rows and columns, memory the square root of the rows,
/// so that a header's claim costs no memory in proportion to it.
TDerivedEdges DerivedEdgesOfCentres(double DblXll, double DblYll, double DblCellSize,
                                    std::size_t LngColumns, std::size_t LngRows);

}  // namespace tessgrid::detail

#endif  // MODEL_AXISCOORDINATES_H
