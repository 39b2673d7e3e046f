// engine/ExpressionParser.cpp - the parser's set-up and the translation of its bytecode, a stack
// program with jumps, into a block program: values on the stack become registers, a conditional
// becomes a choice between its two branches. The contract is in engine/ExpressionParser.h.
#include "engine/ExpressionParser.h"

#include <muParser.h>

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tessgrid::detail {

namespace {

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

// The parser's own unary minus, given again so that its address is known here.
double Negate(double DblValue) {
  return -DblValue;
}

using TOperand = TProgramOperand;

[[noreturn]] void FailUncompiled() {
  throw std::invalid_argument("uses an operation that cannot be computed on blocks of cells");
}

TOperand Constant(double DblValue) {
  TOperand Operand;
  Operand.Kind = TOperand::EKind::Constant;
  Operand.DblValue = DblValue;
  return Operand;
}

// The instructions as the bytecode gives them, each result in a register of its own (numbered
// as the instructions); Finish drops what the result does not need and shares the registers out.
class TProgramBuilder {
 public:
  TOperand Emit(EProgramOp Op, std::initializer_list<TOperand> Operands, double DblFactor = 1.0,
                double DblOffset = 0.0) {
    TProgramInstruction Instruction;
    Instruction.Op = Op;
    Instruction.LngTarget = MbrVecInstructions.size();
    std::size_t LngK = 0;
    for (const TOperand& Operand : Operands) {
      Instruction.ArrOperands[LngK++] = Operand;
    }
    Instruction.DblFactor = DblFactor;
    Instruction.DblOffset = DblOffset;
    return Push(Instruction);
  }

  TOperand Push(const TProgramInstruction& Instruction) {
    MbrVecInstructions.push_back(Instruction);
    TOperand Result;
    Result.Kind = TOperand::EKind::Register;
    Result.LngIndex = MbrVecInstructions.size() - 1;
    return Result;
  }

  // Each value is read once (the bytecode is a tree), so a register comes free where its value
  // is read; the target is taken before that, so that no instruction writes what it reads.
  TExpressionProgram Finish(TOperand Result) {
    if (Result.Kind != TOperand::EKind::Register) {
      Result = Emit(EProgramOp::Copy, {Result});
    }
    const std::size_t LngCount = MbrVecInstructions.size();
    std::vector<bool> VecLive(LngCount, false);
    VecLive[Result.LngIndex] = true;
    for (std::size_t LngI = LngCount; LngI-- > 0;) {
      if (!VecLive[LngI]) {
        continue;  // a branch that a constant condition never takes
      }
      for (const TOperand& Operand : MbrVecInstructions[LngI].ArrOperands) {
        if (Operand.Kind == TOperand::EKind::Register) {
          VecLive[Operand.LngIndex] = true;
        }
      }
    }
    TExpressionProgram Program;
    std::vector<std::size_t> VecRegisterOf(LngCount, 0);
    std::vector<std::size_t> VecFree;
    for (std::size_t LngI = 0; LngI < LngCount; ++LngI) {
      if (!VecLive[LngI]) {
        continue;
      }
      TProgramInstruction Instruction = MbrVecInstructions[LngI];
      std::size_t LngTarget = Program.LngRegisters;
      if (VecFree.empty()) {
        ++Program.LngRegisters;
      } else {
        LngTarget = VecFree.back();
        VecFree.pop_back();
      }
      for (TOperand& Operand : Instruction.ArrOperands) {
        if (Operand.Kind == TOperand::EKind::Register) {
          Operand.LngIndex = VecRegisterOf[Operand.LngIndex];
          VecFree.push_back(Operand.LngIndex);
        }
      }
      Instruction.LngTarget = LngTarget;
      VecRegisterOf[LngI] = LngTarget;
      Program.VecInstructions.push_back(Instruction);
    }
    return Program;
  }

 private:
  std::vector<TProgramInstruction> MbrVecInstructions;  ///< in bytecode order, target = index
};

// The built-in binary operators in the order of their bytecodes, cmLE (0) to cmLOR (12).
constexpr EProgramOp kArrBinaryOperators[] = {
    EProgramOp::LessEqual, EProgramOp::GreaterEqual, EProgramOp::NotEqual, EProgramOp::Equal,
    EProgramOp::Less,      EProgramOp::Greater,      EProgramOp::Add,      EProgramOp::Subtract,
    EProgramOp::Multiply,  EProgramOp::Divide,       EProgramOp::Power,    EProgramOp::And,
    EProgramOp::Or};
static_assert(mu::cmLE == 0 && mu::cmGT == 5 && mu::cmADD == 6 && mu::cmPOW == 10 &&
                  mu::cmLOR == 12,
              "muparser numbers its binary operators as the table above lists them");

// The operator of a built-in binary bytecode, or false.
bool BinaryOperator(mu::ECmdCode Code, EProgramOp& Op) {
  if (Code < mu::cmLE || Code > mu::cmLOR) {
    return false;
  }
  Op = kArrBinaryOperators[Code];
  return true;
}

// Functions whose cell loop is written out here, each the parser's own rule: the cheap ones,
// where a call per cell would cost more than the operation.
struct TLoopFunction {
  const char* PtrName;
  EProgramOp Op;
};
constexpr TLoopFunction kArrUnaryLoops[] = {
    {"abs", EProgramOp::Absolute},     {"sqrt", EProgramOp::SquareRoot}, {"sign", EProgramOp::Sign},
    {"rint", EProgramOp::RoundHalfUp}, {"floor", EProgramOp::Floor},     {"ceil", EProgramOp::Ceil},
    {"round", EProgramOp::RoundAway},  {"isnodata", EProgramOp::IsNaN},
};

// The name the parser's function table gives the callback at PtrAddress, or "".
std::string FunctionName(const mu::Parser& Parser, const void* PtrAddress) {
  for (const auto& [StgName, Callback] : Parser.GetFunDef()) {
    if (Callback.GetAddr() == PtrAddress) {
      return StgName;
    }
  }
  return "";
}

// min, max, sum and avg over their arguments in the order the parser's own loops take them:
// min and max start from the first argument, sum and avg from 0.
TOperand Reduce(TProgramBuilder& Builder, const std::string& StgName,
                const std::vector<TOperand>& VecArguments) {
  if (StgName == "min" || StgName == "max") {
    const EProgramOp Op = StgName == "min" ? EProgramOp::MinStep : EProgramOp::MaxStep;
    TOperand Running = VecArguments.front();
    for (std::size_t LngI = 1; LngI < VecArguments.size(); ++LngI) {
      Running = Builder.Emit(Op, {Running, VecArguments[LngI]});
    }
    return Running;
  }
  if (StgName != "sum" && StgName != "avg") {
    FailUncompiled();
  }
  TOperand Running = Constant(0.0);
  for (const TOperand& Argument : VecArguments) {
    Running = Builder.Emit(EProgramOp::Add, {Running, Argument});
  }
  if (StgName == "avg") {
    Running = Builder.Emit(EProgramOp::Divide,
                           {Running, Constant(static_cast<double>(VecArguments.size()))});
  }
  return Running;
}

TOperand Function(TProgramBuilder& Builder, const mu::Parser& Parser, const mu::SToken& Token,
                  std::vector<TOperand>& VecStack) {
  if (Token.Fun.cb._pUserData != nullptr) {
    FailUncompiled();
  }
  const int IntArgc = Token.Fun.argc;
  const std::size_t LngArguments = static_cast<std::size_t>(IntArgc < 0 ? -IntArgc : IntArgc);
  if (LngArguments == 0 || LngArguments > VecStack.size()) {
    FailUncompiled();
  }
  std::vector<TOperand> VecArguments(VecStack.end() - static_cast<long>(LngArguments),
                                     VecStack.end());
  VecStack.resize(VecStack.size() - LngArguments);
  const void* PtrAddress = reinterpret_cast<const void*>(Token.Fun.cb._pRawFun);
  if (PtrAddress == reinterpret_cast<const void*>(&Negate) && IntArgc == 1) {
    return Builder.Emit(EProgramOp::Negate, {VecArguments[0]});
  }
  const std::string StgName = FunctionName(Parser, PtrAddress);
  if (IntArgc < 0) {
    return Reduce(Builder, StgName, VecArguments);
  }
  if (IntArgc == 1) {
    for (const TLoopFunction& Loop : kArrUnaryLoops) {
      if (StgName == Loop.PtrName) {
        return Builder.Emit(Loop.Op, {VecArguments[0]});
      }
    }
    TProgramInstruction Instruction;
    Instruction.Op = EProgramOp::CallUnary;
    Instruction.ArrOperands[0] = VecArguments[0];
    Instruction.PtrUnary = reinterpret_cast<double (*)(double)>(Token.Fun.cb._pRawFun);
    return Builder.Push(Instruction);
  }
  if (IntArgc == 2) {
    if (StgName == "pow") {
      return Builder.Emit(EProgramOp::Power, {VecArguments[0], VecArguments[1]});
    }
    TProgramInstruction Instruction;
    Instruction.Op = EProgramOp::CallBinary;
    Instruction.ArrOperands[0] = VecArguments[0];
    Instruction.ArrOperands[1] = VecArguments[1];
    Instruction.PtrBinary = reinterpret_cast<double (*)(double, double)>(Token.Fun.cb._pRawFun);
    return Builder.Push(Instruction);
  }
  FailUncompiled();
}

}  // namespace

void SetUpParser(mu::Parser& Parser, const std::string& StgText,
                 const std::array<bool, kLngExpressionLetters>& ArrGiven,
                 std::array<double, kLngExpressionLetters>& ArrValues) {
  static std::mutex MtxParsers;
  const std::lock_guard<std::mutex> Lock(MtxParsers);
  // Every non-finite result is no-data, so NaN serves as the constant and as what isnodata sees.
  Parser.DefineConst("nodata", std::numeric_limits<double>::quiet_NaN());
  Parser.DefineFun("isnodata", IsNoData);
  Parser.DefineFun("pow", Power);
  Parser.DefineFun("floor", Floor);
  Parser.DefineFun("ceil", Ceil);
  Parser.DefineFun("round", Round);
  // Pinned: muparser versions disagree on whether log is base 10 or e.
  Parser.DefineFun("log", NaturalLog);
  Parser.DefineInfixOprt("-", Negate);
  for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
    if (ArrGiven[LngI]) {
      Parser.DefineVar(std::string(1, static_cast<char>('A' + LngI)), &ArrValues[LngI]);
    }
  }
  Parser.SetExpr(StgText);
}

TExpressionProgram CompileProgram(const mu::Parser& Parser,
                                  const std::array<double, kLngExpressionLetters>& ArrValues) {
  // A conditional whose condition is taken and whose first branch is done.
  struct TOpenConditional {
    TOperand Condition;
    TOperand WhenTrue;
  };
  TProgramBuilder Builder;
  std::vector<TOperand> VecStack;
  std::vector<TOpenConditional> VecConditionals;
  const auto Pop = [&VecStack]() {
    if (VecStack.empty()) {
      FailUncompiled();
    }
    const TOperand Operand = VecStack.back();
    VecStack.pop_back();
    return Operand;
  };
  const auto Variable = [&ArrValues](const double* PtrValue) {
    const std::ptrdiff_t LngLetter = PtrValue - ArrValues.data();
    if (LngLetter < 0 || LngLetter >= static_cast<std::ptrdiff_t>(kLngExpressionLetters)) {
      FailUncompiled();
    }
    TOperand Operand;
    Operand.Kind = TOperand::EKind::Variable;
    Operand.LngIndex = static_cast<std::size_t>(LngLetter);
    return Operand;
  };
  for (const mu::SToken* PtrToken = Parser.GetByteCode().GetBase(); PtrToken->Cmd != mu::cmEND;
       ++PtrToken) {
    const mu::SToken& Token = *PtrToken;
    EProgramOp Op = EProgramOp::Copy;
    if (BinaryOperator(Token.Cmd, Op)) {
      const TOperand Right = Pop();
      const TOperand Left = Pop();
      VecStack.push_back(Builder.Emit(Op, {Left, Right}));
      continue;
    }
    switch (Token.Cmd) {
      case mu::cmVAR:
        VecStack.push_back(Variable(Token.Val.ptr));
        break;
      case mu::cmVAL:
        VecStack.push_back(Constant(Token.Val.data2));
        break;
      case mu::cmVARPOW2:
        VecStack.push_back(Builder.Emit(EProgramOp::Square, {Variable(Token.Val.ptr)}));
        break;
      case mu::cmVARPOW3:
        VecStack.push_back(Builder.Emit(EProgramOp::Cube, {Variable(Token.Val.ptr)}));
        break;
      case mu::cmVARPOW4:
        VecStack.push_back(Builder.Emit(EProgramOp::Fourth, {Variable(Token.Val.ptr)}));
        break;
      case mu::cmVARMUL:
        VecStack.push_back(Builder.Emit(EProgramOp::ScaleShift, {Variable(Token.Val.ptr)},
                                        Token.Val.data, Token.Val.data2));
        break;
      case mu::cmIF:
        VecConditionals.push_back(TOpenConditional{Pop(), TOperand{}});
        break;
      case mu::cmELSE:
        if (VecConditionals.empty()) {
          FailUncompiled();
        }
        VecConditionals.back().WhenTrue = Pop();
        break;
      case mu::cmENDIF: {
        if (VecConditionals.empty()) {
          FailUncompiled();
        }
        const TOpenConditional Open = VecConditionals.back();
        VecConditionals.pop_back();
        const TOperand WhenFalse = Pop();
        // The parser jumps to the second branch where the condition is 0, so NaN takes the first.
        if (Open.Condition.Kind == TOperand::EKind::Constant) {
          VecStack.push_back(Open.Condition.DblValue == 0.0 ? WhenFalse : Open.WhenTrue);
        } else {
          VecStack.push_back(
              Builder.Emit(EProgramOp::Select, {Open.Condition, Open.WhenTrue, WhenFalse}));
        }
        break;
      }
      case mu::cmFUNC:
        VecStack.push_back(Function(Builder, Parser, Token, VecStack));
        break;
      default:
        FailUncompiled();
    }
  }
  if (VecStack.size() != 1 || !VecConditionals.empty()) {
    FailUncompiled();
  }
  return Builder.Finish(VecStack.back());
}

}  // namespace tessgrid::detail
