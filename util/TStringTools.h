// util/TStringTools.h - TStringTools: flag parsing, substring tests, upper-casing, trimming,
// replacing, number formatting and tokenising of byte strings. Definitions in
// util/TStringTools.cpp.
#ifndef UTIL_TSTRINGTOOLS_H
#define UTIL_TSTRINGTOOLS_H

#include <string>
#include <vector>

#include "tessgrid_export.h"

/// Operations on byte strings, one character per byte. None keeps state. ToUpper and Trim change
/// the string they are given; Tokenize replaces the contents of its token vector; every other
/// operation takes its strings by value and returns a new result.
class TESSGRID_EXPORT TStringTools {
 public:
  TStringTools() = delete;

  /// Returns true for exactly "1" and false for exactly "0".
  /// Throws "Invalid boolean string in TStringTools::HasSubstring" for any other string.
  static bool StgToBool(std::string StgValue);

  /// Returns whether part occurs in text; an empty part occurs in every text.
  static bool HasSubstring(std::string StgText, std::string StgPart);

  /// Replaces each character by its toupper, in place.
  static void ToUpper(std::string& StgValue);

  /// Removes the spaces (code 32, nothing else) at the end and then at the start, in place.
  static void Trim(std::string& StgValue);

  /// Returns text with every occurrence of search replaced from left to right, without overlaps;
  /// an inserted replacement is never searched again. An empty search returns text unchanged.
  static std::string FindAndReplace(std::string StgText, std::string StgSearch,
                                    std::string StgReplacement);

  /// Returns the number as a fresh string stream writes it.
  static std::string ToString(long LngValue);
  /// Returns the number as a fresh string stream writes it.
  static std::string ToString(int LngValue);
  /// Returns the number as a fresh string stream writes it: general format, six significant
  /// digits (2.5 gives "2.5", 100.0 gives "100", -9999.0 gives "-9999").
  static std::string ToString(double DblValue);

  /// Replaces the contents of the token vector by the maximal runs of text that hold no
  /// character of the delimiter set, in order; no empty tokens. Text and delimiters are only read
  /// (they may even be elements of the token vector).
  static void Tokenize(const std::string& StgText, std::vector<std::string>& VecTokens,
                       const std::string& StgDelimiters);
};

#endif  // UTIL_TSTRINGTOOLS_H
