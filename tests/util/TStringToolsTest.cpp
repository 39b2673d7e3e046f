// tests/util/TStringToolsTest.cpp - flags, substrings, case, trimming, replacing, formatting and
// tokens.
#include "util/TStringTools.h"

#include <gtest/gtest.h>

#include "tests/support/ExpectMessage.h"

TEST(TStringToolsTest, StgToBoolAcceptsOnlyOneAndZero) {
  EXPECT_TRUE(TStringTools::StgToBool("1"));
  EXPECT_FALSE(TStringTools::StgToBool("0"));
  for (const char* PtrText : {"01", " 1", "1 ", "TRUE", ""}) {
    EXPECT_MESSAGE(TStringTools::StgToBool(PtrText),
                   "Invalid boolean string in TStringTools::HasSubstring")
        << "for '" << PtrText << "'";
  }
}

TEST(TStringToolsTest, HasSubstringFindsPartAnywhere) {
  EXPECT_TRUE(TStringTools::HasSubstring("abc", "bc"));
  EXPECT_TRUE(TStringTools::HasSubstring("abc", ""));
  EXPECT_FALSE(TStringTools::HasSubstring("", "a"));
  EXPECT_FALSE(TStringTools::HasSubstring("abc", "cb"));
}

TEST(TStringToolsTest, ToUpperChangesOnlyLettersInPlace) {
  std::string StgText = "aBc1-z";
  TStringTools::ToUpper(StgText);
  EXPECT_EQ(StgText, "ABC1-Z");
  std::string StgHigh = "\xe9x\xff";
  TStringTools::ToUpper(StgHigh);
  EXPECT_EQ(StgHigh, "\xe9X\xff");
}

TEST(TStringToolsTest, TrimRemovesOnlySpaces) {
  std::string StgText = "  a b  ";
  TStringTools::Trim(StgText);
  EXPECT_EQ(StgText, "a b");
  std::string StgSpaces = "    ";
  TStringTools::Trim(StgSpaces);
  EXPECT_EQ(StgSpaces, "");
  std::string StgTab = "\ta \n ";
  TStringTools::Trim(StgTab);
  EXPECT_EQ(StgTab, "\ta \n");
  std::string StgEmpty;
  TStringTools::Trim(StgEmpty);
  EXPECT_EQ(StgEmpty, "");
}

TEST(TStringToolsTest, FindAndReplaceNeverSearchesReplacement) {
  EXPECT_EQ(TStringTools::FindAndReplace("abab", "ab", "x"), "xx");
  EXPECT_EQ(TStringTools::FindAndReplace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(TStringTools::FindAndReplace("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(TStringTools::FindAndReplace("abc", "x", "y"), "abc");
  EXPECT_EQ(TStringTools::FindAndReplace("a.b.c", ".", ""), "abc");
}

TEST(TStringToolsTest, FindAndReplaceWithEmptySearchReturnsText) {
  EXPECT_EQ(TStringTools::FindAndReplace("abc", "", "x"), "abc");
}

TEST(TStringToolsTest, ToStringWritesAsAFreshStream) {
  EXPECT_EQ(TStringTools::ToString(-42L), "-42");
  EXPECT_EQ(TStringTools::ToString(0), "0");
  EXPECT_EQ(TStringTools::ToString(2.5), "2.5");
  EXPECT_EQ(TStringTools::ToString(100.0), "100");
  EXPECT_EQ(TStringTools::ToString(1.0 / 3.0), "0.333333");
  EXPECT_EQ(TStringTools::ToString(-9999.0), "-9999");
  EXPECT_EQ(TStringTools::ToString(1234567.0), "1.23457e+06");
  EXPECT_EQ(TStringTools::ToString(0.00001), "1e-05");
}

TEST(TStringToolsTest, TokenizeReplacesTokensAndSkipsDelimiterRuns) {
  std::vector<std::string> VecTokens{"old", "tokens", "here"};
  TStringTools::Tokenize("  a,,b ", VecTokens, " ,");
  EXPECT_EQ(VecTokens, (std::vector<std::string>{"a", "b"}));
  TStringTools::Tokenize("", VecTokens, " ");
  EXPECT_TRUE(VecTokens.empty());
  TStringTools::Tokenize(" x y", VecTokens, "");
  EXPECT_EQ(VecTokens, (std::vector<std::string>{" x y"}));
  TStringTools::Tokenize(",,,", VecTokens, ",");
  EXPECT_TRUE(VecTokens.empty());
}

TEST(TStringToolsTest, TokenizeReadsTextHeldInTheTokenVector) {
  std::vector<std::string> VecTokens{"p q r", " "};
  TStringTools::Tokenize(VecTokens[0], VecTokens, VecTokens[1]);
  EXPECT_EQ(VecTokens, (std::vector<std::string>{"p", "q", "r"}));
}
