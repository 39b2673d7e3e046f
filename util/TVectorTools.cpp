// util/TVectorTools.cpp - the operations of TVectorTools and the shared least-squares sums.
// The declarations and their contracts are in util/TVectorTools.h and util/LeastSquares.h.
#include "util/TVectorTools.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "model/Fail.h"
#include "util/LeastSquares.h"

using tessgrid::detail::Fail;
using tessgrid::detail::LeastSquaresSlope;

double tessgrid::detail::LeastSquaresSlope(const double* PtrX, const double* PtrY,
                                           std::size_t LngCount) {
  // Each sum is its own running total in index order, exactly as summing the product vectors one
  // after the other would give; only the number of passes differs.
  double DblSx = 0.0;
  double DblSy = 0.0;
  double DblSxx = 0.0;
  double DblSxy = 0.0;
  for (std::size_t LngI = 0; LngI < LngCount; ++LngI) {
    const double DblXX = PtrX[LngI] * PtrX[LngI];
    const double DblXY = PtrX[LngI] * PtrY[LngI];
    DblSx += PtrX[LngI];
    DblSy += PtrY[LngI];
    DblSxx += DblXX;
    DblSxy += DblXY;
  }
  const double DblSxSquared = DblSx * DblSx;
  const double DblN = static_cast<double>(LngCount);
  return (DblN * DblSxy - DblSx * DblSy) / (DblN * DblSxx - DblSxSquared);
}

void tessgrid::detail::LeastSquaresSlopeRow(const double* PtrX, const double* const* PtrRows,
                                            std::size_t LngCount, std::size_t LngColumns,
                                            double DblMissing, double* PtrSums, double* PtrOut) {
  double* const PtrSx = PtrSums;
  double* const PtrSy = PtrSums + LngColumns;
  double* const PtrSxx = PtrSums + 2 * LngColumns;
  double* const PtrSxy = PtrSums + 3 * LngColumns;
  double* const PtrN = PtrSums + 4 * LngColumns;
  std::fill(PtrSums, PtrSums + 5 * LngColumns, 0.0);
  // Series by series the sums of the whole row advance together, each cell's still added in
  // index order from 0.0; without branches the loop runs on vectors.
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    const double DblX = PtrX[LngK];
    const double DblXX = DblX * DblX;
    const double* const PtrY = PtrRows[LngK];
    for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
      const double DblY = PtrY[LngC];
      const bool BlnPresent = DblY != DblMissing;
      const double DblXY = DblX * DblY;
      PtrSx[LngC] += BlnPresent ? DblX : 0.0;
      PtrSy[LngC] += BlnPresent ? DblY : 0.0;
      PtrSxx[LngC] += BlnPresent ? DblXX : 0.0;
      PtrSxy[LngC] += BlnPresent ? DblXY : 0.0;
      PtrN[LngC] += BlnPresent ? 1.0 : 0.0;
    }
  }
  for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
    const double DblSxSquared = PtrSx[LngC] * PtrSx[LngC];
    PtrOut[LngC] = (PtrN[LngC] * PtrSxy[LngC] - PtrSx[LngC] * PtrSy[LngC]) /
                   (PtrN[LngC] * PtrSxx[LngC] - DblSxSquared);
  }
}

double TVectorTools::SumVector(std::vector<double> VecValues) {
  double DblSum = 0.0;
  for (double DblValue : VecValues) {
    DblSum += DblValue;
  }
  return DblSum;
}

double TVectorTools::VectorMean(std::vector<double> VecValues) {
  const double DblCount = static_cast<double>(VecValues.size());
  return SumVector(std::move(VecValues)) / DblCount;
}

double TVectorTools::VectorWeightedMean(std::vector<double> VecValues,
                                        std::vector<double> VecWeights) {
  if (VecValues.size() != VecWeights.size()) {
    Fail("Length of value and weight vectors do not match in TVectorTools::WeightedMean");
  }
  double DblSum = 0.0;
  for (std::size_t LngI = 0; LngI < VecValues.size(); ++LngI) {
    DblSum += VecValues[LngI] * VecWeights[LngI];
  }
  return DblSum / static_cast<double>(VecValues.size());
}

bool TVectorTools::HasValue(std::vector<double> VecValues, double DblValue) {
  for (double DblElement : VecValues) {
    if (DblElement == DblValue) {
      return true;
    }
  }
  return false;
}

bool TVectorTools::HasValue(std::vector<int> VecValues, int LngValue) {
  for (int LngElement : VecValues) {
    if (LngElement == LngValue) {
      return true;
    }
  }
  return false;
}

std::vector<double> TVectorTools::VectorProduct(std::vector<double> VecA,
                                                std::vector<double> VecB) {
  if (VecA.size() != VecB.size()) {
    Fail("Length of vectors does not match in TVectorTools::VectorProduct");
  }
  for (std::size_t LngI = 0; LngI < VecA.size(); ++LngI) {
    VecA[LngI] *= VecB[LngI];
  }
  return VecA;
}

std::vector<double> TVectorTools::VectorSeries(double DblStart, double DblEnd, double DblStep) {
  if (DblStart <= DblEnd && DblStep <= 0.0) {
    Fail("Step must be positive in TVectorTools::VectorSeries");
  }
  if (DblStart <= DblEnd && DblEnd == HUGE_VAL) {
    Fail("Series does not end in TVectorTools::VectorSeries");
  }
  std::vector<double> VecSeries;
  // Running sums, not start + i * step: callers rely on the accumulated rounding.
  for (double DblCurrent = DblStart; DblCurrent <= DblEnd;) {
    VecSeries.push_back(DblCurrent);
    const double DblNext = DblCurrent + DblStep;
    if (DblNext == DblCurrent) {
      Fail("Series does not end in TVectorTools::VectorSeries");
    }
    DblCurrent = DblNext;
  }
  return VecSeries;
}

double TVectorTools::Gradient(std::vector<double> VecX, std::vector<double> VecY) {
  // The length check of the x-times-y product is the only way the sums can fail; the sums
  // before it change nothing, so checking first is the same to every caller.
  if (VecX.size() != VecY.size()) {
    Fail("Length of vectors does not match in TVectorTools::VectorProduct");
  }
  return LeastSquaresSlope(VecX.data(), VecY.data(), VecY.size());
}

std::vector<int> TVectorTools::StringToInt(std::vector<std::string> VecStrings) {
  std::vector<int> VecResult;
  VecResult.reserve(VecStrings.size());
  for (const std::string& StgValue : VecStrings) {
    // atoi's own result is undefined beyond the int range; strtol reads the same prefix and
    // reports the range, so such values are clamped instead.
    const long LngValue = std::strtol(StgValue.c_str(), nullptr, 10);
    if (LngValue > INT_MAX) {
      VecResult.push_back(INT_MAX);
    } else if (LngValue < INT_MIN) {
      VecResult.push_back(INT_MIN);
    } else {
      VecResult.push_back(static_cast<int>(LngValue));
    }
  }
  return VecResult;
}

std::vector<double> TVectorTools::StringToDouble(std::vector<std::string> VecStrings) {
  std::vector<double> VecResult;
  VecResult.reserve(VecStrings.size());
  for (const std::string& StgValue : VecStrings) {
    VecResult.push_back(std::atof(StgValue.c_str()));
  }
  return VecResult;
}

std::vector<double> TVectorTools::IntToDouble(std::vector<int> VecValues) {
  return std::vector<double>(VecValues.begin(), VecValues.end());
}
