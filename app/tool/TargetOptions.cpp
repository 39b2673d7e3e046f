// app/tool/TargetOptions.cpp - --extent and --grid parsed into the engine's target choice. The
// contract is in app/tool/TargetOptions.h.
#include "app/tool/TargetOptions.h"

namespace tessgrid::detail {

std::vector<CLI::Option*> AddTargetOptions(CLI::App* PtrCommand, TTargetArguments& Args) {
  CLI::Option* PtrExtent =
      PtrCommand
          ->add_option("--extent", Args.StgExtent,
                       "inputs on different grids go onto one covering the union of their "
                       "extents or only their intersection, snapped outward or inward to the "
                       "lattice of --grid (default with --grid: union, except --grid FILE, "
                       "whose grid is taken whole); without --extent and --grid the inputs must "
                       "be aligned")
          ->check(CLI::IsMember({"union", "intersect"}))
          ->type_name("union|intersect")
          ->group("Grids");
  CLI::Option* PtrGrid =
      PtrCommand
          ->add_option("--grid", Args.StgGrid,
                       "the target grid's lattice: the smallest cell size of the inputs, the "
                       "largest, the first input's (each anchored at that input's corner), or "
                       "the grid of a grid FILE (default with --extent: finest). A target cell "
                       "takes the value of the input cell that holds its centre, and is no-data "
                       "for an input it lies outside")
          ->type_name("finest|coarsest|first|FILE")
          ->group("Grids");
  PtrGrid->check(CLI::Validator(
      [](std::string& StgValue) {
        return StgValue.empty() || IsStandardStream(StgValue)
                   ? std::string("takes finest, coarsest, first or a grid file")
                   : std::string();
      },
      "", "grid"));
  return {PtrExtent, PtrGrid};
}

TTargetChoice TargetChoiceOf(TToolRun& Run, const TTargetArguments& Args) {
  TTargetChoice Choice;
  TExtentRule Extent = TExtentRule::kUnion;
  if (ExtentRuleOf(Args.StgExtent, Extent)) {
    Choice.OptExtent = Extent;
  }
  TLatticeRule Lattice = TLatticeRule::kFinest;
  if (LatticeRuleOf(Args.StgGrid, Lattice)) {
    Choice.OptLattice = Lattice;
  } else if (!Args.StgGrid.empty()) {
    Choice.OptGrid = Run.ReadHeader(Args.StgGrid);
    Choice.StgGridName = Args.StgGrid;
    Run.CheckCrsOf(Args.StgGrid);
  }
  return Choice;
}

}  // namespace tessgrid::detail
