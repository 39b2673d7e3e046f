// app/python/Operations.cpp - the tool's operations on Grids and arrays: the series run as the
// tool runs them (engine/SeriesOperation.h) over the arrays where they lie (engine/MemoryRun.h);
// for the others each argument is taken into the library's no-data model and one TMapTools call
// computes. All run without the interpreter lock, with the checks tessgrid-tool makes.
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/MemoryRun.h"
#include "engine/PairOperation.h"
#include "engine/SeriesOperation.h"
#include "engine/TransformOperation.h"
#include "model/Fail.h"
#include "ops/ArithmeticTable.h"
#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"
#include "tessgrid_owning.h"

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;
using TOptNoData = std::optional<double>;
using TOptThreads = std::optional<long>;

// The result lies on the finer grid (add, multiply; the first on a tie) or on the first grid.
// Grids that pair cell for cell are run by the engine over their arrays where they lie; others
// are taken into library maps for the library's operation.
TPyGrid Pair(py::handle ObjA, py::handle ObjB, TOptNoData OptNoData, TOptThreads OptThreads,
             TArithmetic Operation) {
  const TArithmeticEntry& Entry = EntryOf(Operation);
  const TPyGrid A = GridArgument(ObjA, "a", OptNoData);
  const TPyGrid B = GridArgument(ObjB, "b", OptNoData);
  const long LngThreads = ThreadsOf(OptThreads);
  const TInputGrid InputA = DescribeGrid(A);
  const TInputGrid InputB = DescribeGrid(B);
  if (PairsCellForCell({&InputA, &InputB})) {
    const double DblNoData = OptNoData.value_or(A.DblNoData);
    TPyGrid Result = A;
    Result.ArrCells = py::array_t<double>({A.Rows(), A.Columns()});
    Result.DblNoData = DblNoData;
    Result.StgName = "result";
    double* const PtrOut = Result.ArrCells.mutable_data();
    py::gil_scoped_release Release;
    TPairCellRule Rule(Operation);
    RunInMemory(Rule, {{InputA, A.Row(0)}, {InputB, B.Row(0)}}, LngThreads, PtrOut, DblNoData,
                "result");
    return Result;
  }
  std::unique_ptr<TMap> PtrResult;
  {
    py::gil_scoped_release Release;
    // The tool's order: both inputs are taken in, then compared.
    const std::unique_ptr<TMap> PtrA = LibraryMap(A);
    const std::unique_ptr<TMap> PtrB = LibraryMap(B);
    if (Entry.BlnByIndex) {
      CheckAligned({&InputA, &InputB});
    }
    PtrResult = PairOfMaps(Operation, *PtrA, *PtrB);
  }
  const TPyGrid& Source = Entry.BlnFinerGrid && B.DblCellSize < A.DblCellSize ? B : A;
  return ResultGrid(std::move(PtrResult), Source, OptNoData.value_or(Source.DblNoData));
}

// A series of aligned grids, run by the engine over their arrays where they lie; the result lies
// on the first one's grid. MinCount is min_count=, else 1 with skip_nodata, else 0.
TPyGrid Series(const py::sequence& Grids, TOptNoData OptNoData, TOptThreads OptThreads,
               const std::string& StgName, TSeriesRule Rule, bool BlnSkipNoData,
               std::optional<long> OptMinCount) {
  std::vector<TPyGrid> VecGrids;
  for (std::size_t LngI = 0; LngI < Grids.size(); ++LngI) {
    VecGrids.push_back(GridArgument(Grids[LngI], "grids[" + std::to_string(LngI) + "]", OptNoData));
  }
  const std::size_t LngFewest = FewestSeriesInputs(Rule);
  if (VecGrids.size() < LngFewest) {
    Fail(StgName +
         (LngFewest == 1 ? " needs one or more grids, got " : " needs two or more grids, got ") +
         std::to_string(VecGrids.size()));
  }
  TSeriesOptions Options{Rule, BlnSkipNoData ? std::size_t{1} : std::size_t{0}};
  if (OptMinCount) {
    if (*OptMinCount < 1 || static_cast<std::size_t>(*OptMinCount) > VecGrids.size()) {
      Fail("min_count must be from 1 to the number of grids (" + std::to_string(VecGrids.size()) +
           "), not " + std::to_string(*OptMinCount));
    }
    Options.LngMinCount = static_cast<std::size_t>(*OptMinCount);
  }
  const long LngThreads = ThreadsOf(OptThreads);
  const TPyGrid& Source = VecGrids.front();
  const double DblNoData = OptNoData.value_or(Source.DblNoData);
  TPyGrid Result = Source;
  Result.ArrCells = py::array_t<double>({Source.Rows(), Source.Columns()});
  Result.OptCells32.reset();
  Result.DblNoData = DblNoData;
  Result.StgName = "result";
  double* const PtrOut = Result.ArrCells.mutable_data();
  {
    py::gil_scoped_release Release;
    std::vector<TMemoryInput> VecInputs;
    for (const TPyGrid& Grid : VecGrids) {
      VecInputs.push_back({DescribeGrid(Grid), Grid.Row(0)});
    }
    TSeriesCellRule CellRule(Options, VecInputs.size());
    RunInMemory(CellRule, VecInputs, LngThreads, PtrOut, DblNoData, "result");
  }
  return Result;
}

// One grid in, one out on its grid (or, for resample and extract, on the map's own edges).
// Transform runs without the interpreter lock.
template <typename TTransform>
TPyGrid Single(py::handle Object, TOptNoData OptNoData, TTransform&& Transform) {
  const TPyGrid Grid = GridArgument(Object, "grid", OptNoData);
  std::unique_ptr<TMap> PtrResult;
  {
    py::gil_scoped_release Release;
    const std::unique_ptr<TMap> PtrIn = LibraryMap(Grid);
    PtrResult = Transform(*PtrIn, DescribeGrid(Grid));
  }
  return ResultGrid(std::move(PtrResult), Grid, OptNoData.value_or(Grid.DblNoData));
}

TPyGrid Reclass(const py::object& Object, const py::dict& Table, double DblDefault,
                TOptNoData OptNoData, TOptThreads) {
  std::vector<std::pair<double, double>> VecEntries;
  for (const auto& Entry : Table) {
    VecEntries.emplace_back(Entry.first.cast<double>(), Entry.second.cast<double>());
  }
  return Single(Object, OptNoData, [&](const TMap& In, const TInputGrid& Input) {
    return ReclassOperation(In, Input, VecEntries, DblDefault);
  });
}

TPyGrid Mask(const py::object& ObjGrid, const py::object& ObjSource, double DblMatch,
             double DblValue, TOptNoData OptNoData, TOptThreads) {
  const TPyGrid Grid = GridArgument(ObjGrid, "grid", OptNoData);
  const TPyGrid Source = GridArgument(ObjSource, "source", OptNoData);
  std::unique_ptr<TMap> PtrResult;
  {
    py::gil_scoped_release Release;
    const TInputGrid GridInput = DescribeGrid(Grid);
    const TInputGrid SourceInput = DescribeGrid(Source);
    const std::unique_ptr<TMap> PtrGrid = LibraryMap(Grid);
    const std::unique_ptr<TMap> PtrSource = LibraryMap(Source);
    CheckAligned({&GridInput, &SourceInput});
    PtrResult = MaskOperation(*PtrGrid, GridInput, *PtrSource, SourceInput, DblMatch, DblValue);
  }
  return ResultGrid(std::move(PtrResult), Grid, OptNoData.value_or(Grid.DblNoData));
}

// Documentation shared by every operation.
const char* const kStgCommon = R"(

Arguments are Grids or 2-D arrays; an array lies at corner (0, 0) with cell
size 1 and its cells equal to `nodata` (default -9999) are no-data. A Grid's
declared nodata is its own; the result declares `nodata` when given, else its
source grid's. Cells that are no-data in an input are no-data in the result; a
computed -9999 from data cells fails, as tessgrid-tool fails. `threads` is
accepted by every operation: the series (sum, count, average, minimum,
maximum) and the pairs of grids on one grid split their rows over it
(default: every core), the others run on one thread.
Raises tessgrid.Error with the library's message.)";

// The options of the aggregates over the data present.
const char* const kStgPresent = R"(
With skip_nodata=True, the aggregate over the grids that have data in each
cell (the sum adding them in list order), no-data where none has; min_count=N
(1 to the number of grids; implies skip_nodata) makes no-data where fewer than
N grids have data.)";

std::string Doc(const std::string& StgSummary) {
  return StgSummary + kStgCommon;
}

}  // namespace

void AddOperations(py::module_& Module) {
  const auto PairDef = [&Module](const char* PtrName, const std::string& StgSummary,
                                 TArithmetic Operation) {
    Module.def(
        PtrName,
        [Operation](const py::object& A, const py::object& B, TOptNoData OptNoData,
                    TOptThreads OptThreads) {
          return Pair(A, B, OptNoData, OptThreads, Operation);
        },
        "a"_a, "b"_a, py::kw_only(), "nodata"_a = py::none(), "threads"_a = py::none(),
        Doc(StgSummary).c_str());
  };
  PairDef("add", "Returns a + b cell by cell, on the finer grid (a's on a tie).",
          TArithmetic::kAdd);
  PairDef("subtract", "Returns a - b cell by cell; the grids must be aligned.",
          TArithmetic::kSubtract);
  PairDef("multiply", "Returns a x b cell by cell, on the finer grid (a's on a tie).",
          TArithmetic::kMultiply);
  PairDef("divide", "Returns a / b cell by cell on a's grid (b no finer); x / 0 is no-data.",
          TArithmetic::kDivide);

  const auto SeriesDef = [&Module](const char* PtrName, const std::string& StgSummary,
                                   TSeriesRule Rule) {
    const std::string StgName(PtrName);
    if (Rule == TSeriesRule::kCount) {
      Module.def(
          PtrName,
          [StgName, Rule](const py::sequence& Grids, TOptNoData OptNoData, TOptThreads OptThreads) {
            return Series(Grids, OptNoData, OptThreads, StgName, Rule, false, std::nullopt);
          },
          "grids"_a, py::kw_only(), "nodata"_a = py::none(), "threads"_a = py::none(),
          Doc(StgSummary).c_str());
      return;
    }
    Module.def(
        PtrName,
        [StgName, Rule](const py::sequence& Grids, TOptNoData OptNoData, TOptThreads OptThreads,
                        bool BlnSkipNoData, std::optional<long> OptMinCount) {
          return Series(Grids, OptNoData, OptThreads, StgName, Rule, BlnSkipNoData, OptMinCount);
        },
        "grids"_a, py::kw_only(), "nodata"_a = py::none(), "threads"_a = py::none(),
        "skip_nodata"_a = false, "min_count"_a = py::none(),
        (StgSummary + kStgPresent + kStgCommon).c_str());
  };
  SeriesDef("sum",
            "Returns the cell-wise sum of two or more aligned grids; no-data in any is no-data.",
            TSeriesRule::kSum);
  SeriesDef("count", "Returns, for each cell, how many of the aligned grids have data there.",
            TSeriesRule::kCount);
  SeriesDef("average",
            "Returns the cell-wise average of two or more aligned grids; no-data in any is "
            "no-data.",
            TSeriesRule::kAverage);
  SeriesDef("minimum",
            "Returns the cell-wise least value of two or more aligned grids; no-data in any is "
            "no-data.",
            TSeriesRule::kMinimum);
  SeriesDef("maximum",
            "Returns the cell-wise greatest value of two or more aligned grids; no-data in any is "
            "no-data.",
            TSeriesRule::kMaximum);

  Module.def(
      "threshold",
      [](const py::object& Object, double DblMin, std::optional<double> OptReplace,
         TOptNoData OptNoData, TOptThreads) {
        return Single(Object, OptNoData, [&](const TMap& In, const TInputGrid& Input) {
          return ThresholdOperation(In, Input, DblMin, OptReplace);
        });
      },
      "grid"_a, "min"_a, "replace"_a = py::none(), py::kw_only(), "nodata"_a = py::none(),
      "threads"_a = py::none(),
      Doc("Returns the grid with cells below min as 0; with replace, cells at or above min "
          "become replace instead (the grid's nodata as replace makes them no-data).")
          .c_str());

  Module.def("reclass", &Reclass, "grid"_a, "table"_a, "default"_a = 0.0, py::kw_only(),
             "nodata"_a = py::none(), "threads"_a = py::none(),
             Doc("Returns every cell replaced by table[cell] (a dict), or default. No-data cells "
                 "stay unless the table has the grid's nodata as a key; the grid's nodata as "
                 "default or value means no-data.")
                 .c_str());

  Module.def("mask", &Mask, "grid"_a, "source"_a, "match"_a, "value"_a, py::kw_only(),
             "nodata"_a = py::none(), "threads"_a = py::none(),
             Doc("Returns source's cells with match replaced by value, on grid's grid (aligned); "
                 "a nodata value as match or value stands for no-data.")
                 .c_str());

  Module.def(
      "resample",
      [](const py::object& Object, std::optional<double> OptResolution,
         const std::string& StgMethod, const py::object& Like,
         std::optional<std::vector<double>> OptExtent, bool BlnAlign, TOptNoData OptNoData,
         TOptThreads) {
        TextArgument(StgMethod, "method");
        TResampleMethod Method = TResampleMethod::kNearest;
        if (!ResampleMethodOf(StgMethod, Method)) {
          Fail(std::string("method must be ") + kStgResampleMethods + ", not \"" + StgMethod +
               "\"");
        }
        std::optional<TResampleGrid> OptGrid;
        if (!Like.is_none()) {
          if (OptResolution || OptExtent || BlnAlign) {
            Fail(
                "like= gives the whole grid: resample takes no resolution, extent= or align= "
                "with it");
          }
          const TPyGrid LikeGrid = GridArgument(Like, "like", std::nullopt);
          OptGrid = HeaderGrid(LikeGrid.Columns(), LikeGrid.Rows(), LikeGrid.DblXll,
                               LikeGrid.DblYll, LikeGrid.DblCellSize);
        } else if (!OptResolution) {
          Fail("resample needs a resolution or like=");
        } else if (OptExtent) {
          if (OptExtent->size() != 4) {
            Fail("extent must be (xmin, ymin, xmax, ymax)");
          }
          const std::vector<double>& VecE = *OptExtent;
          OptGrid = ExtentGrid(VecE[0], VecE[1], VecE[2], VecE[3], *OptResolution, BlnAlign);
        }
        return Single(Object, OptNoData, [&](const TMap& In, const TInputGrid& Input) {
          if (!OptGrid && BlnAlign) {
            const double DblEast =
                Input.DblWest + static_cast<double>(Input.LngColumns) * Input.DblCellSize;
            const double DblNorth =
                Input.DblSouth + static_cast<double>(Input.LngRows) * Input.DblCellSize;
            OptGrid =
                ExtentGrid(Input.DblWest, Input.DblSouth, DblEast, DblNorth, *OptResolution, true);
          }
          return OptGrid ? ResampleOnto(In, *OptGrid, Method)
                         : std::unique_ptr<TMap>(TMapTools::Resample(&In, *OptResolution, Method));
        });
      },
      "grid"_a, "resolution"_a = py::none(), "method"_a = "near", py::kw_only(),
      "like"_a = py::none(), "extent"_a = py::none(), "align"_a = false, "nodata"_a = py::none(),
      "threads"_a = py::none(),
      Doc("Returns the grid resampled, as tessgrid-tool resample: onto the grid of cell size "
          "resolution over its whole area, over extent=(xmin, ymin, xmax, ymax) (from xmin and "
          "ymax), either grown to multiples of resolution by align=True, or onto the grid of "
          "like= (a Grid). method is \"near\" (the cell holding each centre), \"bilinear\", "
          "or over the cells each cell covers \"average\", \"mode\", \"min\", \"max\" or "
          "\"median\", as gdalwarp -r computes them.")
          .c_str());

  Module.def(
      "extract",
      [](const py::object& Object, double DblXMin, double DblYMin, double DblXMax, double DblYMax,
         TOptNoData OptNoData, TOptThreads) {
        return Single(Object, OptNoData, [&](const TMap& In, const TInputGrid&) {
          const TPoint Corner1(DblXMin, DblYMin);
          const TPoint Corner2(DblXMax, DblYMax);
          return std::unique_ptr<TMap>(TMapTools::Extract(&In, &Corner1, &Corner2));
        });
      },
      "grid"_a, "xmin"_a, "ymin"_a, "xmax"_a, "ymax"_a, py::kw_only(), "nodata"_a = py::none(),
      "threads"_a = py::none(),
      Doc("Returns the cells from the one holding (xmin, ymin) to the one holding (xmax, ymax).")
          .c_str());
}

}  // namespace tessgrid::detail
