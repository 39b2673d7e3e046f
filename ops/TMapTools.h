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
#include "tessgrid_export.h"

/// How TMapTools::Resample finds the value at a target cell centre.
enum class TResampleMethod {
  kNearest,   ///< the value of the source cell that holds the centre
  kBilinear,  ///< weighted by distance over the source cells around it, as gdalwarp -r bilinear
};

/// Operations on maps. None keeps state. Argument maps are only read, except where an operation
/// says it changes its argument in place. An operation that returns a new map, point or vector of
/// them hands it to the caller, who deletes it. Every check runs before any visible change: a
/// failing operation leaves its arguments as they were, returns nothing and leaks nothing.
class TESSGRID_EXPORT TMapTools {
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
  [[nodiscard]] static TMap* Add(const TMap* PtrMapA, const TMap* PtrMapB);
  /// Returns a - b cell for cell by column and row, on a's grid with a's no-data value; the
  /// caller owns it. Throws "X dimensions do not match in TMapTools::Subtract", then "Y
  /// dimensions do not match in TMapTools::Subtract", then "Map has no axes in
  /// TMapTools::Subtract" and "Axes resolutions do not match in TMap::TMap" for a's axes, then
  /// "X-ordinate is out of range in TMap::SetPoint" or "Y-ordinate is out of range in
  /// TMap::SetPoint" when a's centre axes are shorter than its grid.
  [[nodiscard]] static TMap* Subtract(const TMap* PtrMapA, const TMap* PtrMapB);
  /// Returns a x b on the finer grid (a's on a tie); the caller owns it. Throws as Add, with
  /// "Map has no axes in TMapTools::Multiply".
  [[nodiscard]] static TMap* Multiply(const TMap* PtrMapA, const TMap* PtrMapB);
  /// Returns a / b on a's grid with a's no-data value; a zero divisor gives an infinity or NaN.
  /// The caller owns it. Throws "Divisor must be of equal of coarser resolution than the dividend
  /// in TMapTools::Divide" unless a's resolution <= b's, then as Add, with "Map has no axes in
  /// TMapTools::Divide".
  [[nodiscard]] static TMap* Divide(const TMap* PtrMapA, const TMap* PtrMapB);

  // Cell value transforms (ops/Transforms.cpp). Each value-producing transform returns a new
  // map on copies of the input's centre axes, whose no-data value is -9999 whatever the input's
  // is; the caller owns it. Those that read axes throw "Map has no axes in TMapTools::<name>"
  // for a map whose axes are not set, and "X-ordinate is out of range in TMap::SetPoint" or
  // "Y-ordinate is out of range in TMap::SetPoint" for a map whose centre axes are shorter than
  // its grid (one grown by AddRow after its axes were set).

  /// Returns the map with every cell times the factor; a cell equal to -9999 stays -9999 (the
  /// input's own no-data value is not consulted).
  [[nodiscard]] static TMap* Multiply(const TMap* PtrMap, double DblFactor);
  /// Returns the map with the constant added to every cell; a cell equal to -9999 stays -9999
  /// (the input's own no-data value is not consulted, as in Multiply(map, factor)).
  [[nodiscard]] static TMap* Add(const TMap* PtrMap, double DblConstant);
  /// Returns the map with every cell divided by the divisor; a cell equal to the input's no-data
  /// value keeps that value. A divisor of 0 gives infinities and not-a-numbers, no failure.
  [[nodiscard]] static TMap* Divide(const TMap* PtrMap, double DblDivisor);
  /// Returns the map with every cell rounded: t = the cell truncated toward zero, t + 1 when the
  /// cell minus t is at least 0.5, else t. Negative halves therefore go toward zero; NaN stays NaN.
  [[nodiscard]] static TMap* RoundContents(const TMap* PtrMap);
  /// Returns the map with every cell below the threshold set to 0 (NaN included).
  [[nodiscard]] static TMap* Threshold(const TMap* PtrMap, double DblThreshold);
  /// Returns Threshold of each map, in input order; the caller owns every map returned. When one
  /// fails, the maps already built are released and nothing is returned.
  [[nodiscard]] static std::vector<TMap*> Threshold(std::vector<TMap*> VecMaps,
                                                    double DblThreshold);
  /// Returns the map with every cell at or above the threshold set to the replacement.
  [[nodiscard]] static TMap* ThresholdReplace(const TMap* PtrMap, double DblThreshold,
                                              double DblReplacement);
  /// Returns the map with every cell replaced by its entry in the table (exact match), or by the
  /// default value where the table has no such key. The caller's table is not changed.
  [[nodiscard]] static TMap* ReplaceValue(const TMap* PtrMap, std::map<double, double> MapTable,
                                          double DblDefault);
  /// Returns, on the grid of the first map, the cells of the source map (same column and row)
  /// with the match value replaced; the values of the grid map are not read.
  /// Throws "X dimensions do not match in TMapTools::Mask", then "Y dimensions do not match in
  /// TMapTools::Mask", when the two maps differ in size.
  [[nodiscard]] static TMap* Mask(const TMap* PtrGridMap, const TMap* PtrSourceMap, double DblMatch,
                                  double DblReplacement);
  /// Sets every cell of the block (rows north to south, columns west to east, inclusive) to the
  /// value, in place. Checks in this order and changes nothing when one fails: "Northern edge
  /// must be less than southern edge in TMapTools::FillBlock" (north > south), "Western edge must
  /// be less than eastern edge in TMapTools::FillBlock" (west > east), "Northern ordinate is out
  /// of range in TMapTools::FillBlock", "Southern ordinate is out of range in
  /// TMapTools::FillBlock", "Western ordinate is out of range in TMapTools::FillBlock", "Eastern
  /// ordinate is out of range in TMapTools::FillBlock" (an edge outside the grid).
  static void FillBlock(TMap* PtrMap, double DblValue, long LngNorth, long LngSouth, long LngWest,
                        long LngEast);
  /// Widens the block by LngWidth cells on every side, clamping the widened edges to the map:
  /// west, east, north, south in that order. Results beyond the range of long saturate.
  static void BufferIndices(TMap* PtrMap, long LngWidth, long& LngNorth, long& LngSouth,
                            long& LngWest, long& LngEast);

  // Multi-map aggregation (ops/Aggregation.cpp). The maps of a list must all have the first
  // map's dimensions and are paired by column and row. Each result is a new map on copies of the
  // first map's centre axes with the no-data value -9999; the caller owns it. A first map whose
  // axes are not set fails with "Map has no axes in TMapTools::<name>" after the other checks,
  // one whose centre axes are shorter than its grid with "X-ordinate is out of range in
  // TMap::SetPoint" or "Y-ordinate is out of range in TMap::SetPoint".

  /// Returns the cell-wise sum. A cell that is no-data in any map takes the no-data value of the
  /// first such map in list order.
  /// Throws "Must have more than 2 maps to sum in TMapTools::Sum" for fewer than two maps, then
  /// for each later map in order "X-dimension of maps are inconsistent in TMapTools::Sum" and
  /// "Y-dimension of maps are inconsistent in TMapTools::Sum".
  [[nodiscard]] static TMap* Sum(std::vector<TMap*> VecMaps);
  /// Returns, for each cell, the number of maps in which it is not that map's no-data value.
  /// Throws "Must have at least 1 map in TMapTools::DataCounts" for an empty list, then
  /// "X-dimension of maps are inconsistent in TMapTools::DataCounts" and
  /// "Y-dimension of maps are inconsistent in TMapTools::DataCounts".
  [[nodiscard]] static TMap* DataCounts(std::vector<TMap*> VecMaps);
  /// Returns Divide(Sum(maps), DataCounts(maps)), cell for cell: -9999 where the sum is -9999,
  /// else the sum over the count of data cells. Throws the failures of Sum first.
  [[nodiscard]] static TMap* Average(std::vector<TMap*> VecMaps);
  /// Returns Average of every run of IntWindow consecutive maps, in order: the number of maps
  /// less IntWindow plus one maps, or none when the window is longer than the list. A window
  /// below 2 throws "Must have more than 2 maps to sum in TMapTools::Sum" unless the list is
  /// shorter than the window. When a window fails, the maps already built are released.
  [[nodiscard]] static std::vector<TMap*> MovingAverage(std::vector<TMap*> VecMaps, int IntWindow);

  // Resampling (ops/Resampling.cpp).
  // Results cover the source's area from its first X edge and first Y edge (the northern edge on
  // a map read from a grid file) and follow the direction of its Y edges. A map's Y edges rise
  // when its last Y edge is greater than its first. Sources need their four axes, as the setters
  // leave them; a map without them fails with "Map has no complete axes in TMapTools::<name>".
  // A map too large for memory fails with std::bad_alloc before any of it is built. Resample
  // states its own grid and messages.

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
  [[nodiscard]] static TMap* Downscale(const TMap* PtrSource, double DblResolution);

  /// Returns the source refined by k: every cell becomes a k x k block holding its value, at
  /// resolution r / k over the same area; no-data value -9999.
  /// Throws "Subdivision factor must be >= 1 in TMapTools::Subdivide" for k <= 0.
  /// Returns a new map; the caller owns it.
  [[nodiscard]] static TMap* Subdivide(const TMap* PtrSource, int IntFactor);

  /// Returns Downscale(source, R) filled by bilinear interpolation between the centres of the
  /// four source cells around one sample point per cell, taken at a fixed offset from the cell's
  /// first edges inside a band r (the source's resolution) within the map, and r + R within on
  /// its far X side and, where its Y edges fall, on its first (northern) Y side. A sample with a
  /// no-data cell (equal to the source's no-data value) among its four neighbours is no-data.
  /// Cells no sample reaches, and the no-data value the result declares, are the source's no-data
  /// value. TMapTools::Resample samples at cell centres instead.
  /// Throws "New resolution cannot be <= 0.0 in TMapTools::BilinearInterpolate" for an R that is
  /// not greater than 0, then the failures of Downscale, then for the first sample that has no
  /// four neighbours "LngGetX1 is out of range in TMapTools::BilinearInterpolate" (likewise
  /// LngGetX2, LngGetY1, LngGetY2), or the lookup's "Ordinate is out of range in
  /// TAxis::GetIndex", "LngX is out of range in TMap::GetPoint (TPoint*)" or "LngY is out of
  /// range in TMap::GetPoint (TPoint*)". Throws "New resolution is too small for the map's
  /// coordinates in TMapTools::BilinearInterpolate" when adding R no longer moves a sample
  /// coordinate, where sampling would never end. Returns a new map; the caller owns it.
  [[nodiscard]] static TMap* BilinearInterpolate(const TMap* PtrSource, double DblResolution);

  /// Returns the source resampled to cell size R over its whole area as GDAL's gdalwarp resamples
  /// it for -tr R R with -te the source's extent, the whole grid warped at once. The source is
  /// the regular grid of its first edges, its n columns and rows and its resolution r, as a
  /// raster's geotransform gives one. The grid starts at the source's western and northern edges
  /// and has (n r + R / 2) / R columns and rows, truncated (n r / R rounded, halves up), at least 1
  /// each; edge k lies k x R east of the western edge (south of the northern one), so the eastern
  /// and southern edges may lie up to R / 2 within or beyond the source's. Rows follow the
  /// direction of the source's Y edges.
  /// Each centre is placed in the source's image space, cells counted from its first edges,
  /// through its map coordinate and the inverse of the source's geotransform as gdalwarp places
  /// it (rounding included); the cell holding it is the one it lies in, a centre within 1e-10 of
  /// a cell before a boundary taking the cell after it, so that a centre on a boundary takes the
  /// row or column after it in the source's order (the southern row of a grid whose rows run
  /// from the north). A centre
  /// outside the source, or whose holding cell is no-data (the source's no-data value, by exact
  /// equality), is no-data with either method; the result declares the source's no-data value.
  /// kNearest takes the holding cell's value, and so does kBilinear on a source one cell wide or
  /// one cell high, as gdalwarp's.
  /// kBilinear depends on gdalwarp's scale s = m / min(m R / r, n) of each direction (the target's
  /// cells over the source cells they span, within the source; below 1 and within 0.05 of 1 / k
  /// in reciprocal for a whole k, 1 / k). With s >= 0.95 in both, the two cells around the
  /// centre in each direction weigh 1 - d, d being the distance between the centres in source
  /// cells. Otherwise each source cell weighs w(dx) w(dy), w(d) = 1 - d s where
  /// s < 1 and 1 - d elsewhere (0 beyond): every cell whose centre lies within about R of the
  /// target centre counts. Either way cells outside the source and no-data cells drop out and
  /// the rest are divided by their weights' sum: the four-cell form unless the sum is exactly 1,
  /// no-data below 1e-5; the wide form unless it lies within 1e-5 of 1, no-data below 1e-6.
  /// gdalwarp splits a warp larger than its memory limit into chunks, each with its own scale;
  /// this is its result for one chunk.
  /// Throws "New resolution cannot be <= 0.0 in TMapTools::Resample" for an R that is not a
  /// finite number above 0, "Map has no interval axes in TMapTools::Resample" for a source
  /// without its two complete edge axes, "Map has no cells in TMapTools::Resample" for one
  /// without columns or rows, "New resolution is too small for the map in TMapTools::Resample"
  /// when the source's extent is not finite or the grid would hold more cells than memory can be
  /// indexed by, and "Map's resolution does not match its edges in TMapTools::Resample" when the
  /// resolution is not above 0 or the edges do not lie n r apart (beyond the rounding of edges
  /// added up cell by cell); a grid too large for this machine's memory throws std::bad_alloc.
  /// Returns a new map; the caller owns it.
  [[nodiscard]] static TMap* Resample(const TMap* PtrSource, double DblResolution,
                                      TResampleMethod Method);

  // Map extents (ops/Extents.cpp).
  /// Returns a new map of the cells from the one holding P1 to the one holding P2 (any two
  /// opposite corners, in either order), with their centres and values. The result declares
  /// -9999 as no-data whatever the source declares, and keeps the source's Y direction.
  /// Throws "Map has no axes in TMap::GetIndex"; "Ordinate is out of range in TAxis::GetIndex"
  /// for a corner outside the map (x1, y1, x2, y2 in this order); "Start index is out of range in
  /// TAxis::GetSegment" for a corner on the map's eastern or northern outer edge. The caller owns
  /// the result.
  [[nodiscard]] static TMap* Extract(const TMap* PtrMap, const TPoint* PtrPoint1,
                                     const TPoint* PtrPoint2);

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
  /// found before any is written, so on failure the destination is unchanged. An insert map
  /// without cells changes nothing once it passes the corner tests.
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
  [[nodiscard]] static std::map<double, TMapPoint*> GetFirstValues(const TMap* PtrMap,
                                                                   std::vector<double> VecLeaveOut);

  /// Returns GetFirstValues of each map with the same values left out, in the maps' order.
  /// Fails as a whole, as the one-map form, and then leaves no point behind.
  [[nodiscard]] static std::vector<std::map<double, TMapPoint*>> GetFirstValues(
      std::vector<TMap*> VecMaps, std::vector<double> VecLeaveOut);

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
  /// "Map has no axes in TMapTools::ValueGradients" for a map 0 without centre axes, then
  /// "X-ordinate is out of range in TMap::SetPoint" or "Y-ordinate is out of range in
  /// TMap::SetPoint" when its centre axes are shorter than its grid.
  [[nodiscard]] static std::vector<TMap*> ValueGradients(std::vector<TMap*> VecMaps,
                                                         int LngWindowSize);

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

  /// Writes the cells row by row from the north, each value followed by the separator and each
  /// row by a line end; the stream is flushed after every row. Numbers use the stream's
  /// floating-point format; in the default format they take the fewest digits from its precision
  /// up to 12 that read back exactly.
  /// Throws "Map rows do not match its dimensions in TMapTools::WriteFlatFile" before writing
  /// anything when the value grid holds fewer rows or columns than MbrLngYDim and MbrLngXDim.
  static void WriteFlatFile(const TMap* PtrMap, std::ostream& Output, char ChrSeparator);

  /// Writes one line "x,y,value" per cell, column by column from the west and, within a column,
  /// row by row from the north, with the cell centres of TMap::GetPoint; numbers as WriteFlatFile.
  /// Throws the failures of TMap::GetPoint(long, long) ("Map has no axes in
  /// TMap::GetCoordinates", "Axis has an unfilled slot in TMap::GetCoordinates", ...) and "Map
  /// rows do not match its dimensions in TMapTools::WriteCSVFile" before writing anything; a map
  /// without cells writes nothing.
  static void WriteCSVFile(const TMap* PtrMap, std::ostream& Output);
};

#endif  // OPS_TMAPTOOLS_H
