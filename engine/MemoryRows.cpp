// engine/MemoryRows.cpp - in-memory row sources and sinks. The contracts are in
// engine/MemoryRows.h.
#include "engine/MemoryRows.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessgrid::detail {

TMemoryRowSource::TMemoryRowSource(const TGridHeader& Header,
                                   std::function<const double*(long)> RowAt)
    : MbrHeader(Header), MbrRowAt(std::move(RowAt)) {}

TMemoryRowSource::TMemoryRowSource(const TGridHeader& Header, const double* PtrFirst)
    : MbrHeader(Header) {
  const std::size_t LngColumns = static_cast<std::size_t>(std::max(0L, Header.LngColumns));
  MbrRowAt = [PtrFirst, LngColumns](long LngRow) {
    return PtrFirst + static_cast<std::size_t>(LngRow) * LngColumns;
  };
}

long TMemoryRowSource::WindowRows() const {
  // Nothing is decoded: a window only bounds the copy in hand at once.
  return 64;
}

void TMemoryRowSource::ReadRows(long LngFirst, long LngCount,
                                const std::function<double*(long)>& RowAt) {
  const std::size_t LngColumns = static_cast<std::size_t>(std::max(0L, MbrHeader.LngColumns));
  for (long LngK = 0; LngK < LngCount; ++LngK) {
    const double* const PtrRow = MbrRowAt(LngFirst + LngK);
    std::copy(PtrRow, PtrRow + LngColumns, RowAt(LngK));
  }
}

long TFloat32RowSource::WindowRows() const {
  // The widened window is read again at once: a few dozen rows keep it in the second-level cache.
  return 16;
}

void TFloat32RowSource::ReadRows(long LngFirst, long LngCount,
                                 const std::function<double*(long)>& RowAt) {
  const std::size_t LngColumns = static_cast<std::size_t>(std::max(0L, MbrHeader.LngColumns));
  for (long LngK = 0; LngK < LngCount; ++LngK) {
    const float* const PtrRow =
        MbrPtrFirst + static_cast<std::size_t>(LngFirst + LngK) * LngColumns;
    std::copy(PtrRow, PtrRow + LngColumns, RowAt(LngK));
  }
}

TMemoryRowSource MapRowSource(const TGridHeader& Header, const TMap& Map) {
  return TMemoryRowSource(Header, [&Map](long LngRow) {
    return Map.MbrVecValues[static_cast<std::size_t>(LngRow)].data();
  });
}

void TMemoryRowSink::Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) {
  double* const PtrTarget = MbrPtrFirst + MbrLngNext * MbrLngColumns;
  if (PtrRows != PtrTarget) {
    std::copy(PtrRows, PtrRows + LngRows * LngColumns, PtrTarget);
  }
  MbrLngNext += LngRows;
}

double* TMemoryRowSink::ResultRows(std::size_t LngFirst, std::size_t, std::size_t LngColumns) {
  return LngColumns == MbrLngColumns ? MbrPtrFirst + LngFirst * MbrLngColumns : nullptr;
}

long NarrowRow(const double* PtrIn, float* PtrOut, std::size_t LngColumns, double DblNoData) {
  const bool BlnNaNNoData = std::isnan(DblNoData);
  const float FltNoData = static_cast<float>(DblNoData);
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    const double DblCell = PtrIn[LngColumn];
    const float FltCell = static_cast<float>(DblCell);
    PtrOut[LngColumn] = FltCell;
    const bool BlnNoData = DblCell == DblNoData || (BlnNaNNoData && std::isnan(DblCell));
    if (!BlnNoData && ((std::isinf(FltCell) && std::isfinite(DblCell)) || FltCell == FltNoData)) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

void TFloat32RowSink::Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) {
  for (std::size_t LngK = 0; LngK < LngRows && MbrLngRefusedRow < 0; ++LngK) {
    const double* const PtrRow = PtrRows + LngK * LngColumns;
    const long LngColumn = NarrowRow(PtrRow, MbrPtrFirst + (MbrLngNext + LngK) * MbrLngColumns,
                                     LngColumns, MbrDblNoData);
    if (LngColumn >= 0) {
      MbrLngRefusedRow = static_cast<long>(MbrLngNext + LngK);
      MbrLngRefusedColumn = LngColumn;
      MbrDblRefused = PtrRow[LngColumn];
    }
  }
  MbrLngNext += LngRows;
}

}  // namespace tessgrid::detail
