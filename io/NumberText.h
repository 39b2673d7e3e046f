// io/NumberText.h - the number text of grid, row and CSV files: one formatter, one parser.
// io/NumberText.cpp holds the formatter; the parser is inline because the grid reader's cell loop
// calls it for every value.
#ifndef IO_NUMBERTEXT_H
#define IO_NUMBERTEXT_H

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ios>
#include <limits>
#include <string>
#include <system_error>

namespace tessgrid_io {

/// How a stream asks for its doubles, captured once per write call.
struct TNumberFormat {
  int LngPrecision;   ///< the stream's precision; a negative one counts as 6, as printf does
  bool BlnDefault;    ///< general format without showpoint, showpos or uppercase: the fast path
  bool BlnGeneral;    ///< neither fixed nor scientific is set, so the digit rule applies
  char StgPrintf[8];  ///< printf conversion for the other flags, e.g. "%+#.*g"; "%a" for hexfloat
};

/// Returns the number format of the stream's flags and precision.
TNumberFormat NumberFormatOf(const std::ios_base& Stream);

/// Room the fast path of FormatNumber needs at PtrOut.
constexpr std::size_t kLngNumberChars = 48;

/// Writes the value as the stream would with its flags, except that the general format takes
/// p = max(precision, min(shortest round-trip digits, 12)) significant digits instead of the
/// precision alone: values the precision represents exactly look as they always did, and the
/// others keep the digits that make them read back. Returns the length of the text. The text is
/// written only when it fits into LngRoom characters (at least kLngNumberChars always fit for
/// the default format); otherwise nothing is written and the caller retries with more room.
std::size_t FormatNumber(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format);

/// Returns the text of the value in the format, whatever its length.
std::string NumberText(double DblValue, const TNumberFormat& Format);

/// Outcome of parsing one token.
enum class TParseResult {
  kOk,          ///< a number; the value is set
  kInvalid,     ///< not a number as stream extraction reads one
  kOutOfRange,  ///< a number beyond the range of double, which stream extraction rejects
};

/// True for the characters that separate tokens, those of the "C" locale's isspace.
inline bool IsSpace(char ChrValue) {
  return ChrValue == ' ' || (ChrValue >= '\t' && ChrValue <= '\r');
}

/// Parses the whole token [PtrFirst, PtrLast) as one number. Accepts what formatted extraction of
/// a double accepts (optional sign, digits, optional fraction and exponent, ".5", "5.", "+2"),
/// with the value it gives (underflow reads as zero or a subnormal), and the texts the writer
/// produces for values that are not finite: "inf", "-inf", "nan", "-nan".
TParseResult ParseToken(const char* PtrFirst, const char* PtrLast, double& DblValue);

/// Exact powers of ten as doubles, 10^0 to 10^22.
extern const double kDblExactPowersOfTen[23];

/// The reader's hot path: parses the number that starts at PtrFirst (which must not be white
/// space and lies before PtrLast, where a character that is not a digit must stand) when it is
/// an ordinary finite number ended by white space before PtrLast. Returns the end of the number,
/// or null when the token needs ParseToken (a sign '+', a non-finite text, an error, or a token
/// that may continue beyond PtrLast).
inline const char* ParseFastNumber(const char* PtrFirst, const char* PtrLast, double& DblValue) {
  // Plain decimals of up to 19 digits whose digits fit in 53 bits need one exact division: both
  // operands are exact, so the quotient is the correctly rounded value (Clinger's fast path).
  const char* PtrChar = PtrFirst;
  const bool BlnNegative = *PtrChar == '-';
  PtrChar += BlnNegative ? 1 : 0;
  const char* const PtrDigits = PtrChar;
  std::uint64_t LngMantissa = 0;
  while (static_cast<unsigned>(*PtrChar - '0') < 10) {
    LngMantissa = LngMantissa * 10 + static_cast<unsigned>(*PtrChar - '0');
    ++PtrChar;
  }
  long LngFraction = 0;
  const bool BlnPoint = *PtrChar == '.';
  if (BlnPoint) {
    const char* const PtrFraction = ++PtrChar;
    while (static_cast<unsigned>(*PtrChar - '0') < 10) {
      LngMantissa = LngMantissa * 10 + static_cast<unsigned>(*PtrChar - '0');
      ++PtrChar;
    }
    LngFraction = PtrChar - PtrFraction;
  }
  const long LngDigits = PtrChar - PtrDigits - (BlnPoint ? 1 : 0);
  if (LngDigits > 0 && LngDigits <= 19 && LngFraction <= 22 &&
      LngMantissa <= (std::uint64_t{1} << 53) && PtrChar != PtrLast && IsSpace(*PtrChar)) {
    const double DblMagnitude = static_cast<double>(LngMantissa) /
                                kDblExactPowersOfTen[static_cast<std::size_t>(LngFraction)];
    DblValue = BlnNegative ? -DblMagnitude : DblMagnitude;
    return PtrChar;
  }
  if (*PtrFirst == '+') {
    return nullptr;
  }
  const std::from_chars_result Result = std::from_chars(PtrFirst, PtrLast, DblValue);
  if (Result.ec != std::errc() || Result.ptr == PtrLast || !IsSpace(*Result.ptr) ||
      !std::isfinite(DblValue)) {
    return nullptr;
  }
  return Result.ptr;
}

}  // namespace tessgrid_io

#endif  // IO_NUMBERTEXT_H
