// ops/Gradients.cpp - TMapTools: least-squares gradients over a sliding window of a map series,
// the values of one cell across the series, and a nonzero neighbour value.
// Declarations and contracts in ops/TMapTools.h.
#include <algorithm>
#include <memory>

#include "model/Fail.h"
#include "ops/TMapTools.h"
#include "util/LeastSquares.h"
#include "util/TVectorTools.h"

namespace {

// The neighbour scan of FindNonzeroNeighbourVal for a cell known to be inside the map.
double NonzeroNeighbour(const TMap& Map, long LngX, long LngY) {
  const long LngXFirst = std::max(LngX - 1, 0L);
  const long LngXLast = std::min(LngX + 1, Map.MbrLngXDim - 1);
  const long LngYFirst = std::max(LngY - 1, 0L);
  const long LngYLast = std::min(LngY + 1, Map.MbrLngYDim - 1);
  double DblResult = 0.0;
  for (long LngI = LngXFirst; LngI <= LngXLast; ++LngI) {
    for (long LngJ = LngYFirst; LngJ <= LngYLast; ++LngJ) {
      const double DblValue =
          Map.MbrVecValues[static_cast<std::size_t>(LngJ)][static_cast<std::size_t>(LngI)];
      // Not-a-number is not equal to 0.0, so it counts as nonzero.
      if (!(DblValue == 0.0)) {
        DblResult = DblValue;
        break;
      }
    }
  }
  return DblResult;
}

}  // namespace

double TMapTools::FindNonzeroNeighbourVal(const TMap* PtrMap, long LngX, long LngY) {
  if (LngX < 0 || LngX >= PtrMap->MbrLngXDim) {
    Fail("X-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal");
  }
  if (LngY < 0 || LngY >= PtrMap->MbrLngYDim) {
    Fail("Y-ordinate is out of range in TMapTools::FindNonzeroNeighbourVal");
  }
  return NonzeroNeighbour(*PtrMap, LngX, LngY);
}

std::vector<double> TMapTools::GetValuesVector(std::vector<TMap*> VecMaps, long LngX, long LngY,
                                               int LngStart, int LngEnd) {
  // Compared as unsigned on purpose: a negative map number becomes huge and out of range.
  if (static_cast<std::size_t>(LngStart) >= VecMaps.size()) {
    Fail("Start map number is out of range in TMapTools::GetValuesVector");
  }
  if (static_cast<std::size_t>(LngEnd) >= VecMaps.size()) {
    Fail("End map number is out of range in TMapTools::GetValuesVector");
  }
  if (LngStart >= LngEnd) {
    Fail("Stat map number must be less than end map number");
  }
  std::vector<double> VecValues;
  VecValues.reserve(static_cast<std::size_t>(LngEnd - LngStart) + 1);
  for (int LngK = LngStart; LngK <= LngEnd; ++LngK) {
    VecValues.push_back(VecMaps[static_cast<std::size_t>(LngK)]->GetPointVal(LngX, LngY));
  }
  return VecValues;
}

std::vector<TMap*> TMapTools::ValueGradients(std::vector<TMap*> VecMaps, int LngWindowSize) {
  // A window of no maps, or a negative one, would read before or past the series.
  if (LngWindowSize < 1) {
    Fail("Window size must be >= 1 in TMapTools::ValueGradients");
  }
  const std::size_t LngMaps = VecMaps.size();
  const std::size_t LngWindow = static_cast<std::size_t>(LngWindowSize);
  if (LngMaps < LngWindow) {
    Fail("Window size must be < number of maps in TMapTools::ValueGradients");
  }
  const TMap& First = *VecMaps.front();
  const long LngXDim = First.MbrLngXDim;
  const long LngYDim = First.MbrLngYDim;
  for (std::size_t LngK = 1; LngK < LngMaps; ++LngK) {
    if (VecMaps[LngK]->MbrLngXDim != LngXDim || VecMaps[LngK]->MbrLngYDim != LngYDim) {
      Fail("Map dimensions do not match in TMapTools::ValueGradients");
    }
  }
  const std::size_t LngPositions = LngMaps - LngWindow;
  if (LngPositions > 0 && (First.MbrPtrXAxis == nullptr || First.MbrPtrYAxis == nullptr)) {
    Fail("Map has no axes in TMapTools::ValueGradients");
  }

  std::vector<std::unique_ptr<TMap>> VecOwned;
  VecOwned.reserve(LngPositions);
  // One window's worth of scratch, reused by every cell: the cell loop allocates nothing.
  std::vector<const double*> VecRows(LngWindow + 1);
  std::vector<double> VecValues(LngWindow + 1);
  std::vector<double> VecKeptX(LngWindow + 1);
  std::vector<double> VecKeptY(LngWindow + 1);
  for (std::size_t LngI = 0; LngI < LngPositions; ++LngI) {
    const std::vector<double> VecAbscissae = TVectorTools::VectorSeries(
        static_cast<double>(LngI), static_cast<double>(LngI + LngWindow), 1.0);
    auto PtrResult = std::make_unique<TMap>(First.MbrPtrXAxis, First.MbrPtrYAxis);
    // Cells are independent and no read can fail after the dimension check, so the cells are
    // visited row by row, the order the grid is stored in.
    for (long LngY = 0; LngY < LngYDim; ++LngY) {
      const std::size_t LngRow = static_cast<std::size_t>(LngY);
      for (std::size_t LngL = 0; LngL <= LngWindow; ++LngL) {
        VecRows[LngL] = VecMaps[LngI + LngL]->MbrVecValues[LngRow].data();
      }
      double* PtrOut = PtrResult->MbrVecValues[LngRow].data();
      for (long LngX = 0; LngX < LngXDim; ++LngX) {
        if (VecRows[0][LngX] == 0.0) {
          continue;
        }
        std::size_t LngKept = 0;
        for (std::size_t LngL = 0; LngL <= LngWindow; ++LngL) {
          const TMap& Source = *VecMaps[LngI + LngL];
          double DblValue = VecRows[LngL][LngX];
          // The last map of the window keeps its zeros.
          if (LngL < LngWindow && DblValue == 0.0) {
            DblValue = NonzeroNeighbour(Source, LngX, LngY);
          }
          // Each value is judged by the no-data value of the map it came from.
          if (!(DblValue == Source.MbrDblNoDataValue)) {
            VecKeptX[LngKept] = VecAbscissae[LngL];
            VecKeptY[LngKept] = DblValue;
            ++LngKept;
          }
        }
        PtrOut[LngX] = LeastSquaresSlope(VecKeptX.data(), VecKeptY.data(), LngKept);
      }
    }
    VecOwned.push_back(std::move(PtrResult));
  }

  std::vector<TMap*> VecResult;
  VecResult.reserve(VecOwned.size());
  for (std::unique_ptr<TMap>& PtrMap : VecOwned) {
    VecResult.push_back(PtrMap.release());
  }
  return VecResult;
}
