// engine/NoDataModel.cpp - the no-data translation and the geometry checks of the tool and the
// Python module. The contracts are in engine/NoDataModel.h.
#include "engine/NoDataModel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <sstream>

#include "io/NumberText.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// A number as the grid writer writes it.
std::string Shown(double DblValue) {
  static const TNumberFormat kFormat = NumberFormatOf(std::ostringstream());
  return NumberText(DblValue, kFormat);
}

std::string CellName(std::size_t LngRow, std::size_t LngColumn) {
  return "row " + std::to_string(LngRow) + ", column " + std::to_string(LngColumn);
}

// Corners may differ by rounding: a grid written with fewer digits than it was computed with
// still lies where the other does.
bool SameEdge(double DblA, double DblB, double DblCellSize) {
  return std::fabs(DblA - DblB) <= 1e-6 * std::fabs(DblCellSize);
}

}  // namespace

TInputGrid DescribeHeader(const std::string& StgName, const TGridHeader& Header) {
  TInputGrid Input;
  Input.StgName = StgName;
  Input.LngColumns = Header.LngColumns;
  Input.LngRows = Header.LngRows;
  Input.DblWest = Header.DblXll;
  Input.DblSouth = Header.DblYll;
  Input.DblCellSize = Header.DblCellSize;
  Input.DblNoData = Header.DblNoData;
  return Input;
}

TInputGrid DescribeInput(const std::string& StgName, const TMap& Map) {
  TInputGrid Input;
  Input.StgName = StgName;
  Input.LngColumns = Map.MbrLngXDim;
  Input.LngRows = Map.MbrLngYDim;
  Input.DblCellSize = Map.MbrDblResolution;
  Input.DblNoData = Map.MbrDblNoDataValue;
  // The reader builds the edges by running sums from the corner it read, so the first X edge and
  // the last Y edge are the header's corners to the bit.
  if (Map.MbrPtrXAxisInterval != nullptr && Map.MbrPtrYAxisInterval != nullptr) {
    Input.DblWest = Map.MbrPtrXAxisInterval->GetPoint(0)->MbrDblX;
    Input.DblSouth = Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim)->MbrDblY;
  }
  return Input;
}

namespace {

// The declared no-data cells of a run of cells that holds no -9999 turned into -9999, without a
// branch per cell.
template <bool BlnNaN>
void TranslateRun(double* PtrCells, std::size_t LngCount, double DblDeclared) {
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    const double DblCell = PtrCells[LngK];
    const bool BlnNoData = BlnNaN ? DblCell != DblCell : DblCell == DblDeclared;
    PtrCells[LngK] = BlnNoData ? kDblLibraryNoData : DblCell;
  }
}

// Whether a run of cells holds -9999.
bool HoldsLibraryNoData(const double* PtrCells, std::size_t LngCount) {
  bool BlnHeld = false;
  for (std::size_t LngK = 0; LngK < LngCount; ++LngK) {
    BlnHeld = BlnHeld | (PtrCells[LngK] == kDblLibraryNoData);
  }
  return BlnHeld;
}

}  // namespace

long LibraryNoDataRow(double* PtrCells, std::size_t LngColumns, double DblDeclared) {
  if (DblDeclared == kDblLibraryNoData) {
    return -1;
  }
  const bool BlnNaN = std::isnan(DblDeclared);
  // Runs without a -9999 cell, the rule everywhere, are translated a run at a time; the run
  // that holds one is taken cell by cell up to it.
  constexpr std::size_t kLngRun = 256;
  std::size_t LngFirst = 0;
  for (; LngFirst < LngColumns; LngFirst += kLngRun) {
    const std::size_t LngCount = std::min(kLngRun, LngColumns - LngFirst);
    if (HoldsLibraryNoData(PtrCells + LngFirst, LngCount)) {
      break;
    }
    if (BlnNaN) {
      TranslateRun<true>(PtrCells + LngFirst, LngCount, DblDeclared);
    } else {
      TranslateRun<false>(PtrCells + LngFirst, LngCount, DblDeclared);
    }
  }
  for (std::size_t LngColumn = LngFirst; LngColumn < LngColumns; ++LngColumn) {
    double& DblCell = PtrCells[LngColumn];
    if (DblCell == DblDeclared || (BlnNaN && std::isnan(DblCell))) {
      DblCell = kDblLibraryNoData;
    } else if (DblCell == kDblLibraryNoData) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

void FailNoDataHeld(const TInputGrid& Input, std::size_t LngRow, std::size_t LngColumn) {
  Fail(Input.StgName + ": the cell at " + CellName(LngRow, LngColumn) +
       " holds -9999, a data value in this grid (NODATA_value " + Shown(Input.DblNoData) +
       "), which tessgrid-tool cannot tell from no-data");
}

void ToLibraryNoData(TMap& Map, const TInputGrid& Input) {
  Map.MbrDblNoDataValue = kDblLibraryNoData;
  for (std::size_t LngRow = 0; LngRow < Map.MbrVecValues.size(); ++LngRow) {
    std::vector<double>& VecRow = Map.MbrVecValues[LngRow];
    const long LngHeld = LibraryNoDataRow(VecRow.data(), VecRow.size(), Input.DblNoData);
    if (LngHeld >= 0) {
      FailNoDataHeld(Input, LngRow, static_cast<std::size_t>(LngHeld));
    }
  }
}

void KeepNoData(const TMap& Input, TMap& Result) {
  for (std::size_t LngRow = 0; LngRow < Input.MbrVecValues.size(); ++LngRow) {
    const std::vector<double>& VecIn = Input.MbrVecValues[LngRow];
    std::vector<double>& VecOut = Result.MbrVecValues[LngRow];
    for (std::size_t LngColumn = 0; LngColumn < VecIn.size(); ++LngColumn) {
      if (VecIn[LngColumn] == kDblLibraryNoData) {
        VecOut[LngColumn] = kDblLibraryNoData;
      }
    }
  }
}

std::unique_ptr<TMap> Kept(const TMap& Input, TMap* PtrResult, bool BlnComputed) {
  std::unique_ptr<TMap> PtrOwned(PtrResult);
  if (BlnComputed) {
    CheckDataKept({&Input}, *PtrOwned);
  }
  KeepNoData(Input, *PtrOwned);
  return PtrOwned;
}

void FailDataLost(std::size_t LngRow, std::size_t LngColumn) {
  Fail("the result at " + CellName(LngRow, LngColumn) +
       " comes to -9999, which the library's operations take for no-data; tessgrid-tool cannot "
       "keep it as data");
}

long DataLostColumn(const double* const* PtrInputs, std::size_t LngInputs, const double* PtrResult,
                    std::size_t LngColumns) {
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    if (PtrResult[LngColumn] != kDblLibraryNoData) {
      continue;
    }
    bool BlnNoDataIn = false;
    for (std::size_t LngI = 0; LngI < LngInputs && !BlnNoDataIn; ++LngI) {
      BlnNoDataIn = PtrInputs[LngI][LngColumn] == kDblLibraryNoData;
    }
    if (!BlnNoDataIn) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

void CheckDataKept(const std::vector<const TMap*>& VecInputs, const TMap& Result) {
  std::vector<const double*> VecRows(VecInputs.size());
  for (std::size_t LngRow = 0; LngRow < Result.MbrVecValues.size(); ++LngRow) {
    for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
      VecRows[LngI] = VecInputs[LngI]->MbrVecValues[LngRow].data();
    }
    const std::vector<double>& VecOut = Result.MbrVecValues[LngRow];
    const long LngLost =
        DataLostColumn(VecRows.data(), VecRows.size(), VecOut.data(), VecOut.size());
    if (LngLost >= 0) {
      FailDataLost(LngRow, static_cast<std::size_t>(LngLost));
    }
  }
}

long DeclaredNoDataRow(double* PtrCells, std::size_t LngColumns, double DblNoData) {
  const bool BlnNaN = std::isnan(DblNoData);
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    double& DblCell = PtrCells[LngColumn];
    if (DblCell == kDblLibraryNoData || !std::isfinite(DblCell)) {
      DblCell = DblNoData;
    } else if (!BlnNaN && DblCell == DblNoData) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

void FailNoDataWritten(const std::string& StgOutput, double DblNoData, std::size_t LngRow,
                       std::size_t LngColumn) {
  Fail(StgOutput + ": the result holds " + Shown(DblNoData) + " at " + CellName(LngRow, LngColumn) +
       ", a data value equal to the NODATA_value it declares; choose another with --nodata");
}

void ToDeclaredNoData(TMap& Map, double DblNoData, const std::string& StgOutput) {
  for (std::size_t LngRow = 0; LngRow < Map.MbrVecValues.size(); ++LngRow) {
    std::vector<double>& VecRow = Map.MbrVecValues[LngRow];
    const long LngHeld = DeclaredNoDataRow(VecRow.data(), VecRow.size(), DblNoData);
    if (LngHeld >= 0) {
      FailNoDataWritten(StgOutput, DblNoData, LngRow, static_cast<std::size_t>(LngHeld));
    }
  }
  Map.MbrDblNoDataValue = DblNoData;
}

double ToLibraryValue(double DblValue, const TInputGrid& Input) {
  const bool BlnNoData =
      DblValue == Input.DblNoData || (std::isnan(DblValue) && std::isnan(Input.DblNoData));
  return BlnNoData ? kDblLibraryNoData : DblValue;
}

bool OnGridOf(const TMap& Map, const TInputGrid& Input) {
  return Map.MbrPtrXAxisInterval != nullptr && Map.MbrPtrYAxisInterval != nullptr &&
         OnGridOf(DescribeInput("", Map), Input);
}

bool OnGridOf(const TInputGrid& Grid, const TInputGrid& Input) {
  return Grid.LngColumns == Input.LngColumns && Grid.LngRows == Input.LngRows &&
         Grid.DblCellSize == Input.DblCellSize &&
         SameEdge(Grid.DblWest, Input.DblWest, Input.DblCellSize) &&
         SameEdge(Grid.DblSouth, Input.DblSouth, Input.DblCellSize);
}

bool OrdinaryGrid(const TInputGrid& Grid) {
  if (Grid.LngColumns < 1 || Grid.LngRows < 1 || !std::isfinite(Grid.DblCellSize) ||
      Grid.DblCellSize <= 0.0) {
    return false;
  }
  const TDerivedEdges Edges = DerivedEdgesOfCentres(Grid.DblWest, Grid.DblSouth, Grid.DblCellSize,
                                                    static_cast<std::size_t>(Grid.LngColumns),
                                                    static_cast<std::size_t>(Grid.LngRows));
  TInputGrid Result = Grid;
  Result.DblWest = Edges.DblWest;
  Result.DblSouth = Edges.DblSouth;
  return Edges.BlnCentresInside && OnGridOf(Result, Grid);
}

void CheckAligned(const std::vector<const TInputGrid*>& VecGrids) {
  if (VecGrids.empty()) {
    return;
  }
  const TInputGrid& First = *VecGrids.front();
  for (const TInputGrid* PtrOther : VecGrids) {
    const TInputGrid& Other = *PtrOther;
    const char* PtrEntry = nullptr;
    std::string StgFirst;
    std::string StgOther;
    if (Other.LngColumns != First.LngColumns) {
      PtrEntry = "ncols";
      StgFirst = std::to_string(First.LngColumns);
      StgOther = std::to_string(Other.LngColumns);
    } else if (Other.LngRows != First.LngRows) {
      PtrEntry = "nrows";
      StgFirst = std::to_string(First.LngRows);
      StgOther = std::to_string(Other.LngRows);
    } else if (Other.DblCellSize != First.DblCellSize) {
      PtrEntry = "cellsize";
      StgFirst = Shown(First.DblCellSize);
      StgOther = Shown(Other.DblCellSize);
    } else if (!SameEdge(Other.DblWest, First.DblWest, First.DblCellSize)) {
      PtrEntry = "xllcorner";
      StgFirst = Shown(First.DblWest);
      StgOther = Shown(Other.DblWest);
    } else if (!SameEdge(Other.DblSouth, First.DblSouth, First.DblCellSize)) {
      PtrEntry = "yllcorner";
      StgFirst = Shown(First.DblSouth);
      StgOther = Shown(Other.DblSouth);
    }
    if (PtrEntry != nullptr) {
      Fail("grids are not aligned: " + First.StgName + " and " + Other.StgName + " differ in " +
           PtrEntry + " (" + StgFirst + " vs " + StgOther + ")");
    }
  }
}

}  // namespace tessgrid::detail
