// app/tool/PresentGradients.cpp - GradientsOfPresentValues: every window's slopes a row at a time
// from the one row kernel LeastSquaresSlopeRow. The contract is in app/tool/PresentGradients.h.
#include "app/tool/PresentGradients.h"

#include <cstddef>
#include <memory>

#include "engine/NoDataModel.h"
#include "model/Fail.h"
#include "model/UnfilledMap.h"
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

}  // namespace tessgrid::detail
