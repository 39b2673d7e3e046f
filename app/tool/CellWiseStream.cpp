// app/tool/CellWiseStream.cpp - the tool's no-data model around the series stream: inputs
// translated as they are read, results checked and translated as they are combined. The contract
// is in app/tool/CellWiseStream.h.
#include "app/tool/CellWiseStream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>

#include "app/tool/NoDataModel.h"
#include "engine/Engine.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/Threads.h"
#include "model/UnfilledMap.h"

namespace tessgrid::detail {

namespace {

// Whether the name reads a regular file, one the stream may open while the library path could
// open it again.
bool IsRegularFile(const std::string& StgName) {
  struct stat Status {};
  return !IsStandardStream(StgName) && ::stat(StgName.c_str(), &Status) == 0 &&
         S_ISREG(Status.st_mode);
}

// Whether every centre of the axis lies strictly inside its own cell of the edge axis, rising in
// x ('X') or falling in y.
bool CentresInside(const TAxis& Centres, const TAxis& Edges, char ChrAxis) {
  const std::size_t LngCells = Centres.MbrVecPoints.size();
  if (Edges.MbrVecPoints.size() != LngCells + 1) {
    return false;
  }
  for (std::size_t LngI = 0; LngI < LngCells; ++LngI) {
    const TPoint* PtrCentre = Centres.MbrVecPoints[LngI];
    const TPoint* PtrBefore = Edges.MbrVecPoints[LngI];
    const TPoint* PtrAfter = Edges.MbrVecPoints[LngI + 1];
    if (PtrCentre == nullptr || PtrBefore == nullptr || PtrAfter == nullptr) {
      return false;
    }
    const bool BlnInside =
        ChrAxis == 'X'
            ? PtrBefore->MbrDblX < PtrCentre->MbrDblX && PtrCentre->MbrDblX < PtrAfter->MbrDblX
            : PtrBefore->MbrDblY > PtrCentre->MbrDblY && PtrCentre->MbrDblY > PtrAfter->MbrDblY;
    if (!BlnInside) {
      return false;
    }
  }
  return true;
}

// Whether the library path's result on the grid is written with the grid's own corners and
// pairs every cell with itself: the result the library builds on the input's centre axes lies
// on the input's grid (OnGridOf), and its cells hold their centres, so that a cell's lookups
// find the cell itself. Only the axes are built, no cells.
bool OrdinaryGrid(const TGridHeader& Header, const TInputGrid& Grid) {
  if (Header.LngColumns < 1 || Header.LngRows < 1 || !std::isfinite(Header.DblCellSize) ||
      Header.DblCellSize <= 0.0) {
    return false;
  }
  std::vector<std::vector<double>> VecNoRows;
  const std::unique_ptr<TMap> PtrInput = MapOfGrid(Header, VecNoRows);
  const std::unique_ptr<TMap> PtrResult =
      NewUnfilledMap(PtrInput->MbrPtrXAxis, PtrInput->MbrPtrYAxis);
  return OnGridOf(*PtrResult, Grid) &&
         CentresInside(*PtrResult->MbrPtrXAxis, *PtrResult->MbrPtrXAxisInterval, 'X') &&
         CentresInside(*PtrResult->MbrPtrYAxis, *PtrResult->MbrPtrYAxisInterval, 'Y');
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
// is read, each result row is checked and takes the output's no-data value as it is combined.
class TToolCombiner final : public TSeriesCombiner {
 public:
  /// With a raster type, each result row is checked against it too.
  TToolCombiner(TToolRun& Run, const std::vector<TInputGrid>& VecGrids, TCellRule& Rule,
                double DblNoData, const std::string& StgOutput, const TRasterType* PtrType)
      : MbrVecGrids(VecGrids),
        MbrRule(Rule),
        MbrDblNoData(DblNoData),
        MbrStgOutput(StgOutput),
        MbrPtrType(PtrType),
        MbrProgress(Run.Options(), "combined",
                    VecGrids.empty() ? 0 : static_cast<std::size_t>(VecGrids.front().LngRows),
                    "rows") {}

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
    const long LngLost =
        MbrRule.Row(LngWorker, LngRow, PtrRows, MbrVecGrids.size(), LngColumns, PtrOut);
    if (LngLost >= 0) {
      FailDataLost(LngRow, static_cast<std::size_t>(LngLost));
    }
    // The library path meets this only once every cell has passed CheckDataKept: it is kept
    // for the end.
    const long LngHeld = DeclaredNoDataRow(PtrOut, LngColumns, MbrDblNoData);
    if (LngHeld >= 0) {
      Keep(MbrHeld, LngRow, static_cast<std::size_t>(LngHeld), 0.0);
      return;
    }
#ifdef TESSGRID_WITH_GDAL
    // Checked after the no-data cells took the output's value, as CheckFitsType checks them.
    if (MbrPtrType != nullptr) {
      const long LngUnfit = CellNotFitting(PtrOut, LngColumns, MbrDblNoData, *MbrPtrType);
      if (LngUnfit >= 0) {
        Keep(MbrUnfit, LngRow, static_cast<std::size_t>(LngUnfit), PtrOut[LngUnfit]);
      }
    }
#endif
  }

  // Throws the failure of ToDeclaredNoData for the first data cell equal to the no-data value,
  // else CheckFitsType's for the first cell that does not fit the raster type.
  void ThrowHeld() const {
    if (MbrHeld.LngRow != kLngNone) {
      FailNoDataWritten(MbrStgOutput, MbrDblNoData, MbrHeld.LngRow, MbrHeld.LngColumn);
    }
#ifdef TESSGRID_WITH_GDAL
    if (MbrUnfit.LngRow != kLngNone) {
      FailCellNotFitting(MbrUnfit.DblValue, MbrUnfit.LngRow, MbrUnfit.LngColumn, MbrDblNoData,
                         *MbrPtrType, MbrStgOutput);
    }
#endif
  }

 private:
  static constexpr std::size_t kLngNone = std::numeric_limits<std::size_t>::max();

  // A cell whose failure is kept for the end, the first in row order.
  struct TCell {
    std::size_t LngRow = kLngNone;
    std::size_t LngColumn = kLngNone;
    double DblValue = 0.0;
  };

  void Keep(TCell& Cell, std::size_t LngRow, std::size_t LngColumn, double DblValue) {
    const std::lock_guard<std::mutex> Lock(MbrMutex);
    if (LngRow < Cell.LngRow || (LngRow == Cell.LngRow && LngColumn < Cell.LngColumn)) {
      Cell = {LngRow, LngColumn, DblValue};
    }
  }

  const std::vector<TInputGrid>& MbrVecGrids;
  TCellRule& MbrRule;
  double MbrDblNoData;  ///< the value the output declares
  const std::string& MbrStgOutput;
  const TRasterType* MbrPtrType;  ///< of a raster output, else null
  std::mutex MbrMutex;            ///< guards the cells below
  TCell MbrHeld;                  ///< first data cell equal to the no-data value
  TCell MbrUnfit;                 ///< first data cell that does not fit the raster type
  TProgress MbrProgress;          ///< the rows combined, on a terminal
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
  TToolCombiner Combiner(Run, VecGrids, Rule, DblNoData, StgOutput, &Target.Type);
  if (VecGrids.size() < VecInputs.size()) {
    Stream.Run(Combiner, nullptr);  // throws the header's failure, after those before it
  }
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

}  // namespace

bool StreamCellWise(TToolRun& Run, const std::vector<std::string>& VecInputs,
                    const std::string& StgOutput, TCellRule& Rule) {
  if (VecInputs.size() < Rule.FewestInputs() || IsStandardStream(StgOutput) ||
      !WritesThroughTemporary(StgOutput)) {
    return false;
  }
  for (const std::string& StgInput : VecInputs) {
    if (!IsRegularFile(StgInput)) {
      return false;
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
  Opener = [&Run, BlnSideBySide](const std::string& StgInput) -> std::unique_ptr<TRowSource> {
    if (Run.RasterFacts(StgInput) == nullptr) {
      return nullptr;
    }
    std::unique_ptr<TRasterReader> PtrReader =
        TRasterReader::OpenIfRaster(StgInput, Run.Options().IntBand, BlnSideBySide);
    if (!PtrReader) {
      return nullptr;
    }
    return std::make_unique<TRasterSource>(std::move(PtrReader));
  };
#endif
  TSeriesStream Stream(VecInputs, TGridHeaderMode::kLenient, ThreadCount(),
                       TSeriesStream::kLngSeriesBudget, Opener);
  const bool BlnHeaders = Stream.ReadHeaders();
  std::vector<TInputGrid> VecGrids;
  for (std::size_t LngI = 0; LngI < Stream.Headers().size(); ++LngI) {
    VecGrids.push_back(GridOfHeader(VecInputs[LngI], Stream.Headers()[LngI]));
  }
  if (BlnHeaders) {
    std::vector<const TInputGrid*> VecAligned;
    for (const TInputGrid& Grid : VecGrids) {
      VecAligned.push_back(&Grid);
    }
    try {
      CheckAligned(VecAligned);
    } catch (...) {
      return false;  // the library path refuses them after reading them, or pairs them by index
    }
    if (!OrdinaryGrid(Stream.Headers().front(), VecGrids.front())) {
      return false;
    }
  }
  // A header that fails leaves the failure to the stream, which reads the inputs before it.
  for (const TInputGrid& Grid : VecGrids) {
    Run.Record(Grid);
  }
  const int IntDigits = Run.Options().IntDigits == 0 ? kLngRuleDigits : Run.Options().IntDigits;
  const double DblNoData = Run.OutputNoData(VecInputs.front());
  const bool BlnIndent = std::isnan(DblNoData);
#ifdef TESSGRID_WITH_GDAL
  if (Run.WritesRaster(StgOutput)) {
    return StreamToRaster(Run, VecInputs, StgOutput, Stream, VecGrids, Rule, DblNoData);
  }
#endif
  TToolCombiner Combiner(Run, VecGrids, Rule, DblNoData, StgOutput, nullptr);
  bool BlnStarted = false;
  try {
    Run.WriteText(StgOutput, [&](std::ostream& Output) {
      BlnStarted = true;
      if (BlnHeaders) {
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

}  // namespace tessgrid::detail
