// io/GridWriter.cpp - the header lines, and the rows: one writer on the caller's thread, or
// blocks of cells formatted by several threads into a ring of slots and written in order; and
// whole grids of a map, under its own header or a given one.
// The declarations and their contracts are in io/GridWriter.h.
#include "io/GridWriter.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

#include "io/GridReader.h"
#include "io/NumberText.h"
#include "io/Threads.h"
#include "model/Fail.h"
#include "model/TAxis.h"

namespace tessgrid::detail {

namespace {

// Cells per block of the threaded writer: at most about 1 MiB of text, enough to keep the
// locking rare and little enough to keep a few blocks per thread in memory.
constexpr std::size_t kLngBlockCells = (std::size_t{1} << 20) / (kLngNumberChars + 2);

// Blocks in flight per thread: one being formatted, one formatted and waiting to be written.
constexpr std::size_t kLngSlotsPerThread = 2;

// The text of one block of cells and the ends of the rows that end in it.
struct TSlot {
  std::unique_ptr<char[]> PtrText;
  std::size_t LngLength = 0;
  std::vector<std::size_t> VecRowEnds;
  bool BlnReady = false;  ///< formatted and not yet written
};

}  // namespace

// Blocks of kLngBlockCells cells, counted through the rows of one Run row by row, formatted by
// any thread into slot (block mod slots) and written by the caller's thread in block order. A
// block is taken for formatting only once the block that last used its slot is written. The
// threads wait between runs, so that rows handed over in many runs start no threads each.
class TRowWriter::TPipeline {
 public:
  TPipeline(std::ostream& Output, std::size_t LngColumns, char ChrSeparator, long LngThreads,
            int LngMaxDigits, bool BlnNaNNoData)
      : MbrOutput(Output),
        MbrLngColumns(LngColumns),
        MbrChrSeparator(ChrSeparator),
        MbrBlnNaNNoData(BlnNaNNoData),
        MbrFormat(NumberFormatOf(Output, LngMaxDigits)),
        MbrVecSlots(static_cast<std::size_t>(LngThreads) * kLngSlotsPerThread) {
    for (TSlot& Slot : MbrVecSlots) {
      // Each cell takes its number, a mark after a whole one, and the separator, and may begin
      // and end a row.
      Slot.PtrText.reset(new char[kLngBlockCells * (kLngNumberChars + 5)]);
      Slot.VecRowEnds.reserve(kLngBlockCells);
    }
    // Last: nothing after it can fail and leave the threads without a destructor to stop them.
    MbrThreads.Start(LngThreads - 1, [this](long) { Serve(); });
  }
  ~TPipeline() {
    {
      const std::lock_guard<std::mutex> Lock(MbrMutex);
      MbrBlnStop = true;
    }
    MbrSlotFree.notify_all();
    MbrThreads.Join();
  }
  TPipeline(const TPipeline&) = delete;
  TPipeline& operator=(const TPipeline&) = delete;

  void Run(const TRowAt& RowAt, std::size_t LngRows) {
    {
      const std::lock_guard<std::mutex> Lock(MbrMutex);
      if (MbrBlnStop) {
        return;
      }
      // Every block of the run before is written, so every slot is free.
      MbrPtrRowAt = &RowAt;
      MbrLngCells = LngRows * MbrLngColumns;
      MbrLngBlocks = (MbrLngCells + kLngBlockCells - 1) / kLngBlockCells;
      MbrLngNext = 0;
      MbrLngWritten = 0;
    }
    MbrSlotFree.notify_all();
    for (std::size_t LngBlock = 0; LngBlock < MbrLngBlocks; ++LngBlock) {
      TSlot& Slot = SlotOf(LngBlock);
      {
        std::unique_lock<std::mutex> Lock(MbrMutex);
        // While its block is not ready, the writing thread formats blocks itself.
        while (!Slot.BlnReady) {
          if (MayTake()) {
            FormatNext(Lock);
          } else {
            MbrBlockReady.wait(Lock);
          }
        }
      }
      const bool BlnGood = Write(Slot);
      {
        const std::lock_guard<std::mutex> Lock(MbrMutex);
        Slot.BlnReady = false;
        MbrLngWritten = LngBlock + 1;
        MbrBlnStop = !BlnGood;
      }
      MbrSlotFree.notify_all();
      if (!BlnGood) {
        // A block a thread still formats is dropped: its slot is never written.
        std::unique_lock<std::mutex> Lock(MbrMutex);
        MbrBlockReady.wait(Lock, [this] { return MbrLngFormatting == 0; });
        return;
      }
    }
  }

 private:
  TSlot& SlotOf(std::size_t LngBlock) { return MbrVecSlots[LngBlock % MbrVecSlots.size()]; }

  // True when another block may be formatted: one is left and its slot is free.
  bool MayTake() const {
    return !MbrBlnStop && MbrLngNext < MbrLngBlocks &&
           MbrLngNext < MbrLngWritten + MbrVecSlots.size();
  }

  // Takes the next block and formats it outside the lock.
  void FormatNext(std::unique_lock<std::mutex>& Lock) {
    const std::size_t LngBlock = MbrLngNext++;
    TSlot& Slot = SlotOf(LngBlock);
    ++MbrLngFormatting;
    Lock.unlock();
    Format(LngBlock, Slot);
    Lock.lock();
    --MbrLngFormatting;
    Slot.BlnReady = true;
  }

  void Serve() {
    std::unique_lock<std::mutex> Lock(MbrMutex);
    for (;;) {
      MbrSlotFree.wait(Lock, [this] { return MbrBlnStop || MayTake(); });
      if (MbrBlnStop) {
        return;
      }
      FormatNext(Lock);
      MbrBlockReady.notify_all();
    }
  }

  void Format(std::size_t LngBlock, TSlot& Slot) const {
    const TPlainDecimals Plain = PlainDecimalsOf(MbrFormat);
    std::size_t LngCell = LngBlock * kLngBlockCells;
    const std::size_t LngLast = std::min(MbrLngCells, LngCell + kLngBlockCells);
    char* const PtrStart = Slot.PtrText.get();
    char* PtrNext = PtrStart;
    Slot.VecRowEnds.clear();
    // Divided out once, then counted: a thin grid ends a row at every cell.
    std::size_t LngRow = LngCell / MbrLngColumns;
    std::size_t LngColumn = LngCell % MbrLngColumns;
    while (LngCell < LngLast) {
      const std::size_t LngCount = std::min(MbrLngColumns - LngColumn, LngLast - LngCell);
      const double* PtrValue = (*MbrPtrRowAt)(LngRow) + LngColumn;
      if (MbrBlnNaNNoData && LngColumn == 0) {
        *PtrNext++ = ' ';
      }
      for (const double* const PtrStop = PtrValue + LngCount; PtrValue != PtrStop; ++PtrValue) {
        const std::size_t LngLength =
            FormatCell(PtrNext, kLngNumberChars, *PtrValue, MbrFormat, Plain);
        PtrNext += MbrBlnNaNNoData ? MarkWholeNumber(PtrNext, LngLength) : LngLength;
        *PtrNext++ = MbrChrSeparator;
      }
      LngCell += LngCount;
      LngColumn += LngCount;
      if (LngColumn == MbrLngColumns) {
        *PtrNext++ = '\n';
        Slot.VecRowEnds.push_back(static_cast<std::size_t>(PtrNext - PtrStart));
        ++LngRow;
        LngColumn = 0;
      }
    }
    Slot.LngLength = static_cast<std::size_t>(PtrNext - PtrStart);
  }

  // Writes the block's text, with a flush after each row it ends; false once the stream failed.
  // The stream buffer is called directly, under one sentry for the block: a row of one cell
  // would otherwise cost two sentries for a few bytes. Its failures fail the stream as the
  // stream's own write and flush would.
  bool Write(const TSlot& Slot) {
    const std::ostream::sentry Sentry(MbrOutput);
    if (!Sentry) {
      return false;
    }
    std::streambuf* const PtrBuffer = MbrOutput.rdbuf();
    const char* const PtrText = Slot.PtrText.get();
    std::size_t LngDone = 0;
    for (const std::size_t LngEnd : Slot.VecRowEnds) {
      const std::streamsize LngCount = static_cast<std::streamsize>(LngEnd - LngDone);
      if (PtrBuffer->sputn(PtrText + LngDone, LngCount) != LngCount || PtrBuffer->pubsync() == -1) {
        MbrOutput.setstate(std::ios_base::badbit);
        return false;
      }
      LngDone = LngEnd;
    }
    const std::streamsize LngRest = static_cast<std::streamsize>(Slot.LngLength - LngDone);
    if (LngRest > 0 && PtrBuffer->sputn(PtrText + LngDone, LngRest) != LngRest) {
      MbrOutput.setstate(std::ios_base::badbit);
      return false;
    }
    return true;
  }

  std::ostream& MbrOutput;
  const std::size_t MbrLngColumns;
  const char MbrChrSeparator;
  const bool MbrBlnNaNNoData;  ///< the grid declares nan: rows begin with a blank, whole cells
                               ///< end in ".0"
  const TNumberFormat MbrFormat;
  std::vector<TSlot> MbrVecSlots;
  std::mutex MbrMutex;
  std::condition_variable MbrBlockReady;  ///< a block was formatted
  std::condition_variable MbrSlotFree;    ///< a block was written, a run began, or the end
  const TRowAt* MbrPtrRowAt = nullptr;    ///< the rows of the current run
  std::size_t MbrLngCells = 0;            ///< cells of the current run
  std::size_t MbrLngBlocks = 0;           ///< blocks of the current run
  std::size_t MbrLngNext = 0;             ///< next block to format
  std::size_t MbrLngWritten = 0;          ///< blocks written
  std::size_t MbrLngFormatting = 0;       ///< blocks being formatted outside the lock
  bool MbrBlnStop = false;                ///< the end, or the stream failed
  TThreadGroup MbrThreads;                ///< last: started when the rest is set, joined first
};

TRowWriter::TRowWriter(std::ostream& Output, std::size_t LngColumns, char ChrSeparator,
                       long LngThreads, int LngMaxDigits, bool BlnNaNNoData)
    : MbrOutput(Output),
      MbrLngColumns(LngColumns),
      MbrChrSeparator(ChrSeparator),
      MbrBlnNaNNoData(BlnNaNNoData) {
  // Rows without cells, and formats whose numbers can be long, take the one writer.
  if (LngThreads <= 1 || LngColumns == 0 ||
      !FitsNumberChars(NumberFormatOf(Output, LngMaxDigits))) {
    MbrPtrWriter = std::make_unique<TBlockWriter>(Output, LngMaxDigits);
  } else {
    MbrPtrPipeline = std::make_unique<TPipeline>(Output, LngColumns, ChrSeparator, LngThreads,
                                                 LngMaxDigits, BlnNaNNoData);
  }
}

TRowWriter::~TRowWriter() = default;

void TRowWriter::Write(const TRowAt& RowAt, std::size_t LngRows) {
  if (MbrPtrPipeline) {
    MbrPtrPipeline->Run(RowAt, LngRows);
    return;
  }
  TBlockWriter& Writer = *MbrPtrWriter;
  for (std::size_t LngRow = 0; LngRow < LngRows && Writer.Good(); ++LngRow) {
    const double* PtrCell = RowAt(LngRow);
    const double* const PtrStop = PtrCell + MbrLngColumns;
    if (MbrBlnNaNNoData) {
      Writer.PutChar(' ');
    }
    for (; PtrCell != PtrStop; ++PtrCell) {
      if (MbrBlnNaNNoData) {
        Writer.PutMarkedNumber(*PtrCell);
      } else {
        Writer.PutNumber(*PtrCell);
      }
      Writer.PutChar(MbrChrSeparator);
    }
    // One flush per row rather than per value: the text is the same, the calls are few.
    Writer.EndRow();
  }
}

void TRowWriter::Finish() {
  if (MbrPtrWriter) {
    MbrPtrWriter->Finish();
  } else if (MbrOutput.good()) {
    // The single writer's last flush, so that the calls on the stream are the same too.
    MbrOutput.flush();
  }
}

void PutGridHeader(TBlockWriter& Writer, long LngColumns, long LngRows, double DblWest,
                   double DblSouth, double DblCellSize, double DblNoData) {
  Writer.PutText("ncols ");
  Writer.PutInteger(LngColumns);
  Writer.PutText("\nnrows ");
  Writer.PutInteger(LngRows);
  Writer.PutText("\nxllcorner ");
  Writer.PutPadded(DblWest, 8);
  Writer.PutText("\nyllcorner ");
  Writer.PutPadded(DblSouth, 8);
  Writer.PutText("\ncellsize ");
  Writer.PutNumber(DblCellSize);
  Writer.PutText("\nNODATA_value ");
  Writer.PutNumber(DblNoData);
  Writer.EndRow();
}

void WriteRows(std::ostream& Output, const TRowAt& RowAt, std::size_t LngRows,
               std::size_t LngColumns, char ChrSeparator, long LngThreads, int LngMaxDigits,
               bool BlnNaNNoData) {
  TRowWriter Writer(Output, LngColumns, ChrSeparator, LngThreads, LngMaxDigits, BlnNaNNoData);
  Writer.Write(RowAt, LngRows);
  Writer.Finish();
}

TGridLayout GridLayoutOf(const TMap& Map) {
  if (Map.MbrPtrXAxisInterval == nullptr || Map.MbrPtrYAxisInterval == nullptr) {
    Fail("Map has no interval axes in TARCGISFileTools::WriteARCGISFile");
  }
  const TPoint* const PtrWest = Map.MbrPtrXAxisInterval->GetPoint(0);
  const TPoint* const PtrLast = Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim);
  if (PtrWest == nullptr || PtrLast == nullptr) {
    Fail("Axis has an unfilled slot in TARCGISFileTools::WriteARCGISFile");
  }
  // A missing first Y edge leaves the last one, which a read map's corner is anyway.
  const TPoint* const PtrFirst = Map.MbrPtrYAxisInterval->GetPoint(0);
  TGridLayout Layout;
  Layout.LngColumns = Map.MbrLngXDim;
  Layout.LngRows = Map.MbrLngYDim;
  Layout.DblWest = PtrWest->MbrDblX;
  Layout.DblSouth = PtrFirst == nullptr
                        ? PtrLast->MbrDblY
                        : SouthernEdge(PtrFirst->MbrDblY, PtrLast->MbrDblY, Map.MbrDblResolution);
  Layout.DblCellSize = Map.MbrDblResolution;
  Layout.DblNoData = Map.MbrDblNoDataValue;
  Layout.IntDigits = 0;
  return Layout;
}

void WriteGridWithLayout(const TMap& Map, const TGridLayout& Layout, std::ostream& Output) {
  if (Layout.IntDigits != 0 && (Layout.IntDigits < 6 || Layout.IntDigits > 17)) {
    Fail("Grid layout digits must be 0 or from 6 to 17 in WriteGridWithLayout");
  }
  if (Layout.LngColumns != Map.MbrLngXDim) {
    Fail("Grid layout has " + std::to_string(Layout.LngColumns) + " columns but the map has " +
         std::to_string(Map.MbrLngXDim) + " in WriteGridWithLayout");
  }
  if (Layout.LngRows != Map.MbrLngYDim) {
    Fail("Grid layout has " + std::to_string(Layout.LngRows) + " rows but the map has " +
         std::to_string(Map.MbrLngYDim) + " in WriteGridWithLayout");
  }
  if (!RowsHoldGrid(Map)) {
    Fail("Map rows do not match its dimensions in WriteGridWithLayout");
  }
  const int LngMaxDigits = Layout.IntDigits == 0 ? kLngRuleDigits : Layout.IntDigits;
  {
    TBlockWriter Writer(Output, LngMaxDigits);
    PutGridHeader(Writer, Layout.LngColumns, Layout.LngRows, Layout.DblWest, Layout.DblSouth,
                  Layout.DblCellSize, Layout.DblNoData);
  }
  const std::size_t LngColumns = static_cast<std::size_t>(Map.MbrLngXDim > 0 ? Map.MbrLngXDim : 0);
  const std::size_t LngRows = static_cast<std::size_t>(Map.MbrLngYDim > 0 ? Map.MbrLngYDim : 0);
  WriteRows(
      Output, [&Map](std::size_t LngRow) { return Map.MbrVecValues[LngRow].data(); }, LngRows,
      LngColumns, ' ', ThreadCount(), LngMaxDigits, Layout.BlnNaNNoData);
}

}  // namespace tessgrid::detail
