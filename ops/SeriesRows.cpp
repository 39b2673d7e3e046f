// ops/SeriesRows.cpp - the cell loops of the series rules: a stretch of columns at a time, every
// input in list order over it, in scratch that stays in the first-level cache.
// The declarations and their contracts are in ops/SeriesRows.h.
#include "ops/SeriesRows.h"

#include <algorithm>
#include <cstring>

#include "ops/LibraryNoData.h"

namespace tessgrid::detail {

namespace {

// Columns taken at a time: the scratch of a stretch is a few KiB, and a long series reads each
// input's stretch once while the scratch stays in the cache.
constexpr std::size_t kLngStretch = 256;

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

}  // namespace

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
