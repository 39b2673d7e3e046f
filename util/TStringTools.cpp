// util/TStringTools.cpp - the operations of TStringTools.
// The declarations and their contracts are in util/TStringTools.h.
#include "util/TStringTools.h"

#include <cctype>
#include <sstream>
#include <utility>

#include "model/Fail.h"

using tessgrid::detail::Fail;

bool TStringTools::StgToBool(std::string StgValue) {
  if (StgValue == "1") {
    return true;
  }
  if (StgValue == "0") {
    return false;
  }
  // The text names HasSubstring; callers match on it as it stands.
  Fail("Invalid boolean string in TStringTools::HasSubstring");
}

bool TStringTools::HasSubstring(std::string StgText, std::string StgPart) {
  return StgText.find(StgPart) != std::string::npos;
}

void TStringTools::ToUpper(std::string& StgValue) {
  for (char& ChrValue : StgValue) {
    // toupper is only defined for unsigned char values (and EOF); bytes above 127 are negative
    // chars here.
    ChrValue = static_cast<char>(std::toupper(static_cast<unsigned char>(ChrValue)));
  }
}

void TStringTools::Trim(std::string& StgValue) {
  const std::size_t LngLast = StgValue.find_last_not_of(' ');
  if (LngLast == std::string::npos) {
    StgValue.clear();
    return;
  }
  StgValue.erase(LngLast + 1);
  StgValue.erase(0, StgValue.find_first_not_of(' '));
}

std::string TStringTools::FindAndReplace(std::string StgText, std::string StgSearch,
                                         std::string StgReplacement) {
  // An empty search string is found everywhere and the loop would never end.
  if (StgSearch.empty()) {
    return StgText;
  }
  std::size_t LngPosition = StgText.find(StgSearch);
  while (LngPosition != std::string::npos) {
    StgText.replace(LngPosition, StgSearch.size(), StgReplacement);
    LngPosition = StgText.find(StgSearch, LngPosition + StgReplacement.size());
  }
  return StgText;
}

std::string TStringTools::ToString(long LngValue) {
  std::ostringstream StmText;
  StmText << LngValue;
  return StmText.str();
}

std::string TStringTools::ToString(int LngValue) {
  std::ostringstream StmText;
  StmText << LngValue;
  return StmText.str();
}

std::string TStringTools::ToString(double DblValue) {
  std::ostringstream StmText;
  StmText << DblValue;
  return StmText.str();
}

void TStringTools::Tokenize(const std::string& StgText, std::vector<std::string>& VecTokens,
                            const std::string& StgDelimiters) {
  // Built aside and swapped in, so text or delimiters that live in the token vector stay valid
  // while they are read, and a failed allocation leaves the caller's tokens as they were.
  std::vector<std::string> VecFound;
  std::size_t LngStart = StgText.find_first_not_of(StgDelimiters, 0);
  std::size_t LngEnd = StgText.find_first_of(StgDelimiters, LngStart);
  // A token end is only ever searched from a token start, so a found end implies a found start.
  while (LngStart != std::string::npos) {
    VecFound.push_back(StgText.substr(LngStart, LngEnd - LngStart));
    LngStart = StgText.find_first_not_of(StgDelimiters, LngEnd);
    LngEnd = StgText.find_first_of(StgDelimiters, LngStart);
  }
  VecTokens.swap(VecFound);
}
