// app/tool/CalcCommand.cpp - calc: a cell-wise expression over up to 26 aligned grids, A to Z.
// muparser parses the expression; the frame (app/tool/ToolFrame.h) reads and writes the grids.
#include <muParser.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "app/tool/ToolFrame.h"
#include "io/GridReader.h"
#include "model/Fail.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

namespace {

constexpr std::size_t kLngLetters = 26;
// Rows a thread takes at a time: enough to keep the shared counter cold, few enough that the
// last blocks spread over the threads.
constexpr long kLngBlockRows = 16;

struct TCalcArguments {
  std::string StgOut;                             ///< the result grid
  std::string StgExpr;                            ///< as the user typed it
  std::array<std::string, kLngLetters> ArrGrids;  ///< grid of variable A + i; empty: none given
};

double IsNoData(double DblValue) {
  return std::isnan(DblValue) ? 1.0 : 0.0;
}

double Power(double DblBase, double DblExponent) {
  return std::pow(DblBase, DblExponent);
}

double Floor(double DblValue) {
  return std::floor(DblValue);
}

double Ceil(double DblValue) {
  return std::ceil(DblValue);
}

double Round(double DblValue) {
  return std::round(DblValue);
}

double NaturalLog(double DblValue) {
  return std::log(DblValue);
}

// One parser and the cell values its variables are bound to. It is never moved once built (the
// parser keeps the addresses), and only one thread evaluates it.
struct TCellParser {
  mu::Parser Parser;
  std::array<double, kLngLetters> ArrValues{};  ///< the current cell of variable A + i
};

std::unique_ptr<TCellParser> NewParser(const TCalcArguments& Args) {
  auto PtrParser = std::make_unique<TCellParser>();
  mu::Parser& Parser = PtrParser->Parser;
  // Every non-finite result is no-data, so NaN serves as the constant and as what isnodata sees.
  Parser.DefineConst("nodata", std::numeric_limits<double>::quiet_NaN());
  Parser.DefineFun("isnodata", IsNoData);
  Parser.DefineFun("pow", Power);
  Parser.DefineFun("floor", Floor);
  Parser.DefineFun("ceil", Ceil);
  Parser.DefineFun("round", Round);
  // Pinned: muparser versions disagree on whether log is base 10 or e.
  Parser.DefineFun("log", NaturalLog);
  for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
    if (!Args.ArrGrids[LngI].empty()) {
      Parser.DefineVar(std::string(1, static_cast<char>('A' + LngI)), &PtrParser->ArrValues[LngI]);
    }
  }
  Parser.SetExpr(Args.StgExpr);
  return PtrParser;
}

// muparser words a failure as a sentence with a position counted from 0; a user counts columns
// from 1 and wants the expression beside it.
std::string ExpressionError(const mu::ParserError& Error, const std::string& StgExpr) {
  std::string StgMessage = Error.GetMsg();
  const std::size_t LngAt = StgMessage.find(" at position ");
  if (LngAt != std::string::npos) {
    std::size_t LngEnd = LngAt + std::string(" at position ").size();
    while (LngEnd < StgMessage.size() &&
           std::isdigit(static_cast<unsigned char>(StgMessage[LngEnd]))) {
      ++LngEnd;
    }
    StgMessage.erase(LngAt, LngEnd - LngAt);
  }
  while (!StgMessage.empty() && (StgMessage.back() == '.' || StgMessage.back() == ' ')) {
    StgMessage.pop_back();
  }
  if (!StgMessage.empty()) {
    StgMessage[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(StgMessage[0])));
  }
  std::string StgText = "--expr: " + StgMessage;
  if (Error.GetPos() >= 0) {
    StgText += " at column " + std::to_string(Error.GetPos() + 1);
  }
  return StgText + " in \"" + StgExpr + "\"";
}

bool IsNameStart(char ChrC) {
  return std::isalpha(static_cast<unsigned char>(ChrC)) != 0 || ChrC == '_';
}

bool IsNameChar(char ChrC) {
  return IsNameStart(ChrC) || std::isdigit(static_cast<unsigned char>(ChrC)) != 0;
}

// The variables that appear inside the argument of an isnodata call: their no-data cells reach
// the expression as NaN instead of making the result no-data. Names are read as muparser reads
// them, and a number's exponent ("1e5") is no name.
std::array<bool, kLngLetters> TestedVariables(const std::string& StgExpr) {
  std::array<bool, kLngLetters> ArrTested{};
  std::vector<long> VecOpenArguments;  // the depth of each isnodata argument still open
  long LngDepth = 0;
  bool BlnCallPending = false;
  std::size_t LngI = 0;
  while (LngI < StgExpr.size()) {
    const char ChrC = StgExpr[LngI];
    if (IsNameStart(ChrC)) {
      const std::size_t LngStart = LngI;
      while (LngI < StgExpr.size() && IsNameChar(StgExpr[LngI])) {
        ++LngI;
      }
      const std::string StgName = StgExpr.substr(LngStart, LngI - LngStart);
      BlnCallPending = StgName == "isnodata";
      if (StgName.size() == 1 && StgName[0] >= 'A' && StgName[0] <= 'Z' &&
          !VecOpenArguments.empty()) {
        ArrTested[static_cast<std::size_t>(StgName[0] - 'A')] = true;
      }
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(ChrC)) != 0 || ChrC == '.') {
      while (
          LngI < StgExpr.size() &&
          (std::isdigit(static_cast<unsigned char>(StgExpr[LngI])) != 0 || StgExpr[LngI] == '.')) {
        ++LngI;
      }
      if (LngI < StgExpr.size() && (StgExpr[LngI] == 'e' || StgExpr[LngI] == 'E')) {
        ++LngI;
        if (LngI < StgExpr.size() && (StgExpr[LngI] == '+' || StgExpr[LngI] == '-')) {
          ++LngI;
        }
        while (LngI < StgExpr.size() &&
               std::isdigit(static_cast<unsigned char>(StgExpr[LngI])) != 0) {
          ++LngI;
        }
      }
      BlnCallPending = false;
      continue;
    }
    if (ChrC == '(') {
      ++LngDepth;
      if (BlnCallPending) {
        VecOpenArguments.push_back(LngDepth);
      }
      BlnCallPending = false;
    } else if (ChrC == ')') {
      if (!VecOpenArguments.empty() && VecOpenArguments.back() == LngDepth) {
        VecOpenArguments.pop_back();
      }
      --LngDepth;
    } else if (std::isspace(static_cast<unsigned char>(ChrC)) == 0) {
      BlnCallPending = false;
    }
    ++LngI;
  }
  return ArrTested;
}

// Checks the expression before anything is read, and returns the variables it names.
// Throws CLI::ValidationError for a syntax error, a name muparser does not know, and a variable
// without an input grid.
std::array<bool, kLngLetters> CheckExpression(const TCalcArguments& Args) {
  std::array<bool, kLngLetters> ArrNamed{};
  try {
    // SetExpr already refuses some texts (one too long).
    const std::unique_ptr<TCellParser> PtrParser = NewParser(Args);
    for (const auto& Used : PtrParser->Parser.GetUsedVar()) {
      const std::string& StgName = Used.first;
      if (StgName.size() != 1 || StgName[0] < 'A' || StgName[0] > 'Z') {
        continue;  // the full parse below reports it with its column
      }
      const std::size_t LngLetter = static_cast<std::size_t>(StgName[0] - 'A');
      if (Args.ArrGrids[LngLetter].empty()) {
        throw CLI::ValidationError("--expr names " + StgName +
                                   ", which has no input grid (give one with -" + StgName +
                                   ") in \"" + Args.StgExpr + "\"");
      }
      ArrNamed[LngLetter] = true;
    }
    PtrParser->Parser.Eval();
  } catch (const mu::ParserError& Error) {
    throw CLI::ValidationError(ExpressionError(Error, Args.StgExpr));
  }
  return ArrNamed;
}

// A named input as one thread reads it: where its rows are and where its cell value goes.
struct TBinding {
  const TMap* PtrMap;  ///< loaded with the library's no-data, on the result's grid
  double* PtrValue;    ///< the parser's variable
  bool BlnTested;      ///< named inside isnodata: no-data reaches the expression as NaN
};

// Evaluates rows [LngFirst, LngEnd) of the result, cell by cell through the thread's own parser.
// muparser's bulk mode opens an OpenMP team on every call, which costs more than it saves once the
// rows are already spread over threads; a bound scalar per variable allocates nothing per cell.
void EvaluateRows(TCellParser& Parser, const std::vector<TBinding>& VecBindings, TMap& Result,
                  long LngFirst, long LngEnd) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  for (long LngRow = LngFirst; LngRow < LngEnd; ++LngRow) {
    double* PtrOut = Result.MbrVecValues[static_cast<std::size_t>(LngRow)].data();
    for (long LngColumn = 0; LngColumn < Result.MbrLngXDim; ++LngColumn) {
      bool BlnNoData = false;
      for (const TBinding& Binding : VecBindings) {
        double DblValue = Binding.PtrMap->MbrVecValues[static_cast<std::size_t>(LngRow)]
                                                      [static_cast<std::size_t>(LngColumn)];
        if (DblValue == kDblLibraryNoData) {
          if (!Binding.BlnTested) {
            BlnNoData = true;
            break;
          }
          DblValue = DblNaN;
        }
        *Binding.PtrValue = DblValue;
      }
      PtrOut[LngColumn] = BlnNoData ? kDblLibraryNoData : Parser.Parser.Eval();
    }
  }
}

// Fills the result on ThreadCount() threads, each with a parser of its own, taking blocks of rows
// as they come free. A cell depends on its inputs alone, so every thread count gives the same
// map. Threads the system refuses to start are done without.
void Evaluate(const TCalcArguments& Args, const std::array<bool, kLngLetters>& ArrNamed,
              const std::array<const TMap*, kLngLetters>& ArrMaps, TMap& Result) {
  const std::array<bool, kLngLetters> ArrTested = TestedVariables(Args.StgExpr);
  const long LngBlocks = (Result.MbrLngYDim + kLngBlockRows - 1) / kLngBlockRows;
  const long LngThreads = std::max(1L, std::min(ThreadCount(), LngBlocks));
  // Built here, one after the other: muparser parses with shared locale state.
  std::vector<std::unique_ptr<TCellParser>> VecParsers;
  std::vector<std::vector<TBinding>> VecBindings;
  for (long LngT = 0; LngT < LngThreads; ++LngT) {
    VecParsers.push_back(NewParser(Args));
    std::vector<TBinding> VecThreadBindings;
    for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
      if (ArrNamed[LngI]) {
        VecThreadBindings.push_back(
            TBinding{ArrMaps[LngI], &VecParsers.back()->ArrValues[LngI], ArrTested[LngI]});
      }
    }
    VecBindings.push_back(std::move(VecThreadBindings));
    try {
      VecParsers.back()->Parser.Eval();  // the first evaluation turns the text into bytecode
    } catch (const mu::ParserError& Error) {
      Fail(ExpressionError(Error, Args.StgExpr));
    }
  }
  std::atomic<long> LngNextBlock{0};
  std::vector<std::exception_ptr> VecErrors(static_cast<std::size_t>(LngThreads));
  auto Work = [&](long LngT) {
    try {
      for (long LngBlock = LngNextBlock.fetch_add(1); LngBlock < LngBlocks;
           LngBlock = LngNextBlock.fetch_add(1)) {
        EvaluateRows(*VecParsers[static_cast<std::size_t>(LngT)],
                     VecBindings[static_cast<std::size_t>(LngT)], Result, LngBlock * kLngBlockRows,
                     std::min(Result.MbrLngYDim, (LngBlock + 1) * kLngBlockRows));
      }
    } catch (const mu::ParserError& Error) {
      VecErrors[static_cast<std::size_t>(LngT)] =
          std::make_exception_ptr(ExpressionError(Error, Args.StgExpr));
    } catch (...) {
      VecErrors[static_cast<std::size_t>(LngT)] = std::current_exception();
    }
  };
  std::vector<std::thread> VecThreads;
  for (long LngT = 1; LngT < LngThreads; ++LngT) {
    try {
      VecThreads.emplace_back(Work, LngT);
    } catch (const std::system_error&) {
      break;
    }
  }
  Work(0);
  for (std::thread& Thread : VecThreads) {
    Thread.join();
  }
  for (const std::exception_ptr& PtrError : VecErrors) {
    if (PtrError) {
      std::rethrow_exception(PtrError);
    }
  }
}

// --by-index lets grids on different places through; calc still pairs cells by column and row.
void CheckSameSize(const std::vector<std::unique_ptr<TMap>>& VecMaps,
                   const std::vector<std::string>& VecNames) {
  for (std::size_t LngI = 1; LngI < VecMaps.size(); ++LngI) {
    for (const auto& [PtrEntry, LngFirst, LngOther] :
         {std::tuple{"ncols", VecMaps[0]->MbrLngXDim, VecMaps[LngI]->MbrLngXDim},
          std::tuple{"nrows", VecMaps[0]->MbrLngYDim, VecMaps[LngI]->MbrLngYDim}}) {
      if (LngFirst != LngOther) {
        Fail("grids are not the same size: " + VecNames[0] + " and " + VecNames[LngI] +
             " differ in " + PtrEntry + " (" + std::to_string(LngFirst) + " vs " +
             std::to_string(LngOther) + ")");
      }
    }
  }
}

void RunCalc(const TCalcArguments& Args, TToolRun& Run) {
  const std::array<bool, kLngLetters> ArrNamed = CheckExpression(Args);
  std::vector<std::string> VecNames;
  for (const std::string& StgGrid : Args.ArrGrids) {
    if (!StgGrid.empty()) {
      VecNames.push_back(StgGrid);
    }
  }
  Run.Prepare(VecNames, {Args.StgOut});
  std::vector<std::unique_ptr<TMap>> VecMaps = Run.LoadAll(VecNames);
  Run.CheckAligned(VecNames);
  CheckSameSize(VecMaps, VecNames);
  std::array<const TMap*, kLngLetters> ArrMaps{};
  std::vector<const TMap*> VecNamedMaps;
  for (std::size_t LngI = 0, LngLoaded = 0; LngI < kLngLetters; ++LngI) {
    if (!Args.ArrGrids[LngI].empty()) {
      ArrMaps[LngI] = VecMaps[LngLoaded++].get();
      if (ArrNamed[LngI]) {
        VecNamedMaps.push_back(ArrMaps[LngI]);
      }
    }
  }
  // A copy of the first grid's shape and axes; every cell is overwritten.
  const std::unique_ptr<TMap> PtrResult(TMapTools::Multiply(VecMaps.front().get(), 0.0));
  Evaluate(Args, ArrNamed, ArrMaps, *PtrResult);
  CheckDataKept(VecNamedMaps, *PtrResult);
  VecMaps.clear();
  Run.Write(PtrResult.get(), Args.StgOut, VecNames.front());
}

}  // namespace

void AddCalcCommand(CLI::App& App, TToolContext& Context) {
  auto PtrArgs = std::make_shared<TCalcArguments>();
  CLI::App* PtrCommand = AddCommand(
      App, Context, "calc",
      "a cell-wise expression over up to 26 grids on one grid (it refuses grids that are not "
      "aligned and never resamples). A cell that is no-data in a grid the expression names is "
      "no-data, unless the expression tests that grid with isnodata(X): then it sees the cell as "
      "nodata and decides. A result that is not finite (nodata, 1/0) is no-data. The language is "
      "muparser's: + - * / ^, comparisons, && ||, c ? a : b, min, max, abs, sqrt, exp, log (the "
      "natural logarithm; log10 and log2 too), pow, floor, ceil, round (halves away from zero), "
      "sin, cos and the rest",
      "tessgrid-tool calc out.asc --expr \"isnodata(A) ? B : (A + B) / 2\" -A a.asc -B b.asc",
      [PtrArgs](TToolRun& Run) { RunCalc(*PtrArgs, Run); });
  AddGrid(PtrCommand, "OUT", PtrArgs->StgOut, "result grid, on the grid of the first input");
  PtrCommand->add_option("--expr", PtrArgs->StgExpr, "the expression; A to Z name the inputs")
      ->required()
      ->type_name("EXPR");
  for (std::size_t LngI = 0; LngI < kLngLetters; ++LngI) {
    const std::string StgLetter(1, static_cast<char>('A' + LngI));
    PtrCommand
        ->add_option("-" + StgLetter, PtrArgs->ArrGrids[LngI], "grid of variable " + StgLetter)
        ->type_name("GRID")
        ->group("Inputs");
  }
  PtrCommand->parse_complete_callback([PtrArgs]() {
    for (const std::string& StgGrid : PtrArgs->ArrGrids) {
      if (!StgGrid.empty()) {
        return;
      }
    }
    throw CLI::ValidationError("calc needs an input grid: give one or more of -A to -Z");
  });
}

}  // namespace tessgrid::detail
