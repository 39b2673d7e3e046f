// io/CsvWriter.cpp - TMapTools::WriteCSVFile: one "x,y,value" line per cell, column by column.
// Declared with the other operations of TMapTools in ops/TMapTools.h.
#include <memory>
#include <ostream>
#include <vector>

#include "io/BlockWriter.h"
#include "model/Fail.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

void TMapTools::WriteCSVFile(const TMap* PtrMap, std::ostream& Output) {
  const long LngColumns = PtrMap->MbrLngXDim;
  const long LngRows = PtrMap->MbrLngYDim;
  if (LngColumns <= 0 || LngRows <= 0) {
    return;
  }
  // The centres come from TMap::GetCoordinates once per row and once per column, in an order
  // that meets its failures as the cell-by-cell walk would (cell (0, 0) first, then down the
  // western column, then along the northern row), and all before a line is written.
  std::vector<double> VecY(static_cast<std::size_t>(LngRows));
  for (long LngY = 0; LngY < LngRows; ++LngY) {
    const std::unique_ptr<TPoint> PtrCentre(PtrMap->GetCoordinates(0, LngY));
    VecY[static_cast<std::size_t>(LngY)] = PtrCentre->MbrDblY;
  }
  std::vector<double> VecX(static_cast<std::size_t>(LngColumns));
  for (long LngX = 0; LngX < LngColumns; ++LngX) {
    const std::unique_ptr<TPoint> PtrCentre(PtrMap->GetCoordinates(LngX, 0));
    VecX[static_cast<std::size_t>(LngX)] = PtrCentre->MbrDblX;
  }
  if (!tessgrid::detail::RowsHoldGrid(*PtrMap)) {
    Fail("Map rows do not match its dimensions in TMapTools::WriteCSVFile");
  }
  tessgrid::detail::TBlockWriter Writer(Output);
  for (std::size_t LngX = 0; LngX < VecX.size() && Writer.Good(); ++LngX) {
    for (std::size_t LngY = 0; LngY < VecY.size(); ++LngY) {
      Writer.PutNumber(VecX[LngX]);
      Writer.PutChar(',');
      Writer.PutNumber(VecY[LngY]);
      Writer.PutChar(',');
      Writer.PutNumber(PtrMap->MbrVecValues[LngY][LngX]);
      Writer.PutChar('\n');
    }
  }
  Writer.Finish();
}
