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

using namespace pybind11::literals;

const std::string& TextArgument(const std::string& StgText, const std::string& StgName) {
  const std::size_t LngNul = StgText.find('\0');
  if (LngNul != std::string::npos) {
    Fail(StgName + " holds a NUL character at position " + std::to_string(LngNul));
  }
  return StgText;
}

py::array_t<double> CellsOf(py::handle Object, const std::string& StgName, double DblNoData) {
  py::object Cells = py::reinterpret_borrow<py::object>(Object);
  const py::module_ Masked = py::module_::import("numpy.ma");
  if (py::isinstance(Object, Masked.attr("MaskedArray"))) {
    // A masked cell still holds a number beneath its mask, which the buffer would hand on as
    // data; only the declared no-data value tells the library that a cell is missing.
    try {
      Cells =
          Masked.attr("filled")(Masked.attr("asarray")(Object, "dtype"_a = "float64"), DblNoData);
    } catch (py::error_already_set&) {
      Fail(StgName + " must be a 2-D array of numbers");
    }
  }
  // ensure() hands back the very array when it is C-contiguous float64, else converts.
  auto ArrCells = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(Cells);
  if (!ArrCells || ArrCells.ndim() != 2) {
    PyErr_Clear();
    Fail(StgName + " must be a 2-D array of numbers");
  }
  return ArrCells;
}

TGridHeader HeaderOf(const TPyGrid& Grid) {
  TGridHeader Header;
  Header.LngColumns = Grid.Columns();
  Header.LngRows = Grid.Rows();
  Header.DblXll = Grid.DblXll;
  Header.DblYll = Grid.DblYll;
  Header.DblCellSize = Grid.DblCellSize;
  Header.DblNoData = Grid.DblNoData;
  return Header;
}

TPyGrid GridArgument(py::handle Object, const std::string& StgName,
                     std::optional<double> OptNoData) {
  TPyGrid Grid;
  if (py::isinstance<TPyGrid>(Object)) {
    Grid = Object.cast<TPyGrid>();
  } else {
    Grid.DblNoData = OptNoData.value_or(kDblLibraryNoData);
    Grid.ArrCells = CellsOf(Object, StgName, Grid.DblNoData);
    Grid.StgName = StgName;
  }
  // The library's maps hold a row and edge points for every row or column even without cells:
  // a billion rows of nothing would take gigabytes before any operation could refuse them.
  if (Grid.Rows() == 0 || Grid.Columns() == 0) {
    Fail(StgName + " has no cells (" + std::to_string(Grid.Rows()) + " x " +
         std::to_string(Grid.Columns()) + "); an operation needs one row and one column or more");
  }
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
  const TGridHeader Header = HeaderOf(Grid);
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
