// io/NumberText.cpp - the digit rule of the writers and the token rules of the grid reader.
// The declarations and their contracts are in io/NumberText.h.
#include "io/NumberText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tessgrid::detail {

const double kDblExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

const char kChrDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

namespace {

// Up to this precision the correctly rounded text of a normal value whose shortest round-trip
// digits are no more than the precision is those digits padded with zeros: a normal double lies
// within a relative 1.2e-16 of its shortest text, far inside half a unit of the 15th digit. A
// subnormal one may lie much farther (5e-324 is 4.94066e-324), so it never takes that route.
constexpr int kLngMaxFastPrecision = 15;

int EffectivePrecision(const TNumberFormat& Format) {
  return Format.LngPrecision < 0 ? 6 : Format.LngPrecision;
}

// Returns the number of significant digits of the shortest text that reads back as the value.
int ShortestDigits(double DblValue) {
  char ChrText[32];
  const std::to_chars_result Result =
      std::to_chars(ChrText, ChrText + sizeof ChrText, DblValue, std::chars_format::scientific);
  int LngDigits = 0;
  for (const char* PtrChar = ChrText; PtrChar != Result.ptr && *PtrChar != 'e'; ++PtrChar) {
    LngDigits += (*PtrChar >= '0' && *PtrChar <= '9') ? 1 : 0;
  }
  return LngDigits;
}

// Returns the fewest digits from LngDigits up to the cap whose correctly rounded text reads back
// as the value, or the cap. The shortest digit count is almost always the answer; only a value
// whose rounding interval is narrower below it than above (a power of two) can round, at a tie,
// to a text of that length outside the interval, and then needs one digit more.
int DigitsReadingBack(double DblValue, int LngDigits, int LngMaxDigits) {
  if (!std::isfinite(DblValue)) {
    return LngDigits;
  }
  // Seventeen digits read back for every double.
  for (; LngDigits < LngMaxDigits && LngDigits < 17; ++LngDigits) {
    char ChrText[32];
    const std::to_chars_result Result = std::to_chars(ChrText, ChrText + sizeof ChrText, DblValue,
                                                      std::chars_format::general, LngDigits);
    double DblBack = 0.0;
    std::from_chars(ChrText, Result.ptr, DblBack);
    if (DblBack == DblValue) {
      break;
    }
  }
  return LngDigits;
}

// Copies the text when it fits; returns its length either way.
std::size_t Deliver(const char* PtrText, std::size_t LngLength, char* PtrOut, std::size_t LngRoom) {
  if (LngLength <= LngRoom) {
    std::memcpy(PtrOut, PtrText, LngLength);
  }
  return LngLength;
}

// The %.{p}g text for the default flags, through to_chars so that no C locale can change the
// decimal point.
std::size_t FormatGeneral(char* PtrOut, std::size_t LngRoom, double DblValue, int LngDigits) {
  const std::size_t LngNeed = static_cast<std::size_t>(LngDigits) + 16;
  if (LngNeed <= 64) {
    char ChrText[64];
    const std::to_chars_result Result = std::to_chars(ChrText, ChrText + sizeof ChrText, DblValue,
                                                      std::chars_format::general, LngDigits);
    return Deliver(ChrText, static_cast<std::size_t>(Result.ptr - ChrText), PtrOut, LngRoom);
  }
  std::vector<char> VecText(LngNeed + 400);
  const std::to_chars_result Result =
      std::to_chars(VecText.data(), VecText.data() + VecText.size(), DblValue,
                    std::chars_format::general, LngDigits);
  return Deliver(VecText.data(), static_cast<std::size_t>(Result.ptr - VecText.data()), PtrOut,
                 LngRoom);
}

// Any flags a caller set (fixed, scientific, showpoint, showpos, uppercase): printf with the
// conversion the stream itself uses.
std::size_t FormatPrintf(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format, int LngDigits) {
  const bool BlnHex = std::strchr(Format.StgPrintf, 'a') != nullptr ||
                      std::strchr(Format.StgPrintf, 'A') != nullptr;
  char ChrText[128];
  const int LngLength =
      BlnHex ? std::snprintf(ChrText, sizeof ChrText, Format.StgPrintf, DblValue)
             : std::snprintf(ChrText, sizeof ChrText, Format.StgPrintf, LngDigits, DblValue);
  if (LngLength < 0) {
    return 0;
  }
  if (static_cast<std::size_t>(LngLength) < sizeof ChrText) {
    return Deliver(ChrText, static_cast<std::size_t>(LngLength), PtrOut, LngRoom);
  }
  std::vector<char> VecText(static_cast<std::size_t>(LngLength) + 1);
  if (BlnHex) {
    std::snprintf(VecText.data(), VecText.size(), Format.StgPrintf, DblValue);
  } else {
    std::snprintf(VecText.data(), VecText.size(), Format.StgPrintf, LngDigits, DblValue);
  }
  return Deliver(VecText.data(), static_cast<std::size_t>(LngLength), PtrOut, LngRoom);
}

// Lays significant digits out as %.{p}g does with p = max(precision, digits): plain notation
// for decimal exponents from -4 to p - 1, exponent notation otherwise, no trailing zeros.
// Inline: both instances of FormatTwelveDigits call it, and a call would cost the fast path about
// a tenth of its speed.
inline char* LayOut(char* PtrNext, const char* PtrDigits, int LngDigits, int LngExponent,
                    int LngPrecision) {
  const int LngP = std::max(LngPrecision, LngDigits);
  if (LngExponent < -4 || LngExponent >= LngP) {
    *PtrNext++ = PtrDigits[0];
    if (LngDigits > 1) {
      *PtrNext++ = '.';
      std::memcpy(PtrNext, PtrDigits + 1, static_cast<std::size_t>(LngDigits - 1));
      PtrNext += LngDigits - 1;
    }
    *PtrNext++ = 'e';
    *PtrNext++ = LngExponent < 0 ? '-' : '+';
    const int LngMagnitude = LngExponent < 0 ? -LngExponent : LngExponent;
    if (LngMagnitude >= 100) {
      *PtrNext++ = static_cast<char>('0' + LngMagnitude / 100);
    }
    *PtrNext++ = static_cast<char>('0' + LngMagnitude / 10 % 10);
    *PtrNext++ = static_cast<char>('0' + LngMagnitude % 10);
  } else if (LngExponent >= 0) {
    const int LngWhole = LngExponent + 1;
    if (LngDigits <= LngWhole) {
      std::memcpy(PtrNext, PtrDigits, static_cast<std::size_t>(LngDigits));
      PtrNext += LngDigits;
      for (int LngI = LngDigits; LngI < LngWhole; ++LngI) {
        *PtrNext++ = '0';
      }
    } else {
      std::memcpy(PtrNext, PtrDigits, static_cast<std::size_t>(LngWhole));
      PtrNext += LngWhole;
      *PtrNext++ = '.';
      std::memcpy(PtrNext, PtrDigits + LngWhole, static_cast<std::size_t>(LngDigits - LngWhole));
      PtrNext += LngDigits - LngWhole;
    }
  } else {
    *PtrNext++ = '0';
    *PtrNext++ = '.';
    for (int LngI = -1; LngI > LngExponent; --LngI) {
      *PtrNext++ = '0';
    }
    std::memcpy(PtrNext, PtrDigits, static_cast<std::size_t>(LngDigits));
    PtrNext += LngDigits;
  }
  return PtrNext;
}

// Writes exactly LngCount decimal digits of the value (leading zeros included) ending at
// PtrEnd, two at a time.
void PutDigits(char* PtrEnd, std::uint64_t LngValue, int LngCount) {
  while (LngCount >= 2) {
    const std::size_t LngPair = static_cast<std::size_t>(LngValue % 100) * 2;
    LngValue /= 100;
    PtrEnd -= 2;
    PtrEnd[0] = kChrDigitPairs[LngPair];
    PtrEnd[1] = kChrDigitPairs[LngPair + 1];
    LngCount -= 2;
  }
  if (LngCount == 1) {
    *--PtrEnd = static_cast<char>('0' + LngValue % 10);
  }
}

// The fast path of the default format, for zero and for every value from 1e-10 to below 1e22
// (all normal), with a precision of at most 15: the value's twelve correctly rounded
// significant digits from one product by an exact power of ten. When they read back as the
// value they are its shortest digits padded with zeros (the shortest text lies within a relative
// 1.2e-16 of the value, any other twelve-digit decimal at least 1e-12 away), which written with
// p = max(precision, digits) is %g's text; otherwise the rule's twelve digits are the text.
// Returns 0, having written nothing that counts, outside that range, for a product too near a
// half to tell which way it rounds, and for a value that needs more than twelve digits under a
// precision above twelve (which asks for the precision's own rounding). Under another digit cap
// (BlnOtherCap), LngLimit is max(precision, cap), the most digits the value may take: a value
// needing more than twelve digits is left to the general route unless the limit is twelve, and
// so is one whose shortest digits exceed the limit. The rule's own instance has neither check.
template <bool BlnOtherCap>
std::size_t FormatTwelveDigits(char* PtrOut, double DblValue, int LngPrecision, int LngLimit) {
  char* PtrNext = PtrOut;
  if (std::signbit(DblValue)) {
    *PtrNext++ = '-';
  }
  const double DblMagnitude = std::fabs(DblValue);
  if (DblMagnitude == 0.0) {
    *PtrNext++ = '0';
    return static_cast<std::size_t>(PtrNext - PtrOut);
  }
  if (!(DblMagnitude >= 1e-10 && DblMagnitude < 1e22)) {
    return 0;
  }
  std::uint64_t LngBits = 0;
  std::memcpy(&LngBits, &DblMagnitude, sizeof LngBits);
  // The value lies in [2^b, 2^(b + 1)); floor(b * log10 2) is its decimal exponent or one less,
  // and the digit count below corrects it.
  const int LngBinaryExponent = static_cast<int>(LngBits >> 52) - 1023;
  int LngExponent = (LngBinaryExponent * 1233) >> 12;
  for (int LngTry = 0; LngTry < 3; ++LngTry) {
    const int LngPower = kLngRuleDigits - 1 - LngExponent;
    const double DblScaled = LngPower >= 0 ? DblMagnitude * kDblExactPowersOfTen[LngPower]
                                           : DblMagnitude / kDblExactPowersOfTen[-LngPower];
    // Positive and below 10^13 < 2^44, so the conversion is the floor.
    const std::uint64_t LngFloor = static_cast<std::uint64_t>(DblScaled);
    if (LngFloor >= 1000000000000ULL) {
      ++LngExponent;
      continue;
    }
    // Below 10^12 < 2^40 the product carries one rounding of at most 2^-13: a fraction that far
    // from one half rounds the same way as the exact product would.
    const double DblFraction = DblScaled - static_cast<double>(LngFloor);
    if (std::fabs(DblFraction - 0.5) < 1e-3) {
      return 0;
    }
    const std::uint64_t LngMantissa = LngFloor + (DblFraction > 0.5 ? 1 : 0);
    if (LngMantissa < 100000000000ULL) {
      --LngExponent;
      continue;
    }
    if (LngMantissa >= 1000000000000ULL) {
      ++LngExponent;
      continue;
    }
    // Both operands exact: the quotient or product is the double nearest to the decimal.
    const double DblBack = LngPower >= 0
                               ? static_cast<double>(LngMantissa) / kDblExactPowersOfTen[LngPower]
                               : static_cast<double>(LngMantissa) * kDblExactPowersOfTen[-LngPower];
    const bool BlnShortest = DblBack == DblMagnitude;
    if (!BlnShortest &&
        (BlnOtherCap ? LngLimit != kLngRuleDigits : LngPrecision > kLngRuleDigits)) {
      return 0;
    }
    char ChrDigits[kLngRuleDigits];
    PutDigits(ChrDigits + kLngRuleDigits, LngMantissa, kLngRuleDigits);
    int LngDigits = kLngRuleDigits;
    while (ChrDigits[LngDigits - 1] == '0') {
      --LngDigits;
    }
    if (BlnOtherCap && LngDigits > LngLimit) {
      return 0;
    }
    PtrNext = LayOut(PtrNext, ChrDigits, LngDigits, LngExponent,
                     BlnShortest ? LngPrecision : kLngRuleDigits);
    return static_cast<std::size_t>(PtrNext - PtrOut);
  }
  return 0;
}

// For a token that from_chars found beyond the range of double: true when its magnitude lies
// below 1 (an underflow, which reads as zero) rather than above the largest double.
bool MagnitudeBelowOne(const char* PtrFirst, const char* PtrLast) {
  const char* PtrChar = PtrFirst;
  long LngLead = -1;  // decimal exponent of the first non-zero digit, before the exponent part
  bool BlnSeen = false;
  for (; PtrChar != PtrLast && *PtrChar >= '0' && *PtrChar <= '9'; ++PtrChar) {
    if (BlnSeen || *PtrChar != '0') {
      BlnSeen = true;
      ++LngLead;
    }
  }
  if (PtrChar != PtrLast && *PtrChar == '.') {
    for (++PtrChar; PtrChar != PtrLast && *PtrChar >= '0' && *PtrChar <= '9'; ++PtrChar) {
      if (!BlnSeen) {
        if (*PtrChar != '0') {
          BlnSeen = true;
        } else {
          --LngLead;
        }
      }
    }
  }
  long LngExponent = 0;
  if (PtrChar != PtrLast && (*PtrChar == 'e' || *PtrChar == 'E')) {
    ++PtrChar;
    const bool BlnNegative = PtrChar != PtrLast && *PtrChar == '-';
    if (PtrChar != PtrLast && (*PtrChar == '-' || *PtrChar == '+')) {
      ++PtrChar;
    }
    for (; PtrChar != PtrLast && *PtrChar >= '0' && *PtrChar <= '9'; ++PtrChar) {
      LngExponent = std::min(LngExponent * 10 + (*PtrChar - '0'), 1000000000L);
    }
    if (BlnNegative) {
      LngExponent = -LngExponent;
    }
  }
  return LngLead + LngExponent < 0;
}

// FormatNumber under a digit cap other than the rule's; the rule's route keeps its own code.
std::size_t FormatCapped(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format) {
  const int LngPrecision = EffectivePrecision(Format);
  if (Format.BlnDefault && LngPrecision <= kLngMaxFastPrecision && LngRoom >= kLngNumberChars) {
    const std::size_t LngLength = FormatTwelveDigits<true>(
        PtrOut, DblValue, LngPrecision, std::max(LngPrecision, Format.LngMaxDigits));
    if (LngLength != 0) {
      return LngLength;
    }
  }
  int LngDigits = LngPrecision;
  if (Format.BlnGeneral) {
    LngDigits = std::max(LngPrecision, std::min(ShortestDigits(DblValue), Format.LngMaxDigits));
    LngDigits = DigitsReadingBack(DblValue, LngDigits, Format.LngMaxDigits);
  }
  if (Format.BlnDefault) {
    return FormatGeneral(PtrOut, LngRoom, DblValue, LngDigits);
  }
  return FormatPrintf(PtrOut, LngRoom, DblValue, Format, LngDigits);
}

}  // namespace

TNumberFormat NumberFormatOf(const std::ios_base& Stream, int LngMaxDigits) {
  TNumberFormat Format{};
  Format.LngMaxDigits = LngMaxDigits;
  const std::ios_base::fmtflags Flags = Stream.flags();
  const std::ios_base::fmtflags FloatField = Flags & std::ios_base::floatfield;
  Format.LngPrecision = static_cast<int>(
      std::min<std::streamsize>(Stream.precision(), std::numeric_limits<int>::max() / 2));
  Format.BlnGeneral = FloatField != std::ios_base::fixed &&
                      FloatField != std::ios_base::scientific &&
                      FloatField != (std::ios_base::fixed | std::ios_base::scientific);
  Format.BlnDefault =
      Format.BlnGeneral &&
      (Flags & (std::ios_base::showpoint | std::ios_base::showpos | std::ios_base::uppercase)) == 0;
  char* PtrNext = Format.StgPrintf;
  *PtrNext++ = '%';
  if ((Flags & std::ios_base::showpos) != 0) {
    *PtrNext++ = '+';
  }
  if ((Flags & std::ios_base::showpoint) != 0) {
    *PtrNext++ = '#';
  }
  char ChrConversion = 'g';
  if (FloatField == (std::ios_base::fixed | std::ios_base::scientific)) {
    ChrConversion = 'a';
  } else {
    *PtrNext++ = '.';
    *PtrNext++ = '*';
    ChrConversion = FloatField == std::ios_base::fixed        ? 'f'
                    : FloatField == std::ios_base::scientific ? 'e'
                                                              : 'g';
  }
  if ((Flags & std::ios_base::uppercase) != 0) {
    ChrConversion = static_cast<char>(std::toupper(static_cast<unsigned char>(ChrConversion)));
  }
  *PtrNext++ = ChrConversion;
  *PtrNext = '\0';
  return Format;
}

// Two routes besides the writers' inline one (FormatPlainDecimal): twelve digits by one product
// for the usual values, and to_chars for the rest. bench/NumberTextBench measures both against
// the plain to_chars design; a route that does not clearly beat it on its values has no place.
std::size_t FormatNumber(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format) {
  // Marked unlikely, the other caps' route stays out of the way of the rule's fast path, which
  // otherwise lost a tenth of its speed to the branch's layout.
  if (__builtin_expect(Format.LngMaxDigits != kLngRuleDigits, 0)) {
    return FormatCapped(PtrOut, LngRoom, DblValue, Format);
  }
  const int LngPrecision = EffectivePrecision(Format);
  if (Format.BlnDefault && LngPrecision <= kLngMaxFastPrecision && LngRoom >= kLngNumberChars) {
    const std::size_t LngLength = FormatTwelveDigits<false>(PtrOut, DblValue, LngPrecision, 0);
    if (LngLength != 0) {
      return LngLength;
    }
  }
  int LngDigits = LngPrecision;
  if (Format.BlnGeneral) {
    LngDigits = std::max(LngPrecision, std::min(ShortestDigits(DblValue), kLngRuleDigits));
  }
  if (Format.BlnDefault) {
    return FormatGeneral(PtrOut, LngRoom, DblValue, LngDigits);
  }
  return FormatPrintf(PtrOut, LngRoom, DblValue, Format, LngDigits);
}

std::string NumberText(double DblValue, const TNumberFormat& Format) {
  std::string StgText(kLngNumberChars, '\0');
  std::size_t LngLength = FormatNumber(&StgText[0], StgText.size(), DblValue, Format);
  if (LngLength > StgText.size()) {
    StgText.resize(LngLength);
    LngLength = FormatNumber(&StgText[0], StgText.size(), DblValue, Format);
  }
  StgText.resize(LngLength);
  return StgText;
}

TParseResult ParseToken(const char* PtrFirst, const char* PtrLast, double& DblValue) {
  const char* PtrChar = PtrFirst;
  bool BlnNegative = false;
  if (PtrChar != PtrLast && (*PtrChar == '+' || *PtrChar == '-')) {
    BlnNegative = *PtrChar == '-';
    ++PtrChar;
  }
  if (PtrChar == PtrLast || *PtrChar == '+' || *PtrChar == '-') {
    return TParseResult::kInvalid;
  }
  if (std::isalpha(static_cast<unsigned char>(*PtrChar)) != 0) {
    // Only the writer's own words for values that are not finite, so that what it writes reads
    // back; stream extraction knows none of them.
    const std::size_t LngLength = static_cast<std::size_t>(PtrLast - PtrChar);
    if (*PtrFirst == '+' || LngLength != 3) {
      return TParseResult::kInvalid;
    }
    if (std::memcmp(PtrChar, "inf", 3) == 0) {
      DblValue = BlnNegative ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
      return TParseResult::kOk;
    }
    if (std::memcmp(PtrChar, "nan", 3) == 0) {
      DblValue = BlnNegative ? -std::numeric_limits<double>::quiet_NaN()
                             : std::numeric_limits<double>::quiet_NaN();
      return TParseResult::kOk;
    }
    return TParseResult::kInvalid;
  }
  double DblParsed = 0.0;
  const std::from_chars_result Result = std::from_chars(PtrChar, PtrLast, DblParsed);
  if (Result.ptr != PtrLast) {
    return TParseResult::kInvalid;
  }
  if (Result.ec == std::errc()) {
    DblValue = BlnNegative ? -DblParsed : DblParsed;
    return TParseResult::kOk;
  }
  if (Result.ec == std::errc::result_out_of_range) {
    if (MagnitudeBelowOne(PtrChar, PtrLast)) {
      DblValue = BlnNegative ? -0.0 : 0.0;
      return TParseResult::kOk;
    }
    return TParseResult::kOutOfRange;
  }
  return TParseResult::kInvalid;
}

}  // namespace tessgrid::detail
