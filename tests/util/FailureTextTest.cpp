// tests/util/FailureTextTest.cpp - the one mapping from an exception to the text a user reads:
// every kind of failure, in a catch block and through an exception pointer alike.
#include "util/FailureText.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "model/Fail.h"

namespace {

using tessgrid::detail::CurrentFailureText;
using tessgrid::detail::FailureText;
using tessgrid::detail::TFailureKind;
using tessgrid::detail::TFailureText;

// The failure's text taken both ways; they must agree.
TFailureText TextOf(const std::function<void()>& Failing, std::exception_ptr& PtrKept) {
  try {
    Failing();
  } catch (...) {
    const TFailureText InFlight = CurrentFailureText("unknown here");
    PtrKept = std::current_exception();
    const TFailureText Held = FailureText(PtrKept, "unknown here");
    EXPECT_EQ(InFlight.Kind, Held.Kind);
    EXPECT_EQ(InFlight.StgText, Held.StgText);
    return Held;
  }
  ADD_FAILURE() << "no failure";
  return {TFailureKind::kUnknown, ""};
}

TEST(FailureTextTest, EveryKindOfFailureGivesItsTextAndKind) {
  std::exception_ptr PtrKept;
  const struct {
    std::function<void()> Failing;
    TFailureKind Kind;
    std::string StgText;
  } kCases[] = {
      {[] { tessgrid::detail::Fail("Index is out of bounds in TMap::GetRow"); },
       TFailureKind::kMessage, "Index is out of bounds in TMap::GetRow"},
      {[] { throw "a literal thrown as it is"; }, TFailureKind::kMessage,
       "a literal thrown as it is"},
      {[] { throw static_cast<char*>(nullptr); }, TFailureKind::kMessage, ""},
      {[] { tessgrid::detail::Fail(std::string("Unable to open file a.asc")); },
       TFailureKind::kMessage, "Unable to open file a.asc"},
      {[] { throw std::bad_alloc(); }, TFailureKind::kOutOfMemory, "Out of memory"},
      {[] { throw std::invalid_argument("bad expression"); }, TFailureKind::kException,
       "bad expression"},
      {[] { throw 42; }, TFailureKind::kUnknown, "unknown here"},
  };
  for (const auto& Case : kCases) {
    const TFailureText Text = TextOf(Case.Failing, PtrKept);
    EXPECT_EQ(Text.Kind, Case.Kind) << Case.StgText;
    EXPECT_EQ(Text.StgText, Case.StgText);
  }
}

TEST(FailureTextTest, TextOfAHeldFailureLivesAsLongAsTheFailure) {
  std::exception_ptr PtrKept;
  const TFailureText Text = TextOf([] { tessgrid::detail::Fail(std::string(300, 'x')); }, PtrKept);
  // The text is the held string itself, not a copy that the catch block took with it.
  try {
    std::rethrow_exception(PtrKept);
  } catch (const std::string& StgHeld) {
    EXPECT_EQ(Text.StgText.data(), StgHeld.data());
  }
  EXPECT_EQ(Text.StgText, std::string(300, 'x'));
}

}  // namespace
