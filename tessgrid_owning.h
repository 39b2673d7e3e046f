// tessgrid_owning.h - owning handles for what the library hands over: TMapPtr and its kin, and
// Own and Borrow for the vectors and maps of new objects. Header only; tessgrid.h includes it.
#ifndef TESSGRID_OWNING_H
#define TESSGRID_OWNING_H

#include <cstddef>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "model/TAxis.h"
#include "model/TMap.h"
#include "model/TPoint.h"

/// Handles for a map, axis or point the caller owns. The library hands over raw pointers; put
/// each into a handle at once and it is deleted however the scope ends:
///
///     TMapPtr Total(TMapTools::Add(Elevation.get(), Uplift.get()));
///     std::vector<TMapPtr> Series = tessgrid::Own(TARCGISFileTools::LoadFileList(Names));
///     TMapPtr Mean(TMapTools::Average(tessgrid::Borrow(Series)));
///
/// The handles are plain std::unique_ptr, so get() lends a pointer to any operation that takes
/// one and release() hands the object on. The type names follow the library's classes and live
/// beside them in the global namespace; the functions live in namespace tessgrid.
using TMapPtr = std::unique_ptr<TMap>;
using TAxisPtr = std::unique_ptr<TAxis>;
using TPointPtr = std::unique_ptr<TPoint>;
using TMapPointPtr = std::unique_ptr<TMapPoint>;

namespace tessgrid {

/// Takes over every object of the vector (LoadFileList, Threshold, MovingAverage,
/// ValueGradients, FindConvexHull), in order. When the handles cannot be made (out of memory) the
/// objects are deleted before the failure passes on, so nothing leaks either way.
template <typename TObject>
[[nodiscard]] std::vector<std::unique_ptr<TObject>> Own(std::vector<TObject*> VecObjects) {
  std::vector<std::unique_ptr<TObject>> VecOwned;
  try {
    VecOwned.reserve(VecObjects.size());
  } catch (...) {
    for (TObject* PtrObject : VecObjects) {
      delete PtrObject;
    }
    throw;
  }
  // Cannot fail once the room is reserved.
  for (TObject* PtrObject : VecObjects) {
    VecOwned.emplace_back(PtrObject);
  }
  return VecOwned;
}

/// Takes over every object of the ordered map (GetFirstValues), under the same keys; nothing
/// leaks when it fails.
template <typename TKey, typename TObject>
[[nodiscard]] std::map<TKey, std::unique_ptr<TObject>> Own(std::map<TKey, TObject*> MapObjects) {
  std::map<TKey, std::unique_ptr<TObject>> MapOwned;
  try {
    for (std::pair<const TKey, TObject*>& Entry : MapObjects) {
      MapOwned.emplace_hint(MapOwned.end(), Entry.first, Entry.second);
      // Taken over: the clean-up below must not delete it too.
      Entry.second = nullptr;
    }
  } catch (...) {
    for (const std::pair<const TKey, TObject*>& Entry : MapObjects) {
      delete Entry.second;
    }
    throw;
  }
  return MapOwned;
}

/// Takes over the objects of every map of the vector (GetFirstValues of a list of maps); nothing
/// leaks when it fails.
template <typename TKey, typename TObject>
[[nodiscard]] std::vector<std::map<TKey, std::unique_ptr<TObject>>> Own(
    std::vector<std::map<TKey, TObject*>> VecMaps) {
  std::vector<std::map<TKey, std::unique_ptr<TObject>>> VecOwned;
  std::size_t LngNext = 0;  // the first map not yet handed to Own
  try {
    VecOwned.reserve(VecMaps.size());
    while (LngNext < VecMaps.size()) {
      VecOwned.push_back(Own(std::move(VecMaps[LngNext++])));
    }
  } catch (...) {
    // Own has released the objects of the map it was given; those after it are still raw.
    for (std::size_t LngI = LngNext; LngI < VecMaps.size(); ++LngI) {
      for (const std::pair<const TKey, TObject*>& Entry : VecMaps[LngI]) {
        delete Entry.second;
      }
    }
    throw;
  }
  return VecOwned;
}

/// Returns the objects' pointers, in order, for the operations that take a list of maps or
/// points; the handles keep the objects.
template <typename TObject>
[[nodiscard]] std::vector<TObject*> Borrow(const std::vector<std::unique_ptr<TObject>>& VecOwned) {
  std::vector<TObject*> VecObjects;
  VecObjects.reserve(VecOwned.size());
  for (const std::unique_ptr<TObject>& PtrOwned : VecOwned) {
    VecObjects.push_back(PtrOwned.get());
  }
  return VecObjects;
}

/// Returns the objects' pointers under the same keys (for FetchMapValues); the handles keep the
/// objects.
template <typename TKey, typename TObject>
[[nodiscard]] std::map<TKey, TObject*> Borrow(
    const std::map<TKey, std::unique_ptr<TObject>>& MapOwned) {
  std::map<TKey, TObject*> MapObjects;
  for (const std::pair<const TKey, std::unique_ptr<TObject>>& Entry : MapOwned) {
    MapObjects.emplace_hint(MapObjects.end(), Entry.first, Entry.second.get());
  }
  return MapObjects;
}

/// Returns the pointers of every map of the vector (for FetchMapValues of a list of maps); the
/// handles keep the objects.
template <typename TKey, typename TObject>
[[nodiscard]] std::vector<std::map<TKey, TObject*>> Borrow(
    const std::vector<std::map<TKey, std::unique_ptr<TObject>>>& VecOwned) {
  std::vector<std::map<TKey, TObject*>> VecMaps;
  VecMaps.reserve(VecOwned.size());
  for (const std::map<TKey, std::unique_ptr<TObject>>& MapOwned : VecOwned) {
    VecMaps.push_back(Borrow(MapOwned));
  }
  return VecMaps;
}

}  // namespace tessgrid

#endif  // TESSGRID_OWNING_H
