// ops/TransformRows.cpp - the cell loops of the value transforms, and the flattened lookup table.
// The declarations and their contracts are in ops/TransformRows.h.
#include "ops/TransformRows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace tessgrid::detail {

namespace {

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

}  // namespace

void ScaleRow(const double* PtrIn, std::size_t LngColumns, double DblFactor, double DblNoData,
              double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    PtrOut[LngK] = DblCell == DblNoData ? DblNoData : DblCell * DblFactor;
  }
}

void OffsetRow(const double* PtrIn, std::size_t LngColumns, double DblConstant, double DblNoData,
               double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    PtrOut[LngK] = DblCell == DblNoData ? DblNoData : DblCell + DblConstant;
  }
}

void DivideByRow(const double* PtrIn, std::size_t LngColumns, double DblDivisor, double DblNoData,
                 double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    // The cell itself, not the no-data value: a -0 cell of a grid whose no-data value is 0 stays
    // -0.
    PtrOut[LngK] = DblCell == DblNoData ? DblCell : DblCell / DblDivisor;
  }
}

void RoundRow(const double* PtrIn, std::size_t LngColumns, double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    PtrOut[LngK] = RoundHalfUp(PtrIn[LngK]);
  }
}

void ThresholdRow(const double* PtrIn, std::size_t LngColumns, double DblThreshold,
                  double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    PtrOut[LngK] = DblCell >= DblThreshold ? DblCell : 0.0;
  }
}

void ThresholdReplaceRow(const double* PtrIn, std::size_t LngColumns, double DblThreshold,
                         double DblReplacement, double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    PtrOut[LngK] = DblCell >= DblThreshold ? DblReplacement : DblCell;
  }
}

void MaskRow(const double* PtrIn, std::size_t LngColumns, double DblMatch, double DblReplacement,
             double* PtrOut) {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    const double DblCell = PtrIn[LngK];
    PtrOut[LngK] = DblCell == DblMatch ? DblReplacement : DblCell;
  }
}

// Most cells of a real map match no key, so a bitmap of hashed keys turns most of them away
// before the search; the search itself runs without branches, since cell values hit keys in no
// predictable order. A NaN key can never match a cell exactly, and it breaks the ordering the
// search relies on.
TLookupTable::TLookupTable(const std::map<double, double>& MapTable)
    : MbrVecFilter(kLngFilterWords) {
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

double TLookupTable::Find(double DblKey, double DblDefault) const {
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

void TLookupTable::Row(const double* PtrIn, std::size_t LngColumns, double DblDefault,
                       double* PtrOut) const {
  for (std::size_t LngK = 0; LngK < LngColumns; ++LngK) {
    PtrOut[LngK] = Find(PtrIn[LngK], DblDefault);
  }
}

std::uint32_t TLookupTable::Slot(double DblKey) {
  const double DblNormal = DblKey + 0.0;
  std::uint64_t LngBits = 0;
  std::memcpy(&LngBits, &DblNormal, sizeof LngBits);
  return static_cast<std::uint32_t>((LngBits * 0x9E3779B97F4A7C15ULL) >> 51);
}

}  // namespace tessgrid::detail
