// app/python/PyGrid.h - TPyGrid: a grid as the Python module holds it, and the edge between its
// arrays and the library's maps. app/python/PyGrid.cpp holds it; the module's functions use it.
#ifndef APP_PYTHON_PYGRID_H
#define APP_PYTHON_PYGRID_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>

#include "engine/NoDataModel.h"
#include "io/GridHeader.h"
#include "model/TMap.h"

namespace tessgrid::detail {

namespace py = pybind11;

/// The cells of a grid as one C-contiguous float64 or float32 array, (row, column) with row 0 the
/// northern row, and the numbers of its header. The array is shared, never copied:
/// numpy.asarray(grid) and the operations see the very cells the caller passed (read-only when
/// the caller's array is) or the reader filled. Cells equal to the declared no-data value (any
/// NaN, when it is NaN) are no-data. The header numbers are ones the grid reader would take from
/// a file. Operations read float64 cells: GridArgument widens a float32 grid for them, except
/// for calc, which widens a few rows at a time.
struct TPyGrid {
  py::array_t<double> ArrCells;  ///< 2-D, C-contiguous float64; 0 x 0 for a float32 grid
  std::optional<py::array_t<float>> OptCells32;  ///< a float32 grid's cells, 2-D, C-contiguous
  double DblXll = 0.0;                           ///< western edge of column 0
  double DblYll = 0.0;                           ///< southern edge of the last row
  double DblCellSize = 1.0;                      ///< cell size in map units
  double DblNoData = kDblLibraryNoData;          ///< the declared no-data value
  std::optional<std::string> OptCrs;  ///< the text of the coordinate-system sidecar, if any
  std::string StgName;                ///< the file it was read from, or what messages call it

  /// Returns the array that holds the cells, of either type.
  const py::array& Stored() const {
    return OptCells32 ? static_cast<const py::array&>(*OptCells32) : ArrCells;
  }
  /// Returns the number of rows and of columns.
  long Rows() const { return static_cast<long>(Stored().shape(0)); }
  long Columns() const { return static_cast<long>(Stored().shape(1)); }
  /// Returns the first float64 cell of the row; the grid must not be a float32 one.
  const double* Row(long LngRow) const {
    return ArrCells.data() + static_cast<std::size_t>(LngRow) * static_cast<std::size_t>(Columns());
  }
};

/// Returns the text of a string argument, which reaches C++ whole.
/// Throws "<name> holds a NUL character at position <p>" for a text with one: the C++ side would
/// read it cut short there (a file name, an expression, an option).
const std::string& TextArgument(const std::string& StgText, const std::string& StgName);

/// Returns the message as Python users read it: without the library function that raised it
/// (" in TAxis::GetIndex" at its end), the module's name for the tool's and a keyword for the
/// tool's options ("with --nodata", "--type", "--format" become "with nodata=", "type=",
/// "format=").
std::string PythonWords(std::string StgMessage);

/// Returns the text of a number as Python's repr shows it, its shortest exact form.
std::string NumberWords(double DblValue);

/// Returns the array as the cells of a grid: the array itself when it is already C-contiguous
/// float64, else a converted copy. The masked cells of a numpy.ma array become DblNoData in a
/// copy, so that they are no-data to every operation.
/// Throws "<name> must be a 2-D array of numbers" (std::string) for anything else.
py::array_t<double> CellsOf(py::handle Object, const std::string& StgName, double DblNoData);

/// The cell types a grid may hold.
enum class TCellType { kFloat64, kFloat32 };

/// Returns the type a dtype= argument names: None keeps float32 cells float32 and makes all else
/// float64 (OptKept, the type of the cells given, decides); "float64" or "float32" (or the numpy
/// types and dtypes of them) name theirs.
/// Throws "dtype must be float32 or float64, not <dtype>" for any other.
TCellType CellTypeOf(const py::object& DType, std::optional<TCellType> OptKept);

/// Returns the type of the array's cells as a grid keeps them: float32 for a float32 array (a
/// masked one too), float64 for all else.
TCellType CellTypeOfArray(py::handle Object);

/// Returns a grid of the cells of the array (see CellsOf), of the type asked: float32 cells
/// are kept as they are, other cells made float32 as NarrowedGrid makes them. The header
/// numbers are the defaults: the caller sets them.
/// Throws the failures of CellsOf and NarrowedGrid.
TPyGrid GridOfCells(py::handle Object, const std::string& StgName, double DblNoData,
                    TCellType Type);

/// Returns the grid with float64 cells: the grid itself, or a float32 grid's cells widened
/// (exactly) into a new array.
TPyGrid WidenedGrid(const TPyGrid& Grid);

/// Returns the grid with float32 cells: the grid itself, or a float64 grid's cells rounded to
/// the nearest float32 in a new array.
/// Throws, with the grid's name N: "N: the nodata value V is not a float32 number; a float32
/// grid needs one, such as -9999 or nan"; "N: the cell at row R, column C holds V, which does
/// not fit float32 (at most 3.4028234663852886e+38 in magnitude)" for the first finite cell
/// that float32 turns into an infinity; "N: the cell at row R, column C holds V, which float32
/// cannot tell from the nodata value D" for the first data cell that rounds to the no-data
/// value.
TPyGrid NarrowedGrid(const TPyGrid& Grid);

/// Returns whether float32 cells can hold the no-data value: NaN, or a float32 number.
bool Float32NoData(double DblNoData);

/// Throws NarrowedGrid's failure for the cell DblCell at the row and column of the grid StgName,
/// which declares DblNoData: the cell does not fit float32, or rounds to the no-data value.
[[noreturn]] void FailNarrowed(const std::string& StgName, long LngRow, long LngColumn,
                               double DblCell, double DblNoData);

/// Returns the header the grid would be written with.
TGridHeader HeaderOf(const TPyGrid& Grid);

/// Returns an argument of an operation as a float64 grid: a Grid as it is (its declared no-data
/// value; a float32 one widened), or an array (see CellsOf) at corner (0, 0) with cell size 1,
/// declaring OptNoData or -9999. With BlnKeepFloat32, a float32 Grid and a float32 array that is
/// not masked keep their float32 cells, shared as they are, for an operation that widens them
/// a block at a time.
/// The name stands for a plain array in the no-data model's messages. Throws the failures of
/// CellsOf ("<name> must be a 2-D array of numbers"), then "<name> has no cells (<rows> x
/// <columns>); an operation needs one row and one column or more" for an empty Grid or array, at
/// once, whatever its other dimension.
TPyGrid GridArgument(py::handle Object, const std::string& StgName, std::optional<double> OptNoData,
                     bool BlnKeepFloat32 = false);

/// Returns what the grid states, as the tool's no-data model takes an input file.
TInputGrid DescribeGrid(const TPyGrid& Grid);

/// Returns the grid as a library map: its cells copied into the map's rows, its declared no-data
/// cells turned into -9999 (ToLibraryNoData), and the edges the grid reader would give it.
/// Runs without the interpreter lock. Throws the failure of ToLibraryNoData.
std::unique_ptr<TMap> LibraryMap(const TPyGrid& Grid);

/// Returns the result of an operation as a grid declaring DblNoData: the map's -9999 and
/// non-finite cells become it (ToDeclaredNoData), and a map on the source's grid takes the
/// source's corners and cell size as they were (the operations rebuild edges from centres); the
/// sidecar text is the source's. Needs the interpreter lock; copies the cells without it.
/// Throws the failure of ToDeclaredNoData, with the result called "result".
TPyGrid ResultGrid(std::unique_ptr<TMap> PtrMap, const TPyGrid& Source, double DblNoData);

/// Returns the threads a call takes: the count given, else ThreadCount(); never more than
/// kLngMaxThreads.
/// Throws "threads must be 1 or more" for a count below 1.
long ThreadsOf(std::optional<long> OptThreads);

}  // namespace tessgrid::detail

#endif  // APP_PYTHON_PYGRID_H
