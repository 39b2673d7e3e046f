// tests/support/MapBuilders.h - tiny map builders shared by the tests.
// Maps get the grid reader's own edges (io/GridReader.h): running sums from the corner.
#ifndef TESTS_SUPPORT_MAPBUILDERS_H
#define TESTS_SUPPORT_MAPBUILDERS_H

#include <memory>
#include <vector>

#include "io/GridReader.h"
#include "model/TAxis.h"
#include "model/TMap.h"

namespace tessgrid_test {

/// Returns an axis of the given points (x, y pairs); the caller owns it.
inline std::unique_ptr<TAxis> MakeAxis(double DblResolution,
                                       const std::vector<std::pair<double, double>>& VecXY) {
  auto PtrAxis = std::make_unique<TAxis>(DblResolution, static_cast<long>(VecXY.size()));
  for (std::size_t LngI = 0; LngI < VecXY.size(); ++LngI) {
    PtrAxis->SetPoint(static_cast<long>(LngI), new TPoint(VecXY[LngI].first, VecXY[LngI].second));
  }
  return PtrAxis;
}

/// Returns a map of the given rows (north first) whose south-western corner is (x0, y0), with
/// a rising X and a falling Y interval axis built by running sums, as the grid reader does.
/// The caller owns the map.
inline std::unique_ptr<TMap> MakeMap(double DblX0, double DblY0, double DblResolution,
                                     const std::vector<std::vector<double>>& VecRows,
                                     double DblNoData = -9999.0) {
  const long LngRows = static_cast<long>(VecRows.size());
  const long LngCols = LngRows == 0 ? 0 : static_cast<long>(VecRows[0].size());
  auto PtrMap = std::make_unique<TMap>(DblResolution, LngCols, LngRows);
  PtrMap->MbrDblNoDataValue = DblNoData;
  for (long LngY = 0; LngY < LngRows; ++LngY) {
    for (long LngX = 0; LngX < LngCols; ++LngX) {
      PtrMap->SetPoint(LngX, LngY,
                       VecRows[static_cast<std::size_t>(LngY)][static_cast<std::size_t>(LngX)]);
    }
  }
  tessgrid::detail::SetReaderEdges(*PtrMap, DblX0, DblY0, DblResolution);
  return PtrMap;
}

}  // namespace tessgrid_test

#endif  // TESTS_SUPPORT_MAPBUILDERS_H
