// io/BlockWriter.h - TBlockWriter: text for a stream gathered in one block and handed over in
// large writes. io/BlockWriter.cpp drains the block; the grid, row and CSV writers use it.
#ifndef IO_BLOCKWRITER_H
#define IO_BLOCKWRITER_H

#include <cstddef>
#include <memory>
#include <ostream>

#include "io/NumberText.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// Returns whether every value's text in the format fits in kLngNumberChars: the default format
/// with a precision of 6 to 12, whose texts have at most 17 digits whatever the digit cap.
inline bool FitsNumberChars(const TNumberFormat& Format) {
  return Format.BlnDefault && Format.LngPrecision >= 6 && Format.LngPrecision <= 12;
}

/// How FormatCell may take the plain-decimal path (FormatPlainDecimal).
enum class TPlainDecimals {
  kNone,   ///< not at all
  kRule,   ///< for every value it serves: the rule's own digit cap
  kExact,  ///< for exact short decimals only: a digit cap above twelve
};

/// Returns how FormatCell may take the plain-decimal path for the format: only for one whose
/// texts fit in kLngNumberChars, and under a digit cap of twelve or more.
inline TPlainDecimals PlainDecimalsOf(const TNumberFormat& Format) {
  if (!FitsNumberChars(Format) || Format.LngMaxDigits < kLngRuleDigits) {
    return TPlainDecimals::kNone;
  }
  return Format.LngMaxDigits == kLngRuleDigits ? TPlainDecimals::kRule : TPlainDecimals::kExact;
}

/// Writes the value in the format to PtrOut, which has LngRoom characters (at least
/// kLngNumberChars), and returns the length of its text; a length beyond LngRoom means nothing
/// was written (see FormatNumber). Plain is PlainDecimalsOf(Format).
inline std::size_t FormatCell(char* PtrOut, std::size_t LngRoom, double DblValue,
                              const TNumberFormat& Format, TPlainDecimals Plain) {
  if (Plain != TPlainDecimals::kNone) {
    const std::size_t LngPlain =
        FormatPlainDecimal(PtrOut, DblValue, Format.LngPrecision, Plain == TPlainDecimals::kExact);
    if (LngPlain != 0) {
      return LngPlain;
    }
  }
  return FormatNumber(PtrOut, LngRoom, DblValue, Format);
}

/// Formats numbers and characters into a block and writes the block to the stream when it is
/// full or when the caller ends a row with EndRow. Numbers follow the stream's format as
/// captured at construction, with the digit cap given there (see FormatNumber). Nothing is
/// written after the stream has failed; the stream's state tells the caller.
class TBlockWriter {
 public:
  static constexpr std::size_t kLngBlockSize = std::size_t{1} << 16;

  /// Prepares to write to the stream, numbers taking at most LngMaxDigits digits by the rule.
  explicit TBlockWriter(std::ostream& Output, int LngMaxDigits = kLngRuleDigits);
  TBlockWriter(const TBlockWriter&) = delete;
  TBlockWriter& operator=(const TBlockWriter&) = delete;

  void PutNumber(double DblValue) {
    if (static_cast<std::size_t>(MbrPtrEnd - MbrPtrNext) < kLngNumberChars) {
      Drain();
    }
    const std::size_t LngRoom = static_cast<std::size_t>(MbrPtrEnd - MbrPtrNext);
    const std::size_t LngLength =
        FormatCell(MbrPtrNext, LngRoom, DblValue, MbrFormat, MbrPlainDecimals);
    if (LngLength > LngRoom) {
      PutLongNumber(DblValue, false);
      return;
    }
    MbrPtrNext += LngLength;
  }

  /// Writes the number as PutNumber does, a whole number followed by ".0" (MarkWholeNumber).
  void PutMarkedNumber(double DblValue) {
    if (static_cast<std::size_t>(MbrPtrEnd - MbrPtrNext) < kLngNumberChars + 2) {
      Drain();
    }
    const std::size_t LngRoom = static_cast<std::size_t>(MbrPtrEnd - MbrPtrNext) - 2;
    const std::size_t LngLength =
        FormatCell(MbrPtrNext, LngRoom, DblValue, MbrFormat, MbrPlainDecimals);
    if (LngLength > LngRoom) {
      PutLongNumber(DblValue, true);
      return;
    }
    MbrPtrNext += MarkWholeNumber(MbrPtrNext, LngLength);
  }

  void PutChar(char ChrValue) {
    if (MbrPtrNext == MbrPtrEnd) {
      Drain();
    }
    *MbrPtrNext++ = ChrValue;
  }

  /// Writes the text.
  void PutText(const char* PtrText);

  /// Writes the integer in decimal.
  void PutInteger(long LngValue);

  /// Writes the number right-aligned in a field of the width, padded with the stream's fill
  /// character (left-aligned when the stream says left); a longer number takes more room.
  void PutPadded(double DblValue, std::size_t LngWidth);

  /// Writes a line end, hands the block to the stream and flushes it.
  void EndRow();

  /// Hands the block to the stream and flushes it.
  void Finish();

  /// True while the stream has taken everything so far.
  bool Good() const { return MbrOutput.good(); }

 private:
  void Drain();
  void PutLongNumber(double DblValue, bool BlnMarkWhole);

  std::ostream& MbrOutput;
  TNumberFormat MbrFormat;
  TPlainDecimals MbrPlainDecimals;  ///< PlainDecimalsOf(MbrFormat)
  std::unique_ptr<char[]> MbrPtrBlock;
  char* MbrPtrNext;
  char* MbrPtrEnd;
};

/// True when the value grid holds at least MbrLngYDim rows of MbrLngXDim values each, so that
/// the writers can read the rows directly.
inline bool RowsHoldGrid(const TMap& Map) {
  const std::size_t LngColumns = static_cast<std::size_t>(Map.MbrLngXDim > 0 ? Map.MbrLngXDim : 0);
  const std::size_t LngRows = static_cast<std::size_t>(Map.MbrLngYDim > 0 ? Map.MbrLngYDim : 0);
  if (Map.MbrVecValues.size() < LngRows) {
    return false;
  }
  for (std::size_t LngRow = 0; LngRow < LngRows; ++LngRow) {
    if (Map.MbrVecValues[LngRow].size() < LngColumns) {
      return false;
    }
  }
  return true;
}

}  // namespace tessgrid::detail

#endif  // IO_BLOCKWRITER_H
