// app/python/Module.cpp - the extension module tessgrid._tessgrid: the Grid class, the Error
// every failure raises, and the functions of app/python/Bindings.h. The package around it is
// app/python/tessgrid/.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/Expression.h"
#include "io/GridHeader.h"
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
        PyErr_SetString(Error.ptr(), std::string(Failure.StgText).c_str());
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
      PyErr_SetString(Error.ptr(), Failure.what());
    }
  });

  py::class_<TPyGrid>(Module, "Grid", py::buffer_protocol(),
                      R"(A grid of float64 cells and its header.

numpy.asarray(grid) is the cells, rows from the north, without a copy; xll and
yll are the south-western corner, cellsize the cell size, nodata the declared
no-data value and crs the text of the coordinate-system sidecar (or None).)")
      .def(py::init([](const py::object& Cells, double DblXll, double DblYll, double DblCellSize,
                       double DblNoData, std::optional<std::string> OptCrs) {
             TPyGrid Grid;
             Grid.ArrCells = tessgrid::detail::CellsOf(Cells, "cells", DblNoData);
             Grid.DblXll = DblXll;
             Grid.DblYll = DblYll;
             Grid.DblCellSize = DblCellSize;
             Grid.DblNoData = DblNoData;
             if (OptCrs) {
               Grid.OptCrs = tessgrid::detail::TextArgument(*OptCrs, "crs");
             }
             Grid.StgName = "grid";
             tessgrid::detail::CheckGridHeader(tessgrid::detail::HeaderOf(Grid));
             return Grid;
           }),
           "cells"_a, "xll"_a = 0.0, "yll"_a = 0.0, "cellsize"_a = 1.0, "nodata"_a = -9999.0,
           "crs"_a = py::none(),
           R"(Makes a grid of a 2-D array, which it shares when the array is C-contiguous float64.

The masked cells of a numpy.ma array become `nodata` in a copy. The corner,
cell size and dimensions are checked as tessgrid.read checks a file's header,
with its messages, so that every Grid written reads back.)")
      .def_buffer([](TPyGrid& Grid) {
        // A read-only array (a read-only memory map) lends its cells read-only.
        return py::buffer_info(
            const_cast<double*>(Grid.ArrCells.data()), static_cast<py::ssize_t>(sizeof(double)),
            py::format_descriptor<double>::format(), 2,
            {Grid.ArrCells.shape(0), Grid.ArrCells.shape(1)},
            {Grid.ArrCells.strides(0), Grid.ArrCells.strides(1)}, !Grid.ArrCells.writeable());
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
      .def_readwrite("nodata", &TPyGrid::DblNoData, "the declared no-data value")
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
      .def("__repr__", [](const TPyGrid& Grid) {
        return "<tessgrid.Grid " + std::to_string(Grid.Rows()) + " x " +
               std::to_string(Grid.Columns()) + " at (" +
               py::repr(py::float_(Grid.DblXll)).cast<std::string>() + ", " +
               py::repr(py::float_(Grid.DblYll)).cast<std::string>() + ")>";
      });

  tessgrid::detail::AddGridFiles(Module);
  tessgrid::detail::AddOperations(Module);
  tessgrid::detail::AddResampleBlocks(Module);
#ifdef TESSGRID_WITH_CALC
  tessgrid::detail::AddCalc(Module);
#endif
}
