// app/python/GridFiles.cpp - tessgrid.read and tessgrid.write: grid files through the library's
// reader (every core, into one block the array then shares), its writer or GDAL's raster output.
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <filesystem>
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
#include "io/gdal/RasterChunks.h"
#include "io/gdal/RasterWindows.h"
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

// A Float32 band straight into float32 cells, through a window of whole blocks of rows at a
// time: a float64 copy of the whole band would double the memory of the read.
TPyGrid ReadRaster32(TRasterReader& Raster, const std::string& StgPath) {
  const TGridHeader Header = Raster.Header();
  const long LngBlock = Raster.Facts().LngBlockRows;
  const long LngWindow =
      std::max(1L, (1L << 20) / std::max(1L, Header.LngColumns * LngBlock)) * LngBlock;
  const std::size_t LngColumns = static_cast<std::size_t>(Header.LngColumns);
  py::array_t<float> ArrCells({Header.LngRows, Header.LngColumns});
  float* PtrCells = ArrCells.mutable_data();
  {
    py::gil_scoped_release Release;
    std::vector<double> VecWindow(static_cast<std::size_t>(LngWindow) * LngColumns);
    for (long LngFirst = 0; LngFirst < Header.LngRows; LngFirst += LngWindow) {
      const long LngCount = std::min(LngWindow, Header.LngRows - LngFirst);
      Raster.ReadRows(LngFirst, LngCount, VecWindow.data());
      std::copy(VecWindow.begin(), VecWindow.begin() + LngCount * static_cast<long>(LngColumns),
                PtrCells + static_cast<std::size_t>(LngFirst) * LngColumns);
    }
  }
  TPyGrid Grid = GridOf(Header, StgPath);
  // The cells hold the band's no-data value as a float32, which is what GDAL compares them by.
  Grid.DblNoData = static_cast<double>(static_cast<float>(Header.DblNoData));
  if (!Raster.CrsText().empty()) {
    Grid.OptCrs = Raster.CrsText();
  }
  Grid.ArrCells = py::array_t<double>(std::vector<py::ssize_t>{0, 0});
  Grid.OptCells32 = std::move(ArrCells);
  return Grid;
}
#endif

TPyGrid Read(const std::string& StgPath, long LngBand, std::optional<long> OptThreads,
             const py::object& DType) {
  TextArgument(StgPath, "path");
  const long LngThreads = ThreadsOf(OptThreads);
  if (LngBand < 1) {
    Fail("band must be 1 or more");
  }
  const TCellType Asked = CellTypeOf(DType, TCellType::kFloat64);
#ifdef TESSGRID_WITH_GDAL
  const bool BlnAsked = !DType.is_none();
  std::unique_ptr<TRasterReader> PtrRaster;
  {
    py::gil_scoped_release Release;
    PtrRaster = TRasterReader::OpenIfRaster(StgPath, static_cast<int>(LngBand));
  }
  if (PtrRaster) {
    const bool BlnSingle = PtrRaster->Facts().StgType == "Float32";
    if ((BlnAsked    ? Asked
         : BlnSingle ? TCellType::kFloat32
                     : TCellType::kFloat64) == TCellType::kFloat64) {
      return ReadRaster(*PtrRaster, StgPath);
    }
    return BlnSingle ? ReadRaster32(*PtrRaster, StgPath)
                     : NarrowedGrid(ReadRaster(*PtrRaster, StgPath));
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
  return Asked == TCellType::kFloat32 ? NarrowedGrid(Grid) : Grid;
}

// Returns the first column of the row whose cell holds the new no-data value as data, after
// turning the row's declared no-data cells into it; or -1.
long RenameNoDataRow(double* PtrCells, std::size_t LngColumns, double DblDeclared, double DblNew) {
  const bool BlnNaNDeclared = std::isnan(DblDeclared);
  const bool BlnNaNNew = std::isnan(DblNew);
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    double& DblCell = PtrCells[LngColumn];
    if (DblCell == DblDeclared || (BlnNaNDeclared && std::isnan(DblCell))) {
      DblCell = DblNew;
    } else if (DblCell == DblNew || (BlnNaNNew && std::isnan(DblCell))) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

[[noreturn]] void FailNoDataRenamed(const std::string& StgName, double DblCell, long LngRow,
                                    long LngColumn) {
  Fail(StgName + ": the cell at row " + std::to_string(LngRow) + ", column " +
       std::to_string(LngColumn) + " holds " + NumberWords(DblCell) +
       " as data, and nodata= would make it no-data");
}

// The grid to write, float64: a Grid as it is, or an array as an operation takes it; both with
// numbers the reader takes back, an empty grid too. With nodata=, a copy whose no-data cells hold
// that value instead.
TPyGrid WrittenGrid(const py::object& Object, std::optional<double> OptNoData) {
  TPyGrid Grid;
  if (py::isinstance<TPyGrid>(Object)) {
    Grid = WidenedGrid(Object.cast<TPyGrid>());
  } else {
    Grid.ArrCells = CellsOf(Object, "grid", Grid.DblNoData);
    Grid.StgName = "grid";
    CheckGridHeader(HeaderOf(Grid));
  }
  if (!OptNoData || *OptNoData == Grid.DblNoData ||
      (std::isnan(*OptNoData) && std::isnan(Grid.DblNoData))) {
    return Grid;
  }
  py::array_t<double> ArrCopy({Grid.ArrCells.shape(0), Grid.ArrCells.shape(1)});
  double* PtrCopy = ArrCopy.mutable_data();
  const std::size_t LngColumns = static_cast<std::size_t>(Grid.Columns());
  long LngRow = 0;
  long LngColumn = -1;
  {
    py::gil_scoped_release Release;
    for (; LngRow < Grid.Rows(); ++LngRow) {
      double* PtrRow = PtrCopy + static_cast<std::size_t>(LngRow) * LngColumns;
      std::copy(Grid.Row(LngRow), Grid.Row(LngRow) + LngColumns, PtrRow);
      LngColumn = RenameNoDataRow(PtrRow, LngColumns, Grid.DblNoData, *OptNoData);
      if (LngColumn >= 0) {
        break;
      }
    }
  }
  if (LngColumn >= 0) {
    FailNoDataRenamed(Grid.StgName, Grid.Row(LngRow)[LngColumn], LngRow, LngColumn);
  }
  Grid.ArrCells = ArrCopy;
  Grid.DblNoData = *OptNoData;
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
  bool BlnSingle = false;  ///< the grid holds float32 cells: Float32 unless type= says otherwise
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
TRasterTarget RasterTargetOf(const std::string& StgFormat, const std::optional<std::string>& OptCrs,
                             const TWriteOptions& Options) {
  TRasterTarget Target;
  Target.StgFormat = StgFormat;
  if (Options.BlnSingle) {
    Target.Type = TRasterType::kFloat32;
  }
  if (Options.OptType && !RasterTypeOf(TextArgument(*Options.OptType, "type"), Target.Type)) {
    Fail("type must be Float64, Float32, Int32, UInt32, Int16, UInt16 or Byte, not \"" +
         *Options.OptType + "\"");
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
  if (OptCrs) {
    Target.StgCrsText = *OptCrs;
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
  StageRasterFile(Outputs, StgPath, [&](const std::string& StgFile) {
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
           std::optional<std::string> OptType, std::optional<std::vector<std::string>> OptOptions,
           std::optional<double> OptNoData) {
  TextArgument(StgPath, "path");
  const bool BlnSingle =
      py::isinstance<TPyGrid>(Object) && Object.cast<const TPyGrid&>().OptCells32.has_value();
  const TPyGrid Grid = WrittenGrid(Object, OptNoData);
  const int IntDigits = OptDigits.value_or(kLngRuleDigits);
  if (IntDigits < 6 || IntDigits > 17) {
    Fail("digits must be from 6 to 17");
  }
  const long LngThreads = ThreadsOf(OptThreads);
  const TWriteOptions Options{std::move(OptFormat), std::move(OptType), std::move(OptOptions),
                              OptDigits, BlnSingle};
  const std::string StgFormat = OutputFormat(StgPath, Options);
  if (StgFormat.empty()) {
    WriteAsciiFile(StgPath, Grid, IntDigits, LngThreads);
    return;
  }
#ifdef TESSGRID_WITH_GDAL
  WriteRasterFile(StgPath, Grid, RasterTargetOf(StgFormat, Grid.OptCrs, Options));
#endif
}

#ifdef TESSGRID_WITH_GDAL
// The name other processes reach the staged file by: a writer's "/proc/self/fd/N" is this
// process's own, so it is followed to the file it names.
std::string SharedName(const std::string& StgFile) {
  const std::filesystem::path File(StgFile);
  if (StgFile.rfind("/proc/self/fd/", 0) == 0) {
    return std::filesystem::read_symlink(File).string();
  }
  return std::filesystem::absolute(File).string();
}

// A GeoTIFF that Fill(temporary's name) fills window by window, from any process, through the
// safe replace: created empty beside the target, renamed over it once Fill returns, removed
// when anything fails.
void StageRaster(const std::string& StgPath, long LngRows, long LngColumns, double DblXll,
                 double DblYll, double DblCellSize, double DblNoData,
                 const std::optional<std::string>& OptCrs, const std::string& StgType,
                 std::optional<std::vector<std::string>> OptOptions, const py::function& Fill) {
  TextArgument(StgPath, "path");
  if (OptCrs) {
    TextArgument(*OptCrs, "crs");
  }
  TPyGrid Shape;
  Shape.ArrCells = py::array_t<double>(std::vector<py::ssize_t>{0, 0});
  TGridHeader Header = HeaderOf(Shape);
  Header.LngRows = LngRows;
  Header.LngColumns = LngColumns;
  Header.DblXll = DblXll;
  Header.DblYll = DblYll;
  Header.DblCellSize = DblCellSize;
  Header.DblNoData = DblNoData;
  CheckGridHeader(Header);
  TWriteOptions Options;
  Options.OptType = StgType;
  Options.OptOptions = std::move(OptOptions);
  const TRasterTarget Target = RasterTargetOf("GTiff", OptCrs, Options);
  CheckNoDataFitsType(DblNoData, Target.Type, StgPath);
  const TGridLayout Layout{LngColumns, LngRows, DblXll, DblYll, DblCellSize, DblNoData};
  TOutputSet Outputs;
  StageRasterFile(Outputs, StgPath, [&](const std::string& StgFile) {
    CreateRasterForWindows(Layout, Target, StgFile, StgPath);
    Fill(SharedName(StgFile));
  });
  py::gil_scoped_release Release;
  Outputs.Commit();
}

// One chunk of a staged raster, written by the worker that computed it: its cells checked
// against the type (and their no-data cells given the value the raster declares) before GDAL sees
// them, then compressed into a GeoTIFF of its own beside the staged raster, whose name it returns.
std::string WriteChunk(const std::string& StgFile, const std::string& StgPath, long LngRow,
                       long LngColumn, const py::object& Cells, double DblDeclared,
                       double DblNoData, const std::string& StgType,
                       std::optional<std::vector<std::string>> OptOptions) {
  TWriteOptions Options;
  Options.OptType = StgType;
  Options.OptOptions = std::move(OptOptions);
  const TRasterTarget Target = RasterTargetOf("GTiff", std::nullopt, Options);
  const std::string StgChunk =
      StgFile + ".chunk-" + std::to_string(LngRow) + "-" + std::to_string(LngColumn);
  // float32 cells for a Float32 raster that declares their own no-data value, one float32 holds:
  // every cell fits and none can turn into no-data, so they go to GDAL as they lie.
  using TFloatCells = py::array_t<float, py::array::c_style>;
  const bool BlnSameNoData =
      DblDeclared == DblNoData || (std::isnan(DblDeclared) && std::isnan(DblNoData));
  if (Target.Type == TRasterType::kFloat32 && BlnSameNoData && py::isinstance<TFloatCells>(Cells) &&
      (std::isnan(DblNoData) || static_cast<double>(static_cast<float>(DblNoData)) == DblNoData)) {
    const TFloatCells ArrFloats = py::reinterpret_borrow<TFloatCells>(Cells);
    if (ArrFloats.ndim() == 2) {
      const long LngRows = static_cast<long>(ArrFloats.shape(0));
      const long LngColumns = static_cast<long>(ArrFloats.shape(1));
      py::gil_scoped_release Release;
      WriteRasterChunk(StgChunk, StgPath, Target, LngRows, LngColumns, DblNoData, ArrFloats.data());
      return StgChunk;
    }
  }
  const py::array_t<double> ArrCells = CellsOf(Cells, "cells", DblDeclared);
  const long LngRows = static_cast<long>(ArrCells.shape(0));
  const std::size_t LngColumns = static_cast<std::size_t>(ArrCells.shape(1));
  const double* PtrCells = ArrCells.data();
  py::gil_scoped_release Release;
  std::vector<double> VecRenamed;
  const bool BlnRename = !BlnSameNoData;
  if (BlnRename) {
    VecRenamed.assign(PtrCells, PtrCells + static_cast<std::size_t>(LngRows) * LngColumns);
  }
  for (long LngR = 0; LngR < LngRows; ++LngR) {
    const std::size_t LngOffset = static_cast<std::size_t>(LngR) * LngColumns;
    if (BlnRename) {
      const long LngC =
          RenameNoDataRow(VecRenamed.data() + LngOffset, LngColumns, DblDeclared, DblNoData);
      if (LngC >= 0) {
        FailNoDataRenamed(StgPath, PtrCells[LngOffset + static_cast<std::size_t>(LngC)],
                          LngRow + LngR, LngColumn + LngC);
      }
    }
    const double* PtrRow = (BlnRename ? VecRenamed.data() : PtrCells) + LngOffset;
    const long LngC = CellNotFitting(PtrRow, LngColumns, DblNoData, Target.Type);
    if (LngC >= 0) {
      FailCellNotFitting(PtrRow[LngC], static_cast<std::size_t>(LngRow + LngR),
                         static_cast<std::size_t>(LngColumn + LngC), DblNoData, Target.Type,
                         StgPath);
    }
  }
  WriteRasterChunk(StgChunk, StgPath, Target, LngRows, static_cast<long>(LngColumns), DblNoData,
                   BlnRename ? VecRenamed.data() : PtrCells);
  return StgChunk;
}

// The chunk's tiles moved into the staged raster, by one process at a time (the caller's lock).
void PlaceChunk(const std::string& StgChunk, const std::string& StgFile, const std::string& StgPath,
                long LngRow, long LngColumn) {
  py::gil_scoped_release Release;
  PlaceRasterChunk(StgChunk, StgFile, StgPath, LngRow, LngColumn);
}
#endif

}  // namespace

void AddGridFiles(py::module_& Module) {
  Module.def("read", &Read, "path"_a, py::kw_only(), "band"_a = 1, "threads"_a = py::none(),
             "dtype"_a = py::none(),
             R"(Reads a grid file into a Grid: an ASCII grid, or, where tessgrid was built with
GDAL (tessgrid.has_rasters), any raster GDAL opens (its band `band`, default 1).

The cells are parsed on every core (or `threads`) into one block that
numpy.asarray(grid) then shares: rows from the north, float64, float32 for a
raster band of Float32, or as `dtype` ("float32" or "float64") says. The header's
corner, cell size and NODATA_value become grid.xll, grid.yll, grid.cellsize
and grid.nodata (-9999 when the file states none); the text of a .prj beside
the file becomes grid.crs. A raster's geotransform, no-data value and
coordinate system (as WKT) fill the same; rotated or non-square cells are
refused. Raises tessgrid.Error with the reader's message.)");
#ifdef TESSGRID_WITH_GDAL
  Module.attr("has_rasters") = true;
  Module.def("_stage_raster", &StageRaster, "path"_a, "rows"_a, "columns"_a, "xll"_a, "yll"_a,
             "cellsize"_a, "nodata"_a, "crs"_a, "type"_a, "options"_a, "fill"_a,
             "tessgrid.dask.to_raster's GeoTIFF: fill(name) writes its windows into the "
             "temporary that then replaces the path.");
  Module.def("_write_raster_chunk", &WriteChunk, "file"_a, "path"_a, "row"_a, "column"_a, "cells"_a,
             "declared"_a, "nodata"_a, "type"_a, "options"_a,
             "Compresses one chunk of a raster that _stage_raster staged into a file of its own "
             "beside it, and returns its name; any number of processes at once.");
  Module.def("_place_raster_chunk", &PlaceChunk, "chunk"_a, "file"_a, "path"_a, "row"_a, "column"_a,
             "Moves the tiles of a chunk _write_raster_chunk wrote into the staged raster; one "
             "process at a time.");
#else
  Module.attr("has_rasters") = false;
#endif
  Module.def("write", &Write, "path"_a, "grid"_a, "digits"_a = py::none(), py::kw_only(),
             "threads"_a = py::none(), "format"_a = py::none(), "type"_a = py::none(),
             "options"_a = py::none(), "nodata"_a = py::none(),
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
crs inside it (a float32 grid is written as Float32 unless `type` says
otherwise); every cell and the no-data value are checked against the type
before anything is written, as tessgrid-tool checks them. With `nodata`, the
file declares that value and the grid's no-data cells hold it (a data cell
equal to it is refused). A keyword the
output would not use (type= or options= for an ASCII grid, digits= for a
raster) is refused. Raises tessgrid.Error with the writer's message.)");
}

}  // namespace tessgrid::detail
