// engine/GridFileRows.cpp - the grid reader's cells placed in a ring of rows and copied out a
// window at a time. The contract is in engine/GridFileRows.h.
#include "engine/GridFileRows.h"

#include <algorithm>
#include <cstddef>
#include <iostream>
#include <utility>

#include "engine/InputRing.h"
#include "io/GridReader.h"
#include "io/GridSource.h"

namespace tessgrid::detail {

namespace {

// Input bytes per part of the reader's block: several inputs are read side by side, one thread
// each, so a block of a few hundred KiB keeps each ring small and the reads large.
constexpr std::size_t kLngChunkBytes = std::size_t{1} << 16;

// Rows a window holds: the copy out of the ring is cheap, so a window only bounds the ring.
constexpr long kLngWindowRows = 16;

// A window is copied out of the ring before the reader goes on, so a ring for rounds of a
// window and two more rows never reaches a row not yet copied out (see TInputRing).

class TGridFileRows final : public TRowSource {
 public:
  TGridFileRows(std::unique_ptr<TGridSource> PtrSource, TGridHeaderMode Mode)
      : MbrPtrSource(std::move(PtrSource)) {
    std::string StgFirstCell;
    MbrHeader = ReadGridHeader(*MbrPtrSource, Mode, StgFirstCell);
    TReadOptions Options;
    Options.LngChunkBytes = kLngChunkBytes;
    const bool BlnSized = MbrPtrSource->BeginCells() >= 0;
    const bool BlnShort = BlnSized && !HoldsClaim(*MbrPtrSource, MbrHeader, StgFirstCell);
    MbrPtrRing = std::make_unique<TInputRing>(
        MaxBlockCells(Options), static_cast<std::size_t>(kLngWindowRows) + 2, !BlnSized);
    MbrPtrScanner = std::make_unique<TCellScanner>(*MbrPtrSource, MbrHeader, StgFirstCell,
                                                   *MbrPtrRing, Options);
    if (BlnShort) {
      // The reader keeps no cells of such a file and fails where it ends.
      while (MbrPtrScanner->Step()) {
      }
    }
  }

  const TGridHeader& Header() const override { return MbrHeader; }

  long WindowRows() const override { return kLngWindowRows; }

  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override {
    const std::size_t LngColumns = static_cast<std::size_t>(MbrHeader.LngColumns);
    // Windows longer than the ring's are copied out in parts, each before the reader goes on.
    for (long LngPart = 0; LngPart < LngCount; LngPart += kLngWindowRows) {
      const long LngEnd = LngFirst + std::min(LngCount, LngPart + kLngWindowRows);
      while (MbrPtrRing->Complete() < static_cast<std::size_t>(LngEnd) && MbrPtrScanner->Step()) {
      }
      for (long LngRow = LngFirst + LngPart; LngRow < LngEnd; ++LngRow) {
        const double* const PtrRow = MbrPtrRing->Row(LngRow);
        if (PtrRow != nullptr) {
          std::copy(PtrRow, PtrRow + LngColumns, RowAt(LngRow - LngFirst));
        }
      }
    }
    if (LngFirst + LngCount >= MbrHeader.LngRows) {
      // The reader checks what follows the last cell only when asked to go on.
      while (MbrPtrScanner->Step()) {
      }
    }
  }

 private:
  std::unique_ptr<TGridSource> MbrPtrSource;  ///< never null
  TGridHeader MbrHeader;
  std::unique_ptr<TInputRing> MbrPtrRing;       ///< where the reader places the cells
  std::unique_ptr<TCellScanner> MbrPtrScanner;  ///< reads the cells at our pace
};

}  // namespace

std::unique_ptr<TRowSource> OpenGridFileRows(const std::string& StgName, TGridHeaderMode Mode) {
  std::unique_ptr<TGridSource> PtrSource;
  if (StgName == "-") {
    PtrSource = std::make_unique<TStreamSource>(std::cin);
  } else {
    PtrSource = std::make_unique<TFileSource>(StgName);
  }
  return std::make_unique<TGridFileRows>(std::move(PtrSource), Mode);
}

}  // namespace tessgrid::detail
