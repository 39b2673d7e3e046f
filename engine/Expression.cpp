// engine/Expression.cpp - the expression's checks and messages, the variables its isnodata calls
// test, and the row loop that runs its program block by block with the no-data rules around it.
// The contract is in engine/Expression.h.
#include "engine/Expression.h"

#include <muParser.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "engine/ExpressionParser.h"

namespace tessgrid::detail {

namespace {

constexpr std::size_t kLngNoPosition = std::string::npos;

bool IsContinuationByte(char ChrC) {
  return (static_cast<unsigned char>(ChrC) & 0xC0) == 0x80;
}

// The text in quotes: whole when short, else the part around LngPosition (counted from 0; the
// start when there is none), cut between characters, never inside one.
std::string Echo(const std::string& StgText, std::size_t LngPosition) {
  if (StgText.size() <= kLngWholeEcho) {
    return "\"" + StgText + "\"";
  }
  const std::size_t LngCentre = LngPosition == kLngNoPosition ? 0 : LngPosition;
  std::size_t LngFrom = LngCentre > kLngEchoSide ? LngCentre - kLngEchoSide : 0;
  std::size_t LngTo = std::min(StgText.size(), LngCentre + kLngEchoSide);
  while (LngFrom > 0 && IsContinuationByte(StgText[LngFrom])) {
    --LngFrom;
  }
  while (LngTo < StgText.size() && IsContinuationByte(StgText[LngTo])) {
    ++LngTo;
  }
  return "\"" + std::string(LngFrom > 0 ? "..." : "") + StgText.substr(LngFrom, LngTo - LngFrom) +
         (LngTo < StgText.size() ? "..." : "") + "\"";
}

// A fault at LngPosition (counted from 0, or none): "<reason> at column <c> in "<text>"".
TExpressionError Fault(const std::string& StgReason, const std::string& StgText,
                       std::size_t LngPosition) {
  const std::string StgEcho = Echo(StgText, LngPosition);
  const std::string StgColumn =
      LngPosition == kLngNoPosition ? "" : " at column " + std::to_string(LngPosition + 1);
  return TExpressionError(StgReason + StgColumn + " in " + StgEcho, '\0', StgEcho);
}

// muparser quotes the token it stumbled on, which may be the whole of a long text.
std::string CutQuotedToken(std::string StgReason) {
  const std::size_t LngOpen = StgReason.find('"');
  const std::size_t LngClose =
      LngOpen == std::string::npos ? std::string::npos : StgReason.find('"', LngOpen + 1);
  if (LngClose == std::string::npos || LngClose - LngOpen - 1 <= kLngEchoSide) {
    return StgReason;
  }
  std::size_t LngCut = LngOpen + 1 + kLngEchoSide;
  while (LngCut > LngOpen + 1 && IsContinuationByte(StgReason[LngCut])) {
    --LngCut;
  }
  return StgReason.replace(LngCut, LngClose - LngCut, "...");
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
  const std::size_t LngPosition =
      Error.GetPos() >= 0 ? static_cast<std::size_t>(Error.GetPos()) : kLngNoPosition;
  return Fault(CutQuotedToken(StgMessage), StgExpr, LngPosition);
}

bool IsNameStart(char ChrC) {
  return std::isalpha(static_cast<unsigned char>(ChrC)) != 0 || ChrC == '_';
}

bool IsNameChar(char ChrC) {
  return IsNameStart(ChrC) || std::isdigit(static_cast<unsigned char>(ChrC)) != 0;
}

// Calls Visit(name, position, inside an isnodata argument) for every name of the text, read as
// muparser reads names; a number's exponent ("1e5") is no name.
void VisitNames(const std::string& StgExpr,
                const std::function<void(const std::string&, std::size_t, bool)>& Visit) {
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
      Visit(StgName, LngStart, !VecOpenArguments.empty());
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
}

bool IsLetter(const std::string& StgName) {
  return StgName.size() == 1 && StgName[0] >= 'A' && StgName[0] <= 'Z';
}

// The first "=" that is no part of "<=", ">=", "!=" or "==", read as muparser reads operators:
// in a text that parsed, it is the assignment.
std::size_t AssignmentPosition(const std::string& StgExpr) {
  for (std::size_t LngI = 0; LngI < StgExpr.size(); ++LngI) {
    const char ChrC = StgExpr[LngI];
    if (LngI + 1 < StgExpr.size() && StgExpr[LngI + 1] == '=' &&
        std::string("<>!=").find(ChrC) != std::string::npos) {
      ++LngI;
    } else if (ChrC == '=') {
      return LngI;
    }
  }
  return kLngNoPosition;
}

// The first "," outside every parenthesis: where a list of expressions begins.
std::size_t ListPosition(const std::string& StgExpr) {
  long LngDepth = 0;
  for (std::size_t LngI = 0; LngI < StgExpr.size(); ++LngI) {
    if (StgExpr[LngI] == '(') {
      ++LngDepth;
    } else if (StgExpr[LngI] == ')') {
      --LngDepth;
    } else if (StgExpr[LngI] == ',' && LngDepth == 0) {
      return LngI;
    }
  }
  return kLngNoPosition;
}

bool Assigns(const mu::Parser& Parser) {
  for (const mu::SToken* PtrToken = Parser.GetByteCode().GetBase(); PtrToken->Cmd != mu::cmEND;
       ++PtrToken) {
    if (PtrToken->Cmd == mu::cmASSIGN) {
      return true;
    }
  }
  return false;
}

// Copies a tested variable's block with its no-data cells as NaN, what isnodata tests.
void NoDataAsNaN(const double* PtrRow, double* PtrCopy, long LngCells, double DblNoData) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  for (long LngI = 0; LngI < LngCells; ++LngI) {
    PtrCopy[LngI] = PtrRow[LngI] == DblNoData ? DblNaN : PtrRow[LngI];
  }
}

// Writes the results, those that are not finite as no-data (x - x is 0 exactly for the finite
// values, NaN for inf and NaN). Returns how many equal the no-data value.
long KeepFinite(const double* PtrResult, double* PtrOut, long LngCells, double DblNoData) {
  long LngEqual = 0;
  for (long LngI = 0; LngI < LngCells; ++LngI) {
    const double DblResult = PtrResult[LngI];
    PtrOut[LngI] = DblResult - DblResult == 0.0 ? DblResult : DblNoData;
    LngEqual += DblResult == DblNoData ? 1 : 0;
  }
  return LngEqual;
}

// Writes no-data where the untested variable's cell is no-data.
void SpreadNoData(const double* PtrRow, double* PtrOut, long LngCells, double DblNoData,
                  bool BlnNaNNoData) {
  if (BlnNaNNoData) {
    for (long LngI = 0; LngI < LngCells; ++LngI) {
      PtrOut[LngI] = PtrRow[LngI] != PtrRow[LngI] ? DblNoData : PtrOut[LngI];
    }
  } else {
    for (long LngI = 0; LngI < LngCells; ++LngI) {
      PtrOut[LngI] = PtrRow[LngI] == DblNoData ? DblNoData : PtrOut[LngI];
    }
  }
}

}  // namespace

TExpressionError::TExpressionError(const std::string& StgMessage, char ChrMissing,
                                   std::string StgEcho)
    : std::invalid_argument(StgMessage),
      MbrChrMissing(ChrMissing),
      MbrStgEcho(std::move(StgEcho)) {}

TExpression::TExpression(std::string StgText, const TLetterSet& ArrGiven)
    : MbrStgText(std::move(StgText)), MbrArrNamed{}, MbrArrTested{} {
  mu::Parser Parser;
  std::array<double, kLngExpressionLetters> ArrValues{};
  try {
    SetUpParser(Parser, MbrStgText, ArrGiven, ArrValues);
    // GetUsedVar lists every name the text uses as a variable, known or not.
    for (const auto& Used : Parser.GetUsedVar()) {
      const std::string& StgName = Used.first;
      if (!IsLetter(StgName)) {
        continue;  // the full parse below reports it with its column
      }
      const std::size_t LngLetter = static_cast<std::size_t>(StgName[0] - 'A');
      if (!ArrGiven[LngLetter]) {
        std::size_t LngFirst = kLngNoPosition;
        VisitNames(MbrStgText, [&](const std::string& StgSeen, std::size_t LngAt, bool) {
          LngFirst = StgSeen == StgName ? std::min(LngFirst, LngAt) : LngFirst;
        });
        const std::string StgEcho = Echo(MbrStgText, LngFirst);
        throw TExpressionError("names " + StgName + ", which has no input grid in " + StgEcho,
                               StgName[0], StgEcho);
      }
      MbrArrNamed[LngLetter] = true;
    }
    Parser.Eval();  // the full parse: what the variable list let through
  } catch (const mu::ParserError& Error) {
    throw ExpressionError(Error, MbrStgText);
  }
  if (Assigns(Parser)) {
    throw Fault("unexpected assignment \"=\" (to compare, write \"==\")", MbrStgText,
                AssignmentPosition(MbrStgText));
  }
  if (Parser.GetNumResults() > 1) {
    throw Fault("unexpected \",\" outside a function's arguments (calc computes one expression)",
                MbrStgText, ListPosition(MbrStgText));
  }
  try {
    MbrProgram = CompileProgram(Parser, ArrValues);
  } catch (const std::invalid_argument& Error) {
    throw Fault(Error.what(), MbrStgText, kLngNoPosition);
  }
  VisitNames(MbrStgText, [this](const std::string& StgName, std::size_t, bool BlnInside) {
    if (BlnInside && IsLetter(StgName)) {
      const std::size_t LngLetter = static_cast<std::size_t>(StgName[0] - 'A');
      MbrArrTested[LngLetter] = MbrArrNamed[LngLetter];
    }
  });
}

std::unique_ptr<TExpression::TEvaluator> TExpression::NewEvaluator() const {
  return std::make_unique<TEvaluator>(*this);
}

TExpression::TEvaluator::TEvaluator(const TExpression& Expression)
    : MbrExpression(Expression),
      MbrVecRegisters(Expression.MbrProgram.LngRegisters * kLngProgramBlock),
      MbrVecTested(static_cast<std::size_t>(std::count(Expression.MbrArrTested.begin(),
                                                       Expression.MbrArrTested.end(), true)) *
                   kLngProgramBlock) {}

long TExpression::TEvaluator::EvaluateRow(
    const std::array<const double*, kLngExpressionLetters>& ArrRows, double* PtrOut,
    long LngColumns, double DblNoData) {
  const bool BlnNaNNoData = std::isnan(DblNoData);
  const TLetterSet& ArrNamed = MbrExpression.MbrArrNamed;
  const TLetterSet& ArrTested = MbrExpression.MbrArrTested;
  std::array<const double*, kLngExpressionLetters> ArrBlock{};
  long LngCollision = -1;
  for (long LngFirst = 0; LngFirst < LngColumns; LngFirst += kLngProgramBlock) {
    const long LngCells = std::min(kLngProgramBlock, LngColumns - LngFirst);
    std::size_t LngCopies = 0;
    for (std::size_t LngL = 0; LngL < kLngExpressionLetters; ++LngL) {
      if (!ArrNamed[LngL]) {
        continue;
      }
      ArrBlock[LngL] = ArrRows[LngL] + LngFirst;
      // A NaN no-data value is already what isnodata tests.
      if (ArrTested[LngL] && !BlnNaNNoData) {
        double* PtrCopy = MbrVecTested.data() + LngCopies++ * kLngProgramBlock;
        NoDataAsNaN(ArrBlock[LngL], PtrCopy, LngCells, DblNoData);
        ArrBlock[LngL] = PtrCopy;
      }
    }
    const double* PtrResult =
        MbrExpression.MbrProgram.Run(ArrBlock, MbrVecRegisters.data(), LngCells);
    double* PtrBlockOut = PtrOut + LngFirst;
    const long LngEqual = KeepFinite(PtrResult, PtrBlockOut, LngCells, DblNoData);
    for (std::size_t LngL = 0; LngL < kLngExpressionLetters; ++LngL) {
      if (ArrNamed[LngL] && !ArrTested[LngL]) {
        SpreadNoData(ArrRows[LngL] + LngFirst, PtrBlockOut, LngCells, DblNoData, BlnNaNNoData);
      }
    }
    // A data result equal to no-data is rare; the block is still in the cache for this look.
    for (long LngI = 0; LngEqual > 0 && LngCollision < 0 && LngI < LngCells; ++LngI) {
      bool BlnData = PtrResult[LngI] == DblNoData;
      for (std::size_t LngL = 0; BlnData && LngL < kLngExpressionLetters; ++LngL) {
        BlnData = !ArrNamed[LngL] || ArrRows[LngL][LngFirst + LngI] != DblNoData;
      }
      LngCollision = BlnData ? LngFirst + LngI : -1;
    }
  }
  return LngCollision;
}

}  // namespace tessgrid::detail
