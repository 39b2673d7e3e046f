// engine/ValueRange.h - TValueRange: the values a result can take, worked out from the types of
// its inputs before any cell is read, so that an output's type can hold them all.
// engine/ValueRange.cpp holds the arithmetic; engine/ExpressionRange.h applies it to expressions.
#ifndef ENGINE_VALUERANGE_H
#define ENGINE_VALUERANGE_H

namespace tessgrid::detail {

/// The data values a grid can hold: every one lies in [DblLow, DblHigh] (the range is empty when
/// DblLow > DblHigh: the grid holds no-data only). No-data cells and results that are not finite
/// count for nothing: they become no-data. The two flags hold for every value: BlnWhole that it
/// is a whole number, BlnSingle that it comes from inputs whose every value a Float32 cell holds
/// (and from constants), so that a Float32 output keeps the inputs' own precision.
struct TValueRange {
  double DblLow = 1.0;    ///< the smallest value; above DblHigh for an empty range
  double DblHigh = 0.0;   ///< the largest value
  bool BlnWhole = true;   ///< every value is a whole number
  bool BlnSingle = true;  ///< the inputs and constants behind it are all Float32 values
};

/// Returns the range of no values at all.
TValueRange EmptyRange();

/// Returns the range of a grid that may hold any double (an ASCII grid).
TValueRange AnyDouble();

/// Returns the range of one constant; NaN gives the empty range (it makes no-data).
TValueRange ConstantRange(double DblValue);

/// Returns the range of the values of either.
TValueRange Joined(const TValueRange& A, const TValueRange& B);

/// Returns the ranges of a + b, a - b and a * b for a in A, b in B.
TValueRange SumRange(const TValueRange& A, const TValueRange& B);
TValueRange DifferenceRange(const TValueRange& A, const TValueRange& B);
TValueRange ProductRange(const TValueRange& A, const TValueRange& B);

/// Returns the range of a value computed from A and B that need not be whole (a quotient, a
/// mean, an interpolation, a function): it may be anything, and is single when both are.
TValueRange FractionRange(const TValueRange& A, const TValueRange& B);

/// Returns the range of whole values from DblLow to DblHigh, single when the constants are.
TValueRange WholeRange(double DblLow, double DblHigh);

}  // namespace tessgrid::detail

#endif  // ENGINE_VALUERANGE_H
