// app/python/Module.cpp - the extension module tessgrid._tessgrid: the Grid class, the Error
// every failure raises, and the functions of app/python/Bindings.h. The package around it is
// app/python/tessgrid/.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/Expression.h"
#include "io/GridHeader.h"
#include "model/Fail.h"
#include "tessgrid_version.h"
#include "util/FailureText.h"

namespace py = pybind11;
using namespace pybind11::literals;
using tessgrid::detail::TGridHeader;
using tessgrid::detail::TPyGrid;

namespace {

// The header numbers change only to values the grid reader would take from a file.
template <double TPyGrid::*PtrMember, double TGridHeader::*PtrHeaderMember>
void SetChecked(TPyGrid& Grid, double DblValue) {
  TGridHeader Header = tessgrid::detail::HeaderOf(Grid);
  Header.*PtrHeaderMember = DblValue;
  tessgrid::detail::CheckGridHeader(Header);
  Grid.*PtrMember = DblValue;
}

// A grid as the constructor and unpickling make it: the cells of the type asked (float32 cells
// stay float32 unless dtype= says otherwise) and numbers the reader would take from a file.
TPyGrid NewGrid(const py::object& Cells, double DblXll, double DblYll, double DblCellSize,
                double DblNoData, const std::optional<std::string>& OptCrs,
                const py::object& DType) {
  const tessgrid::detail::TCellType Type =
      tessgrid::detail::CellTypeOf(DType, tessgrid::detail::CellTypeOfArray(Cells));
  TPyGrid Grid = tessgrid::detail::GridOfCells(Cells, "cells", DblNoData, Type);
  Grid.DblXll = DblXll;
  Grid.DblYll = DblYll;
  Grid.DblCellSize = DblCellSize;
  if (OptCrs) {
    Grid.OptCrs = tessgrid::detail::TextArgument(*OptCrs, "crs");
  }
  Grid.StgName = "grid";
  tessgrid::detail::CheckGridHeader(tessgrid::detail::HeaderOf(Grid));
  return Grid;
}

// The northern edge, as the raster writer places it, so that a transform read back from a
// written raster is this one.
double NorthEdge(const TPyGrid& Grid) {
  return Grid.DblYll + static_cast<double>(Grid.Rows()) * Grid.DblCellSize;
}

}  // namespace

PYBIND11_MODULE(_tessgrid, Module) {
  Module.doc() = "tessgrid's grids and operations on numpy arrays (the extension module)";

  // The library's messages are faults of the values passed: Python sees them as Error, a
  // ValueError. Running out of memory is a MemoryError with the commands' text; every other
  // exception keeps pybind11's own translation.
  static py::exception<std::runtime_error> Error(Module, "Error", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr PtrFailure) {
    if (!PtrFailure) {
      return;
    }
    const tessgrid::detail::TFailureText Failure =
        tessgrid::detail::FailureText(PtrFailure, std::string_view());
    switch (Failure.Kind) {
      case tessgrid::detail::TFailureKind::kMessage:
        PyErr_SetString(Error.ptr(),
                        tessgrid::detail::PythonWords(std::string(Failure.StgText)).c_str());
        return;
      case tessgrid::detail::TFailureKind::kOutOfMemory:
        PyErr_SetString(PyExc_MemoryError, std::string(Failure.StgText).c_str());
        return;
      default:
        break;
    }
    // A fault of an expression's text is the caller's too; anything else keeps pybind11's own.
    try {
      std::rethrow_exception(PtrFailure);
    } catch (const tessgrid::detail::TExpressionError& Failure) {
      PyErr_SetString(Error.ptr(), tessgrid::detail::PythonWords(Failure.what()).c_str());
    }
  });

  Module.attr("__version__") = TESSGRID_VERSION_STRING;

  py::class_<TPyGrid>(Module, "Grid", py::buffer_protocol(),
                      R"(A grid of float64 or float32 cells and its header.

numpy.asarray(grid) is the cells, rows from the north, without a copy; xll and
yll are the south-western corner, cellsize the cell size, nodata the declared
no-data value and crs the text of the coordinate-system sidecar (or None).
Grids pickle and copy.deepcopy with their cells.)")
      .def(py::init(&NewGrid), "cells"_a, "xll"_a = 0.0, "yll"_a = 0.0, "cellsize"_a = 1.0,
           "nodata"_a = -9999.0, "crs"_a = py::none(), py::kw_only(), "dtype"_a = py::none(),
           R"(Makes a grid of a 2-D array, which it shares when the array is C-contiguous float64,
or float32 and kept so.

Float32 cells stay float32 and all others become float64, unless `dtype`
("float32" or "float64") says otherwise; float32 cells need a nodata that is a
float32 number. The masked cells of a numpy.ma array become `nodata` in a copy.
The corner, cell size and dimensions are checked as tessgrid.read checks a
file's header, with its messages, so that every Grid written reads back.)")
      .def_buffer([](TPyGrid& Grid) {
        // A read-only array (a read-only memory map) lends its cells read-only.
        const py::array& Cells = Grid.Stored();
        const bool BlnSingle = Grid.OptCells32.has_value();
        return py::buffer_info(const_cast<void*>(Cells.data()), Cells.itemsize(),
                               BlnSingle ? py::format_descriptor<float>::format()
                                         : py::format_descriptor<double>::format(),
                               2, {Cells.shape(0), Cells.shape(1)},
                               {Cells.strides(0), Cells.strides(1)}, !Cells.writeable());
      })
      .def_property(
          "xll", [](const TPyGrid& Grid) { return Grid.DblXll; },
          &SetChecked<&TPyGrid::DblXll, &TGridHeader::DblXll>, "western edge of the first column")
      .def_property(
          "yll", [](const TPyGrid& Grid) { return Grid.DblYll; },
          &SetChecked<&TPyGrid::DblYll, &TGridHeader::DblYll>, "southern edge of the last row")
      .def_property(
          "cellsize", [](const TPyGrid& Grid) { return Grid.DblCellSize; },
          &SetChecked<&TPyGrid::DblCellSize, &TGridHeader::DblCellSize>, "cell size in map units")
      .def_property(
          "nodata", [](const TPyGrid& Grid) { return Grid.DblNoData; },
          [](TPyGrid& Grid, double DblNoData) {
            TPyGrid Changed = Grid;
            Changed.DblNoData = DblNoData;
            if (Changed.OptCells32) {
              tessgrid::detail::NarrowedGrid(Changed);
            }
            Grid.DblNoData = DblNoData;
          },
          "the declared no-data value (a float32 number for float32 cells)")
      .def_property(
          "crs", [](const TPyGrid& Grid) { return Grid.OptCrs; },
          [](TPyGrid& Grid, std::optional<std::string> OptCrs) {
            if (OptCrs) {
              tessgrid::detail::TextArgument(*OptCrs, "crs");
            }
            Grid.OptCrs = std::move(OptCrs);
          },
          "the .prj text, or None")
      .def_property_readonly(
          "shape", [](const TPyGrid& Grid) { return py::make_tuple(Grid.Rows(), Grid.Columns()); },
          "(rows, columns)")
      .def_property_readonly(
          "dtype",
          [](const TPyGrid& Grid) {
            return Grid.OptCells32 ? py::dtype::of<float>() : py::dtype::of<double>();
          },
          "the cells' numpy dtype: float64 or float32")
      .def_property_readonly(
          "bounds",
          [](const TPyGrid& Grid) {
            return py::make_tuple(
                Grid.DblXll, Grid.DblYll,
                Grid.DblXll + static_cast<double>(Grid.Columns()) * Grid.DblCellSize,
                NorthEdge(Grid));
          },
          "(left, bottom, right, top): the outer edges of the cells")
      .def_property_readonly(
          "transform",
          [](const TPyGrid& Grid) -> py::object {
            const py::tuple Transform = py::make_tuple(Grid.DblCellSize, 0.0, Grid.DblXll, 0.0,
                                                       -Grid.DblCellSize, NorthEdge(Grid));
            try {
              return py::module_::import("affine").attr("Affine")(*Transform);
            } catch (py::error_already_set& Failure) {
              if (!Failure.matches(PyExc_ImportError)) {
                throw;
              }
            }
            return Transform;
          },
          R"((a, b, c, d, e, f): column and row to map coordinates, x = a * column + c and
y = e * row + f at the corners of the cells, as rasterio and rioxarray state
it: an affine.Affine where affine is installed, else a tuple of the six.)")
      .def(
          "astype",
          [](const TPyGrid& Grid, const py::object& DType) {
            const tessgrid::detail::TCellType Type = tessgrid::detail::CellTypeOf(DType, {});
            if (Type == tessgrid::detail::TCellType::kFloat32) {
              return Grid.OptCells32 ? NewGrid(py::array(Grid.Stored()).attr("copy")(), Grid.DblXll,
                                               Grid.DblYll, Grid.DblCellSize, Grid.DblNoData,
                                               Grid.OptCrs, DType)
                                     : tessgrid::detail::NarrowedGrid(Grid);
            }
            return Grid.OptCells32 ? tessgrid::detail::WidenedGrid(Grid)
                                   : NewGrid(Grid.ArrCells.attr("copy")(), Grid.DblXll, Grid.DblYll,
                                             Grid.DblCellSize, Grid.DblNoData, Grid.OptCrs, DType);
          },
          "dtype"_a,
          R"(Returns a copy of the grid with cells of `dtype` ("float32" or "float64").

Float32 takes each cell's nearest float32 and refuses a cell beyond float32's
range, a data cell that would become the nodata value, and a nodata value that
is no float32 number; float64 holds every float32 exactly.)")
      .def(
          "to_xarray",
          [](const py::object& Grid, bool BlnMasked, const py::object& Name) {
            return py::module_::import("tessgrid.xarray").attr("to_xarray")(Grid, BlnMasked, Name);
          },
          "masked"_a = true, "name"_a = py::none(),
          R"(Returns the grid as an xarray.DataArray of dimensions (y, x).

x and y are the cells' centres, y falling from the north; with `masked`
(the default) no-data cells are NaN, as rioxarray.open_rasterio(masked=True)
gives them, else they keep the nodata value. The transform, the crs and the
nodata value follow rioxarray's conventions (da.rio.crs, da.rio.transform(),
da.rio.nodata or da.rio.encoded_nodata) where rioxarray is installed, else
they are the DataArray's attrs "transform", "crs" and "nodata". Needs xarray.)")
      .def(py::pickle(
          [](const TPyGrid& Grid) {
            return py::make_tuple(Grid.Stored(), Grid.DblXll, Grid.DblYll, Grid.DblCellSize,
                                  Grid.DblNoData, Grid.OptCrs);
          },
          [](const py::tuple& State) {
            if (State.size() != 6) {
              tessgrid::detail::Fail("a pickled Grid holds 6 items, not " +
                                     std::to_string(State.size()));
            }
            return NewGrid(State[0], State[1].cast<double>(), State[2].cast<double>(),
                           State[3].cast<double>(), State[4].cast<double>(),
                           State[5].cast<std::optional<std::string>>(), py::none());
          }))
      .def("__repr__", [](const TPyGrid& Grid) {
        return "<tessgrid.Grid " + std::to_string(Grid.Rows()) + " x " +
               std::to_string(Grid.Columns()) + (Grid.OptCells32 ? " float32" : "") + " at (" +
               py::repr(py::float_(Grid.DblXll)).cast<std::string>() + ", " +
               py::repr(py::float_(Grid.DblYll)).cast<std::string>() + ")>";
      });

  Module.def(
      "_check_aligned",
      [](const std::vector<std::tuple<std::string, long, long, double, double, double>>& Grids) {
        std::vector<tessgrid::detail::TInputGrid> VecInputs;
        for (const auto& [StgName, LngRows, LngColumns, DblXll, DblYll, DblCellSize] : Grids) {
          tessgrid::detail::TInputGrid Input;
          Input.StgName = StgName;
          Input.LngRows = LngRows;
          Input.LngColumns = LngColumns;
          Input.DblWest = DblXll;
          Input.DblSouth = DblYll;
          Input.DblCellSize = DblCellSize;
          VecInputs.push_back(Input);
        }
        std::vector<const tessgrid::detail::TInputGrid*> VecPointers;
        for (const tessgrid::detail::TInputGrid& Input : VecInputs) {
          VecPointers.push_back(&Input);
        }
        tessgrid::detail::CheckAligned(VecPointers);
      },
      "grids"_a,
      "Checks (name, rows, columns, xll, yll, cellsize) grids as the operations check that "
      "their inputs are aligned.");

  tessgrid::detail::AddGridFiles(Module);
  tessgrid::detail::AddOperations(Module);
  tessgrid::detail::AddResampleBlocks(Module);
  tessgrid::detail::AddRegrid(Module);
#ifdef TESSGRID_WITH_CALC
  tessgrid::detail::AddCalc(Module);
#endif
}
