// engine/ExpressionProgram.h - TExpressionProgram: a compiled expression as a list of instructions,
// each computing a block of cells at once; engine/ExpressionProgram.cpp holds the cell loops.
#ifndef ENGINE_EXPRESSIONPROGRAM_H
#define ENGINE_EXPRESSIONPROGRAM_H

#include <array>
#include <cstddef>
#include <vector>

namespace tessgrid::detail {

/// The number of variables an expression can name: A to Z.
constexpr std::size_t kLngExpressionLetters = 26;

/// Cells an instruction computes at a time: a few registers of them stay in the first-level
/// cache, and one pass over the instructions costs little beside them.
constexpr long kLngProgramBlock = 1024;

/// What an instruction reads: a variable's cells, one value for every cell, or the cells an
/// earlier instruction left in a register.
struct TProgramOperand {
  enum class EKind : unsigned char { Variable, Constant, Register };
  EKind Kind = EKind::Constant;
  std::size_t LngIndex = 0;  ///< the variable A + LngIndex, or the register; unused for a constant
  double DblValue = 0.0;     ///< the constant; unused otherwise
};

/// What an instruction computes in each cell from operands x, y and z. Each rule is the
/// parser's own, operation for operation, so that results match it bit for bit.
enum class EProgramOp : unsigned char {
  Add,       ///< x + y
  Subtract,  ///< x - y
  Multiply,  ///< x * y
  Divide,    ///< x / y
  Power,     ///< std::pow(x, y)
  Less,      ///< 1 where x < y, else 0; and so on for the other comparisons
  LessEqual,
  Greater,
  GreaterEqual,
  Equal,
  NotEqual,
  And,          ///< 1 where x != 0 and y != 0, else 0
  Or,           ///< 1 where x != 0 or y != 0, else 0
  MinStep,      ///< y < x ? y : x, a step of a running minimum
  MaxStep,      ///< x < y ? y : x
  Select,       ///< x == 0 ? z : y, the conditional (a NaN condition is true)
  ScaleShift,   ///< x * DblFactor + DblOffset, in that order
  Square,       ///< x * x
  Cube,         ///< x * x * x
  Fourth,       ///< x * x * x * x
  Negate,       ///< -x
  Absolute,     ///< x >= 0 ? x : -x
  SquareRoot,   ///< std::sqrt(x)
  Sign,         ///< -1, 1 or 0 (also for NaN)
  RoundHalfUp,  ///< std::floor(x + 0.5)
  Floor,        ///< std::floor(x)
  Ceil,         ///< std::ceil(x)
  RoundAway,    ///< std::round(x): halves away from zero
  IsNaN,        ///< 1 where x is NaN, else 0
  CallUnary,    ///< PtrUnary(x)
  CallBinary,   ///< PtrBinary(x, y)
  Copy,         ///< x
};

/// One instruction: an operation over up to three operands into a register of its own, which
/// never holds one of its operands.
struct TProgramInstruction {
  EProgramOp Op = EProgramOp::Copy;
  std::size_t LngTarget = 0;                      ///< the register the result goes to
  std::array<TProgramOperand, 3> ArrOperands{};   ///< x, y, z; those the operation reads
  double DblFactor = 1.0;                         ///< ScaleShift's factor
  double DblOffset = 0.0;                         ///< ScaleShift's offset
  double (*PtrUnary)(double) = nullptr;           ///< CallUnary's function
  double (*PtrBinary)(double, double) = nullptr;  ///< CallBinary's function
};

/// A compiled expression: instructions in order, the last of which leaves the result in its
/// register. Immutable once built, so threads share it; each brings its own registers.
struct TExpressionProgram {
  std::vector<TProgramInstruction> VecInstructions;  ///< at least one
  std::size_t LngRegisters = 0;  ///< registers the instructions use, numbered from 0

  /// Runs the instructions over LngCells cells, 1 to kLngProgramBlock, reading variable A + i
  /// from ArrVariables[i] (only those the instructions read must be set) and writing into
  /// PtrRegisters, LngRegisters blocks of kLngProgramBlock cells that no variable overlaps.
  /// Returns the result's cells, which lie in PtrRegisters.
  const double* Run(const std::array<const double*, kLngExpressionLetters>& ArrVariables,
                    double* PtrRegisters, long LngCells) const;
};

}  // namespace tessgrid::detail

#endif  // ENGINE_EXPRESSIONPROGRAM_H
