// tests/TessgridTest.cpp - the public face at the include root: the umbrella header, the version
// macros, the owning handles and tessgrid::Message. Includes nothing but tessgrid.h from the tree.
#include "tessgrid.h"

#include <gtest/gtest.h>

#include <exception>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string MessageOf(void (*PtrFailing)()) {
  try {
    PtrFailing();
  } catch (...) {
    return tessgrid::Message(std::current_exception());
  }
  return "no failure";
}

// A 2 x 2 map on reader-like edges, its south-western corner at (0, 0), cells 1 to 4.
TMapPtr SmallMap() {
  TMapPtr PtrMap(new TMap(1.0, 2, 2));
  TAxis XEdges(1.0, 3);
  TAxis YEdges(1.0, 3);
  for (long LngI = 0; LngI < 3; ++LngI) {
    XEdges.SetPoint(LngI, new TPoint(static_cast<double>(LngI), 2.0));
    YEdges.SetPoint(LngI, new TPoint(0.0, static_cast<double>(2 - LngI)));
  }
  PtrMap->SetXAxisInterval(&XEdges);
  PtrMap->SetYAxisInterval(&YEdges);
  for (long LngI = 0; LngI < 4; ++LngI) {
    PtrMap->SetPoint(LngI % 2, LngI / 2, static_cast<double>(LngI + 1));
  }
  return PtrMap;
}

}  // namespace

TEST(TessgridTest, VersionMacrosHoldTheProjectVersion) {
  EXPECT_STREQ(TESSGRID_VERSION_STRING, TESSGRID_PROJECT_VERSION);
  EXPECT_EQ(std::to_string(TESSGRID_VERSION_MAJOR) + "." + std::to_string(TESSGRID_VERSION_MINOR) +
                "." + std::to_string(TESSGRID_VERSION_PATCH),
            TESSGRID_VERSION_STRING);
}

TEST(TessgridTest, MessageGivesTheTextOfEveryKindOfFailure) {
  EXPECT_EQ(MessageOf([] { static_cast<void>(TMap(1.0, 1, 1).GetPointVal(1, 0)); }),
            "X-ordinate is out of range in TMap::GetPointVal");
  EXPECT_EQ(
      MessageOf([] { delete TARCGISFileTools::LoadARCGISFile(std::string("/nonexistent/a.asc")); }),
      "Unable to open file /nonexistent/a.asc");
  EXPECT_EQ(MessageOf([] { throw std::runtime_error("disk on fire"); }), "disk on fire");
  EXPECT_EQ(MessageOf([] { throw std::bad_alloc(); }), "Out of memory");
  EXPECT_EQ(MessageOf([] { throw 42; }), "Unknown failure");
  EXPECT_EQ(MessageOf([] { throw static_cast<const char*>(nullptr); }), "");
  EXPECT_EQ(tessgrid::Message(nullptr), "");
}

TEST(TessgridTest, OwnTakesOverListResultsAndBorrowLendsThemBack) {
  const TMapPtr PtrMap = SmallMap();
  const std::vector<TMapPtr> VecMaps =
      tessgrid::Own(TMapTools::Threshold(std::vector<TMap*>{PtrMap.get(), PtrMap.get()}, 2.0));
  ASSERT_EQ(VecMaps.size(), 2u);
  const TMapPtr PtrSum(TMapTools::Sum(tessgrid::Borrow(VecMaps)));
  EXPECT_EQ(PtrSum->GetPointVal(0, 0), 0.0);
  EXPECT_EQ(PtrSum->GetPointVal(1, 1), 8.0);

  const std::map<double, TMapPointPtr> MapFirst =
      tessgrid::Own(TMapTools::GetFirstValues(PtrMap.get(), {}));
  EXPECT_EQ(TMapTools::FetchMapValues(PtrSum.get(), tessgrid::Borrow(MapFirst)),
            (std::map<double, double>{{1, 0}, {2, 4}, {3, 6}, {4, 8}}));
  const std::vector<std::map<double, TMapPointPtr>> VecFirst =
      tessgrid::Own(TMapTools::GetFirstValues(tessgrid::Borrow(VecMaps), {0.0}));
  EXPECT_EQ(TMapTools::FetchMapValues(tessgrid::Borrow(VecMaps), tessgrid::Borrow(VecFirst)),
            (std::vector<std::map<double, double>>(2, {{2, 2}, {3, 3}, {4, 4}})));
}
