// app/OverlayRun.cpp - the overlay run: both inputs read at once into flat storage, the result
// computed into the cells of its base input, and written with its rows formatted on every
// thread. The contract is in app/OverlayRun.h.
#include "app/OverlayRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "io/BlockWriter.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/TARCGISFileTools.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"
#include "ops/PartnerLookup.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

// Rows paired at a time: the lookups take some 28 bytes a row, under 2 MiB for a slab, and the
// partner's edges are read for their order only once (TEdgeList).
constexpr std::size_t kLngSlabRows = std::size_t{1} << 16;

// Bytes of the named file, or 0 when they cannot be told.
double FileBytes(const std::string& StgFileName) {
  struct stat Status;
  return ::stat(StgFileName.c_str(), &Status) == 0 ? static_cast<double>(Status.st_size) : 0.0;
}

// The threads of each load when both run at once: shared by the inputs' sizes, at least one each,
// so that the larger input still has the machine once the smaller one is read.
void SplitThreads(const std::string& StgFileName1, const std::string& StgFileName2, long LngThreads,
                  long& LngThreads1, long& LngThreads2) {
  const double DblBytes1 = FileBytes(StgFileName1);
  const double DblBytes2 = FileBytes(StgFileName2);
  const double DblShare1 = DblBytes1 + DblBytes2 > 0.0 ? DblBytes1 / (DblBytes1 + DblBytes2) : 0.5;
  LngThreads1 = std::lround(static_cast<double>(LngThreads) * DblShare1);
  LngThreads1 = LngThreads1 < 1 ? 1 : LngThreads1;
  LngThreads2 = LngThreads - LngThreads1 < 1 ? 1 : LngThreads - LngThreads1;
}

// The map LoadARCGISFile would have returned for the input.
std::unique_ptr<TMap> MapOfInput(const TOverlayInput& Input) {
  const std::size_t LngColumns = Input.Grid.Columns();
  std::vector<std::vector<double>> VecRows(Input.Grid.Rows());
  for (std::size_t LngRow = 0; LngRow < VecRows.size(); ++LngRow) {
    const double* PtrRow = Input.Grid.Cells() + LngRow * LngColumns;
    VecRows[LngRow].assign(PtrRow, PtrRow + LngColumns);
  }
  return MapOfGrid(Input.Header, VecRows);
}

using TLibraryOperation = TMap* (*)(const TMap*, const TMap*);

TLibraryOperation LibraryOperation(TArithmetic Operation) {
  switch (Operation) {
    case TArithmetic::kAdd:
      return TMapTools::Add;
    case TArithmetic::kSubtract:
      return TMapTools::Subtract;
    case TArithmetic::kMultiply:
      return TMapTools::Multiply;
    case TArithmetic::kDivide:
      break;
  }
  return TMapTools::Divide;
}

}  // namespace

void LoadOverlayInput(const std::string& StgFileName, TOverlayInput& Input, long LngThreads) {
  TReadOptions Options;
  Options.LngThreads = LngThreads;
  Input.Header = LoadGridFile(StgFileName, TGridHeaderMode::kStrict, Input.Grid, Options);
}

void LoadOverlayInputs(const std::string& StgFileName1, const std::string& StgFileName2,
                       TOverlayInput& Input1, TOverlayInput& Input2, long LngThreads) {
  if (LngThreads <= 1) {
    LoadOverlayInput(StgFileName1, Input1, 1);
    LoadOverlayInput(StgFileName2, Input2, 1);
    return;
  }
  long LngThreads1 = 1;
  long LngThreads2 = 1;
  SplitThreads(StgFileName1, StgFileName2, LngThreads, LngThreads1, LngThreads2);
  std::exception_ptr PtrError2;
  std::thread Second;
  try {
    Second = std::thread([&] {
      try {
        LoadOverlayInput(StgFileName2, Input2, LngThreads2);
      } catch (...) {
        PtrError2 = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // Without a second thread the inputs are read one after the other.
    LoadOverlayInput(StgFileName1, Input1, LngThreads);
    LoadOverlayInput(StgFileName2, Input2, LngThreads);
    return;
  }
  std::exception_ptr PtrError1;
  try {
    LoadOverlayInput(StgFileName1, Input1, LngThreads1);
  } catch (...) {
    PtrError1 = std::current_exception();
  }
  Second.join();
  // A single-threaded run meets the first input's failure before it opens the second.
  if (PtrError1) {
    std::rethrow_exception(PtrError1);
  }
  if (PtrError2) {
    std::rethrow_exception(PtrError2);
  }
}

TArithmetic SelectOperation(char ChrOperation) {
  switch (ChrOperation) {
    case '+':
      return TArithmetic::kAdd;
    case '-':
      return TArithmetic::kSubtract;
    case 'x':
      return TArithmetic::kMultiply;
    case '/':
      return TArithmetic::kDivide;
    default:
      Fail("Unknown operation");
  }
}

bool CombineInPlace(TArithmetic Operation, TOverlayInput& Input1, TOverlayInput& Input2,
                    TOverlayResult& Result) {
  const TGridHeader& Header1 = Input1.Header;
  const TGridHeader& Header2 = Input2.Header;
  CheckOperands(Operation, Header1.LngColumns, Header1.LngRows, Header1.DblCellSize,
                Header2.LngColumns, Header2.LngRows, Header2.DblCellSize);
  const bool BlnSecond = SecondIsBase(Operation, Header1.DblCellSize, Header2.DblCellSize);
  TOverlayInput& Base = BlnSecond ? Input2 : Input1;
  TOverlayInput& Partner = BlnSecond ? Input1 : Input2;
  const TGridHeader& BaseHeader = Base.Header;
  const TGridHeader& PartnerHeader = Partner.Header;
  // The library builds its result from the base map's centre axes: a map without cells has
  // none to derive edges from, and the operation fails there; a NaN cell size fails the
  // resolution test of the result map's constructor. Neither has a grid to compute, and the
  // library's own code gives those failures.
  if (BaseHeader.LngColumns == 0 || BaseHeader.LngRows == 0 || std::isnan(BaseHeader.DblCellSize)) {
    return false;
  }
  const std::size_t LngColumns = Base.Grid.Columns();
  const std::size_t LngRows = Base.Grid.Rows();
  const double DblCellSize = BaseHeader.DblCellSize;
  // The geometry of the maps the library would hold: the reader's edges, their centres.
  TGridEdges BaseEdges =
      ReaderEdges(BaseHeader.DblXll, BaseHeader.DblYll, DblCellSize, LngColumns, LngRows);
  const double DblNorth = BaseEdges.VecY.front();
  std::vector<double>& VecXCentres = BaseEdges.VecX;
  std::vector<double>& VecYCentres = BaseEdges.VecY;
  EdgesToCentres(VecXCentres, 'X');
  EdgesToCentres(VecYCentres, 'Y');

  // The result map's edges derive from the base's centres (TMap::SetXAxis, SetYAxis); the
  // writer states the western edge and the lower end of the Y edges.
  const double DblXCentresY = CentreOfEdges(DblNorth, DblNorth, 'Y');
  const TEdgeRun XRun =
      EdgeRunOfCentres(VecXCentres.front(), DblXCentresY, DblXCentresY, DblCellSize, 'X');
  const double DblYCentresX = CentreOfEdges(BaseHeader.DblXll, BaseHeader.DblXll, 'X');
  const TEdgeRun YRun =
      EdgeRunOfCentres(DblYCentresX, VecYCentres.front(), VecYCentres.back(), DblCellSize, 'Y');
  Result.PtrBase = &Base;
  Result.DblWest = XRun.DblX;
  Result.DblSouth = SouthernEdge(YRun.DblY, RunningSumAt(YRun.DblY, YRun.DblStep, LngRows));

  // Subtract pairs by index; the others pair each base centre with the partner cell holding it.
  TGridEdges PartnerEdges;
  TPartnerLines Columns;
  if (Operation != TArithmetic::kSubtract) {
    PartnerEdges =
        ReaderEdges(PartnerHeader.DblXll, PartnerHeader.DblYll, PartnerHeader.DblCellSize,
                    Partner.Grid.Columns(), Partner.Grid.Rows());
    Columns = FindPartnerLines(VecXCentres.data(), VecXCentres.size(), PartnerEdges.VecX.data(),
                               PartnerEdges.VecX.size(), PartnerHeader.LngColumns, 'X');
  }
  const TEdgeList PartnerRowEdges(PartnerEdges.VecY.data(), PartnerEdges.VecY.size());
  double* const PtrBaseCells = Base.Grid.Cells();
  const double* const PtrPartnerCells = Partner.Grid.Cells();
  const std::size_t LngPartnerColumns = Partner.Grid.Columns();
  const long* const PtrColumns = Operation == TArithmetic::kSubtract
                                     ? nullptr
                                     : PartnerColumnsOf(Columns.MbrVecIndices, LngPartnerColumns);
  // The rows are paired and combined in slabs, so that the lookups of a grid of many rows need
  // little memory. The first slab meets any failure of a column in its first row, so a later
  // slab fails only at a row of its own, and that is the first failing cell of the grid, as
  // the library's pairing of the whole grid finds it; the cells combined before are dropped.
  for (std::size_t LngFirst = 0; LngFirst < LngRows; LngFirst += kLngSlabRows) {
    const std::size_t LngCount = std::min(kLngSlabRows, LngRows - LngFirst);
    TPartnerLines Rows;
    if (Operation != TArithmetic::kSubtract) {
      Rows = FindPartnerLines(VecYCentres.data() + LngFirst, LngCount, PartnerRowEdges,
                              PartnerHeader.LngRows, 'Y');
      CheckPairing(Columns, Rows);
    }
    const auto PartnerRow = [&Rows, LngFirst](std::size_t LngK) {
      return Rows.MbrVecIndices.empty() ? LngFirst + LngK
                                        : static_cast<std::size_t>(Rows.MbrVecIndices[LngK]);
    };
    for (std::size_t LngK = 0; LngK < LngCount;) {
      // Rows that follow one another in both grids, read straight along, are one run of cells.
      std::size_t LngRun = 1;
      if (PtrColumns == nullptr && LngPartnerColumns == LngColumns) {
        while (LngK + LngRun < LngCount && PartnerRow(LngK + LngRun) == PartnerRow(LngK) + LngRun) {
          ++LngRun;
        }
      }
      double* const PtrCells = PtrBaseCells + (LngFirst + LngK) * LngColumns;
      CombineRow(Operation, PtrCells, PtrPartnerCells + PartnerRow(LngK) * LngPartnerColumns,
                 PtrColumns, LngRun * LngColumns, BaseHeader.DblNoData, PartnerHeader.DblNoData,
                 PtrCells);
      LngK += LngRun;
    }
  }
  Partner.Grid.Release();
  return true;
}

void WriteOverlayResult(const TOverlayResult& Result, const std::string& StgOutputFile,
                        long LngThreads) {
  const TGridHeader& Header = Result.PtrBase->Header;
  const TFlatGrid& Grid = Result.PtrBase->Grid;
  const TRowAt RowAt = [&Grid](std::size_t LngRow) {
    return Grid.Cells() + LngRow * Grid.Columns();
  };
  WriteFileSafely(StgOutputFile, [&](std::ostream& Output) {
    {
      TBlockWriter Writer(Output);
      PutGridHeader(Writer, Header.LngColumns, Header.LngRows, Result.DblWest, Result.DblSouth,
                    Header.DblCellSize, Header.DblNoData);
    }
    WriteRows(Output, RowAt, Grid.Rows(), Grid.Columns(), ' ', LngThreads);
  });
}

}  // namespace tessgrid::detail

void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation) {
  const long LngThreads = tessgrid::detail::ThreadCount();
  tessgrid::detail::TOverlayInput Input1;
  tessgrid::detail::TOverlayInput Input2;
  tessgrid::detail::LoadOverlayInputs(StgInputFile1, StgInputFile2, Input1, Input2, LngThreads);
  // Only now: a bad input file is reported before a bad operation character.
  const tessgrid::detail::TArithmetic Operation = tessgrid::detail::SelectOperation(ChrOperation);
  tessgrid::detail::TOverlayResult Result;
  if (tessgrid::detail::CombineInPlace(Operation, Input1, Input2, Result)) {
    tessgrid::detail::WriteOverlayResult(Result, StgOutputFile, LngThreads);
    return;
  }
  // A base grid without cells or with a NaN cell size (see CombineInPlace): the maps the library
  // would have loaded, and its own operation and writer.
  std::unique_ptr<TMap> PtrMap1 = tessgrid::detail::MapOfInput(Input1);
  Input1.Grid.Release();
  std::unique_ptr<TMap> PtrMap2 = tessgrid::detail::MapOfInput(Input2);
  Input2.Grid.Release();
  const std::unique_ptr<TMap> PtrResult(
      tessgrid::detail::LibraryOperation(Operation)(PtrMap1.get(), PtrMap2.get()));
  PtrMap1.reset();
  PtrMap2.reset();
  TARCGISFileTools::WriteARCGISFile(PtrResult.get(), StgOutputFile);
}
