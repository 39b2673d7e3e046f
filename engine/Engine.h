// engine/Engine.h - the streaming engine's face to the commands: grid files in, combined cell by
// cell, a grid file out, read and written in row blocks on every thread. engine/*.cpp hold it.
#ifndef ENGINE_ENGINE_H
#define ENGINE_ENGINE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "io/GridHeader.h"

/// Loads both input grids, combines them with the operation the character selects ('+' Add,
/// '-' Subtract, 'x' Multiply, '/' Divide; first input first) and writes the result, exactly as
/// TARCGISFileTools::LoadARCGISFile, the TMapTools operation and
/// TARCGISFileTools::WriteARCGISFile would, on TESSGRID_THREADS threads (see
/// tessgrid::detail::ThreadCount). Releases all it claimed, on every path.
/// Throws the failures of the grid reader (first input, then second), then "Unknown operation"
/// for any other character, then the failures of the operation and of the grid writer.
void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation);

namespace tessgrid::detail {

/// What a series stream (TSeriesStream) does with the rows of its inputs: rows are counted from
/// the north, cells from the west, and every input has the same number of each.
class TSeriesCombiner {
 public:
  virtual ~TSeriesCombiner() = default;

  /// Takes row LngRow of input LngInput as soon as it is read, before any CombineRow reads it:
  /// may check it and change its cells in place. Called from any of the stream's threads, for
  /// different rows and inputs at once. A throw is a failure of that input, which ranks after
  /// the failures its reader meets anywhere in it; of its throws, the one of the first row counts.
  virtual void TakeRow(std::size_t LngInput, std::size_t LngRow, double* PtrCells) = 0;

  /// Computes row LngRow of the result to PtrOut from PtrRows[i], row LngRow of input i. Called
  /// on worker LngWorker (0 to the stream's thread count - 1; a worker runs one call at a time)
  /// for different rows at once. A throw ends the writing; the throw of the first row counts.
  virtual void CombineRow(long LngWorker, std::size_t LngRow, const double* const* PtrRows,
                          double* PtrOut) = 0;

  /// Returns whether TakeRow is to take the rows of the input. Where not, and its source keeps
  /// its rows in place (TRowSource::RowInPlace), CombineRow reads them where they lie, and no
  /// copy of them is made.
  virtual bool TakesRowsOf(std::size_t LngInput) const {
    static_cast<void>(LngInput);
    return true;
  }

  /// Returns how many results each row of the inputs gives: CombineRow writes that many rows of
  /// the result side by side, one after the other from PtrOut, and the sink takes them as one
  /// row that many times as wide. Called once, when the run begins.
  virtual std::size_t ResultsPerRow() const { return 1; }

  /// Learns, on the stream's own thread, that the first LngRows rows of the result are combined
  /// and handed to the writing; called once for each block of rows.
  virtual void RowsCombined(std::size_t LngRows) { static_cast<void>(LngRows); }
};

/// A grid read by another reader than tessgrid's own (a raster of another format): its header,
/// and its rows a window at a time.
class TRowSource {
 public:
  virtual ~TRowSource() = default;

  /// Returns the grid's header; its no-data value is the one the grid declares.
  virtual const TGridHeader& Header() const = 0;

  /// Returns row LngRow where the source keeps it, for a reader that only reads it, or null
  /// when it has to be read through ReadRows. A source that keeps one row keeps them all, and
  /// they stay where they are as long as the source does.
  virtual const double* RowInPlace(long LngRow) const {
    static_cast<void>(LngRow);
    return nullptr;
  }

  /// Returns the rows a window holds best: windows that start at multiples of it and hold as
  /// many rows (the last one fewer) decode what the grid stores once. Windows of other sizes
  /// come in order too, each starting where the one before ended.
  virtual long WindowRows() const = 0;

  /// Reads rows [LngFirst, LngFirst + LngCount), north to south, row LngFirst + k to RowAt(k),
  /// each Header().LngColumns doubles. Called for windows in order, one call at a time.
  /// Throws its failures.
  virtual void ReadRows(long LngFirst, long LngCount,
                        const std::function<double*(long)>& RowAt) = 0;
};

/// Returns the row source of a grid file another reader reads, or null for tessgrid's own
/// reader. Throws the failure of opening the file.
using TRowSourceOpener = std::function<std::unique_ptr<TRowSource>(const std::string&)>;

/// Where a series stream's result rows go: handed over in row order, one call at a time.
class TRowSink {
 public:
  virtual ~TRowSink() = default;

  /// Takes the next LngRows rows of LngColumns cells, one after the other from PtrRows; they
  /// stay untouched only until the call returns. Throws its failures.
  virtual void Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) = 0;

  /// Returns where rows [LngFirst, LngFirst + LngRows) of the result, of LngColumns cells each,
  /// are to be combined, one row after the other, or null for memory of the stream's own. Rows
  /// combined there are handed to Write all the same, from there. Called on the stream's thread
  /// for the rows in order, before any of them is combined.
  virtual double* ResultRows(std::size_t LngFirst, std::size_t LngRows, std::size_t LngColumns) {
    static_cast<void>(LngFirst);
    static_cast<void>(LngRows);
    static_cast<void>(LngColumns);
    return nullptr;
  }
};

/// The sink of a writer that takes runs of rows as Write(RowAt, LngRows), RowAt(k) holding the
/// k-th of them: TRowWriter, TRasterRowWriter.
template <typename TWriter>
class TRunSink final : public TRowSink {
 public:
  explicit TRunSink(TWriter& Writer) : MbrWriter(Writer) {}

  void Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) override {
    MbrWriter.Write([PtrRows, LngColumns](std::size_t LngK) { return PtrRows + LngK * LngColumns; },
                    LngRows);
  }

 private:
  TWriter& MbrWriter;
};

/// Lets the process hold a descriptor for LngFiles files at once and a few more, as far as the
/// system allows: a series of a thousand grids is read with all of them open. Returns whether
/// the limit now allows them.
[[nodiscard]] bool AllowDescriptors(std::size_t LngFiles);

/// Any number of grid files that share one grid, read in step a block of rows at a time, each
/// into a small ring of rows; every block's rows are combined on every thread and written by
/// another thread while the next block is read. Memory is the rings and the blocks, about
/// a budget (kLngSeriesBudget) in all whatever the number of inputs, never the grids; an input
/// whose size cannot be told (a pipe) is held whole, in memory that grows as its cells arrive, and
/// a regular file too short for the cells its header claims is only read to its failure. Failures
/// come as a run that loads the inputs one after the other and then combines them meets them: the
/// first input that fails (its reader's failure, else its first TakeRow failure), then the first
/// row's CombineRow failure, then the writing's.
class TSeriesStream {
 public:
  /// Bytes the rings and blocks of all the inputs take together by default: each input has at
  /// least a few KiB and a few rows whatever the number of inputs.
  static constexpr std::size_t kLngSeriesBudget = std::size_t{16} << 20;

  /// Prepares to read the named grid files with the header rule on LngThreads threads (at
  /// least 1), the rings and blocks taking about LngBudget bytes. Opens nothing. With an opener,
  /// each file it returns a row source for is read through that source instead, in windows of
  /// the source's best rows while their rings take at most 16 times LngBudget in all, else fewer.
  TSeriesStream(std::vector<std::string> VecFiles, TGridHeaderMode Mode, long LngThreads,
                std::size_t LngBudget = kLngSeriesBudget, TRowSourceOpener Opener = {});
  ~TSeriesStream();
  TSeriesStream(const TSeriesStream&) = delete;
  TSeriesStream& operator=(const TSeriesStream&) = delete;

  /// Opens the inputs in order and reads their headers, up to the first that fails, whose
  /// failure Run reports in its place. Returns whether every header was read. Call it once.
  /// Where the open-file limit cannot hold every input open at once (AllowDescriptors), the
  /// files tessgrid's own reader reads are closed between their reads and opened again where
  /// they were left, at most one a thread at once.
  bool ReadHeaders();

  /// Returns the headers read, in input order.
  const std::vector<TGridHeader>& Headers() const;

  /// Returns whether an input whose header was read is a file known to be too short for the
  /// cells its header claims (see HoldsClaim), so that the run will fail: Run then writes
  /// nothing and sizes nothing by the claim, and callers can tell before they begin an output.
  bool FallsShort() const;

  /// Reads the cells of every input whose header was read, hands each row to the combiner, and
  /// with an output writes the result rows there, after whatever it holds (the caller writes the
  /// grid header first), each number taking at most IntMaxDigits digits by the rule and each
  /// row begun by a blank with BlnIndentRows, as TRowWriter writes them. Without an output, or
  /// once anything failed, the inputs are only read on to their ends, so that the failure
  /// reported is the first a run in input order meets. Call it once, after ReadHeaders.
  /// Throws that failure; "Inputs of a series stream differ in size" when an output is given
  /// for inputs of different sizes. For a combiner of one result per row.
  void Run(TSeriesCombiner& Combiner, std::ostream* PtrOutput, int IntMaxDigits,
           bool BlnIndentRows);

  /// Run with the result rows handed to the sink, from a thread of the stream's own, instead of
  /// written as text; without a sink the inputs are only read. The failures of the sink's Write
  /// rank as the writing's.
  void Run(TSeriesCombiner& Combiner, TRowSink* PtrSink);

  struct TState;

 private:
  std::unique_ptr<TState> MbrPtrState;  ///< the inputs and their readers; never null
};

}  // namespace tessgrid::detail

#endif  // ENGINE_ENGINE_H
