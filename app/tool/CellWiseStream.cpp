// app/tool/CellWiseStream.cpp - the tool's no-data model around the series stream: inputs
// translated as they are read, results checked and translated as they are combined. The contract
// is in app/tool/CellWiseStream.h.
#include "app/tool/CellWiseStream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <tuple>

#include "engine/Engine.h"
#include "engine/NoDataModel.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/Threads.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// Whether the name reads a regular file, one the stream may open while the library path could
// open it again.
bool IsRegularFile(const std::string& StgName) {
  struct stat Status {};
  return !IsStandardStream(StgName) && ::stat(StgName.c_str(), &Status) == 0 &&
         S_ISREG(Status.st_mode);
}

// Whether the library path's result on the grid is written with the grid's own corners and
// pairs every cell with itself: the result the library builds on the input's centre axes lies
// on the input's grid (OnGridOf), and its cells hold their centres, so that a cell's lookups
// find the cell itself. Told from the header's numbers: a header may claim more than its file
// holds, and nothing is built for a claim.
bool OrdinaryGrid(const TGridHeader& Header, const TInputGrid& Grid) {
  if (Header.LngColumns < 1 || Header.LngRows < 1 || !std::isfinite(Header.DblCellSize) ||
      Header.DblCellSize <= 0.0) {
    return false;
  }
  const TDerivedEdges Edges = DerivedEdgesOfCentres(
      Header.DblXll, Header.DblYll, Header.DblCellSize, static_cast<std::size_t>(Header.LngColumns),
      static_cast<std::size_t>(Header.LngRows));
  TInputGrid Result = Grid;
  Result.DblWest = Edges.DblWest;
  Result.DblSouth = Edges.DblSouth;
  return Edges.BlnCentresInside && OnGridOf(Result, Grid);
}

TInputGrid GridOfHeader(const std::string& StgName, const TGridHeader& Header) {
  TInputGrid Grid;
  Grid.StgName = StgName;
  Grid.LngColumns = Header.LngColumns;
  Grid.LngRows = Header.LngRows;
  // The reader's edges start from the corners exactly, so these are what DescribeInput states.
  Grid.DblWest = Header.DblXll;
  Grid.DblSouth = Header.DblYll;
  Grid.DblCellSize = Header.DblCellSize;
  Grid.DblNoData = Header.DblNoData;
  return Grid;
}

// The tool's data model on the stream: each input row's declared no-data becomes -9999 as it
// is read, each result row is checked and takes its output's no-data value as it is combined.
// Result r of a row comes from inputs r to r + window - 1: one result from all the inputs, or
// one for each window of a moving series.
class TToolCombiner final : public TSeriesCombiner {
 public:
  /// Result r goes to VecOutputs[r], which declares VecNoData[r]. Where VecTypes[r] names a
  /// raster type, each row of result r is checked against it too.
  TToolCombiner(TToolRun& Run, const std::vector<TInputGrid>& VecGrids, TCellRule& Rule,
                std::size_t LngWindow, std::vector<std::string> VecOutputs,
                std::vector<double> VecNoData, std::vector<const TRasterType*> VecTypes)
      : MbrVecGrids(VecGrids),
        MbrRule(Rule),
        MbrLngWindow(LngWindow),
        MbrVecOutputs(std::move(VecOutputs)),
        MbrVecNoData(std::move(VecNoData)),
        MbrVecTypes(std::move(VecTypes)),
        MbrVecHeld(MbrVecOutputs.size()),
        MbrVecUnfit(MbrVecOutputs.size()),
        MbrProgress(Run.Options(), "combined",
                    VecGrids.empty() ? 0 : static_cast<std::size_t>(VecGrids.front().LngRows),
                    "rows") {}

  std::size_t ResultsPerRow() const override { return MbrVecOutputs.size(); }

  void RowsCombined(std::size_t LngRows) override { MbrProgress.Step(LngRows); }

  void TakeRow(std::size_t LngInput, std::size_t LngRow, double* PtrCells) override {
    const TInputGrid& Grid = MbrVecGrids[LngInput];
    const long LngHeld =
        LibraryNoDataRow(PtrCells, static_cast<std::size_t>(Grid.LngColumns), Grid.DblNoData);
    if (LngHeld >= 0) {
      FailNoDataHeld(Grid, LngRow, static_cast<std::size_t>(LngHeld));
    }
  }

  void CombineRow(long LngWorker, std::size_t LngRow, const double* const* PtrRows,
                  double* PtrOut) override {
    const std::size_t LngColumns = static_cast<std::size_t>(MbrVecGrids.front().LngColumns);
    for (std::size_t LngR = 0; LngR < MbrVecOutputs.size(); ++LngR) {
      double* const PtrResult = PtrOut + LngR * LngColumns;
      const long LngLost =
          MbrRule.Row(LngWorker, LngRow, PtrRows + LngR, MbrLngWindow, LngColumns, PtrResult);
      if (LngLost >= 0) {
        // The library path checks the results one after the other: a later result's loss
        // waits for the earlier results' rows.
        if (MbrVecOutputs.size() == 1) {
          FailDataLost(LngRow, static_cast<std::size_t>(LngLost));
        }
        Keep(MbrLost, LngR, LngRow, static_cast<std::size_t>(LngLost), 0.0);
        continue;
      }
      // The library path meets this only once every cell has passed CheckDataKept: it is kept
      // for the end.
      const long LngHeld = DeclaredNoDataRow(PtrResult, LngColumns, MbrVecNoData[LngR]);
      if (LngHeld >= 0) {
        Keep(MbrVecHeld[LngR], LngR, LngRow, static_cast<std::size_t>(LngHeld), 0.0);
        continue;
      }
#ifdef TESSGRID_WITH_GDAL
      // Checked after the no-data cells took the output's value, as CheckFitsType checks them.
      if (LngR < MbrVecTypes.size() && MbrVecTypes[LngR] != nullptr) {
        const long LngUnfit =
            CellNotFitting(PtrResult, LngColumns, MbrVecNoData[LngR], *MbrVecTypes[LngR]);
        if (LngUnfit >= 0) {
          Keep(MbrVecUnfit[LngR], LngR, LngRow, static_cast<std::size_t>(LngUnfit),
               PtrResult[LngUnfit]);
        }
      }
#endif
    }
  }

  // Whether a failure is kept for the end: the outputs will not be used.
  bool Failing() {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    return MbrLost.LngRow != kLngNone;
  }

  // Throws, in the library path's order, CheckDataKept's failure for the first result that lost
  // a cell, else for each output in turn ThrowHeld's.
  void ThrowHeld() const {
    ThrowLost();
    for (std::size_t LngR = 0; LngR < MbrVecOutputs.size(); ++LngR) {
      ThrowHeld(LngR);
    }
  }

  // Throws CheckDataKept's failure for the first result that lost a cell, if any.
  void ThrowLost() const {
    if (MbrLost.LngRow != kLngNone) {
      FailDataLost(MbrLost.LngRow, MbrLost.LngColumn);
    }
  }

  // Throws ToDeclaredNoData's failure for the first data cell of result r equal to its no-data
  // value, else CheckFitsType's for its first cell that does not fit its raster type.
  void ThrowHeld(std::size_t LngR) const {
    const TCell& Held = MbrVecHeld[LngR];
    if (Held.LngRow != kLngNone) {
      FailNoDataWritten(MbrVecOutputs[LngR], MbrVecNoData[LngR], Held.LngRow, Held.LngColumn);
    }
#ifdef TESSGRID_WITH_GDAL
    const TCell& Unfit = MbrVecUnfit[LngR];
    if (Unfit.LngRow != kLngNone) {
      FailCellNotFitting(Unfit.DblValue, Unfit.LngRow, Unfit.LngColumn, MbrVecNoData[LngR],
                         *MbrVecTypes[LngR], MbrVecOutputs[LngR]);
    }
#endif
  }

 private:
  static constexpr std::size_t kLngNone = std::numeric_limits<std::size_t>::max();

  // A cell whose failure is kept for the end, the first by result, then row, then column.
  struct TCell {
    std::size_t LngResult = kLngNone;
    std::size_t LngRow = kLngNone;
    std::size_t LngColumn = kLngNone;
    double DblValue = 0.0;
  };

  void Keep(TCell& Cell, std::size_t LngResult, std::size_t LngRow, std::size_t LngColumn,
            double DblValue) {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    if (std::tie(LngResult, LngRow, LngColumn) <
        std::tie(Cell.LngResult, Cell.LngRow, Cell.LngColumn)) {
      Cell = {LngResult, LngRow, LngColumn, DblValue};
    }
  }

  const std::vector<TInputGrid>& MbrVecGrids;
  TCellRule& MbrRule;
  std::size_t MbrLngWindow;                     ///< inputs of each result
  std::vector<std::string> MbrVecOutputs;       ///< of each result
  std::vector<double> MbrVecNoData;             ///< the value each output declares
  std::vector<const TRasterType*> MbrVecTypes;  ///< per result: of a raster output, else null
  std::mutex MbrMutex;                          ///< guards the cells below
  TCell MbrLost;                                ///< of several results: first cell lost
  std::vector<TCell> MbrVecHeld;   ///< per result: first data cell equal to the no-data value
  std::vector<TCell> MbrVecUnfit;  ///< per result: first data cell that does not fit its type
  TProgress MbrProgress;           ///< the rows combined, on a terminal
};

#ifdef TESSGRID_WITH_GDAL
// A raster input as the stream's row source: windows of whole blocks, and of 16 rows at least
// where the blocks are thin strips, so that each call to GDAL carries enough rows.
class TRasterSource final : public TRowSource {
 public:
  explicit TRasterSource(std::unique_ptr<TRasterReader> PtrReader)
      : MbrPtrReader(std::move(PtrReader)) {}

  const TGridHeader& Header() const override { return MbrPtrReader->Header(); }

  long WindowRows() const override {
    constexpr long kLngFewestRows = 16;
    const long LngBlockRows = MbrPtrReader->Facts().LngBlockRows;
    return LngBlockRows * std::max(1L, kLngFewestRows / LngBlockRows);
  }

  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override {
    MbrPtrReader->ReadRows(LngFirst, LngCount, RowAt);
  }

 private:
  std::unique_ptr<TRasterReader> MbrPtrReader;
};

// Runs the stream into a raster output, staged as TToolRun::Write stages one: the failures of
// the rows first, then those of the raster. A no-data value the type cannot hold takes the
// library path, which says so before it writes anything.
bool StreamToRaster(TToolRun& Run, const std::vector<std::string>& VecInputs,
                    const std::string& StgOutput, TSeriesStream& Stream,
                    const std::vector<TInputGrid>& VecGrids, TCellRule& Rule, double DblNoData) {
  const TRasterTarget Target = Run.RasterTarget(StgOutput, VecInputs.front());
  try {
    CheckNoDataFitsType(DblNoData, Target.Type, StgOutput);
  } catch (...) {
    return false;
  }
  TToolCombiner Combiner(Run, VecGrids, Rule, VecGrids.size(), {StgOutput}, {DblNoData},
                         {&Target.Type});
  bool BlnStarted = false;
  try {
    Run.WriteFile(StgOutput, [&](const std::string& StgPath) {
      const TInputGrid& First = VecGrids.front();
      TGridLayout Layout{First.LngColumns, First.LngRows,     First.DblWest,
                         First.DblSouth,   First.DblCellSize, DblNoData};
      TRasterRowWriter Writer(Layout, Target, StgPath, StgOutput);
      BlnStarted = true;
      TRunSink<TRasterRowWriter> Sink(Writer);
      Stream.Run(Combiner, &Sink);
      Combiner.ThrowHeld();
      Writer.Finish();
    });
  } catch (...) {
    if (!BlnStarted) {
      // The raster could not be begun: the inputs' failures come first.
      Stream.Run(Combiner, nullptr);
    }
    throw;
  }
  return true;
}
#endif

// One output of a run over windows: its text or raster writer, and what the writing failed
// with, kept so that the failures come in output order as the library path meets them.
struct TWindowOutput {
  std::ostream* PtrStream = nullptr;  ///< of a text output
  std::unique_ptr<TRowWriter> PtrText;
#ifdef TESSGRID_WITH_GDAL
  std::unique_ptr<TRasterRowWriter> PtrRaster;
#endif
  std::exception_ptr PtrFailure;

  void Write(const TRowAt& RowAt, std::size_t LngRows) {
    Writing([&]() {
      if (PtrText) {
        PtrText->Write(RowAt, LngRows);
      }
#ifdef TESSGRID_WITH_GDAL
      if (PtrRaster) {
        PtrRaster->Write(RowAt, LngRows);
      }
#endif
    });
  }

  void Finish() {
    Writing([&]() {
      if (PtrText) {
        PtrText->Finish();
      }
#ifdef TESSGRID_WITH_GDAL
      if (PtrRaster) {
        PtrRaster->Finish();
      }
#endif
    });
  }

  // Throws what the writing of the named output failed with, if anything.
  void ThrowFailure(const std::string& StgOutput) const {
    if (PtrFailure) {
      std::rethrow_exception(PtrFailure);
    }
    if (PtrStream != nullptr && PtrStream->fail()) {
      Fail("Unable to write file " + StgOutput);
    }
  }

 private:
  // Runs the step unless the writing failed before; keeps its failure.
  template <typename TStep>
  void Writing(const TStep& Step) {
    if (PtrFailure) {
      return;
    }
    try {
      Step();
    } catch (...) {
      PtrFailure = std::current_exception();
    }
  }
};

// Rows of several results side by side, each result to its output; the outputs are written on
// threads of their own, one output a thread at a time. Once a result lost a cell the run will
// fail, and nothing more is written.
class TSplitSink final : public TRowSink {
 public:
  TSplitSink(std::vector<TWindowOutput>& VecOutputs, TToolCombiner& Combiner)
      : MbrVecOutputs(VecOutputs),
        MbrCombiner(Combiner),
        MbrPool(std::min<long>(ThreadCount(), static_cast<long>(VecOutputs.size()))) {}

  void Write(const double* PtrRows, std::size_t LngRows, std::size_t LngCells) override {
    if (MbrCombiner.Failing()) {
      return;
    }
    const std::size_t LngColumns = LngCells / MbrVecOutputs.size();
    MbrPool.Run(static_cast<long>(MbrVecOutputs.size()), [&](long LngResult) {
      const double* const PtrFirst = PtrRows + static_cast<std::size_t>(LngResult) * LngColumns;
      MbrVecOutputs[static_cast<std::size_t>(LngResult)].Write(
          [PtrFirst, LngCells](std::size_t LngK) { return PtrFirst + LngK * LngCells; }, LngRows);
    });
  }

 private:
  std::vector<TWindowOutput>& MbrVecOutputs;
  TToolCombiner& MbrCombiner;
  TTaskPool MbrPool;
};

// Opens the inputs on a series stream, rasters GDAL reads through row sources, and reads their
// headers into VecGrids, recorded with the run; BlnHeaders tells whether every header was read
// (one that failed leaves its failure to the stream, which reads the inputs before it, and so
// does an input too short for its header's claim: see ReadsToFailure). Returns null, having read no
// cell, where the run takes the library path: an input that is standard input or not a regular
// file (a pipe cannot be read twice), and inputs whose headers all read but that CheckAligned
// refuses or that are no ordinary grid.
std::unique_ptr<TSeriesStream> OpenStream(TToolRun& Run, const std::vector<std::string>& VecInputs,
                                          std::vector<TInputGrid>& VecGrids, bool& BlnHeaders) {
  for (const std::string& StgInput : VecInputs) {
    if (!IsRegularFile(StgInput)) {
      return nullptr;
    }
  }
  TRowSourceOpener Opener;
#ifdef TESSGRID_WITH_GDAL
  // The stream holds a raster of its own per input: those the run holds would only double the
  // open files of a long series.
  Run.CloseRasters();
  // The inputs the run found to be rasters, each opened anew: one raster named twice is two
  // inputs. Several are read side by side on the stream's threads, each decoding on its own.
  const bool BlnSideBySide = VecInputs.size() > 1;
  // The stream opens the inputs once each, in order: the count tells which input, and so its band.
  auto PtrOpened = std::make_shared<std::size_t>(0);
  Opener = [&Run, BlnSideBySide,
            PtrOpened](const std::string& StgInput) -> std::unique_ptr<TRowSource> {
    const int IntBand = Run.InputBand((*PtrOpened)++);
    if (Run.RasterFacts(StgInput) == nullptr) {
      return nullptr;
    }
    std::unique_ptr<TRasterReader> PtrReader =
        TRasterReader::OpenIfRaster(StgInput, IntBand, BlnSideBySide);
    if (!PtrReader) {
      return nullptr;
    }
    return std::make_unique<TRasterSource>(std::move(PtrReader));
  };
#endif
  auto PtrStream = std::make_unique<TSeriesStream>(
      VecInputs, TGridHeaderMode::kLenient, ThreadCount(), TSeriesStream::kLngSeriesBudget, Opener);
  TSeriesStream& Stream = *PtrStream;
  BlnHeaders = Stream.ReadHeaders();
  for (std::size_t LngI = 0; LngI < Stream.Headers().size(); ++LngI) {
    VecGrids.push_back(GridOfHeader(VecInputs[LngI], Stream.Headers()[LngI]));
  }
  if (BlnHeaders && !Stream.FallsShort()) {
    std::vector<const TInputGrid*> VecAligned;
    for (const TInputGrid& Grid : VecGrids) {
      VecAligned.push_back(&Grid);
    }
    try {
      CheckAligned(VecAligned);
    } catch (...) {
      return nullptr;  // the library path refuses them after reading them, or pairs them by index
    }
    if (!OrdinaryGrid(Stream.Headers().front(), VecGrids.front())) {
      return nullptr;
    }
  }
  for (const TInputGrid& Grid : VecGrids) {
    Run.Record(Grid);
  }
  return PtrStream;
}

// Where the run is bound to fail reading its inputs (a header failed, or a file is too short
// for the cells its header claims), reads them to that failure and throws it, before any output
// is begun or anything is sized by a claim: the failures come in input order, as the library
// path loads the inputs. Returns whether it read them; a run that then failed nowhere is left
// to the library path.
bool ReadsToFailure(TToolRun& Run, TSeriesStream& Stream, const std::vector<TInputGrid>& VecGrids,
                    bool BlnHeaders, TCellRule& Rule, std::size_t LngWindow) {
  if (BlnHeaders && !Stream.FallsShort()) {
    return false;
  }
  TToolCombiner Combiner(Run, VecGrids, Rule, LngWindow, {}, {}, {});
  Stream.Run(Combiner, nullptr);
  return true;
}

}  // namespace

bool StreamCellWise(TToolRun& Run, const std::vector<std::string>& VecInputs,
                    const std::string& StgOutput, TCellRule& Rule) {
  if (VecInputs.size() < Rule.FewestInputs() || IsStandardStream(StgOutput) ||
      !WritesThroughTemporary(StgOutput)) {
    return false;
  }
  std::vector<TInputGrid> VecGrids;
  bool BlnHeaders = false;
  const std::unique_ptr<TSeriesStream> PtrStream = OpenStream(Run, VecInputs, VecGrids, BlnHeaders);
  if (!PtrStream) {
    return false;
  }
  TSeriesStream& Stream = *PtrStream;
  if (ReadsToFailure(Run, Stream, VecGrids, BlnHeaders, Rule, VecGrids.size())) {
    return false;
  }
  const int IntDigits = Run.Options().IntDigits == 0 ? kLngRuleDigits : Run.Options().IntDigits;
  const double DblNoData = Run.OutputNoData(VecInputs.front());
  const bool BlnIndent = std::isnan(DblNoData);
#ifdef TESSGRID_WITH_GDAL
  if (Run.WritesRaster(StgOutput)) {
    return StreamToRaster(Run, VecInputs, StgOutput, Stream, VecGrids, Rule, DblNoData);
  }
#endif
  TToolCombiner Combiner(Run, VecGrids, Rule, VecGrids.size(), {StgOutput}, {DblNoData}, {});
  bool BlnStarted = false;
  try {
    Run.WriteText(StgOutput, [&](std::ostream& Output) {
      BlnStarted = true;
      {
        const TInputGrid& First = VecGrids.front();
        TBlockWriter Writer(Output, IntDigits);
        PutGridHeader(Writer, First.LngColumns, First.LngRows, First.DblWest, First.DblSouth,
                      First.DblCellSize, DblNoData);
      }
      Stream.Run(Combiner, &Output, IntDigits, BlnIndent);
      Combiner.ThrowHeld();
    });
  } catch (...) {
    if (!BlnStarted) {
      // The output could not be begun: the inputs' failures come first.
      Stream.Run(Combiner, nullptr, IntDigits, BlnIndent);
    }
    throw;
  }
  Run.WriteSidecar(StgOutput, VecInputs.front());
  return true;
}

bool StreamWindows(TToolRun& Run, const std::vector<std::string>& VecInputs,
                   const std::vector<std::string>& VecOutputs, std::size_t LngWindow,
                   TCellRule& Rule) {
  if (LngWindow < std::max<std::size_t>(2, Rule.FewestInputs()) || LngWindow > VecInputs.size() ||
      VecOutputs.size() != VecInputs.size() - LngWindow + 1) {
    return false;
  }
  std::size_t LngRasters = 0;
  for (const std::string& StgOutput : VecOutputs) {
    if (IsStandardStream(StgOutput) || !WritesThroughTemporary(StgOutput)) {
      return false;
    }
    LngRasters += Run.WritesRaster(StgOutput) ? 1 : 0;
  }
  // Every input and every output's temporary are open at once, and GDAL opens each raster's
  // again; where the system allows fewer files, the library path opens them one after the other.
  if (!AllowDescriptors(VecInputs.size() + VecOutputs.size() + LngRasters)) {
    return false;
  }
  std::vector<TInputGrid> VecGrids;
  bool BlnHeaders = false;
  const std::unique_ptr<TSeriesStream> PtrStream = OpenStream(Run, VecInputs, VecGrids, BlnHeaders);
  if (!PtrStream) {
    return false;
  }
  TSeriesStream& Stream = *PtrStream;
  if (ReadsToFailure(Run, Stream, VecGrids, BlnHeaders, Rule, LngWindow)) {
    return false;
  }
  // Result i lies on the grid of input i and declares its no-data value.
  const std::size_t LngOutputs = VecOutputs.size();
  std::vector<double> VecNoData;
  for (std::size_t LngI = 0; LngI < LngOutputs; ++LngI) {
    VecNoData.push_back(Run.OutputNoData(VecInputs[LngI]));
  }
  std::vector<TRasterTarget> VecTargets(LngOutputs);
  std::vector<const TRasterType*> VecTypes(LngOutputs, nullptr);
#ifdef TESSGRID_WITH_GDAL
  for (std::size_t LngI = 0; LngI < LngOutputs; ++LngI) {
    if (!Run.WritesRaster(VecOutputs[LngI])) {
      continue;
    }
    VecTargets[LngI] = Run.RasterTarget(VecOutputs[LngI], VecInputs[LngI]);
    VecTypes[LngI] = &VecTargets[LngI].Type;
    try {
      CheckNoDataFitsType(VecNoData[LngI], VecTargets[LngI].Type, VecOutputs[LngI]);
    } catch (...) {
      return false;  // the library path says so before it writes anything
    }
  }
#endif
  const int IntDigits = Run.Options().IntDigits == 0 ? kLngRuleDigits : Run.Options().IntDigits;
  TToolCombiner Combiner(Run, VecGrids, Rule, LngWindow, VecOutputs, VecNoData, VecTypes);
  std::vector<TWindowOutput> VecWriting(LngOutputs);
  // The writing once every output is staged: the failures come as the library path, which
  // writes the outputs one after the other, meets them.
  const auto WriteAll = [&]() {
    TSplitSink Sink(VecWriting, Combiner);
    Stream.Run(Combiner, &Sink);
    for (TWindowOutput& Writing : VecWriting) {
      Writing.Finish();
    }
    Combiner.ThrowLost();
    for (std::size_t LngI = 0; LngI < LngOutputs; ++LngI) {
      Combiner.ThrowHeld(LngI);
      VecWriting[LngI].ThrowFailure(VecOutputs[LngI]);
    }
  };
  // Output i is staged while outputs 0 to i - 1 are, so that all are written in one pass; its
  // writer goes before its file does, on every path.
  std::function<void(std::size_t)> StageFrom;
  bool BlnStarted = false;
  StageFrom = [&](std::size_t LngI) {
    if (LngI == LngOutputs) {
      BlnStarted = true;
      WriteAll();
      return;
    }
    const TInputGrid& Grid = VecGrids[LngI];
    TWindowOutput& Writing = VecWriting[LngI];
    const auto Next = [&]() {
      try {
        StageFrom(LngI + 1);
      } catch (...) {
        Writing = TWindowOutput();
        throw;
      }
      Writing = TWindowOutput();
    };
#ifdef TESSGRID_WITH_GDAL
    if (VecTypes[LngI] != nullptr) {
      Run.WriteFile(VecOutputs[LngI], [&](const std::string& StgPath) {
        const TGridLayout Layout{Grid.LngColumns, Grid.LngRows,     Grid.DblWest,
                                 Grid.DblSouth,   Grid.DblCellSize, VecNoData[LngI]};
        Writing.PtrRaster =
            std::make_unique<TRasterRowWriter>(Layout, VecTargets[LngI], StgPath, VecOutputs[LngI]);
        Next();
      });
      return;
    }
#endif
    Run.WriteText(VecOutputs[LngI], [&](std::ostream& Output) {
      {
        TBlockWriter Writer(Output, IntDigits);
        PutGridHeader(Writer, Grid.LngColumns, Grid.LngRows, Grid.DblWest, Grid.DblSouth,
                      Grid.DblCellSize, VecNoData[LngI]);
      }
      Writing.PtrStream = &Output;
      Writing.PtrText =
          std::make_unique<TRowWriter>(Output, static_cast<std::size_t>(Grid.LngColumns), ' ', 1,
                                       IntDigits, std::isnan(VecNoData[LngI]));
      Next();
    });
  };
  try {
    StageFrom(0);
  } catch (...) {
    if (!BlnStarted) {
      // An output could not be begun: the inputs' failures come first.
      Stream.Run(Combiner, nullptr);
    }
    throw;
  }
  for (std::size_t LngI = 0; LngI < LngOutputs; ++LngI) {
    Run.WriteSidecar(VecOutputs[LngI], VecInputs[LngI]);
  }
  return true;
}

}  // namespace tessgrid::detail
