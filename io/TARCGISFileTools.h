// io/TARCGISFileTools.h - TARCGISFileTools: the ASCII grid reader and writer, and grid file lists.
// io/TARCGISFileTools.cpp holds them; the number text, block and file helpers live beside it.
#ifndef IO_TARCGISFILETOOLS_H
#define IO_TARCGISFILETOOLS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "model/TMap.h"
#include "tessgrid_export.h"

/// The header variants LoadARCGISFile accepts.
enum class TGridHeaderMode {
  kStrict,   ///< the six keys in their fixed order and spelling ("nodata_value" too): the default
  kLenient,  ///< also what other programs write: keys in any letter case and order, xllcenter and
             ///< yllcenter for the corners, no NODATA_value entry
};

/// Static reader and writer of the ASCII grid format: six header entries, then the cells row by
/// row from the north.
///
///     ncols 3
///     nrows 2
///     xllcorner        0
///     yllcorner        0
///     cellsize 1
///     NODATA_value -9999
///     1 2 3
///     4 5 6
///
/// The reader takes white-space separated tokens and ignores line structure. Keys are compared
/// exactly; "nodata_value" is the one other spelling accepted (the lenient rule takes more). The
/// map it returns has edges built from the corner by running sums of cellsize, so the south-western
/// corner is exactly the one read. The writer puts every value in the fewest digits that read back
/// as the same double (at least the stream's precision, at most 12), so what it writes loads back
/// unchanged.
///
/// Every map returned is new and owned by the caller.
class TESSGRID_EXPORT TARCGISFileTools {
 public:
  TARCGISFileTools() = delete;

  /// Reads a grid from the stream and returns it as a new map; the caller owns it. The stream is
  /// left right after the last cell's token (a pipe too), with end-of-file set when that token
  /// ends the input. Large grids are parsed on TESSGRID_THREADS threads (default: every core);
  /// the result is the same for every count.
  /// Throws, as char*, "File format error: expected to find ncols tag", "File format error:
  /// expectd to find nrows tag", "File format error: expected to find xllcorner tag", "File format
  /// error: expected to find yllcorner tag", "File format error: expected to find cellsize tag",
  /// "File format error: expected to find NODATA_value tag" for a header key out of place, or
  /// one of the first five keys or values longer than 256 bytes;
  /// "File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile" for a no-data
  /// value that is not a number; "File format error: negative ncols or nrows in
  /// TARCGISFileTools::LoadARCGISFile"; "File format error: ncols or nrows too large in
  /// TARCGISFileTools::LoadARCGISFile" when ncols x nrows overflows a long, or a grid without
  /// cells claims more than 2^16 rows or columns; "Unexpected end of file
  /// found in TARCGISFileTools::LoadARCGISFile" when the input ends before the no-data value or
  /// holds fewer than ncols x nrows values; "Unable to read the input stream in
  /// TARCGISFileTools::LoadARCGISFile" when the stream buffer fails with std::ios_base::failure
  /// (a read error of a file buffer; other exceptions of the buffer pass through). Throws, as
  /// std::string, "File format error: invalid cell value '<token>' at row <r>, column <c> in
  /// TARCGISFileTools::LoadARCGISFile" (counted from 0) for a cell that is not a number, lies
  /// beyond the range of double or is longer than 4096 bytes; of several, the first in the file.
  [[nodiscard]] static TMap* LoadARCGISFile(std::istream& Input);

  /// Reads a grid from the stream with the given header rule; kStrict is the form above.
  /// kLenient reads the header entries in any letter case and order until the first token that
  /// does not begin with a letter; xllcenter and yllcenter stand for the corners (corner =
  /// centre - cellsize / 2); dx and dy of one value stand for cellsize; without NODATA_value the
  /// no-data value is -9999. Besides the messages above it throws, as char*, "File format
  /// error: invalid ncols in TARCGISFileTools::LoadARCGISFile" (likewise nrows, xllcorner,
  /// yllcorner, xllcenter, yllcenter, cellsize, dx, dy) for a value that is not a number of its
  /// kind (a cell size must be greater than 0, the others finite), "File format error: grid
  /// extent is not finite in TARCGISFileTools::LoadARCGISFile" when an edge of the grid lies
  /// beyond the range of double, and "File format error: cells are not square (dx differs from dy)
  /// in TARCGISFileTools::LoadARCGISFile"; a missing entry fails with the strict rule's message of
  /// its key. As std::string: "File format error: unknown header key '<key>' in
  /// TARCGISFileTools::LoadARCGISFile", "File format error: duplicate header entry <key> in
  /// TARCGISFileTools::LoadARCGISFile" (xllcorner and xllcenter are one entry, and so are
  /// cellsize and dx, dy), and "File format error: cell at row <r>, column <c> holds -9999 but
  /// the header has no NODATA_value in TARCGISFileTools::LoadARCGISFile".
  [[nodiscard]] static TMap* LoadARCGISFile(std::istream& Input, TGridHeaderMode Mode);

  /// Reads the named grid file and returns it as a new map; the caller owns it.
  /// Throws "Unable to open file " followed by the name, as std::string, when it cannot be opened
  /// for reading or is a folder, "Unable to read file " followed by the name, as std::string,
  /// when reading it fails (EIO), std::bad_alloc when opening it fails for lack of memory, and
  /// the format failures of the stream form.
  [[nodiscard]] static TMap* LoadARCGISFile(std::string StgFileName);

  /// Reads the named grid file with the given header rule; kStrict is the form above.
  [[nodiscard]] static TMap* LoadARCGISFile(std::string StgFileName, TGridHeaderMode Mode);

  /// Writes the map as a grid to the stream: the six header lines, then one line per row with a
  /// blank after every value. The corner is the first X edge and the lower end of the Y edges
  /// (the last edge of a map read from a file, the first of a one-row map whose edges rise).
  /// Numbers use the stream's floating-point format; in the default
  /// format they take the fewest digits from its precision up to 12 that read back exactly.
  /// Throws "Map has no interval axes in TARCGISFileTools::WriteARCGISFile" or "Axis has an
  /// unfilled slot in TARCGISFileTools::WriteARCGISFile" when a corner is missing, and the
  /// failures of TMapTools::WriteFlatFile, before writing anything.
  static void WriteARCGISFile(const TMap* PtrMap, std::ostream& Output);

  /// Writes the map as a grid to the named file. An existing regular file is replaced only once
  /// everything is written; other targets (devices, pipes) are written in place.
  /// Throws "Unable to open file " followed by the name when the file cannot be created, and
  /// "Unable to write file " followed by the name when writing fails, both as std::string; after
  /// a failure an earlier regular file keeps its content. The checks of the stream form run
  /// before the file is touched.
  static void WriteARCGISFile(const TMap* PtrMap, std::string StgFileName);

  /// Loads every named grid file, in order; the caller owns the maps.
  /// Throws the failures of LoadARCGISFile for the first file that fails; the maps already
  /// loaded are released and no list is returned.
  [[nodiscard]] static std::vector<TMap*> LoadFileList(std::vector<std::string> VecFileNames);

  /// Writes map i to file name i, in order.
  /// Throws "Size of map list and filename list do not match in TARCGISFileTools::WriteFileList"
  /// before writing anything when the lists differ in length, then the failures of
  /// WriteARCGISFile for the first file that fails; the files written before it stay.
  static void WriteFileList(std::vector<TMap*> VecMaps, std::vector<std::string> VecFileNames);
};

#endif  // IO_TARCGISFILETOOLS_H
