// io/GridReader.cpp - the cells of a grid: blocks cut at white space, parsed in parallel parts
// whose token counts are known before their cells are placed; the thread pool; the edges.
// The declarations and their contracts are in io/GridReader.h.
#include "io/GridReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/NumberText.h"
#include "io/Threads.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"
#include "model/TAxis.h"
#include "model/TAxisTools.h"

namespace tessgrid::detail {

namespace {

constexpr const char* kStgEndOfFile =
    "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile";

// Longest cell token, in bytes; a longer one is not a number the reader takes. A block always
// has room for one, so a token is never cut.
constexpr std::size_t kLngMaxCellToken = 4096;

constexpr std::size_t kLngNoFailure = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kLngNoRow = std::numeric_limits<std::size_t>::max();

// A block holds this many parts per thread, so that threads share its parts out as they come
// free.
constexpr std::size_t kLngPartsPerThread = 4;

// Cells of one segment of a grid whose input size is unknown (1 MiB).
constexpr std::size_t kLngSegmentCells = std::size_t{1} << 17;

// Bytes of the reader's block: a few parts per thread, and room for a token carried over.
std::size_t BlockCapacity(long LngThreads, std::size_t LngChunkBytes) {
  return static_cast<std::size_t>(LngThreads) * kLngPartsPerThread * LngChunkBytes +
         kLngMaxCellToken + 1;
}

// Whether LngRemaining bytes after a first cell token of LngFirstBytes can hold LngCells cells:
// every cell takes a byte and all but the last a separator.
bool ClaimFits(std::size_t LngCells, long long LngRemaining, std::size_t LngFirstBytes) {
  return LngCells <= (static_cast<unsigned long long>(LngRemaining) + LngFirstBytes + 1) / 2;
}

// One part of a block: a range of bytes that begins at white space or a token and ends at
// white space or the end of the block's tokens.
struct TPart {
  const char* PtrFirst = nullptr;
  const char* PtrLast = nullptr;
  std::size_t LngTokens = 0;             ///< tokens in the range, once counted
  std::size_t LngStart = 0;              ///< index of the cell its first token is
  std::size_t LngLimit = 0;              ///< index after the last cell it may place
  std::size_t LngPlaced = 0;             ///< cells placed
  const char* PtrAfter = nullptr;        ///< end of the last token placed
  double* PtrFirstRow = nullptr;         ///< storage of the row of cell LngStart, set up beforehand
  std::size_t LngSharedRow = kLngNoRow;  ///< a row it begins and the next part continues
  double* PtrSharedRow = nullptr;        ///< that row's storage, set up beforehand
  double* PtrLastRow = nullptr;          ///< storage of the row of the last cell placed
  std::size_t LngFailure = kLngNoFailure;  ///< index of the cell that failed
  std::string StgFailure;                  ///< its message
};

// 1 for the bytes of white space, as IsSpace, in a form the compiler turns into vector code.
inline unsigned SpaceBit(unsigned char ChrByte) {
  return static_cast<unsigned>(ChrByte == ' ') |
         static_cast<unsigned>(static_cast<unsigned char>(ChrByte - '\t') < 5);
}

// Counts the tokens of a part: the bytes that are not white space and follow white space or
// begin the part. Each byte is compared with the one before it, not with a flag carried from
// byte to byte, so the loop runs on vectors.
std::size_t CountTokens(const char* PtrFirst, const char* PtrLast) {
  if (PtrFirst == PtrLast) {
    return 0;
  }
  const auto* const PtrBytes = reinterpret_cast<const unsigned char*>(PtrFirst);
  const std::size_t LngLength = static_cast<std::size_t>(PtrLast - PtrFirst);
  std::size_t LngCount = SpaceBit(PtrBytes[0]) ^ 1U;
  for (std::size_t LngI = 1; LngI < LngLength; ++LngI) {
    LngCount += SpaceBit(PtrBytes[LngI - 1]) & (SpaceBit(PtrBytes[LngI]) ^ 1U);
  }
  return LngCount;
}

}  // namespace

// Reads the cells of one grid from the source once the header is read, a block at a time.
class TCellReader {
 public:
  TCellReader(TGridSource& Source, const TGridHeader& Header, TGridStorage& Storage,
              const TReadOptions& Options)
      : MbrSource(Source),
        MbrHeader(Header),
        MbrStorage(Storage),
        MbrLngThreads(std::max(1L, Options.LngThreads)),
        MbrLngChunk(std::max<std::size_t>(1, Options.LngChunkBytes)),
        MbrLngWidth(static_cast<std::size_t>(Header.LngColumns)),
        MbrLngUnit(kLngSegmentCells),
        MbrLngCells(static_cast<std::size_t>(Header.LngColumns) *
                    static_cast<std::size_t>(Header.LngRows)),
        MbrLngPlaced(0),
        MbrBlnDirect(false) {}

  // Takes the cells' size from the source and sets up the block; the first Step reads on.
  void Begin(const std::string& StgFirstCell) {
    const long long LngRemaining = MbrSource.BeginCells();
    // A claim the input cannot hold is never given storage: when the input's size is unknown its
    // cells go to segments that grow as they arrive; when the input is known to be too short
    // they are only checked, so that its first failure is still the one a reading meets first.
    MbrBlnDirect = MbrLngCells == 0 ||
                   (LngRemaining >= 0 && ClaimFits(MbrLngCells, LngRemaining, StgFirstCell.size()));
    MbrBlnDiscard = !MbrBlnDirect && LngRemaining >= 0;
    if (MbrBlnDirect) {
      MbrStorage.Prepare(MbrHeader);
      MbrLngUnit = MbrLngWidth;
    }
    if (MbrLngCells == 0) {
      MbrSource.Finish(StgFirstCell.size());
      MbrBlnEnded = true;
      return;
    }
    MbrPtrBlock.reset(new char[BlockCapacity(MbrLngThreads, MbrLngChunk) + 1]);
    MbrLngCarried = StgFirstCell.size();
    std::memcpy(MbrPtrBlock.get(), StgFirstCell.data(), MbrLngCarried);
  }

  // Reads and places one block; returns false once the last cell is in place.
  bool Step() {
    if (MbrBlnEnded) {
      return false;
    }
    const std::size_t LngCapacity = BlockCapacity(MbrLngThreads, MbrLngChunk);
    char* const PtrBuffer = MbrPtrBlock.get();
    std::size_t LngGot = 0;
    const TReadEnd End = MbrSource.Read(PtrBuffer + MbrLngCarried, LngCapacity - MbrLngCarried,
                                        MbrLngCells - MbrLngPlaced, MbrLngCarried > 0, LngGot);
    const std::size_t LngFilled = MbrLngCarried + LngGot;
    PtrBuffer[LngFilled] = '\0';
    // A full block ends at its last white space; the token after it is carried to the next.
    // A token that fills the room up to a block's end is too long for a number and fails
    // where it stands.
    std::size_t LngCut = LngFilled;
    if (End == TReadEnd::kFull) {
      while (LngCut > 0 && LngFilled - LngCut <= kLngMaxCellToken &&
             !IsSpace(PtrBuffer[LngCut - 1])) {
        --LngCut;
      }
      if (LngCut == 0 || !IsSpace(PtrBuffer[LngCut - 1])) {
        LngCut = LngFilled;
      }
    }
    const char* const PtrAfter = ReadBlock(PtrBuffer, PtrBuffer + LngCut);
    if (MbrBlnDirect) {
      MbrStorage.CellsPlaced(MbrLngPlaced);
    } else if (MbrBlnDiscard) {
      ReleaseSegmentsBefore(MbrLngOpenRow);
    }
    if (MbrLngPlaced == MbrLngCells) {
      MbrSource.Finish(static_cast<std::size_t>(PtrBuffer + LngFilled - PtrAfter));
      Finish();
      return false;
    }
    if (End != TReadEnd::kFull) {
      Fail(kStgEndOfFile);
    }
    MbrLngCarried = LngFilled - LngCut;
    std::memmove(PtrBuffer, PtrBuffer + LngCut, MbrLngCarried);
    return true;
  }

 private:
  // After the last cell: a staged claim goes to the storage.
  void Finish() {
    MbrBlnEnded = true;
    MbrPtrBlock.reset();
    if (MbrBlnDiscard) {
      // Only a file that grew while it was read gets here; its cells are gone, and what its size
      // said when it was opened cannot hold them.
      Fail(kStgEndOfFile);
    }
    if (!MbrBlnDirect) {
      MoveStaged();
    }
  }

  // Gives back the segments before the one a later block may still continue.
  void ReleaseSegmentsBefore(std::size_t LngSegment) {
    const std::size_t LngEnd = std::min(LngSegment, MbrVecSegments.size());
    for (; MbrLngReleased < LngEnd; ++MbrLngReleased) {
      MbrVecSegments[MbrLngReleased].reset();
    }
  }

  // Places the cells of the tokens in [PtrFirst, PtrLast); returns the end of the last token
  // placed. Throws the failure of the first cell that fails.
  const char* ReadBlock(const char* PtrFirst, const char* PtrLast) {
    const std::size_t LngBytes = static_cast<std::size_t>(PtrLast - PtrFirst);
    // One thread reads a block as one part, in order, without counting.
    const long LngParts = MbrLngThreads == 1 ? 1
                                             : static_cast<long>(std::max<std::size_t>(
                                                   1, (LngBytes + MbrLngChunk - 1) / MbrLngChunk));
    if (LngParts > 1 && !MbrPtrWorkers) {
      MbrPtrWorkers = std::make_unique<TTaskPool>(MbrLngThreads);
    }
    MbrVecParts.assign(static_cast<std::size_t>(LngParts), TPart());
    // Parts begin at white space, so no token is split between two of them.
    const char* PtrBegin = PtrFirst;
    for (long LngK = 0; LngK < LngParts; ++LngK) {
      const char* PtrEnd =
          LngK + 1 == LngParts
              ? PtrLast
              : std::max(PtrBegin, PtrFirst + LngBytes / static_cast<std::size_t>(LngParts) *
                                                  static_cast<std::size_t>(LngK + 1));
      while (PtrEnd != PtrLast && !IsSpace(*PtrEnd)) {
        ++PtrEnd;
      }
      MbrVecParts[static_cast<std::size_t>(LngK)].PtrFirst = PtrBegin;
      MbrVecParts[static_cast<std::size_t>(LngK)].PtrLast = PtrEnd;
      PtrBegin = PtrEnd;
    }

    if (LngParts == 1 && MbrBlnDirect) {
      // One part places its cells in order as it meets them; it needs no count.
      TPart& Part = MbrVecParts[0];
      Part.LngStart = MbrLngPlaced;
      Part.LngLimit = MbrLngCells;
      ParsePart(Part);
    } else {
      RunParts(LngParts, [this](long LngK) {
        TPart& Part = MbrVecParts[static_cast<std::size_t>(LngK)];
        Part.LngTokens = CountTokens(Part.PtrFirst, Part.PtrLast);
      });
      std::size_t LngNext = MbrLngPlaced;
      for (TPart& Part : MbrVecParts) {
        Part.LngStart = LngNext;
        Part.LngLimit = std::min(MbrLngCells, LngNext + Part.LngTokens);
        LngNext = std::max(LngNext, Part.LngLimit);
      }
      if (!MbrBlnDirect) {
        MbrVecSegments.resize((LngNext + MbrLngUnit - 1) / MbrLngUnit);
      }
      // A part's first row, and a row that it begins and the next part continues, are set up
      // here, before either part writes; every other row by the one part that fills it.
      for (TPart& Part : MbrVecParts) {
        if (Part.LngStart == Part.LngLimit) {
          continue;
        }
        Part.PtrFirstRow = OpenRow(Part.LngStart / MbrLngUnit);
        const std::size_t LngLastRow = (Part.LngLimit - 1) / MbrLngUnit;
        if (LngLastRow != Part.LngStart / MbrLngUnit && Part.LngLimit < LngNext &&
            Part.LngLimit % MbrLngUnit != 0) {
          Part.LngSharedRow = LngLastRow;
          Part.PtrSharedRow = OpenRow(LngLastRow);
        }
      }
      RunParts(LngParts,
               [this](long LngK) { ParsePart(MbrVecParts[static_cast<std::size_t>(LngK)]); });
    }

    // The first failure in cell order is the one a reading from the first cell meets first.
    const TPart* PtrFailed = nullptr;
    const char* PtrAfter = PtrFirst;
    for (const TPart& Part : MbrVecParts) {
      if (Part.LngFailure != kLngNoFailure &&
          (PtrFailed == nullptr || Part.LngFailure < PtrFailed->LngFailure)) {
        PtrFailed = &Part;
      }
      if (Part.LngPlaced > 0) {
        PtrAfter = Part.PtrAfter;
        // Later cells of the row of the last cell placed go to the same storage.
        MbrLngOpenRow = (Part.LngStart + Part.LngPlaced - 1) / MbrLngUnit;
        MbrPtrOpenRow = Part.PtrLastRow;
      }
      MbrLngPlaced += Part.LngPlaced;
    }
    if (PtrFailed != nullptr) {
      Fail(PtrFailed->StgFailure);
    }
    return PtrAfter;
  }

  void RunParts(long LngParts, const std::function<void(long)>& Task) {
    if (LngParts == 1) {
      Task(0);
    } else {
      MbrPtrWorkers->Run(LngParts, Task);
    }
  }

  // Sets up the storage row, or the segment, of the index: the caller's Row, or new memory.
  double* SetUp(std::size_t LngRow) {
    if (MbrBlnDirect) {
      return MbrStorage.Row(static_cast<long>(LngRow));
    }
    MbrVecSegments[LngRow].reset(new double[MbrLngUnit]);
    return MbrVecSegments[LngRow].get();
  }

  // Returns the row of the index from the main thread: the open row, or a new one set up.
  double* OpenRow(std::size_t LngRow) {
    if (LngRow != MbrLngOpenRow) {
      MbrPtrOpenRow = SetUp(LngRow);
      MbrLngOpenRow = LngRow;
    }
    return MbrPtrOpenRow;
  }

  void ParsePart(TPart& Part) {
    if (MbrHeader.BlnNoDataRead) {
      ParseCells<false>(Part);
    } else {
      ParseCells<true>(Part);
    }
  }

  // The cell loop: the fast parser takes ordinary numbers in place, ParseToken the rest.
  template <bool BlnRejectNoData>
  void ParseCells(TPart& Part) {
    const char* PtrNext = Part.PtrFirst;
    const char* const PtrLast = Part.PtrLast;
    std::size_t LngCell = Part.LngStart;
    double* PtrCell = nullptr;
    double* PtrRowEnd = nullptr;
    // The row of the next cell: divided out once, then counted, since a thin grid meets a new
    // row at every cell.
    std::size_t LngRow = LngCell / MbrLngUnit;
    while (LngCell != Part.LngLimit) {
      // The byte at PtrLast is white space, the '\0' after the block, or the first byte of the
      // carried token: each ends this scan.
      while (IsSpace(*PtrNext)) {
        ++PtrNext;
      }
      if (PtrNext == PtrLast) {
        break;
      }
      double DblValue = 0.0;
      const char* PtrEnd = ParseFastNumber(PtrNext, PtrLast, DblValue);
      if (PtrEnd == nullptr || static_cast<std::size_t>(PtrEnd - PtrNext) > kLngMaxCellToken) {
        PtrEnd = PtrNext;
        while (PtrEnd != PtrLast && !IsSpace(*PtrEnd)) {
          ++PtrEnd;
        }
        if (static_cast<std::size_t>(PtrEnd - PtrNext) > kLngMaxCellToken ||
            ParseToken(PtrNext, PtrEnd, DblValue) != TParseResult::kOk) {
          RecordFailure(
              Part, LngCell,
              "File format error: invalid cell value '" + ShownToken(PtrNext, PtrEnd) + "' at ",
              "");
          break;
        }
      }
      if (BlnRejectNoData && DblValue == -9999.0) {
        RecordFailure(Part, LngCell, "File format error: cell at ",
                      " holds -9999 but the header has no NODATA_value");
        break;
      }
      if (PtrCell == PtrRowEnd) {
        // The first row was set up for the part; every later one begins here, at its start.
        double* PtrRow = nullptr;
        if (PtrCell == nullptr) {
          // A part of its own is on the main thread and takes its first row when it has a cell.
          PtrRow = Part.PtrFirstRow != nullptr ? Part.PtrFirstRow : OpenRow(LngRow);
          PtrCell = PtrRow + LngCell % MbrLngUnit;
        } else {
          ++LngRow;
          PtrRow = LngRow == Part.LngSharedRow ? Part.PtrSharedRow : SetUp(LngRow);
          PtrCell = PtrRow;
        }
        PtrRowEnd = PtrRow + MbrLngUnit;
      }
      *PtrCell++ = DblValue;
      ++LngCell;
      PtrNext = PtrEnd;
    }
    Part.LngPlaced = LngCell - Part.LngStart;
    Part.PtrAfter = PtrNext;
    Part.PtrLastRow = PtrRowEnd == nullptr ? nullptr : PtrRowEnd - MbrLngUnit;
  }

  // Records the failure of the cell: the texts before and after its row and column.
  void RecordFailure(TPart& Part, std::size_t LngCell, const std::string& StgBefore,
                     const char* PtrAfter) {
    Part.LngFailure = LngCell;
    Part.StgFailure = StgBefore + "row " + std::to_string(LngCell / MbrLngWidth) + ", column " +
                      std::to_string(LngCell % MbrLngWidth) + PtrAfter +
                      " in TARCGISFileTools::LoadARCGISFile";
  }

  // The cells of a claim that the input was not known to hold, now complete: into storage,
  // each segment released once copied, the storage told of a block's worth of rows at a time.
  void MoveStaged() {
    MbrStorage.Prepare(MbrHeader);
    const std::size_t LngBlockCells = MaxBlockCells(TReadOptions{MbrLngThreads, MbrLngChunk});
    const long LngRowsPerCall =
        static_cast<long>(std::max<std::size_t>(1, LngBlockCells / MbrLngWidth));
    std::size_t LngCell = 0;
    for (long LngRow = 0; LngRow < MbrHeader.LngRows; ++LngRow) {
      if (LngRow > 0 && LngRow % LngRowsPerCall == 0) {
        MbrStorage.CellsPlaced(LngCell);
      }
      double* PtrTarget = MbrStorage.Row(LngRow);
      for (std::size_t LngLeft = MbrLngWidth; LngLeft > 0;) {
        const std::size_t LngSegment = LngCell / MbrLngUnit;
        const std::size_t LngOffset = LngCell % MbrLngUnit;
        const std::size_t LngCount = std::min(LngLeft, MbrLngUnit - LngOffset);
        std::memcpy(PtrTarget, MbrVecSegments[LngSegment].get() + LngOffset,
                    LngCount * sizeof(double));
        PtrTarget += LngCount;
        LngCell += LngCount;
        LngLeft -= LngCount;
        if (LngCell % MbrLngUnit == 0) {
          MbrVecSegments[LngSegment].reset();
        }
      }
    }
    MbrStorage.CellsPlaced(LngCell);
  }

  TGridSource& MbrSource;
  const TGridHeader& MbrHeader;
  TGridStorage& MbrStorage;
  const long MbrLngThreads;               ///< threads asked for, at least 1
  const std::size_t MbrLngChunk;          ///< bytes per part, at least 1
  const std::size_t MbrLngWidth;          ///< cells per row
  std::size_t MbrLngUnit;                 ///< cells per row, or per segment while not direct
  const std::size_t MbrLngCells;          ///< cells of the grid
  std::size_t MbrLngPlaced;               ///< cells placed so far, in order
  bool MbrBlnDirect;                      ///< cells go straight to the storage, else to segments
  bool MbrBlnDiscard = false;             ///< the input is too short: segments are only checked
  bool MbrBlnEnded = false;               ///< the last cell is read, or there is none
  std::unique_ptr<char[]> MbrPtrBlock;    ///< the block of input bytes, while cells remain
  std::size_t MbrLngCarried = 0;          ///< bytes of a cut token at the block's start
  std::size_t MbrLngReleased = 0;         ///< segments before this one are given back
  std::size_t MbrLngOpenRow = kLngNoRow;  ///< row (or segment) of the last cell placed
  double* MbrPtrOpenRow = nullptr;        ///< its storage
  std::vector<std::unique_ptr<double[]>> MbrVecSegments;  ///< cells so far while not direct
  std::vector<TPart> MbrVecParts;                         ///< parts of the current block
  std::unique_ptr<TTaskPool> MbrPtrWorkers;  ///< started when a block first has two parts
};

std::size_t MaxBlockCells(const TReadOptions& Options) {
  const std::size_t LngCapacity = BlockCapacity(std::max(1L, Options.LngThreads),
                                                std::max<std::size_t>(1, Options.LngChunkBytes));
  // The first cell may stand right at the block's start and the last end it.
  return LngCapacity / 2 + 1;
}

bool HoldsClaim(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell) {
  const long long LngRemaining = Source.BeginCells();
  return LngRemaining >= 0 && ClaimFits(static_cast<std::size_t>(Header.LngColumns) *
                                            static_cast<std::size_t>(Header.LngRows),
                                        LngRemaining, StgFirstCell.size());
}

TCellScanner::TCellScanner(TGridSource& Source, const TGridHeader& Header,
                           const std::string& StgFirstCell, TGridStorage& Storage,
                           const TReadOptions& Options)
    : MbrPtrReader(std::make_unique<TCellReader>(Source, Header, Storage, Options)) {
  MbrPtrReader->Begin(StgFirstCell);
}

TCellScanner::~TCellScanner() = default;

bool TCellScanner::Step() {
  return MbrPtrReader->Step();
}

void ReadGridCells(TGridSource& Source, const TGridHeader& Header, const std::string& StgFirstCell,
                   TGridStorage& Storage, const TReadOptions& Options) {
  TCellScanner Scanner(Source, Header, StgFirstCell, Storage, Options);
  while (Scanner.Step()) {
  }
}

TGridHeader ReadGrid(TGridSource& Source, TGridHeaderMode Mode, TGridStorage& Storage,
                     const TReadOptions& Options) {
  std::string StgFirstCell;
  const TGridHeader Header = ReadGridHeader(Source, Mode, StgFirstCell);
  ReadGridCells(Source, Header, StgFirstCell, Storage, Options);
  return Header;
}

TGridHeader LoadGridFile(const std::string& StgFileName, TGridHeaderMode Mode,
                         TGridStorage& Storage, const TReadOptions& Options) {
  TFileSource Source(StgFileName);
  return ReadGrid(Source, Mode, Storage, Options);
}

std::unique_ptr<TMap> MapOfGrid(const TGridHeader& Header,
                                std::vector<std::vector<double>>& VecRows) {
  auto PtrMap = std::make_unique<TMap>(Header.DblCellSize);
  PtrMap->MbrVecValues.swap(VecRows);
  PtrMap->MbrLngXDim = Header.LngColumns;
  PtrMap->MbrLngYDim = Header.LngRows;
  PtrMap->MbrDblNoDataValue = Header.DblNoData;
  SetReaderEdges(*PtrMap, Header.DblXll, Header.DblYll, Header.DblCellSize);
  return PtrMap;
}

void SetReaderEdges(TMap& Map, double DblXll, double DblYll, double DblCellSize) {
  const std::size_t LngColumns = static_cast<std::size_t>(std::max(0L, Map.MbrLngXDim));
  const std::size_t LngRows = static_cast<std::size_t>(std::max(0L, Map.MbrLngYDim));
  const TGridEdges Edges = ReaderEdges(DblXll, DblYll, DblCellSize, LngColumns, LngRows);
  // The axes are built in place and handed to the map: no copy of every point.
  auto PtrYEdges = std::make_unique<TAxis>(DblCellSize, static_cast<long>(LngRows + 1));
  for (std::size_t LngK = 0; LngK <= LngRows; ++LngK) {
    PtrYEdges->MbrVecPoints[LngK] = new TPoint(DblXll, Edges.VecY[LngK]);
  }
  auto PtrXEdges = std::make_unique<TAxis>(DblCellSize, static_cast<long>(LngColumns + 1));
  for (std::size_t LngK = 0; LngK <= LngColumns; ++LngK) {
    PtrXEdges->MbrVecPoints[LngK] = new TPoint(Edges.VecX[LngK], Edges.VecY[0]);
  }
  std::unique_ptr<TAxis> PtrXCentres(TAxisTools::IntervalsToPoints(PtrXEdges.get(), 'X'));
  std::unique_ptr<TAxis> PtrYCentres(TAxisTools::IntervalsToPoints(PtrYEdges.get(), 'Y'));
  delete Map.MbrPtrXAxis;
  delete Map.MbrPtrYAxis;
  delete Map.MbrPtrXAxisInterval;
  delete Map.MbrPtrYAxisInterval;
  Map.MbrPtrXAxis = PtrXCentres.release();
  Map.MbrPtrYAxis = PtrYCentres.release();
  Map.MbrPtrXAxisInterval = PtrXEdges.release();
  Map.MbrPtrYAxisInterval = PtrYEdges.release();
}

}  // namespace tessgrid::detail
