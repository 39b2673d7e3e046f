// app/tool/CellWiseStream.cpp - grid files and rasters on the series stream: inputs opened and
// compared, outputs staged, the no-data model's combiner (engine/CellWiseCombiner.h) with the
// raster outputs' type checks. The contract is in app/tool/CellWiseStream.h.
#include "app/tool/CellWiseStream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <ostream>

#include "engine/CellWiseCombiner.h"
#include "engine/Engine.h"
#include "engine/GridFileRows.h"
#include "engine/NoDataModel.h"
#include "engine/RegridRows.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/Threads.h"
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

// The no-data model on the stream (engine/CellWiseCombiner.h), with the rows combined shown on a
// terminal and each row of a raster result checked against its type.
class TToolCombiner final : public TCellWiseCombiner {
 public:
  /// Result r goes to VecOutputs[r], which declares VecNoData[r]. Where VecTypes[r] names a
  /// raster type, each row of result r is checked against it too.
  TToolCombiner(TToolRun& Run, const std::vector<TInputGrid>& VecGrids, TCellRule& Rule,
                std::size_t LngWindow, std::vector<std::string> VecOutputs,
                std::vector<double> VecNoData, std::vector<const TRasterType*> VecTypes)
      : TCellWiseCombiner(VecGrids, Rule, LngWindow, VecOutputs, std::move(VecNoData),
                          [this](std::size_t LngRows) { MbrProgress.Step(LngRows); }),
        MbrVecTypes(std::move(VecTypes)),
        MbrVecUnfit(VecOutputs.size()),
        MbrProgress(Run.Options(), "combined",
                    VecGrids.empty() ? 0 : static_cast<std::size_t>(VecGrids.front().LngRows),
                    "rows") {}

 private:
#ifdef TESSGRID_WITH_GDAL
  // Checked after the no-data cells took the output's value, as CheckFitsType checks them.
  void CheckRow(std::size_t LngR, std::size_t LngRow, const double* PtrResult,
                std::size_t LngColumns) override {
    if (LngR < MbrVecTypes.size() && MbrVecTypes[LngR] != nullptr) {
      const long LngUnfit = CellNotFitting(PtrResult, LngColumns, NoData(LngR), *MbrVecTypes[LngR]);
      if (LngUnfit >= 0) {
        Keep(MbrVecUnfit[LngR], LngR, LngRow, static_cast<std::size_t>(LngUnfit),
             PtrResult[LngUnfit]);
      }
    }
  }

  // CheckFitsType's failure for the first cell of result r that does not fit its raster type.
  void ThrowChecked(std::size_t LngR) const override {
    const TCell& Unfit = MbrVecUnfit[LngR];
    if (Unfit.LngRow != kLngNone) {
      FailCellNotFitting(Unfit.DblValue, Unfit.LngRow, Unfit.LngColumn, NoData(LngR),
                         *MbrVecTypes[LngR], Output(LngR));
    }
  }
#endif

  std::vector<const TRasterType*> MbrVecTypes;  ///< per result: of a raster output, else null
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
                    const std::vector<TInputGrid>& VecGrids, TCellRule& Rule, double DblNoData,
                    bool BlnFallBack) {
  const TRasterTarget Target = Run.RasterTarget(StgOutput, VecInputs.front());
  try {
    CheckNoDataFitsType(DblNoData, Target.Type, StgOutput);
  } catch (...) {
    if (!BlnFallBack) {
      throw;
    }
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
    VecGrids.push_back(DescribeHeader(VecInputs[LngI], Stream.Headers()[LngI]));
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
    if (!OrdinaryGrid(VecGrids.front())) {
      return nullptr;
    }
  }
  for (const TInputGrid& Grid : VecGrids) {
    Run.Record(Grid);
  }
  return PtrStream;
}

// Opens the inputs as row sources onto the target grid the options choose (rasters GDAL reads
// through TRasterSource, ASCII grids through tessgrid's own reader), in input order, each
// failure thrown as it comes; records each input as its file states it, and gives VecGrids the
// target grid for each. Every input's header is read before the stream begins.
std::unique_ptr<TSeriesStream> OpenRegridded(TToolRun& Run,
                                             const std::vector<std::string>& VecInputs,
                                             const TTargetArguments& Args,
                                             std::vector<TInputGrid>& VecGrids) {
  const TTargetChoice Choice = TargetChoiceOf(Run, Args);
#ifdef TESSGRID_WITH_GDAL
  Run.CloseRasters();
#endif
  std::vector<std::unique_ptr<TRowSource>> VecSources;
  std::vector<TGridHeader> VecHeaders;
  for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
    const std::string& StgInput = VecInputs[LngI];
    std::unique_ptr<TRowSource> PtrSource;
#ifdef TESSGRID_WITH_GDAL
    if (!IsStandardStream(StgInput) && Run.RasterFacts(StgInput) != nullptr) {
      std::unique_ptr<TRasterReader> PtrReader =
          TRasterReader::OpenIfRaster(StgInput, Run.InputBand(LngI), VecInputs.size() > 1);
      if (PtrReader) {
        PtrSource = std::make_unique<TRasterSource>(std::move(PtrReader));
      }
    }
#endif
    if (!PtrSource) {
      PtrSource = OpenGridFileRows(StgInput, TGridHeaderMode::kLenient);
    }
    VecHeaders.push_back(PtrSource->Header());
    Run.Record(DescribeHeader(StgInput, PtrSource->Header()));
    VecSources.push_back(std::move(PtrSource));
  }
  const TGridHeader Target = TargetGrid(VecHeaders, VecInputs, Choice);
  auto PtrRegridded = std::make_shared<std::vector<std::unique_ptr<TRowSource>>>();
  for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
    PtrRegridded->push_back(
        std::make_unique<TRegridRowSource>(std::move(VecSources[LngI]), Target));
    VecGrids.push_back(DescribeHeader(VecInputs[LngI], PtrRegridded->back()->Header()));
  }
  // The stream opens the inputs once each, in order.
  auto PtrOpened = std::make_shared<std::size_t>(0);
  const TRowSourceOpener Opener = [PtrRegridded, PtrOpened](const std::string&) {
    return std::move((*PtrRegridded)[(*PtrOpened)++]);
  };
  auto PtrStream = std::make_unique<TSeriesStream>(
      VecInputs, TGridHeaderMode::kLenient, ThreadCount(), TSeriesStream::kLngSeriesBudget, Opener);
  PtrStream->ReadHeaders();
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
                    const std::string& StgOutput, TCellRule& Rule, const TTargetArguments& Target) {
  const bool BlnRegrid = !Target.StgExtent.empty() || !Target.StgGrid.empty();
  if (!BlnRegrid && (VecInputs.size() < Rule.FewestInputs() || IsStandardStream(StgOutput) ||
                     !WritesThroughTemporary(StgOutput))) {
    return false;
  }
  std::vector<TInputGrid> VecGrids;
  std::unique_ptr<TSeriesStream> PtrStream;
  if (BlnRegrid) {
    if (VecInputs.size() < Rule.FewestInputs()) {
      return false;  // the library path says how many the rule takes
    }
    PtrStream = OpenRegridded(Run, VecInputs, Target, VecGrids);
  } else {
    bool BlnHeaders = false;
    PtrStream = OpenStream(Run, VecInputs, VecGrids, BlnHeaders);
    if (!PtrStream ||
        ReadsToFailure(Run, *PtrStream, VecGrids, BlnHeaders, Rule, VecGrids.size())) {
      return false;
    }
  }
  TSeriesStream& Stream = *PtrStream;
  const int IntDigits = Run.Options().IntDigits == 0 ? kLngRuleDigits : Run.Options().IntDigits;
  const double DblNoData = Run.OutputNoData(VecInputs.front());
  const bool BlnIndent = std::isnan(DblNoData);
#ifdef TESSGRID_WITH_GDAL
  if (Run.WritesRaster(StgOutput)) {
    return StreamToRaster(Run, VecInputs, StgOutput, Stream, VecGrids, Rule, DblNoData, !BlnRegrid);
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
