// app/tool/ResamplingCommands.cpp - downscale, subdivide, interpolate, resample.
// Each is one call of TMapTools (ops/TMapTools.h), resample onto the grid it names
// (ops/ResampleGrid.h), a raster read a band of rows at a time (engine/ResampleRows.h); the frame
// is app/tool/ToolFrame.h.
#include <memory>
#include <string>
#include <vector>

#include "app/tool/ResultRanges.h"
#include "app/tool/ToolFrame.h"
#include "engine/ResampleRows.h"
#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

struct TResamplingArguments {
  std::string StgIn;
  std::string StgOut;
  double DblResolution = 0.0;      ///< downscale, interpolate, resample: the new cell size R
  int IntFactor = 0;               ///< subdivide: the factor K
  std::string StgMethod = "near";  ///< resample: a name ResampleMethodOf knows
  std::vector<double> VecExtent;   ///< resample: XMIN YMIN XMAX YMAX, or none
  bool BlnAlign = false;           ///< resample: the extent grows to multiples of R
  std::string StgLike;             ///< resample: the grid whose grid the result takes, or ""
};

using TResample = TMap* (*)(const TResamplingArguments&, const TMap*);

CLI::App* AddResamplingCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                               const std::string& StgSummary, const std::string& StgExample,
                               const std::shared_ptr<TResamplingArguments>& PtrArgs,
                               TResample PtrResample, bool BlnNewValues = false) {
  CLI::App* PtrCommand =
      AddCommand(App, Context, StgName, StgSummary, StgExample,
                 [PtrArgs, PtrResample, BlnNewValues](TToolRun& Run) {
                   Run.SetResultRange(BlnNewValues ? FractionOfInputs() : InputValues(0));
                   Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgOut});
                   std::unique_ptr<TMap> PtrIn = Run.Load(PtrArgs->StgIn);
                   const std::unique_ptr<TMap> PtrResult(PtrResample(*PtrArgs, PtrIn.get()));
                   PtrIn.reset();
                   Run.Write(PtrResult.get(), PtrArgs->StgOut, PtrArgs->StgIn);
                 });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  return PtrCommand;
}

// The target grid's failures as the command line's: "--extent: ..." (status 2), or "--like L:
// ..." for the grid L names.
template <typename TCall>
TResampleGrid TargetGrid(TCall&& Call, const std::string& StgLike) {
  return Explained(std::forward<TCall>(Call), [&StgLike](const std::string& StgMessage) {
    if (StgMessage.rfind("extent: ", 0) == 0) {
      throw CLI::ValidationError("--" + StgMessage);
    }
    if (StgMessage.rfind("like: ", 0) == 0) {
      return "--like " + StgLike + ":" + StgMessage.substr(5);
    }
    return StgMessage;
  });
}

// A raster IN resampled as it is read, a band of rows at a time (engine/ResampleRows.h): it is
// never held whole. Returns null, having read nothing, for any other input, which the frame
// loads.
std::unique_ptr<TMap> ResampleStreamed(TToolRun& Run, const std::string& StgIn,
                                       const TTargetGrid& Target, double DblResolution,
                                       TResampleMethod Method) {
#ifdef TESSGRID_WITH_GDAL
  if (Run.RasterFacts(StgIn) == nullptr) {
    return nullptr;
  }
  const int IntBand = Run.InputBand(0);
  Run.CloseRasters();
  const std::unique_ptr<TRasterReader> PtrReader = TRasterReader::OpenIfRaster(StgIn, IntBand);
  if (!PtrReader) {
    return nullptr;
  }
  const TInputGrid Input = DescribeHeader(StgIn, PtrReader->Header());
  Run.Record(Input);
  return ResampleGridRows(
      Input,
      [&PtrReader](long LngFirst, long LngCount, double* PtrRows) {
        PtrReader->ReadRows(LngFirst, LngCount, PtrRows);
      },
      Target, DblResolution, Method);
#else
  static_cast<void>(Run);
  static_cast<void>(StgIn);
  static_cast<void>(Target);
  static_cast<void>(DblResolution);
  static_cast<void>(Method);
  return nullptr;
#endif
}

// resample onto gdalwarp's grid over IN's extent, over --extent (either aligned by --align), or
// onto the grid of --like; the result takes IN's no-data value and sidecar.
void Resample(TToolRun& Run, const TResamplingArguments& Args) {
  TResampleMethod Method = TResampleMethod::kNearest;
  ResampleMethodOf(Args.StgMethod, Method);
  std::unique_ptr<TResampleGrid> PtrGrid;
  if (!Args.VecExtent.empty()) {
    const std::vector<double>& VecE = Args.VecExtent;
    PtrGrid = std::make_unique<TResampleGrid>(TargetGrid(
        [&]() {
          return ExtentGrid(VecE[0], VecE[1], VecE[2], VecE[3], Args.DblResolution, Args.BlnAlign);
        },
        Args.StgLike));
  }
  std::vector<std::string> VecInputs{Args.StgIn};
  if (!Args.StgLike.empty()) {
    VecInputs.push_back(Args.StgLike);
  }
  // Means and interpolations make new values; the other methods pick IN's (never --like's).
  const bool BlnNewValues =
      Method == TResampleMethod::kBilinear || Method == TResampleMethod::kAverage;
  Run.SetResultRange(BlnNewValues ? WithConstant(FractionRange, 0.0) : InputValues(0));
  // The coordinate systems of IN and of the grid it goes onto must agree, as those of any two
  // inputs.
  Run.Prepare(VecInputs, {Args.StgOut});
  if (!Args.StgLike.empty()) {
    const TGridHeader Header = Run.ReadHeader(Args.StgLike);
    PtrGrid = std::make_unique<TResampleGrid>(TargetGrid(
        [&]() {
          return HeaderGrid(Header.LngColumns, Header.LngRows, Header.DblXll, Header.DblYll,
                            Header.DblCellSize);
        },
        Args.StgLike));
  }
  // The grid given, else with --align IN's extent grown to multiples of R, else (null) gdalwarp's
  // grid over IN's extent: made once IN's header is known.
  const TTargetGrid Target = [&]() -> std::unique_ptr<TResampleGrid> {
    if (PtrGrid || !Args.BlnAlign) {
      return PtrGrid ? std::make_unique<TResampleGrid>(*PtrGrid) : nullptr;
    }
    const TInputGrid& In = Run.Input(Args.StgIn);
    const double DblEast = In.DblWest + static_cast<double>(In.LngColumns) * In.DblCellSize;
    const double DblNorth = In.DblSouth + static_cast<double>(In.LngRows) * In.DblCellSize;
    return std::make_unique<TResampleGrid>(TargetGrid(
        [&]() {
          return ExtentGrid(In.DblWest, In.DblSouth, DblEast, DblNorth, Args.DblResolution, true);
        },
        Args.StgLike));
  };
  std::unique_ptr<TMap> PtrResult =
      ResampleStreamed(Run, Args.StgIn, Target, Args.DblResolution, Method);
  if (!PtrResult) {
    std::unique_ptr<TMap> PtrIn = Run.Load(Args.StgIn);
    const std::unique_ptr<TResampleGrid> PtrTarget = Target();
    PtrResult =
        PtrTarget
            ? ResampleOnto(*PtrIn, *PtrTarget, Method)
            : std::unique_ptr<TMap>(TMapTools::Resample(PtrIn.get(), Args.DblResolution, Method));
  }
  Run.Write(PtrResult.get(), Args.StgOut, Args.StgIn);
}

void AddResample(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TResamplingArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "resample",
      "IN on the grid of cell size R over its whole area (as gdalwarp -tr R R over IN's "
      "extent), over --extent (gdalwarp -te, aligned to multiples of R by --align as by -tap) "
      "or of --like GRID, each cell as gdalwarp -r METHOD computes it: near takes the cell "
      "holding its centre (on a boundary, the cell south or east of it); bilinear weighs the "
      "cell on either side of the centre in each direction by 1 - d / r (d the distance "
      "between centres, r IN's cell size), and once R exceeds about 1.05 r every cell whose "
      "centre lies within R by 1 - d / R, the kernel gdalwarp widens when coarsening; average, "
      "mode, min, max and median take the cells the target cell covers, average weighing each "
      "by the part covered; no-data cells drop out, and a cell that covers no part of IN is "
      "no-data",
      "tessgrid-tool resample dem.asc dem_100m.asc --method average --resolution 100",
      [PtrArgs](TToolRun& Run) { Resample(Run, *PtrArgs); });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid");
  CLI::Option* PtrResolution =
      AddNumber(PtrCommand, "--resolution", PtrArgs->DblResolution, "the new cell size R");
  PtrCommand
      ->add_option("--method", PtrArgs->StgMethod,
                   "near, bilinear, average, mode, min, max or median")
      ->check(CLI::IsMember({"near", "bilinear", "average", "mode", "min", "max", "median"}))
      ->capture_default_str();
  CLI::Option* PtrExtent =
      AddNumbers(PtrCommand, "--extent", PtrArgs->VecExtent,
                 "the target grid's corners XMIN YMIN XMAX YMAX; it starts at XMIN and YMAX")
          ->expected(4)
          ->allow_extra_args(false);
  CLI::Option* PtrAlign = PtrCommand->add_flag(
      "--align", PtrArgs->BlnAlign,
      "grow the extent (--extent, else IN's) to the nearest multiples of R outward");
  PtrCommand->add_option("--like", PtrArgs->StgLike, "the grid whose grid the result takes")
      ->type_name("GRID")
      ->excludes(PtrResolution)
      ->excludes(PtrExtent)
      ->excludes(PtrAlign);
  PtrCommand->parse_complete_callback([PtrArgs, PtrResolution]() {
    if (PtrArgs->StgLike.empty() && PtrResolution->count() == 0) {
      throw CLI::RequiredError("--resolution or --like");
    }
  });
}

}  // namespace

void AddResamplingCommands(CLI::App& App, TToolContext& Context) {
  auto PtrDownscale = std::make_shared<TResamplingArguments>();
  CLI::App* PtrCommand = AddResamplingCommand(
      App, Context, "downscale",
      "an empty grid (every cell -9999) of cell size R over IN's area, a template for insert",
      "tessgrid-tool downscale dem.asc template.asc --resolution 100", PtrDownscale,
      [](const TResamplingArguments& Args, const TMap* PtrIn) {
        return TMapTools::Downscale(PtrIn, Args.DblResolution);
      });
  AddNumber(PtrCommand, "--resolution", PtrDownscale->DblResolution, "the new cell size R")
      ->required();

  auto PtrSubdivide = std::make_shared<TResamplingArguments>();
  PtrCommand = AddResamplingCommand(
      App, Context, "subdivide", "every cell split into K x K cells that hold its value",
      "tessgrid-tool subdivide dem.asc fine.asc --factor 4", PtrSubdivide,
      [](const TResamplingArguments& Args, const TMap* PtrIn) {
        return TMapTools::Subdivide(PtrIn, Args.IntFactor);
      });
  PtrCommand->add_option("--factor", PtrSubdivide->IntFactor, "the whole factor K")->required();

  auto PtrInterpolate = std::make_shared<TResamplingArguments>();
  PtrCommand = AddResamplingCommand(
      App, Context, "interpolate",
      "IN resampled to cell size R bilinearly at a fixed offset from each cell's first edges, not "
      "at its centre (see resample); a no-data neighbour gives no-data",
      "tessgrid-tool interpolate dem.asc dem_10m.asc --resolution 10", PtrInterpolate,
      [](const TResamplingArguments& Args, const TMap* PtrIn) {
        return TMapTools::BilinearInterpolate(PtrIn, Args.DblResolution);
      },
      true);
  AddNumber(PtrCommand, "--resolution", PtrInterpolate->DblResolution, "the new cell size R")
      ->required();

  AddResample(App, Context);
}

}  // namespace tessgrid::detail
