// ops/ResampleCovered.cpp - TResampler's rows for the methods over the source cells each target
// cell covers: average, mode, minimum, maximum, median. The contracts are in ops/ResampleKernel.h.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "ops/ResampleKernel.h"

namespace tessgrid::detail {

namespace {

// Calls Take(value, row weight, column weight) for every data cell of the window, row by row in
// the block's order and west to east in each, as gdalwarp meets them.
template <typename TTake>
void ForEachDataCell(const double* const* PtrRows, const TResampler::TLine& Row,
                     const double* PtrRowWeights, const TResampler::TLine& Column,
                     const double* PtrColumnWeights, double DblNoData, TTake&& Take) {
  for (long LngJ = 0; LngJ < Row.MbrLngCount; ++LngJ) {
    const double* const PtrCells = PtrRows[Row.MbrLngFirst + LngJ] + Column.MbrLngFirst;
    const double DblRowWeight = PtrRowWeights[LngJ];
    for (long LngI = 0; LngI < Column.MbrLngCount; ++LngI) {
      const double DblValue = PtrCells[LngI];
      if (DblValue != DblNoData) {
        Take(DblValue, DblRowWeight, PtrColumnWeights[LngI]);
      }
    }
  }
}

// The value held most often, exactly; of values held equally often, the one whose last cell
// comes first, which is the one that reached that count first. Sorting by value and place makes
// it O(k log k) whatever the values, where counting value by value would be O(k^2) for cells
// that all differ.
double ModeOf(std::vector<std::pair<double, long>>& VecPlaces) {
  std::sort(VecPlaces.begin(), VecPlaces.end());
  std::size_t LngBest = 0;
  std::size_t LngBestCount = 0;
  long LngBestReached = 0;
  for (std::size_t LngStart = 0; LngStart < VecPlaces.size();) {
    std::size_t LngEnd = LngStart + 1;
    while (LngEnd < VecPlaces.size() && VecPlaces[LngEnd].first == VecPlaces[LngStart].first) {
      ++LngEnd;
    }
    const std::size_t LngCount = LngEnd - LngStart;
    const long LngReached = VecPlaces[LngEnd - 1].second;
    if (LngCount > LngBestCount || (LngCount == LngBestCount && LngReached < LngBestReached)) {
      LngBest = LngStart;
      LngBestCount = LngCount;
      LngBestReached = LngReached;
    }
    LngStart = LngEnd;
  }
  // The first cell of equal values (0.0 and -0.0 are equal) gives the value, as gdalwarp keeps
  // the first it met; sorting by place keeps that one first among its equals.
  return VecPlaces[LngBest].first;
}

}  // namespace

void TResampler::CoveredRow(const TLine& Row, double* PtrOut) {
  const double* const* const PtrRows = MbrBlock.MbrPtrRows;
  const double* const PtrRowWeights = MbrRows.MbrVecWeights.data() + Row.MbrLngWeights;
  const double DblNoData = MbrDblNoData;
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  // The method is chosen once a row; each cell then runs its own loop.
  const auto EachCell = [&](auto&& CellOf) {
    const std::size_t LngColumns = MbrColumns.MbrVecLines.size();
    for (std::size_t LngC = 0; LngC < LngColumns; ++LngC) {
      const TLine& Column = MbrColumns.MbrVecLines[LngC];
      PtrOut[LngC] = Column.MbrLngHold < 0 ? DblNoData : CellOf([&](auto&& Take) {
        ForEachDataCell(PtrRows, Row, PtrRowWeights, Column,
                        MbrColumns.MbrVecWeights.data() + Column.MbrLngWeights, DblNoData, Take);
      });
    }
  };
  // Of equal values the first met stays, and so does a NaN once met.
  const auto Extreme = [&](auto Better) {
    EachCell([&](auto&& ForEach) {
      double DblResult = DblNoData;
      bool BlnAny = false;
      ForEach([&](double DblValue, double, double) {
        if (!BlnAny ||
            (!std::isnan(DblResult) && (std::isnan(DblValue) || Better(DblValue, DblResult)))) {
          DblResult = DblValue;
        }
        BlnAny = true;
      });
      return DblResult;
    });
  };
  switch (MbrMethod) {
    case TResampleMethod::kAverage:
      EachCell([&](auto&& ForEach) {
        // gdalwarp's sums, term by term; a NaN cell makes the total NaN.
        double DblTotal = 0.0;
        double DblWeights = 0.0;
        ForEach([&](double DblValue, double DblRowWeight, double DblColumnWeight) {
          const double DblWeight = DblRowWeight * DblColumnWeight;
          DblTotal += DblValue * DblWeight;
          DblWeights += DblWeight;
        });
        return DblWeights > 0.0 ? DblTotal / DblWeights : DblNoData;
      });
      break;
    case TResampleMethod::kMinimum:
      Extreme([](double DblValue, double DblBest) { return DblValue < DblBest; });
      break;
    case TResampleMethod::kMaximum:
      Extreme([](double DblValue, double DblBest) { return DblValue > DblBest; });
      break;
    case TResampleMethod::kMedian:
      EachCell([&](auto&& ForEach) {
        std::vector<double>& VecValues = MbrVecValues;
        VecValues.clear();
        bool BlnNaN = false;
        ForEach([&](double DblValue, double, double) {
          BlnNaN = BlnNaN || std::isnan(DblValue);
          VecValues.push_back(DblValue);
        });
        if (BlnNaN || VecValues.empty()) {
          return BlnNaN ? DblNaN : DblNoData;
        }
        const auto ItMiddle =
            VecValues.begin() + static_cast<std::ptrdiff_t>((VecValues.size() - 1) / 2);
        std::nth_element(VecValues.begin(), ItMiddle, VecValues.end());
        return *ItMiddle;
      });
      break;
    case TResampleMethod::kMode:
      EachCell([&](auto&& ForEach) {
        std::vector<std::pair<double, long>>& VecPlaces = MbrVecPlaces;
        VecPlaces.clear();
        bool BlnNaN = false;
        ForEach([&](double DblValue, double, double) {
          BlnNaN = BlnNaN || std::isnan(DblValue);
          VecPlaces.emplace_back(DblValue, static_cast<long>(VecPlaces.size()));
        });
        if (BlnNaN || VecPlaces.empty()) {
          return BlnNaN ? DblNaN : DblNoData;
        }
        return ModeOf(VecPlaces);
      });
      break;
    default:
      break;
  }
}

}  // namespace tessgrid::detail
