// app/python/GridFiles.cpp - tessgrid.read and tessgrid.write: grid files through the library's
// reader (every core, into one block the array then shares), its writer or GDAL's raster output.
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "io/BlockWriter.h"
#include "io/FlatGrid.h"
#include "io/GridHeader.h"
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
  TextArgument(StgPath, "path");
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

// The grid to write: a Grid as it is, or an array as an operation takes it; both with numbers
// the reader takes back, an empty grid too.
TPyGrid WrittenGrid(const py::object& Object) {
  if (py::isinstance<TPyGrid>(Object)) {
    return Object.cast<TPyGrid>();
  }
  TPyGrid Grid;
  Grid.ArrCells = CellsOf(Object, "grid", Grid.DblNoData);
  Grid.StgName = "grid";
  CheckGridHeader(HeaderOf(Grid));
  return Grid;
}

bool HasExtension(const std::string& StgName, const std::string& StgExtension) {
  return StgName.size() >= StgExtension.size() &&
         std::equal(StgExtension.begin(), StgExtension.end(),
                    StgName.end() - static_cast<std::ptrdiff_t>(StgExtension.size()),
                    [](char ChrA, char ChrB) {
                      return std::tolower(static_cast<unsigned char>(ChrA)) ==
                             std::tolower(static_cast<unsigned char>(ChrB));
                    });
}

// How the file is written, as tessgrid-tool names its outputs: a .tif or .tiff name is a
// GeoTIFF, format= another of GDAL's formats, and every other name tessgrid's ASCII grid.
struct TWriteOptions {
  std::optional<std::string> OptFormat;                ///< format=
  std::optional<std::string> OptType;                  ///< type=
  std::optional<std::vector<std::string>> OptOptions;  ///< options=
  std::optional<int> OptDigits;                        ///< digits=
};

// Returns GDAL's name of the output's format, or "" for the ASCII grid; refuses keywords the
// output would not use, since a silently ignored type= or digits= is a wrong file.
std::string OutputFormat(const std::string& StgPath, const TWriteOptions& Options) {
  std::string StgFormat;
  if (Options.OptFormat) {
    StgFormat = TextArgument(*Options.OptFormat, "format");
    if (HasExtension(StgPath, ".asc")) {
      Fail(StgPath + ": a name ending .asc is an ASCII grid, and format=" + StgFormat +
           " needs another name");
    }
  } else if (HasExtension(StgPath, ".tif") || HasExtension(StgPath, ".tiff")) {
    StgFormat = "GTiff";
  }
#ifndef TESSGRID_WITH_GDAL
  if (!StgFormat.empty()) {
    Fail(Options.OptFormat
             ? "format=" + StgFormat + " needs GDAL, and this tessgrid was built without it"
             : StgPath + " is a GeoTIFF, and this tessgrid was built without GDAL");
  }
#endif
  if (StgFormat.empty() && (Options.OptType || Options.OptOptions)) {
    Fail(std::string(Options.OptType ? "type=" : "options=") + " is for rasters, and " + StgPath +
         " is written as an ASCII grid");
  }
  if (!StgFormat.empty() && Options.OptDigits) {
    Fail("digits= is for ASCII grids, and " + StgPath + " is written as a raster (" + StgFormat +
         ")");
  }
  return StgFormat;
}

#ifdef TESSGRID_WITH_GDAL
// The raster target of the output, as tessgrid-tool makes it: Float64 unless type= says
// otherwise, GeoTIFF's default creation options followed by the caller's, the grid's crs.
TRasterTarget RasterTargetOf(const std::string& StgFormat, const TPyGrid& Grid,
                             const TWriteOptions& Options) {
  TRasterTarget Target;
  Target.StgFormat = StgFormat;
  if (Options.OptType && !RasterTypeOf(TextArgument(*Options.OptType, "type"), Target.Type)) {
    Fail("type must be Float64, Float32, Int32, Int16 or Byte, not \"" + *Options.OptType + "\"");
  }
  if (StgFormat == "GTiff") {
    Target.VecOptions = DefaultGeoTiffOptions(Target.Type);
  }
  for (const std::string& StgOption : Options.OptOptions.value_or(std::vector<std::string>())) {
    if (TextArgument(StgOption, "options").find('=') == std::string::npos) {
      Fail("options: not KEY=VALUE: " + StgOption);
    }
    Target.VecOptions.push_back(StgOption);
  }
  CheckRasterFormat(StgFormat);
  if (Grid.OptCrs) {
    Target.StgCrsText = *Grid.OptCrs;
    Target.StgCrsOrigin = "grid.crs";
  }
  return Target;
}

// Every cell is checked against the type before the first byte is written: GDAL would clip and
// round what does not fit. The rows go to GDAL straight from the array.
void WriteRasterFile(const std::string& StgPath, const TPyGrid& Grid, const TRasterTarget& Target) {
  py::gil_scoped_release Release;
  const std::size_t LngColumns = static_cast<std::size_t>(Grid.Columns());
  CheckNoDataFitsType(Grid.DblNoData, Target.Type, StgPath);
  for (long LngRow = 0; LngRow < Grid.Rows(); ++LngRow) {
    const double* PtrRow = Grid.Row(LngRow);
    const long LngColumn = CellNotFitting(PtrRow, LngColumns, Grid.DblNoData, Target.Type);
    if (LngColumn >= 0) {
      FailCellNotFitting(PtrRow[LngColumn], static_cast<std::size_t>(LngRow),
                         static_cast<std::size_t>(LngColumn), Grid.DblNoData, Target.Type, StgPath);
    }
  }
  const TGridLayout Layout{Grid.Columns(), Grid.Rows(),      Grid.DblXll,
                           Grid.DblYll,    Grid.DblCellSize, Grid.DblNoData};
  TOutputSet Outputs;
  Outputs.StageFile(StgPath, [&](const std::string& StgFile) {
    TRasterRowWriter Writer(Layout, Target, StgFile, StgPath);
    Writer.Write([&Grid](std::size_t LngRow) { return Grid.Row(static_cast<long>(LngRow)); },
                 static_cast<std::size_t>(Grid.Rows()));
    Writer.Finish();
  });
  Outputs.Commit();
}
#endif

void WriteAsciiFile(const std::string& StgPath, const TPyGrid& Grid, int IntDigits,
                    long LngThreads) {
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

void Write(const std::string& StgPath, const py::object& Object, std::optional<int> OptDigits,
           std::optional<long> OptThreads, std::optional<std::string> OptFormat,
           std::optional<std::string> OptType, std::optional<std::vector<std::string>> OptOptions) {
  TextArgument(StgPath, "path");
  const TPyGrid Grid = WrittenGrid(Object);
  const int IntDigits = OptDigits.value_or(kLngRuleDigits);
  if (IntDigits < 6 || IntDigits > 17) {
    Fail("digits must be from 6 to 17");
  }
  const long LngThreads = ThreadsOf(OptThreads);
  const TWriteOptions Options{std::move(OptFormat), std::move(OptType), std::move(OptOptions),
                              OptDigits};
  const std::string StgFormat = OutputFormat(StgPath, Options);
  if (StgFormat.empty()) {
    WriteAsciiFile(StgPath, Grid, IntDigits, LngThreads);
    return;
  }
#ifdef TESSGRID_WITH_GDAL
  WriteRasterFile(StgPath, Grid, RasterTargetOf(StgFormat, Grid, Options));
#endif
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
             "threads"_a = py::none(), "format"_a = py::none(), "type"_a = py::none(),
             "options"_a = py::none(),
             R"(Writes a Grid (or a 2-D array) as a grid file, named as tessgrid-tool names its
outputs: a .tif or .tiff name is a GeoTIFF, `format` (GDAL's short name, for
any name but .asc) another raster format, and every other name an ASCII grid.
Rasters need GDAL (tessgrid.has_rasters): without it, those names and keywords
are refused.

The file is written through a temporary beside it and renamed into place, so a
failure leaves what was there. ASCII numbers take the library's rule (at most
12 significant digits, fewer when they read back exactly) or `digits` (6 to
17); the grid's crs is written as the .prj beside it, and a grid without one
removes an old .prj. A raster takes the cell type `type` (Float64, the
default, Float32, Int32, Int16 or Byte), GeoTIFF's defaults (tiles, DEFLATE)
followed by the creation options `options` (a list of "KEY=VALUE"), and the
crs inside it; every cell and the no-data value are checked against the type
before anything is written, as tessgrid-tool checks them. A keyword the
output would not use (type= or options= for an ASCII grid, digits= for a
raster) is refused. Raises tessgrid.Error with the writer's message.)");
}

}  // namespace tessgrid::detail
