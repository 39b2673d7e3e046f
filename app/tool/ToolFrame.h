// app/tool/ToolFrame.h - the frame every command of tessgrid-tool shares: registration, grids in
// and out with their sidecars, progress, options, printing. app/tool/*Commands.cpp use it.
#ifndef APP_TOOL_TOOLFRAME_H
#define APP_TOOL_TOOLFRAME_H

#include <CLI/CLI.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/NoDataModel.h"
#include "engine/ValueRange.h"
#include "io/BlockWriter.h"
#include "io/SafeReplace.h"
#include "io/gdal/Rasters.h"
#include "model/Fail.h"
#include "model/TMap.h"
#include "model/TPoint.h"

namespace tessgrid::detail {

/// The flags of the whole program, which may also follow the command.
struct TToolOptions {
  bool BlnQuiet = false;            ///< no progress line, even on a terminal
  bool BlnIgnoreCrs = false;        ///< inputs whose sidecars differ are combined all the same
  bool BlnByIndex = false;          ///< grids that are not aligned are paired by column and row
  std::optional<double> OptNoData;  ///< the NODATA_value every output declares, when given
  int IntDigits = 0;                ///< significant digits of the output numbers; 0: the rule's
  int IntBand = 1;                  ///< the band read from every raster GDAL opens; from 1
  std::vector<int> VecBands;        ///< --bands: one band per input, in input order; or empty
  std::string StgFormat;            ///< GDAL format of outputs not named .asc, .tif or .tiff
  std::vector<std::string> VecCreationOptions;  ///< KEY=VALUE for GDAL, in the order given
  std::string StgType;  ///< cell type of raster outputs; empty: the smallest that holds the
                        ///< result (see TToolRun::SetResultRange)
};

/// The values a command's result can take from the ranges of its inputs, in the order Prepare
/// names them (see engine/ValueRange.h).
using TResultRangeRule = std::function<TValueRange(const std::vector<TValueRange>&)>;

class TToolRun;

/// What the commands share while the command line is parsed: the flags, and the action of the
/// command that was named (set by its parse callback, run once parsing has succeeded).
struct TToolContext {
  TToolOptions Options;                   ///< filled while parsing
  std::function<void(TToolRun&)> Action;  ///< empty until a command has been parsed
};

/// Returns whether a grid argument names standard input or output.
inline bool IsStandardStream(const std::string& StgName) {
  return StgName == "-";
}

/// Prepares the process once, before anything is parsed.
void PrepareProcess();

/// Prints the failure line "tessgrid-tool: <message>" on standard error.
void Report(std::string_view StgMessage);

/// Adds a command whose help ends with the example; parsing it leaves its action in the
/// context. Returns the command, for its arguments and options.
CLI::App* AddCommand(CLI::App& App, TToolContext& Context, const std::string& StgName,
                     const std::string& StgSummary, const std::string& StgExample,
                     std::function<void(TToolRun&)> Action);

/// Adds a required grid argument ("-" is standard input or output).
CLI::Option* AddGrid(CLI::App* PtrCommand, const std::string& StgName, std::string& StgTarget,
                     const std::string& StgHelp);

/// Adds an option that takes one number, read as the grid reader reads a cell ("-9999", "1e3",
/// "inf"); a token that is not a number is a command-line error.
CLI::Option* AddNumber(CLI::App* PtrCommand, const std::string& StgName, double& DblTarget,
                       const std::string& StgHelp);

/// The same for an option that takes any number of numbers.
CLI::Option* AddNumbers(CLI::App* PtrCommand, const std::string& StgName,
                        std::vector<double>& VecTarget, const std::string& StgHelp);

/// Runs the call; when it fails with a message (char* or std::string), Explain turns the message
/// into the cause a user understands and keeps the message after it, or returns it unchanged.
/// Other failures (std::bad_alloc) pass through.
template <typename TCall, typename TExplain>
auto Explained(TCall&& Call, TExplain&& Explain) -> decltype(Call()) {
  try {
    return Call();
  } catch (const char* PtrMessage) {
    Fail(Explain(std::string(PtrMessage)));
  } catch (const std::string& StgMessage) {
    Fail(Explain(StgMessage));
  }
}

/// Returns whether the point lies in a cell of the grid (a cell holds its western and southern
/// edges).
bool Inside(const TInputGrid& Grid, double DblX, double DblY);

/// Returns "(x, y)" with the numbers as the grid writer writes them.
std::string PointText(const TPoint& Point);

/// Returns the names of a list file, one a line; blank lines do not count and a CR before the
/// line end is dropped. Throws "Unable to open file " followed by the name.
std::vector<std::string> ReadNameList(const std::string& StgFileName);

/// One line of a CSV file of numbers, and where it stood.
struct TNumberLine {
  std::vector<double> VecFields;  ///< as many numbers as the layout names
  long LngLine;                   ///< counted from 1
};

/// Returns the lines of a CSV file of numbers, each of the fields the layout names ("key,x,y"),
/// separated by commas and read as the grid reader reads a cell; blanks and tabs around a field
/// and blank lines do not count.
/// Throws "Unable to open file " followed by the name, and "File format error: expected
/// <layout> at line <n> of <file>" for a line that does not fit.
std::vector<TNumberLine> ReadNumberTable(const std::string& StgFileName,
                                         const std::string& StgLayout);

/// Throws "File format error: duplicate key at line <n> of <file>" unless the key is new to the
/// keys seen so far; adds it otherwise.
void AddKey(std::map<double, long>& MapSeen, double DblKey, long LngLine,
            const std::string& StgFileName);

/// Prints what Fill writes to standard output in large writes, numbers by the grid writer's
/// rule. Commands call it only once their results all exist.
/// Throws "Unable to write standard output" when standard output takes no more text.
void Print(const std::function<void(TBlockWriter&)>& Fill);

/// One line on standard error, redrawn in place, for runs over lists of maps or streamed rows:
/// "tessgrid-tool: loaded 3 of 12 maps". Shown only to a person at a terminal and when the run
/// is not quiet (a log file or a pipe would collect every redraw), and only for more than one
/// thing; cleared when it goes.
class TProgress {
 public:
  TProgress(const TToolOptions& Options, const char* PtrVerb, std::size_t LngTotal,
            const char* PtrUnit = "maps");
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  /// Shows that LngDone of the things are done; redraws at most once a hundredth, and at the end.
  void Step(std::size_t LngDone);

 private:
  bool MbrBlnShown;             ///< standard error is a terminal and the run is not quiet
  const char* MbrPtrVerb;       ///< "loaded", "written", ...
  std::size_t MbrLngTotal;      ///< things to do
  const char* MbrPtrUnit;       ///< "maps" or "rows"
  std::size_t MbrLngShown = 0;  ///< the hundredths last shown
};

/// One run of a command: reads its grids, stages its results and their sidecars, shows
/// progress, and keeps the promise that a failing run leaves every output as it was. The
/// outputs are prepared whole first (every temporary written and synced) and put in place by
/// Commit; a run that ends without Commit leaves no temporary behind (see TOutputSet).
class TToolRun {
 public:
  explicit TToolRun(const TToolOptions& Options);

  /// Gives input i of Prepare's list band VecBands[i] where it is above 0, before Prepare; the
  /// others take --bands, else --band. A command whose inputs carry bands of their own (calc's
  /// --A-band) calls it.
  void SetBands(std::vector<int> VecBands) { MbrVecGivenBands = std::move(VecBands); }

  /// Tells, before Prepare, which values the command's result can take from those of its
  /// inputs; without it, the values of any input (a result made of input cells). A raster
  /// output without --type takes the smallest type that holds them (see ResultType).
  void SetResultRange(TResultRangeRule Rule) { MbrResultRange = std::move(Rule); }

  /// Returns the band Prepare gives input i, from 1.
  int InputBand(std::size_t LngInput) const;

  /// Checks, before anything is read or written: --bands gives one band per input (a
  /// command-line error "--bands gives N bands for M input grids; give one per input, in
  /// order"), every band asked for exists ("N: no band B (the raster has K)", and for a grid
  /// that is no raster "N: no band B (the grid has 1)"), standard input is named at most once and
  /// standard output at most once, no output is named twice, no two outputs are the same file
  /// (command-line errors), the inputs' sidecars agree unless --ignore-crs was given, and every
  /// output can be written by the safe replace's own rule (CheckWritable).
  /// Keeps the inputs' sidecar texts, so outputs get them even when an output replaces an input.
  /// Throws CLI::ValidationError for a command-line error ("output x.asc is named twice",
  /// "outputs x.asc and ./x.asc are the same file"), "inputs have different coordinate
  /// systems: a.prj, b.prj", the failures of TPrjFileTools::LoadPrjFile, those of
  /// CheckWritable for the first output (or its sidecar) that cannot be written, and, built
  /// with GDAL, those of CheckRasterTarget for the first raster output whose format, type or
  /// options cannot keep the cells.
  void Prepare(const std::vector<std::string>& VecInputs,
               const std::vector<std::string>& VecOutputs);

  /// Loads a grid with the lenient header rule ("-" reads standard input) for the library's
  /// operations: its declared no-data cells become -9999 (see ToLibraryNoData). Built with GDAL,
  /// a file GDAL reads that is no ASCII grid (see TRasterReader::OpenIfRaster) is read through
  /// it instead, its no-data value declared: the band Prepare gave the input of the name (an
  /// input named more than once takes the band of each naming in turn, load by load); throws
  /// the reader's failures.
  std::unique_ptr<TMap> Load(const std::string& StgName);

  /// Loads band IntBand of a grid as Load loads it.
  std::unique_ptr<TMap> Load(const std::string& StgName, int IntBand);

  /// Returns the number of bands of an input Prepare named: a raster's, 1 for an ASCII grid.
  long BandCount(const std::string& StgName) const;

  /// Loads the grids in order, showing progress.
  std::vector<std::unique_ptr<TMap>> LoadAll(const std::vector<std::string>& VecNames);

  /// Loads a grid with the lenient header rule as its file states it, no-data value included:
  /// for the commands that print cells as they are.
  std::unique_ptr<TMap> LoadAsWritten(const std::string& StgName);

  /// Returns the header of an input without reading its cells: a raster's through GDAL (see
  /// Load), else by the lenient header rule ("-" reads standard input). Throws the reader's
  /// failures for the header.
  TGridHeader ReadHeader(const std::string& StgName);

  /// Checks, after Prepare, that a grid file other than the inputs (a target grid) has the
  /// inputs' coordinate system, as Prepare compares theirs: unless --ignore-crs, and where both
  /// it and an input have one. Throws the failures of TPrjFileTools::LoadPrjFile and "inputs
  /// have different coordinate systems: a.prj, g.prj".
  void CheckCrsOf(const std::string& StgFile);

  /// Returns the coordinate-system text of an input Prepare named (its sidecar, or a raster's
  /// WKT), or null when it has none.
  const std::string* CrsText(const std::string& StgName) const;

  /// Returns what the file of a grid loaded in this run states.
  const TInputGrid& Input(const std::string& StgName) const;

  /// Records what the file of a grid read outside Load states, as Load records it.
  void Record(const TInputGrid& Grid) { MbrMapInputs[Grid.StgName] = Grid; }

  /// Returns the run's flags.
  const TToolOptions& Options() const { return MbrOptions; }

  /// Returns whether the output is written as a GDAL raster rather than an ASCII grid.
  bool WritesRaster(const std::string& StgOutput) const;

  /// Closes the rasters Prepare opened that no Load has read yet, for a caller that opens them
  /// by itself; Load opens them again.
  void CloseRasters() { MbrMapRasters.clear(); }

  /// Returns the format, type, block size and coordinate system of a grid of this run that GDAL
  /// read, or null for an ASCII grid.
  const TRasterFacts* RasterFacts(const std::string& StgName) const;

  /// Checks that the loaded grids pair cell for cell, unless --by-index was given.
  /// Throws the failure of CheckAligned.
  void CheckAligned(const std::vector<std::string>& VecNames) const;

  /// Returns the library's value for a number the user gives a command on the named grid: the
  /// grid's declared no-data value and the --nodata value stand for no-data (-9999).
  double ToLibraryValue(double DblValue, const std::string& StgName) const;

  /// Returns the NODATA_value of an output on the grid of the named input: --nodata when given,
  /// else the value the input declares (-9999 for no input).
  double OutputNoData(const std::string& StgSource) const;

  /// Stages the map as a grid ("-" is standard output), then gives it the sidecar of the input
  /// whose grid it takes, or stages the removal of its old sidecar when that input has none. The
  /// map's -9999 and non-finite cells are written as OutputNoData(StgSource) (see
  /// ToDeclaredNoData); on the input's grid the header states the input's corners and cell size
  /// as they were read. Numbers take --digits; an output that declares nan begins every row
  /// with a blank, so that readers that take a line starting with a letter for a header read a
  /// row starting with nan. Throws the failures of ToDeclaredNoData, TOutputSet::Stage and
  /// StageRemoval.
  /// Built with GDAL, an output with another name than .asc (but not "-") is of the --format
  /// given, if any, else a GeoTIFF when named .tif or .tiff: a raster of the --type, its
  /// coordinate system that of the source, no sidecar. Throws then the failures of
  /// CheckFitsType, WriteRaster and TOutputSet::StageFile instead of Stage's.
  void Write(TMap* PtrMap, const std::string& StgOutput, const std::string& StgSource);

  /// Stages a raster output of LngBands bands on the grid of the named input, band k (from 1)
  /// the map MakeBand(k) returns, each as Write writes a raster's one band (its -9999 cells the
  /// output's no-data value, its cells checked against the type); the maps are made one at a
  /// time, each once the one before is written. A GeoTIFF keeps its bands apart
  /// (INTERLEAVE=BAND) unless --co says otherwise. Throws the failures of MakeBand,
  /// ToDeclaredNoData, CheckFitsType, TRasterRowWriter and TOutputSet::StageFile.
  void WriteBands(const std::string& StgOutput, const std::string& StgSource, long LngBands,
                  const std::function<std::unique_ptr<TMap>(long)>& MakeBand);

  /// Stages the sidecar of the input whose grid a grid output takes, or the removal of the
  /// output's old sidecar when that input has none; standard output, devices and pipes get
  /// none. Throws the failures of TOutputSet::Stage and StageRemoval.
  void WriteSidecar(const std::string& StgOutput, const std::string& StgSource);

  /// Stages map i for output i with the sidecar of source i, showing progress.
  void WriteAll(const std::vector<std::unique_ptr<TMap>>& VecMaps,
                const std::vector<std::string>& VecOutputs,
                const std::vector<std::string>& VecSources);

  /// Stages a text output ("-" is standard output).
  /// Throws the failures of TOutputSet::Stage.
  void WriteText(const std::string& StgOutput, const std::function<void(std::ostream&)>& WriteTo);

  /// Returns how Write writes a raster output on the grid of the named input: its format, the
  /// --type (else ResultType for the output's no-data value; with no input named, that of
  /// --nodata or of Prepare's first input), the format's defaults and --co, and the input's
  /// coordinate system.
  TRasterTarget RasterTarget(const std::string& StgOutput, const std::string& StgSource);

  /// Stages a raster output that Write makes at the path it is given, with every file its
  /// format writes beside it (see StageRasterFile and TOutputSet::StageFile).
  /// Throws the failures of TOutputSet::StageFile.
  void WriteFile(const std::string& StgOutput,
                 const std::function<void(const std::string&)>& Write);

  /// Puts every staged output in place: standard output, devices and pipes are written, then
  /// the temporaries renamed and old sidecars removed, each sidecar right after its grid.
  /// Throws the failures of TOutputSet::Commit.
  void Commit();

 private:
  // Loads the grid and records what its file states.
  std::unique_ptr<TMap> LoadDescribed(const std::string& StgName, int IntBand);

  // Opens the band of each input GDAL reads that is not open: for its coordinate system, and
  // again for its cells when a run reads one file twice.
  void OpenRasters(const std::vector<std::string>& VecFiles, const std::vector<int>& VecBands);

  // The band the next Load of the name reads; BlnTake counts it as read.
  int BandOf(const std::string& StgName, bool BlnTake);

  // The smallest raster type that holds the values the result can take and the no-data value:
  // a whole range the smallest integer type (Byte, UInt16, Int16, UInt32, Int32) holding it,
  // and Float64 where none does; any other Float32 where the inputs behind it are all Float32
  // values and so is the no-data value, else Float64.
  TRasterType ResultType(double DblNoData) const;

  // The layout of an output on the grid of the named input: the map's, with the corner and
  // cell size the input's header stated where the map lies on its grid.
  TGridLayout LayoutOn(const TMap& Map, const std::string& StgSource) const;

  // Stages the map as a raster of the output's format; Write has made its no-data declared.
  void StageRaster(const TMap& Map, const TGridLayout& Layout, const std::string& StgOutput,
                   const std::string& StgSource);

  TToolOptions MbrOptions;                                       ///< the run's flags
  std::map<std::string, std::optional<std::string>> MbrMapPrjs;  ///< input -> sidecar text, or
                                                                 ///< a raster's WKT
  std::map<std::string, std::string> MbrMapCrsOrigins;  ///< input -> the file of its CRS text
  std::string MbrStgCrsInput;  ///< the first input Prepare found a CRS text for, or empty
  std::map<std::string, TInputGrid> MbrMapInputs;  ///< input -> what it states
  // Shared, not unique: the reader's destructor then comes with the GDAL build that makes one.
  struct TOpenBand {
    int IntBand = 1;                           ///< the band it reads
    std::shared_ptr<TRasterReader> PtrReader;  ///< never null
  };
  std::map<std::string, TOpenBand> MbrMapRasters;  ///< open until loaded
  std::vector<int> MbrVecGivenBands;               ///< SetBands: a band per input where above 0
  std::vector<int> MbrVecBands;                    ///< the band of input i of Prepare's list
  std::map<std::string, std::vector<int>> MbrMapNamedBands;  ///< name -> bands of its namings
  std::map<std::string, std::size_t> MbrMapBandsTaken;       ///< name -> namings loaded so far
  std::vector<TValueRange> MbrVecRanges;         ///< values input i of Prepare's list can hold
  TResultRangeRule MbrResultRange;               ///< SetResultRange's; empty: any input's values
  double MbrDblFirstNoData = kDblLibraryNoData;  ///< Prepare's guess of an output's no-data
  std::map<std::string, TRasterFacts> MbrMapRasterFacts;  ///< input GDAL reads -> its facts
  TOutputSet MbrOutputs;  ///< what the run stages; uncommitted, it removes its temporaries
};

/// The commands, one registration function per group (app/tool/*Commands.cpp).
void AddArithmeticCommands(CLI::App& App, TToolContext& Context);
void AddTransformCommands(CLI::App& App, TToolContext& Context);
void AddSeriesCommands(CLI::App& App, TToolContext& Context);
void AddResamplingCommands(CLI::App& App, TToolContext& Context);
void AddExtentCommands(CLI::App& App, TToolContext& Context);
void AddTableCommands(CLI::App& App, TToolContext& Context);
#ifdef TESSGRID_WITH_CALC
/// calc is built only with muparser (app/tool/CalcCommand.cpp).
void AddCalcCommand(CLI::App& App, TToolContext& Context);
#endif

}  // namespace tessgrid::detail

#endif  // APP_TOOL_TOOLFRAME_H
