// tests/io/NumberTextTest.cpp - the writers' digit rule and the reader's token rules.
// Checked against printf and stream extraction, the behaviours they stand in for.
#include "io/NumberText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using tessgrid::detail::NumberFormatOf;
using tessgrid::detail::NumberText;
using tessgrid::detail::ParseToken;
using tessgrid::detail::TParseResult;

namespace {

std::string Written(double DblValue, std::streamsize LngPrecision = 6) {
  std::ostringstream Stream;
  Stream.precision(LngPrecision);
  return NumberText(DblValue, NumberFormatOf(Stream));
}

std::string WrittenWithCap(double DblValue, int LngMaxDigits, std::streamsize LngPrecision = 6) {
  std::ostringstream Stream;
  Stream.precision(LngPrecision);
  return NumberText(DblValue, NumberFormatOf(Stream, LngMaxDigits));
}

// The fewest digits from the precision on whose printf text reads back, or 17.
int FewestDigits(double DblValue, int LngPrecision) {
  char ChrText[64];
  int LngDigits = LngPrecision;
  for (; LngDigits < 17; ++LngDigits) {
    std::snprintf(ChrText, sizeof ChrText, "%.*g", LngDigits, DblValue);
    if (std::strtod(ChrText, nullptr) == DblValue) {
      break;
    }
  }
  return LngDigits;
}

std::string Printf(double DblValue, int LngDigits) {
  char ChrText[64];
  std::snprintf(ChrText, sizeof ChrText, "%.*g", LngDigits, DblValue);
  return ChrText;
}

// printf with the rule's digit count: what the formatter must equal.
std::string Expected(double DblValue, int LngPrecision, int LngMaxDigits = 12) {
  return Printf(DblValue, std::max(LngPrecision,
                                   std::min(FewestDigits(DblValue, LngPrecision), LngMaxDigits)));
}

// Values of every kind the formatter has a path for, and powers of two, some of which round at
// a tie to a text of their shortest length that does not read back.
std::vector<double> VariedValues() {
  std::vector<double> VecValues = {0.1 + 0.2,
                                   1.0 / 3.0,
                                   2.0 / 3.0,
                                   -0.0,
                                   0.0,
                                   1e22,
                                   1e23,
                                   5123456.25,
                                   -9999.0,
                                   123456789012345.0,
                                   std::numeric_limits<double>::max(),
                                   std::numeric_limits<double>::min(),
                                   std::numeric_limits<double>::denorm_min(),
                                   std::numeric_limits<double>::epsilon()};
  for (int LngExponent = -1074; LngExponent <= 1023; ++LngExponent) {
    VecValues.push_back(std::ldexp(1.0, LngExponent));
  }
  std::mt19937_64 Random(17);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  std::uniform_int_distribution<int> Decimals(0, 9);
  std::uniform_int_distribution<int> Scale(-30, 30);
  for (int LngI = 0; LngI < 40000; ++LngI) {
    char ChrText[64];
    switch (LngI % 4) {
      case 0:  // short decimals, as in real grids
        std::snprintf(ChrText, sizeof ChrText, "%.*f", Decimals(Random),
                      (Uniform(Random) - 0.3) * 5000.0);
        VecValues.push_back(std::strtod(ChrText, nullptr));
        break;
      case 1:  // sums of short decimals: one rounding off a decimal
        VecValues.push_back(std::round(Uniform(Random) * 1e6) / 1e3 +
                            std::round(Uniform(Random) * 1e5) / 1e5);
        break;
      case 2:  // any bits of any magnitude
        VecValues.push_back((Uniform(Random) - 0.5) * std::pow(10.0, Scale(Random)));
        break;
      default: {  // any finite bit pattern, subnormals included
        std::uint64_t LngBits = Random();
        double DblValue = 0.0;
        std::memcpy(&DblValue, &LngBits, sizeof DblValue);
        VecValues.push_back(std::isfinite(DblValue) ? DblValue : 1.0 + LngI);
        break;
      }
    }
  }
  return VecValues;
}

TParseResult Parse(const std::string& StgToken, double& DblValue) {
  return ParseToken(StgToken.data(), StgToken.data() + StgToken.size(), DblValue);
}

// The hot path of the reader, given a token followed by a blank and the scanner's '\0'.
bool ParsesFast(const std::string& StgToken, double& DblValue) {
  const std::string StgBlock = StgToken + " ";
  return tessgrid::detail::ParseFastNumber(StgBlock.c_str(), StgBlock.c_str() + StgBlock.size(),
                                           DblValue) == StgBlock.c_str() + StgToken.size();
}

}  // namespace

TEST(NumberTextTest, ValuesSixDigitsHoldAreWrittenAsTheDefaultFormatWritesThem) {
  EXPECT_EQ(Written(0.5), "0.5");
  EXPECT_EQ(Written(100), "100");
  EXPECT_EQ(Written(-9999), "-9999");
  EXPECT_EQ(Written(123.457), "123.457");
  EXPECT_EQ(Written(1200000), "1.2e+06");
  EXPECT_EQ(Written(1e-5), "1e-05");
  EXPECT_EQ(Written(0.0001), "0.0001");
  EXPECT_EQ(Written(0), "0");
  EXPECT_EQ(Written(-0.0), "-0");
}

TEST(NumberTextTest, ValuesNeedingMoreDigitsKeepThemUpToTwelve) {
  EXPECT_EQ(Written(1234567), "1234567");
  EXPECT_EQ(Written(5123456.25), "5123456.25");
  EXPECT_EQ(Written(2.0 / 3.0), "0.666666666667");
  EXPECT_EQ(Written(123.4567), "123.4567");
  EXPECT_EQ(Written(-0.000123456789), "-0.000123456789");
}

TEST(NumberTextTest, NoiseBeyondTheTwelfthDigitIsNotWritten) {
  EXPECT_EQ(Written(0.1 + 0.2), "0.3");
  EXPECT_EQ(Written(100.0 + 0.1 + 0.1 + 0.1), "100.3");
}

TEST(NumberTextTest, ValuesThatAreNotFiniteUseThePrintfWords) {
  EXPECT_EQ(Written(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(Written(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(Written(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(Written(-std::numeric_limits<double>::quiet_NaN()), "-nan");
  for (const int LngMaxDigits : {6, 17}) {
    EXPECT_EQ(WrittenWithCap(std::numeric_limits<double>::infinity(), LngMaxDigits), "inf");
    EXPECT_EQ(WrittenWithCap(-std::numeric_limits<double>::infinity(), LngMaxDigits), "-inf");
    EXPECT_EQ(WrittenWithCap(std::numeric_limits<double>::quiet_NaN(), LngMaxDigits), "nan");
    EXPECT_EQ(WrittenWithCap(-std::numeric_limits<double>::quiet_NaN(), LngMaxDigits), "-nan");
  }
}

TEST(NumberTextTest, ADigitCapBoundsTheDigitsAValueTakesToReadBack) {
  EXPECT_EQ(WrittenWithCap(123456.789, 6), "123457");
  EXPECT_EQ(WrittenWithCap(1.0 / 3.0, 17), "0.3333333333333333");
  EXPECT_EQ(WrittenWithCap(0.1 + 0.2, 17), "0.30000000000000004");
  // Values that read back in fewer digits take no more.
  EXPECT_EQ(WrittenWithCap(0.1, 17), "0.1");
  // 2^-24 lies halfway between two texts of sixteen digits, and the even one does not read back.
  EXPECT_EQ(WrittenWithCap(std::ldexp(1.0, -24), 16), "5.960464477539062e-08");
  EXPECT_EQ(WrittenWithCap(std::ldexp(1.0, -24), 17), "5.9604644775390625e-08");
  // The cap bounds the rule's digits, not the precision the stream asks for.
  EXPECT_EQ(WrittenWithCap(1.0 / 3.0, 6, 9), "0.333333333");
}

TEST(NumberTextTest, EveryDigitCapEqualsPrintfWithTheFewestDigitsThatReadBack) {
  // The cap of 12 is the rule the writers have always followed.
  for (const double DblValue : VariedValues()) {
    const int LngFewest = FewestDigits(DblValue, 6);
    for (int LngMaxDigits = 6; LngMaxDigits <= 17; ++LngMaxDigits) {
      ASSERT_EQ(WrittenWithCap(DblValue, LngMaxDigits),
                Printf(DblValue, std::max(6, std::min(LngFewest, LngMaxDigits))))
          << std::hexfloat << DblValue << ", cap " << LngMaxDigits;
    }
    ASSERT_EQ(WrittenWithCap(DblValue, 12), Written(DblValue)) << std::hexfloat << DblValue;
    ASSERT_EQ(WrittenWithCap(DblValue, 17, 9), Expected(DblValue, 9, 17))
        << std::hexfloat << DblValue;
  }
}

TEST(NumberTextTest, SeventeenDigitsReadEveryFiniteDoubleBackExactly) {
  std::vector<double> VecValues = VariedValues();
  std::mt19937_64 Random(23);
  for (int LngI = 0; LngI < 200000; ++LngI) {
    const std::uint64_t LngBits = Random();
    double DblValue = 0.0;
    std::memcpy(&DblValue, &LngBits, sizeof DblValue);
    if (std::isfinite(DblValue)) {
      VecValues.push_back(DblValue);
    }
  }
  for (const double DblValue : VecValues) {
    for (const double DblSigned : {DblValue, -DblValue}) {
      const std::string StgText = WrittenWithCap(DblSigned, 17);
      double DblRead = 1.0;
      ASSERT_EQ(Parse(StgText, DblRead), TParseResult::kOk) << StgText;
      // Bit for bit, so that -0 keeps its sign.
      ASSERT_EQ(std::memcmp(&DblRead, &DblSigned, sizeof DblRead), 0)
          << StgText << " for " << std::hexfloat << DblSigned;
    }
  }
}

TEST(NumberTextTest, AHigherStreamPrecisionIsHonoured) {
  EXPECT_EQ(Written(0.1, 17), "0.10000000000000001");
  EXPECT_EQ(Written(2.0 / 3.0, 3), "0.666666666667");
  EXPECT_EQ(Written(0.5, 0), "0.5");
}

TEST(NumberTextTest, FixedScientificAndOtherFlagsGiveWhatTheCallerSet) {
  std::ostringstream Stream;
  Stream << std::fixed;
  Stream.precision(2);
  EXPECT_EQ(NumberText(2.0 / 3.0, NumberFormatOf(Stream)), "0.67");
  Stream << std::scientific;
  EXPECT_EQ(NumberText(1234.5, NumberFormatOf(Stream)), "1.23e+03");
  std::ostringstream Flags;
  Flags << std::showpos << std::uppercase;
  EXPECT_EQ(NumberText(1e-7, NumberFormatOf(Flags)), "+1E-07");
  EXPECT_EQ(NumberText(2.0 / 3.0, NumberFormatOf(Flags)), "+0.666666666667");
  EXPECT_EQ(NumberText(std::ldexp(1.0, -24), NumberFormatOf(Flags, 17)), "+5.9604644775390625E-08");
  EXPECT_EQ(NumberText(2.0 / 3.0, NumberFormatOf(Stream, 17)), "6.67e-01");
}

TEST(NumberTextTest, FormatterEqualsPrintfWithTheRulesDigitsOnManyValues) {
  std::mt19937_64 Random(42);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  std::uniform_int_distribution<int> Decimals(0, 9);
  std::uniform_int_distribution<int> Scale(-30, 30);
  char ChrText[64];
  for (int LngI = 0; LngI < 200000; ++LngI) {
    double DblValue = 0.0;
    switch (LngI % 4) {
      case 0:  // short decimals, as in real grids
        std::snprintf(ChrText, sizeof ChrText, "%.*f", Decimals(Random),
                      (Uniform(Random) - 0.3) * 5000.0);
        DblValue = std::strtod(ChrText, nullptr);
        break;
      case 1:  // any bits of any magnitude
        DblValue = (Uniform(Random) - 0.5) * std::pow(10.0, Scale(Random));
        break;
      case 2:  // integers, large ones included
        DblValue = std::floor(Uniform(Random) * std::pow(10.0, Decimals(Random) + 6));
        break;
      default:  // short decimals scaled far up or down
        std::snprintf(ChrText, sizeof ChrText, "%.*fe%d", Decimals(Random), Uniform(Random),
                      Scale(Random));
        DblValue = std::strtod(ChrText, nullptr);
        break;
    }
    ASSERT_EQ(Written(DblValue), Expected(DblValue, 6)) << "value " << ChrText;
    if (LngI % 16 == 0) {
      ASSERT_EQ(Written(DblValue, 9), Expected(DblValue, 9));
    }
  }
}

TEST(NumberTextTest, SumsAndProductsOfDecimalsAreWrittenAsPrintfDoes) {
  // What arithmetic on read grids produces: values one rounding away from a short decimal.
  std::mt19937_64 Random(7);
  std::uniform_real_distribution<double> Uniform(-2000.0, 2000.0);
  std::uniform_int_distribution<int> Scale(-12, 21);
  char ChrText[64];
  for (int LngI = 0; LngI < 100000; ++LngI) {
    std::snprintf(ChrText, sizeof ChrText, "%.3f", Uniform(Random));
    const double DblA = std::strtod(ChrText, nullptr);
    std::snprintf(ChrText, sizeof ChrText, "%.5f", Uniform(Random));
    const double DblB = std::strtod(ChrText, nullptr);
    const double DblScale = std::pow(10.0, Scale(Random));
    for (const double DblValue : {DblA + DblB, DblA * DblB, (DblA - DblB) * DblScale}) {
      ASSERT_EQ(Written(DblValue), Expected(DblValue, 6)) << DblA << " " << DblB;
      ASSERT_EQ(Written(DblValue, 12), Expected(DblValue, 12)) << DblA << " " << DblB;
    }
  }
}

TEST(NumberTextTest, TinyDecimalsNeedingHighPowersOfTenAreWrittenAsPrintfDoes) {
  for (const double DblValue : {1e-9, 2.5e-12, 1.25e-15, 7e-20, 3.0517578125e-05}) {
    EXPECT_EQ(Written(DblValue), Expected(DblValue, 6));
    EXPECT_EQ(Written(-DblValue), Expected(-DblValue, 6));
  }
}

TEST(NumberTextTest, SubnormalsTakeTheRulesDigitsAsPrintfWritesThem) {
  // Their shortest digits padded with zeros are not their correctly rounded digits.
  EXPECT_EQ(Written(std::numeric_limits<double>::denorm_min()), "4.94066e-324");
  EXPECT_EQ(Written(2.7529e-319), "2.75288e-319");
  std::mt19937_64 Random(5);
  std::uniform_int_distribution<std::uint64_t> Bits(1, (std::uint64_t{1} << 52) - 1);
  std::uniform_int_distribution<int> Shift(0, 51);
  for (int LngI = 0; LngI < 5000; ++LngI) {
    const std::uint64_t LngBits =
        (Bits(Random) >> Shift(Random)) | (LngI % 2 == 0 ? 0 : 1ULL << 63);
    double DblValue = 0.0;
    std::memcpy(&DblValue, &LngBits, sizeof DblValue);
    ASSERT_EQ(Written(DblValue), Expected(DblValue, 6)) << LngBits;
    ASSERT_EQ(Written(DblValue, 12), Expected(DblValue, 12)) << LngBits;
  }
}

TEST(NumberTextTest, EveryTextWrittenReadsBackWhenTwelveDigitsHoldTheValue) {
  std::mt19937_64 Random(7);
  std::uniform_real_distribution<double> Uniform(-1e7, 1e7);
  for (int LngI = 0; LngI < 100000; ++LngI) {
    char ChrText[32];
    std::snprintf(ChrText, sizeof ChrText, "%.*g", 1 + LngI % 12, Uniform(Random));
    const double DblValue = std::strtod(ChrText, nullptr);
    double DblRead = 0.0;
    ASSERT_EQ(Parse(Written(DblValue), DblRead), TParseResult::kOk);
    ASSERT_EQ(DblRead, DblValue) << ChrText;
  }
}

TEST(NumberTextTest, TokensStreamExtractionTakesWholeGiveItsValue) {
  for (const char* PtrToken :
       {"0", "-0", "12", "+2", "-2.5", ".5", "5.", "-.5e-3", "1e5", "1E+05", "00012", "1e-310",
        "4.9e-324", "1.7976931348623157e308", "123456789012345678901234567890",
        "0.1000000000000000055511151231"}) {
    std::istringstream Stream(PtrToken);
    double DblStream = 0.0;
    Stream >> DblStream;
    ASSERT_FALSE(Stream.fail()) << PtrToken;
    double DblValue = -1.0;
    EXPECT_EQ(Parse(PtrToken, DblValue), TParseResult::kOk) << PtrToken;
    EXPECT_EQ(std::memcmp(&DblValue, &DblStream, sizeof DblValue), 0) << PtrToken;
  }
}

TEST(NumberTextTest, UnderflowReadsAsSignedZero) {
  double DblValue = 1.0;
  EXPECT_EQ(Parse("1e-400", DblValue), TParseResult::kOk);
  EXPECT_EQ(DblValue, 0.0);
  EXPECT_FALSE(std::signbit(DblValue));
  EXPECT_EQ(Parse("-0.0001e-330", DblValue), TParseResult::kOk);
  EXPECT_TRUE(std::signbit(DblValue));
}

TEST(NumberTextTest, ValuesBeyondTheRangeOfDoubleAreOutOfRange) {
  double DblValue = 0.0;
  EXPECT_EQ(Parse("1e400", DblValue), TParseResult::kOutOfRange);
  EXPECT_EQ(Parse("-1.8e308", DblValue), TParseResult::kOutOfRange);
  EXPECT_EQ(Parse("1000000000000000000000e300", DblValue), TParseResult::kOutOfRange);
}

TEST(NumberTextTest, TokensThatAreNotWholeNumbersAreInvalid) {
  for (const char* PtrToken :
       {"abc",    "",    "-",  "+",        ".",   "+-1", "--1",  "1e",   "1e+",    "0x10", "1,5",
        "1.5abc", "1-2", "e5", "infinity", "INF", "NaN", "+inf", "+nan", "nan(1)", "1..2"}) {
    double DblValue = 0.0;
    EXPECT_EQ(Parse(PtrToken, DblValue), TParseResult::kInvalid) << "'" << PtrToken << "'";
  }
}

TEST(NumberTextTest, TheWritersWordsForNonFiniteValuesReadBack) {
  double DblValue = 0.0;
  EXPECT_EQ(Parse("inf", DblValue), TParseResult::kOk);
  EXPECT_EQ(DblValue, std::numeric_limits<double>::infinity());
  EXPECT_EQ(Parse("-inf", DblValue), TParseResult::kOk);
  EXPECT_EQ(DblValue, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Parse("nan", DblValue), TParseResult::kOk);
  EXPECT_TRUE(std::isnan(DblValue));
  EXPECT_FALSE(std::signbit(DblValue));
  EXPECT_EQ(Parse("-nan", DblValue), TParseResult::kOk);
  EXPECT_TRUE(std::isnan(DblValue));
  EXPECT_TRUE(std::signbit(DblValue));
}

TEST(NumberTextTest, FastPathAgreesWithStreamExtractionOrDefers) {
  std::mt19937_64 Random(3);
  std::uniform_real_distribution<double> Uniform(-1e6, 1e6);
  std::uniform_int_distribution<int> Decimals(0, 12);
  for (int LngI = 0; LngI < 100000; ++LngI) {
    char ChrText[64];
    std::snprintf(ChrText, sizeof ChrText, "%.*f", Decimals(Random), Uniform(Random));
    std::istringstream Stream(ChrText);
    double DblStream = 0.0;
    Stream >> DblStream;
    double DblFast = 0.0;
    ASSERT_TRUE(ParsesFast(ChrText, DblFast)) << ChrText;
    ASSERT_EQ(DblFast, DblStream) << ChrText;
  }
  double DblValue = 0.0;
  for (const char* PtrToken : {"+2", "inf", "1.5x", "-", ".", "1e400"}) {
    EXPECT_FALSE(ParsesFast(PtrToken, DblValue)) << PtrToken;
  }
}

TEST(NumberTextTest, FastPathReadsDigitRunsOfEveryLengthWhereverTheyStandInABlock) {
  // Tokens one after the other as the reader meets them: runs of 0 to 24 digits before and after
  // the point, at every offset, ended by each kind of white space or by a byte that is no digit.
  std::mt19937_64 Random(5);
  std::uniform_int_distribution<int> Length(0, 24);
  std::uniform_int_distribution<int> Digit(0, 9);
  std::uniform_int_distribution<int> Pick(0, 7);
  std::string StgBlock;
  std::vector<std::size_t> VecStarts;
  for (int LngI = 0; LngI < 50000; ++LngI) {
    VecStarts.push_back(StgBlock.size());
    StgBlock += Pick(Random) == 0 ? "-" : "";
    for (int LngK = Length(Random); LngK > 0; --LngK) {
      StgBlock += static_cast<char>('0' + Digit(Random));
    }
    if (Pick(Random) < 6) {
      StgBlock += '.';
      for (int LngK = Length(Random); LngK > 0; --LngK) {
        StgBlock += static_cast<char>('0' + Digit(Random));
      }
    }
    const char* const PtrEnds[] = {"e5", ":", "/", "\xb9"};
    StgBlock += Pick(Random) == 0 ? PtrEnds[Pick(Random) % 4] : "";
    StgBlock += " \n\t\r"[Pick(Random) % 4];
  }
  const char* const PtrBlock = StgBlock.c_str();
  const char* const PtrLast = PtrBlock + StgBlock.size();
  int LngFast = 0;
  for (const std::size_t LngStart : VecStarts) {
    const char* const PtrToken = PtrBlock + LngStart;
    double DblFast = 0.0;
    const char* const PtrEnd = tessgrid::detail::ParseFastNumber(PtrToken, PtrLast, DblFast);
    if (PtrEnd == nullptr) {
      continue;
    }
    double DblExpected = 0.0;
    const std::from_chars_result Expected = std::from_chars(PtrToken, PtrLast, DblExpected);
    ASSERT_EQ(PtrEnd, Expected.ptr) << LngStart;
    ASSERT_EQ(DblFast, DblExpected) << std::string(PtrToken, PtrEnd);
    ++LngFast;
  }
  // Most tokens are ordinary numbers, and those take the fast path.
  EXPECT_GT(LngFast, 25000);
}

TEST(NumberTextTest, PlainDecimalPathEqualsPrintfOrDefers) {
  std::mt19937_64 Random(11);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  std::uniform_int_distribution<int> Decimals(0, 8);
  std::uniform_int_distribution<int> Magnitude(-2, 10);
  long LngTaken = 0;
  for (int LngI = 0; LngI < 200000; ++LngI) {
    char ChrText[64];
    std::snprintf(ChrText, sizeof ChrText, "%.*f", Decimals(Random),
                  (Uniform(Random) - 0.2) * std::pow(10.0, Magnitude(Random)));
    const double DblValue = std::strtod(ChrText, nullptr);
    for (const int LngPrecision : {6, 8, 12}) {
      char ChrOut[tessgrid::detail::kLngNumberChars];
      const std::size_t LngLength =
          tessgrid::detail::FormatPlainDecimal(ChrOut, DblValue, LngPrecision);
      if (LngLength != 0) {
        ++LngTaken;
        ASSERT_EQ(std::string(ChrOut, LngLength), Expected(DblValue, LngPrecision)) << ChrText;
      }
    }
  }
  EXPECT_GT(LngTaken, 100000);  // the path serves the usual values

  // Sums and differences of such values lie a little off their decimal, and values a few units
  // in the last place off a decimal of six places, or near half a twelfth digit, test the
  // bound of the twelve-digit case.
  std::uniform_int_distribution<int> Units(-4, 4);
  long LngOff = 0;
  for (int LngI = 0; LngI < 200000; ++LngI) {
    const double DblA = std::round((Uniform(Random) * 1e3) * 1e6) / 1e6;
    const double DblB = std::round((Uniform(Random) * 1e3 - 200) * 1e6) / 1e6;
    double DblValue = LngI % 3 == 0 ? DblA + DblB : DblA - DblB;
    if (LngI % 3 == 2) {
      DblValue = DblA + 5e-10 * (Uniform(Random) < 0.5 ? 1 : -1);
    }
    for (int LngUnit = Units(Random); LngUnit != 0; LngUnit += LngUnit > 0 ? -1 : 1) {
      DblValue = std::nextafter(DblValue, LngUnit > 0 ? 1e300 : -1e300);
    }
    for (const int LngPrecision : {6, 8, 12}) {
      char ChrOut[tessgrid::detail::kLngNumberChars];
      const std::size_t LngLength =
          tessgrid::detail::FormatPlainDecimal(ChrOut, DblValue, LngPrecision);
      if (LngLength != 0) {
        LngOff += static_cast<double>(static_cast<std::uint64_t>(std::fabs(DblValue) * 1e6 + 0.5)) /
                              1e6 !=
                          std::fabs(DblValue)
                      ? 1
                      : 0;
        ASSERT_EQ(std::string(ChrOut, LngLength), Expected(DblValue, LngPrecision))
            << std::hexfloat << DblValue;
      }
    }
  }
  EXPECT_GT(LngOff, 100000);  // most values a little off their decimal are served too
}

TEST(NumberTextTest, PlainDecimalPathUnderAHigherCapServesExactDecimalsOnly) {
  std::mt19937_64 Random(13);
  std::uniform_real_distribution<double> Uniform(0.0, 1.0);
  std::uniform_int_distribution<int> Decimals(0, 6);
  long LngTaken = 0;
  for (int LngI = 0; LngI < 100000; ++LngI) {
    char ChrText[64];
    std::snprintf(ChrText, sizeof ChrText, "%.*f", Decimals(Random), (Uniform(Random) - 0.2) * 1e4);
    const double DblDecimal = std::strtod(ChrText, nullptr);
    // A sum of two short decimals: its rule text is the decimal's, not its seventeen digits.
    const double DblSum = DblDecimal + 0.1;
    for (const double DblValue : {DblDecimal, DblSum}) {
      for (const int LngPrecision : {6, 12}) {
        char ChrOut[tessgrid::detail::kLngNumberChars];
        const std::size_t LngLength =
            tessgrid::detail::FormatPlainDecimal(ChrOut, DblValue, LngPrecision, true);
        if (LngLength != 0) {
          LngTaken += DblValue == DblDecimal ? 1 : 0;
          ASSERT_EQ(std::string(ChrOut, LngLength), Expected(DblValue, LngPrecision, 17))
              << std::hexfloat << DblValue;
        }
      }
    }
  }
  EXPECT_GT(LngTaken, 150000);  // the path still serves the usual values
}
