// io/GridHeader.h - TGridHeader and the two header rules of the grid reader.
// io/GridHeader.cpp reads them; io/GridReader.cpp reads the cells that follow.
#ifndef IO_GRIDHEADER_H
#define IO_GRIDHEADER_H

#include <cstddef>
#include <string>

#include "io/GridSource.h"
#include "io/TARCGISFileTools.h"

namespace tessgrid::detail {

/// The numbers of a grid header, checked: dimensions of 0 or more whose product fits a long, and
/// the south-western corner (a lenient header's cell centre already turned into it).
struct TGridHeader {
  long LngColumns = 0;         ///< ncols
  long LngRows = 0;            ///< nrows
  double DblXll = 0.0;         ///< western edge
  double DblYll = 0.0;         ///< southern edge
  double DblCellSize = 0.0;    ///< cellsize
  double DblNoData = -9999.0;  ///< NODATA_value, or -9999 when a lenient header has none
  bool BlnNoDataRead = true;   ///< false when a lenient header has no NODATA_value, so that a
                               ///< cell holding -9999 cannot pass for no-data
};

/// Longest header key or value, in bytes; a longer one fails at once.
constexpr std::size_t kLngMaxHeaderToken = 256;

/// Reads and checks the header. The strict rule reads what formatted stream extraction of the
/// six entries reads, byte for byte, and leaves the source right after the no-data value. The
/// lenient rule ends the header at the first token that does not begin with a letter; when
/// that token is a cell written as "nan" or "inf" it has been taken already and is returned in
/// StgFirstCell, otherwise StgFirstCell is empty.
/// Throws the reader's header messages (see TARCGISFileTools::LoadARCGISFile).
TGridHeader ReadGridHeader(TGridSource& Source, TGridHeaderMode Mode, std::string& StgFirstCell);

/// Checks the numbers of a grid held outside a file as the lenient header rule checks those it
/// reads, so that the grid's header, once written, reads back: finite corners, a finite cell
/// size above 0, edges within the range of double and the dimensions ReadGridHeader takes.
/// Throws, in this order, "File format error: invalid xllcorner in
/// TARCGISFileTools::LoadARCGISFile" (likewise yllcorner and cellsize), "File format error: grid
/// extent is not finite in TARCGISFileTools::LoadARCGISFile" and the dimension failures of
/// ReadGridHeader.
void CheckGridHeader(const TGridHeader& Header);

/// Returns the token for a failure line: at most 40 bytes, bytes that are not printable text as
/// \xNN, and "..." when it is longer.
std::string ShownToken(const char* PtrFirst, const char* PtrLast);

}  // namespace tessgrid::detail

#endif  // IO_GRIDHEADER_H
