// engine/MemoryRows.cpp - in-memory row sources and sinks. The contracts are in
// engine/MemoryRows.h.
#include "engine/MemoryRows.h"

#include <algorithm>
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

}  // namespace tessgrid::detail
