// engine/ExpressionParser.h - the expression language as muparser holds it: the parser's set-up
// (functions, constants, variables) and the translation of its bytecode into a block program.
// engine/ExpressionParser.cpp holds both; engine/Expression.h is what callers use.
#ifndef ENGINE_EXPRESSIONPARSER_H
#define ENGINE_EXPRESSIONPARSER_H

#include <array>
#include <string>

#include "engine/ExpressionProgram.h"

namespace mu {
class Parser;
}

namespace tessgrid::detail {

/// Gives the parser the language's functions and constants, binds the variables ArrGiven marks
/// (A + i to ArrValues[i]) and sets the text. Serialised: muparser sets a text up with shared
/// locale state. Throws mu::ParserError for a text the parser refuses at once (one too long).
void SetUpParser(mu::Parser& Parser, const std::string& StgText,
                 const std::array<bool, kLngExpressionLetters>& ArrGiven,
                 std::array<double, kLngExpressionLetters>& ArrValues);

/// Translates the bytecode of a parser that SetUpParser set up over ArrValues and that has
/// evaluated once (so that it holds the bytecode) into a program computing the same value,
/// operation for operation, in every cell.
/// Throws std::invalid_argument "uses an operation that cannot be computed on blocks of cells"
/// for bytecode other than the language's operators, functions and conditionals (an
/// assignment, for one: callers refuse it first with a better message).
TExpressionProgram CompileProgram(const mu::Parser& Parser,
                                  const std::array<double, kLngExpressionLetters>& ArrValues);

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSIONPARSER_H
