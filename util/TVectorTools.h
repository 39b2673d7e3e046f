// util/TVectorTools.h - TVectorTools: sums, means, membership, products, series and least-squares
// gradients of vectors of numbers. Definitions in util/TVectorTools.cpp.
#ifndef UTIL_TVECTORTOOLS_H
#define UTIL_TVECTORTOOLS_H

#include <string>
#include <vector>

#include "tessgrid_export.h"

/// Operations on vectors of numbers. None keeps state. Every vector argument is taken by value,
/// so a caller's vector is never changed; vector results are new and belong to the caller.
/// Sums start from 0.0 and add in index order, in double precision. Empty inputs and zero
/// divisors are not failures: they give the IEEE result (0.0 / 0.0 is not-a-number).
class TESSGRID_EXPORT TVectorTools {
 public:
  TVectorTools() = delete;

  /// Returns the sum of the elements, 0.0 for an empty vector.
  static double SumVector(std::vector<double> VecValues);

  /// Returns the sum divided by the element count (not-a-number for an empty vector).
  static double VectorMean(std::vector<double> VecValues);

  /// Returns the sum of value times weight divided by the element count (not by the weight sum).
  /// Throws "Length of value and weight vectors do not match in TVectorTools::WeightedMean"
  /// unless both vectors have the same element count.
  static double VectorWeightedMean(std::vector<double> VecValues, std::vector<double> VecWeights);

  /// Returns whether some element equals the value exactly; not-a-number is never found.
  static bool HasValue(std::vector<double> VecValues, double DblValue);

  /// Returns whether some element equals the value.
  static bool HasValue(std::vector<int> VecValues, int LngValue);

  /// Returns the element-wise products.
  /// Throws "Length of vectors does not match in TVectorTools::VectorProduct" unless both vectors
  /// have the same element count.
  static std::vector<double> VectorProduct(std::vector<double> VecA, std::vector<double> VecB);

  /// Returns start, start + step, ... while the running value stays <= end. The values are running
  /// sums, so rounding accumulates (0 to 1 by 0.1 ends at 0.9999999999999999). Start above end, or
  /// a not-a-number start or end, gives an empty vector; a not-a-number step gives {start}.
  /// Throws "Step must be positive in TVectorTools::VectorSeries" for a step <= 0 while
  /// start <= end, and "Series does not end in TVectorTools::VectorSeries" when end is infinite
  /// or the step is too small to change the running value.
  static std::vector<double> VectorSeries(double DblStart, double DblEnd, double DblStep);

  /// Returns the least-squares slope of y against x: (n Sxy - Sx Sy) / (n Sxx - Sx Sx), with n
  /// the count of y. Fewer than two values or equal x values give the IEEE quotient.
  /// Throws "Length of vectors does not match in TVectorTools::VectorProduct" unless x and y
  /// have the same element count.
  static double Gradient(std::vector<double> VecX, std::vector<double> VecY);

  /// Returns each string converted as atoi does: leading white space, a sign, the longest digit
  /// prefix; 0 without one. Values beyond the int range are clamped to it.
  static std::vector<int> StringToInt(std::vector<std::string> VecStrings);

  /// Returns each string converted as atof does; 0.0 without a numeric prefix.
  static std::vector<double> StringToDouble(std::vector<std::string> VecStrings);

  /// Returns each integer converted exactly to a double.
  static std::vector<double> IntToDouble(std::vector<int> VecValues);
};

#endif  // UTIL_TVECTORTOOLS_H
