// app/python/PyGrid.cpp - grids in and out of the library's maps, and the thread count of the
// threaded operations. The contracts are in app/python/PyGrid.h.
#include "app/python/PyGrid.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/Threads.h"
#include "model/Fail.h"

namespace tessgrid::detail {

py::array_t<double> CellsOf(py::handle Object, const std::string& StgName) {
  // ensure() hands back the very array when it is C-contiguous float64, else converts.
  auto ArrCells = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(Object);
  if (!ArrCells || ArrCells.ndim() != 2) {
    PyErr_Clear();
    Fail(StgName + " must be a 2-D array of numbers");
  }
  return ArrCells;
}

TPyGrid GridArgument(py::handle Object, const std::string& StgName,
                     std::optional<double> OptNoData) {
  if (py::isinstance<TPyGrid>(Object)) {
    return Object.cast<TPyGrid>();
  }
  TPyGrid Grid;
  Grid.ArrCells = CellsOf(Object, StgName);
  Grid.DblNoData = OptNoData.value_or(kDblLibraryNoData);
  Grid.StgName = StgName;
  return Grid;
}

TInputGrid DescribeGrid(const TPyGrid& Grid) {
  TInputGrid Input;
  Input.StgName = Grid.StgName;
  Input.LngColumns = Grid.Columns();
  Input.LngRows = Grid.Rows();
  Input.DblWest = Grid.DblXll;
  Input.DblSouth = Grid.DblYll;
  Input.DblCellSize = Grid.DblCellSize;
  Input.DblNoData = Grid.DblNoData;
  return Input;
}

std::unique_ptr<TMap> LibraryMap(const TPyGrid& Grid) {
  TGridHeader Header;
  Header.LngColumns = Grid.Columns();
  Header.LngRows = Grid.Rows();
  Header.DblXll = Grid.DblXll;
  Header.DblYll = Grid.DblYll;
  Header.DblCellSize = Grid.DblCellSize;
  Header.DblNoData = Grid.DblNoData;
  std::vector<std::vector<double>> VecRows(static_cast<std::size_t>(Header.LngRows));
  for (long LngRow = 0; LngRow < Header.LngRows; ++LngRow) {
    VecRows[static_cast<std::size_t>(LngRow)].assign(Grid.Row(LngRow),
                                                     Grid.Row(LngRow) + Header.LngColumns);
  }
  std::unique_ptr<TMap> PtrMap = MapOfGrid(Header, VecRows);
  ToLibraryNoData(*PtrMap, DescribeGrid(Grid));
  return PtrMap;
}

TPyGrid ResultGrid(std::unique_ptr<TMap> PtrMap, const TPyGrid& Source, double DblNoData) {
  TPyGrid Result;
  const TInputGrid SourceInput = DescribeGrid(Source);
  TGridLayout Layout{};
  {
    py::gil_scoped_release Release;
    ToDeclaredNoData(*PtrMap, DblNoData, "result");
    Layout = GridLayoutOf(*PtrMap);
    if (OnGridOf(*PtrMap, SourceInput)) {
      Layout.DblWest = SourceInput.DblWest;
      Layout.DblSouth = SourceInput.DblSouth;
      Layout.DblCellSize = SourceInput.DblCellSize;
    }
  }
  const auto LngRows = static_cast<py::ssize_t>(PtrMap->MbrLngYDim);
  const auto LngColumns = static_cast<py::ssize_t>(PtrMap->MbrLngXDim);
  Result.ArrCells = py::array_t<double>({LngRows, LngColumns});
  double* PtrCells = Result.ArrCells.mutable_data();
  {
    py::gil_scoped_release Release;
    for (py::ssize_t LngRow = 0; LngRow < LngRows; ++LngRow) {
      const std::vector<double>& VecRow = PtrMap->MbrVecValues[static_cast<std::size_t>(LngRow)];
      std::copy(VecRow.begin(), VecRow.end(), PtrCells + LngRow * LngColumns);
    }
    PtrMap.reset();
  }
  Result.DblXll = Layout.DblWest;
  Result.DblYll = Layout.DblSouth;
  Result.DblCellSize = Layout.DblCellSize;
  Result.DblNoData = DblNoData;
  Result.OptCrs = Source.OptCrs;
  Result.StgName = "result";
  return Result;
}

long ThreadsOf(std::optional<long> OptThreads) {
  if (OptThreads && *OptThreads < 1) {
    Fail("threads must be 1 or more");
  }
  return std::min(OptThreads.value_or(ThreadCount()), kLngMaxThreads);
}

}  // namespace tessgrid::detail
