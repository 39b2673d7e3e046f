// ops/Transforms.cpp - cell value transforms: constants, rounding, thresholds, lookup tables,
// masks and blocks. The declarations and their contracts are in ops/TMapTools.h.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

#include "model/Fail.h"
#include "ops/LibraryNoData.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"
#include "ops/TransformRows.h"

using tessgrid::detail::Fail;
using tessgrid::detail::kDblLibraryNoData;

using tessgrid::detail::DivideByRow;
using tessgrid::detail::MaskRow;
using tessgrid::detail::OffsetRow;
using tessgrid::detail::RoundRow;
using tessgrid::detail::ScaleRow;
using tessgrid::detail::ThresholdReplaceRow;
using tessgrid::detail::ThresholdRow;
using tessgrid::detail::TLookupTable;

using tessgrid::detail::FillRows;
using tessgrid::detail::NewUnfilledResultOnGrid;
using tessgrid::detail::ReleaseAll;
using tessgrid::detail::RowOf;

namespace {

// Builds the result on the input's grid and fills it with the row rule (ops/TransformRows.h),
// row by row: RowRule(input row, cells, result row).
template <typename TRowRule>
TMap* TransformRows(const TMap* PtrMap, const char* PtrNoAxesMessage, TRowRule RowRule) {
  std::unique_ptr<TMap> PtrResult = NewUnfilledResultOnGrid(*PtrMap, PtrNoAxesMessage);
  const std::size_t LngColumns = static_cast<std::size_t>(PtrMap->MbrLngXDim);
  FillRows(*PtrResult, PtrMap->MbrLngXDim, PtrMap->MbrLngYDim,
           [&](long LngY, double* PtrOut) { RowRule(RowOf(*PtrMap, LngY), LngColumns, PtrOut); });
  return PtrResult.release();
}

// Exact arithmetic for BufferIndices: widths and indices near the limits of long must not
// overflow. The widened edges are saturated to long only at the end.
__extension__ typedef __int128 TWideLong;

long Saturate(TWideLong WideValue) {
  const TWideLong WideMax = std::numeric_limits<long>::max();
  const TWideLong WideMin = std::numeric_limits<long>::min();
  return static_cast<long>(std::min(std::max(WideValue, WideMin), WideMax));
}

// The lower edge moves down by the width, stopping at 0.
long WidenLow(long LngEdge, long LngWidth) {
  return LngEdge > LngWidth ? Saturate(TWideLong{LngEdge} - LngWidth) : 0;
}

// The upper edge moves up by the width, stopping at the last index.
long WidenHigh(long LngEdge, long LngWidth, long LngDim) {
  const TWideLong WideLast = TWideLong{LngDim} - 1;
  return TWideLong{LngEdge} < WideLast - LngWidth ? Saturate(TWideLong{LngEdge} + LngWidth)
                                                  : Saturate(WideLast);
}

}  // namespace

TMap* TMapTools::Multiply(const TMap* PtrMap, double DblFactor) {
  // The result's own no-data value guards the cells, not the input's: callers rely on -9999
  // surviving a scaling while other no-data values are scaled with the data.
  return TransformRows(PtrMap, "Map has no axes in TMapTools::Multiply",
                       [DblFactor](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
                         ScaleRow(PtrIn, LngColumns, DblFactor, kDblLibraryNoData, PtrOut);
                       });
}

TMap* TMapTools::Add(const TMap* PtrMap, double DblConstant) {
  // The no-data rule of Multiply(map, factor): -9999 marks the cells an offset must not move.
  return TransformRows(PtrMap, "Map has no axes in TMapTools::Add",
                       [DblConstant](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
                         OffsetRow(PtrIn, LngColumns, DblConstant, kDblLibraryNoData, PtrOut);
                       });
}

TMap* TMapTools::Divide(const TMap* PtrMap, double DblDivisor) {
  const double DblNoData = PtrMap->MbrDblNoDataValue;
  return TransformRows(
      PtrMap, "Map has no axes in TMapTools::Divide",
      [DblDivisor, DblNoData](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
        DivideByRow(PtrIn, LngColumns, DblDivisor, DblNoData, PtrOut);
      });
}

TMap* TMapTools::RoundContents(const TMap* PtrMap) {
  return TransformRows(PtrMap, "Map has no axes in TMapTools::RoundContents", RoundRow);
}

TMap* TMapTools::Threshold(const TMap* PtrMap, double DblThreshold) {
  return TransformRows(PtrMap, "Map has no axes in TMapTools::Threshold",
                       [DblThreshold](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
                         ThresholdRow(PtrIn, LngColumns, DblThreshold, PtrOut);
                       });
}

std::vector<TMap*> TMapTools::Threshold(std::vector<TMap*> VecMaps, double DblThreshold) {
  std::vector<std::unique_ptr<TMap>> VecOwned;
  VecOwned.reserve(VecMaps.size());
  for (TMap* PtrMap : VecMaps) {
    VecOwned.emplace_back(Threshold(PtrMap, DblThreshold));
  }
  return ReleaseAll(VecOwned);
}

TMap* TMapTools::ThresholdReplace(const TMap* PtrMap, double DblThreshold, double DblReplacement) {
  return TransformRows(
      PtrMap, "Map has no axes in TMapTools::ThresholdReplace",
      [DblThreshold, DblReplacement](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
        ThresholdReplaceRow(PtrIn, LngColumns, DblThreshold, DblReplacement, PtrOut);
      });
}

TMap* TMapTools::ReplaceValue(const TMap* PtrMap, std::map<double, double> MapTable,
                              double DblDefault) {
  const TLookupTable Table(MapTable);
  return TransformRows(
      PtrMap, "Map has no axes in TMapTools::ReplaceValue",
      [&Table, DblDefault](const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
        Table.Row(PtrIn, LngColumns, DblDefault, PtrOut);
      });
}

TMap* TMapTools::Mask(const TMap* PtrGridMap, const TMap* PtrSourceMap, double DblMatch,
                      double DblReplacement) {
  if (PtrGridMap->MbrLngXDim != PtrSourceMap->MbrLngXDim) {
    Fail("X dimensions do not match in TMapTools::Mask");
  }
  if (PtrGridMap->MbrLngYDim != PtrSourceMap->MbrLngYDim) {
    Fail("Y dimensions do not match in TMapTools::Mask");
  }
  std::unique_ptr<TMap> PtrResult =
      NewUnfilledResultOnGrid(*PtrGridMap, "Map has no axes in TMapTools::Mask");
  const std::size_t LngColumns = static_cast<std::size_t>(PtrSourceMap->MbrLngXDim);
  FillRows(*PtrResult, PtrSourceMap->MbrLngXDim, PtrSourceMap->MbrLngYDim,
           [&](long LngY, double* PtrOut) {
             MaskRow(RowOf(*PtrSourceMap, LngY), LngColumns, DblMatch, DblReplacement, PtrOut);
           });
  return PtrResult.release();
}

void TMapTools::FillBlock(TMap* PtrMap, double DblValue, long LngNorth, long LngSouth, long LngWest,
                          long LngEast) {
  if (LngNorth > LngSouth) {
    Fail("Northern edge must be less than southern edge in TMapTools::FillBlock");
  }
  if (LngWest > LngEast) {
    Fail("Western edge must be less than eastern edge in TMapTools::FillBlock");
  }
  if (LngNorth < 0 || LngNorth >= PtrMap->MbrLngYDim) {
    Fail("Northern ordinate is out of range in TMapTools::FillBlock");
  }
  if (LngSouth < 0 || LngSouth >= PtrMap->MbrLngYDim) {
    Fail("Southern ordinate is out of range in TMapTools::FillBlock");
  }
  if (LngWest < 0 || LngWest >= PtrMap->MbrLngXDim) {
    Fail("Western ordinate is out of range in TMapTools::FillBlock");
  }
  if (LngEast < 0 || LngEast >= PtrMap->MbrLngXDim) {
    Fail("Eastern ordinate is out of range in TMapTools::FillBlock");
  }
  for (long LngY = LngNorth; LngY <= LngSouth; ++LngY) {
    double* PtrRow = RowOf(*PtrMap, LngY);
    std::fill(PtrRow + LngWest, PtrRow + LngEast + 1, DblValue);
  }
}

void TMapTools::BufferIndices(TMap* PtrMap, long LngWidth, long& LngNorth, long& LngSouth,
                              long& LngWest, long& LngEast) {
  LngWest = WidenLow(LngWest, LngWidth);
  LngEast = WidenHigh(LngEast, LngWidth, PtrMap->MbrLngXDim);
  LngNorth = WidenLow(LngNorth, LngWidth);
  LngSouth = WidenHigh(LngSouth, LngWidth, PtrMap->MbrLngYDim);
}
