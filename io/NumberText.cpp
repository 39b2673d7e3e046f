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

// Twelve digits keep projected corners to the millimetre and integers up to 10^12, and stop
// before the noise of binary fractions (0.1 + 0.2) shows.
constexpr int kLngMaxRuleDigits = 12;

// Up to this precision the correctly rounded text of a value whose shortest round-trip digits
// are no more than the precision is those digits padded with zeros: a double lies within a
// relative 1.2e-16 of its shortest text, far inside half a unit of the 15th digit.
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
char* LayOut(char* PtrNext, const char* PtrDigits, int LngDigits, int LngExponent,
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

// The shortest digits from to_chars, for any value. Returns 0 when the value needs more than
// the rule's digits and so the correctly rounded slow path.
std::size_t FormatShortest(char* PtrOut, double DblValue, int LngPrecision) {
  char ChrSci[32];
  const std::to_chars_result Result =
      std::to_chars(ChrSci, ChrSci + sizeof ChrSci, DblValue, std::chars_format::scientific);
  const char* PtrChar = ChrSci;
  char* PtrNext = PtrOut;
  if (*PtrChar == '-') {
    *PtrNext++ = *PtrChar++;
  }
  if (*PtrChar < '0' || *PtrChar > '9') {
    // inf and nan: the same words as printf.
    while (PtrChar != Result.ptr) {
      *PtrNext++ = *PtrChar++;
    }
    return static_cast<std::size_t>(PtrNext - PtrOut);
  }
  char ChrDigits[24];
  int LngDigits = 0;
  ChrDigits[LngDigits++] = *PtrChar++;
  if (*PtrChar == '.') {
    ++PtrChar;
    while (*PtrChar != 'e') {
      ChrDigits[LngDigits++] = *PtrChar++;
    }
  }
  if (LngDigits > LngPrecision && LngDigits > kLngMaxRuleDigits) {
    return 0;
  }
  // PtrChar is at 'e', then a sign and at least two digits.
  int LngExponent = 0;
  for (const char* PtrExp = PtrChar + 2; PtrExp != Result.ptr; ++PtrExp) {
    LngExponent = LngExponent * 10 + (*PtrExp - '0');
  }
  if (PtrChar[1] == '-') {
    LngExponent = -LngExponent;
  }
  PtrNext = LayOut(PtrNext, ChrDigits, LngDigits, LngExponent, LngPrecision);
  return static_cast<std::size_t>(PtrNext - PtrOut);
}

const double* const kDblPowersOfTen = kDblExactPowersOfTen;

// Finds an integer m with m / 10^k reading back as the magnitude, for 10^k exact and m below
// 2^50. Then m / 10^k is the only k-digit decimal within half a unit of the value, so m, with
// its trailing zeros dropped, holds the value's shortest digits. Returns false when none fits.
bool ExactDecimal(double DblMagnitude, int LngMaxPower, int LngPower, std::uint64_t& LngMantissa,
                  int& LngUsedPower) {
  for (;;) {
    const double DblScaled = DblMagnitude * kDblPowersOfTen[LngPower];
    const std::uint64_t LngCandidate = static_cast<std::uint64_t>(DblScaled + 0.5);
    // Both operands are exact, so the quotient is the double nearest to the decimal.
    if (static_cast<double>(LngCandidate) / kDblPowersOfTen[LngPower] == DblMagnitude) {
      LngMantissa = LngCandidate;
      LngUsedPower = LngPower;
      return true;
    }
    if (LngPower == LngMaxPower) {
      return false;
    }
    LngPower = LngMaxPower;
  }
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

int DigitCount(std::uint64_t LngValue) {
  int LngCount = 1;
  while (LngValue >= 10000) {
    LngValue /= 10000;
    LngCount += 4;
  }
  return LngCount + (LngValue >= 10) + (LngValue >= 100) + (LngValue >= 1000);
}

// The fast path: most map values are short decimals, whose digits one multiplication, one
// division and an integer conversion find; the others go through to_chars' shortest digits.
// The rule's twelve digits for a value that needs more than twelve to read back (sums and
// products of decimals mostly do), without the general path's to_chars calls: one product by an
// exact power of ten, correctly rounded unless it lies too near a half to tell. Returns 0, having
// written nothing that counts, where it cannot decide or where twelve digits read back.
std::size_t FormatTwelveDigits(char* PtrOut, double DblValue) {
  const double DblMagnitude = DblValue < 0 ? -DblValue : DblValue;
  if (!(DblMagnitude >= 1e-10 && DblMagnitude < 1e22)) {
    return 0;
  }
  int LngBinaryExponent = 0;
  std::frexp(DblMagnitude, &LngBinaryExponent);
  // floor(e * log10 2) or one less; the digit count below corrects it.
  int LngExponent = ((LngBinaryExponent - 1) * 1233) >> 12;
  std::uint64_t LngMantissa = 0;
  for (int LngTry = 0; LngTry < 3; ++LngTry) {
    const int LngPower = kLngMaxRuleDigits - 1 - LngExponent;
    const double DblScaled = LngPower >= 0 ? DblMagnitude * kDblExactPowersOfTen[LngPower]
                                           : DblMagnitude / kDblExactPowersOfTen[-LngPower];
    // The product carries one rounding, below 2^-13 at these magnitudes: a fraction that far
    // from one half rounds the same way as the exact product would.
    const double DblFloor = std::floor(DblScaled);
    const double DblFraction = DblScaled - DblFloor;
    if (std::fabs(DblFraction - 0.5) < 1e-3) {
      return 0;
    }
    LngMantissa = static_cast<std::uint64_t>(DblFloor) + (DblFraction > 0.5 ? 1 : 0);
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
    if (DblBack == DblMagnitude) {
      return 0;
    }
    char ChrDigits[kLngMaxRuleDigits];
    PutDigits(ChrDigits + kLngMaxRuleDigits, LngMantissa, kLngMaxRuleDigits);
    int LngDigits = kLngMaxRuleDigits;
    while (ChrDigits[LngDigits - 1] == '0') {
      --LngDigits;
    }
    char* PtrNext = PtrOut;
    if (DblValue < 0) {
      *PtrNext++ = '-';
    }
    PtrNext = LayOut(PtrNext, ChrDigits, LngDigits, LngExponent, kLngMaxRuleDigits);
    return static_cast<std::size_t>(PtrNext - PtrOut);
  }
  return 0;
}

std::size_t FormatFast(char* PtrOut, double DblValue, int LngPrecision) {
  char* PtrNext = PtrOut;
  std::uint64_t LngBits = 0;
  std::memcpy(&LngBits, &DblValue, sizeof LngBits);
  const int LngBinaryExponent = static_cast<int>((LngBits >> 52) & 0x7ff) - 1023;
  // Magnitudes from 2^-70 to below 2^49; zero, subnormals, infinities and NaN fall outside.
  if (LngBinaryExponent < -70 || LngBinaryExponent > 48) {
    if (DblValue == 0.0) {
      if ((LngBits >> 63) != 0) {
        *PtrNext++ = '-';
      }
      *PtrNext++ = '0';
      return static_cast<std::size_t>(PtrNext - PtrOut);
    }
    return FormatShortest(PtrOut, DblValue, LngPrecision);
  }
  // 10^k below 2^(49 - e) keeps m = value * 10^k below 2^50 (77/256 < log10 2).
  const int LngMaxPower = std::min(22, ((49 - LngBinaryExponent) * 77) >> 8);
  const double DblMagnitude = DblValue < 0 ? -DblValue : DblValue;
  std::uint64_t LngMantissa = 0;
  int LngPower = 0;
  if (!ExactDecimal(DblMagnitude, LngMaxPower, std::min(LngMaxPower, 6), LngMantissa, LngPower)) {
    const std::size_t LngLength =
        LngPrecision <= kLngMaxRuleDigits ? FormatTwelveDigits(PtrOut, DblValue) : 0;
    return LngLength != 0 ? LngLength : FormatShortest(PtrOut, DblValue, LngPrecision);
  }
  if ((LngBits >> 63) != 0) {
    *PtrNext++ = '-';
  }
  // The integer part by truncation, which a 64-bit division by 10^k would cost many times over:
  // no integer lies strictly between the value and its decimal, as both round to each other.
  // Below 1 the power may reach 10^22, beyond 64 bits; at 1 or more the mantissa bound keeps it
  // at 10^15 or less, and only that case uses the scale.
  const std::uint64_t LngWhole = static_cast<std::uint64_t>(DblMagnitude);
  const std::uint64_t LngScale =
      LngWhole == 0 ? 0 : static_cast<std::uint64_t>(kDblPowersOfTen[LngPower]);
  const std::uint64_t LngWholeScaled = LngWhole * LngScale;
  const std::uint64_t LngFraction = LngMantissa - LngWholeScaled;
  const int LngWholeDigits = DigitCount(LngWhole);
  if (LngWhole != 0 && LngWholeScaled <= LngMantissa && LngFraction < LngScale &&
      LngWholeDigits <= LngPrecision && LngWholeDigits <= kLngMaxRuleDigits) {
    // At least 1 and below 10^precision: %g writes it plainly, the integer part and then the
    // fraction without its trailing zeros.
    PtrNext += LngWholeDigits;
    PutDigits(PtrNext, LngWhole, LngWholeDigits);
    if (LngFraction != 0) {
      *PtrNext++ = '.';
      PtrNext += LngPower;
      PutDigits(PtrNext, LngFraction, LngPower);
      if (LngPower == 6) {
        // The usual case, without a branch per zero: how many trailing zeros varies from value
        // to value, and a mispredicted loop would cost more than these five tests.
        PtrNext -= (LngFraction % 10 == 0) + (LngFraction % 100 == 0) + (LngFraction % 1000 == 0) +
                   (LngFraction % 10000 == 0) + (LngFraction % 100000 == 0);
      } else {
        while (PtrNext[-1] == '0') {
          --PtrNext;
        }
      }
      const int LngDigits = static_cast<int>(PtrNext - PtrOut) - 1 - ((LngBits >> 63) != 0);
      if (LngDigits > LngPrecision && LngDigits > kLngMaxRuleDigits) {
        return 0;
      }
    }
    return static_cast<std::size_t>(PtrNext - PtrOut);
  }
  char ChrDigits[24];
  int LngDigits = DigitCount(LngMantissa);
  PutDigits(ChrDigits + LngDigits, LngMantissa, LngDigits);
  const int LngExponent = LngDigits - 1 - LngPower;
  while (LngDigits > 1 && ChrDigits[LngDigits - 1] == '0') {
    --LngDigits;
  }
  if (LngDigits > LngPrecision && LngDigits > kLngMaxRuleDigits) {
    return 0;
  }
  PtrNext = LayOut(PtrNext, ChrDigits, LngDigits, LngExponent, LngPrecision);
  return static_cast<std::size_t>(PtrNext - PtrOut);
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

}  // namespace

TNumberFormat NumberFormatOf(const std::ios_base& Stream) {
  TNumberFormat Format{};
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

std::size_t FormatNumber(char* PtrOut, std::size_t LngRoom, double DblValue,
                         const TNumberFormat& Format) {
  const int LngPrecision = EffectivePrecision(Format);
  if (Format.BlnDefault && LngPrecision <= kLngMaxFastPrecision && LngRoom >= kLngNumberChars) {
    const std::size_t LngLength = FormatFast(PtrOut, DblValue, LngPrecision);
    if (LngLength != 0) {
      return LngLength;
    }
  }
  int LngDigits = LngPrecision;
  if (Format.BlnGeneral) {
    LngDigits = std::max(LngPrecision, std::min(ShortestDigits(DblValue), kLngMaxRuleDigits));
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
