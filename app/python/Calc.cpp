// app/python/Calc.cpp - tessgrid.calc: a cell-wise expression (engine/Expression.h) over up to
// 26 aligned grids, evaluated by the engine as the tool's calc is (engine/ExpressionRows.h), the
// interpreter lock released. Grids in the library's no-data (-9999, the default) are read where
// they lie and the result is written straight into its array; others go through the tool's
// translation.
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/python/Bindings.h"
#include "app/python/PyGrid.h"
#include "engine/Expression.h"
#include "engine/ExpressionRows.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

using namespace pybind11::literals;

constexpr std::size_t kLngLetters = kLngExpressionLetters;
using TRows = std::array<const double*, kLngLetters>;

// Fills LngRows rows of LngColumns cells at PtrOut from the rows of the letters' cells at
// ArrFirst (row r of letter i at ArrFirst[i] + r x LngColumns), -9999 being no-data.
// Throws "the result at row <r>, column <c> comes to -9999, ..." (see CheckDataKept) for the
// first data cell, in row order, whose result is -9999.
void Evaluate(const TExpression& Expression, const TRows& ArrFirst, double* PtrOut, long LngRows,
              long LngColumns, long LngThreads) {
  const std::size_t LngStride = static_cast<std::size_t>(LngColumns);
  const TLostCell Lost =
      EvaluateRows(Expression, LngRows, LngColumns, kDblLibraryNoData, LngThreads,
                   [&](long LngRow, TRows& ArrRows, double*& PtrRowOut) {
                     const std::size_t LngOffset = static_cast<std::size_t>(LngRow) * LngStride;
                     for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
                       ArrRows[LngI] = ArrFirst[LngI] ? ArrFirst[LngI] + LngOffset : nullptr;
                     }
                     PtrRowOut = PtrOut + LngOffset;
                   });
  if (Lost.LngRow >= 0) {
    FailDataLost(static_cast<std::size_t>(Lost.LngRow), static_cast<std::size_t>(Lost.LngColumn));
  }
}

TPyGrid Calc(const std::string& StgExpr, std::optional<double> OptNoData,
             std::optional<long> OptThreads, const py::kwargs& Grids) {
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
    ArrGrids[LngLetter] = GridArgument(Entry.second, StgName, OptNoData);
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
  const TPyGrid& Source = *VecGiven.front();
  const double DblOutNoData = OptNoData.value_or(Source.DblNoData);
  bool BlnInPlace = DblOutNoData == kDblLibraryNoData;
  for (const TPyGrid* PtrGrid : VecGiven) {
    BlnInPlace = BlnInPlace && PtrGrid->DblNoData == kDblLibraryNoData;
  }
  try {
    std::unique_ptr<TExpression> PtrExpression;
    std::vector<TInputGrid> VecInputs;
    {
      py::gil_scoped_release Release;
      PtrExpression = std::make_unique<TExpression>(StgExpr, ArrGiven);
      std::vector<const TInputGrid*> VecInputPtrs;
      for (const TPyGrid* PtrGrid : VecGiven) {
        VecInputs.push_back(DescribeGrid(*PtrGrid));
      }
      for (const TInputGrid& Input : VecInputs) {
        VecInputPtrs.push_back(&Input);
      }
      CheckAligned(VecInputPtrs);
    }
    const long LngRows = Source.Rows();
    const long LngColumns = Source.Columns();
    if (BlnInPlace) {
      TPyGrid Result = Source;
      Result.ArrCells = py::array_t<double>({Source.Rows(), Source.Columns()});
      Result.StgName = "result";
      double* PtrOut = Result.ArrCells.mutable_data();
      py::gil_scoped_release Release;
      TRows ArrFirst{};
      for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
        ArrFirst[LngI] = ArrGrids[LngI] ? ArrGrids[LngI]->Row(0) : nullptr;
      }
      Evaluate(*PtrExpression, ArrFirst, PtrOut, LngRows, LngColumns, LngThreads);
      return Result;
    }
    // Grids that declare another no-data value: as the tool, each is turned into the library's
    // (ToLibraryNoData), and the result into the value it declares (ToDeclaredNoData).
    std::unique_ptr<TMap> PtrResult;
    {
      py::gil_scoped_release Release;
      std::array<std::unique_ptr<TMap>, kLngLetters> ArrMaps;
      TRows ArrFirst{};
      std::vector<double> VecOut(static_cast<std::size_t>(LngRows * LngColumns));
      for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
        if (!ArrGrids[LngI]) {
          continue;
        }
        ArrMaps[LngI] = LibraryMap(*ArrGrids[LngI]);
      }
      // One block per grid, so that the rows lie at one stride as in an array.
      std::vector<std::vector<double>> VecBlocks(kLngLetters);
      for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
        if (ArrMaps[LngI]) {
          for (const std::vector<double>& VecRow : ArrMaps[LngI]->MbrVecValues) {
            VecBlocks[LngI].insert(VecBlocks[LngI].end(), VecRow.begin(), VecRow.end());
          }
          ArrFirst[LngI] = VecBlocks[LngI].data();
        }
      }
      Evaluate(*PtrExpression, ArrFirst, VecOut.data(), LngRows, LngColumns, LngThreads);
      PtrResult = std::move(ArrMaps[static_cast<std::size_t>(
          std::find(ArrGiven.begin(), ArrGiven.end(), true) - ArrGiven.begin())]);
      for (long LngRow = 0; LngRow < LngRows; ++LngRow) {
        std::copy(VecOut.begin() + LngRow * LngColumns, VecOut.begin() + (LngRow + 1) * LngColumns,
                  PtrResult->MbrVecValues[static_cast<std::size_t>(LngRow)].begin());
      }
    }
    return ResultGrid(std::move(PtrResult), Source, DblOutNoData);
  } catch (const TExpressionError& Error) {
    Fail(std::string(Error.what()));
  }
}

}  // namespace

void AddCalc(py::module_& Module) {
  Module.def("calc", &Calc, "expr"_a, py::kw_only(), "nodata"_a = py::none(),
             "threads"_a = py::none(),
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
