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
#include "io/SafeReplace.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// What a raster states beyond its grid, for info.
struct TRasterFacts {
  std::string StgFormat;     ///< GDAL's short name of the driver ("GTiff")
  std::string StgType;       ///< GDAL's name of the band's data type ("Float64", "Int16"); "Int8"
                             ///< for Byte cells GDAL reads as signed
  long LngBands = 1;         ///< the raster's number of bands
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
enum class TRasterType { kFloat64, kFloat32, kInt32, kUInt32, kInt16, kUInt16, kByte };

/// Returns the type of GDAL's name ("Float64", "Float32", "Int32", "UInt32", "Int16", "UInt16",
/// "Byte") and true, or false for any other name.
bool RasterTypeOf(const std::string& StgName, TRasterType& Type);

/// Returns GDAL's name of the type.
const char* RasterTypeName(TRasterType Type);

/// Returns whether a cell of the type holds the value exactly (NaN and the infinities: the
/// floating-point types).
bool TypeHolds(TRasterType Type, double DblValue);

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

/// Checks, before anything is written, that the target's format writes a file of its own and
/// holds the target's type, and that no creation option (the defaults, then the user's) would
/// make the cells read back otherwise than they were written: lossy compression (JPEG, WEBP but
/// lossless, LERC with a MAX_Z_ERROR, JXL but lossless, JPEG 2000 but reversible at quality
/// 100), fewer bits than the type's (NBITS), dropped bits (DISCARD_LSB), Byte cells read as
/// signed (PIXELTYPE), a grid resampled to a tiling scheme or another coordinate system (COG's
/// TILING_SCHEME, TARGET_SRS, RES, EXTENT). What no rule foresees, TRasterRowWriter::Finish
/// finds by reading the raster back.
/// Throws, as std::string with the output's name O and the format F: "GDAL has no raster format
/// F that it can write"; "O: GDAL's format F writes no file that holds the cells; choose another
/// with --format" (MEM, VRT and the formats of services and databases); "O: GDAL's format F
/// holds A or B cells, not T; choose one with --type" (the tool's types the format lists) or
/// "O: GDAL's format F holds none of the cell types tessgrid-tool writes; choose another with
/// --format"; "O: GDAL's format F compresses with loss; the cells would not read back as
/// written" (JPEG), with " unless LOSSLESS=YES" (WEBP) or " unless QUALITY=100 and
/// REVERSIBLE=YES" (JP2OpenJPEG) before the semicolon; "O: the creation option K=V R; the
/// cells would not read back as written", R saying what the option does ("compresses with
/// loss", "compresses with loss unless WEBP_LOSSLESS=YES", "lets LERC change each cell by up
/// to V", "compresses with loss unless JXL_LOSSLESS=YES", "keeps N bits of each T cell", "drops
/// the low bits of each cell", "makes Byte cells read as signed", "resamples the grid to a
/// tiling scheme", "resamples the grid to another grid").
void CheckRasterTarget(const TRasterTarget& Target, const std::string& StgOutput);

/// The suffixes of the files GDAL reads with a raster NAME without being asked (NAME.aux.xml,
/// NAME.ovr, NAME.msk): left from an earlier file of the name, they would describe it instead.
const std::vector<std::string>& RasterCompanions();

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
/// formats written in one pass (PNG, COG) get a copy of a raster made in memory when finished.
/// Check the cells against the type first: GDAL would clip and round what does not fit. Every
/// failure GDAL reports along the way fails the write, also one a later call would cover up,
/// and the raster is read back once written: a write that GDAL reports done but that does not
/// hold the cells as written fails too. Give it a path of its own (TOutputSet::StageFile): the
/// format may write further files named after it.
class TRasterRowWriter {
 public:
  /// Creates the raster at the path, which GDAL creates or truncates, with IntBands bands:
  /// Write takes the rows of band 1, then those of band 2, and so on.
  /// Throws, as std::string with the output's name O: the failures of CheckRasterTarget;
  /// "O: GDAL does not understand the coordinate system of F" (F the target's StgCrsOrigin);
  /// "Unable to write file O: " and GDAL's message when GDAL fails (the path in it given as O);
  /// "O: GDAL's format F does not take " followed by "the grid's corner and cell size", "the
  /// coordinate system of F" or "the NODATA_value V" when the format refuses one without a
  /// message.
  TRasterRowWriter(const TGridLayout& Layout, const TRasterTarget& Target,
                   const std::string& StgPath, const std::string& StgOutput, int IntBands = 1);
  ~TRasterRowWriter();
  TRasterRowWriter(const TRasterRowWriter&) = delete;
  TRasterRowWriter& operator=(const TRasterRowWriter&) = delete;

  /// Writes LngRows rows after those written, RowAt(k) holding the k-th of them.
  /// Throws "Unable to write file O: " and GDAL's message, and "Every row is written in
  /// TRasterRowWriter::Write" past the last row of the last band.
  void Write(const std::function<const double*(std::size_t)>& RowAt, std::size_t LngRows);

  /// Completes the raster once every row is written: its last blocks, or its copy, go to the
  /// file and the file is closed; then it is opened again and read back whole.
  /// Throws "Not every row is written in TRasterRowWriter::Finish" before the last row is;
  /// "Unable to write file O: " and GDAL's message when GDAL fails; "Unable to write file O:
  /// GDAL cannot read back what its format F wrote: " and GDAL's message; "Unable to write file
  /// O: GDAL reads back other cells than were written, in row R" (the format or its options
  /// change values, or GDAL met a failure it could not report); and, when the format does not
  /// keep the grid, "O: GDAL's format F reads back " followed by "C x R cells, not C0 x R0", "T
  /// cells, not T0", "another corner or cell size", "without the NODATA_value V0", "the
  /// NODATA_value V, not V0" or "without the coordinate system", and "; the format or its
  /// options do not keep the grid as written".
  void Finish();

 private:
  struct TOpen;
  std::unique_ptr<TOpen> MbrPtrOpen;  ///< the dataset and where the writing stands; never null
};

/// Writes the map as a raster of the target's format and type at the path (see
/// TRasterRowWriter), under the layout's corner, cell size and no-data value, with the target's
/// coordinate system. Call CheckFitsType first: GDAL would clip and round what does not fit.
/// Throws the failures of TRasterRowWriter.
void WriteRaster(const TMap& Map, const TGridLayout& Layout, const TRasterTarget& Target,
                 const std::string& StgPath, const std::string& StgOutput);

/// Stages in the set the raster Write makes at the path it is given (a TRasterRowWriter or
/// WriteRaster there), with every further file its format writes and the removal of the
/// RasterCompanions it does not write (see TOutputSet::StageFile).
/// Throws the failures of TOutputSet::StageFile and of Write.
void StageRasterFile(TOutputSet& Outputs, const std::string& StgOutput,
                     const std::function<void(const std::string&)>& Write);

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
