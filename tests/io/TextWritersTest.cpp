// tests/io/TextWritersTest.cpp - the bare row writer and the CSV writer of TMapTools.
// Both share the grid writer's digit rule; these tests fix their own layouts and orders.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ops/TMapTools.h"
#include "tests/support/ExpectMessage.h"
#include "tests/support/MapBuilders.h"

using tessgrid_test::MakeMap;

TEST(WriteFlatFileTest, EveryValueIsFollowedByTheSeparator) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2.5, -9999}, {1234567, 2.0 / 3.0, 0}});
  std::ostringstream Output;
  TMapTools::WriteFlatFile(PtrMap.get(), Output, ';');
  EXPECT_EQ(Output.str(), "1;2.5;-9999;\n1234567;0.666666666667;0;\n");
}

TEST(WriteFlatFileTest, TheStreamsFixedFormatIsKept) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2.0 / 3.0}});
  std::ostringstream Output;
  Output << std::fixed;
  Output.precision(3);
  TMapTools::WriteFlatFile(PtrMap.get(), Output, ' ');
  EXPECT_EQ(Output.str(), "1.000 0.667 \n");
}

TEST(WriteFlatFileTest, AGridShorterThanItsDimensionsIsRejectedBeforeWriting) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}, {3, 4}});
  PtrMap->MbrVecValues[1].pop_back();
  std::ostringstream Output;
  EXPECT_MESSAGE(TMapTools::WriteFlatFile(PtrMap.get(), Output, ' '),
                 "Map rows do not match its dimensions in TMapTools::WriteFlatFile");
  EXPECT_EQ(Output.str(), "");
}

TEST(WriteCSVFileTest, WritesCentresAndValuesColumnByColumn) {
  auto PtrMap = MakeMap(0, 0, 1, {{1, 2}, {3, -9999}});
  std::ostringstream Output;
  TMapTools::WriteCSVFile(PtrMap.get(), Output);
  EXPECT_EQ(Output.str(), "0.5,1.5,1\n0.5,0.5,3\n1.5,1.5,2\n1.5,0.5,-9999\n");
}

TEST(WriteCSVFileTest, ProjectedCoordinatesKeepTheirDigits) {
  auto PtrMap = MakeMap(512345, 5123456, 25, {{7}});
  std::ostringstream Output;
  TMapTools::WriteCSVFile(PtrMap.get(), Output);
  EXPECT_EQ(Output.str(), "512357.5,5123468.5,7\n");
}

TEST(WriteCSVFileTest, AMapWithoutCellsWritesNothing) {
  auto PtrNoColumns = MakeMap(0, 0, 1, {{}, {}});
  auto PtrNoRows = MakeMap(0, 0, 1, {});
  std::ostringstream Output;
  TMapTools::WriteCSVFile(PtrNoColumns.get(), Output);
  TMapTools::WriteCSVFile(PtrNoRows.get(), Output);
  EXPECT_EQ(Output.str(), "");
}

TEST(WriteCSVFileTest, AMapWithoutAxesFailsBeforeWriting) {
  TMap Map(1.0, 2, 2);
  std::ostringstream Output;
  EXPECT_MESSAGE(TMapTools::WriteCSVFile(&Map, Output), "Map has no axes in TMap::GetCoordinates");
  EXPECT_EQ(Output.str(), "");
}

TEST(WriteCSVFileTest, ACentreAxisWithAnEmptySlotFailsBeforeWriting) {
  TAxis XCentres(1, 3);
  XCentres.SetPoint(0, new TPoint(0.5, 0));
  XCentres.SetPoint(2, new TPoint(2.5, 0));
  TAxis YCentres(1, 1);
  YCentres.SetPoint(0, new TPoint(0, 0.5));
  TMap Map(&XCentres, &YCentres);
  std::ostringstream Output;
  EXPECT_MESSAGE(TMapTools::WriteCSVFile(&Map, Output),
                 "Axis has an unfilled slot in TMap::GetCoordinates");
  EXPECT_EQ(Output.str(), "");
}
