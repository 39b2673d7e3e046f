// tests/ops/ResamplingTest.cpp - Downscale, Subdivide, bilinear interpolation and Resample:
// geometry, values, failures, and the map form against its sample-by-sample definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;

// A 10 x 10 map of resolution 1 over (0, 0)-(10, 10) as read from a grid file; cell (i, j) holds
// 10 j + i, so a mean of four cells is easy to state.
TMapPtr TenByTen() {
  std::vector<std::vector<double>> VecRows(10, std::vector<double>(10));
  for (std::size_t LngJ = 0; LngJ < 10; ++LngJ) {
    for (std::size_t LngI = 0; LngI < 10; ++LngI) {
      VecRows[LngJ][LngI] = static_cast<double>(10 * LngJ + LngI);
    }
  }
  return MakeMap(0, 0, 1, VecRows);
}

std::vector<std::vector<double>> Filled(std::size_t LngCols, std::size_t LngRows, double DblV) {
  return std::vector<std::vector<double>>(LngRows, std::vector<double>(LngCols, DblV));
}

// Irregular values, a few of them no-data, so that interpolations differ from cell to cell.
std::vector<std::vector<double>> Varied(std::size_t LngCols, std::size_t LngRows) {
  std::vector<std::vector<double>> VecRows = Filled(LngCols, LngRows, 0);
  for (std::size_t LngJ = 0; LngJ < LngRows; ++LngJ) {
    for (std::size_t LngI = 0; LngI < LngCols; ++LngI) {
      VecRows[LngJ][LngI] = (LngI * 7 + LngJ * 13) % 11 == 3
                                ? -9999.0
                                : std::sin(0.7 * static_cast<double>(LngI)) * 50.0 +
                                      0.37 * static_cast<double>(LngJ * LngJ);
    }
  }
  return VecRows;
}

// A map whose Y edges ascend: row 0 is the southern row.
TMapPtr Ascending(double DblX0, double DblY0, double DblR, std::size_t LngCols,
                  std::size_t LngRows) {
  TAxis XCentres(DblR, static_cast<long>(LngCols));
  TAxis YCentres(DblR, static_cast<long>(LngRows));
  double DblC = DblX0 + DblR / 2;
  for (long LngI = 0; LngI < XCentres.GetSize(); ++LngI, DblC += DblR) {
    XCentres.SetPoint(LngI, new TPoint(DblC, DblY0));
  }
  DblC = DblY0 + DblR / 2;
  for (long LngI = 0; LngI < YCentres.GetSize(); ++LngI, DblC += DblR) {
    YCentres.SetPoint(LngI, new TPoint(DblX0, DblC));
  }
  auto PtrMap = std::make_unique<TMap>(&XCentres, &YCentres);
  const std::vector<std::vector<double>> VecRows = Varied(LngCols, LngRows);
  for (std::size_t LngJ = 0; LngJ < LngRows; ++LngJ) {
    PtrMap->MbrVecValues[LngJ] = VecRows[LngJ];
  }
  return PtrMap;
}

// A map whose axes are set from edges: x and y each from e0 by steps of dx or dy. Edges that
// do not rise in x and fall in y give centres off the cells' middles, as the setters derive them.
TMapPtr FromEdges(double DblX0, double DblDx, double DblY0, double DblDy, std::size_t LngCols,
                  std::size_t LngRows) {
  const double DblR = std::fabs(DblDx);
  auto PtrMap =
      std::make_unique<TMap>(DblR, static_cast<long>(LngCols), static_cast<long>(LngRows));
  TAxis XEdges(DblR, PtrMap->MbrLngXDim + 1);
  TAxis YEdges(DblR, PtrMap->MbrLngYDim + 1);
  for (long LngI = 0; LngI < XEdges.GetSize(); ++LngI, DblX0 += DblDx) {
    XEdges.SetPoint(LngI, new TPoint(DblX0, DblY0));
  }
  for (long LngI = 0; LngI < YEdges.GetSize(); ++LngI, DblY0 += DblDy) {
    YEdges.SetPoint(LngI, new TPoint(DblX0, DblY0));
  }
  PtrMap->SetXAxisInterval(&XEdges);
  PtrMap->SetYAxisInterval(&YEdges);
  const std::vector<std::vector<double>> VecRows = Varied(LngCols, LngRows);
  for (std::size_t LngJ = 0; LngJ < LngRows; ++LngJ) {
    PtrMap->MbrVecValues[LngJ] = VecRows[LngJ];
  }
  return PtrMap;
}

double XEdge(const TMap& Map, long LngI) {
  return Map.MbrPtrXAxisInterval->GetPoint(LngI)->MbrDblX;
}
double YEdge(const TMap& Map, long LngI) {
  return Map.MbrPtrYAxisInterval->GetPoint(LngI)->MbrDblY;
}
double YCentre(const TMap& Map, long LngI) {
  return Map.MbrPtrYAxis->GetPoint(LngI)->MbrDblY;
}

// The map form as defined, one sample at a time through the maps' own coordinate lookups.
TMapPtr DefinedInterpolate(const TMap& Source, double DblRes) {
  TMapPtr PtrM(TMapTools::Downscale(&Source, DblRes));
  PtrM->InitValues(Source.MbrDblNoDataValue);
  PtrM->MbrDblNoDataValue = Source.MbrDblNoDataValue;
  const double DblR = Source.MbrDblResolution;
  const double DblXS = XEdge(*PtrM, 0) + DblR;
  const double DblXE = (XEdge(*PtrM, PtrM->MbrLngXDim) - DblR) - DblRes;
  const double DblY0 = YEdge(*PtrM, 0);
  const double DblYN = YEdge(*PtrM, PtrM->MbrLngYDim);
  const bool BlnFalling = DblY0 > DblYN;
  const double DblYS = BlnFalling ? (DblY0 - DblR) - DblRes : DblY0 + DblR;
  const double DblYE = BlnFalling ? DblYN + DblR : DblYN - DblR;
  if (DblXE < DblXS) {
    return PtrM;
  }
  const bool BlnSourceRising = YEdge(Source, Source.MbrLngYDim) > YEdge(Source, 0);
  double DblX = DblXS;
  do {
    double DblY = DblYS;
    do {
      TPoint Target(DblX, DblY);
      delete PtrM->GetPoint(&Target);
      delete Source.GetPoint(&Target);
      const long LngIx = Source.GetIndex(DblX, 'X');
      const long LngIy = Source.GetIndex(DblY, 'Y');
      const std::unique_ptr<TPoint> PtrC(Source.GetCoordinates(LngIx, LngIy));
      const long LngX1 = PtrC->MbrDblX >= DblX ? LngIx - 1 : LngIx;
      const long LngX2 = LngX1 + 1;
      long LngY1 = 0;
      if (BlnSourceRising) {
        LngY1 = PtrC->MbrDblY < DblY ? LngIy : LngIy - 1;
      } else {
        LngY1 = DblY > PtrC->MbrDblY ? LngIy - 1 : LngIy;
      }
      const long LngY2 = LngY1 + 1;
      if (LngX1 < 0 || LngX1 >= Source.MbrLngXDim) {
        throw const_cast<char*>("LngGetX1 is out of range in TMapTools::BilinearInterpolate");
      }
      if (LngX2 < 0 || LngX2 >= Source.MbrLngXDim) {
        throw const_cast<char*>("LngGetX2 is out of range in TMapTools::BilinearInterpolate");
      }
      if (LngY1 < 0 || LngY1 >= Source.MbrLngYDim) {
        throw const_cast<char*>("LngGetY1 is out of range in TMapTools::BilinearInterpolate");
      }
      if (LngY2 < 0 || LngY2 >= Source.MbrLngYDim) {
        throw const_cast<char*>("LngGetY2 is out of range in TMapTools::BilinearInterpolate");
      }
      const std::unique_ptr<TMapPoint> PtrC11(Source.GetPoint(LngX1, LngY1));
      const std::unique_ptr<TMapPoint> PtrC21(Source.GetPoint(LngX2, LngY1));
      const std::unique_ptr<TMapPoint> PtrC12(Source.GetPoint(LngX1, LngY2));
      const std::unique_ptr<TMapPoint> PtrC22(Source.GetPoint(LngX2, LngY2));
      TMapPoint Sample(DblX, DblY, 0);
      TMapTools::BilinearInterpolate(PtrC11.get(), PtrC21.get(), PtrC12.get(), PtrC22.get(),
                                     &Sample);
      bool BlnNoData = false;
      for (const TMapPoint* PtrC : {PtrC11.get(), PtrC21.get(), PtrC12.get(), PtrC22.get()}) {
        BlnNoData = BlnNoData || PtrC->MbrDblValue == Source.MbrDblNoDataValue;
      }
      PtrM->SetPoint(&Target, BlnNoData ? Source.MbrDblNoDataValue : Sample.MbrDblValue);
      DblY += BlnFalling ? -DblRes : DblRes;
    } while (BlnFalling ? DblY >= DblYE : DblY <= DblYE);
    DblX += DblRes;
  } while (DblX <= DblXE);
  return PtrM;
}

// Either the failure's text or every number of the map, so that two outcomes compare exactly.
template <typename TOperation>
std::string Outcome(TOperation Operation) {
  TMapPtr PtrMap;
  try {
    PtrMap = Operation();
  } catch (char* PtrMessage) {
    return PtrMessage;
  }
  std::string StgBytes =
      std::to_string(PtrMap->MbrLngXDim) + "x" + std::to_string(PtrMap->MbrLngYDim) + ":";
  const auto Append = [&StgBytes](double DblValue) {
    char ChrBytes[sizeof DblValue];
    std::memcpy(ChrBytes, &DblValue, sizeof DblValue);
    StgBytes.append(ChrBytes, sizeof DblValue);
  };
  Append(PtrMap->MbrDblResolution);
  Append(PtrMap->MbrDblNoDataValue);
  for (const std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (double DblValue : VecRow) {
      Append(DblValue);
    }
  }
  return StgBytes;
}

void ExpectAsDefined(const TMap& Source, double DblRes) {
  const std::string StgDefined = Outcome([&] { return DefinedInterpolate(Source, DblRes); });
  const std::string StgFast =
      Outcome([&] { return TMapPtr(TMapTools::BilinearInterpolate(&Source, DblRes)); });
  EXPECT_TRUE(StgDefined == StgFast)
      << "R = " << DblRes << " on " << Source.MbrLngXDim << " x " << Source.MbrLngYDim
      << (StgDefined.size() < 100 ? ", defined: " + StgDefined : "")
      << (StgFast.size() < 100 ? ", fast: " + StgFast : "");
}

}  // namespace

TEST(ResamplingTest, TenNumberFormOnTheUnitSquare) {
  EXPECT_EQ(TMapTools::BilinearInterpolate(1, 2, 3, 4, 0.5, 0, 1, 0.5, 0, 1), 2.5);
  EXPECT_EQ(TMapTools::BilinearInterpolate(1, 2, 3, 4, 0, 0, 1, 0, 0, 1), 1.0);
  EXPECT_EQ(TMapTools::BilinearInterpolate(1, 2, 3, 4, 1, 0, 1, 1, 0, 1), 4.0);
}

TEST(ResamplingTest, TenNumberFormExtrapolatesAndDividesByAFlatRectangle) {
  EXPECT_EQ(TMapTools::BilinearInterpolate(1, 2, 3, 4, 2, 0, 1, 0, 0, 1), 3.0);
  EXPECT_TRUE(std::isnan(TMapTools::BilinearInterpolate(1, 2, 3, 4, 0.5, 1, 1, 0.5, 0, 1)));
}

TEST(ResamplingTest, FivePointFormReadsOnlyTheCoordinatesItNames) {
  TMapPoint P1(0, 0, 1), P2(1, 0, 2), P3(0, 1, 3), P4(1, 1, 4);
  TMapPoint Target(0.25, 0.75, 0);
  TMapTools::BilinearInterpolate(&P1, &P2, &P3, &P4, &Target);
  const double DblExpected = TMapTools::BilinearInterpolate(1, 2, 3, 4, 0.25, 0, 1, 0.75, 0, 1);
  EXPECT_EQ(Target.MbrDblValue, DblExpected);
  TMapPoint Q2(1, 50, 2), Q3(-8, 1, 3), Q4(7, -7, 4);
  TMapPoint Moved(0.25, 0.75, 0);
  TMapTools::BilinearInterpolate(&P1, &Q2, &Q3, &Q4, &Moved);
  EXPECT_EQ(Moved.MbrDblValue, DblExpected);
  EXPECT_EQ(Moved.MbrDblX, 0.25);
  EXPECT_EQ(Moved.MbrDblY, 0.75);
}

TEST(ResamplingTest, DownscaleLeavesOutTheStripBeyondTheLastWholeCell) {
  TMapPtr PtrSource = TenByTen();
  PtrSource->MbrDblNoDataValue = -1;
  const TMapPtr PtrMap(TMapTools::Downscale(PtrSource.get(), 3));
  EXPECT_EQ(PtrMap->MbrLngXDim, 3);
  EXPECT_EQ(PtrMap->MbrLngYDim, 3);
  EXPECT_EQ(PtrMap->MbrDblResolution, 3.0);
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -9999.0);
  EXPECT_EQ(PtrMap->MbrVecValues, Filled(3, 3, -9999.0));
  EXPECT_EQ(PtrMap->MbrPtrXAxis->GetPoint(0)->MbrDblX, 1.5);
  EXPECT_EQ(YCentre(*PtrMap, 0), 8.5);
  EXPECT_EQ(XEdge(*PtrMap, 0), 0.0);
  EXPECT_EQ(XEdge(*PtrMap, 3), 9.0);  // x from 9 to 10 is not covered
  EXPECT_EQ(YEdge(*PtrMap, 0), 10.0);
  EXPECT_EQ(YEdge(*PtrMap, 3), 1.0);  // nor y from 0 to 1
}

TEST(ResamplingTest, DownscaleFollowsTheDirectionOfTheSourceYEdges) {
  const TMapPtr PtrFalling(TMapTools::Downscale(TenByTen().get(), 2));
  EXPECT_EQ(YCentre(*PtrFalling, 0), 9.0);
  EXPECT_EQ(YCentre(*PtrFalling, 4), 1.0);
  const TMapPtr PtrSource = Ascending(0, 0, 1, 10, 10);
  const TMapPtr PtrRising(TMapTools::Downscale(PtrSource.get(), 2));
  EXPECT_EQ(YCentre(*PtrRising, 0), 1.0);
  EXPECT_EQ(YCentre(*PtrRising, 4), 9.0);
  EXPECT_EQ(YEdge(*PtrRising, 0), 0.0);
  EXPECT_EQ(YEdge(*PtrRising, 5), 10.0);
}

TEST(ResamplingTest, DownscaleWithoutAWholeCellFailsInTheAxis) {
  EXPECT_MESSAGE(TMapTools::Downscale(TenByTen().get(), 11),
                 "Index is out of range in TAxis::GetPoint");
  EXPECT_MESSAGE(TMapTools::BilinearInterpolate(TenByTen().get(), 11),
                 "Index is out of range in TAxis::GetPoint");
}

TEST(ResamplingTest, ResolutionsAndFactorsThatAreNotPositiveFailFirst) {
  const TMapPtr PtrSource = TenByTen();
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  for (double DblRes : {0.0, -2.0, DblNaN}) {
    EXPECT_MESSAGE(TMapTools::Downscale(PtrSource.get(), DblRes),
                   "New resolution cannot be <= 0.0 in TMapTools::Downscale");
    EXPECT_MESSAGE(TMapTools::BilinearInterpolate(PtrSource.get(), DblRes),
                   "New resolution cannot be <= 0.0 in TMapTools::BilinearInterpolate");
  }
  for (int IntFactor : {0, -3}) {
    EXPECT_MESSAGE(TMapTools::Subdivide(PtrSource.get(), IntFactor),
                   "Subdivision factor must be >= 1 in TMapTools::Subdivide");
  }
  // The check comes before anything else: a source without axes fails with it too.
  TMap Bare(1, 2, 2);
  EXPECT_MESSAGE(TMapTools::BilinearInterpolate(&Bare, -1),
                 "New resolution cannot be <= 0.0 in TMapTools::BilinearInterpolate");
}

TEST(ResamplingTest, SourcesWithoutAxesFailWithTheirOwnMessage) {
  TMap Bare(1, 2, 2);
  EXPECT_MESSAGE(TMapTools::Downscale(&Bare, 1),
                 "Map has no complete axes in TMapTools::Downscale");
  EXPECT_MESSAGE(TMapTools::Subdivide(&Bare, 2),
                 "Map has no complete axes in TMapTools::Subdivide");
  EXPECT_MESSAGE(TMapTools::BilinearInterpolate(&Bare, 1),
                 "Map has no complete axes in TMapTools::BilinearInterpolate");
  TMapPtr PtrGrown = TenByTen();
  PtrGrown->AddRow(std::vector<double>(10, 0.0));  // its axes now miss a row
  EXPECT_MESSAGE(TMapTools::Subdivide(PtrGrown.get(), 2),
                 "Map has no complete axes in TMapTools::Subdivide");
}

TEST(ResamplingTest, GridsTooLargeForMemoryFailWithTheAllocationError) {
  const TMapPtr PtrSource = TenByTen();
  EXPECT_THROW(static_cast<void>(TMapTools::Downscale(PtrSource.get(), 1e-7)), std::bad_alloc);
  EXPECT_THROW(static_cast<void>(TMapTools::Downscale(PtrSource.get(), 1e-300)), std::bad_alloc);
  EXPECT_THROW(static_cast<void>(TMapTools::BilinearInterpolate(PtrSource.get(), 1e-7)),
               std::bad_alloc);
  EXPECT_THROW(static_cast<void>(TMapTools::Subdivide(PtrSource.get(), 2000000000)),
               std::bad_alloc);
}

TEST(ResamplingTest, SubdivideByOneKeepsGeometryAndValues) {
  const TMapPtr PtrSource = MakeMap(0.5, -3, 0.25, Varied(4, 3), -1);
  const TMapPtr PtrMap(TMapTools::Subdivide(PtrSource.get(), 1));
  EXPECT_EQ(PtrMap->MbrVecValues, PtrSource->MbrVecValues);
  EXPECT_EQ(PtrMap->MbrDblResolution, 0.25);
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -9999.0);
  for (long LngI = 0; LngI <= 4; ++LngI) {
    EXPECT_EQ(XEdge(*PtrMap, LngI), XEdge(*PtrSource, LngI));
  }
  for (long LngJ = 0; LngJ <= 3; ++LngJ) {
    EXPECT_EQ(YEdge(*PtrMap, LngJ), YEdge(*PtrSource, LngJ));
  }
}

TEST(ResamplingTest, SubdivideByTwoCopiesEachCellIntoItsBlock) {
  const TMapPtr PtrSource = TenByTen();
  const TMapPtr PtrMap(TMapTools::Subdivide(PtrSource.get(), 2));
  ASSERT_EQ(PtrMap->MbrLngXDim, 20);
  ASSERT_EQ(PtrMap->MbrLngYDim, 20);
  EXPECT_EQ(PtrMap->MbrDblResolution, 0.5);
  for (long LngJ = 0; LngJ < 20; ++LngJ) {
    for (long LngI = 0; LngI < 20; ++LngI) {
      ASSERT_EQ(PtrMap->GetPointVal(LngI, LngJ), PtrSource->GetPointVal(LngI / 2, LngJ / 2))
          << "cell " << LngI << ", " << LngJ;
    }
  }
}

TEST(ResamplingTest, SubdivideKeepsTheEdgesAndTheOrientation) {
  const TMapPtr PtrFalling(TMapTools::Subdivide(TenByTen().get(), 4));
  EXPECT_EQ(YEdge(*PtrFalling, 0), 10.0);  // northern edge first, as in a grid file
  EXPECT_EQ(YEdge(*PtrFalling, 40), 0.0);
  EXPECT_EQ(XEdge(*PtrFalling, 40), 10.0);
  EXPECT_EQ(YCentre(*PtrFalling, 0), 9.875);
  const TMapPtr PtrSource = Ascending(0, 0, 1, 3, 2);
  const TMapPtr PtrRising(TMapTools::Subdivide(PtrSource.get(), 2));
  EXPECT_EQ(YEdge(*PtrRising, 0), 0.0);
  EXPECT_EQ(YEdge(*PtrRising, 4), 2.0);
  EXPECT_EQ(PtrRising->GetPointVal(1, 1), PtrSource->GetPointVal(0, 0));  // row 0 stays south
}

TEST(ResamplingTest, InterpolationToTwiceTheResolutionTakesMeansOfFourCells) {
  TMapPtr PtrSource = TenByTen();
  PtrSource->MbrDblNoDataValue = -5;
  const TMapPtr PtrMap(TMapTools::BilinearInterpolate(PtrSource.get(), 2));
  ASSERT_EQ(PtrMap->MbrLngXDim, 5);
  ASSERT_EQ(PtrMap->MbrLngYDim, 5);
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -5.0);
  for (long LngJ = 0; LngJ < 5; ++LngJ) {
    for (long LngI = 0; LngI < 5; ++LngI) {
      // Result cell (i, j) lies over source columns 2i, 2i + 1 and rows 2j, 2j + 1.
      const double DblMean = 10.0 * (2 * LngJ) + 2 * LngI + 5.5;
      const double DblExpected = (LngJ == 0 || LngI == 4) ? -5.0 : DblMean;
      EXPECT_DOUBLE_EQ(PtrMap->GetPointVal(LngI, LngJ), DblExpected)
          << "cell " << LngI << ", " << LngJ;
    }
  }
}

TEST(ResamplingTest, InterpolationOfATwoColumnSourceTakesNoSample) {
  const TMapPtr PtrSource = MakeMap(0, 0, 1, Filled(2, 10, 4.0), -7);
  const TMapPtr PtrMap(TMapTools::BilinearInterpolate(PtrSource.get(), 1));
  EXPECT_EQ(PtrMap->MbrVecValues, Filled(2, 10, -7.0));
  EXPECT_EQ(PtrMap->MbrDblNoDataValue, -7.0);
}

TEST(ResamplingTest, InterpolationOfAFlatSourceGivesItsValue) {
  const TMapPtr PtrSource = MakeMap(0.1, 0.2, 0.3, Filled(17, 13, 4.2));
  const TMapPtr PtrMap(TMapTools::BilinearInterpolate(PtrSource.get(), 0.7));
  long LngSampled = 0;
  for (const std::vector<double>& VecRow : PtrMap->MbrVecValues) {
    for (double DblValue : VecRow) {
      if (DblValue != -9999.0) {
        EXPECT_NEAR(DblValue, 4.2, 1e-12);
        ++LngSampled;
      }
    }
  }
  EXPECT_GT(LngSampled, 0);
}

TEST(ResamplingTest, SamplesWithANoDataNeighbourAreNoData) {
  // The one sample of a 4 x 4 source at R = 2 lands in cell (0, 1), between cells 0 and 1 of
  // source rows 2 and 3.
  std::vector<std::vector<double>> VecRows = Filled(4, 4, 100.0);
  const TMapPtr PtrClean(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, VecRows).get(), 2));
  EXPECT_EQ(PtrClean->GetPointVal(0, 1), 100.0);
  VecRows[2][1] = -9999.0;
  const TMapPtr PtrMap(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, VecRows).get(), 2));
  EXPECT_EQ(PtrMap->GetPointVal(0, 1), -9999.0);  // not (3 x 100 - 9999) / 4 = -2424.75
  // The source's own marker counts, by exact equality; another -9999 is a number.
  VecRows[2][1] = -1.0;
  const TMapPtr PtrOwn(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, VecRows, -1).get(), 2));
  EXPECT_EQ(PtrOwn->GetPointVal(0, 1), -1.0);
  VecRows[2][1] = -9999.0;
  const TMapPtr PtrNumber(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, VecRows, -1).get(), 2));
  EXPECT_EQ(PtrNumber->GetPointVal(0, 1), (3 * 100.0 - 9999.0) / 4);
}

TEST(ResamplingTest, SamplesWithoutFourNeighboursFailWithTheFirstMissingOne) {
  EXPECT_MESSAGE(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, Filled(10, 2, 1)).get(), 1),
                 "LngGetY2 is out of range in TMapTools::BilinearInterpolate");
  EXPECT_MESSAGE(TMapTools::BilinearInterpolate(MakeMap(0, 0, 1, Filled(10, 1, 1)).get(), 1),
                 "LngY is out of range in TMap::GetPoint (TPoint*)");
}

TEST(ResamplingTest, MapFormEqualsItsSampleBySampleDefinition) {
  const TMapPtr PtrRead = MakeMap(0.1, -2.7, 0.3, Varied(23, 17));
  const TMapPtr PtrRising = Ascending(-4.35, 1.15, 0.3, 19, 21);
  for (const TMap* PtrSource : {PtrRead.get(), PtrRising.get()}) {
    for (double DblRes : {0.15, 0.2, 0.3, 0.45, 0.6, 0.7, 1.0, 1.3, 2.5}) {
      ExpectAsDefined(*PtrSource, DblRes);
    }
  }
}

TEST(ResamplingTest, MapFormFailsWhereItsDefinitionFails) {
  // Thin sources whose first samples fall outside or at the rim, in either orientation.
  const std::vector<std::pair<std::size_t, std::size_t>> VecShapes{{10, 1}, {10, 2}, {3, 10},
                                                                   {1, 10}, {3, 3},  {4, 2}};
  for (const auto& Shape : VecShapes) {
    const TMapPtr PtrRead = MakeMap(0, 0, 1, Varied(Shape.first, Shape.second));
    const TMapPtr PtrRising = Ascending(0, 0, 1, Shape.first, Shape.second);
    for (double DblRes : {0.5, 1.0, 1.5}) {
      ExpectAsDefined(*PtrRead, DblRes);
      ExpectAsDefined(*PtrRising, DblRes);
    }
  }
}

TEST(ResamplingTest, MapFormFailsWhereItsDefinitionFailsOnOddAxes) {
  const double DblInf = std::numeric_limits<double>::infinity();
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  std::vector<TMapPtr> VecSources;
  VecSources.push_back(FromEdges(0, 1, 0, 1, 6, 5));    // rising y edges, centres a cell low
  VecSources.push_back(FromEdges(6, -1, 5, -1, 6, 5));  // falling x edges
  VecSources.push_back(FromEdges(0, 1, 0, 1, 6, 1));
  VecSources.push_back(FromEdges(DblNaN, 1, 5, -1, 6, 5));
  VecSources.push_back(FromEdges(0, 1, DblNaN, -1, 6, 5));
  VecSources.push_back(FromEdges(DblInf, 1, 5, -1, 6, 5));
  VecSources.push_back(FromEdges(0, 1, -DblInf, 1, 6, 5));
  // A resolution other than the edge spacing moves the band against the cells.
  for (double DblR : {0.25, 1.5}) {
    VecSources.push_back(FromEdges(0, 1, 5, -1, 6, 5));
    VecSources.back()->MbrDblResolution = DblR;
    VecSources.push_back(FromEdges(0, 1, 0, 1, 6, 5));
    VecSources.back()->MbrDblResolution = DblR;
  }
  for (const TMapPtr& PtrSource : VecSources) {
    for (double DblRes : {0.5, 1.0, 2.0}) {
      ExpectAsDefined(*PtrSource, DblRes);
    }
  }
}

namespace {

TMapPtr Resampled(const TMap& Source, double DblRes, TResampleMethod Method) {
  return TMapPtr(TMapTools::Resample(&Source, DblRes, Method));
}

// Cell (i, j) of a grid file's map over (0, 0) at cell size 1 has its centre at (i + 0.5,
// LngRows - j - 0.5) and holds 3 x + 7 y there, so bilinear weights reproduce it exactly.
TMapPtr Ramp(std::size_t LngCols, std::size_t LngRows) {
  std::vector<std::vector<double>> VecRows = Filled(LngCols, LngRows, 0);
  for (std::size_t LngJ = 0; LngJ < LngRows; ++LngJ) {
    for (std::size_t LngI = 0; LngI < LngCols; ++LngI) {
      VecRows[LngJ][LngI] = 3 * (LngI + 0.5) + 7 * (LngRows - LngJ - 0.5);
    }
  }
  return MakeMap(0, 0, 1, VecRows);
}

double XCentre(const TMap& Map, long LngI) {
  return Map.MbrPtrXAxis->GetPoint(LngI)->MbrDblX;
}

}  // namespace

TEST(ResampleTest, GridStartsAtTheWesternAndNorthernEdgesWithRoundedCellCounts) {
  // 5 x 3 cells of 1: R = 2 gives 2.5 -> 3 columns and 1.5 -> 2 rows, R = 4 one of each, and
  // R = 16, whose count rounds to 0, still one.
  const TMapPtr PtrSource = MakeMap(10, 20, 1, Varied(5, 3), -1);
  const TMapPtr PtrTwo = Resampled(*PtrSource, 2, TResampleMethod::kNearest);
  EXPECT_EQ(PtrTwo->MbrLngXDim, 3);
  EXPECT_EQ(PtrTwo->MbrLngYDim, 2);
  EXPECT_EQ(PtrTwo->MbrDblResolution, 2.0);
  EXPECT_EQ(PtrTwo->MbrDblNoDataValue, -1.0);
  EXPECT_EQ(XEdge(*PtrTwo, 0), 10.0);
  EXPECT_EQ(XEdge(*PtrTwo, 3), 16.0);  // beyond the source's 15
  EXPECT_EQ(YEdge(*PtrTwo, 0), 23.0);
  EXPECT_EQ(YEdge(*PtrTwo, 2), 19.0);  // north - rows x R, beyond the source's 20
  EXPECT_EQ(XCentre(*PtrTwo, 2), 15.0);
  EXPECT_EQ(YCentre(*PtrTwo, 1), 20.0);
  for (double DblRes : {4.0, 16.0}) {
    const TMapPtr PtrOne = Resampled(*PtrSource, DblRes, TResampleMethod::kBilinear);
    EXPECT_EQ(PtrOne->MbrLngXDim, 1) << DblRes;
    EXPECT_EQ(PtrOne->MbrLngYDim, 1) << DblRes;
    EXPECT_EQ(YEdge(*PtrOne, 1), 23.0 - DblRes);
  }
}

TEST(ResampleTest, NearestTakesTheCellHoldingEachCentre) {
  // Halving the cell size puts four centres in every cell.
  const TMapPtr PtrFalling = MakeMap(0, 0, 1, Varied(5, 4));
  const TMapPtr PtrRising = Ascending(0, 0, 1, 5, 4);
  for (const TMap* PtrSource : {PtrFalling.get(), PtrRising.get()}) {
    const TMapPtr PtrFine = Resampled(*PtrSource, 0.5, TResampleMethod::kNearest);
    const TMapPtr PtrBlocks(TMapTools::Subdivide(PtrSource, 2));
    EXPECT_EQ(PtrFine->MbrVecValues, PtrBlocks->MbrVecValues);
    EXPECT_EQ(YEdge(*PtrFine, 0), YEdge(*PtrBlocks, 0));
    EXPECT_EQ(YEdge(*PtrFine, 8), YEdge(*PtrBlocks, 8));
  }
  // Doubling it puts every centre on a corner of four cells: the cell after both boundaries
  // holds it, east and south, so columns 1, 3, .. of rows 1, 3, ..
  const TMapPtr PtrSource = TenByTen();
  const TMapPtr PtrCoarse = Resampled(*PtrSource, 2, TResampleMethod::kNearest);
  ASSERT_EQ(PtrCoarse->MbrLngXDim, 5);
  EXPECT_EQ(PtrCoarse->MbrVecValues[0], (std::vector<double>{11, 13, 15, 17, 19}));
  EXPECT_EQ(PtrCoarse->MbrVecValues[1], (std::vector<double>{31, 33, 35, 37, 39}));
  // The same cell size keeps every cell.
  EXPECT_EQ(Resampled(*PtrSource, 1, TResampleMethod::kNearest)->MbrVecValues,
            PtrSource->MbrVecValues);
}

TEST(ResampleTest, CentresOnABoundaryTakeTheCellAfterItAndOnTheFarEdgesAreNoData) {
  // One column of two rows of 10, 1 north of 2, at R = 4: the centre 10 from the north lies on
  // the boundary and takes the southern row.
  const auto FirstColumn = [](const TMapPtr& PtrMap) {
    std::vector<double> VecColumn;
    for (const std::vector<double>& VecRow : PtrMap->MbrVecValues) {
      VecColumn.push_back(VecRow.front());
    }
    return VecColumn;
  };
  const TMapPtr PtrTwoRows = MakeMap(0, 0, 10, {{1}, {2}});
  EXPECT_EQ(FirstColumn(Resampled(*PtrTwoRows, 4, TResampleMethod::kNearest)),
            (std::vector<double>{1, 1, 2, 2, 2}));
  // The after is the source's own order: rows stored from the south take the northern one.
  TMapPtr PtrRising = Ascending(0, 0, 10, 1, 2);
  PtrRising->MbrVecValues = {{2}, {1}};
  EXPECT_EQ(FirstColumn(Resampled(*PtrRising, 4, TResampleMethod::kNearest)),
            (std::vector<double>{2, 2, 1, 1, 1}));
  // One cell wide, bilinear takes the holding cell too, as gdalwarp's does.
  EXPECT_EQ(FirstColumn(Resampled(*PtrTwoRows, 4, TResampleMethod::kBilinear)),
            (std::vector<double>{1, 1, 2, 2, 2}));
  // Columns alike: two columns of 10 at R = 4, the middle centre on the boundary.
  const TMapPtr PtrTwoColumns = MakeMap(0, 0, 10, {{1, 2}});
  EXPECT_EQ(Resampled(*PtrTwoColumns, 4, TResampleMethod::kNearest)->MbrVecValues[0],
            (std::vector<double>{1, 1, 2, 2, 2}));
  // 5 x 3 at R = 2: the last column's centre lies on the eastern edge and the last row's on the
  // southern one; no cell holds either.
  const TMapPtr PtrSource = MakeMap(0, 0, 1, Varied(5, 3), -1);
  for (TResampleMethod Method : {TResampleMethod::kNearest, TResampleMethod::kBilinear}) {
    const TMapPtr PtrMap = Resampled(*PtrSource, 2, Method);
    EXPECT_EQ(PtrMap->MbrVecValues[1], (std::vector<double>{-1, -1, -1}));
    EXPECT_EQ(PtrMap->GetPointVal(2, 0), -1.0);
    EXPECT_NE(PtrMap->GetPointVal(1, 0), -1.0);
  }
  const TMapPtr PtrNearest = Resampled(*PtrSource, 2, TResampleMethod::kNearest);
  EXPECT_EQ(PtrNearest->GetPointVal(1, 0), PtrSource->GetPointVal(3, 1));
}

TEST(ResampleTest, BilinearReproducesARampAndCarriesTheOutermostCentresToTheEdges) {
  const TMapPtr PtrSource = Ramp(6, 5);
  for (double DblRes : {0.25, 0.5, 1.0}) {
    const TMapPtr PtrMap = Resampled(*PtrSource, DblRes, TResampleMethod::kBilinear);
    for (long LngJ = 0; LngJ < PtrMap->MbrLngYDim; ++LngJ) {
      for (long LngI = 0; LngI < PtrMap->MbrLngXDim; ++LngI) {
        // Inside the outermost centres the ramp itself; in the band, its value at the nearest
        // point between them.
        const double DblX = std::clamp(XCentre(*PtrMap, LngI), 0.5, 5.5);
        const double DblY = std::clamp(YCentre(*PtrMap, LngJ), 0.5, 4.5);
        ASSERT_EQ(PtrMap->GetPointVal(LngI, LngJ), 3 * DblX + 7 * DblY)
            << "R = " << DblRes << ", cell " << LngI << ", " << LngJ;
      }
    }
  }
}

TEST(ResampleTest, BilinearLeavesNoDataNeighboursOutAndKeepsNoDataCells) {
  // 4 x 3 cells of 1 over (0, 0) with cell (1, 1) no-data, at R = 0.5.
  const TMapPtr PtrSource = MakeMap(
      0, 0, 1, {{1.5, 2.5, 3.5, 4.5}, {11.5, -1, 13.5, 14.5}, {21.5, 22.5, 23.5, 24.5}}, -1);
  const TMapPtr PtrMap = Resampled(*PtrSource, 0.5, TResampleMethod::kBilinear);
  // Centre (0.75, 2.25): weights 9, 3, 3 and the no-data cell's 1 (sixteenths).
  EXPECT_DOUBLE_EQ(PtrMap->GetPointVal(1, 1), (9 * 1.5 + 3 * 2.5 + 3 * 11.5) / 15);
  // Centre (1.25, 2.25): 3 x 1.5, 9 x 2.5, 1 x 11.5 and the no-data cell's 3.
  EXPECT_DOUBLE_EQ(PtrMap->GetPointVal(2, 1), (3 * 1.5 + 9 * 2.5 + 1 * 11.5) / 13);
  // Every centre the no-data cell holds stays no-data, however much data is around it.
  for (long LngJ : {2, 3}) {
    for (long LngI : {2, 3}) {
      EXPECT_EQ(PtrMap->GetPointVal(LngI, LngJ), -1.0) << LngI << ", " << LngJ;
    }
  }
  // A -9999 that is not the source's no-data value is a number like any other.
  const TMapPtr PtrNumber = MakeMap(0, 0, 1, {{-9999, 1}, {-9999, 1}}, -1);
  EXPECT_EQ(Resampled(*PtrNumber, 0.5, TResampleMethod::kBilinear)->GetPointVal(1, 0),
            (3 * -9999.0 + 1) / 4);
}

TEST(ResampleTest, BilinearWidensItsKernelByTheScaleWhenCoarsening) {
  // 8 x 8 zeros with 16 at column 3, row 3, at R = 2: each direction weighs the cells whose
  // centres lie within 2 of the target centre by 1 - d / 2, 0.25, 0.75, 0.75, 0.25 around an
  // inner centre, four in all.
  std::vector<std::vector<double>> VecRows = Filled(8, 8, 0);
  VecRows[3][3] = 16;
  const TMapPtr PtrImpulse = MakeMap(0, 0, 1, VecRows);
  const TMapPtr PtrSpread = Resampled(*PtrImpulse, 2, TResampleMethod::kBilinear);
  EXPECT_EQ(PtrSpread->MbrVecValues,
            (std::vector<std::vector<double>>{{0, 0, 0, 0},
                                              {0, 16 * 0.75 * 0.75 / 4, 16 * 0.25 * 0.75 / 4, 0},
                                              {0, 16 * 0.75 * 0.25 / 4, 16 * 0.25 * 0.25 / 4, 0},
                                              {0, 0, 0, 0}}));
  // A no-data cell in the kernel drops out and the others' weights are scaled back to 1.
  VecRows[3][2] = -9999;
  const TMapPtr PtrHole = MakeMap(0, 0, 1, VecRows);
  EXPECT_DOUBLE_EQ(Resampled(*PtrHole, 2, TResampleMethod::kBilinear)->GetPointVal(1, 1),
                   16 * 0.75 * 0.75 / (4 - 0.75 * 0.75));
  // Symmetric weights keep a ramp where the kernel lies inside the map: R = 3 on 12 x 12 cells
  // reaches 3 cells on either side, so target cells 1 and 2 in each direction.
  const TMapPtr PtrRamp = Ramp(12, 12);
  const TMapPtr PtrCoarse = Resampled(*PtrRamp, 3, TResampleMethod::kBilinear);
  for (long LngJ : {1, 2}) {
    for (long LngI : {1, 2}) {
      EXPECT_NEAR(PtrCoarse->GetPointVal(LngI, LngJ),
                  3 * XCentre(*PtrCoarse, LngI) + 7 * YCentre(*PtrCoarse, LngJ), 1e-12)
          << LngI << ", " << LngJ;
    }
  }
}

TEST(ResampleTest, FailuresComeInTheirOrder) {
  const double DblInf = std::numeric_limits<double>::infinity();
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  const TMapPtr PtrSource = TenByTen();
  TMap Bare(1, 2, 2);
  for (double DblRes : {0.0, -2.0, DblNaN, DblInf}) {
    EXPECT_MESSAGE(TMapTools::Resample(PtrSource.get(), DblRes, TResampleMethod::kNearest),
                   "New resolution cannot be <= 0.0 in TMapTools::Resample");
    EXPECT_MESSAGE(TMapTools::Resample(&Bare, DblRes, TResampleMethod::kNearest),
                   "New resolution cannot be <= 0.0 in TMapTools::Resample");
  }
  TMapPtr PtrGrown = TenByTen();
  PtrGrown->AddRow(std::vector<double>(10, 0.0));
  for (const TMap* PtrMap : {&Bare, PtrGrown.get()}) {
    EXPECT_MESSAGE(TMapTools::Resample(PtrMap, 1, TResampleMethod::kBilinear),
                   "Map has no interval axes in TMapTools::Resample");
  }
  for (const TMapPtr& PtrEmpty : {MakeMap(0, 0, 1, {}), MakeMap(0, 0, 1, {{}, {}})}) {
    EXPECT_MESSAGE(TMapTools::Resample(PtrEmpty.get(), 1, TResampleMethod::kBilinear),
                   "Map has no cells in TMapTools::Resample");
  }
  for (double DblRes : {1e-9, 1e-300}) {
    EXPECT_MESSAGE(TMapTools::Resample(PtrSource.get(), DblRes, TResampleMethod::kNearest),
                   "New resolution is too small for the map in TMapTools::Resample");
  }
  const TMapPtr PtrEndless = MakeMap(0, 0, 1e308, Filled(2, 2, 1));
  EXPECT_MESSAGE(TMapTools::Resample(PtrEndless.get(), 1, TResampleMethod::kNearest),
                 "New resolution is too small for the map in TMapTools::Resample");
  // The centres are placed by the resolution, so it must be the edges' spacing; edges added up
  // cell by cell far from the origin stay within their rounding.
  for (double DblResolution : {1.5, 0.0, -1.0, DblNaN}) {
    TMapPtr PtrOff = TenByTen();
    PtrOff->MbrDblResolution = DblResolution;
    EXPECT_MESSAGE(TMapTools::Resample(PtrOff.get(), 2, TResampleMethod::kNearest),
                   "Map's resolution does not match its edges in TMapTools::Resample");
  }
  const TMapPtr PtrFar = MakeMap(512345.67, 4100000.25, 0.1, Filled(3000, 2, 1));
  EXPECT_EQ(Resampled(*PtrFar, 0.2, TResampleMethod::kNearest)->MbrLngXDim, 1500);
  // 1e8 x 1e8 cells can be indexed but not held.
  EXPECT_THROW(
      static_cast<void>(TMapTools::Resample(PtrSource.get(), 1e-7, TResampleMethod::kNearest)),
      std::bad_alloc);
}
