// engine/ExpressionProgram.cpp - the cell loops of the expression's instructions: one plain loop
// per instruction and block, which the compiler keeps in vector registers where the operation
// allows. The contract is in engine/ExpressionProgram.h.
#include "engine/ExpressionProgram.h"

#include <algorithm>
#include <cmath>

namespace tessgrid::detail {

namespace {

// An operand as a loop reads it: its cells, or one value for every cell.
struct TSource {
  const double* PtrCells;  ///< null for a constant
  double DblValue;         ///< the constant
};

// The operand's value in cell LngI; the choice is made when the loop is compiled, so that each
// loop reads either cells or one value and still runs in vector registers.
template <bool BlnConstant>
inline double At(const double* __restrict PtrCells, double DblValue, long LngI) {
  if constexpr (BlnConstant) {
    return DblValue;
  } else {
    return PtrCells[LngI];
  }
}

template <bool BlnXConstant, typename TRule>
void UnaryLoop(double* __restrict PtrOut, const TSource& X, long LngCells, TRule Rule) {
  const double* __restrict PtrX = X.PtrCells;
  const double DblX = X.DblValue;
  for (long LngI = 0; LngI < LngCells; ++LngI) {
    PtrOut[LngI] = Rule(At<BlnXConstant>(PtrX, DblX, LngI));
  }
}

template <typename TRule>
void Unary(double* PtrOut, const TSource& X, long LngCells, TRule Rule) {
  if (X.PtrCells == nullptr) {
    UnaryLoop<true>(PtrOut, X, LngCells, Rule);
  } else {
    UnaryLoop<false>(PtrOut, X, LngCells, Rule);
  }
}

template <bool BlnXConstant, bool BlnYConstant, typename TRule>
void BinaryLoop(double* __restrict PtrOut, const TSource& X, const TSource& Y, long LngCells,
                TRule Rule) {
  const double* __restrict PtrX = X.PtrCells;
  const double* __restrict PtrY = Y.PtrCells;
  const double DblX = X.DblValue;
  const double DblY = Y.DblValue;
  for (long LngI = 0; LngI < LngCells; ++LngI) {
    PtrOut[LngI] = Rule(At<BlnXConstant>(PtrX, DblX, LngI), At<BlnYConstant>(PtrY, DblY, LngI));
  }
}

template <typename TRule>
void Binary(double* PtrOut, const TSource& X, const TSource& Y, long LngCells, TRule Rule) {
  const bool BlnX = X.PtrCells == nullptr;
  const bool BlnY = Y.PtrCells == nullptr;
  if (BlnX && BlnY) {
    BinaryLoop<true, true>(PtrOut, X, Y, LngCells, Rule);
  } else if (BlnX) {
    BinaryLoop<true, false>(PtrOut, X, Y, LngCells, Rule);
  } else if (BlnY) {
    BinaryLoop<false, true>(PtrOut, X, Y, LngCells, Rule);
  } else {
    BinaryLoop<false, false>(PtrOut, X, Y, LngCells, Rule);
  }
}

// Both branches are computed for every cell and the condition picks one: no operation has a
// side effect, so this gives what taking one branch per cell gives.
template <bool BlnCConstant, bool BlnTConstant, bool BlnFConstant>
void SelectLoop(double* __restrict PtrOut, const TSource& C, const TSource& T, const TSource& F,
                long LngCells) {
  const double* __restrict PtrC = C.PtrCells;
  const double* __restrict PtrT = T.PtrCells;
  const double* __restrict PtrF = F.PtrCells;
  for (long LngI = 0; LngI < LngCells; ++LngI) {
    PtrOut[LngI] = At<BlnCConstant>(PtrC, C.DblValue, LngI) == 0.0
                       ? At<BlnFConstant>(PtrF, F.DblValue, LngI)
                       : At<BlnTConstant>(PtrT, T.DblValue, LngI);
  }
}

template <bool BlnCConstant>
void SelectOnBranches(double* PtrOut, const TSource& C, const TSource& T, const TSource& F,
                      long LngCells) {
  const bool BlnT = T.PtrCells == nullptr;
  const bool BlnF = F.PtrCells == nullptr;
  if (BlnT && BlnF) {
    SelectLoop<BlnCConstant, true, true>(PtrOut, C, T, F, LngCells);
  } else if (BlnT) {
    SelectLoop<BlnCConstant, true, false>(PtrOut, C, T, F, LngCells);
  } else if (BlnF) {
    SelectLoop<BlnCConstant, false, true>(PtrOut, C, T, F, LngCells);
  } else {
    SelectLoop<BlnCConstant, false, false>(PtrOut, C, T, F, LngCells);
  }
}

void Select(double* PtrOut, const TSource& C, const TSource& T, const TSource& F, long LngCells) {
  if (C.PtrCells == nullptr) {
    SelectOnBranches<true>(PtrOut, C, T, F, LngCells);
  } else {
    SelectOnBranches<false>(PtrOut, C, T, F, LngCells);
  }
}

double Truth(bool BlnValue) {
  return BlnValue ? 1.0 : 0.0;
}

}  // namespace

const double* TExpressionProgram::Run(
    const std::array<const double*, kLngExpressionLetters>& ArrVariables, double* PtrRegisters,
    long LngCells) const {
  double* PtrOut = PtrRegisters;
  for (const TProgramInstruction& Instruction : VecInstructions) {
    PtrOut = PtrRegisters + Instruction.LngTarget * static_cast<std::size_t>(kLngProgramBlock);
    std::array<TSource, 3> ArrSources{};
    for (std::size_t LngK = 0; LngK < ArrSources.size(); ++LngK) {
      const TProgramOperand& Operand = Instruction.ArrOperands[LngK];
      switch (Operand.Kind) {
        case TProgramOperand::EKind::Variable:
          ArrSources[LngK] = TSource{ArrVariables[Operand.LngIndex], 0.0};
          break;
        case TProgramOperand::EKind::Register:
          ArrSources[LngK] = TSource{
              PtrRegisters + Operand.LngIndex * static_cast<std::size_t>(kLngProgramBlock), 0.0};
          break;
        case TProgramOperand::EKind::Constant:
          ArrSources[LngK] = TSource{nullptr, Operand.DblValue};
          break;
      }
    }
    const TSource& X = ArrSources[0];
    const TSource& Y = ArrSources[1];
    const long LngN = LngCells;
    switch (Instruction.Op) {
      case EProgramOp::Add:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return DblX + DblY; });
        break;
      case EProgramOp::Subtract:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return DblX - DblY; });
        break;
      case EProgramOp::Multiply:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return DblX * DblY; });
        break;
      case EProgramOp::Divide:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return DblX / DblY; });
        break;
      case EProgramOp::Power:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return std::pow(DblX, DblY); });
        break;
      case EProgramOp::Less:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX < DblY); });
        break;
      case EProgramOp::LessEqual:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX <= DblY); });
        break;
      case EProgramOp::Greater:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX > DblY); });
        break;
      case EProgramOp::GreaterEqual:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX >= DblY); });
        break;
      case EProgramOp::Equal:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX == DblY); });
        break;
      case EProgramOp::NotEqual:
        Binary(PtrOut, X, Y, LngN, [](double DblX, double DblY) { return Truth(DblX != DblY); });
        break;
      case EProgramOp::And:
        Binary(PtrOut, X, Y, LngN,
               [](double DblX, double DblY) { return Truth((DblX != 0.0) & (DblY != 0.0)); });
        break;
      case EProgramOp::Or:
        Binary(PtrOut, X, Y, LngN,
               [](double DblX, double DblY) { return Truth((DblX != 0.0) | (DblY != 0.0)); });
        break;
      case EProgramOp::MinStep:
        Binary(PtrOut, X, Y, LngN,
               [](double DblX, double DblY) { return DblY < DblX ? DblY : DblX; });
        break;
      case EProgramOp::MaxStep:
        Binary(PtrOut, X, Y, LngN,
               [](double DblX, double DblY) { return DblX < DblY ? DblY : DblX; });
        break;
      case EProgramOp::Select:
        Select(PtrOut, X, Y, ArrSources[2], LngN);
        break;
      case EProgramOp::ScaleShift: {
        const double DblFactor = Instruction.DblFactor;
        const double DblOffset = Instruction.DblOffset;
        Unary(PtrOut, X, LngN, [DblFactor, DblOffset](double DblX) {
          const double DblScaled = DblX * DblFactor;
          return DblScaled + DblOffset;
        });
        break;
      }
      case EProgramOp::Square:
        Unary(PtrOut, X, LngN, [](double DblX) { return DblX * DblX; });
        break;
      case EProgramOp::Cube:
        Unary(PtrOut, X, LngN, [](double DblX) { return DblX * DblX * DblX; });
        break;
      case EProgramOp::Fourth:
        Unary(PtrOut, X, LngN, [](double DblX) { return DblX * DblX * DblX * DblX; });
        break;
      case EProgramOp::Negate:
        Unary(PtrOut, X, LngN, [](double DblX) { return -DblX; });
        break;
      case EProgramOp::Absolute:
        Unary(PtrOut, X, LngN, [](double DblX) { return DblX >= 0.0 ? DblX : -DblX; });
        break;
      case EProgramOp::SquareRoot:
        Unary(PtrOut, X, LngN, [](double DblX) { return std::sqrt(DblX); });
        break;
      case EProgramOp::Sign:
        Unary(PtrOut, X, LngN,
              [](double DblX) { return DblX < 0.0 ? -1.0 : (DblX > 0.0 ? 1.0 : 0.0); });
        break;
      case EProgramOp::RoundHalfUp:
        Unary(PtrOut, X, LngN, [](double DblX) { return std::floor(DblX + 0.5); });
        break;
      case EProgramOp::Floor:
        Unary(PtrOut, X, LngN, [](double DblX) { return std::floor(DblX); });
        break;
      case EProgramOp::Ceil:
        Unary(PtrOut, X, LngN, [](double DblX) { return std::ceil(DblX); });
        break;
      case EProgramOp::RoundAway:
        Unary(PtrOut, X, LngN, [](double DblX) { return std::round(DblX); });
        break;
      case EProgramOp::IsNaN:
        Unary(PtrOut, X, LngN, [](double DblX) { return Truth(DblX != DblX); });
        break;
      case EProgramOp::CallUnary: {
        double (*const PtrFunction)(double) = Instruction.PtrUnary;
        Unary(PtrOut, X, LngN, [PtrFunction](double DblX) { return PtrFunction(DblX); });
        break;
      }
      case EProgramOp::CallBinary: {
        double (*const PtrFunction)(double, double) = Instruction.PtrBinary;
        Binary(PtrOut, X, Y, LngN,
               [PtrFunction](double DblX, double DblY) { return PtrFunction(DblX, DblY); });
        break;
      }
      case EProgramOp::Copy:
        Unary(PtrOut, X, LngN, [](double DblX) { return DblX; });
        break;
    }
  }
  return PtrOut;
}

}  // namespace tessgrid::detail
