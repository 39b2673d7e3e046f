// app/tool/ResamplingCommands.cpp - downscale, subdivide, interpolate, resample.
// Each is one call of TMapTools (ops/TMapTools.h); the frame is app/tool/ToolFrame.h.
#include <memory>
#include <string>

#include "app/tool/ToolFrame.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

struct TResamplingArguments {
  std::string StgIn;
  std::string StgOut;
  double DblResolution = 0.0;      ///< downscale, interpolate, resample: the new cell size R
  int IntFactor = 0;               ///< subdivide: the factor K
  std::string StgMethod = "near";  ///< resample: "near" or "bilinear"
};

using TResample = TMap* (*)(const TResamplingArguments&, const TMap*);

CLI::App* AddResamplingCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                               const std::string& StgSummary, const std::string& StgExample,
                               const std::shared_ptr<TResamplingArguments>& PtrArgs,
                               TResample PtrResample) {
  CLI::App* PtrCommand = AddCommand(
      App, Context, StgName, StgSummary, StgExample, [PtrArgs, PtrResample](TToolRun& Run) {
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
      });
  AddNumber(PtrCommand, "--resolution", PtrInterpolate->DblResolution, "the new cell size R")
      ->required();

  auto PtrResample = std::make_shared<TResamplingArguments>();
  PtrCommand = AddResamplingCommand(
      App, Context, "resample",
      "IN at cell size R over its whole area, as gdalwarp -tr R R over IN's extent computes it: "
      "near takes the cell holding each cell's centre (a centre on a boundary takes the cell "
      "south or east of it); bilinear weighs the cell on either side of the centre in each "
      "direction by 1 - d / r (d the distance between centres, r IN's cell size), and once R "
      "exceeds about 1.05 r every cell whose centre lies within R by 1 - d / R, the kernel "
      "gdalwarp widens when coarsening; no-data cells drop out and the other weights are "
      "scaled to sum to 1",
      "tessgrid-tool resample dem.asc dem_10m.asc --method bilinear --resolution 10", PtrResample,
      [](const TResamplingArguments& Args, const TMap* PtrIn) {
        return TMapTools::Resample(
            PtrIn, Args.DblResolution,
            Args.StgMethod == "bilinear" ? TResampleMethod::kBilinear : TResampleMethod::kNearest);
      });
  AddNumber(PtrCommand, "--resolution", PtrResample->DblResolution, "the new cell size R")
      ->required();
  PtrCommand->add_option("--method", PtrResample->StgMethod, "near or bilinear")
      ->check(CLI::IsMember({"near", "bilinear"}))
      ->capture_default_str();
}

}  // namespace tessgrid::detail
