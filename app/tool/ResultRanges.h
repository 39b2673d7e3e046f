// app/tool/ResultRanges.h - the values each command's result can take from its inputs', which
// choose a raster output's type (TToolRun::SetResultRange). app/tool/ResultRanges.cpp holds them.
#ifndef APP_TOOL_RESULTRANGES_H
#define APP_TOOL_RESULTRANGES_H

#include <cstddef>

#include "app/tool/ToolFrame.h"
#include "engine/ValueRange.h"

namespace tessgrid::detail {

/// The values of input i alone (a resampling that picks cells of its input).
TResultRangeRule InputValues(std::size_t LngInput);

/// Sums, differences (first less second) and products of the inputs' values: whole inputs give
/// the range of every sum, which may need a wider type than any input's.
TResultRangeRule SumOfInputs();
TResultRangeRule DifferenceOfInputs();
TResultRangeRule ProductOfInputs();

/// A value computed from all inputs that need not be whole: quotients, averages, slopes and
/// interpolations.
TResultRangeRule FractionOfInputs();

/// The first input's values combined with a constant by the operation (SumRange and so on).
TResultRangeRule WithConstant(TValueRange (*PtrOp)(const TValueRange&, const TValueRange&),
                              double DblConstant);

/// The number of inputs that have data: a whole number from 0 to their count.
TResultRangeRule CountOfInputs();

}  // namespace tessgrid::detail

#endif  // APP_TOOL_RESULTRANGES_H
