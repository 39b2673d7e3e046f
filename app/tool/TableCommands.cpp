// app/tool/TableCommands.cpp - count-values, first-values, sample, overlay-table, to-csv, info.
// The commands that print or export data; the frame is app/tool/ToolFrame.h.
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/tool/ToolFrame.h"
#include "io/NumberText.h"
#include "model/TPoint.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

struct TTableArguments {
  std::string StgIn;
  std::string StgSecond;            ///< overlay-table: KEYS; sample: the points; to-csv: OUT
  std::vector<double> VecLeaveOut;  ///< first-values, overlay-table
  bool BlnJson = false;             ///< info
};

// Runs the action on the loaded input grid; nothing is written but what the action prints.
CLI::App* AddPrintingCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                             const std::string& StgSummary, const std::string& StgExample,
                             const std::shared_ptr<TTableArguments>& PtrArgs,
                             void (*PtrPrint)(const TToolRun&, const TTableArguments&, TMap*)) {
  CLI::App* PtrCommand =
      AddCommand(App, Context, StgName, StgSummary, StgExample, [PtrArgs, PtrPrint](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn}, {});
        const std::unique_ptr<TMap> PtrIn = Run.LoadAsWritten(PtrArgs->StgIn);
        PtrPrint(Run, *PtrArgs, PtrIn.get());
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  return PtrCommand;
}

void PrintCountValues(const TToolRun&, const TTableArguments&, TMap* PtrMap) {
  const std::map<double, long> MapCounts = TMapTools::CountValues(PtrMap);
  Print([&MapCounts](TBlockWriter& Writer) {
    for (const auto& Entry : MapCounts) {
      Writer.PutNumber(Entry.first);
      Writer.PutChar(',');
      Writer.PutInteger(Entry.second);
      Writer.PutChar('\n');
    }
  });
}

void PrintFirstValues(const TToolRun&, const TTableArguments& Args, TMap* PtrMap) {
  const std::map<double, TMapPoint*> MapFirst = TMapTools::GetFirstValues(PtrMap, Args.VecLeaveOut);
  std::vector<std::unique_ptr<TMapPoint>> VecOwned;
  try {
    VecOwned.reserve(MapFirst.size());
  } catch (...) {
    for (const auto& Entry : MapFirst) {
      delete Entry.second;
    }
    throw;
  }
  for (const auto& Entry : MapFirst) {
    VecOwned.emplace_back(Entry.second);
  }
  Print([&MapFirst](TBlockWriter& Writer) {
    for (const auto& Entry : MapFirst) {
      Writer.PutNumber(Entry.first);
      Writer.PutChar(',');
      Writer.PutNumber(Entry.second->MbrDblX);
      Writer.PutChar(',');
      Writer.PutNumber(Entry.second->MbrDblY);
      Writer.PutChar('\n');
    }
  });
}

void PrintSample(const TToolRun& Run, const TTableArguments& Args, TMap* PtrMap) {
  std::map<double, TMapPoint*> MapPoints;
  std::vector<std::unique_ptr<TMapPoint>> VecOwned;
  std::map<double, long> MapSeen;
  for (const TNumberLine& Line : ReadNumberTable(Args.StgSecond, "key,x,y")) {
    AddKey(MapSeen, Line.VecFields[0], Line.LngLine, Args.StgSecond);
    VecOwned.push_back(std::make_unique<TMapPoint>(Line.VecFields[1], Line.VecFields[2], 0.0));
    MapPoints[Line.VecFields[0]] = VecOwned.back().get();
  }
  const std::map<double, double> MapValues = Explained(
      [&]() { return TMapTools::FetchMapValues(PtrMap, MapPoints); },
      [&](const std::string& StgMessage) {
        for (const auto& Entry : MapPoints) {
          if (!Inside(Run.Input(Args.StgIn), Entry.second->MbrDblX, Entry.second->MbrDblY)) {
            return "sample: the point " + NumberText(Entry.first, NumberFormatOf(std::cout)) + " " +
                   PointText(*Entry.second) + " lies outside " + Args.StgIn + " (" + StgMessage +
                   ")";
          }
        }
        return StgMessage;
      });
  Print([&MapValues](TBlockWriter& Writer) {
    for (const auto& Entry : MapValues) {
      Writer.PutNumber(Entry.first);
      Writer.PutChar(',');
      Writer.PutNumber(Entry.second);
      Writer.PutChar('\n');
    }
  });
}

// The statistics of info. Min, max and mean cover the data cells that hold a number: no-data
// cells and not-a-number cells take no part; without such cells all three are not-a-number.
struct TInfo {
  long LngNoDataCells = 0;
  long LngNumberCells = 0;
  double DblMin = std::numeric_limits<double>::quiet_NaN();
  double DblMax = std::numeric_limits<double>::quiet_NaN();
  double DblMean = std::numeric_limits<double>::quiet_NaN();
};

TInfo Summarise(const TMap& Map) {
  TInfo Info;
  // A grid may declare NaN as its no-data value; its NaN cells are then no-data.
  const bool BlnNaNNoData = std::isnan(Map.MbrDblNoDataValue);
  double DblMin = std::numeric_limits<double>::infinity();
  double DblMax = -DblMin;
  double DblSum = 0.0;
  for (long LngY = 0; LngY < Map.MbrLngYDim; ++LngY) {
    const std::vector<double>& VecRow = Map.MbrVecValues[static_cast<std::size_t>(LngY)];
    for (long LngX = 0; LngX < Map.MbrLngXDim; ++LngX) {
      const double DblCell = VecRow[static_cast<std::size_t>(LngX)];
      if (DblCell == Map.MbrDblNoDataValue || (BlnNaNNoData && std::isnan(DblCell))) {
        ++Info.LngNoDataCells;
      } else if (!std::isnan(DblCell)) {
        ++Info.LngNumberCells;
        DblMin = DblCell < DblMin ? DblCell : DblMin;
        DblMax = DblCell > DblMax ? DblCell : DblMax;
        DblSum += DblCell;
      }
    }
  }
  if (Info.LngNumberCells > 0) {
    Info.DblMin = DblMin;
    Info.DblMax = DblMax;
    Info.DblMean = DblSum / static_cast<double>(Info.LngNumberCells);
  }
  return Info;
}

// The text as a JSON string: quotes, backslashes and control bytes escaped.
std::string JsonString(const std::string& StgText) {
  std::string StgQuoted = "\"";
  for (const char ChrC : StgText) {
    if (ChrC == '"' || ChrC == '\\') {
      StgQuoted += '\\';
      StgQuoted += ChrC;
    } else if (static_cast<unsigned char>(ChrC) < 0x20) {
      static const char kChrHex[] = "0123456789abcdef";
      StgQuoted += "\\u00";
      StgQuoted += kChrHex[(ChrC >> 4) & 0xf];
      StgQuoted += kChrHex[ChrC & 0xf];
    } else {
      StgQuoted += ChrC;
    }
  }
  return StgQuoted + "\"";
}

// The name of the coordinate system an ASCII grid's sidecar holds, as GDAL reads it, and
// "unknown" where GDAL cannot; "" without a sidecar, or without GDAL to read one.
std::string SidecarCrsName(const TToolRun& Run, const std::string& StgName) {
#ifdef TESSGRID_WITH_GDAL
  const std::string* PtrText = Run.CrsText(StgName);
  if (PtrText == nullptr) {
    return std::string();
  }
  const std::string StgCrsName = CoordinateSystemName(*PtrText);
  return StgCrsName.empty() ? std::string("unknown") : StgCrsName;
#else
  static_cast<void>(Run);
  static_cast<void>(StgName);
  return std::string();
#endif
}

void PrintInfo(const TToolRun& Run, const TTableArguments& Args, TMap* PtrMap) {
  const TInfo Info = Summarise(*PtrMap);
  const TRasterFacts* PtrRaster = Run.RasterFacts(Args.StgIn);
  const std::string StgSidecarCrs = SidecarCrsName(Run, Args.StgIn);
  const TAxis& XEdges = *PtrMap->MbrPtrXAxisInterval;
  const TAxis& YEdges = *PtrMap->MbrPtrYAxisInterval;
  const bool BlnJson = Args.BlnJson;
  Print([&](TBlockWriter& Writer) {
    bool BlnFirst = true;
    auto Key = [&](const char* PtrKey) {
      if (BlnJson) {
        Writer.PutText(BlnFirst ? "{\"" : ",\"");
        Writer.PutText(PtrKey);
        Writer.PutText("\":");
      } else {
        Writer.PutText(PtrKey);
        Writer.PutText(": ");
      }
      BlnFirst = false;
    };
    auto Number = [&](const char* PtrKey, double DblValue) {
      Key(PtrKey);
      if (BlnJson && !std::isfinite(DblValue)) {
        // JSON has no infinities and no not-a-number.
        Writer.PutText("null");
      } else {
        Writer.PutNumber(DblValue);
      }
      Writer.PutText(BlnJson ? "" : "\n");
    };
    auto Integer = [&](const char* PtrKey, long LngValue) {
      Key(PtrKey);
      Writer.PutInteger(LngValue);
      Writer.PutText(BlnJson ? "" : "\n");
    };
    Integer("ncols", PtrMap->MbrLngXDim);
    Integer("nrows", PtrMap->MbrLngYDim);
    Number("west", XEdges.GetPoint(0)->MbrDblX);
    Number("east", XEdges.GetPoint(PtrMap->MbrLngXDim)->MbrDblX);
    Number("south", YEdges.GetPoint(PtrMap->MbrLngYDim)->MbrDblY);
    Number("north", YEdges.GetPoint(0)->MbrDblY);
    Number("cellsize", PtrMap->MbrDblResolution);
    Number("NODATA_value", PtrMap->MbrDblNoDataValue);
    Integer("cells", PtrMap->MbrLngXDim * PtrMap->MbrLngYDim);
    Integer("nodata_cells", Info.LngNoDataCells);
    Number("min", Info.DblMin);
    Number("max", Info.DblMax);
    Number("mean", Info.DblMean);
    // What GDAL tells of a raster; a raster without a coordinate system shows none.
    auto Text = [&](const char* PtrKey, const std::string& StgValue) {
      Key(PtrKey);
      if (BlnJson) {
        Writer.PutText(StgValue.empty() ? "null" : JsonString(StgValue).c_str());
      } else {
        Writer.PutText(StgValue.empty() ? "none" : StgValue.c_str());
        Writer.PutText("\n");
      }
    };
    if (PtrRaster != nullptr) {
      Text("format", PtrRaster->StgFormat);
      Text("data_type", PtrRaster->StgType);
      Integer("block_columns", PtrRaster->LngBlockColumns);
      Integer("block_rows", PtrRaster->LngBlockRows);
      Text("crs", PtrRaster->StgCrsName);
    } else if (!StgSidecarCrs.empty()) {
      Text("crs", StgSidecarCrs);
    }
    if (BlnJson) {
      Writer.PutText("}\n");
    }
  });
}

void AddOverlayTable(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TTableArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "overlay-table",
      "prints key,value1;value2;... : for each KEYS value, the VALUES cells under it",
      "tessgrid-tool overlay-table dem.asc zones.asc --leave-out -9999", [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn, PtrArgs->StgSecond}, {});
        const std::unique_ptr<TMap> PtrValues = Run.LoadAsWritten(PtrArgs->StgIn);
        const std::unique_ptr<TMap> PtrKeys = Run.LoadAsWritten(PtrArgs->StgSecond);
        Run.CheckAligned({PtrArgs->StgIn, PtrArgs->StgSecond});
        const std::map<double, std::vector<double>> MapOverlay =
            TMapTools::GetValuesOverlay(PtrValues.get(), PtrKeys.get(), PtrArgs->VecLeaveOut);
        Print([&MapOverlay](TBlockWriter& Writer) {
          for (const auto& Entry : MapOverlay) {
            Writer.PutNumber(Entry.first);
            char ChrSeparator = ',';
            for (const double DblValue : Entry.second) {
              Writer.PutChar(ChrSeparator);
              Writer.PutNumber(DblValue);
              ChrSeparator = ';';
            }
            Writer.PutChar('\n');
          }
        });
      });
  AddGrid(PtrCommand, "VALUES", PtrArgs->StgIn, "grid of the values");
  AddGrid(PtrCommand, "KEYS", PtrArgs->StgSecond, "grid of the keys (same size)");
  AddNumbers(PtrCommand, "--leave-out", PtrArgs->VecLeaveOut, "keys to leave out");
}

void AddToCsv(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TTableArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "to-csv", "writes x,y,value for every cell centre, column by column",
      "tessgrid-tool to-csv dem.asc dem.csv", [PtrArgs](TToolRun& Run) {
        Run.Prepare({PtrArgs->StgIn}, {PtrArgs->StgSecond});
        const std::unique_ptr<TMap> PtrIn = Run.LoadAsWritten(PtrArgs->StgIn);
        TMap* const PtrMap = PtrIn.get();
        Run.WriteText(PtrArgs->StgSecond,
                      [PtrMap](std::ostream& Output) { TMapTools::WriteCSVFile(PtrMap, Output); });
      });
  AddGrid(PtrCommand, "IN", PtrArgs->StgIn, "input grid");
  AddGrid(PtrCommand, "OUT", PtrArgs->StgSecond, "CSV file")->type_name("CSV");
}

}  // namespace

void AddTableCommands(CLI::App& App, TToolContext& Context) {
  AddPrintingCommand(App, Context, "count-values",
                     "prints value,count for every distinct cell value, ascending",
                     "tessgrid-tool count-values landuse.asc", std::make_shared<TTableArguments>(),
                     PrintCountValues);

  auto PtrFirst = std::make_shared<TTableArguments>();
  CLI::App* PtrCommand = AddPrintingCommand(
      App, Context, "first-values",
      "prints value,x,y: the centre of the first cell (column by column) holding each value",
      "tessgrid-tool first-values zones.asc --leave-out -9999 0", PtrFirst, PrintFirstValues);
  AddNumbers(PtrCommand, "--leave-out", PtrFirst->VecLeaveOut, "values to leave out");

  auto PtrSample = std::make_shared<TTableArguments>();
  PtrCommand = AddPrintingCommand(
      App, Context, "sample", "prints key,value: the value of the cell holding each point",
      "tessgrid-tool sample dem.asc --points wells.csv", PtrSample, PrintSample);
  PtrCommand->add_option("--points", PtrSample->StgSecond, "CSV file of key,x,y lines")
      ->required()
      ->type_name("CSV");

  AddOverlayTable(App, Context);
  AddToCsv(App, Context);

  auto PtrInfo = std::make_shared<TTableArguments>();
  PtrCommand = AddPrintingCommand(
      App, Context, "info",
      "prints the size, edges, cell size, no-data value and cell statistics of a grid",
      "tessgrid-tool info dem.asc --json", PtrInfo, PrintInfo);
  PtrCommand->add_flag("--json", PtrInfo->BlnJson, "one JSON object instead of key: value lines");
}

}  // namespace tessgrid::detail
