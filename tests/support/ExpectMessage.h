// tests/support/ExpectMessage.h - EXPECT_MESSAGE: checks that a statement fails with an exact text.
// The library throws constant texts as char* and built texts as std::string; this tells them apart.
#ifndef TESTS_SUPPORT_EXPECTMESSAGE_H
#define TESTS_SUPPORT_EXPECTMESSAGE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tessgrid_test {

enum class TMessageKind { kCharPointer, kString };

/// Runs the statement and reports success only when it throws the message as the given kind.
/// A different text, a different exception type and no throw at all are three different failures.
inline ::testing::AssertionResult ThrowsMessage(const std::function<void()>& Statement,
                                                const std::string& StgExpected, TMessageKind Kind) {
  const char* PtrKindName = Kind == TMessageKind::kCharPointer ? "char*" : "std::string";
  try {
    Statement();
  } catch (char* PtrMessage) {
    if (Kind != TMessageKind::kCharPointer) {
      return ::testing::AssertionFailure()
             << "threw char* \"" << PtrMessage << "\" instead of " << PtrKindName;
    }
    if (StgExpected != PtrMessage) {
      return ::testing::AssertionFailure()
             << "threw \"" << PtrMessage << "\" instead of \"" << StgExpected << "\"";
    }
    return ::testing::AssertionSuccess();
  } catch (const std::string& StgMessage) {
    if (Kind != TMessageKind::kString) {
      return ::testing::AssertionFailure()
             << "threw std::string \"" << StgMessage << "\" instead of " << PtrKindName;
    }
    if (StgExpected != StgMessage) {
      return ::testing::AssertionFailure()
             << "threw \"" << StgMessage << "\" instead of \"" << StgExpected << "\"";
    }
    return ::testing::AssertionSuccess();
  } catch (...) {
    return ::testing::AssertionFailure() << "threw an exception of another type";
  }
  return ::testing::AssertionFailure() << "threw nothing; expected \"" << StgExpected << "\"";
}

}  // namespace tessgrid_test

/// Expects the statement to throw the constant message as char*. The statement is an expression;
/// a result it would have returned is discarded, as the call is expected to return none.
#define EXPECT_MESSAGE(statement, message)                                                     \
  EXPECT_TRUE(::tessgrid_test::ThrowsMessage([&]() { static_cast<void>(statement); }, message, \
                                             ::tessgrid_test::TMessageKind::kCharPointer))

/// Expects the statement to throw the message as std::string; the same form as EXPECT_MESSAGE.
#define EXPECT_STRING_MESSAGE(statement, message)                                              \
  EXPECT_TRUE(::tessgrid_test::ThrowsMessage([&]() { static_cast<void>(statement); }, message, \
                                             ::tessgrid_test::TMessageKind::kString))

#endif  // TESTS_SUPPORT_EXPECTMESSAGE_H
