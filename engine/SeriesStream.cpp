// engine/SeriesStream.cpp - TSeriesStream: the inputs read in step through rings of rows, each
// block of rows taken, combined on the task pool and handed to a writer thread while the next
// block is read. The contract is in engine/Engine.h.
#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "engine/InputRing.h"
#include "io/GridReader.h"
#include "io/GridSource.h"
#include "io/GridWriter.h"
#include "io/LargeBlock.h"
#include "io/Threads.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// Bytes per part of an input's reader: the block of input bytes holds four parts per thread of
// its reader. Small parts keep many inputs within the budget; large ones keep the hand-overs of
// a few inputs rare.
constexpr std::size_t kLngMinChunkBytes = std::size_t{1} << 10;
constexpr std::size_t kLngMaxChunkBytes = std::size_t{1} << 17;

// Bytes of a reader's block beyond its parts (room for a token cut at its end), and of a file
// source's header buffer.
constexpr std::size_t kLngTokenRoom = 4097;
constexpr std::size_t kLngSourceBytes = 4096;

constexpr std::size_t kLngNoRow = std::numeric_limits<std::size_t>::max();

// Budgets the windows of the row sources take in all. A block of most formats holds a few
// hundred rows, all of which a window holds to decode it once; windows that hold fewer decode
// the block again for each, which costs more time than the memory is worth up to this.
constexpr std::size_t kLngWindowShare = 16;

// Rows of the result a combining task takes at a time.
constexpr long kLngRowsPerTask = 4;

// The rows of an input another reader delivers, a window at a time, in a ring of slots: row r
// in slot r mod slots. A round reads windows only while a row before the round's end is
// missing, so the last window it reads begins before that end and the rows read reach at most
// RoundRows + WindowRows - 2 past the first not yet taken: that many slots and one never reach
// a row still to be taken.
class TWindowRing {
 public:
  // Windows hold the source's best rows, or LngMostRows when that is fewer.
  TWindowRing(TRowSource& Source, std::size_t LngRoundRows, std::size_t LngMostRows)
      : MbrSource(Source),
        MbrLngRows(static_cast<std::size_t>(Source.Header().LngRows)),
        MbrLngColumns(static_cast<std::size_t>(Source.Header().LngColumns)),
        MbrLngWindow(std::max<std::size_t>(
            1,
            std::min(static_cast<std::size_t>(std::max(1L, Source.WindowRows())), LngMostRows))) {
    MbrLngSlots = std::min(MbrLngRows, LngRoundRows + MbrLngWindow - 1);
    if (MbrLngColumns > 0) {
      MbrBlock = TLargeBlock(MbrLngSlots * MbrLngColumns * sizeof(double));
    }
  }

  // Reads the next window; returns whether rows are left after it.
  bool Step() {
    if (MbrLngComplete < MbrLngRows && MbrLngColumns > 0) {
      const std::size_t LngFirst = MbrLngComplete;
      const std::size_t LngCount = std::min(MbrLngWindow, MbrLngRows - LngFirst);
      MbrSource.ReadRows(
          static_cast<long>(LngFirst), static_cast<long>(LngCount),
          [this, LngFirst](long LngK) { return Row(LngFirst + static_cast<std::size_t>(LngK)); });
      MbrLngComplete += LngCount;
    }
    return MbrLngComplete < MbrLngRows && MbrLngColumns > 0;
  }

  double* Row(std::size_t LngRow) {
    if (MbrLngSlots == 0 || MbrLngColumns == 0) {
      return nullptr;  // rows without cells
    }
    return static_cast<double*>(MbrBlock.Data()) + LngRow % MbrLngSlots * MbrLngColumns;
  }

  std::size_t Complete() const { return MbrLngComplete; }

 private:
  TRowSource& MbrSource;
  std::size_t MbrLngRows;
  std::size_t MbrLngColumns;
  std::size_t MbrLngWindow;
  std::size_t MbrLngSlots = 0;
  std::size_t MbrLngComplete = 0;
  TLargeBlock MbrBlock;
};

// One input: its file, its reader and what it failed with. An input read by tessgrid's own
// reader has a source, a ring and a scanner; one another reader reads, a row source and a
// window ring; one whose rows its source keeps in place and the combiner only reads, its
// source alone.
struct TInput {
  std::unique_ptr<TFileSource> PtrSource;
  std::unique_ptr<TRowSource> PtrRowSource;
  TGridHeader Header;
  std::string StgFirstCell;  ///< the first cell's token, when the header rule took it
  std::unique_ptr<TInputRing> PtrRing;
  std::unique_ptr<TCellScanner> PtrScanner;
  std::unique_ptr<TWindowRing> PtrWindows;
  bool BlnInPlace = false;            ///< its rows are read where its row source keeps them
  bool BlnEnded = false;              ///< the reader has placed its last cell, or failed
  bool BlnShort = false;              ///< a file known to be too short for its header's claim
  std::exception_ptr PtrReadFailure;  ///< of opening, the header or the cells
  std::exception_ptr PtrRowFailure;   ///< of TakeRow, at row LngRowFailure
  std::size_t LngRowFailure = kLngNoRow;

  std::size_t Rows() const { return static_cast<std::size_t>(Header.LngRows); }
  std::size_t Columns() const { return static_cast<std::size_t>(Header.LngColumns); }

  // Rows whose cells are all in place, counted from the first.
  std::size_t Complete() const {
    return BlnInPlace ? Rows() : PtrWindows ? PtrWindows->Complete() : PtrRing->Complete();
  }

  // Reads on; returns whether the reader has more to read.
  bool Step() { return PtrWindows ? PtrWindows->Step() : PtrScanner->Step(); }

  // The row as TakeRow takes it; not for an input read in place.
  double* Row(std::size_t LngRow) {
    return PtrWindows ? PtrWindows->Row(LngRow) : PtrRing->Row(static_cast<long>(LngRow));
  }

  // The row as CombineRow reads it.
  const double* Cells(std::size_t LngRow) {
    return BlnInPlace ? PtrRowSource->RowInPlace(static_cast<long>(LngRow)) : Row(LngRow);
  }
};

}  // namespace

struct TSeriesStream::TState {
  std::vector<std::string> VecFiles;
  TRowSourceOpener Opener;  ///< of the files another reader reads; may be empty
  TGridHeaderMode Mode;
  long LngThreads;
  std::size_t LngBudget;                 ///< bytes of the rings and blocks in all
  bool BlnParked = false;                ///< the files are closed between their reads
  std::vector<TInput> VecInputs;         ///< one per file
  std::vector<TGridHeader> VecHeaders;   ///< of the inputs whose header was read
  std::mutex MbrMutex;                   ///< guards the failures the tasks record
  std::exception_ptr PtrCombineFailure;  ///< of the first row whose CombineRow failed

  // The inputs still to be read: those before the first that failed, and that one too while
  // only TakeRow failed in it, since its reader's failure would come first.
  std::size_t Limit() const {
    for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
      if (VecInputs[LngI].PtrReadFailure) {
        return LngI;
      }
      if (VecInputs[LngI].PtrRowFailure) {
        return LngI + 1;
      }
    }
    return VecInputs.size();
  }

  bool AnyShort() const {
    return std::any_of(VecInputs.begin(), VecInputs.end(),
                       [](const TInput& Input) { return Input.BlnShort; });
  }

  bool AnyFailure() const {
    return std::any_of(VecInputs.begin(), VecInputs.end(), [](const TInput& Input) {
      return Input.PtrReadFailure || Input.PtrRowFailure;
    });
  }

  // Sets up the reader of every input whose header was read, in order, up to one that fails;
  // an input the combiner only reads and whose source keeps its rows needs none.
  void SetUpReaders(const TReadOptions& Options, std::size_t LngRoundRows,
                    const TSeriesCombiner& Combiner) {
    const std::size_t LngBlockCells = MaxBlockCells(Options);
    // The windows of the row sources share kLngWindowShare budgets: whole windows while they
    // fit, which decode each block once, else fewer rows, which decode blocks again.
    for (std::size_t LngI = 0; LngI < VecHeaders.size(); ++LngI) {
      TInput& Input = VecInputs[LngI];
      Input.BlnInPlace = Input.PtrRowSource && !Combiner.TakesRowsOf(LngI) &&
                         (Input.Rows() == 0 || Input.PtrRowSource->RowInPlace(0) != nullptr);
      Input.BlnEnded = Input.BlnEnded || Input.BlnInPlace;
    }
    const std::size_t LngSources = static_cast<std::size_t>(std::count_if(
        VecInputs.begin(), VecInputs.end(),
        [](const TInput& Input) { return Input.PtrRowSource != nullptr && !Input.BlnInPlace; }));
    const std::size_t LngWindowBytes =
        kLngWindowShare * LngBudget / std::max<std::size_t>(1, LngSources);
    for (std::size_t LngI = 0; LngI < VecHeaders.size() && Limit() > LngI; ++LngI) {
      TInput& Input = VecInputs[LngI];
      if (Input.BlnInPlace) {
        continue;
      }
      try {
        if (Input.PtrRowSource) {
          const std::size_t LngFit =
              LngWindowBytes / std::max<std::size_t>(1, Input.Columns() * sizeof(double));
          Input.PtrWindows =
              std::make_unique<TWindowRing>(*Input.PtrRowSource, LngRoundRows,
                                            LngFit > LngRoundRows ? LngFit - LngRoundRows + 1 : 1);
          continue;
        }
        Input.PtrRing = std::make_unique<TInputRing>(LngBlockCells, LngRoundRows,
                                                     Input.PtrSource->BeginCells() < 0);
        Input.PtrScanner = std::make_unique<TCellScanner>(
            *Input.PtrSource, Input.Header, Input.StgFirstCell, *Input.PtrRing, Options);
      } catch (...) {
        Input.PtrReadFailure = std::current_exception();
        Input.BlnEnded = true;
      }
    }
  }

  // Reads each input before LngLimit until its rows up to LngTarget are complete or it ends.
  void ReadTo(TTaskPool& Pool, std::size_t LngLimit, std::size_t LngTarget) {
    std::vector<std::size_t> VecDue;
    for (std::size_t LngI = 0; LngI < LngLimit; ++LngI) {
      const TInput& Input = VecInputs[LngI];
      if (!Input.BlnEnded && Input.Complete() < std::min(LngTarget, Input.Rows())) {
        VecDue.push_back(LngI);
      }
    }
    Pool.Run(static_cast<long>(VecDue.size()), [&](long LngTask) {
      TInput& Input = VecInputs[VecDue[static_cast<std::size_t>(LngTask)]];
      const std::size_t LngUntil = std::min(LngTarget, Input.Rows());
      try {
        if (BlnParked && Input.PtrSource) {
          Input.PtrSource->Resume();
        }
        while (!Input.BlnEnded && Input.Complete() < LngUntil) {
          Input.BlnEnded = !Input.Step();
        }
      } catch (...) {
        Input.PtrReadFailure = std::current_exception();
        Input.BlnEnded = true;
      }
      if (BlnParked && Input.PtrSource) {
        Input.PtrSource->Park();
      }
    });
  }

  // Hands rows [LngFirst, LngTarget) of each input before LngLimit to TakeRow.
  void TakeRows(TTaskPool& Pool, TSeriesCombiner& Combiner, std::size_t LngLimit,
                std::size_t LngFirst, std::size_t LngTarget) {
    std::vector<std::size_t> VecTaking;
    for (std::size_t LngI = 0; LngI < LngLimit; ++LngI) {
      if (!VecInputs[LngI].PtrReadFailure && !VecInputs[LngI].BlnInPlace &&
          LngFirst < VecInputs[LngI].Rows()) {
        VecTaking.push_back(LngI);
      }
    }
    const std::size_t LngSpan = LngTarget - LngFirst;
    Pool.Run(static_cast<long>(VecTaking.size() * LngSpan), [&](long LngTask) {
      const std::size_t LngK = static_cast<std::size_t>(LngTask);
      const std::size_t LngI = VecTaking[LngK / LngSpan];
      const std::size_t LngRow = LngFirst + LngK % LngSpan;
      TInput& Input = VecInputs[LngI];
      if (LngRow >= Input.Rows()) {
        return;
      }
      try {
        Combiner.TakeRow(LngI, LngRow, Input.Row(LngRow));
      } catch (...) {
        const std::lock_guard<std::mutex> Lock(MbrMutex);
        if (LngRow < Input.LngRowFailure) {
          Input.PtrRowFailure = std::current_exception();
          Input.LngRowFailure = LngRow;
        }
      }
    });
  }

  // Combines rows [LngFirst, LngTarget) into PtrOut, row after row, LngOutCells cells each,
  // a few rows at a time on every worker; a worker's scratch and the combiner's state for it
  // are used by one thread at a time. Returns false when a row failed, keeping the failure of
  // the first: the rows of a block come in order, and the first failing block counts.
  bool CombineRows(TTaskPool& Pool, TSeriesCombiner& Combiner, std::size_t LngFirst,
                   std::size_t LngTarget, double* PtrOut, std::size_t LngOutCells,
                   std::vector<std::vector<const double*>>& VecScratch) {
    try {
      ForRowBlocks(Pool, static_cast<long>(LngTarget - LngFirst), kLngRowsPerTask,
                   [&](long LngBlockFirst, long LngBlockEnd, long LngWorker) {
                     std::vector<const double*>& VecRows =
                         VecScratch[static_cast<std::size_t>(LngWorker)];
                     for (std::size_t LngRow = LngFirst + static_cast<std::size_t>(LngBlockFirst);
                          LngRow < LngFirst + static_cast<std::size_t>(LngBlockEnd); ++LngRow) {
                       for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
                         VecRows[LngI] = VecInputs[LngI].Cells(LngRow);
                       }
                       Combiner.CombineRow(LngWorker, LngRow, VecRows.data(),
                                           PtrOut + (LngRow - LngFirst) * LngOutCells);
                     }
                   });
    } catch (...) {
      PtrCombineFailure = std::current_exception();
      return false;
    }
    return true;
  }

  // Throws the failure a run in input order meets first, if any.
  void ThrowFirstFailure() const {
    for (const TInput& Input : VecInputs) {
      if (Input.PtrReadFailure) {
        std::rethrow_exception(Input.PtrReadFailure);
      }
      if (Input.PtrRowFailure) {
        std::rethrow_exception(Input.PtrRowFailure);
      }
    }
    if (PtrCombineFailure) {
      std::rethrow_exception(PtrCombineFailure);
    }
  }
};

bool AllowDescriptors(std::size_t LngFiles) {
  const std::size_t LngWanted = LngFiles + 64;
  rlimit Limit{};
  if (::getrlimit(RLIMIT_NOFILE, &Limit) != 0) {
    return false;
  }
  if (Limit.rlim_cur == RLIM_INFINITY || Limit.rlim_cur >= LngWanted) {
    return true;
  }
  Limit.rlim_cur = Limit.rlim_max;
  return ::setrlimit(RLIMIT_NOFILE, &Limit) == 0 &&
         (Limit.rlim_cur == RLIM_INFINITY || Limit.rlim_cur >= LngWanted);
}

TSeriesStream::TSeriesStream(std::vector<std::string> VecFiles, TGridHeaderMode Mode,
                             long LngThreads, std::size_t LngBudget, TRowSourceOpener Opener)
    : MbrPtrState(std::make_unique<TState>()) {
  MbrPtrState->LngBudget = LngBudget;
  MbrPtrState->Opener = std::move(Opener);
  MbrPtrState->VecFiles = std::move(VecFiles);
  MbrPtrState->Mode = Mode;
  MbrPtrState->LngThreads = std::max(1L, LngThreads);
}

TSeriesStream::~TSeriesStream() = default;

bool TSeriesStream::ReadHeaders() {
  TState& State = *MbrPtrState;
  State.BlnParked = !AllowDescriptors(State.VecFiles.size());
  State.VecInputs.resize(State.VecFiles.size());
  for (std::size_t LngI = 0; LngI < State.VecFiles.size(); ++LngI) {
    TInput& Input = State.VecInputs[LngI];
    try {
      if (State.Opener) {
        Input.PtrRowSource = State.Opener(State.VecFiles[LngI]);
      }
      if (Input.PtrRowSource) {
        Input.Header = Input.PtrRowSource->Header();
      } else {
        Input.PtrSource = std::make_unique<TFileSource>(State.VecFiles[LngI]);
        Input.Header = ReadGridHeader(*Input.PtrSource, State.Mode, Input.StgFirstCell);
        Input.BlnShort = Input.PtrSource->BeginCells() >= 0 &&
                         !HoldsClaim(*Input.PtrSource, Input.Header, Input.StgFirstCell);
        if (State.BlnParked) {
          Input.PtrSource->Park();
        }
      }
      State.VecHeaders.push_back(Input.Header);
    } catch (...) {
      Input.PtrReadFailure = std::current_exception();
      Input.BlnEnded = true;
      return false;
    }
  }
  return true;
}

const std::vector<TGridHeader>& TSeriesStream::Headers() const {
  return MbrPtrState->VecHeaders;
}

bool TSeriesStream::FallsShort() const {
  return MbrPtrState->AnyShort();
}

void TSeriesStream::Run(TSeriesCombiner& Combiner, std::ostream* PtrOutput, int IntMaxDigits,
                        bool BlnIndentRows) {
  std::unique_ptr<TRowWriter> PtrRows;
  std::unique_ptr<TRunSink<TRowWriter>> PtrSink;
  if (PtrOutput != nullptr && !FallsShort()) {
    const TState& State = *MbrPtrState;
    const std::size_t LngColumns =
        State.VecHeaders.empty() ? 0 : static_cast<std::size_t>(State.VecHeaders[0].LngColumns);
    PtrRows = std::make_unique<TRowWriter>(*PtrOutput, LngColumns, ' ', State.LngThreads,
                                           IntMaxDigits, BlnIndentRows);
    PtrSink = std::make_unique<TRunSink<TRowWriter>>(*PtrRows);
  }
  Run(Combiner, PtrSink.get());
  if (PtrRows) {
    PtrRows->Finish();
  }
}

void TSeriesStream::Run(TSeriesCombiner& Combiner, TRowSink* PtrSink) {
  TState& State = *MbrPtrState;
  const std::size_t LngInputs = std::max<std::size_t>(1, State.VecHeaders.size());
  // Few inputs share the threads out among their readers; many are read side by side, one
  // thread each, in blocks that keep all of them within the budget.
  TReadOptions Options;
  Options.LngThreads = std::max(1L, State.LngThreads / static_cast<long>(LngInputs));
  const std::size_t LngColumns =
      State.VecHeaders.empty() ? 0 : static_cast<std::size_t>(State.VecHeaders[0].LngColumns);
  // An input takes its block of B bytes, which holds up to B / 2 cells, and a ring of about
  // B / 8 cells for a round, B / 2 for the block read while the round is taken and three rows
  // more (6 B and 24 bytes a column in all), and its source's header buffer.
  const std::size_t LngFixed = 24 * LngColumns + kLngSourceBytes;
  const std::size_t LngShare = State.LngBudget / LngInputs;
  const std::size_t LngBlockBytes = LngShare > LngFixed ? (LngShare - LngFixed) / 6 : 0;
  const std::size_t LngParts = 4 * static_cast<std::size_t>(Options.LngThreads);
  Options.LngChunkBytes =
      std::clamp(LngBlockBytes > kLngTokenRoom ? (LngBlockBytes - kLngTokenRoom) / LngParts : 0,
                 kLngMinChunkBytes, kLngMaxChunkBytes);
  // A round reads about the rows one block of input holds; a block may hold four times as many
  // rows at worst, which its ring has room for.
  // Several results a row take their two rounds of result rows within the budget too.
  const std::size_t LngResults = std::max<std::size_t>(1, Combiner.ResultsPerRow());
  const std::size_t LngOutCells = LngColumns * LngResults;
  std::size_t LngRoundRows =
      std::max<std::size_t>(1, MaxBlockCells(Options) / 4 / std::max<std::size_t>(1, LngColumns));
  if (LngResults > 1) {
    LngRoundRows = std::clamp<std::size_t>(
        State.LngBudget / (2 * sizeof(double) * std::max<std::size_t>(1, LngOutCells)), 1,
        LngRoundRows);
  }
  State.SetUpReaders(Options, LngRoundRows, Combiner);

  bool BlnWriting = PtrSink != nullptr && !State.AnyFailure() && !State.AnyShort();
  for (const TGridHeader& Header : State.VecHeaders) {
    if (BlnWriting && (Header.LngColumns != State.VecHeaders[0].LngColumns ||
                       Header.LngRows != State.VecHeaders[0].LngRows)) {
      Fail("Inputs of a series stream differ in size");
    }
  }
  TTaskPool Pool(State.LngThreads);
  // Two rounds of result rows: the writer's and the one being combined; a round is handed to
  // the writing thread once the one before is written. The hand-over is declared after them, so
  // that it ends before they go on every path.
  std::vector<double> VecOut;
  std::vector<std::vector<const double*>> VecScratch;
  std::unique_ptr<THandOver> PtrWriter;
  if (BlnWriting) {
    VecOut.resize(2 * LngRoundRows * LngOutCells);
    VecScratch.assign(static_cast<std::size_t>(State.LngThreads),
                      std::vector<const double*>(State.VecInputs.size()));
    PtrWriter = std::make_unique<THandOver>(1);
  }

  std::size_t LngRound = 0;
  for (std::size_t LngFirst = 0;; LngFirst += LngRoundRows, ++LngRound) {
    std::size_t LngLimit = State.Limit();
    bool BlnLeft = false;
    for (std::size_t LngI = 0; LngI < LngLimit; ++LngI) {
      BlnLeft = BlnLeft || LngFirst < State.VecInputs[LngI].Rows();
    }
    if (!BlnLeft) {
      break;
    }
    const std::size_t LngTarget = LngFirst + LngRoundRows;
    State.ReadTo(Pool, LngLimit, LngTarget);
    LngLimit = State.Limit();
    State.TakeRows(Pool, Combiner, LngLimit, LngFirst, LngTarget);
    BlnWriting = BlnWriting && !State.AnyFailure();
    if (BlnWriting) {
      const std::size_t LngEnd = std::min(LngTarget, State.VecInputs.front().Rows());
      double* PtrOut = PtrSink->ResultRows(LngFirst, LngEnd - LngFirst, LngOutCells);
      if (PtrOut == nullptr) {
        PtrOut = VecOut.data() + (LngRound % 2) * LngRoundRows * LngOutCells;
      }
      BlnWriting =
          State.CombineRows(Pool, Combiner, LngFirst, LngEnd, PtrOut, LngOutCells, VecScratch);
      if (BlnWriting) {
        const std::size_t LngRows = LngEnd - LngFirst;
        PtrWriter->Hand([PtrSink, PtrOut, LngRows, LngOutCells] {
          PtrSink->Write(PtrOut, LngRows, LngOutCells);
        });
        Combiner.RowsCombined(LngEnd);
      }
    }
  }
  // The writing fails only where nothing else did: a run in input order writes last.
  std::exception_ptr PtrWriteFailure;
  if (PtrWriter) {
    try {
      PtrWriter->Finish();
    } catch (...) {
      PtrWriteFailure = std::current_exception();
    }
  }
  State.ThrowFirstFailure();
  if (PtrWriteFailure) {
    std::rethrow_exception(PtrWriteFailure);
  }
}

}  // namespace tessgrid::detail
