// app/python/Bindings.h - the functions of the Python module, one registration per group:
// app/python/GridFiles.cpp (read, write), app/python/Operations.cpp (the tool's operations),
// app/python/ResampleBlocks.cpp (the chunked resample), app/python/Regrid.cpp (grids made one)
// and app/python/Calc.cpp (calc);
// app/python/Module.cpp makes the module of them.
#ifndef APP_PYTHON_BINDINGS_H
#define APP_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

namespace tessgrid::detail {

/// Adds read and write.
void AddGridFiles(pybind11::module_& Module);
/// Adds add, subtract, multiply, divide, sum, count, average, threshold, reclass, mask,
/// resample and extract.
void AddOperations(pybind11::module_& Module);
/// Adds _resample_plan and _resample_window, the chunked resample's calls
/// (app/python/ResampleBlocks.cpp).
void AddResampleBlocks(pybind11::module_& Module);
/// Adds _regrid, which reads grids onto one target grid (app/python/Regrid.cpp).
void AddRegrid(pybind11::module_& Module);
/// Adds calc; a module built without expressions has none.
void AddCalc(pybind11::module_& Module);

}  // namespace tessgrid::detail

#endif  // APP_PYTHON_BINDINGS_H
