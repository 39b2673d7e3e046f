// io/GridWriter.h - the grid writer inside the library: the six header lines, and rows of cells
// formatted in blocks on several threads and written in order. io/GridWriter.cpp holds them;
// TARCGISFileTools::WriteARCGISFile, TMapTools::WriteFlatFile and the tessgrid command use them.
#ifndef IO_GRIDWRITER_H
#define IO_GRIDWRITER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>

#include "io/BlockWriter.h"

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
  /// Prepares to write rows of LngColumns cells to the stream, on LngThreads threads as
  /// WriteRows would.
  TRowWriter(std::ostream& Output, std::size_t LngColumns, char ChrSeparator, long LngThreads);
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
  std::unique_ptr<TBlockWriter> MbrPtrWriter;  ///< the one writer, or null
  std::unique_ptr<TPipeline> MbrPtrPipeline;   ///< the threaded writer, or null
};

/// Writes LngRows rows of LngColumns cells, RowAt(r) holding row r, north to south: each value
/// in the stream's number format followed by the separator, each row ended by a line end and a
/// flush. With LngThreads above 1 (and a stream in the default format with a precision of 6 to
/// 12) the cells are formatted in blocks on that many threads and written in order from the
/// caller's thread; the text and the flush after each row are the same for every count. Writes
/// nothing more once the stream has failed; the stream's state tells the caller.
void WriteRows(std::ostream& Output, const TRowAt& RowAt, std::size_t LngRows,
               std::size_t LngColumns, char ChrSeparator, long LngThreads);

}  // namespace tessgrid::detail

#endif  // IO_GRIDWRITER_H
