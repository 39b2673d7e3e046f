// io/TARCGISFileTools.cpp - the ASCII grid reader and writer, and lists of grid files.
// The declarations and their contracts are in io/TARCGISFileTools.h.
#include "io/TARCGISFileTools.h"

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "io/BlockWriter.h"
#include "io/GridReader.h"
#include "io/GridSource.h"
#include "io/SafeReplace.h"
#include "model/Fail.h"
#include "model/TAxis.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

namespace {

using tessgrid::detail::TGridHeader;

// Rows of a map, each set up when its first cell arrives (values are all overwritten, so no
// no-data fill), the row list reserved once from the header.
class TMapRows final : public tessgrid::detail::TGridStorage {
 public:
  void Prepare(const TGridHeader& Header) override {
    MbrLngColumns = static_cast<std::size_t>(Header.LngColumns);
    MbrVecRows.resize(static_cast<std::size_t>(Header.LngRows));
  }
  double* Row(long LngRow) override {
    std::vector<double>& VecRow = MbrVecRows[static_cast<std::size_t>(LngRow)];
    VecRow.resize(MbrLngColumns);
    return VecRow.data();
  }

  std::size_t MbrLngColumns = 0;                ///< values per row
  std::vector<std::vector<double>> MbrVecRows;  ///< one per row of the header once prepared
};

tessgrid::detail::TReadOptions ReadOptions() {
  tessgrid::detail::TReadOptions Options;
  Options.LngThreads = tessgrid::detail::ThreadCount();
  return Options;
}

std::unique_ptr<TMap> MapOf(const TGridHeader& Header, TMapRows& Rows) {
  auto PtrMap = std::make_unique<TMap>(Header.DblCellSize);
  PtrMap->MbrVecValues.swap(Rows.MbrVecRows);
  PtrMap->MbrLngXDim = Header.LngColumns;
  PtrMap->MbrLngYDim = Header.LngRows;
  PtrMap->MbrDblNoDataValue = Header.DblNoData;
  tessgrid::detail::SetReaderEdges(*PtrMap, Header.DblXll, Header.DblYll, Header.DblCellSize);
  return PtrMap;
}

// The writer needs both edge axes (the western and the southern edge come from them) and the
// rows that WriteFlatFile will read.
void CheckEdges(const TMap* PtrMap) {
  if (PtrMap->MbrPtrXAxisInterval == nullptr || PtrMap->MbrPtrYAxisInterval == nullptr) {
    Fail("Map has no interval axes in TARCGISFileTools::WriteARCGISFile");
  }
  if (PtrMap->MbrPtrXAxisInterval->GetPoint(0) == nullptr ||
      PtrMap->MbrPtrYAxisInterval->GetPoint(PtrMap->MbrLngYDim) == nullptr) {
    Fail("Axis has an unfilled slot in TARCGISFileTools::WriteARCGISFile");
  }
  if (!tessgrid::detail::RowsHoldGrid(*PtrMap)) {
    Fail("Map rows do not match its dimensions in TMapTools::WriteFlatFile");
  }
}

// The lower of the Y edge axis's two ends. On a map read from a file that is the last edge; a
// one-row map made from its centre (the result of any operation on it) has edges that rise, and
// taking the last edge there would move it a cell north.
double SouthernEdge(const TMap& Map) {
  const TPoint* PtrFirst = Map.MbrPtrYAxisInterval->GetPoint(0);
  const double DblLast = Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim)->MbrDblY;
  return PtrFirst != nullptr && PtrFirst->MbrDblY < DblLast ? PtrFirst->MbrDblY : DblLast;
}

}  // namespace

TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input) {
  return LoadARCGISFile(Input, TGridHeaderMode::kStrict);
}

TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input, TGridHeaderMode Mode) {
  tessgrid::detail::TStreamSource Source(Input);
  TMapRows Rows;
  const TGridHeader Header = tessgrid::detail::ReadGrid(Source, Mode, Rows, ReadOptions());
  return MapOf(Header, Rows).release();
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName) {
  return LoadARCGISFile(std::move(StgFileName), TGridHeaderMode::kStrict);
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName, TGridHeaderMode Mode) {
  TMapRows Rows;
  const TGridHeader Header = tessgrid::detail::LoadGridFile(StgFileName, Mode, Rows, ReadOptions());
  return MapOf(Header, Rows).release();
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::ostream& Output) {
  CheckEdges(PtrMap);
  {
    tessgrid::detail::TBlockWriter Writer(Output);
    Writer.PutText("ncols ");
    Writer.PutInteger(PtrMap->MbrLngXDim);
    Writer.PutText("\nnrows ");
    Writer.PutInteger(PtrMap->MbrLngYDim);
    Writer.PutText("\nxllcorner ");
    Writer.PutPadded(PtrMap->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX, 8);
    Writer.PutText("\nyllcorner ");
    Writer.PutPadded(SouthernEdge(*PtrMap), 8);
    Writer.PutText("\ncellsize ");
    Writer.PutNumber(PtrMap->MbrDblResolution);
    Writer.PutText("\nNODATA_value ");
    Writer.PutNumber(PtrMap->MbrDblNoDataValue);
    Writer.EndRow();
  }
  TMapTools::WriteFlatFile(PtrMap, Output, ' ');
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::string StgFileName) {
  // Every check runs before the file is touched.
  CheckEdges(PtrMap);
  tessgrid::detail::WriteFileSafely(
      StgFileName, [PtrMap](std::ostream& Output) { WriteARCGISFile(PtrMap, Output); });
}

std::vector<TMap*> TARCGISFileTools::LoadFileList(std::vector<std::string> VecFileNames) {
  std::vector<std::unique_ptr<TMap>> VecMaps;
  VecMaps.reserve(VecFileNames.size());
  for (const std::string& StgFileName : VecFileNames) {
    VecMaps.emplace_back(LoadARCGISFile(StgFileName));
  }
  std::vector<TMap*> VecResult;
  VecResult.reserve(VecMaps.size());
  for (std::unique_ptr<TMap>& PtrMap : VecMaps) {
    VecResult.push_back(PtrMap.release());
  }
  return VecResult;
}

void TARCGISFileTools::WriteFileList(std::vector<TMap*> VecMaps,
                                     std::vector<std::string> VecFileNames) {
  if (VecMaps.size() != VecFileNames.size()) {
    Fail("Size of map list and filename list do not match in TARCGISFileTools::WriteFileList");
  }
  for (std::size_t LngI = 0; LngI < VecMaps.size(); ++LngI) {
    WriteARCGISFile(VecMaps[LngI], VecFileNames[LngI]);
  }
}
