// io/GridHeader.cpp - the strict and the lenient header rule, and the checks of the dimensions.
// The declarations and their contracts are in io/GridHeader.h.
#include "io/GridHeader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "io/NumberText.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

constexpr const char* kStgEndOfFile =
    "Unexpected end of file found in TARCGISFileTools::LoadARCGISFile";
constexpr const char* kStgNoDataInvalid =
    "File format error: invalid NODATA_value in TARCGISFileTools::LoadARCGISFile";

// A grid without cells has nothing to read that could vouch for its other dimension, yet needs
// a row and edge points per unit of it; this bound keeps that to a few MiB.
constexpr long kLngMaxEmptyDimension = 1L << 16;

// A token shown in a message is cut to this length.
constexpr std::size_t kLngShownToken = 40;

bool IsDigit(int LngChar) {
  return LngChar >= '0' && LngChar <= '9';
}

bool IsLetter(int LngChar) {
  return (LngChar >= 'a' && LngChar <= 'z') || (LngChar >= 'A' && LngChar <= 'Z');
}

// Tokens of the header, read byte by byte so that nothing after the header is taken.
class THeaderTokens {
 public:
  explicit THeaderTokens(TGridSource& Source) : MbrSource(Source) {}

  // Takes white space; returns false at the end of input.
  bool SkipSpace() {
    for (;;) {
      const int LngChar = MbrSource.Peek();
      if (LngChar < 0) {
        return false;
      }
      if (!IsSpace(static_cast<char>(LngChar))) {
        return true;
      }
      MbrSource.Take();
    }
  }

  // Takes the token that starts here; returns false, having taken one byte more than the
  // bound, for a token longer than kLngMaxHeaderToken.
  bool TakeToken(std::string& StgToken) {
    StgToken.clear();
    for (;;) {
      const int LngChar = MbrSource.Peek();
      if (LngChar < 0 || IsSpace(static_cast<char>(LngChar))) {
        return true;
      }
      if (StgToken.size() == kLngMaxHeaderToken) {
        return false;
      }
      StgToken += static_cast<char>(LngChar);
      MbrSource.Take();
    }
  }

  int Peek() { return MbrSource.Peek(); }

  // Takes the byte seen by Peek and appends it to the value's text; false once the value
  // passes the bound.
  bool Append(std::string& StgText, int LngChar) {
    if (StgText.size() == kLngMaxHeaderToken) {
      return false;
    }
    StgText += static_cast<char>(LngChar);
    MbrSource.Take();
    return true;
  }

 private:
  TGridSource& MbrSource;
};

// The strict rule: each entry as `Input >> Key >> Value` read it in the "C" locale. A value
// that does not parse, or passes the bound, leaves the reader failed, and a failed reader reads
// no more: the next key is then empty and fails its check.
class TStrictHeader {
 public:
  explicit TStrictHeader(TGridSource& Source) : MbrTokens(Source), MbrBlnFailed(false) {}

  void ExpectKey(const char* PtrKey, const char* PtrOtherKey, const char* PtrMessage) {
    std::string StgKey;
    if (!MbrBlnFailed && MbrTokens.SkipSpace() && !MbrTokens.TakeToken(StgKey)) {
      Fail(PtrMessage);
    }
    if (StgKey != PtrKey && (PtrOtherKey == nullptr || StgKey != PtrOtherKey)) {
      Fail(PtrMessage);
    }
  }

  // Extraction of a long: a sign, then decimal digits, up to the first other byte.
  long ReadLong() {
    std::string StgText;
    if (MbrBlnFailed || !MbrTokens.SkipSpace()) {
      return Failed();
    }
    int LngChar = MbrTokens.Peek();
    const bool BlnNegative = LngChar == '-';
    if (LngChar == '-' || LngChar == '+') {
      MbrTokens.Append(StgText, LngChar);
      LngChar = MbrTokens.Peek();
    }
    unsigned long LngMagnitude = 0;
    const unsigned long LngLimit =
        BlnNegative ? static_cast<unsigned long>(std::numeric_limits<long>::max()) + 1
                    : static_cast<unsigned long>(std::numeric_limits<long>::max());
    bool BlnDigits = false;
    bool BlnOverflow = false;
    while (IsDigit(LngChar)) {
      if (!MbrTokens.Append(StgText, LngChar)) {
        return Failed();
      }
      const unsigned long LngDigit = static_cast<unsigned long>(LngChar - '0');
      BlnOverflow = BlnOverflow || LngMagnitude > (LngLimit - LngDigit) / 10;
      LngMagnitude = BlnOverflow ? LngMagnitude : LngMagnitude * 10 + LngDigit;
      BlnDigits = true;
      LngChar = MbrTokens.Peek();
    }
    if (!BlnDigits || BlnOverflow) {
      return Failed();
    }
    // The most negative long has no positive counterpart; 0 - magnitude in unsigned arithmetic
    // gives its bit pattern.
    return BlnNegative ? static_cast<long>(0UL - LngMagnitude) : static_cast<long>(LngMagnitude);
  }

  // Extraction of a double: the bytes it accepts (a sign, digits with one point, an exponent
  // after a digit), then the text converted as a whole.
  double ReadDouble() {
    std::string StgText;
    if (MbrBlnFailed || !MbrTokens.SkipSpace()) {
      return Failed();
    }
    int LngChar = MbrTokens.Peek();
    if (LngChar == '-' || LngChar == '+') {
      MbrTokens.Append(StgText, LngChar);
      LngChar = MbrTokens.Peek();
    }
    bool BlnMantissa = false;
    bool BlnPoint = false;
    bool BlnExponent = false;
    for (;;) {
      if (IsDigit(LngChar)) {
        BlnMantissa = true;
      } else if (LngChar == '.' && !BlnPoint && !BlnExponent) {
        BlnPoint = true;
      } else if ((LngChar == 'e' || LngChar == 'E') && !BlnExponent && BlnMantissa) {
        BlnExponent = true;
        if (!MbrTokens.Append(StgText, LngChar)) {
          return Failed();
        }
        LngChar = MbrTokens.Peek();
        if (LngChar != '-' && LngChar != '+') {
          continue;
        }
      } else {
        break;
      }
      if (!MbrTokens.Append(StgText, LngChar)) {
        return Failed();
      }
      LngChar = MbrTokens.Peek();
    }
    double DblValue = 0.0;
    if (ParseToken(StgText.data(), StgText.data() + StgText.size(), DblValue) !=
        TParseResult::kOk) {
      return Failed();
    }
    return DblValue;
  }

  // The no-data value follows the rules of a cell: one whole token that is a number.
  double ReadNoData() {
    if (!MbrTokens.SkipSpace()) {
      Fail(kStgEndOfFile);
    }
    std::string StgToken;
    double DblValue = 0.0;
    if (!MbrTokens.TakeToken(StgToken) ||
        ParseToken(StgToken.data(), StgToken.data() + StgToken.size(), DblValue) !=
            TParseResult::kOk) {
      Fail(kStgNoDataInvalid);
    }
    return DblValue;
  }

 private:
  int Failed() {
    MbrBlnFailed = true;
    return 0;
  }

  THeaderTokens MbrTokens;
  bool MbrBlnFailed;  ///< a value did not parse; nothing more is read
};

TGridHeader ReadStrictHeader(TGridSource& Source) {
  TStrictHeader Header(Source);
  TGridHeader Result;
  Header.ExpectKey("ncols", nullptr, "File format error: expected to find ncols tag");
  Result.LngColumns = Header.ReadLong();
  Header.ExpectKey("nrows", nullptr, "File format error: expectd to find nrows tag");
  Result.LngRows = Header.ReadLong();
  Header.ExpectKey("xllcorner", nullptr, "File format error: expected to find xllcorner tag");
  Result.DblXll = Header.ReadDouble();
  Header.ExpectKey("yllcorner", nullptr, "File format error: expected to find yllcorner tag");
  Result.DblYll = Header.ReadDouble();
  Header.ExpectKey("cellsize", nullptr, "File format error: expected to find cellsize tag");
  Result.DblCellSize = Header.ReadDouble();
  Header.ExpectKey("NODATA_value", "nodata_value",
                   "File format error: expected to find NODATA_value tag");
  Result.DblNoData = Header.ReadNoData();
  return Result;
}

// The entries of a lenient header; the two spellings of a corner are one entry, and so are
// cellsize and the pair dx, dy.
enum TEntry { kColumns, kRows, kXCorner, kXCentre, kYCorner, kYCentre, kSize, kDx, kDy, kNoData };

struct TKeyName {
  const char* PtrName;  ///< lower case
  TEntry Entry;
};

constexpr TKeyName kVecKeys[] = {{"ncols", kColumns},
                                 {"nrows", kRows},
                                 {"xllcorner", kXCorner},
                                 {"xllcenter", kXCentre},
                                 {"yllcorner", kYCorner},
                                 {"yllcenter", kYCentre},
                                 {"cellsize", kSize},
                                 {"dx", kDx},
                                 {"dy", kDy},
                                 {"nodata_value", kNoData}};

// The message for a value of the entry that is not a number of its kind.
const char* InvalidValueMessage(TEntry Entry) {
  switch (Entry) {
    case kColumns:
      return "File format error: invalid ncols in TARCGISFileTools::LoadARCGISFile";
    case kRows:
      return "File format error: invalid nrows in TARCGISFileTools::LoadARCGISFile";
    case kXCorner:
      return "File format error: invalid xllcorner in TARCGISFileTools::LoadARCGISFile";
    case kXCentre:
      return "File format error: invalid xllcenter in TARCGISFileTools::LoadARCGISFile";
    case kYCorner:
      return "File format error: invalid yllcorner in TARCGISFileTools::LoadARCGISFile";
    case kYCentre:
      return "File format error: invalid yllcenter in TARCGISFileTools::LoadARCGISFile";
    case kSize:
      return "File format error: invalid cellsize in TARCGISFileTools::LoadARCGISFile";
    case kDx:
      return "File format error: invalid dx in TARCGISFileTools::LoadARCGISFile";
    case kDy:
      return "File format error: invalid dy in TARCGISFileTools::LoadARCGISFile";
    case kNoData:
      break;
  }
  return kStgNoDataInvalid;
}

// What a real entry must hold: any number for the no-data value, a finite one for the others.
bool IsValidReal(TEntry Entry, double DblValue) {
  return Entry == kNoData || std::isfinite(DblValue);
}

// Other programs' grids are read without the strict rule's shape, but a cell must still have a
// size: zero, negative or not-a-number sizes give grids whose cells overlap or vanish. The entry
// names the size in the message.
void CheckCellSize(double DblCellSize, TEntry Entry) {
  if (!(DblCellSize > 0)) {
    Fail(InvalidValueMessage(Entry));
  }
}

// Edges beyond the range of double would be infinities, and every lookup on them fails.
void CheckExtent(const TGridHeader& Header) {
  const double DblEast =
      Header.DblXll + static_cast<double>(Header.LngColumns) * Header.DblCellSize;
  const double DblNorth = Header.DblYll + static_cast<double>(Header.LngRows) * Header.DblCellSize;
  if (!std::isfinite(Header.DblXll) || !std::isfinite(Header.DblYll) || !std::isfinite(DblEast) ||
      !std::isfinite(DblNorth)) {
    Fail("File format error: grid extent is not finite in TARCGISFileTools::LoadARCGISFile");
  }
}

// A whole token as a long: a sign and decimal digits, nothing else.
bool ParseWholeLong(const std::string& StgToken, long& LngValue) {
  std::size_t LngAt = StgToken[0] == '-' || StgToken[0] == '+' ? 1 : 0;
  if (LngAt == StgToken.size()) {
    return false;
  }
  long LngResult = 0;
  const bool BlnNegative = StgToken[0] == '-';
  for (; LngAt < StgToken.size(); ++LngAt) {
    const int LngDigit = StgToken[LngAt] - '0';
    if (LngDigit < 0 || LngDigit > 9 ||
        LngResult > (std::numeric_limits<long>::max() - LngDigit) / 10) {
      return false;
    }
    LngResult = LngResult * 10 + LngDigit;
  }
  LngValue = BlnNegative ? -LngResult : LngResult;
  return true;
}

std::string Lower(std::string StgText) {
  for (char& ChrByte : StgText) {
    if (ChrByte >= 'A' && ChrByte <= 'Z') {
      ChrByte = static_cast<char>(ChrByte - 'A' + 'a');
    }
  }
  return StgText;
}

// The lenient rule: keys in any letter case and order up to the first token that does not
// begin with a letter; the corners or the centres; no NODATA_value entry.
TGridHeader ReadLenientHeader(TGridSource& Source, std::string& StgFirstCell) {
  THeaderTokens Tokens(Source);
  bool VecSeen[kNoData + 1] = {};
  double VecReal[kNoData + 1] = {};
  long LngColumns = 0;
  long LngRows = 0;
  std::string StgKey;
  std::string StgValue;
  while (Tokens.SkipSpace() && IsLetter(Tokens.Peek())) {
    const bool BlnWhole = Tokens.TakeToken(StgKey);
    if (BlnWhole && (StgKey == "nan" || StgKey == "inf")) {
      // The writer's text for a first cell that is not finite.
      StgFirstCell = StgKey;
      break;
    }
    const std::string StgLower = Lower(StgKey);
    const TKeyName* PtrKey =
        std::find_if(std::begin(kVecKeys), std::end(kVecKeys),
                     [&StgLower](const TKeyName& Key) { return StgLower == Key.PtrName; });
    if (!BlnWhole || PtrKey == std::end(kVecKeys)) {
      Fail("File format error: unknown header key '" +
           ShownToken(StgKey.data(), StgKey.data() + StgKey.size()) +
           "' in TARCGISFileTools::LoadARCGISFile");
    }
    const TEntry Entry = PtrKey->Entry;
    const bool BlnRepeats = VecSeen[Entry] || (Entry == kXCorner && VecSeen[kXCentre]) ||
                            (Entry == kXCentre && VecSeen[kXCorner]) ||
                            (Entry == kYCorner && VecSeen[kYCentre]) ||
                            (Entry == kYCentre && VecSeen[kYCorner]) ||
                            (Entry == kSize && (VecSeen[kDx] || VecSeen[kDy])) ||
                            ((Entry == kDx || Entry == kDy) && VecSeen[kSize]);
    if (BlnRepeats) {
      Fail("File format error: duplicate header entry " +
           ShownToken(StgKey.data(), StgKey.data() + StgKey.size()) +
           " in TARCGISFileTools::LoadARCGISFile");
    }
    VecSeen[Entry] = true;
    if (!Tokens.SkipSpace()) {
      Fail(kStgEndOfFile);
    }
    const bool BlnValueWhole = Tokens.TakeToken(StgValue);
    bool BlnValid = BlnValueWhole;
    if (BlnValid && (Entry == kColumns || Entry == kRows)) {
      BlnValid = ParseWholeLong(StgValue, Entry == kColumns ? LngColumns : LngRows);
    } else if (BlnValid) {
      double& DblValue = VecReal[Entry];
      BlnValid = ParseToken(StgValue.data(), StgValue.data() + StgValue.size(), DblValue) ==
                     TParseResult::kOk &&
                 IsValidReal(Entry, DblValue);
    }
    if (!BlnValid) {
      Fail(InvalidValueMessage(Entry));
    }
  }

  if (!VecSeen[kColumns]) {
    Fail("File format error: expected to find ncols tag");
  }
  if (!VecSeen[kRows]) {
    Fail("File format error: expectd to find nrows tag");
  }
  if (!VecSeen[kXCorner] && !VecSeen[kXCentre]) {
    Fail("File format error: expected to find xllcorner tag");
  }
  if (!VecSeen[kYCorner] && !VecSeen[kYCentre]) {
    Fail("File format error: expected to find yllcorner tag");
  }
  if (!VecSeen[kSize] && !(VecSeen[kDx] && VecSeen[kDy])) {
    Fail("File format error: expected to find cellsize tag");
  }
  TGridHeader Result;
  Result.LngColumns = LngColumns;
  Result.LngRows = LngRows;
  if (VecSeen[kDx]) {
    // The map has one resolution; dx and dy of the same value are that resolution.
    if (VecReal[kDx] != VecReal[kDy]) {
      Fail(
          "File format error: cells are not square (dx differs from dy) in "
          "TARCGISFileTools::LoadARCGISFile");
    }
    Result.DblCellSize = VecReal[kDx];
  } else {
    Result.DblCellSize = VecReal[kSize];
  }
  CheckCellSize(Result.DblCellSize, VecSeen[kDx] ? kDx : kSize);
  // A centre gives the corner half a cell to the south-west, as if that corner had been written.
  Result.DblXll =
      VecSeen[kXCorner] ? VecReal[kXCorner] : VecReal[kXCentre] - Result.DblCellSize / 2;
  Result.DblYll =
      VecSeen[kYCorner] ? VecReal[kYCorner] : VecReal[kYCentre] - Result.DblCellSize / 2;
  CheckExtent(Result);
  Result.BlnNoDataRead = VecSeen[kNoData];
  Result.DblNoData = VecSeen[kNoData] ? VecReal[kNoData] : -9999.0;
  return Result;
}

void CheckDimensions(const TGridHeader& Header) {
  const long LngColumns = Header.LngColumns;
  const long LngRows = Header.LngRows;
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
}

}  // namespace

TGridHeader ReadGridHeader(TGridSource& Source, TGridHeaderMode Mode, std::string& StgFirstCell) {
  StgFirstCell.clear();
  const TGridHeader Header = Mode == TGridHeaderMode::kLenient
                                 ? ReadLenientHeader(Source, StgFirstCell)
                                 : ReadStrictHeader(Source);
  CheckDimensions(Header);
  return Header;
}

void CheckGridHeader(const TGridHeader& Header) {
  const std::pair<TEntry, double> kVecReals[] = {
      {kXCorner, Header.DblXll}, {kYCorner, Header.DblYll}, {kSize, Header.DblCellSize}};
  for (const auto& [Entry, DblValue] : kVecReals) {
    if (!IsValidReal(Entry, DblValue)) {
      Fail(InvalidValueMessage(Entry));
    }
  }
  CheckCellSize(Header.DblCellSize, kSize);
  CheckExtent(Header);
  CheckDimensions(Header);
}

std::string ShownToken(const char* PtrFirst, const char* PtrLast) {
  static const char kChrHex[] = "0123456789abcdef";
  const std::size_t LngLength = static_cast<std::size_t>(PtrLast - PtrFirst);
  std::string StgToken;
  for (const char* PtrChar = PtrFirst; PtrChar != PtrFirst + std::min(LngLength, kLngShownToken);
       ++PtrChar) {
    const auto ChrByte = static_cast<unsigned char>(*PtrChar);
    if (ChrByte >= 0x20 && ChrByte < 0x7f) {
      StgToken += static_cast<char>(ChrByte);
    } else {
      StgToken += "\\x";
      StgToken += kChrHex[ChrByte >> 4];
      StgToken += kChrHex[ChrByte & 0xf];
    }
  }
  if (LngLength > kLngShownToken) {
    StgToken += "...";
  }
  return StgToken;
}

}  // namespace tessgrid::detail
