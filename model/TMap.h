// model/TMap.h - TMap: a rectangular grid of cell values with its centre and edge axes.
// model/TMap.cpp holds the operations and the invariant assertions.
#ifndef MODEL_TMAP_H
#define MODEL_TMAP_H

#include <vector>

#include "model/TAxis.h"
#include "model/TPoint.h"
#include "tessgrid_export.h"

/// A map: MbrLngXDim columns by MbrLngYDim rows of double values and four axes.
///
/// Conventions, fixed here once for the whole library:
/// - A cell is addressed (column, row), always in that order, counted from 0. Column 0 is the
///   western column; X grows with the column index.
/// - Y falls with the row index, row 0 the northern row, on every map the grid reader builds and
///   on every map derived from one. A map may also be given Y axes that rise with the row index
///   (row 0 the southern row) through its centre axis (the constructor or SetYAxis); lookups, the
///   arithmetic, the extents and the resampling accept either direction, and their results keep
///   the direction of their source. SetYAxisInterval derives centres for falling edges only.
/// - Point k of an interval (edge) axis is the edge before cell k: the western edge of column k,
///   and on a falling Y axis the northern edge of row k. Point k of a centre axis is the centre of
///   cell k.
/// - Coordinates are looked up on the interval axes: a cell holds its western and southern edges
///   and not its eastern and northern ones, whichever way its Y axis runs.
/// - The no-data value is an ordinary double compared by exact equality; TMap gives it no special
///   treatment.
/// - The map owns its values and its four axes. Axis setters store copies; points returned by
///   GetCoordinates and GetPoint are new and owned by the caller. Maps cannot be copied by value.
class TESSGRID_EXPORT TMap {
 public:
  /// Builds a map of no cells and no axes; the no-data value is -9999.
  explicit TMap(double DblResolution);
  /// Builds a map of LngXDim columns and LngYDim rows of -9999, without axes.
  TMap(double DblResolution, long LngXDim, long LngYDim);
  /// Builds a map on copies of two centre axes, every cell -9999.
  /// Throws "Axes resolutions do not match in TMap::TMap" unless both resolutions are equal.
  TMap(const TAxis* PtrXAxis, const TAxis* PtrYAxis);
  ~TMap();
  TMap(const TMap&) = delete;
  TMap& operator=(const TMap&) = delete;
  TMap(TMap&& Other) noexcept;
  TMap& operator=(TMap&& Other) noexcept;

  /// Sets resolution, dimensions and no-data value, removes the axes and fills a fresh grid of
  /// LngYDim rows of LngXDim no-data values (no rows, or empty rows, for counts of 0 or less;
  /// the dimensions are stored as given).
  void Init(double DblResolution, long LngXDim, long LngYDim, double DblNoDataValue);

  /// Returns the value of the cell.
  /// Throws "X-ordinate is out of range in TMap::GetPointVal" unless 0 <= column < MbrLngXDim,
  /// then "Y-ordinate is out of range in TMap::GetPointVal" unless 0 <= row < MbrLngYDim.
  double GetPointVal(long LngX, long LngY) const {
    if (LngX < 0 || LngX >= MbrLngXDim) {
      FailGetPointVal("X-ordinate is out of range in TMap::GetPointVal");
    }
    if (LngY < 0 || LngY >= MbrLngYDim) {
      FailGetPointVal("Y-ordinate is out of range in TMap::GetPointVal");
    }
    return MbrVecValues[static_cast<std::size_t>(LngY)][static_cast<std::size_t>(LngX)];
  }

  /// Stores the value in the cell.
  /// Throws "X-ordinate is out of range in TMap::SetPoint", then "Y-ordinate is out of range in
  /// TMap::SetPoint", for an index outside the grid.
  void SetPoint(long LngX, long LngY, double DblValue);

  /// Returns a new TPoint at the centre of the cell; the caller owns it.
  /// Throws "Map has no axes in TMap::GetCoordinates", "LngX is out of range for the X-axis in
  /// TMap::GetCoordinates", "LngY is out of range for the Y-axis in TMap::GetCoordinates", then
  /// "Axis has an unfilled slot in TMap::GetCoordinates" when the column's or the row's centre
  /// slot is empty.
  [[nodiscard]] TPoint* GetCoordinates(long LngX, long LngY) const;

  /// Returns a new TMapPoint at the centre of the cell carrying its value; the caller owns it.
  /// Throws "LngX is out of range in TMap::GetPoint (long,long)", "LngY is out of range in
  /// TMap::GetPoint (long,long)", then the failures of GetCoordinates.
  [[nodiscard]] TMapPoint* GetPoint(long LngX, long LngY) const;

  /// Stores the value in every cell.
  void InitValues(double DblValue);

  /// Returns a copy of the row, west to east.
  /// Throws "Index is out of bounds in TMap::GetRow" for a row that is not stored.
  std::vector<double> GetRow(long LngY) const;

  /// Appends the row as the new southern row. A map without rows and without columns takes its
  /// column count from the row. The axes are left as they are and need setting again.
  /// Throws "Row length does not match the X dimension of the map in TMap::AddRow" for a row of
  /// another length than MbrLngXDim; the map is unchanged.
  void AddRow(std::vector<double> VecRow);

  /// Returns the column ('X') or the row (any other character) whose interval holds the
  /// coordinate, or -1 for the eastern or northern outer edge and NaN.
  /// Throws "Map has no axes in TMap::GetIndex", and the failures of TAxis::GetIndex.
  long GetIndex(double DblCoordinate, char ChrAxis) const;

  /// Returns the value of the cell that holds the point.
  /// Throws the failures of GetIndex (X first), then "LngX is out of range in
  /// TMap::GetPointVal" and "LngY is out of range in TMap::GetPointVal".
  double GetPointVal(const TPoint* PtrPoint) const;

  /// Returns a new TMapPoint at the point's own coordinates carrying the value of the cell that
  /// holds it; the caller owns it. Throws as GetPointVal(TPoint*), with "LngX is out of range in
  /// TMap::GetPoint (TPoint*)" and "LngY is out of range in TMap::GetPoint (TPoint*)".
  [[nodiscard]] TMapPoint* GetPoint(const TPoint* PtrPoint) const;

  /// Stores the value in the cell that holds the point. Throws as GetPointVal(TPoint*), with
  /// "LngX is out of range in TMap::SetPoint (TPoint*)" and "LngY is out of range in
  /// TMap::SetPoint (TPoint*)"; it never writes outside the grid.
  void SetPoint(const TPoint* PtrPoint, double DblValue);

  /// Returns GetPointVal of each point, in order; fails as a whole on the first failing point.
  std::vector<double> GetPointValues(std::vector<TPoint*> VecPoints) const;

  /// Stores a copy of the X centre axis and derives the X interval axis from it.
  /// Throws "Length of new X axis does not match the X dimension of the map".
  void SetXAxis(const TAxis* PtrAxis);
  /// Stores a copy of the Y centre axis and derives the Y interval axis from it.
  /// Throws "Length of new Y axis does not match the Y dimension of the map".
  void SetYAxis(const TAxis* PtrAxis);
  /// Stores a copy of the X interval axis and derives the X centre axis from it.
  /// Throws "Length of new X interval axis does not fit the X dimension of the map".
  void SetXAxisInterval(const TAxis* PtrAxis);
  /// Stores a copy of the Y interval axis and derives the Y centre axis from it.
  /// Throws "Length of new Y interval axis does not fit the Y dimension of the map".
  void SetYAxisInterval(const TAxis* PtrAxis);

  double MbrDblResolution;  ///< cell size in map units, the same in both directions
  long MbrLngXDim;          ///< number of columns; every row holds this many values
  long MbrLngYDim;          ///< number of rows held in MbrVecValues
  std::vector<std::vector<double>> MbrVecValues;  ///< cells, indexed [row][column]
  TAxis* MbrPtrXAxis;                             ///< owned; null or MbrLngXDim centres, rising
  TAxis* MbrPtrYAxis;                             ///< owned; null or MbrLngYDim centres of rows
  TAxis* MbrPtrXAxisInterval;                     ///< owned; null or MbrLngXDim + 1 edges
  TAxis* MbrPtrYAxisInterval;                     ///< owned; null or MbrLngYDim + 1 edges
  double MbrDblNoDataValue;  ///< marks a cell without data; -9999 after every constructor

 private:
  // The inline accessor's failure, kept out of line so that this header needs no internals.
  [[noreturn]] static void FailGetPointVal(const char* PtrMessage);
  // Finds the cell that holds the point, or fails with the caller's two out-of-range messages.
  void FindCell(const TPoint* PtrPoint, const char* PtrXMessage, const char* PtrYMessage,
                long& LngX, long& LngY) const;
  void ReleaseAxes();
};

#endif  // MODEL_TMAP_H
