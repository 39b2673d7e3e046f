// tests/ops/ArithmeticTest.cpp - Add, Subtract, Multiply and Divide of two maps.
// The coordinate-paired operations are also checked against a plain per-cell evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

namespace {

using TMapPtr = std::unique_ptr<TMap>;
using TCombine = std::function<TMap*(TMap*, TMap*)>;

// The outcome of an operation: the map, or the text it failed with.
struct TOutcome {
  TMapPtr PtrMap;
  std::string StgMessage;
};

TOutcome Run(const std::function<TMap*()>& Operation) {
  TOutcome Outcome;
  try {
    Outcome.PtrMap.reset(Operation());
  } catch (char* PtrMessage) {
    Outcome.StgMessage = PtrMessage;
  }
  return Outcome;
}

// The operation as its definition reads: a coordinate search for every cell.
TMap* PerCell(TMap* PtrBase, TMap* PtrPartner, const std::function<double(double, double)>& Op) {
  auto PtrResult =
      std::make_unique<TMap>(PtrBase->MbrDblResolution, PtrBase->MbrLngXDim, PtrBase->MbrLngYDim);
  PtrResult->MbrDblNoDataValue = PtrBase->MbrDblNoDataValue;
  PtrResult->InitValues(PtrBase->MbrDblNoDataValue);
  PtrResult->SetXAxis(PtrBase->MbrPtrXAxis);
  PtrResult->SetYAxis(PtrBase->MbrPtrYAxis);
  for (long LngR = 0; LngR < PtrBase->MbrLngYDim; ++LngR) {
    for (long LngK = 0; LngK < PtrBase->MbrLngXDim; ++LngK) {
      const double DblV = PtrBase->GetPointVal(LngK, LngR);
      const std::unique_ptr<TPoint> PtrCentre(PtrBase->GetCoordinates(LngK, LngR));
      const double DblW = PtrPartner->GetPointVal(PtrCentre.get());
      const bool BlnNoData =
          DblV == PtrBase->MbrDblNoDataValue || DblW == PtrPartner->MbrDblNoDataValue;
      PtrResult->SetPoint(LngK, LngR, BlnNoData ? PtrBase->MbrDblNoDataValue : Op(DblV, DblW));
    }
  }
  return PtrResult.release();
}

TMap* ReferenceAdd(TMap* PtrA, TMap* PtrB) {
  const bool BlnB = PtrB->MbrDblResolution < PtrA->MbrDblResolution;
  return PerCell(BlnB ? PtrB : PtrA, BlnB ? PtrA : PtrB, [](double V, double W) { return V + W; });
}

TMap* ReferenceMultiply(TMap* PtrA, TMap* PtrB) {
  const bool BlnB = PtrB->MbrDblResolution < PtrA->MbrDblResolution;
  return PerCell(BlnB ? PtrB : PtrA, BlnB ? PtrA : PtrB, [](double V, double W) { return V * W; });
}

TMap* ReferenceDivide(TMap* PtrA, TMap* PtrB) {
  if (PtrA->MbrDblResolution > PtrB->MbrDblResolution) {
    throw const_cast<char*>(
        "Divisor must be of equal of coarser resolution than the dividend in TMapTools::Divide");
  }
  return PerCell(PtrA, PtrB, [](double V, double W) { return V / W; });
}

bool SameBits(double DblA, double DblB) {
  return std::memcmp(&DblA, &DblB, sizeof(double)) == 0;
}

// Compares the coordinate an axis is searched by: x on X axes, y on Y axes.
void ExpectSameAxis(const TAxis* PtrActual, const TAxis* PtrExpected, char ChrAxis) {
  ASSERT_EQ(PtrActual->GetSize(), PtrExpected->GetSize());
  EXPECT_EQ(PtrActual->MbrDblResolution, PtrExpected->MbrDblResolution);
  for (long LngI = 0; LngI < PtrActual->GetSize(); ++LngI) {
    const TPoint* PtrA = PtrActual->GetPoint(LngI);
    const TPoint* PtrE = PtrExpected->GetPoint(LngI);
    EXPECT_EQ(ChrAxis == 'X' ? PtrA->MbrDblX : PtrA->MbrDblY,
              ChrAxis == 'X' ? PtrE->MbrDblX : PtrE->MbrDblY)
        << ChrAxis << " axis point " << LngI;
  }
}

void ExpectSameMap(const TMap& Actual, const TMap& Expected) {
  ASSERT_EQ(Actual.MbrLngXDim, Expected.MbrLngXDim);
  ASSERT_EQ(Actual.MbrLngYDim, Expected.MbrLngYDim);
  EXPECT_EQ(Actual.MbrDblResolution, Expected.MbrDblResolution);
  EXPECT_EQ(Actual.MbrDblNoDataValue, Expected.MbrDblNoDataValue);
  ExpectSameAxis(Actual.MbrPtrXAxis, Expected.MbrPtrXAxis, 'X');
  ExpectSameAxis(Actual.MbrPtrYAxis, Expected.MbrPtrYAxis, 'Y');
  ExpectSameAxis(Actual.MbrPtrXAxisInterval, Expected.MbrPtrXAxisInterval, 'X');
  ExpectSameAxis(Actual.MbrPtrYAxisInterval, Expected.MbrPtrYAxisInterval, 'Y');
  for (long LngR = 0; LngR < Actual.MbrLngYDim; ++LngR) {
    for (long LngK = 0; LngK < Actual.MbrLngXDim; ++LngK) {
      EXPECT_TRUE(SameBits(Actual.GetPointVal(LngK, LngR), Expected.GetPointVal(LngK, LngR)))
          << "cell (" << LngK << ", " << LngR << "): " << Actual.GetPointVal(LngK, LngR)
          << " instead of " << Expected.GetPointVal(LngK, LngR);
    }
  }
}

void ExpectAsPerCell(const TCombine& Operation, const TCombine& Reference, TMap* PtrA, TMap* PtrB) {
  const TOutcome Actual = Run([&] { return Operation(PtrA, PtrB); });
  const TOutcome Expected = Run([&] { return Reference(PtrA, PtrB); });
  ASSERT_EQ(Actual.StgMessage, Expected.StgMessage);
  ASSERT_EQ(Actual.PtrMap == nullptr, Expected.PtrMap == nullptr);
  if (Expected.PtrMap != nullptr) {
    ExpectSameMap(*Actual.PtrMap, *Expected.PtrMap);
  }
}

// A map of values that vary with the cell, a no-data cell every seventh, zeros and a NaN.
TMapPtr PatternMap(double DblX0, double DblY0, double DblResolution, long LngCols, long LngRows,
                   double DblNoData, int LngSeed) {
  std::vector<std::vector<double>> VecRows(static_cast<std::size_t>(LngRows));
  long LngN = LngSeed;
  for (auto& VecRow : VecRows) {
    for (long LngK = 0; LngK < LngCols; ++LngK, ++LngN) {
      double DblValue = 0.25 * static_cast<double>((LngN * 37) % 41) - 3.0;
      if (LngN % 7 == 0) {
        DblValue = DblNoData;
      } else if (LngN % 23 == 0) {
        DblValue = std::numeric_limits<double>::quiet_NaN();
      }
      VecRow.push_back(DblValue);
    }
  }
  return MakeMap(DblX0, DblY0, DblResolution, VecRows, DblNoData);
}

}  // namespace

TEST(ArithmeticTest, CoordinatePairingEqualsPerCellEvaluation) {
  // Partners of other resolutions and extents: covering, shifted, cut on each side, centres
  // exactly on edges, and grids finer or coarser than the base.
  struct TCase {
    double DblX0, DblY0, DblResolution;
    long LngCols, LngRows;
  };
  const TCase VecCases[] = {{0, 0, 1, 8, 6},      {0, 0, 2, 4, 3},       {-1, -1, 2, 6, 5},
                            {0, 0, 0.5, 16, 12},  {0.5, 0.5, 1, 8, 6},   {1, 0, 1, 7, 6},
                            {0, 0, 1, 7, 6},      {0, 1, 1, 8, 5},       {0, 0, 1, 8, 5},
                            {-2, -2, 4, 3, 3},    {2, 2, 1, 3, 2},       {0, 0, 3, 2, 2},
                            {-0.5, 0, 2.5, 4, 3}, {0, -0.5, 0.5, 17, 13}};
  int LngSeed = 1;
  for (const TCase& CaseA : VecCases) {
    for (const TCase& CaseB : VecCases) {
      TMapPtr PtrA = PatternMap(CaseA.DblX0, CaseA.DblY0, CaseA.DblResolution, CaseA.LngCols,
                                CaseA.LngRows, -9999, LngSeed++);
      TMapPtr PtrB = PatternMap(CaseB.DblX0, CaseB.DblY0, CaseB.DblResolution, CaseB.LngCols,
                                CaseB.LngRows, -1, LngSeed++);
      SCOPED_TRACE(::testing::Message() << "a at (" << CaseA.DblX0 << ", " << CaseA.DblY0 << ") x "
                                        << CaseA.DblResolution << ", b at (" << CaseB.DblX0 << ", "
                                        << CaseB.DblY0 << ") x " << CaseB.DblResolution);
      // The map-by-map forms, not the ones that take a constant.
      using TMapByMap = TMap* (*)(const TMap*, const TMap*);
      ExpectAsPerCell(static_cast<TMapByMap>(TMapTools::Add), ReferenceAdd, PtrA.get(), PtrB.get());
      ExpectAsPerCell(static_cast<TMapByMap>(TMapTools::Multiply), ReferenceMultiply, PtrA.get(),
                      PtrB.get());
      ExpectAsPerCell(static_cast<TMapByMap>(TMapTools::Divide), ReferenceDivide, PtrA.get(),
                      PtrB.get());
    }
  }
}

TEST(ArithmeticTest, AddTakesTheFinerSecondMapAsBase) {
  const TMapPtr PtrA = MakeMap(0, 0, 2, {{1, 2}, {3, 4}}, -9999);
  const TMapPtr PtrB =
      MakeMap(0, 0, 1, {{10, 20, 30, 40}, {50, 60, 70, 80}, {1, 2, 3, 4}, {5, 6, 7, -1}}, -1);
  const TMapPtr PtrSum(TMapTools::Add(PtrA.get(), PtrB.get()));
  ExpectSameMap(
      *PtrSum,
      *MakeMap(0, 0, 1, {{11, 21, 32, 42}, {51, 61, 72, 82}, {4, 5, 7, 8}, {8, 9, 11, -1}}, -1));
}

TEST(ArithmeticTest, MultiplyOnEqualResolutionTakesTheFirstMapsGrid) {
  const TMapPtr PtrA = MakeMap(1, 1, 1, {{2, -5}, {3, 4}}, -5);
  const TMapPtr PtrB = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, -9999);
  const TMapPtr PtrProduct(TMapTools::Multiply(PtrA.get(), PtrB.get()));
  ExpectSameMap(*PtrProduct, *MakeMap(1, 1, 1, {{4, -5}, {15, 24}}, -5));
}

TEST(ArithmeticTest, FirstMapLargerThanItsPartnerFailsOutsideTheExtent) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  const TMapPtr PtrB = MakeMap(1, 1, 1, {{2, 1}, {3, 4}});
  EXPECT_MESSAGE(TMapTools::Add(PtrA.get(), PtrB.get()),
                 "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(TMapTools::Multiply(PtrA.get(), PtrB.get()),
                 "Ordinate is out of range in TAxis::GetIndex");
  EXPECT_MESSAGE(TMapTools::Divide(PtrA.get(), PtrB.get()),
                 "Ordinate is out of range in TAxis::GetIndex");
}

TEST(ArithmeticTest, CentreOnThePartnersEasternOrNorthernEdgeIsOutside) {
  // a's centre (0.5, 0.5) lies on b's eastern outer edge, then on c's northern one.
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{1}});
  const TMapPtr PtrB = MakeMap(-0.5, 0, 1, {{1}});
  const TMapPtr PtrC = MakeMap(0, -0.5, 1, {{1}});
  EXPECT_MESSAGE(TMapTools::Add(PtrA.get(), PtrB.get()),
                 "LngX is out of range in TMap::GetPointVal");
  EXPECT_MESSAGE(TMapTools::Add(PtrA.get(), PtrC.get()),
                 "LngY is out of range in TMap::GetPointVal");
}

TEST(ArithmeticTest, DivideServesFineDividendCellsFromCoarseDivisorCells) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{2, 4, 6, 8}, {1, 3, 5, 7}});
  const TMapPtr PtrB = MakeMap(0, 0, 2, {{2, 0.5}});
  const TMapPtr PtrQuotient(TMapTools::Divide(PtrA.get(), PtrB.get()));
  ExpectSameMap(*PtrQuotient, *MakeMap(0, 0, 1, {{1, 2, 12, 16}, {0.5, 1.5, 10, 14}}));
}

TEST(ArithmeticTest, DivideRefusesAFinerDivisorBeforeAnyLookup) {
  const TMapPtr PtrA = MakeMap(0, 0, 2, {{2, 4}});
  // Far outside a: the resolution check must come first.
  const TMapPtr PtrB = MakeMap(100, 100, 1, {{1, 1}});
  EXPECT_MESSAGE(
      TMapTools::Divide(PtrA.get(), PtrB.get()),
      "Divisor must be of equal of coarser resolution than the dividend in TMapTools::Divide");
}

TEST(ArithmeticTest, DivideByZeroGivesInfinityAndZeroByZeroNaN) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{3, 0, -2}});
  const TMapPtr PtrB = MakeMap(0, 0, 1, {{0, 0, 0}});
  const TMapPtr PtrQuotient(TMapTools::Divide(PtrA.get(), PtrB.get()));
  EXPECT_EQ(PtrQuotient->GetPointVal(0, 0), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(PtrQuotient->GetPointVal(1, 0)));
  EXPECT_EQ(PtrQuotient->GetPointVal(2, 0), -std::numeric_limits<double>::infinity());
}

TEST(ArithmeticTest, NoDataOfEitherMapGivesTheBaseMapsNoData) {
  // -1 is data in a and no-data in b; -9999 the other way round.
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{-1, -9999}, {5, 2}}, -9999);
  const TMapPtr PtrB = MakeMap(0, 0, 1, {{3, 3}, {-1, -9999}}, -1);
  const TMapPtr PtrSum(TMapTools::Add(PtrA.get(), PtrB.get()));
  ExpectSameMap(*PtrSum, *MakeMap(0, 0, 1, {{2, -9999}, {-9999, -9997}}, -9999));
  const TMapPtr PtrDifference(TMapTools::Subtract(PtrB.get(), PtrA.get()));
  ExpectSameMap(*PtrDifference, *MakeMap(0, 0, 1, {{4, -1}, {-1, -10001}}, -1));
}

TEST(ArithmeticTest, NaNCellIsNotNoData) {
  const double DblNaN = std::numeric_limits<double>::quiet_NaN();
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{DblNaN, 1}}, DblNaN);
  const TMapPtr PtrB = MakeMap(0, 0, 1, {{1, 1}});
  const TMapPtr PtrSum(TMapTools::Add(PtrA.get(), PtrB.get()));
  EXPECT_TRUE(std::isnan(PtrSum->GetPointVal(0, 0)));
  EXPECT_EQ(PtrSum->GetPointVal(1, 0), 2);
}

TEST(ArithmeticTest, SubtractPairsByIndexAcrossOriginsAndResolutions) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{10, 20}, {30, 40}}, -9999);
  const TMapPtr PtrB = MakeMap(500, -70, 3, {{1, 2}, {3, 4}}, -9999);
  const TMapPtr PtrDifference(TMapTools::Subtract(PtrA.get(), PtrB.get()));
  ExpectSameMap(*PtrDifference, *MakeMap(0, 0, 1, {{9, 18}, {27, 36}}));
}

TEST(ArithmeticTest, SubtractChecksXDimensionsBeforeY) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  const TMapPtr PtrWide = MakeMap(0, 0, 1, {{1, 2, 3}});
  const TMapPtr PtrTall = MakeMap(0, 0, 1, {{1, 2}, {3, 4}, {5, 6}});
  EXPECT_MESSAGE(TMapTools::Subtract(PtrA.get(), PtrWide.get()),
                 "X dimensions do not match in TMapTools::Subtract");
  EXPECT_MESSAGE(TMapTools::Subtract(PtrA.get(), PtrTall.get()),
                 "Y dimensions do not match in TMapTools::Subtract");
}

TEST(ArithmeticTest, OperationsLeaveTheirArgumentsUnchanged) {
  const TMapPtr PtrA = PatternMap(0, 0, 1, 4, 4, -9999, 3);
  const TMapPtr PtrB = PatternMap(0, 0, 2, 2, 2, -1, 5);
  const TMapPtr PtrACopy = PatternMap(0, 0, 1, 4, 4, -9999, 3);
  const TMapPtr PtrBCopy = PatternMap(0, 0, 2, 2, 2, -1, 5);
  delete TMapTools::Add(PtrA.get(), PtrB.get());
  delete TMapTools::Multiply(PtrB.get(), PtrA.get());
  delete TMapTools::Divide(PtrA.get(), PtrB.get());
  delete TMapTools::Subtract(PtrB.get(), PtrB.get());
  ExpectSameMap(*PtrA, *PtrACopy);
  ExpectSameMap(*PtrB, *PtrBCopy);
}

TEST(ArithmeticTest, MapsWithoutAxesAreRefused) {
  TMap Bare(1, 2, 2);
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  EXPECT_MESSAGE(TMapTools::Add(&Bare, PtrA.get()), "Map has no axes in TMapTools::Add");
  EXPECT_MESSAGE(TMapTools::Multiply(&Bare, PtrA.get()), "Map has no axes in TMapTools::Multiply");
  EXPECT_MESSAGE(TMapTools::Divide(&Bare, PtrA.get()), "Map has no axes in TMapTools::Divide");
  EXPECT_MESSAGE(TMapTools::Subtract(&Bare, PtrA.get()), "Map has no axes in TMapTools::Subtract");
  EXPECT_MESSAGE(TMapTools::Add(PtrA.get(), &Bare), "Map has no axes in TMap::GetIndex");
}

TEST(ArithmeticTest, EmptyCentreSlotIsReportedNotRead) {
  const TMapPtr PtrA = MakeMap(0, 0, 1, {{1, 2, 3}});
  const TMapPtr PtrB = MakeMap(0, 0, 1, {{1, 2, 3}});
  delete PtrA->MbrPtrXAxis->MbrVecPoints[1];
  PtrA->MbrPtrXAxis->MbrVecPoints[1] = nullptr;
  EXPECT_MESSAGE(TMapTools::Add(PtrA.get(), PtrB.get()),
                 "Axis has an unfilled slot in TMap::GetCoordinates");
}
