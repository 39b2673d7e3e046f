// app/python/Calc.cpp - tessgrid.calc: a cell-wise expression over up to 26 aligned grids, run
// by the engine as the tool's calc is (engine/CalcOperation.h) over the arrays where they lie,
// the interpreter lock released; float32 cells are widened a block at a time and a float32
// result is rounded into its array as its rows are computed.
#include <pybind11/stl.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/CalcOperation.h"
#include "engine/MemoryRows.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;

constexpr std::size_t kLngLetters = kLngExpressionLetters;

TPyGrid Calc(const std::string& StgExpr, std::optional<double> OptNoData,
             std::optional<long> OptThreads, const py::object& DType, const py::kwargs& Grids) {
  std::array<std::optional<TPyGrid>, kLngLetters> ArrGrids;
  std::vector<const TPyGrid*> VecGiven;  // in letter order
  TLetterSet ArrGiven{};
  TextArgument(StgExpr, "expr");
  for (const auto& Entry : Grids) {
    const std::string StgName = TextArgument(Entry.first.cast<std::string>(), "a grid's keyword");
    if (StgName.size() != 1 || StgName[0] < 'A' || StgName[0] > 'Z') {
      Fail("calc takes its grids as A= to Z=, not " + StgName + "=");
    }
    const std::size_t LngLetter = static_cast<std::size_t>(StgName[0] - 'A');
    ArrGrids[LngLetter] = GridArgument(Entry.second, StgName, OptNoData, true);
    ArrGiven[LngLetter] = true;
  }
  for (const std::optional<TPyGrid>& OptGrid : ArrGrids) {
    if (OptGrid) {
      VecGiven.push_back(&*OptGrid);
    }
  }
  if (VecGiven.empty()) {
    Fail("calc needs an input grid: give one or more of A= to Z=");
  }
  const long LngThreads = ThreadsOf(OptThreads);
  const TCellType Type = CellTypeOf(DType, TCellType::kFloat64);
  const TPyGrid& Source = *VecGiven.front();
  TPyGrid Result = Source;
  Result.StgName = "result";
  Result.DblNoData = OptNoData.value_or(Source.DblNoData);
  // A no-data value float32 cannot hold is refused once the result is computed, as narrowing a
  // float64 result refuses it.
  const bool BlnNarrow = Type == TCellType::kFloat32 && Float32NoData(Result.DblNoData);
  const py::ssize_t LngRows = Source.Rows();
  const py::ssize_t LngColumns = Source.Columns();
  if (BlnNarrow) {
    Result.ArrCells = py::array_t<double>(std::vector<py::ssize_t>{0, 0});
    Result.OptCells32 = py::array_t<float>({LngRows, LngColumns});
  } else {
    Result.ArrCells = py::array_t<double>({LngRows, LngColumns});
    Result.OptCells32.reset();
  }
  std::unique_ptr<TRowSink> PtrSink;
  TFloat32RowSink* PtrNarrowing = nullptr;
  if (BlnNarrow) {
    auto PtrFloat32 = std::make_unique<TFloat32RowSink>(
        Result.OptCells32->mutable_data(), static_cast<std::size_t>(LngColumns), Result.DblNoData);
    PtrNarrowing = PtrFloat32.get();
    PtrSink = std::move(PtrFloat32);
  } else {
    PtrSink = std::make_unique<TMemoryRowSink>(Result.ArrCells.mutable_data(),
                                               static_cast<std::size_t>(LngColumns));
  }
  std::vector<TMemoryInput> VecInputs;
  for (const TPyGrid* PtrGrid : VecGiven) {
    TMemoryInput Input;
    Input.Grid = DescribeGrid(*PtrGrid);
    if (PtrGrid->OptCells32) {
      Input.PtrFirst32 = PtrGrid->OptCells32->data();
    } else {
      Input.PtrFirst = PtrGrid->Row(0);
    }
    VecInputs.push_back(std::move(Input));
  }
  try {
    py::gil_scoped_release Release;
    const TExpression Expression(StgExpr, ArrGiven);
    CalcInMemory(Expression, ArrGiven, VecInputs, LngThreads, *PtrSink, Result.DblNoData, "result");
  } catch (const TExpressionError& Error) {
    Fail(std::string(Error.what()));
  }
  if (PtrNarrowing != nullptr && PtrNarrowing->RefusedRow() >= 0) {
    FailNarrowed(Result.StgName, PtrNarrowing->RefusedRow(), PtrNarrowing->RefusedColumn(),
                 PtrNarrowing->RefusedValue(), Result.DblNoData);
  }
  return Type == TCellType::kFloat32 && !BlnNarrow ? NarrowedGrid(Result) : Result;
}

}  // namespace

void AddCalc(py::module_& Module) {
  Module.def("calc", &Calc, "expr"_a, py::kw_only(), "nodata"_a = py::none(),
             "threads"_a = py::none(), "dtype"_a = py::none(),
             R"(Returns a cell-wise expression over grids given as A=... to Z=....

calc("(A + B) / 2", A=a, B=b) pairs the cells of aligned grids (Grids or 2-D
arrays of one shape) by column and row; the result lies on the first grid's.
The language: + - * / ^, comparisons, && ||, c ? x : y, min, max, abs, sqrt,
exp, log (natural), log10, log2, pow, floor, ceil, round (halves away from
zero), sin, cos and the rest, the constant nodata and isnodata(X); assignment
(A = 5) and lists of expressions (A, B) are refused.
No-data: a cell that is no-data in a grid the expression names is no-data in
the result, unless the grid is tested inside isnodata(X): then the expression
sees nodata (NaN) and decides. A result that is not finite is no-data; one of
-9999 from data cells fails. Arrays' no-data is `nodata` (default -9999); the
result declares `nodata` when given, else the first grid's. Rows are split
over `threads` (default: every core), the interpreter lock released.
Raises tessgrid.Error with the expression's or the library's message.)");
}

}  // namespace tessgrid::detail
