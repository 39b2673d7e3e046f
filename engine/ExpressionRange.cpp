// engine/ExpressionRange.cpp - interval arithmetic over an expression's compiled program. The
// contract is in engine/ExpressionRange.h.
#include "engine/ExpressionRange.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessgrid::detail {

namespace {

bool IsEmpty(const TValueRange& Range) {
  return Range.DblLow > Range.DblHigh;
}

// A range of whole numbers the rounding of the range's values gives.
TValueRange Rounded(const TValueRange& X) {
  if (IsEmpty(X)) {
    return X;
  }
  TValueRange Result = X;
  Result.DblLow = std::floor(X.DblLow);
  Result.DblHigh = std::ceil(X.DblHigh);
  Result.BlnWhole = true;
  return Result;
}

// The magnitudes of the range: [0 or the smallest, the largest].
TValueRange Absolute(const TValueRange& X) {
  if (IsEmpty(X)) {
    return X;
  }
  TValueRange Result = X;
  const double DblFar = std::max(std::fabs(X.DblLow), std::fabs(X.DblHigh));
  Result.DblLow = X.DblLow <= 0.0 && X.DblHigh >= 0.0
                      ? 0.0
                      : std::min(std::fabs(X.DblLow), std::fabs(X.DblHigh));
  Result.DblHigh = DblFar;
  return Result;
}

// A truth value, 0 or 1, whatever its operands.
TValueRange Truth(const TValueRange& X, const TValueRange& Y) {
  TValueRange Result = WholeRange(0.0, 1.0);
  Result.BlnSingle = X.BlnSingle && Y.BlnSingle;
  return Result;
}

TValueRange Power(const TValueRange& X, int IntExponent) {
  TValueRange Result = X;
  for (int IntI = 1; IntI < IntExponent; ++IntI) {
    Result = ProductRange(Result, X);
  }
  // Even powers are never negative.
  if (IntExponent % 2 == 0 && !IsEmpty(Result)) {
    const TValueRange Magnitudes = Absolute(X);
    Result.DblLow = std::pow(Magnitudes.DblLow, IntExponent);
  }
  return Result;
}

}  // namespace

TValueRange ProgramRange(const TExpressionProgram& Program,
                         const std::array<TValueRange, kLngExpressionLetters>& ArrVariables) {
  std::vector<TValueRange> VecRegisters(Program.LngRegisters);
  const auto RangeOf = [&](const TProgramOperand& Operand) {
    switch (Operand.Kind) {
      case TProgramOperand::EKind::Variable:
        return ArrVariables[Operand.LngIndex];
      case TProgramOperand::EKind::Register:
        return VecRegisters[Operand.LngIndex];
      case TProgramOperand::EKind::Constant:
        break;
    }
    return ConstantRange(Operand.DblValue);
  };
  TValueRange Result = EmptyRange();
  for (const TProgramInstruction& Instruction : Program.VecInstructions) {
    const TValueRange X = RangeOf(Instruction.ArrOperands[0]);
    const TValueRange Y = RangeOf(Instruction.ArrOperands[1]);
    switch (Instruction.Op) {
      case EProgramOp::Add:
        Result = SumRange(X, Y);
        break;
      case EProgramOp::Subtract:
        Result = DifferenceRange(X, Y);
        break;
      case EProgramOp::Multiply:
        Result = ProductRange(X, Y);
        break;
      case EProgramOp::Less:
      case EProgramOp::LessEqual:
      case EProgramOp::Greater:
      case EProgramOp::GreaterEqual:
      case EProgramOp::Equal:
      case EProgramOp::NotEqual:
      case EProgramOp::And:
      case EProgramOp::Or:
        Result = Truth(X, Y);
        break;
      case EProgramOp::IsNaN:
        Result = Truth(X, X);
        break;
      case EProgramOp::Sign:
        Result = Truth(X, X);
        Result.DblLow = -1.0;
        break;
      case EProgramOp::MinStep:
      case EProgramOp::MaxStep:
        // Either operand's values, bounded by the other's: their union holds them.
        Result = Joined(X, Y);
        break;
      case EProgramOp::Select:
        // The condition decides only which branch's value is taken.
        Result = Joined(Y, RangeOf(Instruction.ArrOperands[2]));
        Result.BlnSingle = Result.BlnSingle && X.BlnSingle;
        break;
      case EProgramOp::ScaleShift:
        Result = SumRange(ProductRange(X, ConstantRange(Instruction.DblFactor)),
                          ConstantRange(Instruction.DblOffset));
        break;
      case EProgramOp::Square:
        Result = Power(X, 2);
        break;
      case EProgramOp::Cube:
        Result = Power(X, 3);
        break;
      case EProgramOp::Fourth:
        Result = Power(X, 4);
        break;
      case EProgramOp::Negate:
        Result = DifferenceRange(ConstantRange(0.0), X);
        break;
      case EProgramOp::Absolute:
        Result = Absolute(X);
        break;
      case EProgramOp::RoundHalfUp:
      case EProgramOp::Floor:
      case EProgramOp::Ceil:
      case EProgramOp::RoundAway:
        Result = Rounded(X);
        break;
      case EProgramOp::Copy:
        Result = X;
        break;
      case EProgramOp::Divide:
      case EProgramOp::Power:
      case EProgramOp::SquareRoot:
      case EProgramOp::CallUnary:
      case EProgramOp::CallBinary:
        Result = FractionRange(X, Y);
        break;
    }
    VecRegisters[Instruction.LngTarget] = Result;
  }
  return Result;
}

}  // namespace tessgrid::detail
