// engine/OverlayRun.cpp - the overlay run: the streamed path where it may be taken; else
// both inputs read at once into flat storage, the result computed into the cells of its base
// input, and written with its rows formatted on every thread. The contract is in
// engine/OverlayRun.h.
#include "engine/OverlayRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "engine/OverlayPlan.h"
#include "engine/StreamedOverlay.h"
#include "io/BlockWriter.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/TARCGISFileTools.h"
#include "io/Threads.h"
#include "model/Fail.h"
#include "ops/ArithmeticTable.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

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

}  // namespace

void LoadOverlayInput(const std::string& StgFileName, TGridHeaderMode Mode, TOverlayInput& Input,
                      long LngThreads) {
  TReadOptions Options;
  Options.LngThreads = LngThreads;
  Input.Header = LoadGridFile(StgFileName, Mode, Input.Grid, Options);
}

void LoadOverlayInputs(const std::string& StgFileName1, const std::string& StgFileName2,
                       TGridHeaderMode Mode, TOverlayInput& Input1, TOverlayInput& Input2,
                       long LngThreads) {
  if (LngThreads <= 1) {
    LoadOverlayInput(StgFileName1, Mode, Input1, 1);
    LoadOverlayInput(StgFileName2, Mode, Input2, 1);
    return;
  }
  long LngThreads1 = 1;
  long LngThreads2 = 1;
  SplitThreads(StgFileName1, StgFileName2, LngThreads, LngThreads1, LngThreads2);
  std::exception_ptr PtrError2;
  TThreadGroup Second;
  if (Second.Start(1, [&](long) {
        try {
          LoadOverlayInput(StgFileName2, Mode, Input2, LngThreads2);
        } catch (...) {
          PtrError2 = std::current_exception();
        }
      }) == 0) {
    // Without a second thread the inputs are read one after the other.
    LoadOverlayInput(StgFileName1, Mode, Input1, LngThreads);
    LoadOverlayInput(StgFileName2, Mode, Input2, LngThreads);
    return;
  }
  std::exception_ptr PtrError1;
  try {
    LoadOverlayInput(StgFileName1, Mode, Input1, LngThreads1);
  } catch (...) {
    PtrError1 = std::current_exception();
  }
  Second.Join();
  // A single-threaded run meets the first input's failure before it opens the second.
  if (PtrError1) {
    std::rethrow_exception(PtrError1);
  }
  if (PtrError2) {
    std::rethrow_exception(PtrError2);
  }
}

bool IsOperation(char ChrOperation) {
  return EntryOfOperator(ChrOperation) != nullptr;
}

TArithmetic SelectOperation(char ChrOperation) {
  const TArithmeticEntry* PtrEntry = EntryOfOperator(ChrOperation);
  if (PtrEntry == nullptr) {
    Fail("Unknown operation");
  }
  return PtrEntry->Operation;
}

bool CombineInPlace(TArithmetic Operation, TOverlayInput& Input1, TOverlayInput& Input2,
                    TOverlayResult& Result) {
  const TGridHeader& Header1 = Input1.Header;
  const TGridHeader& Header2 = Input2.Header;
  CheckOperands(Operation, Header1.LngColumns, Header1.LngRows, Header1.DblCellSize,
                Header2.LngColumns, Header2.LngRows, Header2.DblCellSize);
  if (!OverlayComputes(Operation, Header1, Header2)) {
    return false;
  }
  TOverlayPlan Plan(Operation, Header1, Header2);
  TOverlayInput& Base = Plan.SecondIsBase() ? Input2 : Input1;
  TOverlayInput& Partner = Plan.SecondIsBase() ? Input1 : Input2;
  Result.PtrBase = &Base;
  Result.DblWest = Plan.West();
  Result.DblSouth = Plan.South();
  // A failure of the pairing in a later block of rows drops the cells combined before.
  Plan.Combine(0, Base.Grid.Rows(), Base.Grid.Cells(), Partner.Grid.Cells());
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

bool FinishOverlay(TArithmetic Operation, TOverlayInput& Input1, TOverlayInput& Input2,
                   const std::string& StgOutputFile, long LngThreads) {
  const bool BlnSecondIsBase =
      SecondIsBase(Operation, Input1.Header.DblCellSize, Input2.Header.DblCellSize);
  TOverlayResult Result;
  if (CombineInPlace(Operation, Input1, Input2, Result)) {
    WriteOverlayResult(Result, StgOutputFile, LngThreads);
    return BlnSecondIsBase;
  }
  // A base grid that OverlayComputes refuses: the maps the library would have loaded, and its
  // own operation and writer.
  std::unique_ptr<TMap> PtrMap1 = MapOfInput(Input1);
  Input1.Grid.Release();
  std::unique_ptr<TMap> PtrMap2 = MapOfInput(Input2);
  Input2.Grid.Release();
  const std::unique_ptr<TMap> PtrResult(
      EntryOf(Operation).PtrLibrary(PtrMap1.get(), PtrMap2.get()));
  PtrMap1.reset();
  PtrMap2.reset();
  TARCGISFileTools::WriteARCGISFile(PtrResult.get(), StgOutputFile);
  return BlnSecondIsBase;
}

bool Overlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
             const std::string& StgOutputFile, char ChrOperation, TGridHeaderMode Mode) {
  const long LngThreads = ThreadCount();
  // Streaming writes before the base input is read to its end: only where no one can see the
  // output before the end, and where a bad operation character cannot be the answer.
  if (IsOperation(ChrOperation) && WritesThroughTemporary(StgOutputFile)) {
    return StreamOverlay(StgInputFile1, StgInputFile2, StgOutputFile, SelectOperation(ChrOperation),
                         Mode, LngThreads, kLngStreamChunkBytes);
  }
  TOverlayInput Input1;
  TOverlayInput Input2;
  LoadOverlayInputs(StgInputFile1, StgInputFile2, Mode, Input1, Input2, LngThreads);
  // Only now: a bad input file is reported before a bad operation character.
  const TArithmetic Operation = SelectOperation(ChrOperation);
  return FinishOverlay(Operation, Input1, Input2, StgOutputFile, LngThreads);
}

}  // namespace tessgrid::detail

void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation) {
  tessgrid::detail::Overlay(StgInputFile1, StgInputFile2, StgOutputFile, ChrOperation,
                            TGridHeaderMode::kStrict);
}
