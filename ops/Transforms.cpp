// ops/Transforms.cpp - cell value transforms: constants, rounding, thresholds, lookup tables,
// masks and blocks. The declarations and their contracts are in ops/TMapTools.h.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "model/Fail.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

using tessgrid::detail::FillRows;
using tessgrid::detail::NewUnfilledResultOnGrid;
using tessgrid::detail::ReleaseAll;
using tessgrid::detail::RowOf;

namespace {

// Builds the result on the input's grid and fills it with the per-cell rule, row by row.
template <typename TRule>
TMap* TransformCells(const TMap* PtrMap, const char* PtrNoAxesMessage, TRule Rule) {
  std::unique_ptr<TMap> PtrResult = NewUnfilledResultOnGrid(*PtrMap, PtrNoAxesMessage);
  FillRows(*PtrResult, PtrMap->MbrLngXDim, PtrMap->MbrLngYDim, [&](long LngY, double* PtrOut) {
    const double* PtrIn = RowOf(*PtrMap, LngY);
    for (long LngX = 0; LngX < PtrMap->MbrLngXDim; ++LngX) {
      PtrOut[LngX] = Rule(PtrIn[LngX]);
    }
  });
  return PtrResult.release();
}

// Rounds in double arithmetic, so values beyond the 32-bit range round like the rest. Below 2^52
// the integer conversion truncates fast and gives +0 for (-1, 0), as the 32-bit rule does; from
// 2^52 on (and for infinities and NaN) every double is already whole and stays as it is.
double RoundHalfUp(double DblValue) {
  const double kDblAllWhole = 4503599627370496.0;  // 2^52
  const double DblTruncated = std::fabs(DblValue) < kDblAllWhole
                                  ? static_cast<double>(static_cast<long long>(DblValue))
                                  : DblValue;
  // Random fractions would mispredict a branch on "fraction >= 0.5" half of the time, so the test
  // reads the sign of fraction - 0.5 instead (an exact tie gives +0); t is never -0 here.
  const bool BlnUp = !std::signbit(DblValue - DblTruncated - 0.5);
  return DblTruncated + static_cast<double>(BlnUp);
}

// The table flattened into sorted keys and their values. Most cells of a real map match no key,
// so a bitmap of hashed keys turns most of them away before the search; the search itself runs
// without branches, since cell values hit keys in no predictable order. A NaN key can never match
// a cell exactly, and it breaks the ordering the search relies on.
class TLookupTable {
 public:
  explicit TLookupTable(const std::map<double, double>& MapTable) : MbrVecFilter(kLngFilterWords) {
    std::vector<std::pair<double, double>> VecEntries;
    VecEntries.reserve(MapTable.size());
    for (const std::pair<const double, double>& Entry : MapTable) {
      if (!std::isnan(Entry.first)) {
        VecEntries.emplace_back(Entry.first, Entry.second);
      }
    }
    std::stable_sort(VecEntries.begin(), VecEntries.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    for (const std::pair<double, double>& Entry : VecEntries) {
      MbrVecKeys.push_back(Entry.first);
      MbrVecValues.push_back(Entry.second);
      const std::uint32_t LngSlot = Slot(Entry.first);
      MbrVecFilter[LngSlot / 64] |= std::uint64_t{1} << (LngSlot % 64);
    }
  }

  double Find(double DblKey, double DblDefault) const {
    const std::uint32_t LngSlot = Slot(DblKey);
    if ((MbrVecFilter[LngSlot / 64] >> (LngSlot % 64) & 1U) == 0) {
      return DblDefault;
    }
    // The first key not below DblKey lies in [PtrBase, PtrBase + LngSpan] throughout.
    const double* PtrBase = MbrVecKeys.data();
    std::size_t LngSpan = MbrVecKeys.size();
    while (LngSpan > 1) {
      const std::size_t LngHalf = LngSpan / 2;
      PtrBase = PtrBase[LngHalf] < DblKey ? PtrBase + LngHalf : PtrBase;
      LngSpan -= LngHalf;
    }
    const std::size_t LngIndex =
        static_cast<std::size_t>(PtrBase - MbrVecKeys.data()) + (*PtrBase < DblKey ? 1 : 0);
    return LngIndex < MbrVecKeys.size() && MbrVecKeys[LngIndex] == DblKey ? MbrVecValues[LngIndex]
                                                                          : DblDefault;
  }

 private:
  static constexpr std::size_t kLngFilterWords = 128;  // 8192 bits

  // Equal doubles get equal slots: adding 0 turns -0 into +0 before the bits are hashed.
  static std::uint32_t Slot(double DblKey) {
    const double DblNormal = DblKey + 0.0;
    std::uint64_t LngBits = 0;
    std::memcpy(&LngBits, &DblNormal, sizeof LngBits);
    return static_cast<std::uint32_t>((LngBits * 0x9E3779B97F4A7C15ULL) >> 51);
  }

  std::vector<double> MbrVecKeys;           ///< rising, no NaN
  std::vector<double> MbrVecValues;         ///< the value of the key at the same position
  std::vector<std::uint64_t> MbrVecFilter;  ///< bit Slot(key) set for every key
};

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
  const double DblNoData = -9999.0;
  return TransformCells(PtrMap, "Map has no axes in TMapTools::Multiply",
                        [DblFactor, DblNoData](double DblCell) {
                          return DblCell == DblNoData ? DblNoData : DblCell * DblFactor;
                        });
}

TMap* TMapTools::Add(const TMap* PtrMap, double DblConstant) {
  // The no-data rule of Multiply(map, factor): -9999 marks the cells an offset must not move.
  const double DblNoData = -9999.0;
  return TransformCells(PtrMap, "Map has no axes in TMapTools::Add",
                        [DblConstant, DblNoData](double DblCell) {
                          return DblCell == DblNoData ? DblNoData : DblCell + DblConstant;
                        });
}

TMap* TMapTools::Divide(const TMap* PtrMap, double DblDivisor) {
  const double DblNoData = PtrMap->MbrDblNoDataValue;
  return TransformCells(PtrMap, "Map has no axes in TMapTools::Divide",
                        [DblDivisor, DblNoData](double DblCell) {
                          return DblCell == DblNoData ? DblCell : DblCell / DblDivisor;
                        });
}

TMap* TMapTools::RoundContents(const TMap* PtrMap) {
  return TransformCells(PtrMap, "Map has no axes in TMapTools::RoundContents",
                        [](double DblCell) { return RoundHalfUp(DblCell); });
}

TMap* TMapTools::Threshold(const TMap* PtrMap, double DblThreshold) {
  return TransformCells(
      PtrMap, "Map has no axes in TMapTools::Threshold",
      [DblThreshold](double DblCell) { return DblCell >= DblThreshold ? DblCell : 0.0; });
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
  return TransformCells(PtrMap, "Map has no axes in TMapTools::ThresholdReplace",
                        [DblThreshold, DblReplacement](double DblCell) {
                          return DblCell >= DblThreshold ? DblReplacement : DblCell;
                        });
}

TMap* TMapTools::ReplaceValue(const TMap* PtrMap, std::map<double, double> MapTable,
                              double DblDefault) {
  const TLookupTable Table(MapTable);
  return TransformCells(
      PtrMap, "Map has no axes in TMapTools::ReplaceValue",
      [&Table, DblDefault](double DblCell) { return Table.Find(DblCell, DblDefault); });
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
  FillRows(*PtrResult, PtrSourceMap->MbrLngXDim, PtrSourceMap->MbrLngYDim,
           [&](long LngY, double* PtrOut) {
             const double* PtrIn = RowOf(*PtrSourceMap, LngY);
             for (long LngX = 0; LngX < PtrSourceMap->MbrLngXDim; ++LngX) {
               PtrOut[LngX] = PtrIn[LngX] == DblMatch ? DblReplacement : PtrIn[LngX];
             }
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
