// app/python/GridFiles.cpp - tessgrid.read and tessgrid.write: grid files through the library's
// reader (every core, into one block the array then shares) and its writer and safe replace.
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "io/BlockWriter.h"
#include "io/FlatGrid.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/TPrjFileTools.h"
#include "model/Fail.h"

#ifdef TESSGRID_WITH_GDAL
#include "io/gdal/Rasters.h"
#endif

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;

// The cells of a grid read whole, owned by one block that the array then shares; the capsule
// frees it with the last view.
template <typename TBlock>
py::array_t<double> SharedCells(std::unique_ptr<TBlock> PtrBlock, const double* PtrCells,
                                long LngRows, long LngColumns) {
  const std::vector<py::ssize_t> VecShape{LngRows, LngColumns};
  if (PtrCells == nullptr) {
    return py::array_t<double>(VecShape);
  }
  py::capsule Owner(PtrBlock.get(), [](void* PtrOwned) { delete static_cast<TBlock*>(PtrOwned); });
  PtrBlock.release();
  return py::array_t<double>(VecShape, PtrCells, Owner);
}

TPyGrid GridOf(const TGridHeader& Header, const std::string& StgPath) {
  TPyGrid Grid;
  Grid.DblXll = Header.DblXll;
  Grid.DblYll = Header.DblYll;
  Grid.DblCellSize = Header.DblCellSize;
  Grid.DblNoData = Header.DblNoData;
  Grid.StgName = StgPath;
  return Grid;
}

#ifdef TESSGRID_WITH_GDAL
// A raster that GDAL reads, whole, in windows of its blocks.
TPyGrid ReadRaster(TRasterReader& Raster, const std::string& StgPath) {
  const TGridHeader Header = Raster.Header();
  const std::size_t LngCells =
      static_cast<std::size_t>(Header.LngRows) * static_cast<std::size_t>(Header.LngColumns);
  auto PtrCells = std::make_unique<std::vector<double>>(LngCells);
  {
    py::gil_scoped_release Release;
    Raster.ReadRows(0, Header.LngRows, PtrCells->data());
  }
  TPyGrid Grid = GridOf(Header, StgPath);
  if (!Raster.CrsText().empty()) {
    Grid.OptCrs = Raster.CrsText();
  }
  const double* PtrFirst = LngCells == 0 ? nullptr : PtrCells->data();
  Grid.ArrCells = SharedCells(std::move(PtrCells), PtrFirst, Header.LngRows, Header.LngColumns);
  return Grid;
}
#endif

TPyGrid Read(const std::string& StgPath, long LngBand, std::optional<long> OptThreads) {
  const long LngThreads = ThreadsOf(OptThreads);
  if (LngBand < 1) {
    Fail("band must be 1 or more");
  }
#ifdef TESSGRID_WITH_GDAL
  std::unique_ptr<TRasterReader> PtrRaster;
  {
    py::gil_scoped_release Release;
    PtrRaster = TRasterReader::OpenIfRaster(StgPath, static_cast<int>(LngBand));
  }
  if (PtrRaster) {
    return ReadRaster(*PtrRaster, StgPath);
  }
#endif
  auto PtrCells = std::make_unique<TFlatGrid>();
  TGridHeader Header;
  std::optional<std::string> OptCrs;
  {
    py::gil_scoped_release Release;
    TReadOptions Options;
    Options.LngThreads = LngThreads;
    Header = LoadGridFile(StgPath, TGridHeaderMode::kLenient, *PtrCells, Options);
    std::string StgCrs;
    if (TPrjFileTools::LoadPrjFile(StgPath, StgCrs)) {
      OptCrs = StgCrs;
    }
  }
  TPyGrid Grid = GridOf(Header, StgPath);
  Grid.OptCrs = OptCrs;
  const double* PtrFirst = PtrCells->Cells();
  Grid.ArrCells = SharedCells(std::move(PtrCells), PtrFirst, Header.LngRows, Header.LngColumns);
  return Grid;
}

void Write(const std::string& StgPath, const py::object& Object, std::optional<int> OptDigits,
           std::optional<long> OptThreads) {
  const TPyGrid Grid = GridArgument(Object, "grid", std::nullopt);
  const int IntDigits = OptDigits.value_or(kLngRuleDigits);
  if (IntDigits < 6 || IntDigits > 17) {
    Fail("digits must be from 6 to 17");
  }
  const long LngThreads = ThreadsOf(OptThreads);
  py::gil_scoped_release Release;
  const std::size_t LngColumns = static_cast<std::size_t>(Grid.Columns());
  const double* PtrCells = Grid.Row(0);
  const TRowAt RowAt = [PtrCells, LngColumns](std::size_t LngRow) {
    return PtrCells + LngRow * LngColumns;
  };
  // Readers that take a line starting with a letter for a header line must still read a row
  // that starts with nan.
  const bool BlnIndentRows = std::isnan(Grid.DblNoData);
  TOutputSet Outputs;
  Outputs.Stage(StgPath, [&](std::ostream& Output) {
    {
      TBlockWriter Writer(Output, IntDigits);
      PutGridHeader(Writer, Grid.Columns(), Grid.Rows(), Grid.DblXll, Grid.DblYll, Grid.DblCellSize,
                    Grid.DblNoData);
    }
    WriteRows(Output, RowAt, static_cast<std::size_t>(Grid.Rows()), LngColumns, ' ', LngThreads,
              IntDigits, BlnIndentRows);
  });
  if (WritesThroughTemporary(StgPath)) {
    const std::string StgPrj = TPrjFileTools::GetPrjFileName(StgPath);
    if (Grid.OptCrs) {
      Outputs.Stage(StgPrj, [&Grid](std::ostream& Output) { Output << *Grid.OptCrs; });
    } else {
      Outputs.StageRemoval(StgPrj);
    }
  }
  Outputs.Commit();
}

}  // namespace

void AddGridFiles(py::module_& Module) {
  Module.def("read", &Read, "path"_a, py::kw_only(), "band"_a = 1, "threads"_a = py::none(),
             R"(Reads a grid file into a Grid: an ASCII grid, or, where tessgrid was built with
GDAL (tessgrid.has_rasters), any raster GDAL opens (its band `band`, default 1).

The cells are parsed on every core (or `threads`) into one block that
numpy.asarray(grid) then shares: rows from the north, float64. The header's
corner, cell size and NODATA_value become grid.xll, grid.yll, grid.cellsize
and grid.nodata (-9999 when the file states none); the text of a .prj beside
the file becomes grid.crs. A raster's geotransform, no-data value and
coordinate system (as WKT) fill the same; rotated or non-square cells are
refused. Raises tessgrid.Error with the reader's message.)");
#ifdef TESSGRID_WITH_GDAL
  Module.attr("has_rasters") = true;
#else
  Module.attr("has_rasters") = false;
#endif
  Module.def("write", &Write, "path"_a, "grid"_a, "digits"_a = py::none(), py::kw_only(),
             "threads"_a = py::none(),
             R"(Writes a Grid (or a 2-D array) as an ASCII grid file.

The file is written through a temporary beside it and renamed into place, so a
failure leaves what was there. Numbers take the library's rule (at most 12
significant digits, fewer when they read back exactly) or `digits` (6 to 17).
The grid's crs is written as the .prj beside it; a grid without one removes an
old .prj. Raises tessgrid.Error with the writer's message.)");
}

}  // namespace tessgrid::detail
