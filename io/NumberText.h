// io/NumberText.h - the number text of grid, row and CSV files: one formatter, one parser.
// io/NumberText.cpp holds the formatter; the parser is inline because the grid reader's cell loop
// calls it for every value.
#ifndef IO_NUMBERTEXT_H
#define IO_NUMBERTEXT_H

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ios>
#include <limits>
#include <string>
#include <system_error>

namespace tessgrid::detail {

/// The most significant digits the number rule gives a value that the precision does not hold.
/// Twelve keep projected corners to the millimetre and integers up to 10^12, and stop before the
/// noise of binary fractions (0.1 + 0.2) shows.
constexpr int kLngRuleDigits = 12;

/// How a stream asks for its doubles, captured once per write call.
struct TNumberFormat {
  int LngPrecision;   ///< the stream's precision; a negative one counts as 6, as printf does
  bool BlnDefault;    ///< general format without showpoint, showpos or uppercase: the fast path
  bool BlnGeneral;    ///< neither fixed nor scientific is set, so the digit rule applies
  char StgPrintf[8];  ///< printf conversion for the other flags, e.g. "%+#.*g"; "%a" for hexfloat
  int LngMaxDigits = kLngRuleDigits;  ///< the digit rule's cap; 6 to 17 are meaningful, and 17
                                      ///< makes every finite value read back
};

/// Returns the number format of the stream's flags and precision, with the digit cap given.
TNumberFormat NumberFormatOf(const std::ios_base& Stream, int LngMaxDigits = kLngRuleDigits);

/// Room the fast path of FormatNumber needs at PtrOut.
constexpr std::size_t kLngNumberChars = 48;

/// Writes the value as the stream would with its flags, except that the general format takes
/// p = max(precision, min(shortest round-trip digits, N)) significant digits instead of the
/// precision alone, N being the format's LngMaxDigits: values the precision represents exactly
/// look as they always did, and the others keep the digits that make them read back, up to N.
/// Under a cap other than the rule's 12, p then grows up to N while the p-digit text does not
/// read back (a power of two halfway between two texts of its shortest length rounds to the one
/// outside its interval), so that p is the fewest digits from the precision to N that read back,
/// or N; under 12 the rule stays as it always was. Returns the length of the text. The text is
/// written only when it fits into LngRoom characters (at least kLngNumberChars always fit for
/// the default format); otherwise nothing is written and the caller retries with more room.
std::size_t FormatNumber(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format);

/// Exact powers of ten as doubles, 10^0 to 10^22.
extern const double kDblExactPowersOfTen[23];

/// Two-digit pairs "00" to "99", for writing digits two at a time.
extern const char kChrDigitPairs[201];

/// The writers' hot path for the default format with a precision of 6 to 12: writes a value of
/// at least 1 and below 10^precision with up to 6 decimals plainly, as %g writes it with the
/// rule's digits, and returns the length; returns 0, having written nothing that counts, for
/// any other value (FormatNumber handles it). Needs kLngNumberChars of room. BlnExactOnly serves
/// a digit cap above twelve: only values that are such decimals exactly are written, whose
/// shortest digits are the text under any such cap.
inline std::size_t FormatPlainDecimal(char* PtrOut, double DblValue, int LngPrecision,
                                      bool BlnExactOnly = false) {
  const double DblMagnitude = DblValue < 0 ? -DblValue : DblValue;
  // Below 10^9, m = value * 10^6 stays below 2^50 and the whole part below 10^9.
  if (!(DblMagnitude >= 1.0 && DblMagnitude < 1e9)) {
    return 0;
  }
  const std::uint64_t LngMantissa = static_cast<std::uint64_t>(DblMagnitude * 1e6 + 0.5);
  const std::uint64_t LngWhole = static_cast<std::uint64_t>(DblMagnitude);
  const int LngWholeDigits = 1 + (LngWhole >= 10) + (LngWhole >= 100) + (LngWhole >= 1000) +
                             (LngWhole >= 10000) + (LngWhole >= 100000) + (LngWhole >= 1000000) +
                             (LngWhole >= 10000000) + (LngWhole >= 100000000);
  // m / 10^6 reads back as the value exactly when this exact-operand quotient equals it; then
  // m holds the value's shortest digits (see FormatNumber).
  if (static_cast<double>(LngMantissa) / 1e6 != DblMagnitude) {
    // Otherwise the rule writes the value's shortest digits when there are at most twelve, and
    // its twelve digits rounded when there are more: either way the twelve digits rounded,
    // without the trailing zeros. A sum of two values of six decimals is the usual case: a
    // little off the decimal, whose twelve digits are then m's with zeros. They are when the
    // value scaled to twelve digits, v x 10^(12 - w) < 10^12 < 2^40 with one rounding of at
    // most 2^-14, lies within a quarter of m x 10^(6 - w), which is exact: the exact product is
    // then nearer to it than one half, so it rounds there.
    if (BlnExactOnly || LngWholeDigits > 6 ||
        !(std::fabs(DblMagnitude * kDblExactPowersOfTen[12 - LngWholeDigits] -
                    static_cast<double>(LngMantissa) * kDblExactPowersOfTen[6 - LngWholeDigits]) <
          0.25)) {
      return 0;
    }
  }
  const std::uint64_t LngFraction = LngMantissa - LngWhole * 1000000;
  if (LngWholeDigits > LngPrecision || LngFraction >= 1000000 ||
      (LngFraction != 0 && LngWholeDigits + 6 > LngPrecision && LngWholeDigits + 6 > 12)) {
    return 0;
  }
  char* PtrNext = PtrOut;
  *PtrNext = '-';
  PtrNext += DblValue < 0 ? 1 : 0;
  PtrNext += LngWholeDigits;
  std::uint64_t LngRest = LngWhole;
  char* PtrDigit = PtrNext;
  for (int LngLeft = LngWholeDigits; LngLeft >= 2; LngLeft -= 2) {
    const std::size_t LngPair = static_cast<std::size_t>(LngRest % 100) * 2;
    LngRest /= 100;
    PtrDigit -= 2;
    PtrDigit[0] = kChrDigitPairs[LngPair];
    PtrDigit[1] = kChrDigitPairs[LngPair + 1];
  }
  if ((LngWholeDigits & 1) != 0) {
    PtrDigit[-1] = static_cast<char>('0' + LngRest);
  }
  if (LngFraction != 0) {
    const std::size_t LngHigh = static_cast<std::size_t>(LngFraction / 10000) * 2;
    const std::size_t LngMiddle = static_cast<std::size_t>(LngFraction / 100 % 100) * 2;
    const std::size_t LngLow = static_cast<std::size_t>(LngFraction % 100) * 2;
    PtrNext[0] = '.';
    PtrNext[1] = kChrDigitPairs[LngHigh];
    PtrNext[2] = kChrDigitPairs[LngHigh + 1];
    PtrNext[3] = kChrDigitPairs[LngMiddle];
    PtrNext[4] = kChrDigitPairs[LngMiddle + 1];
    PtrNext[5] = kChrDigitPairs[LngLow];
    PtrNext[6] = kChrDigitPairs[LngLow + 1];
    // Without a branch per zero: their number varies from value to value.
    PtrNext += 7 - ((LngFraction % 10 == 0) + (LngFraction % 100 == 0) + (LngFraction % 1000 == 0) +
                    (LngFraction % 10000 == 0) + (LngFraction % 100000 == 0));
  }
  return static_cast<std::size_t>(PtrNext - PtrOut);
}

/// Appends ".0" to a number text that is a whole number without a point or an exponent ("12",
/// "-3") and returns the new length; other texts ("1.5", "1e+20", "nan", "inf") keep theirs.
/// PtrText has room for two more characters. Grids that declare nan write their cells so: a
/// reader that types a grid by its cells (GDAL's takes a grid of whole numbers for Int32, where
/// nan is no value and a nan cell reads as 0) then reads it as a grid of reals.
inline std::size_t MarkWholeNumber(char* PtrText, std::size_t LngLength) {
  for (std::size_t LngAt = 0; LngAt < LngLength; ++LngAt) {
    if (static_cast<unsigned>(PtrText[LngAt] - '0') >= 10 && PtrText[LngAt] != '-') {
      return LngLength;
    }
  }
  PtrText[LngLength] = '.';
  PtrText[LngLength + 1] = '0';
  return LngLength + 2;
}

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

/// Powers of ten 10^0 to 10^8 as integers.
inline constexpr std::uint64_t kLngPowersOfTen[9] = {1,      10,      100,      1000,     10000,
                                                     100000, 1000000, 10000000, 100000000};

/// Adds the run of digits at PtrChar to LngMantissa (times ten for each digit, plus the digit;
/// modulo 2^64) and returns the end of the run, which lies before PtrLast. Where eight bytes
/// before PtrLast can be read, they are taken at once: the digits among them found and summed
/// without a branch per byte.
inline const char* AddDigits(const char* PtrChar, const char* PtrLast, std::uint64_t& LngMantissa) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (PtrLast - PtrChar >= 8) {
    std::uint64_t LngBytes = 0;
    std::memcpy(&LngBytes, PtrChar, sizeof LngBytes);
    // Digits become 0 to 9; a byte becomes 10 or more, or gets its high bit, otherwise.
    const std::uint64_t LngValues = LngBytes ^ 0x3030303030303030U;
    const std::uint64_t LngOthers =
        (((LngValues & 0x7F7F7F7F7F7F7F7FU) + 0x7676767676767676U) | LngValues) &
        0x8080808080808080U;
    // The first byte is the lowest: the digits before the first other byte.
    const int LngCount = LngOthers == 0 ? 8 : __builtin_ctzll(LngOthers) / 8;
    if (LngCount == 0) {
      return PtrChar;
    }
    // The digits moved to the high bytes, zeros before them, summed as eight digits.
    std::uint64_t LngSum = LngValues << (8 * (8 - LngCount));
    LngSum = LngSum * 10 + (LngSum >> 8);
    LngSum = (((LngSum & 0x000000FF000000FFU) * (100 + (1000000ULL << 32))) +
              (((LngSum >> 16) & 0x000000FF000000FFU) * (1 + (10000ULL << 32)))) >>
             32;
    LngMantissa = LngMantissa * kLngPowersOfTen[LngCount] + (LngSum & 0xFFFFFFFFU);
    PtrChar += LngCount;
    if (LngCount < 8) {
      return PtrChar;
    }
  }
#endif
  while (static_cast<unsigned>(*PtrChar - '0') < 10) {
    LngMantissa = LngMantissa * 10 + static_cast<unsigned>(*PtrChar - '0');
    ++PtrChar;
  }
  return PtrChar;
}

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
  PtrChar = AddDigits(PtrChar, PtrLast, LngMantissa);
  long LngFraction = 0;
  const bool BlnPoint = *PtrChar == '.';
  if (BlnPoint) {
    const char* const PtrFraction = ++PtrChar;
    PtrChar = AddDigits(PtrChar, PtrLast, LngMantissa);
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

}  // namespace tessgrid::detail

#endif  // IO_NUMBERTEXT_H
