// io/TARCGISFileTools.cpp - the ASCII grid reader and writer, and lists of grid files.
// The declarations and their contracts are in io/TARCGISFileTools.h.
#include "io/TARCGISFileTools.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "io/BlockScanner.h"
#include "io/BlockWriter.h"
#include "io/NumberText.h"
#include "io/SafeReplace.h"
#include "model/Fail.h"
#include "model/TAxis.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

namespace {

using tessgrid::detail::TBlockScanner;
using tessgrid::detail::TParseResult;

constexpr const char* kStgEndOfFile =
    "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile";

// Rows grow by at least this many values at a time (512 KiB), and never beyond what the input
// has delivered so far by more than that: a header that claims more than the file holds costs
// no memory.
constexpr std::size_t kLngRowChunk = std::size_t{1} << 16;

// A grid without cells has nothing to read that could vouch for its other dimension, yet needs
// a row and edge points per unit of it; this bound keeps that to a few MiB.
constexpr long kLngMaxEmptyDimension = 1L << 16;

// A cell token shown in a message is cut to this length.
constexpr std::size_t kLngShownToken = 40;

// Reads one header entry the way the format always has: the key as a token, the value by stream
// extraction (so "10.5" after ncols reads 10 and leaves ".5" as the next key, and a value that
// does not parse fails the stream and with it the next key).
template <typename TValue>
void ReadHeaderEntry(std::istream& Input, std::string& StgKey, TValue& Value,
                     const char* PtrExpected, const char* PtrMessage) {
  StgKey.clear();
  Input >> StgKey;
  Input >> Value;
  if (StgKey != PtrExpected) {
    Fail(PtrMessage);
  }
}

[[noreturn]] void FailCell(const char* PtrFirst, const char* PtrLast, bool BlnComplete,
                           std::size_t LngRow, std::size_t LngColumn) {
  // The token goes to a console line: bytes that are not printable text are shown as \xNN.
  std::string StgToken;
  const std::size_t LngShown =
      std::min(static_cast<std::size_t>(PtrLast - PtrFirst), kLngShownToken);
  for (const char* PtrChar = PtrFirst; PtrChar != PtrFirst + LngShown; ++PtrChar) {
    const auto ChrByte = static_cast<unsigned char>(*PtrChar);
    if (ChrByte >= 0x20 && ChrByte < 0x7f) {
      StgToken += static_cast<char>(ChrByte);
    } else {
      static const char kChrHex[] = "0123456789abcdef";
      StgToken += "\\x";
      StgToken += kChrHex[ChrByte >> 4];
      StgToken += kChrHex[ChrByte & 0xf];
    }
  }
  if (!BlnComplete || static_cast<std::size_t>(PtrLast - PtrFirst) > kLngShownToken) {
    StgToken += "...";
  }
  Fail("File format error: invalid cell value '" + StgToken + "' at row " + std::to_string(LngRow) +
       ", column " + std::to_string(LngColumn) + " in TARCGISFileTools::LoadARCGISFile");
}

// The cell that the fast path left alone: a '+' sign, a word, a token cut by the block, or an
// error.
double ReadCellSlowly(TBlockScanner& Scanner, std::size_t LngRow, std::size_t LngColumn) {
  if (!Scanner.SkipSpace()) {
    Fail(kStgEndOfFile);
  }
  const char* PtrFirst = nullptr;
  const char* PtrLast = nullptr;
  bool BlnComplete = false;
  Scanner.TakeToken(PtrFirst, PtrLast, BlnComplete);
  double DblValue = 0.0;
  if (!BlnComplete ||
      tessgrid::detail::ParseToken(PtrFirst, PtrLast, DblValue) != TParseResult::kOk) {
    FailCell(PtrFirst, PtrLast, BlnComplete, LngRow, LngColumn);
  }
  return DblValue;
}

// Fills one row of LngColumns values straight from the block. The row grows with the input.
void ReadRow(TBlockScanner& Scanner, std::vector<double>& VecRow, std::size_t LngColumns,
             std::size_t LngRow) {
  std::size_t LngFilled = 0;
  while (LngFilled < LngColumns) {
    const std::size_t LngSize = std::min(LngColumns, std::max(kLngRowChunk, 2 * LngFilled));
    VecRow.reserve(LngSize);
    VecRow.resize(LngSize);
    double* PtrCell = VecRow.data() + LngFilled;
    double* const PtrStop = VecRow.data() + LngSize;
    const char* PtrNext = Scanner.MbrPtrNext;
    const char* PtrEnd = Scanner.MbrPtrEnd;
    while (PtrCell != PtrStop) {
      // The '\0' at the end of the block stops this scan.
      while (tessgrid::detail::IsSpace(*PtrNext)) {
        ++PtrNext;
      }
      if (PtrNext != PtrEnd) {
        const char* PtrAfter = tessgrid::detail::ParseFastNumber(PtrNext, PtrEnd, *PtrCell);
        if (PtrAfter != nullptr) {
          PtrNext = PtrAfter;
          ++PtrCell;
          continue;
        }
      }
      Scanner.MbrPtrNext = PtrNext;
      *PtrCell = ReadCellSlowly(Scanner, LngRow, static_cast<std::size_t>(PtrCell - VecRow.data()));
      ++PtrCell;
      PtrNext = Scanner.MbrPtrNext;
      PtrEnd = Scanner.MbrPtrEnd;
    }
    Scanner.MbrPtrNext = PtrNext;
    LngFilled = LngSize;
  }
}

// Edges by running sums from the south-western corner, northwards and then eastwards: the
// southern and western edges are exactly the corner read, and the writer finds them there.
void SetEdges(TMap& Map, double DblXll, double DblYll, double DblCellSize) {
  const long LngColumns = Map.MbrLngXDim;
  const long LngRows = Map.MbrLngYDim;
  TAxis YEdges(DblCellSize, LngRows + 1);
  double DblY = DblYll;
  YEdges.SetPoint(LngRows, new TPoint(DblXll, DblY));
  for (long LngK = LngRows - 1; LngK >= 0; --LngK) {
    DblY = DblY + DblCellSize;
    YEdges.SetPoint(LngK, new TPoint(DblXll, DblY));
  }
  const double DblNorth = YEdges.GetPoint(0)->MbrDblY;
  TAxis XEdges(DblCellSize, LngColumns + 1);
  double DblX = DblXll;
  XEdges.SetPoint(0, new TPoint(DblX, DblNorth));
  for (long LngK = 1; LngK <= LngColumns; ++LngK) {
    DblX = DblX + DblCellSize;
    XEdges.SetPoint(LngK, new TPoint(DblX, DblNorth));
  }
  Map.SetXAxisInterval(&XEdges);
  Map.SetYAxisInterval(&YEdges);
}

// The writer needs both edge axes (the western and the southern edge come from them) and the
// rows that WriteFlatFile will read.
void CheckEdges(const TMap* PtrMap) {
  if (PtrMap->MbrPtrXAxisInterval == nullptr || PtrMap->MbrPtrYAxisInterval == nullptr) {
    Fail("Map has no interval axes in TARCGISFileTools::WriteARCGISFile");
  }
  if (PtrMap->MbrPtrXAxisInterval->GetPoint(0) == nullptr ||
      PtrMap->MbrPtrYAxisInterval->GetPoint(PtrMap->MbrLngYDim) == nullptr) {
    Fail("Axis has an unfilled slot in TARCGISFileTools::WriteARCGISFile");
  }
  if (!tessgrid::detail::RowsHoldGrid(*PtrMap)) {
    Fail("Map rows do not match its dimensions in TMapTools::WriteFlatFile");
  }
}

}  // namespace

TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input) {
  std::string StgKey;
  long LngColumns = 0;
  long LngRows = 0;
  double DblXll = 0.0;
  double DblYll = 0.0;
  double DblCellSize = 0.0;
  ReadHeaderEntry(Input, StgKey, LngColumns, "ncols",
                  "File format error: expected to find ncols tag");
  ReadHeaderEntry(Input, StgKey, LngRows, "nrows", "File format error: expectd to find nrows tag");
  ReadHeaderEntry(Input, StgKey, DblXll, "xllcorner",
                  "File format error: expected to find xllcorner tag");
  ReadHeaderEntry(Input, StgKey, DblYll, "yllcorner",
                  "File format error: expected to find yllcorner tag");
  ReadHeaderEntry(Input, StgKey, DblCellSize, "cellsize",
                  "File format error: expected to find cellsize tag");
  StgKey.clear();
  Input >> StgKey;
  if (StgKey != "NODATA_value" && StgKey != "nodata_value") {
    Fail("File format error: expected to find NODATA_value tag");
  }

  // From here on the input is read in blocks; the no-data value obeys the rules of the cells.
  TBlockScanner Scanner(Input.rdbuf());
  if (!Scanner.SkipSpace()) {
    Fail(kStgEndOfFile);
  }
  double DblNoData = 0.0;
  {
    const char* PtrFirst = nullptr;
    const char* PtrLast = nullptr;
    bool BlnComplete = false;
    Scanner.TakeToken(PtrFirst, PtrLast, BlnComplete);
    if (!BlnComplete ||
        tessgrid::detail::ParseToken(PtrFirst, PtrLast, DblNoData) != TParseResult::kOk) {
      Fail("File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile");
    }
  }
  if (LngColumns < 0 || LngRows < 0) {
    Fail("File format error: negative ncols or nrows in TARCGISFileTools::LoadARCGISFile");
  }
  const bool BlnOverflows =
      LngColumns > 0 && LngRows > std::numeric_limits<long>::max() / LngColumns;
  const bool BlnEmptyTooLarge =
      (LngColumns == 0 || LngRows == 0) && std::max(LngColumns, LngRows) > kLngMaxEmptyDimension;
  if (BlnOverflows || BlnEmptyTooLarge) {
    Fail("File format error: ncols or nrows too large in TARCGISFileTools::LoadARCGISFile");
  }

  const std::size_t LngColumnCount = static_cast<std::size_t>(LngColumns);
  const std::size_t LngRowCount = static_cast<std::size_t>(LngRows);
  std::vector<std::vector<double>> VecRows;
  VecRows.reserve(std::min(LngRowCount, kLngRowChunk));
  for (std::size_t LngRow = 0; LngRow < LngRowCount; ++LngRow) {
    std::vector<double> VecRow;
    ReadRow(Scanner, VecRow, LngColumnCount, LngRow);
    VecRows.push_back(std::move(VecRow));
  }
  Scanner.GiveBack(Input);

  auto PtrMap = std::make_unique<TMap>(DblCellSize);
  PtrMap->MbrVecValues.swap(VecRows);
  PtrMap->MbrLngXDim = LngColumns;
  PtrMap->MbrLngYDim = LngRows;
  PtrMap->MbrDblNoDataValue = DblNoData;
  SetEdges(*PtrMap, DblXll, DblYll, DblCellSize);
  return PtrMap.release();
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName) {
  std::ifstream Input(StgFileName);
  struct stat FileStat {};
  // A folder opens for reading on some systems but holds no grid.
  if (!Input.is_open() ||
      (::stat(StgFileName.c_str(), &FileStat) == 0 && S_ISDIR(FileStat.st_mode))) {
    Fail("Unable to open file " + StgFileName);
  }
  return LoadARCGISFile(Input);
}

// The lenient header rule is not read yet: both rules read the strict header for now.
TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input, TGridHeaderMode) {
  return LoadARCGISFile(Input);
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName, TGridHeaderMode) {
  return LoadARCGISFile(std::move(StgFileName));
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::ostream& Output) {
  CheckEdges(PtrMap);
  {
    tessgrid::detail::TBlockWriter Writer(Output);
    Writer.PutText("ncols ");
    Writer.PutInteger(PtrMap->MbrLngXDim);
    Writer.PutText("\nnrows ");
    Writer.PutInteger(PtrMap->MbrLngYDim);
    Writer.PutText("\nxllcorner ");
    Writer.PutPadded(PtrMap->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 8);
    Writer.PutText("\nyllcorner ");
    Writer.PutPadded(PtrMap->MbrPtrYAxisInterval->GetPoint(PtrMap->MbrLngYDim)->MbrDblY, 8);
    Writer.PutText("\ncellsize ");
    Writer.PutNumber(PtrMap->MbrDblResolution);
    Writer.PutText("\nNODATA_value ");
    Writer.PutNumber(PtrMap->MbrDblNoDataValue);
    Writer.EndRow();
  }
  TMapTools::WriteFlatFile(PtrMap, Output, ' ');
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::string StgFileName) {
  // Every check runs before the file is touched.
  CheckEdges(PtrMap);
  tessgrid::detail::WriteFileSafely(
      StgFileName, [PtrMap](std::ostream& Output) { WriteARCGISFile(PtrMap, Output); });
}

std::vector<TMap*> TARCGISFileTools::LoadFileList(std::vector<std::string> VecFileNames) {
  std::vector<std::unique_ptr<TMap>> VecMaps;
  VecMaps.reserve(VecFileNames.size());
  for (const std::string& StgFileName : VecFileNames) {
    VecMaps.emplace_back(LoadARCGISFile(StgFileName));
  }
  std::vector<TMap*> VecResult;
  VecResult.reserve(VecMaps.size());
  for (std::unique_ptr<TMap>& PtrMap : VecMaps) {
    VecResult.push_back(PtrMap.release());
  }
  return VecResult;
}

void TARCGISFileTools::WriteFileList(std::vector<TMap*> VecMaps,
                                     std::vector<std::string> VecFileNames) {
  if (VecMaps.size() != VecFileNames.size()) {
    Fail("Size of map list and filename list do not match in TARCGISFileTools::WriteFileList");
  }
  for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
    WriteARCGISFile(VecMaps[LngI], VecFileNames[LngI]);
  }
}
