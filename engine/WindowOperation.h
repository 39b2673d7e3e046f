// engine/WindowOperation.h - the operations over every window of consecutive grids (moving
// averages, gradients) composed once for every face, on maps in the library's no-data.
// engine/WindowOperation.cpp holds them; the tool runs them on its loaded grids.
#ifndef ENGINE_WINDOWOPERATION_H
#define ENGINE_WINDOWOPERATION_H

#include <memory>
#include <vector>

#include "engine/CellRule.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// What each window of consecutive maps gives.
enum class TWindowOperation {
  kMovingAverage,         ///< the average of W maps (TMapTools::MovingAverage)
  kGradients,             ///< the slope over W + 1 maps of the values present
  kGradientsZeroMissing,  ///< the library's slope, a 0 counted as missing
                          ///< (TMapTools::ValueGradients)
};

/// Returns whether result i lies on the grid of map i (a moving average), not of map 0.
bool OnItsWindowsFirstMap(TWindowOperation Operation);

/// Returns the cell rule of one window of the operation over IntWindow maps, for runs that
/// stream each window's rows (the average rule of a moving average), or null where the results
/// need more than the window's rows or IntWindow is below 1; the caller owns it.
std::unique_ptr<TCellRule> WindowCellRule(TWindowOperation Operation, int IntWindow);

/// Returns the operation's results over every window of IntWindow maps (moving averages) or
/// IntWindow + 1 maps (gradients), one per window position in order; the caller owns them.
/// The maps are in the library's no-data and the caller has compared them. A moving average
/// from data that comes to -9999 fails.
/// Throws the failures of TMapTools::MovingAverage (a moving average), of
/// GradientsOfPresentValues (gradients) or of TMapTools::ValueGradients (the zero rule); then,
/// for the first window in order that loses a cell, CheckDataKept's "the result at row <r>,
/// column <c> comes to -9999, ...".
std::vector<std::unique_ptr<TMap>> WindowsOfMaps(TWindowOperation Operation,
                                                 const std::vector<TMap*>& VecMaps, int IntWindow);

/// Returns one new map per window position i = 0 .. n - w - 1, on copies of map 0's centre axes
/// with no-data value -9999: each cell holds the least-squares slope of its values in maps
/// i .. i + w against the map number over the values that are not -9999 (the tool's maps hold
/// their no-data cells as -9999), TVectorTools::Gradient of those values to the bit; fewer than
/// two give not-a-number. Unlike TMapTools::ValueGradients no zero is replaced or left out. The
/// caller owns the maps.
/// Throws as TMapTools::ValueGradients: "Window size must be >= 1 in
/// TMapTools::ValueGradients", "Window size must be < number of maps in
/// TMapTools::ValueGradients", "Map dimensions do not match in TMapTools::ValueGradients" and,
/// when there is a window, "Map has no axes in TMapTools::ValueGradients".
[[nodiscard]] std::vector<TMap*> GradientsOfPresentValues(std::vector<TMap*> VecMaps,
                                                          int IntWindow);

}  // namespace tessgrid::detail

#endif  // ENGINE_WINDOWOPERATION_H
