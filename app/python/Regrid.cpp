// app/python/Regrid.cpp - tessgrid._tessgrid._regrid: grids on different lattices read onto one
// target grid (engine/RegridRows.h), so that calc and the series functions of tessgrid._api take
// extent= and grid= as the tool takes --extent and --grid.
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/MemoryRows.h"
#include "engine/RegridRows.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;

// The choice of extent= and grid=: a rule's name, or a Grid whose grid the target takes.
TTargetChoice ChoiceOf(const std::optional<std::string>& OptExtent, const py::object& Grid) {
  TTargetChoice Choice;
  if (OptExtent) {
    TExtentRule Rule = TExtentRule::kUnion;
    if (!ExtentRuleOf(*OptExtent, Rule)) {
      Fail("extent must be \"union\" or \"intersect\", not \"" + *OptExtent + "\"");
    }
    Choice.OptExtent = Rule;
  }
  if (Grid.is_none()) {
    return Choice;
  }
  if (py::isinstance<py::str>(Grid)) {
    const std::string StgName = Grid.cast<std::string>();
    TLatticeRule Rule = TLatticeRule::kFinest;
    if (!LatticeRuleOf(StgName, Rule)) {
      Fail("grid must be \"finest\", \"coarsest\", \"first\" or a Grid, not \"" + StgName + "\"");
    }
    Choice.OptLattice = Rule;
    return Choice;
  }
  if (!py::isinstance<TPyGrid>(Grid)) {
    Fail("grid must be \"finest\", \"coarsest\", \"first\" or a Grid, not " +
         std::string(py::str(py::type::of(Grid).attr("__name__"))));
  }
  Choice.OptGrid = HeaderOf(Grid.cast<const TPyGrid&>());
  Choice.StgGridName = "grid";
  return Choice;
}

std::vector<TPyGrid> Regrid(const py::sequence& Grids, const std::vector<std::string>& VecNames,
                            const std::optional<std::string>& OptExtent, const py::object& Grid,
                            std::optional<double> OptNoData) {
  if (VecNames.size() != Grids.size()) {
    Fail("regrid takes a name for every grid");
  }
  const TTargetChoice Choice = ChoiceOf(OptExtent, Grid);
  std::vector<TPyGrid> VecGrids;
  std::vector<TGridHeader> VecHeaders;
  for (std::size_t LngI = 0; LngI < VecNames.size(); ++LngI) {
    VecGrids.push_back(GridArgument(Grids[LngI], VecNames[LngI], OptNoData));
    VecHeaders.push_back(HeaderOf(VecGrids.back()));
  }
  std::vector<TPyGrid> VecResults;
  TGridHeader Target;
  {
    py::gil_scoped_release Release;
    Target = TargetGrid(VecHeaders, VecNames, Choice);
  }
  for (std::size_t LngI = 0; LngI < VecGrids.size(); ++LngI) {
    const TPyGrid& Source = VecGrids[LngI];
    TPyGrid Result = Source;
    Result.ArrCells = py::array_t<double>({Target.LngRows, Target.LngColumns});
    Result.OptCells32.reset();
    Result.DblXll = Target.DblXll;
    Result.DblYll = Target.DblYll;
    Result.DblCellSize = Target.DblCellSize;
    double* const PtrOut = Result.ArrCells.mutable_data();
    {
      py::gil_scoped_release Release;
      TRegridRowSource Rows(std::make_unique<TMemoryRowSource>(VecHeaders[LngI], Source.Row(0)),
                            Target);
      const std::size_t LngColumns = static_cast<std::size_t>(Target.LngColumns);
      Rows.ReadRows(0, Target.LngRows, [PtrOut, LngColumns](long LngK) {
        return PtrOut + static_cast<std::size_t>(LngK) * LngColumns;
      });
    }
    VecResults.push_back(std::move(Result));
  }
  return VecResults;
}

}  // namespace

void AddRegrid(py::module_& Module) {
  Module.def("_regrid", &Regrid, "grids"_a, "names"_a, py::kw_only(), "extent"_a = py::none(),
             "grid"_a = py::none(), "nodata"_a = py::none(),
             R"(Returns the grids read onto one target grid, for calc and the series functions.

extent ("union" or "intersect") and grid ("finest", "coarsest", "first" or a
Grid) choose the target as tessgrid-tool's --extent and --grid do; a target
cell takes the value of the cell of each grid that holds its centre, and each
grid's own no-data value outside it. names name the grids in messages.)");
}

}  // namespace tessgrid::detail
