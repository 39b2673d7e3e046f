// app/tool/ResultRanges.cpp - the result ranges of the commands. The contracts are in
// app/tool/ResultRanges.h.
#include "app/tool/ResultRanges.h"

#include <vector>

namespace tessgrid::detail {

namespace {

// The inputs folded by the operation, from the first; no input gives the empty range.
TResultRangeRule Folded(TValueRange (*PtrOp)(const TValueRange&, const TValueRange&)) {
  return [PtrOp](const std::vector<TValueRange>& VecInputs) {
    if (VecInputs.empty()) {
      return EmptyRange();
    }
    TValueRange Result = VecInputs.front();
    for (std::size_t LngI = 1; LngI < VecInputs.size(); ++LngI) {
      Result = PtrOp(Result, VecInputs[LngI]);
    }
    return Result;
  };
}

}  // namespace

TResultRangeRule InputValues(std::size_t LngInput) {
  return [LngInput](const std::vector<TValueRange>& VecInputs) {
    return LngInput < VecInputs.size() ? VecInputs[LngInput] : EmptyRange();
  };
}

TResultRangeRule SumOfInputs() {
  return Folded(SumRange);
}

TResultRangeRule DifferenceOfInputs() {
  return Folded(DifferenceRange);
}

TResultRangeRule ProductOfInputs() {
  return Folded(ProductRange);
}

TResultRangeRule FractionOfInputs() {
  return [](const std::vector<TValueRange>& VecInputs) {
    TValueRange Result = FractionRange(EmptyRange(), EmptyRange());
    for (const TValueRange& Input : VecInputs) {
      Result = FractionRange(Result, Input);
    }
    return Result;
  };
}

TResultRangeRule WithConstant(TValueRange (*PtrOp)(const TValueRange&, const TValueRange&),
                              double DblConstant) {
  return [PtrOp, DblConstant](const std::vector<TValueRange>& VecInputs) {
    return PtrOp(VecInputs.empty() ? EmptyRange() : VecInputs.front(), ConstantRange(DblConstant));
  };
}

TResultRangeRule CountOfInputs() {
  return [](const std::vector<TValueRange>& VecInputs) {
    return WholeRange(0.0, static_cast<double>(VecInputs.size()));
  };
}

}  // namespace tessgrid::detail
