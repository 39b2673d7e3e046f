// app/python/PyGrid.cpp - grids in and out of the library's maps, and the thread count of the
// threaded operations. The contracts are in app/python/PyGrid.h.
#include "app/python/PyGrid.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "engine/MemoryRows.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/Threads.h"
#include "model/Fail.h"

namespace tessgrid::detail {

using namespace pybind11::literals;

namespace {

// Refuses a float32 grid whose no-data value no float32 cell could equal.
void CheckFloat32NoData(const TPyGrid& Grid) {
  if (!Float32NoData(Grid.DblNoData)) {
    Fail(Grid.StgName + ": the nodata value " + NumberWords(Grid.DblNoData) +
         " is not a float32 number; a float32 grid needs one, such as -9999 or nan");
  }
}

bool IsNameCharacter(char ChrAt) {
  return std::isalnum(static_cast<unsigned char>(ChrAt)) != 0 || ChrAt == '_';
}

// Drops each " in TClass::Function" (a T, a name, "::", a name that may start with ~).
std::string WithoutFunctionNames(const std::string& StgMessage) {
  static const std::string kStgIn = " in T";
  std::string StgOut;
  std::size_t LngFrom = 0;
  for (std::size_t LngAt = StgMessage.find(kStgIn); LngAt != std::string::npos;
       LngAt = StgMessage.find(kStgIn, LngAt + 1)) {
    std::size_t LngEnd = LngAt + kStgIn.size();
    while (LngEnd < StgMessage.size() && IsNameCharacter(StgMessage[LngEnd])) {
      ++LngEnd;
    }
    if (LngEnd == LngAt + kStgIn.size() || StgMessage.compare(LngEnd, 2, "::") != 0) {
      continue;
    }
    std::size_t LngName = LngEnd + 2;
    if (LngName < StgMessage.size() && StgMessage[LngName] == '~') {
      ++LngName;
    }
    std::size_t LngStop = LngName;
    while (LngStop < StgMessage.size() && IsNameCharacter(StgMessage[LngStop])) {
      ++LngStop;
    }
    if (LngStop == LngEnd + 2) {
      continue;
    }
    StgOut.append(StgMessage, LngFrom, LngAt - LngFrom);
    LngFrom = LngStop;
    LngAt = LngStop - 1;
  }
  return StgOut.append(StgMessage, LngFrom, std::string::npos);
}

}  // namespace

std::string PythonWords(std::string StgMessage) {
  static const std::array<std::pair<const char*, const char*>, 4> kWords{
      {{"with --nodata", "with nodata="},
       {"with --type", "with type="},
       {"with --format", "with format="},
       {"tessgrid-tool", "tessgrid"}}};
  StgMessage = WithoutFunctionNames(StgMessage);
  for (const auto& [PtrTool, PtrPython] : kWords) {
    const std::string StgTool(PtrTool);
    for (std::size_t LngAt = StgMessage.find(StgTool); LngAt != std::string::npos;
         LngAt = StgMessage.find(StgTool, LngAt)) {
      StgMessage.replace(LngAt, StgTool.size(), PtrPython);
      LngAt += std::strlen(PtrPython);
    }
  }
  return StgMessage;
}

std::string NumberWords(double DblValue) {
  if (std::isnan(DblValue)) {
    return "nan";
  }
  std::array<char, 32> ArrText{};
  const auto Result = std::to_chars(ArrText.data(), ArrText.data() + ArrText.size(), DblValue);
  std::string StgText(ArrText.data(), Result.ptr);
  // Python shows a whole float with its point: -9999.0, not -9999.
  if (std::isfinite(DblValue) && StgText.find_first_of(".e") == std::string::npos) {
    StgText += ".0";
  }
  return StgText;
}

TCellType CellTypeOf(const py::object& DType, std::optional<TCellType> OptKept) {
  if (DType.is_none()) {
    return OptKept.value_or(TCellType::kFloat64);
  }
  py::object Parsed;
  try {
    Parsed = py::module_::import("numpy").attr("dtype")(DType);
  } catch (py::error_already_set&) {
    Fail("dtype must be float32 or float64, not " + py::repr(DType).cast<std::string>());
  }
  const std::string StgName = py::str(Parsed).cast<std::string>();
  if (StgName == "float64") {
    return TCellType::kFloat64;
  }
  if (StgName != "float32") {
    Fail("dtype must be float32 or float64, not " + StgName);
  }
  return TCellType::kFloat32;
}

TCellType CellTypeOfArray(py::handle Object) {
  const py::object DType = py::getattr(Object, "dtype", py::none());
  if (!DType.is_none() && DType.equal(py::dtype::of<float>())) {
    return TCellType::kFloat32;
  }
  return TCellType::kFloat64;
}

namespace {

// Gives the grid the float32 array of the object as it is, the caller's cells shared.
// Throws "<name> must be a 2-D array of numbers" for one that is not.
void ShareFloat32Cells(py::handle Object, const std::string& StgName, TPyGrid& Grid) {
  auto ArrCells = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(Object);
  if (!ArrCells || ArrCells.ndim() != 2) {
    PyErr_Clear();
    Fail(StgName + " must be a 2-D array of numbers");
  }
  Grid.ArrCells = py::array_t<double>(std::vector<py::ssize_t>{0, 0});
  Grid.OptCells32 = ArrCells;
}

}  // namespace

TPyGrid GridOfCells(py::handle Object, const std::string& StgName, double DblNoData,
                    TCellType Type) {
  TPyGrid Grid;
  Grid.StgName = StgName;
  Grid.DblNoData = DblNoData;
  if (Type == TCellType::kFloat32 && CellTypeOfArray(Object) == TCellType::kFloat32 &&
      !py::isinstance(Object, py::module_::import("numpy.ma").attr("MaskedArray"))) {
    // Shared as it is, the float32 array keeps the caller's cells; only its no-data value is
    // checked.
    ShareFloat32Cells(Object, StgName, Grid);
    CheckFloat32NoData(Grid);
    return Grid;
  }
  Grid.ArrCells = CellsOf(Object, StgName, DblNoData);
  return Type == TCellType::kFloat32 ? NarrowedGrid(Grid) : Grid;
}

TPyGrid WidenedGrid(const TPyGrid& Grid) {
  if (!Grid.OptCells32) {
    return Grid;
  }
  TPyGrid Wide = Grid;
  const py::array_t<float>& ArrNarrow = *Grid.OptCells32;
  Wide.ArrCells = py::array_t<double>({ArrNarrow.shape(0), ArrNarrow.shape(1)});
  Wide.OptCells32.reset();
  const float* PtrIn = ArrNarrow.data();
  double* PtrOut = Wide.ArrCells.mutable_data();
  const std::size_t LngCells = static_cast<std::size_t>(ArrNarrow.size());
  {
    py::gil_scoped_release Release;
    std::copy(PtrIn, PtrIn + LngCells, PtrOut);
  }
  return Wide;
}

void FailNarrowed(const std::string& StgName, long LngRow, long LngColumn, double DblCell,
                  double DblNoData) {
  const std::string StgCell = StgName + ": the cell at row " + std::to_string(LngRow) +
                              ", column " + std::to_string(LngColumn) + " holds " +
                              NumberWords(DblCell);
  if (std::isinf(static_cast<float>(DblCell))) {
    Fail(StgCell + ", which does not fit float32 (at most " +
         NumberWords(std::numeric_limits<float>::max()) + " in magnitude)");
  }
  Fail(StgCell + ", which float32 cannot tell from the nodata value " + NumberWords(DblNoData));
}

bool Float32NoData(double DblNoData) {
  return std::isnan(DblNoData) || static_cast<double>(static_cast<float>(DblNoData)) == DblNoData;
}

TPyGrid NarrowedGrid(const TPyGrid& Grid) {
  CheckFloat32NoData(Grid);
  if (Grid.OptCells32) {
    return Grid;
  }
  TPyGrid Narrow = Grid;
  const long LngRows = Grid.Rows();
  const std::size_t LngColumns = static_cast<std::size_t>(Grid.Columns());
  py::array_t<float> ArrNarrow({Grid.ArrCells.shape(0), Grid.ArrCells.shape(1)});
  float* PtrOut = ArrNarrow.mutable_data();
  long LngFailedRow = -1;
  long LngFailedColumn = -1;
  {
    py::gil_scoped_release Release;
    for (long LngRow = 0; LngRow < LngRows && LngFailedRow < 0; ++LngRow) {
      LngFailedColumn =
          NarrowRow(Grid.Row(LngRow), PtrOut + static_cast<std::size_t>(LngRow) * LngColumns,
                    LngColumns, Grid.DblNoData);
      LngFailedRow = LngFailedColumn >= 0 ? LngRow : -1;
    }
  }
  if (LngFailedRow >= 0) {
    FailNarrowed(Grid.StgName, LngFailedRow, LngFailedColumn,
                 Grid.Row(LngFailedRow)[LngFailedColumn], Grid.DblNoData);
  }
  Narrow.ArrCells = py::array_t<double>(std::vector<py::ssize_t>{0, 0});
  Narrow.OptCells32 = std::move(ArrNarrow);
  return Narrow;
}

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

TPyGrid GridArgument(py::handle Object, const std::string& StgName, std::optional<double> OptNoData,
                     bool BlnKeepFloat32) {
  TPyGrid Grid;
  if (py::isinstance<TPyGrid>(Object)) {
    Grid = BlnKeepFloat32 ? Object.cast<TPyGrid>() : WidenedGrid(Object.cast<TPyGrid>());
  } else if (BlnKeepFloat32 && CellTypeOfArray(Object) == TCellType::kFloat32 &&
             !py::isinstance(Object, py::module_::import("numpy.ma").attr("MaskedArray"))) {
    // The no-data value goes unchecked: one no float32 cell equals marks no cell, as it would
    // once the cells were widened.
    ShareFloat32Cells(Object, StgName, Grid);
    Grid.DblNoData = OptNoData.value_or(kDblLibraryNoData);
    Grid.StgName = StgName;
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
