// ops/SeriesRows.cpp - the cell loops of the series rules: a stretch of columns at a time, every
// input in list order over it, in scratch that stays in the first-level cache.
// The declarations and their contracts are in ops/SeriesRows.h.
#include "ops/SeriesRows.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ops/LibraryNoData.h"

namespace tessgrid::detail {

namespace {

// Columns taken at a time: the scratch of a stretch is a few KiB, and a long series reads each
// input's stretch once while the scratch stays in the cache.
constexpr std::size_t kLngStretch = 256;

constexpr double kDblInfinity = std::numeric_limits<double>::infinity();

// One stretch of columns under the rule of the sum, with the running value Step gives: for
// each cell, whether an input had no data there, the running value over the inputs in list
// order, and, with BlnEach, the no-data value of the first input without data and the count of
// inputs with data. Without BlnEach every input has the same no-data value, which is then the
// value held, and the count is not kept. The running value is carried on past a no-data cell
// and thrown away at the end: a loop without an early exit runs as wide as the processor allows.
struct TStretch {
  double ArrValue[kLngStretch];
  double ArrHeld[kLngStretch];
  double ArrCount[kLngStretch];
  bool ArrHit[kLngStretch];

  template <bool BlnEach, typename TStep>
  void Take(const double* const* PtrRows, const double* PtrNoData, std::size_t LngInputs,
            std::size_t LngFirst, std::size_t LngCount, TStep Step) {
    const double* const PtrFirstRow = PtrRows[0] + LngFirst;
    const double DblFirstNoData = PtrNoData[0];
    for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
      const double DblCell = PtrFirstRow[LngK];
      ArrHit[LngK] = DblCell == DblFirstNoData;
      ArrValue[LngK] = DblCell;
      if (BlnEach) {
        ArrHeld[LngK] = DblFirstNoData;
        ArrCount[LngK] = ArrHit[LngK] ? 0.0 : 1.0;
      }
    }
    for (std::size_t LngI = 1; LngI < LngInputs; ++LngI) {
      const double* const PtrRow = PtrRows[LngI] + LngFirst;
      const double DblNoData = PtrNoData[LngI];
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        const double DblCell = PtrRow[LngK];
        const bool BlnNoData = DblCell == DblNoData;
        if (BlnEach) {
          ArrHeld[LngK] = BlnNoData && !ArrHit[LngK] ? DblNoData : ArrHeld[LngK];
          ArrCount[LngK] += BlnNoData ? 0.0 : 1.0;
        }
        ArrHit[LngK] = ArrHit[LngK] || BlnNoData;
        ArrValue[LngK] = Step(ArrValue[LngK], DblCell);
      }
    }
    if (!BlnEach) {
      std::fill(ArrHeld, ArrHeld + LngCount, DblFirstNoData);
    }
  }

  // The cell under the rule of the sum: the first no-data value met, else the running value.
  double Result(std::size_t LngK) const { return ArrHit[LngK] ? ArrHeld[LngK] : ArrValue[LngK]; }
};

double Add(double DblSum, double DblCell) {
  return DblSum + DblCell;
}

// The later value replaces the running one only when it is strictly less, or NaN where the
// running one is not: the first NaN stays.
double Least(double DblLeast, double DblCell) {
  return DblCell < DblLeast || (DblCell != DblCell && DblLeast == DblLeast) ? DblCell : DblLeast;
}

double Greatest(double DblGreatest, double DblCell) {
  return DblCell > DblGreatest || (DblCell != DblCell && DblGreatest == DblGreatest) ? DblCell
                                                                                     : DblGreatest;
}

// The rules over one stretch; BlnEach as TStretch::Take has it.
template <bool BlnEach>
void StretchRow(TSeriesRule Rule, const double* const* PtrRows, const double* PtrNoData,
                std::size_t LngInputs, std::size_t LngFirst, std::size_t LngCount,
                TStretch& Stretch, double* PtrOut) {
  switch (Rule) {
    case TSeriesRule::kSum:
      Stretch.Take<BlnEach>(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Add);
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        PtrOut[LngK] = Stretch.Result(LngK);
      }
      return;
    case TSeriesRule::kCount:
      Stretch.Take<true>(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Add);
      std::copy(Stretch.ArrCount, Stretch.ArrCount + LngCount, PtrOut);
      return;
    case TSeriesRule::kAverage: {
      // The average divides the sum map by the count map, and the sum map's no-data value is
      // the library's: a sum of -9999 stays, even one that data cells came to. Where no input
      // lacks data, every input counts.
      Stretch.Take<BlnEach>(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Add);
      const double DblInputs = static_cast<double>(LngInputs);
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        const double DblSum = Stretch.Result(LngK);
        const double DblCount = BlnEach ? Stretch.ArrCount[LngK] : DblInputs;
        PtrOut[LngK] = DblSum == kDblLibraryNoData ? kDblLibraryNoData : DblSum / DblCount;
      }
      return;
    }
    case TSeriesRule::kMinimum:
      Stretch.Take<BlnEach>(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Least);
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        PtrOut[LngK] = Stretch.Result(LngK);
      }
      return;
    case TSeriesRule::kMaximum:
      Stretch.Take<BlnEach>(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Greatest);
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        PtrOut[LngK] = Stretch.Result(LngK);
      }
      return;
  }
}

// One stretch of columns over the inputs that have data: for each cell the running value Step
// gives over them in list order and their count. A cell without data steps by the rule's
// identity instead (-0 for the sum, which leaves every value as it is, -0 and NaN included; an
// infinity for minimum and maximum), so that the loop has no early exit and no branch.
struct TPresentStretch {
  double ArrValue[kLngStretch];
  double ArrCount[kLngStretch];

  template <typename TStep>
  void Take(const double* const* PtrRows, const double* PtrNoData, std::size_t LngInputs,
            std::size_t LngFirst, std::size_t LngCount, double DblIdentity, TStep Step) {
    std::fill(ArrValue, ArrValue + LngCount, DblIdentity);
    std::fill(ArrCount, ArrCount + LngCount, 0.0);
    for (std::size_t LngI = 0; LngI < LngInputs; ++LngI) {
      const double* const PtrRow = PtrRows[LngI] + LngFirst;
      const double DblNoData = PtrNoData[LngI];
      for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
        const double DblCell = PtrRow[LngK];
        const bool BlnData = DblCell != DblNoData;
        ArrValue[LngK] = Step(ArrValue[LngK], BlnData ? DblCell : DblIdentity);
        ArrCount[LngK] += BlnData ? 1.0 : 0.0;
      }
    }
  }
};

// The cells of one stretch from its running values: no-data below the count needed, else the
// value (over the count for an average). Returns the first cell, counted in the stretch, that
// came from data to the no-data value, or -1.
long PresentResults(const TPresentStretch& Stretch, std::size_t LngCount, double DblNeeded,
                    bool BlnAverage, double DblNoData, double* PtrOut) {
  long LngLost = -1;
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    const double DblCount = Stretch.ArrCount[LngK];
    const double DblValue = BlnAverage ? Stretch.ArrValue[LngK] / DblCount : Stretch.ArrValue[LngK];
    const bool BlnData = DblCount >= DblNeeded;
    PtrOut[LngK] = BlnData ? DblValue : DblNoData;
    if (BlnData && DblValue == DblNoData && LngLost < 0) {
      LngLost = static_cast<long>(LngK);
    }
  }
  return LngLost;
}

}  // namespace

long PresentSeriesRow(TSeriesRule Rule, const double* const* PtrRows, const double* PtrNoData,
                      std::size_t LngInputs, std::size_t LngColumns, std::size_t LngMinCount,
                      double DblNoData, double* PtrResult) {
  if (Rule == TSeriesRule::kCount) {
    SeriesRow(Rule, PtrRows, PtrNoData, LngInputs, LngColumns, PtrResult);
    return -1;
  }
  const double DblNeeded = static_cast<double>(std::max<std::size_t>(1, LngMinCount));
  TPresentStretch Stretch;
  long LngLost = -1;
  for (std::size_t LngFirst = 0; LngFirst < LngColumns; LngFirst += kLngStretch) {
    const std::size_t LngCount = std::min(kLngStretch, LngColumns - LngFirst);
    switch (Rule) {
      case TSeriesRule::kMinimum:
        Stretch.Take(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, kDblInfinity, Least);
        break;
      case TSeriesRule::kMaximum:
        Stretch.Take(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, -kDblInfinity, Greatest);
        break;
      default:
        Stretch.Take(PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, -0.0, Add);
        break;
    }
    const long LngStretchLost =
        PresentResults(Stretch, LngCount, DblNeeded, Rule == TSeriesRule::kAverage, DblNoData,
                       PtrResult + LngFirst);
    if (LngLost < 0 && LngStretchLost >= 0) {
      LngLost = static_cast<long>(LngFirst) + LngStretchLost;
    }
  }
  return LngLost;
}

void SeriesRow(TSeriesRule Rule, const double* const* PtrRows, const double* PtrNoData,
               std::size_t LngInputs, std::size_t LngColumns, double* PtrResult) {
  // Inputs that share one no-data value need neither the value each cell met nor, but for an
  // average whose no-data cells are not the library's, the count: a cell without data in any
  // input is that value, and one with data everywhere counts every input.
  bool BlnUniform = true;
  for (std::size_t LngI = 1; LngI < LngInputs && BlnUniform; ++LngI) {
    BlnUniform = std::memcmp(&PtrNoData[LngI], &PtrNoData[0], sizeof(double)) == 0;
  }
  BlnUniform = BlnUniform && (Rule != TSeriesRule::kAverage || PtrNoData[0] == kDblLibraryNoData);
  TStretch Stretch;
  for (std::size_t LngFirst = 0; LngFirst < LngColumns; LngFirst += kLngStretch) {
    const std::size_t LngCount = std::min(kLngStretch, LngColumns - LngFirst);
    if (BlnUniform) {
      StretchRow<false>(Rule, PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Stretch,
                        PtrResult + LngFirst);
    } else {
      StretchRow<true>(Rule, PtrRows, PtrNoData, LngInputs, LngFirst, LngCount, Stretch,
                       PtrResult + LngFirst);
    }
  }
}

}  // namespace tessgrid::detail
