// engine/Expression.h - TExpression: a cell-wise expression over up to 26 grids, A to Z, and the
// rules that make its no-data cells; engine/Expression.cpp holds it. muparser parses it, and its
// compiled form runs as a block program (engine/ExpressionProgram.h).
#ifndef ENGINE_EXPRESSION_H
#define ENGINE_EXPRESSION_H

#include <array>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ExpressionProgram.h"

namespace tessgrid::detail {

/// Which variables, A + i at index i, a grid is given for or an expression names.
using TLetterSet = std::array<bool, kLngExpressionLetters>;

/// A fault of the expression's text, found before any cell is computed: a caller turns it into a
/// command-line error (the tool) or its own failure type (the binding). Its message quotes the
/// expression whole up to kLngWholeEcho characters, and a longer one only around the fault:
/// kLngEchoSide characters either side, with "..." where it is cut.
class TExpressionError : public std::invalid_argument {
 public:
  TExpressionError(const std::string& StgMessage, char ChrMissing, std::string StgEcho);
  /// Returns the variable that has no input grid, or '\0' for any other fault.
  char Missing() const { return MbrChrMissing; }
  /// Returns the expression as the message quotes it, quotes included.
  const std::string& Echo() const { return MbrStgEcho; }

 private:
  char MbrChrMissing;      ///< 'A' to 'Z' for a variable without a grid, else '\0'
  std::string MbrStgEcho;  ///< the quoted expression or its part around the fault
};

/// The longest expression a message quotes whole, and the characters kept either side of the
/// fault in a longer one.
constexpr std::size_t kLngWholeEcho = 80;
constexpr std::size_t kLngEchoSide = 30;

/// A parsed cell-wise expression. The language is muparser's: + - * / ^, comparisons, && ||,
/// c ? a : b, min, max, abs, sqrt, exp, log (natural), log10, log2, pow, floor, ceil, round
/// (halves away from zero), sin, cos and the rest, plus the constant `nodata` and the function
/// `isnodata(X)`; without muparser's assignment (A = 5) and lists of expressions (A, B), which
/// change variables or give a value nobody reads.
/// No-data: a cell that is no-data in a variable the expression names is no-data in the result,
/// unless the variable appears inside an isnodata call: then the expression sees that cell as
/// nodata (NaN) and decides. A result that is not finite is no-data.
/// The expression is immutable once built; each thread evaluates through an evaluator of its own.
/// Evaluators run muparser's compiled program a block of cells per instruction, with muparser's
/// operations in muparser's order, so that every cell is what muparser computes for it.
class TExpression {
 public:
  /// Parses the text with the variables ArrGiven marks. Throws TExpressionError
  /// "<muparser's reason> at column <c> in \"<text>\"" for a syntax error or an unknown name
  /// (the column counted from 1, where muparser places the fault);
  /// "unexpected assignment \"=\" (to compare, write \"==\") at column <c> in \"<text>\"";
  /// "unexpected \",\" outside a function's arguments (calc computes one expression) at column
  /// <c> in \"<text>\"";
  /// and "names <X>, which has no input grid in \"<text>\"" for a variable A to Z that ArrGiven
  /// lacks. Long texts are quoted in part (see TExpressionError).
  TExpression(std::string StgText, const TLetterSet& ArrGiven);

  /// Returns the text as given.
  const std::string& Text() const { return MbrStgText; }
  /// Returns the variables the expression uses.
  const TLetterSet& Named() const { return MbrArrNamed; }
  /// Returns the variables that appear inside an isnodata call.
  const TLetterSet& Tested() const { return MbrArrTested; }
  /// Returns the compiled program.
  const TExpressionProgram& Program() const { return MbrProgram; }

  class TEvaluator;
  /// Returns an evaluator of its own for one thread; the caller owns it.
  std::unique_ptr<TEvaluator> NewEvaluator() const;

 private:
  std::string MbrStgText;         ///< the expression as the user typed it
  TLetterSet MbrArrNamed;         ///< the variables it names, each given a grid
  TLetterSet MbrArrTested;        ///< the named variables inside isnodata
  TExpressionProgram MbrProgram;  ///< muparser's compiled program as block instructions
};

/// One thread's registers for the program. Not copyable: a thread keeps its own.
class TExpression::TEvaluator {
 public:
  explicit TEvaluator(const TExpression& Expression);
  TEvaluator(const TEvaluator&) = delete;
  TEvaluator& operator=(const TEvaluator&) = delete;

  /// Computes LngColumns cells into PtrOut from the rows ArrRows gives for the named variables
  /// (the others may be null); PtrOut overlaps none of them. A cell equal to DblNoData (any NaN,
  /// when DblNoData is NaN) is no-data; no-data results and results that are not finite are
  /// written as DblNoData.
  /// Returns the first column whose result equals DblNoData although no named input is no-data
  /// there (a data value the output could not tell from no-data), or -1.
  long EvaluateRow(const std::array<const double*, kLngExpressionLetters>& ArrRows, double* PtrOut,
                   long LngColumns, double DblNoData);

 private:
  const TExpression& MbrExpression;     ///< outlives the evaluator
  std::vector<double> MbrVecRegisters;  ///< the program's registers, kLngProgramBlock cells each
  std::vector<double> MbrVecTested;     ///< each tested variable's block, its no-data cells NaN
};

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSION_H
