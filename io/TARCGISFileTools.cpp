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
#include "io/GridWriter.h"
#include "io/SafeReplace.h"
#include "io/Threads.h"
#include "model/Fail.h"

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

// The writer needs both edge axes (the western and the southern edge come from them) and the
// rows it will read; the messages are those the writer has always given, in their order.
tessgrid::detail::TGridLayout CheckedLayout(const TMap* PtrMap) {
  const tessgrid::detail::TGridLayout Layout = tessgrid::detail::GridLayoutOf(*PtrMap);
  if (!tessgrid::detail::RowsHoldGrid(*PtrMap)) {
    Fail("Map rows do not match its dimensions in TMapTools::WriteFlatFile");
  }
  return Layout;
}

}  // namespace

TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input) {
  return LoadARCGISFile(Input, TGridHeaderMode::kStrict);
}

TMap* TARCGISFileTools::LoadARCGISFile(std::istream& Input, TGridHeaderMode Mode) {
  tessgrid::detail::TStreamSource Source(Input);
  TMapRows Rows;
  const TGridHeader Header = tessgrid::detail::ReadGrid(Source, Mode, Rows, ReadOptions());
  return tessgrid::detail::MapOfGrid(Header, Rows.MbrVecRows).release();
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName) {
  return LoadARCGISFile(std::move(StgFileName), TGridHeaderMode::kStrict);
}

TMap* TARCGISFileTools::LoadARCGISFile(std::string StgFileName, TGridHeaderMode Mode) {
  TMapRows Rows;
  const TGridHeader Header = tessgrid::detail::LoadGridFile(StgFileName, Mode, Rows, ReadOptions());
  return tessgrid::detail::MapOfGrid(Header, Rows.MbrVecRows).release();
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::ostream& Output) {
  tessgrid::detail::WriteGridWithLayout(*PtrMap, CheckedLayout(PtrMap), Output);
}

void TARCGISFileTools::WriteARCGISFile(const TMap* PtrMap, std::string StgFileName) {
  // Every check runs before the file is touched.
  CheckedLayout(PtrMap);
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
