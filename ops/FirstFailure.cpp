// ops/FirstFailure.cpp - the first failing cell of a grid of line-wise checks.
// The declarations and their contracts are in ops/FirstFailure.h.
#include "ops/FirstFailure.h"

#include "model/Fail.h"

void tessgrid::detail::FailAtFirstCell(const TLineFault* PtrInner, std::size_t LngInner,
                                       const TLineFault* PtrOuter, std::size_t LngOuter) {
  if (LngInner == 0 || LngOuter == 0) {
    return;
  }
  // A failing inner line fails a cell of every outer line, so the first failing cell lies on
  // outer line 0 unless only outer lines fail; on its outer line it is the first inner line,
  // unless that outer line passes, and then the first failing inner line.
  std::size_t LngInnerFirst = 0;
  while (LngInnerFirst < LngInner && !Fails(PtrInner[LngInnerFirst])) {
    ++LngInnerFirst;
  }
  for (std::size_t LngJ = 0; LngJ < LngOuter; ++LngJ) {
    const TLineFault& Outer = PtrOuter[LngJ];
    if (!Fails(Outer) && LngInnerFirst == LngInner) {
      continue;
    }
    const TLineFault& Inner = Fails(Outer) ? PtrInner[0] : PtrInner[LngInnerFirst];
    // Columns and rows number their checks apart, so the two steps never tie.
    Fail(Inner.MbrIntStep < Outer.MbrIntStep ? Inner.MbrPtrMessage : Outer.MbrPtrMessage);
  }
}
