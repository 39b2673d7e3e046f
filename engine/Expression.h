// engine/Expression.h - TExpression: a cell-wise expression over up to 26 grids, A to Z, and the
// rules that make its no-data cells; engine/Expression.cpp holds it. muparser parses and runs it.
#ifndef ENGINE_EXPRESSION_H
#define ENGINE_EXPRESSION_H

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tessgrid::detail {

/// The number of variables an expression can name: A to Z.
constexpr std::size_t kLngExpressionLetters = 26;

/// Which variables, A + i at index i, a grid is given for or an expression names.
using TLetterSet = std::array<bool, kLngExpressionLetters>;

/// A fault of the expression's text, found before any cell is computed: a caller turns it into a
/// command-line error (the tool) or its own failure type (the binding).
class TExpressionError : public std::invalid_argument {
 public:
  explicit TExpressionError(const std::string& StgMessage, char ChrMissing = '\0');
  /// Returns the variable that has no input grid, or '\0' for any other fault.
  char Missing() const { return MbrChrMissing; }

 private:
  char MbrChrMissing;  ///< 'A' to 'Z' for a variable without a grid, else '\0'
};

/// A parsed cell-wise expression. The language is muparser's: + - * / ^, comparisons, && ||,
/// c ? a : b, min, max, abs, sqrt, exp, log (natural), log10, log2, pow, floor, ceil, round
/// (halves away from zero), sin, cos and the rest, plus the constant `nodata` and the function
/// `isnodata(X)`.
/// No-data: a cell that is no-data in a variable the expression names is no-data in the result,
/// unless the variable appears inside an isnodata call: then the expression sees that cell as
/// nodata (NaN) and decides. A result that is not finite is no-data.
/// The expression is immutable once built; each thread evaluates through an evaluator of its own.
/// One operator between two variables ("A + B") is computed by a plain loop over the cells,
/// which gives what the parser gives, several times as fast.
class TExpression {
 public:
  /// Parses the text with the variables ArrGiven marks.
  /// Throws TExpressionError "<muparser's reason> at column <c> in \"<text>\"" for a syntax error
  /// or an unknown name (the column counted from 1, where muparser places the fault), and
  /// "names <X>, which has no input grid in \"<text>\"" for a variable A to Z that ArrGiven lacks.
  TExpression(std::string StgText, const TLetterSet& ArrGiven);

  /// Returns the text as given.
  const std::string& Text() const { return MbrStgText; }
  /// Returns the variables the expression uses.
  const TLetterSet& Named() const { return MbrArrNamed; }
  /// Returns the variables that appear inside an isnodata call.
  const TLetterSet& Tested() const { return MbrArrTested; }

  class TEvaluator;
  /// Returns an evaluator of its own for one thread; the caller owns it.
  /// Builds the parser under a lock: muparser parses with shared locale state.
  std::unique_ptr<TEvaluator> NewEvaluator() const;

 private:
  /// One arithmetic operator between two variables ("A + B", blanks aside): the commonest
  /// expression, which evaluators compute by a plain cell loop instead of the parser.
  struct TSingleOperator {
    std::size_t LngLeft;  ///< A + LngLeft
    char ChrOperator;     ///< + - * or /
    std::size_t LngRight;
  };

  std::string MbrStgText;                       ///< the expression as the user typed it
  TLetterSet MbrArrGiven;                       ///< the variables a grid is given for
  TLetterSet MbrArrNamed;                       ///< the variables it names, each given a grid
  TLetterSet MbrArrTested;                      ///< the named variables inside isnodata
  std::optional<TSingleOperator> MbrOptSingle;  ///< the text as one operator, if it is one
};

/// One thread's parser, bound to its own cell values. Not copyable or movable: the parser keeps
/// the addresses of its variables.
class TExpression::TEvaluator {
 public:
  explicit TEvaluator(const TExpression& Expression);
  ~TEvaluator();
  TEvaluator(const TEvaluator&) = delete;
  TEvaluator& operator=(const TEvaluator&) = delete;

  /// Computes LngColumns cells into PtrOut from the rows ArrRows gives for the named variables
  /// (the others may be null). A cell equal to DblNoData (any NaN, when DblNoData is NaN) is
  /// no-data; no-data results and results that are not finite are written as DblNoData.
  /// Returns the first column whose result equals DblNoData although no named input is no-data
  /// there (a data value the output could not tell from no-data), or -1.
  /// Throws TExpressionError where muparser fails on a cell.
  long EvaluateRow(const std::array<const double*, kLngExpressionLetters>& ArrRows, double* PtrOut,
                   long LngColumns, double DblNoData);

 private:
  struct TState;
  std::unique_ptr<TState> MbrPtrState;  ///< the parser and the values its variables are bound to
  const TExpression& MbrExpression;     ///< outlives the evaluator
};

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSION_H
