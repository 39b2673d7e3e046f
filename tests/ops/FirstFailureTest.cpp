// tests/ops/FirstFailureTest.cpp - the first failing cell of a grid of column and row checks.
#include "ops/FirstFailure.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/ExpectMessage.h"

using tessgrid::detail::FailAtFirstCell;
using tessgrid::detail::TLineFault;

namespace {

const TLineFault kPasses;

void FailFirst(const std::vector<TLineFault>& VecInner, const std::vector<TLineFault>& VecOuter) {
  FailAtFirstCell(VecInner.data(), VecInner.size(), VecOuter.data(), VecOuter.size());
}

}  // namespace

TEST(FirstFailureTest, TheFirstFailingCellFailsAtTheEarlierOfItsTwoChecks) {
  const TLineFault Column1{4, "column 1"};
  const TLineFault Column0{2, "column 0"};
  const TLineFault Row0{5, "row 0"};
  const TLineFault Row1{1, "row 1"};
  // A failing column fails in outer line 0 already, before any later row.
  EXPECT_MESSAGE(FailFirst({kPasses, Column1, kPasses}, {kPasses, Row1}), "column 1");
  // A failing outer line fails at its first inner line, with whichever check comes first there.
  EXPECT_MESSAGE(FailFirst({kPasses, Column1}, {Row0}), "row 0");
  EXPECT_MESSAGE(FailFirst({Column0, Column1}, {Row0}), "column 0");
  EXPECT_MESSAGE(FailFirst({kPasses, kPasses}, {kPasses, Row1}), "row 1");
  EXPECT_NO_THROW(FailFirst({kPasses, kPasses}, {kPasses}));
  EXPECT_NO_THROW(FailFirst({}, {Row0}));
  EXPECT_NO_THROW(FailFirst({Column0}, {}));
}
