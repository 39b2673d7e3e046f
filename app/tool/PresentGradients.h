// app/tool/PresentGradients.h - the gradients command's own rule: least-squares slopes over the
// values present, a 0 being a value like any other. app/tool/PresentGradients.cpp holds it.
#ifndef APP_TOOL_PRESENTGRADIENTS_H
#define APP_TOOL_PRESENTGRADIENTS_H

#include <vector>

#include "model/TMap.h"

namespace tessgrid::detail {

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

#endif  // APP_TOOL_PRESENTGRADIENTS_H
