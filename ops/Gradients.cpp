// ops/Gradients.cpp - TMapTools: least-squares gradients over a sliding window of a map series,
// the values of one cell across the series, and a nonzero neighbour value.
// Declarations and contracts in ops/TMapTools.h.
#include <algorithm>
#include <limits>
#include <memory>

#include "model/Fail.h"
#include "ops/ResultGrid.h"
#include "ops/TMapTools.h"
#include "util/LeastSquares.h"
#include "util/TVectorTools.h"

using tessgrid::detail::CheckResultHoldsGrid;
using tessgrid::detail::Fail;
using tessgrid::detail::LeastSquaresSlope;
using tessgrid::detail::NewUnfilledMap;
using tessgrid::detail::ReleaseAll;
using tessgrid::detail::SetRemainingRows;
using tessgrid::detail::SetResultRow;

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

// What the cells of one window position share.
struct TWindow {
  std::size_t MbrLngFirst;              ///< map number of the window's first map, i
  std::vector<double> MbrVecAbscissae;  ///< the map numbers i .. i + w, from VectorSeries
  std::vector<double> MbrVecNoData;     ///< the no-data value of each map of the window
  std::vector<double> MbrVecZeroMark;   ///< 0.0 where a zero is replaced, NaN (equal to nothing)
                                        ///< for the last map, whose zeros stay
  double MbrDblSx;                      ///< sum of the abscissae, as LeastSquaresSlope forms it
  double MbrDblN;                       ///< w + 1
  double MbrDblDenominator;             ///< n Sxx - Sx Sx for a cell that keeps every value
};

TWindow MakeWindow(const std::vector<TMap*>& VecMaps, std::size_t LngFirst, std::size_t LngWindow) {
  TWindow Window;
  Window.MbrLngFirst = LngFirst;
  Window.MbrVecAbscissae = TVectorTools::VectorSeries(
      static_cast<double>(LngFirst), static_cast<double>(LngFirst + LngWindow), 1.0);
  for (std::size_t LngL = 0; LngL <= LngWindow; ++LngL) {
    Window.MbrVecNoData.push_back(VecMaps[LngFirst + LngL]->MbrDblNoDataValue);
    Window.MbrVecZeroMark.push_back(LngL < LngWindow ? 0.0
                                                     : std::numeric_limits<double>::quiet_NaN());
  }
  // A cell that keeps all its values has the same abscissae as every other such cell, so their
  // sums serve the whole window; they are formed exactly as LeastSquaresSlope forms them.
  double DblSx = 0.0;
  double DblSxx = 0.0;
  for (double DblX : Window.MbrVecAbscissae) {
    const double DblXX = DblX * DblX;
    DblSx += DblX;
    DblSxx += DblXX;
  }
  const double DblSxSquared = DblSx * DblSx;
  Window.MbrDblSx = DblSx;
  Window.MbrDblN = static_cast<double>(LngWindow + 1);
  Window.MbrDblDenominator = Window.MbrDblN * DblSxx - DblSxSquared;
  return Window;
}

// Working rows of one call, sized once: the cell loops allocate nothing.
struct TRowScratch {
  TRowScratch(std::size_t LngRowLength, std::size_t LngWindow)
      : MbrVecSy(LngRowLength),
        MbrVecSxy(LngRowLength),
        MbrVecMarks(LngRowLength),
        MbrVecKeptX(LngWindow + 1),
        MbrVecKeptY(LngWindow + 1) {}
  std::vector<double> MbrVecSy;     ///< per cell: running sum of the values
  std::vector<double> MbrVecSxy;    ///< per cell: running sum of abscissa times value
  std::vector<double> MbrVecMarks;  ///< per cell: nonzero when a zero or no-data rule applies
  std::vector<double> MbrVecKeptX;  ///< the kept pairs of one cell that a rule touches
  std::vector<double> MbrVecKeptY;
};

// Computes row LngY of one window's result. PtrRows points at the row of each map of the window.
void GradientRow(const TWindow& Window, const std::vector<TMap*>& VecMaps,
                 const double* const* PtrRows, long LngY, TRowScratch& Scratch, double* PtrOut,
                 double DblUnset) {
  const std::size_t LngCount = Window.MbrVecAbscissae.size();
  const std::size_t LngRowLength = Scratch.MbrVecSy.size();
  double* PtrSy = Scratch.MbrVecSy.data();
  double* PtrSxy = Scratch.MbrVecSxy.data();
  double* PtrMarks = Scratch.MbrVecMarks.data();
  std::fill(PtrSy, PtrSy + LngRowLength, 0.0);
  std::fill(PtrSxy, PtrSxy + LngRowLength, 0.0);
  std::fill(PtrMarks, PtrMarks + LngRowLength, 0.0);

  // First every cell as if it kept all its values: map by map, the sums of the whole row advance
  // together, each cell's sums still added in map order from 0.0. Branch-free, so it vectorises.
  for (std::size_t LngL = 0; LngL < LngCount; ++LngL) {
    const double* PtrValues = PtrRows[LngL];
    const double DblX = Window.MbrVecAbscissae[LngL];
    const double DblNoData = Window.MbrVecNoData[LngL];
    const double DblZeroMark = Window.MbrVecZeroMark[LngL];
    for (std::size_t LngX = 0; LngX < LngRowLength; ++LngX) {
      const double DblValue = PtrValues[LngX];
      const double DblXY = DblX * DblValue;
      PtrSy[LngX] += DblValue;
      PtrSxy[LngX] += DblXY;
      PtrMarks[LngX] += ((DblValue == DblZeroMark) | (DblValue == DblNoData)) ? 1.0 : 0.0;
    }
  }
  for (std::size_t LngX = 0; LngX < LngRowLength; ++LngX) {
    PtrOut[LngX] =
        (Window.MbrDblN * PtrSxy[LngX] - Window.MbrDblSx * PtrSy[LngX]) / Window.MbrDblDenominator;
  }

  // Then the few cells a rule touches, by the definition itself.
  for (std::size_t LngX = 0; LngX < LngRowLength; ++LngX) {
    if (PtrMarks[LngX] == 0.0) {
      continue;
    }
    if (PtrRows[0][LngX] == 0.0) {
      PtrOut[LngX] = DblUnset;
      continue;
    }
    std::size_t LngKept = 0;
    for (std::size_t LngL = 0; LngL < LngCount; ++LngL) {
      double DblValue = PtrRows[LngL][LngX];
      // The last map of the window keeps its zeros.
      if (LngL + 1 < LngCount && DblValue == 0.0) {
        DblValue =
            NonzeroNeighbour(*VecMaps[Window.MbrLngFirst + LngL], static_cast<long>(LngX), LngY);
      }
      // Each value is judged by the no-data value of the map it came from.
      if (!(DblValue == Window.MbrVecNoData[LngL])) {
        Scratch.MbrVecKeptX[LngKept] = Window.MbrVecAbscissae[LngL];
        Scratch.MbrVecKeptY[LngKept] = DblValue;
        ++LngKept;
      }
    }
    PtrOut[LngX] =
        LeastSquaresSlope(Scratch.MbrVecKeptX.data(), Scratch.MbrVecKeptY.data(), LngKept);
  }
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

  // All windows advance together row by row: a row of every map is read from memory once and
  // serves each window that holds it.
  std::vector<TWindow> VecWindows;
  std::vector<std::unique_ptr<TMap>> VecOwned;
  VecWindows.reserve(LngPositions);
  VecOwned.reserve(LngPositions);
  for (std::size_t LngI = 0; LngI < LngPositions; ++LngI) {
    VecWindows.push_back(MakeWindow(VecMaps, LngI, LngWindow));
    VecOwned.push_back(NewUnfilledMap(First.MbrPtrXAxis, First.MbrPtrYAxis));
    CheckResultHoldsGrid(*VecOwned.back(), LngXDim, LngYDim);
  }
  TRowScratch Scratch(static_cast<std::size_t>(std::max(LngXDim, 0L)), LngWindow);
  std::vector<const double*> VecRows(LngMaps);
  // Each result row is computed here and copied once into its map, never filled first.
  std::vector<double> VecOut(static_cast<std::size_t>(std::max(LngXDim, 0L)));
  for (long LngY = 0; LngY < LngYDim && LngPositions > 0; ++LngY) {
    const std::size_t LngRow = static_cast<std::size_t>(LngY);
    for (std::size_t LngK = 0; LngK < LngMaps; ++LngK) {
      VecRows[LngK] = VecMaps[LngK]->MbrVecValues[LngRow].data();
    }
    for (std::size_t LngI = 0; LngI < LngPositions; ++LngI) {
      TMap& Result = *VecOwned[LngI];
      GradientRow(VecWindows[LngI], VecMaps, VecRows.data() + LngI, LngY, Scratch, VecOut.data(),
                  Result.MbrDblNoDataValue);
      SetResultRow(Result, LngY, VecOut.data(), VecOut.size());
    }
  }
  for (std::unique_ptr<TMap>& PtrResult : VecOwned) {
    SetRemainingRows(*PtrResult, LngYDim);
  }

  return ReleaseAll(VecOwned);
}
