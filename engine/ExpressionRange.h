// engine/ExpressionRange.h - the values an expression's result can take, worked out from its
// compiled program over the ranges of its variables. engine/ExpressionRange.cpp holds it.
#ifndef ENGINE_EXPRESSIONRANGE_H
#define ENGINE_EXPRESSIONRANGE_H

#include <array>

#include "engine/ExpressionProgram.h"
#include "engine/ValueRange.h"

namespace tessgrid::detail {

/// Returns the range of the program's result where variable A + i takes values in ArrVariables[i].
/// Operations that keep whole numbers (+ - *, comparisons, && ||, ?:, min, max, abs, the sign,
/// negation, squares and cubes, and floor, ceil and round, which make them) carry the range
/// through; any other (/, ^ with a variable or fractional exponent, sqrt and the other
/// functions) gives a fractional value of any size.
TValueRange ProgramRange(const TExpressionProgram& Program,
                         const std::array<TValueRange, kLngExpressionLetters>& ArrVariables);

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSIONRANGE_H
