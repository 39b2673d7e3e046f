// engine/Expression.cpp - the expression's parser set-up, the variables its isnodata calls test,
// and the row loop. The contract is in engine/Expression.h.
#include "engine/Expression.h"

#include <muParser.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <mutex>
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

// Cell k of the result of one operator, branch-free so that the loop runs in vector registers:
// no-data where an operand is no-data or the result is not finite (x - x is 0 exactly for the
// finite values, NaN for inf and NaN). Returns the first column whose data result equals the
// no-data value, or -1.
template <typename TOperator>
long OperatorRow(const double* PtrA, const double* PtrB, double* PtrOut, long LngColumns,
                 double DblNoData, TOperator Operator) {
  for (long LngC = 0; LngC < LngColumns; ++LngC) {
    const double DblResult = Operator(PtrA[LngC], PtrB[LngC]);
    const bool BlnKept =
        (PtrA[LngC] != DblNoData) & (PtrB[LngC] != DblNoData) & (DblResult - DblResult == 0.0);
    PtrOut[LngC] = BlnKept ? DblResult : DblNoData;
  }
  // A data result equal to no-data is rare; the row is still in the cache for this look.
  for (long LngC = 0; LngC < LngColumns; ++LngC) {
    if (PtrOut[LngC] == DblNoData && PtrA[LngC] != DblNoData && PtrB[LngC] != DblNoData &&
        Operator(PtrA[LngC], PtrB[LngC]) == DblNoData) {
      return LngC;
    }
  }
  return -1;
}

// Builds a parser for the text with the letters given as variables bound to ArrValues.
// Serialised: muparser parses with shared locale state.
void SetUpParser(mu::Parser& Parser, const std::string& StgText, const TLetterSet& ArrGiven,
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
  for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
    if (ArrGiven[LngI]) {
      Parser.DefineVar(std::string(1, static_cast<char>('A' + LngI)), &ArrValues[LngI]);
    }
  }
  Parser.SetExpr(StgText);  // SetExpr already refuses some texts (one too long)
}

// muparser words a failure as a sentence with a position counted from 0; a user counts columns
// from 1 and wants the expression beside it.
TExpressionError ExpressionError(const mu::ParserError& Error, const std::string& StgExpr) {
  std::string StgMessage = Error.GetMsg();
  const std::size_t LngAt = StgMessage.find(" at position ");
  if (LngAt != std::string::npos) {
    std::size_t LngEnd = LngAt + std::string(" at position ").size();
    while (LngEnd < StgMessage.size() &&
           std::isdigit(static_cast<unsigned char>(StgMessage[LngEnd]))) {
      ++LngEnd;
    }
    StgMessage.erase(LngAt, LngEnd - LngAt);
  }
  while (!StgMessage.empty() && (StgMessage.back() == '.' || StgMessage.back() == ' ')) {
    StgMessage.pop_back();
  }
  if (!StgMessage.empty()) {
    StgMessage[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(StgMessage[0])));
  }
  std::string StgText = StgMessage;
  if (Error.GetPos() >= 0) {
    StgText += " at column " + std::to_string(Error.GetPos() + 1);
  }
  return TExpressionError(StgText + " in \"" + StgExpr + "\"");
}

bool IsNameStart(char ChrC) {
  return std::isalpha(static_cast<unsigned char>(ChrC)) != 0 || ChrC == '_';
}

bool IsNameChar(char ChrC) {
  return IsNameStart(ChrC) || std::isdigit(static_cast<unsigned char>(ChrC)) != 0;
}

// The variables that appear inside the argument of an isnodata call: their no-data cells reach
// the expression as NaN instead of making the result no-data. Names are read as muparser reads
// them, and a number's exponent ("1e5") is no name.
TLetterSet TestedVariables(const std::string& StgExpr) {
  TLetterSet ArrTested{};
  std::vector<long> VecOpenArguments;  // the depth of each isnodata argument still open
  long LngDepth = 0;
  bool BlnCallPending = false;
  std::size_t LngI = 0;
  while (LngI < StgExpr.size()) {
    const char ChrC = StgExpr[LngI];
    if (IsNameStart(ChrC)) {
      const std::size_t LngStart = LngI;
      while (LngI < StgExpr.size() && IsNameChar(StgExpr[LngI])) {
        ++LngI;
      }
      const std::string StgName = StgExpr.substr(LngStart, LngI - LngStart);
      BlnCallPending = StgName == "isnodata";
      if (StgName.size() == 1 && StgName[0] >= 'A' && StgName[0] <= 'Z' &&
          !VecOpenArguments.empty()) {
        ArrTested[static_cast<std::size_t>(StgName[0] - 'A')] = true;
      }
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(ChrC)) != 0 || ChrC == '.') {
      while (
          LngI < StgExpr.size() &&
          (std::isdigit(static_cast<unsigned char>(StgExpr[LngI])) != 0 || StgExpr[LngI] == '.')) {
        ++LngI;
      }
      if (LngI < StgExpr.size() && (StgExpr[LngI] == 'e' || StgExpr[LngI] == 'E')) {
        ++LngI;
        if (LngI < StgExpr.size() && (StgExpr[LngI] == '+' || StgExpr[LngI] == '-')) {
          ++LngI;
        }
        while (LngI < StgExpr.size() &&
               std::isdigit(static_cast<unsigned char>(StgExpr[LngI])) != 0) {
          ++LngI;
        }
      }
      BlnCallPending = false;
      continue;
    }
    if (ChrC == '(') {
      ++LngDepth;
      if (BlnCallPending) {
        VecOpenArguments.push_back(LngDepth);
      }
      BlnCallPending = false;
    } else if (ChrC == ')') {
      if (!VecOpenArguments.empty() && VecOpenArguments.back() == LngDepth) {
        VecOpenArguments.pop_back();
      }
      --LngDepth;
    } else if (std::isspace(static_cast<unsigned char>(ChrC)) == 0) {
      BlnCallPending = false;
    }
    ++LngI;
  }
  return ArrTested;
}

}  // namespace

TExpressionError::TExpressionError(const std::string& StgMessage, char ChrMissing)
    : std::invalid_argument(StgMessage), MbrChrMissing(ChrMissing) {}

TExpression::TExpression(std::string StgText, const TLetterSet& ArrGiven)
    : MbrStgText(std::move(StgText)), MbrArrGiven(ArrGiven), MbrArrNamed{}, MbrArrTested{} {
  mu::Parser Parser;
  std::array<double, kLngExpressionLetters> ArrValues{};
  try {
    SetUpParser(Parser, MbrStgText, ArrGiven, ArrValues);
    // GetUsedVar lists every name the text uses as a variable, known or not.
    for (const auto& Used : Parser.GetUsedVar()) {
      const std::string& StgName = Used.first;
      if (StgName.size() != 1 || StgName[0] < 'A' || StgName[0] > 'Z') {
        continue;  // the full parse below reports it with its column
      }
      const std::size_t LngLetter = static_cast<std::size_t>(StgName[0] - 'A');
      if (!ArrGiven[LngLetter]) {
        throw TExpressionError(
            "names " + StgName + ", which has no input grid in \"" + MbrStgText + "\"", StgName[0]);
      }
      MbrArrNamed[LngLetter] = true;
    }
    Parser.Eval();  // the full parse: what the variable list let through
  } catch (const mu::ParserError& Error) {
    throw ExpressionError(Error, MbrStgText);
  }
  const TLetterSet ArrInside = TestedVariables(MbrStgText);
  for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
    MbrArrTested[LngI] = MbrArrNamed[LngI] && ArrInside[LngI];
  }
  std::string StgBare;
  for (const char ChrC : MbrStgText) {
    if (std::isspace(static_cast<unsigned char>(ChrC)) == 0) {
      StgBare += ChrC;
    }
  }
  // The parse has passed, so two letters around one of the four characters are two variables
  // with their grids.
  const auto IsLetter = [](char ChrC) { return ChrC >= 'A' && ChrC <= 'Z'; };
  if (StgBare.size() == 3 && IsLetter(StgBare[0]) && IsLetter(StgBare[2]) &&
      std::string("+-*/").find(StgBare[1]) != std::string::npos) {
    MbrOptSingle = TSingleOperator{static_cast<std::size_t>(StgBare[0] - 'A'), StgBare[1],
                                   static_cast<std::size_t>(StgBare[2] - 'A')};
  }
}

std::unique_ptr<TExpression::TEvaluator> TExpression::NewEvaluator() const {
  return std::make_unique<TEvaluator>(*this);
}

struct TExpression::TEvaluator::TState {
  // A named variable as the row loop reads it.
  struct TBinding {
    std::size_t LngLetter;  ///< A + LngLetter
    double* PtrValue;       ///< the parser's variable
    bool BlnTested;         ///< named inside isnodata: no-data reaches the expression as NaN
  };
  mu::Parser Parser;
  std::array<double, kLngExpressionLetters> ArrValues{};  ///< the current cell of variable A + i
  std::vector<TBinding> VecBindings;                      ///< the named variables, A first
};

TExpression::TEvaluator::TEvaluator(const TExpression& Expression)
    : MbrPtrState(std::make_unique<TState>()), MbrExpression(Expression) {
  try {
    SetUpParser(MbrPtrState->Parser, Expression.MbrStgText, Expression.MbrArrGiven,
                MbrPtrState->ArrValues);
    MbrPtrState->Parser.Eval();  // the first evaluation turns the text into bytecode
  } catch (const mu::ParserError& Error) {
    throw ExpressionError(Error, Expression.MbrStgText);
  }
  for (std::size_t LngI = 0; LngI < kLngExpressionLetters; ++LngI) {
    if (Expression.MbrArrNamed[LngI]) {
      MbrPtrState->VecBindings.push_back(
          TState::TBinding{LngI, &MbrPtrState->ArrValues[LngI], Expression.MbrArrTested[LngI]});
    }
  }
}

TExpression::TEvaluator::~TEvaluator() = default;

// Cell by cell through bound scalars: muparser's bulk mode opens an OpenMP team on every call,
// which costs more than it saves once the rows are already spread over threads, and a bound
// scalar per variable allocates nothing per cell.
long TExpression::TEvaluator::EvaluateRow(
    const std::array<const double*, kLngExpressionLetters>& ArrRows, double* PtrOut,
    long LngColumns, double DblNoData) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  const bool BlnNaNNoData = std::isnan(DblNoData);
  if (MbrExpression.MbrOptSingle && !BlnNaNNoData) {
    const TSingleOperator& Single = *MbrExpression.MbrOptSingle;
    const double* PtrA = ArrRows[Single.LngLeft];
    const double* PtrB = ArrRows[Single.LngRight];
    switch (Single.ChrOperator) {
      case '+':
        return OperatorRow(PtrA, PtrB, PtrOut, LngColumns, DblNoData,
                           [](double DblX, double DblY) { return DblX + DblY; });
      case '-':
        return OperatorRow(PtrA, PtrB, PtrOut, LngColumns, DblNoData,
                           [](double DblX, double DblY) { return DblX - DblY; });
      case '*':
        return OperatorRow(PtrA, PtrB, PtrOut, LngColumns, DblNoData,
                           [](double DblX, double DblY) { return DblX * DblY; });
      default:
        return OperatorRow(PtrA, PtrB, PtrOut, LngColumns, DblNoData,
                           [](double DblX, double DblY) { return DblX / DblY; });
    }
  }
  long LngCollision = -1;
  for (long LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    bool BlnNoData = false;
    bool BlnTestedNoData = false;  // a tested variable's no-data: the result may be no-data's value
    for (const TState::TBinding& Binding : MbrPtrState->VecBindings) {
      double DblValue = ArrRows[Binding.LngLetter][LngColumn];
      if (DblValue == DblNoData || (BlnNaNNoData && std::isnan(DblValue))) {
        if (!Binding.BlnTested) {
          BlnNoData = true;
          break;
        }
        BlnTestedNoData = true;
        DblValue = DblNaN;
      }
      *Binding.PtrValue = DblValue;
    }
    double DblResult = DblNoData;
    if (!BlnNoData) {
      try {
        DblResult = MbrPtrState->Parser.Eval();
      } catch (const mu::ParserError& Error) {
        throw ExpressionError(Error, MbrExpression.MbrStgText);
      }
      if (!std::isfinite(DblResult)) {
        DblResult = DblNoData;
      } else if (DblResult == DblNoData && !BlnTestedNoData && LngCollision < 0) {
        LngCollision = LngColumn;
      }
    }
    PtrOut[LngColumn] = DblResult;
  }
  return LngCollision;
}

}  // namespace tessgrid::detail
