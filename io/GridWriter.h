// io/GridWriter.h - the grid writer inside the library: the six header lines, rows of cells
// formatted in blocks on several threads and written in order, and whole grids of a map under a
// given header. io/GridWriter.cpp holds them; TARCGISFileTools::WriteARCGISFile,
// TMapTools::WriteFlatFile and the commands use them.
#ifndef IO_GRIDWRITER_H
#define IO_GRIDWRITER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>

#include "io/BlockWriter.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// Returns the corner a grid file states for Y edges whose ends are DblFirst (edge 0) and DblLast
/// (the last edge): the end from which the reader steps by the cell size towards the first row.
/// On a map read from a file that is the last edge; a one-row map made from its centre (the
/// result of any operation on it) has its edges the other way round, and taking the last edge
/// there would move it a cell. With a positive cell size the corner is the lower end, with a
/// negative one (which the reader accepts) the upper end.
inline double SouthernEdge(double DblFirst, double DblLast, double DblCellSize) {
  const double DblLower = DblFirst < DblLast ? DblFirst : DblLast;
  const double DblUpper = DblFirst < DblLast ? DblLast : DblFirst;
  return DblCellSize < 0 ? DblUpper : DblLower;
}

/// Writes the six header lines of a grid file: ncols, nrows, the western and southern edges as
/// xllcorner and yllcorner (each padded to 8 characters), cellsize and NODATA_value, each line
/// ended and flushed.
void PutGridHeader(TBlockWriter& Writer, long LngColumns, long LngRows, double DblWest,
                   double DblSouth, double DblCellSize, double DblNoData);

/// Returns the cells of row r, west to east; called from any of the writer's threads.
using TRowAt = std::function<const double*(std::size_t)>;

/// Writes rows of cells handed over in runs, as WriteRows writes them all at once: the text, and
/// the flush after each row, are those of one WriteRows call over all the rows of all the runs.
/// The threads of a writer serve all its runs.
class TRowWriter {
 public:
  /// Prepares to write rows of LngColumns cells to the stream, on LngThreads threads and with
  /// the digit cap as WriteRows would.
  TRowWriter(std::ostream& Output, std::size_t LngColumns, char ChrSeparator, long LngThreads,
             int LngMaxDigits = kLngRuleDigits, bool BlnNaNNoData = false);
  ~TRowWriter();
  TRowWriter(const TRowWriter&) = delete;
  TRowWriter& operator=(const TRowWriter&) = delete;

  /// Writes LngRows rows after those written so far, RowAt(k) holding the k-th of them, and
  /// returns once they are written and no thread reads them any more. Writes nothing more once
  /// the stream has failed.
  void Write(const TRowAt& RowAt, std::size_t LngRows);

  /// Ends the rows as WriteRows ends them.
  void Finish();

 private:
  class TPipeline;

  std::ostream& MbrOutput;
  std::size_t MbrLngColumns;
  char MbrChrSeparator;
  bool MbrBlnNaNNoData;                        ///< the grid declares nan (see WriteRows)
  std::unique_ptr<TBlockWriter> MbrPtrWriter;  ///< the one writer, or null
  std::unique_ptr<TPipeline> MbrPtrPipeline;   ///< the threaded writer, or null
};

/// Writes LngRows rows of LngColumns cells, RowAt(r) holding row r, north to south: each value
/// in the stream's number format, taking at most LngMaxDigits digits by the rule (see
/// FormatNumber), followed by the separator, each row ended by a line end and a flush. With
/// BlnNaNNoData, for a grid that declares nan, each row begins with a blank, so that readers
/// that take a line starting with a letter for a header line also read a row that starts with
/// nan, and each whole number ends in ".0" (see MarkWholeNumber), so that readers that type a
/// grid by its cells read nan as its no-data value. With
/// LngThreads above 1 (and a stream in the default format with a precision of 6 to 12) the
/// cells are formatted in blocks on that many threads and written in order from the caller's
/// thread; the text and the flush after each row are the same for every count. Writes nothing
/// more once the stream has failed; the stream's state tells the caller.
void WriteRows(std::ostream& Output, const TRowAt& RowAt, std::size_t LngRows,
               std::size_t LngColumns, char ChrSeparator, long LngThreads,
               int LngMaxDigits = kLngRuleDigits, bool BlnNaNNoData = false);

/// The header of a grid file as it is to be written, and the digits of its reals. The values
/// are written as they stand, so that a corner read from a file goes out unchanged however the
/// map's axes were rebuilt in between.
struct TGridLayout {
  long LngColumns;     ///< ncols; equals the map's MbrLngXDim
  long LngRows;        ///< nrows; equals the map's MbrLngYDim
  double DblWest;      ///< xllcorner
  double DblSouth;     ///< yllcorner
  double DblCellSize;  ///< cellsize
  double DblNoData;    ///< NODATA_value; NaN is written "nan", which the reader takes
  int IntDigits = 0;   ///< most significant digits of every real, 6 to 17 (17 reads back every
                       ///< double); 0 for the rule's 12
  bool BlnNaNNoData = false;  ///< the rows are those of a grid that declares nan (see
                              ///< WriteRows): indented, whole numbers ending in ".0"
};

/// Returns the layout WriteARCGISFile writes for the map: its dimensions, the first X edge as
/// the western corner, the southern end of the Y edges (see SouthernEdge), its resolution and
/// no-data value, and the rule's digits.
/// Throws "Map has no interval axes in TARCGISFileTools::WriteARCGISFile" or "Axis has an
/// unfilled slot in TARCGISFileTools::WriteARCGISFile" when a corner is missing.
TGridLayout GridLayoutOf(const TMap& Map);

/// Writes the map as a grid to the stream under the layout: the six header lines with the
/// layout's values, then the map's rows through WriteRows on ThreadCount() threads, every real
/// of the header and the cells taking the layout's digits. Writes nothing more once the stream
/// has failed; the stream's state tells the caller.
/// Throws, before writing anything and in this order: "Grid layout digits must be 0 or from 6
/// to 17 in WriteGridWithLayout"; as std::string "Grid layout has <n> columns but the map has
/// <m> in WriteGridWithLayout" and "Grid layout has <n> rows but the map has <m> in
/// WriteGridWithLayout"; "Map rows do not match its dimensions in WriteGridWithLayout" when the
/// map's rows hold fewer cells than its dimensions say.
void WriteGridWithLayout(const TMap& Map, const TGridLayout& Layout, std::ostream& Output);

}  // namespace tessgrid::detail

#endif  // IO_GRIDWRITER_H
