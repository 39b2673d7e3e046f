// ops/Statistics.cpp - TMapTools: value counts, first cells of values, values fetched at points
// and values grouped by an overlaid key map. Declarations and contracts in ops/TMapTools.h.
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include "model/Fail.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

namespace {

// The rule of TVectorTools::HasValue, without the copy of the list its by-value argument
// would cost on every cell.
bool IsLeftOut(const std::vector<double>& VecLeaveOut, double DblValue) {
  for (double DblLeftOut : VecLeaveOut) {
    if (DblLeftOut == DblValue) {
      return true;
    }
  }
  return false;
}

// Row starts of a map, so that a column-by-column scan reads cells without bounds checks.
std::vector<const double*> RowStarts(const TMap& Map) {
  std::vector<const double*> VecRows;
  VecRows.reserve(Map.MbrVecValues.size());
  for (const std::vector<double>& VecRow : Map.MbrVecValues) {
    VecRows.push_back(VecRow.data());
  }
  return VecRows;
}

// Owns the points of point sets under construction and deletes them unless they are handed over,
// so a failure part-way leaves nothing behind.
class TPointSetsGuard {
 public:
  explicit TPointSetsGuard(std::vector<std::map<double, TMapPoint*>>& VecSets)
      : MbrVecSets(VecSets) {}
  TPointSetsGuard(const TPointSetsGuard&) = delete;
  TPointSetsGuard& operator=(const TPointSetsGuard&) = delete;
  ~TPointSetsGuard() {
    if (MbrBlnOwns) {
      for (std::map<double, TMapPoint*>& MapSet : MbrVecSets) {
        for (std::pair<const double, TMapPoint*>& Entry : MapSet) {
          delete Entry.second;
        }
      }
    }
  }
  void Release() { MbrBlnOwns = false; }

 private:
  std::vector<std::map<double, TMapPoint*>>& MbrVecSets;  ///< the sets whose points are owned
  bool MbrBlnOwns = true;  ///< false once the sets belong to the caller
};

// Fills MapResult (empty on entry) with the first cells of one map; the caller's guard owns
// every point stored.
void CollectFirstValues(const TMap& Map, const std::vector<double>& VecLeaveOut,
                        std::map<double, TMapPoint*>& MapResult) {
  const std::vector<const double*> VecRows = RowStarts(Map);
  double DblPrevious = Map.MbrDblNoDataValue;
  for (long LngX = 0; LngX < Map.MbrLngXDim; ++LngX) {
    for (long LngY = 0; LngY < Map.MbrLngYDim; ++LngY) {
      const double DblValue = VecRows[static_cast<std::size_t>(LngY)][LngX];
      if (DblValue == DblPrevious) {
        continue;
      }
      DblPrevious = DblValue;
      // A NaN key would break the ordering of the result.
      if (std::isnan(DblValue) || IsLeftOut(VecLeaveOut, DblValue) ||
          MapResult.count(DblValue) != 0) {
        continue;
      }
      std::unique_ptr<TMapPoint> PtrPoint(Map.GetPoint(LngX, LngY));
      MapResult.emplace(DblValue, PtrPoint.get());
      PtrPoint.release();
    }
  }
}

}  // namespace

std::map<double, long> TMapTools::CountValues(const TMap* PtrMap) {
  std::map<double, long> MapCounts;
  // Row by row reads the grid in memory order, several times faster than the scan order on a
  // large map. The counts do not depend on the order; only the key of the one value with two
  // forms does (0 and -0 are one key), and it is set at the end to the form of the first zero
  // cell in scan order: the zero of the least column, the first met in that column.
  std::size_t LngZeroColumn = SIZE_MAX;
  double DblFirstZero = 0.0;
  // Neighbouring cells often share a value: keep the entry of the last one at hand.
  auto ItLast = MapCounts.end();
  for (const std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (std::size_t LngX = 0; LngX < VecRow.size(); ++LngX) {
      const double DblValue = VecRow[LngX];
      if (std::isnan(DblValue)) {
        continue;
      }
      if (DblValue == 0.0 && LngX < LngZeroColumn) {
        LngZeroColumn = LngX;
        DblFirstZero = DblValue;
      }
      if (ItLast == MapCounts.end() || ItLast->first != DblValue) {
        ItLast = MapCounts.emplace(DblValue, 0L).first;
      }
      ++ItLast->second;
    }
  }
  const auto ItZero = MapCounts.find(0.0);
  if (ItZero != MapCounts.end() && std::signbit(ItZero->first) != std::signbit(DblFirstZero)) {
    auto Node = MapCounts.extract(ItZero);
    Node.key() = DblFirstZero;
    MapCounts.insert(std::move(Node));
  }
  return MapCounts;
}

long TMapTools::CountValues(const TMap* PtrMap, double DblValue) {
  long LngCount = 0;
  for (const std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (double DblCell : VecRow) {
      if (DblCell == DblValue) {
        ++LngCount;
      }
    }
  }
  return LngCount;
}

std::map<double, TMapPoint*> TMapTools::GetFirstValues(const TMap* PtrMap,
                                                       std::vector<double> VecLeaveOut) {
  std::vector<std::map<double, TMapPoint*>> VecSets(1);
  TPointSetsGuard Guard(VecSets);
  CollectFirstValues(*PtrMap, VecLeaveOut, VecSets.front());
  Guard.Release();
  return std::move(VecSets.front());
}

std::vector<std::map<double, TMapPoint*>> TMapTools::GetFirstValues(
    std::vector<TMap*> VecMaps, std::vector<double> VecLeaveOut) {
  std::vector<std::map<double, TMapPoint*>> VecSets;
  TPointSetsGuard Guard(VecSets);
  VecSets.reserve(VecMaps.size());
  for (const TMap* PtrMap : VecMaps) {
    VecSets.emplace_back();
    CollectFirstValues(*PtrMap, VecLeaveOut, VecSets.back());
  }
  Guard.Release();
  return VecSets;
}

std::map<double, double> TMapTools::FetchMapValues(const TMap* PtrMap,
                                                   std::map<double, TMapPoint*> MapPoints) {
  std::map<double, double> MapValues;
  for (const std::pair<const double, TMapPoint*>& Entry : MapPoints) {
    // Keys arrive in ascending order, so each one belongs at the end.
    MapValues.emplace_hint(MapValues.end(), Entry.first, PtrMap->GetPointVal(Entry.second));
  }
  return MapValues;
}

std::vector<std::map<double, double>> TMapTools::FetchMapValues(
    std::vector<TMap*> VecMaps, std::vector<std::map<double, TMapPoint*>> VecPointSets) {
  if (VecPointSets.size() < VecMaps.size()) {
    Fail("Number of point sets is less than number of maps in TMapTools::FetchMapValues");
  }
  std::vector<std::map<double, double>> VecResult;
  VecResult.reserve(VecMaps.size());
  for (std::size_t LngK = 0; LngK < VecMaps.size(); ++LngK) {
    VecResult.push_back(FetchMapValues(VecMaps[LngK], std::move(VecPointSets[LngK])));
  }
  return VecResult;
}

std::map<double, std::vector<double>> TMapTools::GetValuesOverlay(const TMap* PtrValueMap,
                                                                  const TMap* PtrKeyMap,
                                                                  std::vector<double> VecLeaveOut) {
  if (PtrValueMap->MbrLngXDim != PtrKeyMap->MbrLngXDim) {
    Fail("Map X-dimensions do not match");
  }
  if (PtrValueMap->MbrLngYDim != PtrKeyMap->MbrLngYDim) {
    Fail("Map Y-Dimensions do not match");
  }
  const std::vector<const double*> VecValueRows = RowStarts(*PtrValueMap);
  const std::vector<const double*> VecKeyRows = RowStarts(*PtrKeyMap);
  std::map<double, std::vector<double>> MapGroups;
  // Neighbouring cells often share a key: keep the list of the last one at hand.
  auto ItLast = MapGroups.end();
  for (long LngX = 0; LngX < PtrKeyMap->MbrLngXDim; ++LngX) {
    for (long LngY = 0; LngY < PtrKeyMap->MbrLngYDim; ++LngY) {
      const std::size_t LngRow = static_cast<std::size_t>(LngY);
      const double DblKey = VecKeyRows[LngRow][LngX];
      // A NaN key would break the ordering of the result.
      if (std::isnan(DblKey) || IsLeftOut(VecLeaveOut, DblKey)) {
        continue;
      }
      if (ItLast == MapGroups.end() || ItLast->first != DblKey) {
        ItLast = MapGroups.try_emplace(DblKey).first;
      }
      ItLast->second.push_back(VecValueRows[LngRow][LngX]);
    }
  }
  return MapGroups;
}
