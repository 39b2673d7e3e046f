// tests/ops/ResampleGridTest.cpp - the target grids of a resample, laid out as gdalwarp lays out
// -tr, -te and -tap, or taken from a header, and the resample onto them.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "io/GridWriter.h"
#include "ops/ResampleGrid.h"
#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid::detail::ExtentGrid;
using tessgrid::detail::GridLayoutOf;
using tessgrid::detail::HeaderGrid;
using tessgrid::detail::ResampleGridOver;
using tessgrid::detail::ResampleMethodOf;
using tessgrid::detail::ResampleOnto;
using tessgrid::detail::TResampleGrid;
using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;

void ExpectGrid(const TResampleGrid& Grid, long LngColumns, long LngRows, double DblWest,
                double DblSouth, double DblNorth) {
  EXPECT_EQ(Grid.MbrLngColumns, LngColumns);
  EXPECT_EQ(Grid.MbrLngRows, LngRows);
  EXPECT_EQ(Grid.MbrDblWest, DblWest);
  EXPECT_EQ(Grid.MbrDblSouth, DblSouth);
  EXPECT_EQ(Grid.MbrDblNorth, DblNorth);
}

}  // namespace

TEST(ResampleGridTest, GridsAreLaidFromTheWesternAndNorthernEdgesAsGdalwarpLaysThem) {
  // -te 0 0 10 5 -tr 3 3: 11.5 / 3 and 6.5 / 3 truncated; the grid overshoots YMIN by 1.
  ExpectGrid(ExtentGrid(0, 0, 10, 5, 3, false), 3, 2, 0, -1, 5);
  // -tap first grows the extent to multiples of R: 0 0 12 6.
  ExpectGrid(ExtentGrid(1, 1, 10, 5, 3, true), 4, 2, 0, 0, 6);
  ExpectGrid(ExtentGrid(-7, -7, -1, -1, 3, true), 3, 3, -9, -9, 0);
  // An extent narrower than half a cell still makes one.
  ExpectGrid(ExtentGrid(0, 0, 1, 1, 3, false), 1, 1, 0, -2, 1);
  // -tr over 5 x 3 cells of 1: 2.5 and 1.5 rounded up.
  ExpectGrid(ResampleGridOver(5, 3, 1, 2, 10, 23), 3, 2, 10, 19, 23);
  // A header's grid keeps its corner as stated and puts its northern edge where the reader
  // does, a running sum of the cell size.
  ExpectGrid(HeaderGrid(3, 7, 0.1, 0.2, 0.3), 3, 7, 0.1, 0.2,
             0.2 + 0.3 + 0.3 + 0.3 + 0.3 + 0.3 + 0.3 + 0.3);
}

TEST(ResampleGridTest, ResamplingOntoAGridStatesItsCornerAndEqualsResampleOnItsOwnGrid) {
  const TMapPtr PtrSource =
      MakeMap(512340, 4100010, 30, {{1, 2, 3, 4, 5}, {6, 7, -9999, 9, 10}, {11, 12, 13, 14, 15}});
  for (const char* PtrName : {"near", "bilinear", "average", "mode", "min", "max", "median"}) {
    TResampleMethod Method = TResampleMethod::kNearest;
    ASSERT_TRUE(ResampleMethodOf(PtrName, Method)) << PtrName;
    const TMapPtr PtrOwn(TMapTools::Resample(PtrSource.get(), 45, Method));
    const TMapPtr PtrOnto =
        ResampleOnto(*PtrSource, ResampleGridOver(5, 3, 30, 45, 512340, 4100010 + 90.0), Method);
    EXPECT_EQ(PtrOnto->MbrVecValues, PtrOwn->MbrVecValues) << PtrName;
    // A header's corner that running sums cannot reach again comes out as it went in.
    const TMapPtr PtrLike =
        ResampleOnto(*PtrSource, HeaderGrid(4, 3, 512339.9, 4100010.1, 29.9), Method);
    const tessgrid::detail::TGridLayout Layout = GridLayoutOf(*PtrLike);
    EXPECT_EQ(Layout.DblWest, 512339.9) << PtrName;
    EXPECT_EQ(Layout.DblSouth, 4100010.1) << PtrName;
    EXPECT_EQ(Layout.DblCellSize, 29.9) << PtrName;
    EXPECT_EQ(PtrLike->MbrDblNoDataValue, -9999.0) << PtrName;
  }
  TResampleMethod Method = TResampleMethod::kNearest;
  EXPECT_FALSE(ResampleMethodOf("cubic", Method));
  EXPECT_FALSE(ResampleMethodOf("med", Method));
}

TEST(ResampleGridTest, GridsThatCannotBeMadeFailInTheirOrder) {
  const double DblInf = std::numeric_limits<double>::infinity();
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  for (double DblRes : {0.0, -1.0, DblNaN, DblInf}) {
    EXPECT_MESSAGE(ExtentGrid(DblNaN, 0, 0, 0, DblRes, false),
                   "New resolution cannot be <= 0.0 in TMapTools::Resample");
  }
  for (double DblBad : {DblNaN, DblInf, -DblInf}) {
    EXPECT_MESSAGE(ExtentGrid(0, DblBad, 0, 0, 1, false),
                   "extent: XMIN YMIN XMAX YMAX must be finite numbers");
  }
  EXPECT_MESSAGE(ExtentGrid(5, 0, 5, 0, 1, true), "extent: XMAX must be greater than XMIN");
  EXPECT_MESSAGE(ExtentGrid(0, 9, 5, 1, 1, true), "extent: YMAX must be greater than YMIN");
  EXPECT_MESSAGE(ExtentGrid(-1e300, -1e300, 1e300, 1e300, 1, false),
                 "extent: the grid would hold more cells than memory can be indexed by");
  EXPECT_MESSAGE(ExtentGrid(-1, -1, 1, 1, 1e-300, true),
                 "extent: the grid would hold more cells than memory can be indexed by");
  EXPECT_MESSAGE(ResampleGridOver(10, 10, 1, 1e-9, 0, 10),
                 "New resolution is too small for the map in TMapTools::Resample");
  EXPECT_MESSAGE(HeaderGrid(0, 3, 0, 0, 1), "like: the grid has no cells");
  EXPECT_MESSAGE(HeaderGrid(3, 0, 0, 0, 1), "like: the grid has no cells");
  for (double DblCellSize : {0.0, -1.0, DblNaN, DblInf}) {
    EXPECT_MESSAGE(HeaderGrid(3, 3, 0, 0, DblCellSize),
                   "like: the cell size must be a finite number above 0");
  }
  // The source's own failures are Resample's.
  TMap Bare(1, 2, 2);
  EXPECT_MESSAGE(ResampleOnto(Bare, HeaderGrid(1, 1, 0, 0, 1), TResampleMethod::kAverage),
                 "Map has no interval axes in TMapTools::Resample");
}
