// engine/WindowOperation.cpp - the window operations on loaded maps, and gradients' own rule:
// every window's slopes a row at a time from the one row kernel LeastSquaresSlopeRow. The
// contracts are in engine/WindowOperation.h.
#include "engine/WindowOperation.h"

#include <cstddef>

#include "engine/NoDataModel.h"
#include "engine/SeriesOperation.h"
#include "model/Fail.h"
#include "model/UnfilledMap.h"
#include "ops/TMapTools.h"
#include "tessgrid_owning.h"
#include "util/LeastSquares.h"
#include "util/TVectorTools.h"

namespace tessgrid::detail {

std::vector<TMap*> GradientsOfPresentValues(std::vector<TMap*> VecMaps, int IntWindow) {
  if (IntWindow < 1) {
    Fail("Window size must be >= 1 in TMapTools::ValueGradients");
  }
  const std::size_t LngWindow = static_cast<std::size_t>(IntWindow);
  if (VecMaps.size() < LngWindow) {
    Fail("Window size must be < number of maps in TMapTools::ValueGradients");
  }
  const TMap& First = *VecMaps.front();
  for (const TMap* PtrMap : VecMaps) {
    if (PtrMap->MbrLngXDim != First.MbrLngXDim || PtrMap->MbrLngYDim != First.MbrLngYDim) {
      Fail("Map dimensions do not match in TMapTools::ValueGradients");
    }
  }
  const std::size_t LngPositions = VecMaps.size() - LngWindow;
  if (LngPositions > 0 && (First.MbrPtrXAxis == nullptr || First.MbrPtrYAxis == nullptr)) {
    Fail("Map has no axes in TMapTools::ValueGradients");
  }
  const std::size_t LngColumns = static_cast<std::size_t>(First.MbrLngXDim);
  std::vector<std::unique_ptr<TMap>> VecResults;
  std::vector<std::vector<double>> VecAbscissae;
  for (std::size_t LngI = 0; LngI < LngPositions; ++LngI) {
    VecResults.push_back(NewUnfilledMap(First.MbrPtrXAxis, First.MbrPtrYAxis));
    if (VecResults.back()->MbrLngXDim != First.MbrLngXDim ||
        VecResults.back()->MbrLngYDim != First.MbrLngYDim) {
      Fail("Map dimensions do not match in TMapTools::ValueGradients");
    }
    // The map numbers as TMapTools::ValueGradients takes them.
    VecAbscissae.push_back(TVectorTools::VectorSeries(static_cast<double>(LngI),
                                                      static_cast<double>(LngI + LngWindow), 1.0));
  }
  // Row by row, so that a row of every map is read from memory once for all windows holding it.
  std::vector<const double*> VecRows(VecMaps.size());
  std::vector<double> VecSums(5 * LngColumns);
  std::vector<double> VecOut(LngColumns);
  for (long LngY = 0; LngY < First.MbrLngYDim && LngPositions > 0; ++LngY) {
    const std::size_t LngRow = static_cast<std::size_t>(LngY);
    for (std::size_t LngK = 0; LngK < VecMaps.size(); ++LngK) {
      VecRows[LngK] = VecMaps[LngK]->MbrVecValues[LngRow].data();
    }
    for (std::size_t LngI = 0; LngI < LngPositions; ++LngI) {
      LeastSquaresSlopeRow(VecAbscissae[LngI].data(), VecRows.data() + LngI, LngWindow + 1,
                           LngColumns, kDblLibraryNoData, VecSums.data(), VecOut.data());
      VecResults[LngI]->MbrVecValues[LngRow].assign(VecOut.begin(), VecOut.end());
    }
  }
  // Handed over only once every map is complete.
  std::vector<TMap*> VecHanded;
  VecHanded.reserve(VecResults.size());
  for (std::unique_ptr<TMap>& PtrResult : VecResults) {
    VecHanded.push_back(PtrResult.release());
  }
  return VecHanded;
}

bool OnItsWindowsFirstMap(TWindowOperation Operation) {
  return Operation == TWindowOperation::kMovingAverage;
}

std::unique_ptr<TCellRule> WindowCellRule(TWindowOperation Operation, int IntWindow) {
  // A slope's abscissae are its window's map numbers, which a cell rule is not told, and its
  // result lies on the first map's grid.
  if (Operation != TWindowOperation::kMovingAverage || IntWindow < 1) {
    return nullptr;
  }
  return std::make_unique<TSeriesCellRule>(TSeriesOptions{TSeriesRule::kAverage, 0},
                                           static_cast<std::size_t>(IntWindow));
}

std::vector<std::unique_ptr<TMap>> WindowsOfMaps(TWindowOperation Operation,
                                                 const std::vector<TMap*>& VecMaps, int IntWindow) {
  std::vector<std::unique_ptr<TMap>> VecResults;
  switch (Operation) {
    case TWindowOperation::kMovingAverage:
      VecResults = tessgrid::Own(TMapTools::MovingAverage(VecMaps, IntWindow));
      break;
    case TWindowOperation::kGradients:
      VecResults = tessgrid::Own(GradientsOfPresentValues(VecMaps, IntWindow));
      break;
    case TWindowOperation::kGradientsZeroMissing:
      VecResults = tessgrid::Own(TMapTools::ValueGradients(VecMaps, IntWindow));
      break;
  }
  // A window's average is -9999 only where one of its grids has no data; a slope is no-data
  // where too few values are present.
  for (std::size_t LngI = 0; OnItsWindowsFirstMap(Operation) && LngI < VecResults.size(); ++LngI) {
    std::vector<const TMap*> VecWindow;
    for (std::size_t LngK = LngI;
         LngK < LngI + static_cast<std::size_t>(IntWindow) && LngK < VecMaps.size(); ++LngK) {
      VecWindow.push_back(VecMaps[LngK]);
    }
    CheckDataKept(VecWindow, *VecResults[LngI]);
  }
  return VecResults;
}

}  // namespace tessgrid::detail
