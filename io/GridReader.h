// io/GridReader.h - the grid reader inside the library: cells placed where the caller says,
// parsed in chunks on several threads, and the edges the reader gives a map.
// io/GridReader.cpp holds them; TARCGISFileTools::LoadARCGISFile is built on LoadGridFile and
// ReadGrid.
#ifndef IO_GRIDREADER_H
#define IO_GRIDREADER_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "io/GridHeader.h"
#include "io/GridSource.h"
#include "io/TARCGISFileTools.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// Where the reader puts the cells of one grid. Cell (column c, row r) goes to Row(r)[c].
class TGridStorage {
 public:
  virtual ~TGridStorage() = default;
  /// Receives the checked header before any Row call, and only once the input has shown that
  /// it can hold the cells the header claims (a header that claims more than a file holds
  /// costs no storage).
  virtual void Prepare(const TGridHeader& Header) = 0;
  /// Returns room for the LngColumns values of the row. Called at most once per row, only for
  /// rows that receive cells, from any of the reader's threads, for different rows at once.
  virtual double* Row(long LngRow) = 0;
  /// Called on the reader's calling thread whenever the first LngCells cells are all in place:
  /// after each block, and at the end. Rows they complete are never written again; a row they
  /// begin keeps being filled through the room Row gave it. Between two calls the reader places
  /// cells in at most 2 + MaxBlockCells(Options) / LngColumns rows. Does nothing unless a
  /// storage that hands rows on as they complete overrides it.
  virtual void CellsPlaced(std::size_t LngCells) { static_cast<void>(LngCells); }
};

/// Input bytes per part of the chunked parse; a block holds a few parts per thread.
constexpr std::size_t kLngDefaultChunkBytes = std::size_t{1} << 19;

/// How the cells are parsed; the result is the same for every choice.
struct TReadOptions {
  long LngThreads = 1;                                ///< 1 parses on the caller's thread only
  std::size_t LngChunkBytes = kLngDefaultChunkBytes;  ///< at least 1
};

/// Returns the most cells that the reader places between two calls of TGridStorage::CellsPlaced
/// with the options: a block of input holds no more, every cell taking a byte and a separator.
std::size_t MaxBlockCells(const TReadOptions& Options);

/// Reads a grid from the source with the header rule: the header, then ncols x nrows cells to
/// the storage, in chunks cut at white space and parsed on Options.LngThreads threads. Returns
/// the header. A failure is the one a reading from the first cell to the last meets first.
/// Memory follows the input, never the claim: an input of unknown size keeps its cells in
/// segments that grow as they arrive until the last one is read, and one known to be too short
/// for its claim (HoldsClaim) keeps none, so it fails with what it holds, in a block's memory.
/// Throws the reader's messages (see TARCGISFileTools::LoadARCGISFile) and the source's.
TGridHeader ReadGrid(TGridSource& Source, TGridHeaderMode Mode, TGridStorage& Storage,
                     const TReadOptions& Options);

/// Returns whether the source is known to hold the cells its header claims, the header having
/// just been read by ReadGridHeader (with StgFirstCell, what it returned): its size is known, and
/// the bytes left give every cell a byte and all but the last a separator. A false answer also
/// stands for an input whose size cannot be told. Reads nothing.
bool HoldsClaim(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell);

class TCellReader;

/// The cells of a grid read a block at a time at the caller's pace, as ReadGridCells reads them
/// all: the storage is prepared and told of the cells placed just as there, so that callers can
/// read several grids in step, each through a small ring of rows.
class TCellScanner {
 public:
  /// Prepares to read the cells of a grid whose header ReadGridHeader has just read from the
  /// source (with StgFirstCell, what it returned); prepares the storage when the source is known
  /// to hold the claim (see HoldsClaim). Throws the source's failures.
  TCellScanner(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell,
               TGridStorage& Storage, const TReadOptions& Options);
  ~TCellScanner();
  TCellScanner(const TCellScanner&) = delete;
  TCellScanner& operator=(const TCellScanner&) = delete;

  /// Reads one block of input and places its cells, then calls the storage's CellsPlaced.
  /// Returns false once the last cell is in place (the call that placed it included), and does
  /// nothing then. An input whose size is unknown places its cells only with its last block.
  /// Throws the reader's cell messages and the source's, as ReadGridCells would meet them.
  bool Step();

 private:
  std::unique_ptr<TCellReader> MbrPtrReader;  ///< the reader and its block
};

/// Reads the cells of a grid whose header ReadGridHeader has just read from the source (with
/// StgFirstCell, what it returned), as ReadGrid reads them.
/// Throws the reader's cell messages and the source's.
void ReadGridCells(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell,
                   TGridStorage& Storage, const TReadOptions& Options);

/// Reads the named grid file with the header rule into the storage; returns the header.
/// Throws "Unable to open file " or "Unable to read file " followed by the name, as
/// std::string, and the failures of ReadGrid.
TGridHeader LoadGridFile(const std::string& StgFileName, TGridHeaderMode Mode,
                         TGridStorage& Storage, const TReadOptions& Options);

/// Returns the map of a grid read with the header: its cell size, dimensions and no-data value,
/// the rows taken over from VecRows (which must hold them all), and the reader's edges.
std::unique_ptr<TMap> MapOfGrid(const TGridHeader& Header,
                                std::vector<std::vector<double>>& VecRows);

/// Gives the map the edge axes of a grid whose south-western corner is (DblXll, DblYll):
/// running sums of the cell size northwards and then eastwards, so the southern and western
/// edges are exactly the corner, with the centre axes derived from them as
/// TMap::SetXAxisInterval derives them. The map's earlier axes are released.
void SetReaderEdges(TMap& Map, double DblXll, double DblYll, double DblCellSize);

}  // namespace tessgrid::detail

#endif  // IO_GRIDREADER_H
