// engine/ValueRange.cpp - interval arithmetic over the values a result can take. The contracts
// are in engine/ValueRange.h.
#include "engine/ValueRange.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace tessgrid::detail {

namespace {

constexpr double kDblInfinity = std::numeric_limits<double>::infinity();

bool IsEmpty(const TValueRange& Range) {
  return Range.DblLow > Range.DblHigh;
}

bool IsSingle(double DblValue) {
  return !std::isfinite(DblValue) || static_cast<double>(static_cast<float>(DblValue)) == DblValue;
}

// The range of the values computed from both, over the corners of their ranges: exact for sums,
// differences and products, whose extremes lie at the corners.
template <typename TOp>
TValueRange Corners(const TValueRange& A, const TValueRange& B, TOp Op) {
  if (IsEmpty(A) || IsEmpty(B)) {
    return EmptyRange();
  }
  TValueRange Result;
  Result.DblLow = kDblInfinity;
  Result.DblHigh = -kDblInfinity;
  for (const double DblA : {A.DblLow, A.DblHigh}) {
    for (const double DblB : {B.DblLow, B.DblHigh}) {
      const double DblValue = Op(DblA, DblB);
      // An infinity times zero stands for large values times zero: zero.
      const double DblCorner = std::isnan(DblValue) ? 0.0 : DblValue;
      Result.DblLow = std::min(Result.DblLow, DblCorner);
      Result.DblHigh = std::max(Result.DblHigh, DblCorner);
    }
  }
  Result.BlnWhole = A.BlnWhole && B.BlnWhole;
  Result.BlnSingle = A.BlnSingle && B.BlnSingle;
  return Result;
}

}  // namespace

TValueRange EmptyRange() {
  return TValueRange{};
}

TValueRange AnyDouble() {
  return TValueRange{-kDblInfinity, kDblInfinity, false, false};
}

TValueRange ConstantRange(double DblValue) {
  if (std::isnan(DblValue)) {
    return EmptyRange();
  }
  // A constant is the user's choice of precision: it never asks for a wider type.
  return TValueRange{DblValue, DblValue, DblValue == std::trunc(DblValue), true};
}

TValueRange Joined(const TValueRange& A, const TValueRange& B) {
  if (IsEmpty(A) || IsEmpty(B)) {
    // An empty side adds no values, but what stands behind it still counts for the flags.
    TValueRange Result = IsEmpty(A) ? B : A;
    Result.BlnSingle = A.BlnSingle && B.BlnSingle;
    return Result;
  }
  return TValueRange{std::min(A.DblLow, B.DblLow), std::max(A.DblHigh, B.DblHigh),
                     A.BlnWhole && B.BlnWhole, A.BlnSingle && B.BlnSingle};
}

TValueRange SumRange(const TValueRange& A, const TValueRange& B) {
  return Corners(A, B, [](double DblA, double DblB) { return DblA + DblB; });
}

TValueRange DifferenceRange(const TValueRange& A, const TValueRange& B) {
  return Corners(A, B, [](double DblA, double DblB) { return DblA - DblB; });
}

TValueRange ProductRange(const TValueRange& A, const TValueRange& B) {
  return Corners(A, B, [](double DblA, double DblB) { return DblA * DblB; });
}

TValueRange FractionRange(const TValueRange& A, const TValueRange& B) {
  return TValueRange{-kDblInfinity, kDblInfinity, false, A.BlnSingle && B.BlnSingle};
}

TValueRange WholeRange(double DblLow, double DblHigh) {
  return TValueRange{DblLow, DblHigh, true, IsSingle(DblLow) && IsSingle(DblHigh)};
}

}  // namespace tessgrid::detail
