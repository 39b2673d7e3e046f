// engine/StreamedOverlay.cpp - the base input through a ring of rows: handed on as the reader
// completes them, combined in place and written on a hand-over's thread while the reader goes on.
// The contract is in engine/StreamedOverlay.h.
#include "engine/StreamedOverlay.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "engine/OverlayPlan.h"
#include "engine/OverlayRun.h"
#include "io/BlockWriter.h"
#include "io/FlatGrid.h"
#include "io/GridReader.h"
#include "io/GridSource.h"
#include "io/GridWriter.h"
#include "io/LargeBlock.h"
#include "io/SafeReplace.h"
#include "io/Threads.h"

namespace tessgrid::detail {

namespace {

// Storage that keeps only the rows the reader may still write or hand on: row r in slot
// r mod slots. Between two calls of CellsPlaced the reader places cells in at most
// RowsPerBlock() rows; the ring holds that many for each of the blocks it spans: the block being
// read, and those whose rows are still to be handed on.
class TRowRing : public TGridStorage {
 public:
  TRowRing(std::size_t LngBlockCells, std::size_t LngBlocks)
      : MbrLngBlockCells(LngBlockCells), MbrLngBlocks(LngBlocks) {}

  void Prepare(const TGridHeader& Header) override {
    MbrLngColumns = static_cast<std::size_t>(Header.LngColumns);
    const std::size_t LngRows = static_cast<std::size_t>(Header.LngRows);
    MbrLngSlots = MbrLngColumns == 0 ? 0 : std::min(LngRows, MbrLngBlocks * RowsPerBlock());
    MbrBlock = TLargeBlock(MbrLngSlots * MbrLngColumns * sizeof(double));
  }

  double* Row(long LngRow) override {
    return Cells() + static_cast<std::size_t>(LngRow) % MbrLngSlots * MbrLngColumns;
  }

 protected:
  double* Cells() const { return static_cast<double*>(MbrBlock.Data()); }
  std::size_t Columns() const { return MbrLngColumns; }
  std::size_t Slots() const { return MbrLngSlots; }
  std::size_t RowsPerBlock() const { return 2 + MbrLngBlockCells / MbrLngColumns; }

 private:
  std::size_t MbrLngBlockCells;
  std::size_t MbrLngBlocks;
  std::size_t MbrLngColumns = 0;
  std::size_t MbrLngSlots = 0;
  TLargeBlock MbrBlock;
};

// Reads the cells of a grid whose header is read, keeping none: its failures, nothing else.
void ReadThrough(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell,
                 const TReadOptions& Options) {
  // Rows of the blocks before are never read again: one block's rows keep those that it fills
  // apart.
  TRowRing Ring(MaxBlockCells(Options), 1);
  ReadGridCells(Source, Header, StgFirstCell, Ring, Options);
}

// The base input's rows, combined with their partners and written as the reader completes them,
// by the writing thread of a hand-over while the reader reads on, or on the reader's thread
// when there is one thread. The reader waits only when the writing lags so far behind that the
// next block could fill a slot it has yet to write. A failure of the combination is kept until
// the end, and the rows after it are only read, so that a failure of the base input itself
// still comes first.
class TStreamedBase final : public TRowRing {
 public:
  TStreamedBase(TOverlayPlan& Plan, const double* PtrPartnerCells, std::ostream& Output,
                TRowWriter& Writer, std::size_t LngBlockCells, long LngThreads)
      : TRowRing(LngBlockCells, kLngBlocksBehind + 1),
        MbrPlan(Plan),
        MbrPtrPartnerCells(PtrPartnerCells),
        MbrOutput(Output),
        MbrWriter(Writer),
        MbrHandOver(kLngBlocksBehind, LngThreads > 1) {}

  void CellsPlaced(std::size_t LngCells) override {
    const std::size_t LngRows = LngCells / Columns();
    if (LngRows == MbrLngHanded) {
      return;
    }
    // Each hand-over holds the rows completed since the one before, at most RowsPerBlock():
    // while kLngBlocksBehind of them are not yet written, the next block fills only slots of
    // rows already written.
    const std::size_t LngFirst = MbrLngHanded;
    MbrLngHanded = LngRows;
    MbrHandOver.Hand([this, LngFirst, LngRows] { Consume(LngFirst, LngRows); });
  }

  // Waits until the rows handed on are written; throws the failure of the combination, if any.
  void Finish() { MbrHandOver.Finish(); }

 private:
  // Blocks of rows the writing may lag behind the reader.
  static constexpr std::size_t kLngBlocksBehind = 2;

  // Combines and writes rows [LngFirst, LngEnd). Once the output has failed nothing more is
  // worth writing; the safe replace reports it.
  void Consume(std::size_t LngFirst, std::size_t LngEnd) {
    if (!MbrOutput.good()) {
      return;
    }
    // A stretch of rows whose slots do not wrap round lies in one piece.
    for (std::size_t LngRow = LngFirst; LngRow < LngEnd;) {
      const std::size_t LngSlot = LngRow % Slots();
      const std::size_t LngCount = std::min(LngEnd - LngRow, Slots() - LngSlot);
      MbrPlan.Combine(LngRow, LngCount, Cells() + LngSlot * Columns(), MbrPtrPartnerCells);
      LngRow += LngCount;
    }
    MbrWriter.Write([this, LngFirst](std::size_t LngK) { return Row(LngFirst + LngK); },
                    LngEnd - LngFirst);
  }

  TOverlayPlan& MbrPlan;
  const double* MbrPtrPartnerCells;
  std::ostream& MbrOutput;
  TRowWriter& MbrWriter;
  std::size_t MbrLngHanded = 0;  ///< rows handed on, counted from the first
  THandOver MbrHandOver;         ///< last: its thread ends before the rest goes
};

}  // namespace

bool StreamOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                   const std::string& StgOutputFile, TArithmetic Operation, TGridHeaderMode Mode,
                   long LngThreads, std::size_t LngChunkBytes) {
  TReadOptions Options;
  Options.LngThreads = LngThreads;
  TFileSource Source1(StgInputFile1);
  std::string StgFirstCell1;
  const TGridHeader Header1 = ReadGridHeader(Source1, Mode, StgFirstCell1);
  std::unique_ptr<TFileSource> PtrSource2;
  std::string StgFirstCell2;
  TGridHeader Header2;
  try {
    PtrSource2 = std::make_unique<TFileSource>(StgInputFile2);
    Header2 = ReadGridHeader(*PtrSource2, Mode, StgFirstCell2);
  } catch (...) {
    // A single-threaded run reads the first input to its end before it opens the second.
    ReadThrough(Source1, Header1, StgFirstCell1, Options);
    throw;
  }
  const bool BlnSecondIsBase = SecondIsBase(Operation, Header1.DblCellSize, Header2.DblCellSize);
  TGridSource& BaseSource = BlnSecondIsBase ? static_cast<TGridSource&>(*PtrSource2) : Source1;
  // The plan, the ring and the row writer are sized by the base's header, before its cells are
  // read: only a base known to hold its claim streams. Any other is read whole first, in the
  // order of the inputs, into memory that follows what it holds.
  if (!OverlayComputes(Operation, Header1, Header2) ||
      !HoldsClaim(BaseSource, BlnSecondIsBase ? Header2 : Header1,
                  BlnSecondIsBase ? StgFirstCell2 : StgFirstCell1)) {
    TOverlayInput Input1;
    TOverlayInput Input2;
    Input1.Header = Header1;
    Input2.Header = Header2;
    ReadGridCells(Source1, Header1, StgFirstCell1, Input1.Grid, Options);
    ReadGridCells(*PtrSource2, Header2, StgFirstCell2, Input2.Grid, Options);
    return FinishOverlay(Operation, Input1, Input2, StgOutputFile, LngThreads);
  }

  TGridSource& PartnerSource = BlnSecondIsBase ? static_cast<TGridSource&>(Source1) : *PtrSource2;
  const TGridHeader& BaseHeader = BlnSecondIsBase ? Header2 : Header1;
  const TGridHeader& PartnerHeader = BlnSecondIsBase ? Header1 : Header2;
  const std::string& StgBaseFirst = BlnSecondIsBase ? StgFirstCell2 : StgFirstCell1;
  const std::string& StgPartnerFirst = BlnSecondIsBase ? StgFirstCell1 : StgFirstCell2;
  TReadOptions BaseOptions = Options;
  BaseOptions.LngChunkBytes = LngChunkBytes;

  TFlatGrid Partner;
  if (BlnSecondIsBase) {
    // The first input: nothing comes before its failures.
    ReadGridCells(PartnerSource, PartnerHeader, StgPartnerFirst, Partner, Options);
  }
  std::unique_ptr<TOverlayPlan> PtrPlan;
  try {
    if (!BlnSecondIsBase) {
      ReadGridCells(PartnerSource, PartnerHeader, StgPartnerFirst, Partner, Options);
    }
    CheckOperands(Operation, Header1.LngColumns, Header1.LngRows, Header1.DblCellSize,
                  Header2.LngColumns, Header2.LngRows, Header2.DblCellSize);
    PtrPlan = std::make_unique<TOverlayPlan>(Operation, Header1, Header2);
  } catch (...) {
    // The base input's own failures come before the second input's and the operation's.
    ReadThrough(BaseSource, BaseHeader, StgBaseFirst, BaseOptions);
    throw;
  }

  bool BlnWriting = false;
  try {
    WriteFileSafely(StgOutputFile, [&](std::ostream& Output) {
      BlnWriting = true;
      {
        TBlockWriter Writer(Output);
        PutGridHeader(Writer, BaseHeader.LngColumns, BaseHeader.LngRows, PtrPlan->West(),
                      PtrPlan->South(), BaseHeader.DblCellSize, BaseHeader.DblNoData);
      }
      TRowWriter Rows(Output, static_cast<std::size_t>(BaseHeader.LngColumns), ' ', LngThreads);
      TStreamedBase Storage(*PtrPlan, Partner.Cells(), Output, Rows, MaxBlockCells(BaseOptions),
                            LngThreads);
      ReadGridCells(BaseSource, BaseHeader, StgBaseFirst, Storage, BaseOptions);
      Storage.Finish();
      Rows.Finish();
    });
  } catch (...) {
    // The output could not be created: the inputs' failures come first.
    if (!BlnWriting) {
      ReadThrough(BaseSource, BaseHeader, StgBaseFirst, BaseOptions);
    }
    throw;
  }
  return BlnSecondIsBase;
}

}  // namespace tessgrid::detail
