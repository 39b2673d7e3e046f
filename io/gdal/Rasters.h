// io/gdal/Rasters.h - the GDAL backend of tessgrid-tool: rasters of any format GDAL reads, in row
// windows or whole; maps written in GDAL's formats; coordinate systems compared by meaning.
// Built only with TESSGRID_GDAL, into tessgrid_gdal (io/gdal/*.cpp); the library never uses it.
#ifndef IO_GDAL_RASTERS_H
#define IO_GDAL_RASTERS_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/GridHeader.h"
#include "io/GridWriter.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// What a raster states beyond its grid, for info.
struct TRasterFacts {
  std::string StgFormat;     ///< GDAL's short name of the driver ("GTiff")
  std::string StgType;       ///< GDAL's name of the band's data type ("Float64", "Int16")
  long LngBlockColumns = 0;  ///< the band's natural block: columns
  long LngBlockRows = 0;     ///< and rows (1 for a raster stored in strips of one row)
  std::string StgCrsName;    ///< the coordinate system's name; empty when it has none
};

/// One band of a raster that GDAL reads, open for reading. The grid follows tessgrid's
/// conventions: row 0 is the northern row, the header's corner is the south-western edge (west
/// from the geotransform's origin, south its northern edge less the rows), and the cell size is
/// the pixel width. Declared no-data is the band's no-data value; a band without one declares
/// -9999 and has no cell of -9999 (BlnNoDataRead false), as the lenient ASCII rule has it.
class TRasterReader {
 public:
  /// Returns the band of the named file when GDAL should read it, or null when tessgrid's own
  /// reader should: an ASCII grid (the extension .asc in any letter case, or a first word that
  /// is a key of the lenient header rule), standard input, anything that is not a regular file,
  /// and a file no GDAL driver recognises (the own reader then reports what is wrong with it).
  /// Throws, as std::string with the name N: "Unable to read file N: " and GDAL's message when a
  /// driver recognises the file but cannot open it; "N: no band B (the raster has K)"; "N: band
  /// B holds complex numbers; tessgrid-tool takes real ones only"; "N: the raster has no
  /// geotransform; tessgrid-tool needs one to place its cells"; "N: the raster is rotated;
  /// tessgrid-tool takes north-up grids only"; "N: rows run from south to north; tessgrid-tool
  /// takes north-up grids only"; "N: cells are not square (W by H); tessgrid-tool takes square
  /// cells only".
  /// With BlnSideBySide, for callers that read several rasters at once on threads of their
  /// own, blocks are decoded on the caller's thread only, not on GDAL's.
  static std::unique_ptr<TRasterReader> OpenIfRaster(const std::string& StgFileName, int IntBand,
                                                     bool BlnSideBySide = false);

  ~TRasterReader();
  TRasterReader(const TRasterReader&) = delete;
  TRasterReader& operator=(const TRasterReader&) = delete;

  /// Returns the grid's header: size, south-western corner, cell size, declared no-data.
  const TGridHeader& Header() const;

  /// Returns the format, data type, block size and coordinate-system name.
  const TRasterFacts& Facts() const;

  /// Returns the coordinate system as WKT, or "" when the raster has none.
  const std::string& CrsText() const;

  /// Reads rows [LngFirst, LngFirst + LngCount), north to south, row LngFirst + k to RowAt(k),
  /// Header().LngColumns doubles; rows that follow each other in memory are read in one call.
  /// The window's blocks are decoded for it and dropped from GDAL's cache once it is read, so
  /// that memory follows the window: windows that start and end at the raster's block edges
  /// (multiples of Facts().LngBlockRows, or the last row) decode each block once, others decode
  /// again the blocks they share with their neighbours.
  /// Throws "Row window is outside the raster in TRasterReader::ReadRows" for a window that
  /// does not lie in it; "Unable to read file " followed by the name, ": " and GDAL's message, as
  /// std::string, when reading fails; for a band without no-data, "File format error: cell at
  /// row R, column C of N holds -9999 but the raster declares no no-data value".
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt);

  /// ReadRows into LngCount rows one after the other from PtrRows.
  void ReadRows(long LngFirst, long LngCount, double* PtrRows);

  /// Returns the whole band as a map, read in windows of whole blocks, with the header's
  /// geometry and no-data value. Throws the failures of ReadRows; lets std::bad_alloc pass.
  std::unique_ptr<TMap> ReadMap();

 private:
  struct TOpen;
  explicit TRasterReader(std::unique_ptr<TOpen> PtrOpen);

  std::unique_ptr<TOpen> MbrPtrOpen;  ///< the dataset, the band and what they state; never null
};

/// The cell types an output raster may take.
enum class TRasterType { kFloat64, kFloat32, kInt32, kInt16, kByte };

/// Returns the type of GDAL's name ("Float64", "Float32", "Int32", "Int16", "Byte") and true,
/// or false for any other name.
bool RasterTypeOf(const std::string& StgName, TRasterType& Type);

/// Returns GDAL's name of the type.
const char* RasterTypeName(TRasterType Type);

/// How a map goes out as a raster.
struct TRasterTarget {
  std::string StgFormat;                     ///< GDAL's short name of the driver ("GTiff")
  TRasterType Type = TRasterType::kFloat64;  ///< the cells' type
  std::vector<std::string> VecOptions;       ///< KEY=VALUE creation options, the user's last
  std::string StgCrsText;                    ///< WKT or .prj text; empty: no coordinate system
  std::string StgCrsOrigin;                  ///< the file the text came from, for the message
};

/// Returns the creation options GeoTIFF outputs take unless the user's options say otherwise:
/// tiles, DEFLATE with the predictor of the type (3 for floats, 2 for integers), BigTIFF when
/// the file could pass 4 GiB.
std::vector<std::string> DefaultGeoTiffOptions(TRasterType Type);

/// Checks that GDAL has a driver of the name that writes rasters.
/// Throws "GDAL has no raster format NAME that it can write" as std::string otherwise.
void CheckRasterFormat(const std::string& StgFormat);

/// CheckFitsType's check of the no-data value alone; throws its failures for it.
void CheckNoDataFitsType(double DblNoData, TRasterType Type, const std::string& StgOutput);

/// CheckFitsType's check of one row of cells: returns the first column whose data cell does not
/// fit the type, or -1.
long CellNotFitting(const double* PtrCells, std::size_t LngColumns, double DblNoData,
                    TRasterType Type);

/// Throws CheckFitsType's failure for the cell at the row and column (counted from 0).
[[noreturn]] void FailCellNotFitting(double DblCell, std::size_t LngRow, std::size_t LngColumn,
                                     double DblNoData, TRasterType Type,
                                     const std::string& StgOutput);

/// Checks, before anything is written, that every data cell of the map and the layout's no-data
/// value fit the target's type: within its range, and whole for the integer types. A cell equal
/// to the no-data value (NaN for a NaN value) counts as no-data.
/// Throws, as std::string with the output's name O: "O: the NODATA_value V does not fit T
/// (LOW to HIGH); choose another with --nodata" and "O: the result holds V at row R, column C,
/// which does not fit T (LOW to HIGH)" (" (a whole number from LOW to HIGH)" for the integer
/// types).
void CheckFitsType(const TMap& Map, double DblNoData, TRasterType Type,
                   const std::string& StgOutput);

/// A raster of the target's format and type written a run of rows at a time, north to south,
/// under the layout's size, corner, cell size and no-data value, with the target's coordinate
/// system. Formats GDAL creates directly hold only the rows of the blocks not yet complete;
/// formats written in one pass (PNG, GDAL's own ASCII grid) get a copy of a raster made in
/// memory when finished. Check the cells against the type first: GDAL would clip and round what
/// does not fit.
class TRasterRowWriter {
 public:
  /// Creates the raster at the path, which GDAL creates or truncates.
  /// Throws, as std::string with the output's name O: "O: GDAL does not understand the
  /// coordinate system of F" (F the target's StgCrsOrigin); "Unable to write file O: " and
  /// GDAL's message when GDAL fails.
  TRasterRowWriter(const TGridLayout& Layout, const TRasterTarget& Target,
                   const std::string& StgPath, const std::string& StgOutput);
  ~TRasterRowWriter();
  TRasterRowWriter(const TRasterRowWriter&) = delete;
  TRasterRowWriter& operator=(const TRasterRowWriter&) = delete;

  /// Writes LngRows rows after those written, RowAt(k) holding the k-th of them.
  /// Throws "Unable to write file O: " and GDAL's message.
  void Write(const std::function<const double*(std::size_t)>& RowAt, std::size_t LngRows);

  /// Completes the raster once every row is written: its last blocks, or its copy, go to the
  /// file and the file is closed. Throws "Unable to write file O: " and GDAL's message.
  void Finish();

 private:
  struct TOpen;
  std::unique_ptr<TOpen> MbrPtrOpen;  ///< the dataset and where the writing stands; never null
};

/// Writes the map as a raster of the target's format and type at the path (which GDAL creates
/// or truncates), under the layout's corner, cell size and no-data value, with the target's
/// coordinate system; formats that cannot be written cell by cell get a copy of a raster made
/// in memory. Call CheckFitsType first: GDAL would clip and round what does not fit.
/// Throws, as std::string with the output's name O: "O: GDAL does not understand the coordinate
/// system of F" (F the target's StgCrsOrigin); "Unable to write file O: " and GDAL's message
/// when GDAL fails.
void WriteRaster(const TMap& Map, const TGridLayout& Layout, const TRasterTarget& Target,
                 const std::string& StgPath, const std::string& StgOutput);

/// Returns whether two coordinate-system texts describe the same system by meaning, as GDAL's
/// OGRSpatialReference::IsSame judges (the order of a geographic system's axes aside): each
/// text read as its SetFromUserInput reads a user's definition (any WKT flavour, a PROJ string,
/// "EPSG:32633"), but never as a file or a URL. Texts GDAL cannot read are compared as
/// TPrjFileTools::SamePrjText compares them.
bool SameCoordinateSystem(const std::string& StgTextA, const std::string& StgTextB);

/// Returns the name GDAL gives the coordinate system of the text, read as SameCoordinateSystem
/// reads it ("WGS 84 / UTM zone 33N"; "unknown" for a PROJ string), or "" when it cannot.
std::string CoordinateSystemName(const std::string& StgText);

}  // namespace tessgrid::detail

#endif  // IO_GDAL_RASTERS_H
