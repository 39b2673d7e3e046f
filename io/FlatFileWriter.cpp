// io/FlatFileWriter.cpp - TMapTools::WriteFlatFile: the cell rows of a map as text.
// Declared with the other operations of TMapTools in ops/TMapTools.h; the grid writer uses it.
#include <ostream>

#include "io/BlockWriter.h"
#include "io/GridReader.h"
#include "io/GridWriter.h"
#include "io/Threads.h"
#include "model/Fail.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

void TMapTools::WriteFlatFile(const TMap* PtrMap, std::ostream& Output, char ChrSeparator) {
  const long LngColumns = PtrMap->MbrLngXDim;
  const long LngRows = PtrMap->MbrLngYDim;
  // The rows are read directly below, so the grid has to hold what the dimensions promise.
  if (!tessgrid::detail::RowsHoldGrid(*PtrMap)) {
    Fail("Map rows do not match its dimensions in TMapTools::WriteFlatFile");
  }
  const std::size_t LngColumnCount = static_cast<std::size_t>(LngColumns > 0 ? LngColumns : 0);
  const std::size_t LngRowCount = static_cast<std::size_t>(LngRows > 0 ? LngRows : 0);
  tessgrid::detail::WriteRows(
      Output, [PtrMap](std::size_t LngRow) { return PtrMap->MbrVecValues[LngRow].data(); },
      LngRowCount, LngColumnCount, ChrSeparator, tessgrid::detail::ThreadCount());
}
