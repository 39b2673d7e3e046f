// app/python/ResampleBlocks.cpp - the chunked resample's calls into the library: the whole target
// grid's shape with the rim each chunk reads, and one chunk's window of that grid. The package's
// tessgrid.dask.resample drives them; tessgrid.resample is the whole-array path they agree with.
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"
#include "ops/ResampleKernel.h"

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;
using TPair = std::pair<long, long>;

TResampleMethod MethodOf(const std::string& StgMethod) {
  if (StgMethod != "near" && StgMethod != "bilinear") {
    Fail("method must be \"near\" or \"bilinear\", not \"" + StgMethod + "\"");
  }
  return StgMethod == "bilinear" ? TResampleMethod::kBilinear : TResampleMethod::kNearest;
}

// The resample of a whole array of the shape, at corner (0, 0) with the grid reader's edges, as
// tessgrid.resample takes a plain array or a Grid made of one; it fails as that does on an
// array without cells.
TResamplePlan WholePlan(long LngRows, long LngColumns, double DblCellSize, double DblResolution) {
  if (LngRows <= 0 || LngColumns <= 0) {
    Fail("Map has no cells in TMapTools::Resample");
  }
  return PlanResample(LngColumns, LngRows, DblCellSize, DblResolution, 0.0,
                      RunningSumAt(0.0, DblCellSize, static_cast<std::size_t>(LngRows)));
}

// The whole target grid's rows and columns, and how many source rows and columns a chunk reads
// beyond its own.
py::tuple Plan(long LngRows, long LngColumns, double DblCellSize, double DblResolution,
               const std::string& StgMethod) {
  const TResampleMethod Method = MethodOf(StgMethod);
  const TResamplePlan Plan = WholePlan(LngRows, LngColumns, DblCellSize, DblResolution);
  return py::make_tuple(
      py::make_tuple(Plan.MbrY.MbrLngTargetCells, Plan.MbrX.MbrLngTargetCells),
      py::make_tuple(ResampleReach(Plan.MbrY, Method), ResampleReach(Plan.MbrX, Method)));
}

// The target cells from FirstCell on (WindowShape of them) of the grid a whole source of
// SourceShape gives, from the chunk held in the grid, whose first cell is the source's cell
// Origin. The cells are
// taken into the library's no-data model and the result back out of it as tessgrid.resample
// takes them; a result cell equal to the declared value is reported where the whole grid has it.
py::array_t<double> Window(const py::object& Object, double DblResolution,
                           const std::string& StgMethod, TPair SourceShape, TPair Origin,
                           TPair FirstCell, TPair WindowShape, std::optional<double> OptNoData) {
  const TResampleMethod Method = MethodOf(StgMethod);
  const TPyGrid Grid = GridArgument(Object, "grid", OptNoData);
  const double DblNoData = OptNoData.value_or(Grid.DblNoData);
  const long LngRows = WindowShape.first;
  const long LngColumns = WindowShape.second;
  if (LngRows < 0 || LngColumns < 0) {
    Fail("window must have a shape of 0 or more rows and columns");
  }
  py::array_t<double> ArrCells(
      {static_cast<py::ssize_t>(LngRows), static_cast<py::ssize_t>(LngColumns)});
  double* const PtrCells = ArrCells.mutable_data();
  {
    py::gil_scoped_release Release;
    const TResamplePlan Plan =
        WholePlan(SourceShape.first, SourceShape.second, Grid.DblCellSize, DblResolution);
    const std::unique_ptr<TMap> PtrBlock = LibraryMap(Grid);
    std::vector<const double*> VecRows;
    for (const std::vector<double>& VecRow : PtrBlock->MbrVecValues) {
      VecRows.push_back(VecRow.data());
    }
    const TResampleBlock Block{VecRows.data(), Origin.first, PtrBlock->MbrLngYDim, Origin.second,
                               PtrBlock->MbrLngXDim};
    TResampler Resampler(Plan.MbrX, Plan.MbrY, Method, kDblLibraryNoData, Block, FirstCell.first,
                         LngRows, FirstCell.second, LngColumns);
    for (long LngRow = 0; LngRow < LngRows; ++LngRow) {
      double* const PtrRow = PtrCells + LngRow * LngColumns;
      Resampler.Row(LngRow, PtrRow);
      const long LngHeld =
          DeclaredNoDataRow(PtrRow, static_cast<std::size_t>(LngColumns), DblNoData);
      if (LngHeld >= 0) {
        FailNoDataWritten("result", DblNoData, static_cast<std::size_t>(FirstCell.first + LngRow),
                          static_cast<std::size_t>(FirstCell.second + LngHeld));
      }
    }
  }
  return ArrCells;
}

}  // namespace

void AddResampleBlocks(py::module_& Module) {
  Module.def("_resample_plan", &Plan, "rows"_a, "columns"_a, "cellsize"_a, "resolution"_a,
             "method"_a,
             "Returns ((rows, columns), (rim rows, rim columns)): the shape tessgrid.resample "
             "gives an array of the shape and cell size, and the source cells beyond a chunk's "
             "own that the method reads.");
  Module.def("_resample_window", &Window, "grid"_a, "resolution"_a, "method"_a, "source_shape"_a,
             "origin"_a, "first_cell"_a, "shape"_a, py::kw_only(), "nodata"_a = py::none(),
             "Returns the cells (shape) from first_cell on of tessgrid.resample of a whole array "
             "of source_shape, computed from the part of it the grid holds, whose first cell is "
             "the whole array's cell origin.");
}

}  // namespace tessgrid::detail
