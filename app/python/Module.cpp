// app/python/Module.cpp - the extension module tessgrid._tessgrid: the Grid class, the Error
// every failure raises, and the functions of app/python/Bindings.h. The package around it is
// app/python/tessgrid/.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "util/FailureText.h"

namespace py = pybind11;
using namespace pybind11::literals;
using tessgrid::detail::TPyGrid;

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
        std::rethrow_exception(PtrFailure);
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
             Grid.ArrCells = tessgrid::detail::CellsOf(Cells, "cells");
             Grid.DblXll = DblXll;
             Grid.DblYll = DblYll;
             Grid.DblCellSize = DblCellSize;
             Grid.DblNoData = DblNoData;
             Grid.OptCrs = std::move(OptCrs);
             Grid.StgName = "grid";
             return Grid;
           }),
           "cells"_a, "xll"_a = 0.0, "yll"_a = 0.0, "cellsize"_a = 1.0, "nodata"_a = -9999.0,
           "crs"_a = py::none(),
           "Makes a grid of a 2-D array, which it shares when the array is C-contiguous float64.")
      .def_buffer([](TPyGrid& Grid) {
        return py::buffer_info(Grid.ArrCells.mutable_data(),
                               static_cast<py::ssize_t>(sizeof(double)),
                               py::format_descriptor<double>::format(), 2,
                               {Grid.ArrCells.shape(0), Grid.ArrCells.shape(1)},
                               {Grid.ArrCells.strides(0), Grid.ArrCells.strides(1)});
      })
      .def_readwrite("xll", &TPyGrid::DblXll, "western edge of the first column")
      .def_readwrite("yll", &TPyGrid::DblYll, "southern edge of the last row")
      .def_readwrite("cellsize", &TPyGrid::DblCellSize, "cell size in map units")
      .def_readwrite("nodata", &TPyGrid::DblNoData, "the declared no-data value")
      .def_readwrite("crs", &TPyGrid::OptCrs, "the .prj text, or None")
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
#ifdef TESSGRID_WITH_CALC
  tessgrid::detail::AddCalc(Module);
#endif
}
