// app/tool/main.cpp - tessgrid-tool COMMAND [OPTIONS] ARGUMENTS...: every library operation from
// the shell. Parses the command line, runs the command, turns failures into one line and a status.
#include <iostream>
#include <string>

#include "app/tool/ToolFrame.h"
#include "io/ConsoleLine.h"
#include "tessgrid_version.h"

using tessgrid::detail::Report;
using tessgrid::detail::TToolContext;
using tessgrid::detail::TToolRun;

namespace {

// Exit statuses: the operation failed, or the command line is wrong.
constexpr int kLngFailed = 1;
constexpr int kLngUsage = 2;

// CLI11 calls a word that names no command an extra argument; the user meant a command.
std::string UnknownCommand(int argc, char** argv, const std::string& StgParseMessage) {
  for (int IntI = 1; IntI < argc; ++IntI) {
    if (argv[IntI][0] != '-') {
      return std::string("unknown command ") + argv[IntI];
    }
  }
  return StgParseMessage;
}

}  // namespace

int main(int argc, char** argv) {
  tessgrid::detail::PrepareProcess();
  TToolContext Context;
  CLI::App App(
      "Every tessgrid operation from the shell. Grids are ASCII grid files; - reads standard "
      "input or writes standard output. Inputs whose .prj sidecars differ are refused; each "
      "output grid gets the sidecar of the input whose grid it takes.",
      "tessgrid-tool");
  App.footer(
      "-q and --ignore-crs may also follow the command. Run tessgrid-tool COMMAND --help for "
      "a command's arguments and an example.");
  App.set_version_flag("--version", "tessgrid-tool " TESSGRID_VERSION_STRING,
                       "Print the version and exit");
  App.add_flag("-q,--quiet", Context.Options.BlnQuiet, "No progress line on standard error");
  App.add_flag("--ignore-crs", Context.Options.BlnIgnoreCrs,
               "Combine inputs whose coordinate-system sidecars differ");
  App.require_subcommand(1);
  tessgrid::detail::AddArithmeticCommands(App, Context);
  tessgrid::detail::AddTransformCommands(App, Context);
  tessgrid::detail::AddSeriesCommands(App, Context);
  tessgrid::detail::AddResamplingCommands(App, Context);
  tessgrid::detail::AddExtentCommands(App, Context);
  tessgrid::detail::AddTableCommands(App, Context);

  try {
    App.parse(argc, argv);
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
  } catch (...) {
    tessgrid::detail::ReportCurrentFailure(Report, "Unknown failure in tessgrid-tool");
  }
  return kLngFailed;
}
