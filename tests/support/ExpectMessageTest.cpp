// tests/support/ExpectMessageTest.cpp - the message helper tells its three failures apart.
#include "tests/support/ExpectMessage.h"

#include "model/Fail.h"

using tessgrid::detail::Fail;

using tessgrid_test::ThrowsMessage;
using tessgrid_test::TMessageKind;

TEST(ExpectMessageTest, AcceptsTheExactTextOfEachKind) {
  EXPECT_MESSAGE(Fail("A in B"), "A in B");
  EXPECT_STRING_MESSAGE(Fail(std::string("Unable to open file x")), "Unable to open file x");
}

TEST(ExpectMessageTest, RejectsAnotherText) {
  EXPECT_FALSE(ThrowsMessage([] { Fail("A in B"); }, "A in C", TMessageKind::kCharPointer));
}

TEST(ExpectMessageTest, RejectsTheOtherKind) {
  EXPECT_FALSE(ThrowsMessage([] { Fail("A"); }, "A", TMessageKind::kString));
  EXPECT_FALSE(ThrowsMessage([] { Fail(std::string("A")); }, "A", TMessageKind::kCharPointer));
  EXPECT_FALSE(ThrowsMessage([] { throw 1; }, "A", TMessageKind::kCharPointer));
}

TEST(ExpectMessageTest, RejectsNoThrow) {
  EXPECT_FALSE(ThrowsMessage([] {}, "A", TMessageKind::kCharPointer));
}

TEST(ExpectMessageTest, ConstantTextsAreCaughtAsConstCharToo) {
  bool BlnCaught = false;
  try {
    Fail("A");
  } catch (const char* PtrMessage) {
    BlnCaught = std::string(PtrMessage) == "A";
  }
  EXPECT_TRUE(BlnCaught);
}
