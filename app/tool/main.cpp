// app/tool/main.cpp - tessgrid-tool COMMAND [OPTIONS] ARGUMENTS...: every library operation from
// the shell. Parses the command line, runs the command, turns failures into one line and a status.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <limits>
#include <new>
#include <string>

#include "app/tool/ToolFrame.h"
#include "tessgrid_version.h"
#include "util/FailureText.h"

using tessgrid::detail::Report;
using tessgrid::detail::TToolContext;
using tessgrid::detail::TToolRun;

namespace {

// Exit statuses: the operation failed, or the command line is wrong.
constexpr int kLngFailed = 1;
constexpr int kLngUsage = 2;

// The terminate handler in place before TerminateOnFailure; it takes every other case.
std::terminate_handler PtrEarlierTerminate = nullptr;

// The command-line library builds validator objects in every file that includes it, before main
// runs; an allocation that fails there meets no handler. Nothing is written by then, so it is
// reported as main reports one instead of aborting; any other exception aborts as before.
[[noreturn]] void TerminateOnFailure() {
  if (const std::exception_ptr PtrCurrent = std::current_exception()) {
    try {
      std::rethrow_exception(PtrCurrent);
    } catch (const std::bad_alloc&) {
      static const char kChrOutOfMemory[] = "tessgrid-tool: Out of memory\n";
      [[maybe_unused]] const ssize_t LngWritten =
          ::write(STDERR_FILENO, kChrOutOfMemory, sizeof kChrOutOfMemory - 1);
      std::_Exit(kLngFailed);
    } catch (...) {
    }
  }
  if (PtrEarlierTerminate != nullptr) {
    PtrEarlierTerminate();
  }
  std::abort();
}

// Priority 101 runs before every static object of the program that has none.
__attribute__((constructor(101))) void InstallTerminateHandler() {
  PtrEarlierTerminate = std::set_terminate(TerminateOnFailure);
}

// CLI11 calls a word that names no command an extra argument; the user meant a command.
std::string UnknownCommand(int argc, char** argv, const std::string& StgParseMessage) {
  for (int IntI = 1; IntI < argc; ++IntI) {
    if (argv[IntI][0] != '-') {
      return std::string("unknown command ") + argv[IntI];
    }
  }
  return StgParseMessage;
}

// Builds the command table, parses the command line and runs the command. Every allocation of
// it happens inside main's guard, so that running out of memory anywhere is a reported failure.
int RunTool(int argc, char** argv) {
  tessgrid::detail::PrepareProcess();
  TToolContext Context;
  CLI::App App(
      "Every tessgrid operation from the shell. Grids are ASCII grid files; - reads standard "
      "input or writes standard output. Inputs whose .prj sidecars differ are refused; each "
      "output grid gets the sidecar of the input whose grid it takes.",
      "tessgrid-tool");
  App.footer(
      "The global options may also follow the command. Run tessgrid-tool COMMAND --help for "
      "a command's arguments and an example.");
  App.set_version_flag("--version", "tessgrid-tool " TESSGRID_VERSION_STRING,
                       "Print the version and exit");
  App.add_flag("-q,--quiet", Context.Options.BlnQuiet, "No progress line on standard error");
  App.add_flag("--ignore-crs", Context.Options.BlnIgnoreCrs,
               "Combine inputs whose coordinate-system sidecars differ");
  App.add_flag("--by-index", Context.Options.BlnByIndex,
               "Pair grids that are not aligned by column and row all the same");
  double DblNoData = 0.0;
  CLI::Option* PtrNoData = tessgrid::detail::AddNumber(
      &App, "--nodata", DblNoData,
      "The NODATA_value every output declares (default: that of the input whose grid it takes)");
  App.add_option("--digits", Context.Options.IntDigits,
                 "Significant digits of output numbers, 6 to 17 (17 keeps every double exact)")
      ->check(CLI::Range(6, 17));
#ifdef TESSGRID_WITH_GDAL
  App.add_option("--band", Context.Options.IntBand,
                 "The band read from every raster GDAL opens (default 1)")
      ->check(CLI::PositiveNumber);
  App.add_option("--bands", Context.Options.VecBands,
                 "One band per input grid, in the order the command takes its inputs, "
                 "separated by commas (add f.tif f.tif ndiff.tif --bands 2,1); it overrides "
                 "--band")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::Range(1, std::numeric_limits<int>::max()))
      ->type_name("N,N,...");
  App.add_option("--format", Context.Options.StgFormat,
                 "GDAL format (short name) of every output not named .asc, whatever its name "
                 "(without it, .tif and .tiff are GeoTIFF and others ASCII grids)");
  App.add_option("--co", Context.Options.VecCreationOptions,
                 "A creation option KEY=VALUE of raster outputs; repeatable")
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& StgText) {
            return StgText.find('=') == std::string::npos ? "not KEY=VALUE: " + StgText
                                                          : std::string();
          },
          "KEY=VALUE"));
  App.add_option("--type", Context.Options.StgType,
                 "Cell type of raster outputs (default: the smallest that holds every result "
                 "the inputs' types allow)")
      ->check(CLI::IsMember({"Float64", "Float32", "Int32", "UInt32", "Int16", "UInt16", "Byte"}));
#endif
  App.require_subcommand(1);
  tessgrid::detail::AddArithmeticCommands(App, Context);
  tessgrid::detail::AddTransformCommands(App, Context);
  tessgrid::detail::AddSeriesCommands(App, Context);
  tessgrid::detail::AddResamplingCommands(App, Context);
  tessgrid::detail::AddExtentCommands(App, Context);
  tessgrid::detail::AddTableCommands(App, Context);
#ifdef TESSGRID_WITH_CALC
  tessgrid::detail::AddCalcCommand(App, Context);
#endif

  try {
    App.parse(argc, argv);
    if (PtrNoData->count() > 0) {
      Context.Options.OptNoData = DblNoData;
    }
    TToolRun Run(Context.Options);
    Context.Action(Run);
    // The command staged its outputs; they take their places together, or none does.
    Run.Commit();
    return 0;
  } catch (const CLI::ParseError& Error) {
    // Help and version are "errors" of status 0 that CLI11 prints on standard output.
    if (Error.get_exit_code() == 0) {
      return App.exit(Error);
    }
    Report(App.get_subcommands().empty() ? UnknownCommand(argc, argv, Error.what()) : Error.what());
    return kLngUsage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return RunTool(argc, argv);
  } catch (...) {
    Report(tessgrid::detail::CurrentFailureText("Unknown failure in tessgrid-tool").StgText);
  }
  return kLngFailed;
}
