// app/tool/ToolFrame.cpp - the shared frame of tessgrid-tool: grids in and out, sidecars,
// progress, number options and list files. The contracts are in app/tool/ToolFrame.h.
#include "app/tool/ToolFrame.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <utility>

#include "io/ConsoleLine.h"
#include "io/GridHeader.h"
#include "io/GridSource.h"
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/TARCGISFileTools.h"
#include "io/TPrjFileTools.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// Standard error, apart from the standard streams: the failure line comes out also when they
// could not be set up (sync_with_stdio that runs out of memory leaves them unusable), and
// writing it needs no memory.
class TStandardErrorBuffer : public std::streambuf {
 public:
  TStandardErrorBuffer() { setp(MbrChrBlock, MbrChrBlock + sizeof MbrChrBlock); }
  ~TStandardErrorBuffer() override { sync(); }
  TStandardErrorBuffer(const TStandardErrorBuffer&) = delete;
  TStandardErrorBuffer& operator=(const TStandardErrorBuffer&) = delete;

 protected:
  int_type overflow(int_type LngChar) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(LngChar, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(LngChar);
      pbump(1);
    }
    return traits_type::not_eof(LngChar);
  }

  int sync() override {
    const char* PtrText = pbase();
    while (PtrText < pptr()) {
      const ssize_t LngWritten =
          ::write(STDERR_FILENO, PtrText, static_cast<std::size_t>(pptr() - PtrText));
      if (LngWritten < 0 && errno == EINTR) {
        continue;
      }
      if (LngWritten <= 0) {
        break;
      }
      PtrText += LngWritten;
    }
    const bool BlnWritten = PtrText == pptr();
    setp(MbrChrBlock, MbrChrBlock + sizeof MbrChrBlock);
    return BlnWritten ? 0 : -1;
  }

 private:
  char MbrChrBlock[256];  ///< the put area; a line longer than it goes out in parts
};

// True for a name ending in the extension, in any letter case.
bool HasExtension(const std::string& StgName, const std::string& StgExtension) {
  if (StgName.size() < StgExtension.size()) {
    return false;
  }
  return std::equal(StgExtension.begin(), StgExtension.end(),
                    StgName.end() - static_cast<std::ptrdiff_t>(StgExtension.size()),
                    [](char ChrA, char ChrB) {
                      return std::tolower(static_cast<unsigned char>(ChrA)) ==
                             std::tolower(static_cast<unsigned char>(ChrB));
                    });
}

bool IsGeoTiffName(const std::string& StgName) {
  return HasExtension(StgName, ".tif") || HasExtension(StgName, ".tiff");
}

// The GDAL format of a grid output, or "" for tessgrid's own ASCII grid: .asc and standard
// output always, any other name --format when it was given, else GeoTIFF for .tif and .tiff.
// The format asked for wins over the name: a Cloud-Optimized GeoTIFF is named .tif too.
std::string RasterFormat(const std::string& StgOutput, const TToolOptions& Options) {
#ifdef TESSGRID_WITH_GDAL
  if (IsStandardStream(StgOutput) || HasExtension(StgOutput, ".asc")) {
    return std::string();
  }
  if (!Options.StgFormat.empty()) {
    return Options.StgFormat;
  }
  return IsGeoTiffName(StgOutput) ? std::string("GTiff") : std::string();
#else
  static_cast<void>(StgOutput);
  static_cast<void>(Options);
  return std::string();
#endif
}

// True for outputs that get a sidecar: ASCII grids written through a temporary, not standard
// output, devices or pipes. A grid named like its own sidecar (out.prj) gets none: it would
// replace it. A raster holds its coordinate system itself.
bool TakesSidecar(const std::string& StgOutput, const TToolOptions& Options) {
  return !IsStandardStream(StgOutput) && WritesThroughTemporary(StgOutput) &&
         TPrjFileTools::GetPrjFileName(StgOutput) != StgOutput &&
         RasterFormat(StgOutput, Options).empty();
}

// Two inputs' coordinate systems agree: by meaning where GDAL can tell, else as text.
bool SameCrs(const std::string& StgTextA, const std::string& StgTextB) {
#ifdef TESSGRID_WITH_GDAL
  return SameCoordinateSystem(StgTextA, StgTextB);
#else
  return TPrjFileTools::SamePrjText(StgTextA, StgTextB);
#endif
}

std::string Trimmed(const std::string& StgText) {
  const std::size_t LngFirst = StgText.find_first_not_of(" \t");
  if (LngFirst == std::string::npos) {
    return std::string();
  }
  return StgText.substr(LngFirst, StgText.find_last_not_of(" \t") - LngFirst + 1);
}

// Reads the file's lines, without the CR of a CR LF line end.
std::vector<std::string> ReadLines(const std::string& StgFileName) {
  std::ifstream Input(StgFileName);
  struct stat FileStat {};
  if (!Input.is_open() ||
      (::stat(StgFileName.c_str(), &FileStat) == 0 && S_ISDIR(FileStat.st_mode))) {
    Fail("Unable to open file " + StgFileName);
  }
  std::vector<std::string> VecLines;
  std::string StgLine;
  while (std::getline(Input, StgLine)) {
    if (!StgLine.empty() && StgLine.back() == '\r') {
      StgLine.pop_back();
    }
    VecLines.push_back(StgLine);
  }
  return VecLines;
}

// The values a cell of the GDAL type can hold; any double for an ASCII grid (an empty name) and
// the types tessgrid-tool cannot tell.
TValueRange RangeOfType(const std::string& StgType) {
  struct TTypeRange {
    const char* PtrName;
    TValueRange Range;  ///< whole for the integers; single where every cell is a Float32 value
  };
  static constexpr TTypeRange kArrRanges[] = {
      {"Byte", {0.0, 255.0, true, true}},
      {"Int8", {-128.0, 127.0, true, true}},
      {"UInt16", {0.0, 65535.0, true, true}},
      {"Int16", {-32768.0, 32767.0, true, true}},
      {"UInt32", {0.0, 4294967295.0, true, false}},
      {"Int32", {-2147483648.0, 2147483647.0, true, false}},
      {"UInt64", {0.0, 18446744073709551615.0, true, false}},
      {"Int64", {-9223372036854775808.0, 9223372036854775807.0, true, false}},
      {"Float32", {-3.4028234663852886e+38, 3.4028234663852886e+38, false, true}},
  };
  for (const TTypeRange& Type : kArrRanges) {
    if (StgType == Type.PtrName) {
      return Type.Range;
    }
  }
  return AnyDouble();
}

bool ParseNumber(const std::string& StgText, double& DblValue) {
  return ParseToken(StgText.data(), StgText.data() + StgText.size(), DblValue) == TParseResult::kOk;
}

const CLI::Validator kNumberCheck(
    [](std::string& StgText) {
      double DblIgnored = 0.0;
      switch (ParseToken(StgText.data(), StgText.data() + StgText.size(), DblIgnored)) {
        case TParseResult::kOk:
          return std::string();
        case TParseResult::kOutOfRange:
          return "out of range: " + StgText;
        default:
          return "not a number: " + StgText;
      }
    },
    "");

}  // namespace

void PrepareProcess() {
  InstallCommandSignalHandlers();
  // The standard streams carry whole grids; unsynchronised they are as fast as file streams.
  std::ios_base::sync_with_stdio(false);
}

void Report(std::string_view StgMessage) {
  // Built from two writes rather than one joined string: reporting "Out of memory" must not
  // need memory, and the message's control bytes are escaped so the line stays one line.
  TStandardErrorBuffer Buffer;
  std::ostream Output(&Buffer);
  Output << "tessgrid-tool: ";
  WriteConsoleLine(Output, StgMessage);
}

CLI::App* AddCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                     const std::string& StgSummary, const std::string& StgExample,
                     std::function<void(TToolRun&)> Action) {
  CLI::App* PtrCommand = App.add_subcommand(StgName, StgSummary);
  PtrCommand->footer("Example:\n  " + StgExample);
  // -q and --ignore-crs belong to the program, and may follow the command all the same.
  PtrCommand->fallthrough();
  PtrCommand->callback([&Context, Action = std::move(Action)]() { Context.Action = Action; });
  return PtrCommand;
}

CLI::Option* AddGrid(CLI::App* PtrCommand, const std::string& StgName, std::string& StgTarget,
                     const std::string& StgHelp) {
  return PtrCommand->add_option(StgName, StgTarget, StgHelp)->required()->type_name("GRID");
}

CLI::Option* AddNumber(CLI::App* PtrCommand, const std::string& StgName, double& DblTarget,
                       const std::string& StgHelp) {
  return PtrCommand
      ->add_option_function<std::string>(
          StgName, [&DblTarget](const std::string& StgText) { ParseNumber(StgText, DblTarget); },
          StgHelp)
      ->check(kNumberCheck)
      ->type_name("NUMBER");
}

CLI::Option* AddNumbers(CLI::App* PtrCommand, const std::string& StgName,
                        std::vector<double>& VecTarget, const std::string& StgHelp) {
  return PtrCommand
      ->add_option_function<std::vector<std::string>>(
          StgName,
          [&VecTarget](const std::vector<std::string>& VecTexts) {
            VecTarget.assign(VecTexts.size(), 0.0);
            for (std::size_t LngI = 0; LngI < VecTexts.size(); ++LngI) {
              ParseNumber(VecTexts[LngI], VecTarget[LngI]);
            }
          },
          StgHelp)
      ->check(kNumberCheck)
      ->type_name("NUMBER");
}

bool Inside(const TInputGrid& Grid, double DblX, double DblY) {
  const double DblEast = Grid.DblWest + static_cast<double>(Grid.LngColumns) * Grid.DblCellSize;
  const double DblNorth = Grid.DblSouth + static_cast<double>(Grid.LngRows) * Grid.DblCellSize;
  return DblX >= Grid.DblWest && DblX < DblEast && DblY >= Grid.DblSouth && DblY < DblNorth;
}

std::string PointText(const TPoint& Point) {
  static const TNumberFormat kFormat = NumberFormatOf(std::ostringstream());
  return "(" + NumberText(Point.MbrDblX, kFormat) + ", " + NumberText(Point.MbrDblY, kFormat) + ")";
}

std::vector<std::string> ReadNameList(const std::string& StgFileName) {
  std::vector<std::string> VecNames;
  for (std::string& StgLine : ReadLines(StgFileName)) {
    if (!Trimmed(StgLine).empty()) {
      VecNames.push_back(std::move(StgLine));
    }
  }
  return VecNames;
}

std::vector<TNumberLine> ReadNumberTable(const std::string& StgFileName,
                                         const std::string& StgLayout) {
  const std::size_t LngFields =
      static_cast<std::size_t>(std::count(StgLayout.begin(), StgLayout.end(), ',')) + 1;
  const std::vector<std::string> VecLines = ReadLines(StgFileName);
  std::vector<TNumberLine> VecTable;
  for (std::size_t LngI = 0; LngI < VecLines.size(); ++LngI) {
    const std::string& StgLine = VecLines[LngI];
    if (Trimmed(StgLine).empty()) {
      continue;
    }
    TNumberLine Line{std::vector<double>(LngFields), static_cast<long>(LngI) + 1};
    std::size_t LngStart = 0;
    std::size_t LngField = 0;
    bool BlnFits = true;
    while (BlnFits && LngStart <= StgLine.size()) {
      const std::size_t LngComma = std::min(StgLine.find(',', LngStart), StgLine.size());
      BlnFits = LngField < LngFields &&
                ParseNumber(Trimmed(StgLine.substr(LngStart, LngComma - LngStart)),
                            Line.VecFields[LngField]);
      ++LngField;
      LngStart = LngComma + 1;
    }
    if (!BlnFits || LngField != LngFields) {
      Fail("File format error: expected " + StgLayout + " at line " + std::to_string(Line.LngLine) +
           " of " + StgFileName);
    }
    VecTable.push_back(std::move(Line));
  }
  return VecTable;
}

void AddKey(std::map<double, long>& MapSeen, double DblKey, long LngLine,
            const std::string& StgFileName) {
  if (!MapSeen.emplace(DblKey, LngLine).second) {
    Fail("File format error: duplicate key at line " + std::to_string(LngLine) + " of " +
         StgFileName);
  }
}

void Print(const std::function<void(TBlockWriter&)>& Fill) {
  {
    TBlockWriter Writer(std::cout);
    Fill(Writer);
    Writer.Finish();
  }
  if (!std::cout.flush()) {
    Fail("Unable to write standard output");
  }
}

TToolRun::TToolRun(const TToolOptions& Options) : MbrOptions(Options) {}

int TToolRun::InputBand(std::size_t LngInput) const {
  return LngInput < MbrVecBands.size() ? MbrVecBands[LngInput] : MbrOptions.IntBand;
}

int TToolRun::BandOf(const std::string& StgName, bool BlnTake) {
  const auto It = MbrMapNamedBands.find(StgName);
  if (It == MbrMapNamedBands.end()) {
    return MbrOptions.IntBand;
  }
  std::size_t& LngTaken = MbrMapBandsTaken[StgName];
  const int IntBand = It->second[std::min(LngTaken, It->second.size() - 1)];
  LngTaken += BlnTake ? 1 : 0;
  return IntBand;
}

long TToolRun::BandCount(const std::string& StgName) const {
  const TRasterFacts* PtrFacts = RasterFacts(StgName);
  return PtrFacts == nullptr ? 1 : PtrFacts->LngBands;
}

void TToolRun::Prepare(const std::vector<std::string>& VecInputs,
                       const std::vector<std::string>& VecOutputs) {
  if (!MbrOptions.VecBands.empty() && MbrOptions.VecBands.size() != VecInputs.size()) {
    const std::size_t LngGiven = MbrOptions.VecBands.size();
    throw CLI::ValidationError("--bands gives " + std::to_string(LngGiven) +
                               (LngGiven == 1 ? " band for " : " bands for ") +
                               std::to_string(VecInputs.size()) +
                               " input grids; give one per input, in order");
  }
  // Each input's band: its own, else --bands's, else --band.
  MbrVecBands.clear();
  std::vector<bool> VecExplicit;
  for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
    const bool BlnOwn = LngI < MbrVecGivenBands.size() && MbrVecGivenBands[LngI] > 0;
    const bool BlnListed = !MbrOptions.VecBands.empty();
    MbrVecBands.push_back(BlnOwn      ? MbrVecGivenBands[LngI]
                          : BlnListed ? MbrOptions.VecBands[LngI]
                                      : MbrOptions.IntBand);
    VecExplicit.push_back(BlnOwn || BlnListed);
    MbrMapNamedBands[VecInputs[LngI]].push_back(MbrVecBands.back());
  }
  if (std::count_if(VecInputs.begin(), VecInputs.end(), IsStandardStream) > 1) {
    throw CLI::ValidationError("standard input (-) can be read by one grid argument only");
  }
  std::set<std::string> SetOutputs;
  for (const std::string& StgOutput : VecOutputs) {
    if (!SetOutputs.insert(StgOutput).second) {
      throw CLI::ValidationError(IsStandardStream(StgOutput)
                                     ? "standard output (-) can take one output only"
                                     : "output " + StgOutput + " is named twice");
    }
  }
  // x.asc, ./x.asc, a link to it or a hard link: the later result would replace the earlier one.
  std::map<std::string, std::string> MapIdentities;
  for (const std::string& StgOutput : VecOutputs) {
    const std::string StgIdentity = IsStandardStream(StgOutput) ? "" : FileIdentity(StgOutput);
    if (StgIdentity.empty()) {
      continue;
    }
    const auto Inserted = MapIdentities.emplace(StgIdentity, StgOutput);
    if (!Inserted.second) {
      throw CLI::ValidationError("outputs " + Inserted.first->second + " and " + StgOutput +
                                 " are the same file");
    }
  }
  // The same for sidecars: x.asc's would replace an output x.prj, or the sidecar x.asc and x.txt
  // share would be written for one of them only.
  std::map<std::string, std::string> MapSidecars;
  for (const std::string& StgOutput : VecOutputs) {
    if (!TakesSidecar(StgOutput, MbrOptions)) {
      continue;
    }
    const std::string StgPrjName = TPrjFileTools::GetPrjFileName(StgOutput);
    const std::string StgIdentity = FileIdentity(StgPrjName);
    if (StgIdentity.empty()) {
      continue;
    }
    const auto ItOutput = MapIdentities.find(StgIdentity);
    if (ItOutput != MapIdentities.end()) {
      throw CLI::ValidationError("output " + ItOutput->second + " is the sidecar of output " +
                                 StgOutput);
    }
    const auto Inserted = MapSidecars.emplace(StgIdentity, StgOutput);
    if (!Inserted.second) {
      throw CLI::ValidationError("outputs " + Inserted.first->second + " and " + StgOutput +
                                 " share the sidecar " + StgPrjName);
    }
  }
  for (const std::string& StgOutput : VecOutputs) {
#ifdef TESSGRID_WITH_GDAL
    const std::string StgFormat = RasterFormat(StgOutput, MbrOptions);
    if (!StgFormat.empty()) {
      try {
        CheckRasterFormat(StgFormat);
      } catch (const std::string& StgMessage) {
        throw CLI::ValidationError("--format: " + StgMessage);
      }
    }
#else
    if (IsGeoTiffName(StgOutput)) {
      throw CLI::ValidationError("output " + StgOutput +
                                 " is a GeoTIFF, and this tessgrid-tool was built without GDAL");
    }
#endif
  }
  std::vector<std::string> VecFiles;
  std::vector<int> VecFileBands;
  for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
    if (!IsStandardStream(VecInputs[LngI])) {
      VecFiles.push_back(VecInputs[LngI]);
      VecFileBands.push_back(MbrVecBands[LngI]);
    }
  }
  // Every band named is opened, so that a band the raster lacks fails the run here.
  MbrVecRanges.clear();
  for (std::size_t LngI = 0, LngFile = 0; LngI < VecInputs.size(); ++LngI) {
    if (IsStandardStream(VecInputs[LngI])) {
      MbrVecRanges.push_back(AnyDouble());
      continue;
    }
    OpenRasters({VecFiles[LngFile]}, {VecFileBands[LngFile]});
    ++LngFile;
    std::string StgType;
#ifdef TESSGRID_WITH_GDAL
    const auto ItRaster = MbrMapRasters.find(VecInputs[LngI]);
    if (ItRaster != MbrMapRasters.end()) {
      StgType = ItRaster->second.PtrReader->Facts().StgType;
    }
#endif
    if (RasterFacts(VecInputs[LngI]) == nullptr && VecExplicit[LngI] && MbrVecBands[LngI] != 1) {
      Fail(VecInputs[LngI] + ": no band " + std::to_string(MbrVecBands[LngI]) +
           " (the grid has 1)");
    }
    MbrVecRanges.push_back(RangeOfType(StgType));
  }
  // Before anything is loaded, an output's no-data value is best told by the first input's.
  MbrDblFirstNoData = OutputNoData(std::string());
#ifdef TESSGRID_WITH_GDAL
  const auto ItFirst = VecInputs.empty() ? MbrMapRasters.end() : MbrMapRasters.find(VecInputs[0]);
  if (!MbrOptions.OptNoData.has_value() && ItFirst != MbrMapRasters.end()) {
    MbrDblFirstNoData = ItFirst->second.PtrReader->Header().DblNoData;
  }
#endif
#ifdef TESSGRID_WITH_GDAL
  // A format or an option that cannot keep the cells fails the run before anything is read:
  // the writer would refuse it only once the result exists.
  for (const std::string& StgOutput : VecOutputs) {
    if (WritesRaster(StgOutput)) {
      CheckRasterTarget(RasterTarget(StgOutput, std::string()), StgOutput);
    }
  }
#endif
  // Each input's coordinate system, from its raster or its sidecar, and all of them alike
  // unless --ignore-crs.
  MbrStgCrsInput.clear();
  for (const std::string& StgFile : VecFiles) {
    CheckCrsOf(StgFile);
  }
  // The safe replace's own checks, so that a run fails before it reads its inputs when an
  // output cannot take its temporary; staging would find it too, only later.
  for (const std::string& StgOutput : VecOutputs) {
    if (IsStandardStream(StgOutput)) {
      continue;
    }
    CheckWritable(StgOutput);
    const std::string StgPrjName = TPrjFileTools::GetPrjFileName(StgOutput);
    struct stat PrjStat {};
    if (TakesSidecar(StgOutput, MbrOptions) && ::lstat(StgPrjName.c_str(), &PrjStat) == 0) {
      CheckWritable(StgPrjName);
    }
  }
}

TProgress::TProgress(const TToolOptions& Options, const char* PtrVerb, std::size_t LngTotal,
                     const char* PtrUnit)
    : MbrBlnShown(!Options.BlnQuiet && ::isatty(STDERR_FILENO) == 1 && LngTotal > 1),
      MbrPtrVerb(PtrVerb),
      MbrLngTotal(LngTotal),
      MbrPtrUnit(PtrUnit) {}

TProgress::~TProgress() {
  if (MbrBlnShown) {
    std::cerr << "\r\033[K" << std::flush;
  }
}

void TProgress::Step(std::size_t LngDone) {
  // A redraw per hundredth at most: a long stream of thin rounds would spend its time on them.
  const std::size_t LngHundredths = LngDone * 100 / std::max<std::size_t>(1, MbrLngTotal);
  if (!MbrBlnShown || (LngDone < MbrLngTotal && LngHundredths == MbrLngShown)) {
    return;
  }
  MbrLngShown = LngHundredths;
  std::cerr << "\rtessgrid-tool: " << MbrPtrVerb << ' ' << LngDone << " of " << MbrLngTotal << ' '
            << MbrPtrUnit << "\033[K" << std::flush;
}

void TToolRun::OpenRasters(const std::vector<std::string>& VecFiles,
                           const std::vector<int>& VecBands) {
#ifdef TESSGRID_WITH_GDAL
  for (std::size_t LngI = 0; LngI < VecFiles.size(); ++LngI) {
    const std::string& StgFile = VecFiles[LngI];
    const auto It = MbrMapRasters.find(StgFile);
    if (It != MbrMapRasters.end() && It->second.IntBand == VecBands[LngI]) {
      continue;
    }
    std::unique_ptr<TRasterReader> PtrReader = TRasterReader::OpenIfRaster(StgFile, VecBands[LngI]);
    if (PtrReader) {
      // The facts of the first band named describe the file; each band's own type counts
      // through the input ranges.
      MbrMapRasterFacts.emplace(StgFile, PtrReader->Facts());
      const std::string& StgWkt = PtrReader->CrsText();
      MbrMapPrjs[StgFile] = StgWkt.empty() ? std::nullopt : std::optional<std::string>(StgWkt);
      MbrMapCrsOrigins[StgFile] = StgFile;
      MbrMapRasters[StgFile] = TOpenBand{VecBands[LngI], std::move(PtrReader)};
    }
  }
#else
  static_cast<void>(VecFiles);
  static_cast<void>(VecBands);
#endif
}

std::unique_ptr<TMap> TToolRun::LoadDescribed(const std::string& StgName, int IntBand) {
#ifdef TESSGRID_WITH_GDAL
  if (!IsStandardStream(StgName)) {
    OpenRasters({StgName}, {IntBand});
  }
  const auto ItRaster = MbrMapRasters.find(StgName);
  if (ItRaster != MbrMapRasters.end()) {
    std::unique_ptr<TMap> PtrRaster = ItRaster->second.PtrReader->ReadMap();
    // Closed once read: an open raster keeps its blocks in GDAL's cache.
    MbrMapRasters.erase(ItRaster);
    MbrMapInputs[StgName] = DescribeInput(StgName, *PtrRaster);
    return PtrRaster;
  }
#else
  static_cast<void>(IntBand);
#endif
  std::unique_ptr<TMap> PtrMap(
      IsStandardStream(StgName)
          ? TARCGISFileTools::LoadARCGISFile(std::cin, TGridHeaderMode::kLenient)
          : TARCGISFileTools::LoadARCGISFile(StgName, TGridHeaderMode::kLenient));
  MbrMapInputs[StgName] = DescribeInput(StgName, *PtrMap);
  return PtrMap;
}

std::unique_ptr<TMap> TToolRun::Load(const std::string& StgName) {
  return Load(StgName, BandOf(StgName, true));
}

std::unique_ptr<TMap> TToolRun::Load(const std::string& StgName, int IntBand) {
  std::unique_ptr<TMap> PtrMap = LoadDescribed(StgName, IntBand);
  ToLibraryNoData(*PtrMap, MbrMapInputs[StgName]);
  return PtrMap;
}

std::unique_ptr<TMap> TToolRun::LoadAsWritten(const std::string& StgName) {
  return LoadDescribed(StgName, BandOf(StgName, true));
}

std::vector<std::unique_ptr<TMap>> TToolRun::LoadAll(const std::vector<std::string>& VecNames) {
  TProgress Progress(MbrOptions, "loaded", VecNames.size());
  std::vector<std::unique_ptr<TMap>> VecMaps;
  VecMaps.reserve(VecNames.size());
  for (const std::string& StgName : VecNames) {
    VecMaps.push_back(Load(StgName));
    Progress.Step(VecMaps.size());
  }
  return VecMaps;
}

TGridHeader TToolRun::ReadHeader(const std::string& StgName) {
#ifdef TESSGRID_WITH_GDAL
  if (!IsStandardStream(StgName)) {
    OpenRasters({StgName}, {BandOf(StgName, false)});
  }
  const auto ItRaster = MbrMapRasters.find(StgName);
  if (ItRaster != MbrMapRasters.end()) {
    return ItRaster->second.PtrReader->Header();
  }
#endif
  std::string StgFirstCell;
  if (IsStandardStream(StgName)) {
    TStreamSource Source(std::cin);
    return ReadGridHeader(Source, TGridHeaderMode::kLenient, StgFirstCell);
  }
  TFileSource Source(StgName);
  return ReadGridHeader(Source, TGridHeaderMode::kLenient, StgFirstCell);
}

void TToolRun::CheckCrsOf(const std::string& StgFile) {
  // A raster's own system was taken when it was opened.
  if (MbrMapPrjs.count(StgFile) == 0) {
    std::string StgText;
    MbrMapPrjs[StgFile] = TPrjFileTools::LoadPrjFile(StgFile, StgText)
                              ? std::optional<std::string>(std::move(StgText))
                              : std::nullopt;
    MbrMapCrsOrigins[StgFile] = TPrjFileTools::GetPrjFileName(StgFile);
  }
  if (MbrOptions.BlnIgnoreCrs || !MbrMapPrjs[StgFile].has_value()) {
    return;
  }
  if (MbrStgCrsInput.empty()) {
    MbrStgCrsInput = StgFile;
  } else if (!SameCrs(*MbrMapPrjs[MbrStgCrsInput], *MbrMapPrjs[StgFile])) {
    Fail("inputs have different coordinate systems: " + MbrMapCrsOrigins[MbrStgCrsInput] + ", " +
         MbrMapCrsOrigins[StgFile]);
  }
}

const std::string* TToolRun::CrsText(const std::string& StgName) const {
  const auto It = MbrMapPrjs.find(StgName);
  return It == MbrMapPrjs.end() || !It->second.has_value() ? nullptr : &*It->second;
}

const TInputGrid& TToolRun::Input(const std::string& StgName) const {
  return MbrMapInputs.at(StgName);
}

bool TToolRun::WritesRaster(const std::string& StgOutput) const {
  return !RasterFormat(StgOutput, MbrOptions).empty();
}

const TRasterFacts* TToolRun::RasterFacts(const std::string& StgName) const {
  const auto It = MbrMapRasterFacts.find(StgName);
  return It == MbrMapRasterFacts.end() ? nullptr : &It->second;
}

void TToolRun::CheckAligned(const std::vector<std::string>& VecNames) const {
  if (MbrOptions.BlnByIndex) {
    return;
  }
  std::vector<const TInputGrid*> VecGrids;
  for (const std::string& StgName : VecNames) {
    VecGrids.push_back(&Input(StgName));
  }
  tessgrid::detail::CheckAligned(VecGrids);
}

double TToolRun::ToLibraryValue(double DblValue, const std::string& StgName) const {
  if (MbrOptions.OptNoData.has_value() &&
      (DblValue == *MbrOptions.OptNoData ||
       (std::isnan(DblValue) && std::isnan(*MbrOptions.OptNoData)))) {
    return kDblLibraryNoData;
  }
  return tessgrid::detail::ToLibraryValue(DblValue, Input(StgName));
}

double TToolRun::OutputNoData(const std::string& StgSource) const {
  if (MbrOptions.OptNoData.has_value()) {
    return *MbrOptions.OptNoData;
  }
  const auto It = MbrMapInputs.find(StgSource);
  return It == MbrMapInputs.end() ? kDblLibraryNoData : It->second.DblNoData;
}

TGridLayout TToolRun::LayoutOn(const TMap& Map, const std::string& StgSource) const {
  TGridLayout Layout = GridLayoutOf(Map);
  // Operations rebuild edges from centres, which drifts in the last bits; on its source's grid
  // the output states the corners and cell size the source's header stated.
  const auto It = MbrMapInputs.find(StgSource);
  if (It != MbrMapInputs.end() && OnGridOf(Map, It->second)) {
    Layout.DblWest = It->second.DblWest;
    Layout.DblSouth = It->second.DblSouth;
    Layout.DblCellSize = It->second.DblCellSize;
  }
  return Layout;
}

void TToolRun::Write(TMap* PtrMap, const std::string& StgOutput, const std::string& StgSource) {
  ToDeclaredNoData(*PtrMap, OutputNoData(StgSource), StgOutput);
  TGridLayout Layout = LayoutOn(*PtrMap, StgSource);
  if (!RasterFormat(StgOutput, MbrOptions).empty()) {
    StageRaster(*PtrMap, Layout, StgOutput, StgSource);
    return;
  }
  Layout.IntDigits = MbrOptions.IntDigits;
  Layout.BlnNaNNoData = std::isnan(Layout.DblNoData);
  WriteText(StgOutput, [PtrMap, Layout](std::ostream& Output) {
    WriteGridWithLayout(*PtrMap, Layout, Output);
  });
  WriteSidecar(StgOutput, StgSource);
}

TRasterTarget TToolRun::RasterTarget(const std::string& StgOutput, const std::string& StgSource) {
  TRasterTarget Target;
#ifdef TESSGRID_WITH_GDAL
  Target.StgFormat = RasterFormat(StgOutput, MbrOptions);
  if (!MbrOptions.StgType.empty()) {
    RasterTypeOf(MbrOptions.StgType, Target.Type);
  } else {
    Target.Type = ResultType(StgSource.empty() ? MbrDblFirstNoData : OutputNoData(StgSource));
  }
  if (Target.StgFormat == "GTiff") {
    Target.VecOptions = DefaultGeoTiffOptions(Target.Type);
  }
  Target.VecOptions.insert(Target.VecOptions.end(), MbrOptions.VecCreationOptions.begin(),
                           MbrOptions.VecCreationOptions.end());
  const auto ItCrs = MbrMapPrjs.find(StgSource);
  if (ItCrs != MbrMapPrjs.end() && ItCrs->second.has_value()) {
    Target.StgCrsText = *ItCrs->second;
    Target.StgCrsOrigin = MbrMapCrsOrigins[StgSource];
  }
#else
  static_cast<void>(StgOutput);
  static_cast<void>(StgSource);
#endif
  return Target;
}

TRasterType TToolRun::ResultType(double DblNoData) const {
#ifdef TESSGRID_WITH_GDAL
  TValueRange Range = EmptyRange();
  if (MbrResultRange) {
    Range = MbrResultRange(MbrVecRanges);
  } else {
    for (const TValueRange& Input : MbrVecRanges) {
      Range = Joined(Range, Input);
    }
  }
  if (Range.BlnWhole) {
    for (const TRasterType Type : {TRasterType::kByte, TRasterType::kUInt16, TRasterType::kInt16,
                                   TRasterType::kUInt32, TRasterType::kInt32}) {
      // An empty range holds no data: the no-data value alone decides.
      if ((Range.DblLow > Range.DblHigh ||
           (TypeHolds(Type, Range.DblLow) && TypeHolds(Type, Range.DblHigh))) &&
          TypeHolds(Type, DblNoData)) {
        return Type;
      }
    }
  }
  // Whole numbers beyond Int32 would lose their last digits in Float32.
  if (!Range.BlnWhole && Range.BlnSingle && TypeHolds(TRasterType::kFloat32, DblNoData)) {
    return TRasterType::kFloat32;
  }
#else
  static_cast<void>(DblNoData);
#endif
  return TRasterType::kFloat64;
}

void TToolRun::WriteFile(const std::string& StgOutput,
                         const std::function<void(const std::string&)>& Write) {
#ifdef TESSGRID_WITH_GDAL
  StageRasterFile(MbrOutputs, StgOutput, Write);
#else
  MbrOutputs.StageFile(StgOutput, Write);
#endif
}

void TToolRun::StageRaster(const TMap& Map, const TGridLayout& Layout, const std::string& StgOutput,
                           const std::string& StgSource) {
#ifdef TESSGRID_WITH_GDAL
  const TRasterTarget Target = RasterTarget(StgOutput, StgSource);
  CheckFitsType(Map, Layout.DblNoData, Target.Type, StgOutput);
  WriteFile(StgOutput, [&](const std::string& StgPath) {
    tessgrid::detail::WriteRaster(Map, Layout, Target, StgPath, StgOutput);
  });
#else
  static_cast<void>(Map);
  static_cast<void>(Layout);
  static_cast<void>(StgOutput);
  static_cast<void>(StgSource);
#endif
}

void TToolRun::WriteBands(const std::string& StgOutput, const std::string& StgSource, long LngBands,
                          const std::function<std::unique_ptr<TMap>(long)>& MakeBand) {
#ifdef TESSGRID_WITH_GDAL
  const double DblNoData = OutputNoData(StgSource);
  std::unique_ptr<TMap> PtrFirst = MakeBand(1);
  ToDeclaredNoData(*PtrFirst, DblNoData, StgOutput);
  const TGridLayout Layout = LayoutOn(*PtrFirst, StgSource);
  TRasterTarget Target = RasterTarget(StgOutput, StgSource);
  // Written band after band: a GeoTIFF that keeps each band's blocks apart writes each block
  // once, where one that interleaves the bands would rewrite every block for every band.
  if (LngBands > 1 && Target.StgFormat == "GTiff") {
    Target.VecOptions.insert(Target.VecOptions.begin(), "INTERLEAVE=BAND");
  }
  CheckFitsType(*PtrFirst, DblNoData, Target.Type, StgOutput);
  WriteFile(StgOutput, [&](const std::string& StgPath) {
    TRasterRowWriter Writer(Layout, Target, StgPath, StgOutput, static_cast<int>(LngBands));
    for (long LngBand = 1; LngBand <= LngBands; ++LngBand) {
      std::unique_ptr<TMap> PtrBand = LngBand == 1 ? std::move(PtrFirst) : MakeBand(LngBand);
      if (LngBand > 1) {
        ToDeclaredNoData(*PtrBand, DblNoData, StgOutput);
        CheckFitsType(*PtrBand, DblNoData, Target.Type, StgOutput);
      }
      const TMap& Band = *PtrBand;
      Writer.Write([&Band](std::size_t LngRow) { return Band.MbrVecValues[LngRow].data(); },
                   Band.MbrVecValues.size());
    }
    Writer.Finish();
  });
#else
  static_cast<void>(StgOutput);
  static_cast<void>(StgSource);
  static_cast<void>(LngBands);
  static_cast<void>(MakeBand);
#endif
}

void TToolRun::WriteSidecar(const std::string& StgOutput, const std::string& StgSource) {
  if (!TakesSidecar(StgOutput, MbrOptions)) {
    return;
  }
  const std::string StgPrjName = TPrjFileTools::GetPrjFileName(StgOutput);
  const auto It = MbrMapPrjs.find(StgSource);
  if (It != MbrMapPrjs.end() && It->second.has_value()) {
    const std::string& StgText = *It->second;
    MbrOutputs.Stage(StgPrjName, [&StgText](std::ostream& Output) { Output << StgText; });
  } else {
    MbrOutputs.StageRemoval(StgPrjName);
  }
}

void TToolRun::WriteAll(const std::vector<std::unique_ptr<TMap>>& VecMaps,
                        const std::vector<std::string>& VecOutputs,
                        const std::vector<std::string>& VecSources) {
  TProgress Progress(MbrOptions, "written", VecMaps.size());
  for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
    Write(VecMaps[LngI].get(), VecOutputs[LngI], VecSources[LngI]);
    Progress.Step(LngI + 1);
  }
}

void TToolRun::WriteText(const std::string& StgOutput,
                         const std::function<void(std::ostream&)>& WriteTo) {
  if (IsStandardStream(StgOutput)) {
    MbrOutputs.StageStandardOutput(WriteTo);
  } else {
    MbrOutputs.Stage(StgOutput, WriteTo);
  }
}

void TToolRun::Commit() {
  MbrOutputs.Commit();
}

}  // namespace tessgrid::detail
