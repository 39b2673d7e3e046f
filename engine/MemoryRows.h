// engine/MemoryRows.h - grids in memory as the engine's row sources and sinks: a caller's array
// or a library map read where it lies, and a result combined straight into the caller's array.
// engine/MemoryRows.cpp holds them; the operations run every face's in-memory grids through them.
#ifndef ENGINE_MEMORYROWS_H
#define ENGINE_MEMORYROWS_H

#include <cstddef>
#include <functional>
#include <vector>

#include "engine/Engine.h"
#include "io/GridHeader.h"
#include "model/TMap.h"

namespace tessgrid::detail {

/// A grid in memory as a row source: row r of Header.LngColumns cells at RowAt(r), kept there
/// while the source lives. The stream reads the rows where they lie when its combiner leaves
/// them as they are, else copies a window at a time.
class TMemoryRowSource final : public TRowSource {
 public:
  /// The rows of a grid of the header; RowAt must give each of its rows.
  TMemoryRowSource(const TGridHeader& Header, std::function<const double*(long)> RowAt);

  /// The rows of an array of Header.LngRows rows, one after the other from PtrFirst.
  TMemoryRowSource(const TGridHeader& Header, const double* PtrFirst);

  const TGridHeader& Header() const override { return MbrHeader; }
  long WindowRows() const override;
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override;
  const double* RowInPlace(long LngRow) const override { return MbrRowAt(LngRow); }

 private:
  TGridHeader MbrHeader;                        ///< as the caller gave it
  std::function<const double*(long)> MbrRowAt;  ///< where each row lies
};

/// Returns the rows of the map, which must hold MbrLngYDim rows of MbrLngXDim cells, as a row
/// source under the header.
TMemoryRowSource MapRowSource(const TGridHeader& Header, const TMap& Map);

/// A result of one row per row of the inputs, combined straight into an array of rows of
/// LngColumns cells one after the other from PtrFirst: the caller's array is filled in place,
/// with no copy of the rows.
class TMemoryRowSink final : public TRowSink {
 public:
  TMemoryRowSink(double* PtrFirst, std::size_t LngColumns)
      : MbrPtrFirst(PtrFirst), MbrLngColumns(LngColumns) {}

  /// Copies the rows only when the stream combined them elsewhere.
  void Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) override;
  double* ResultRows(std::size_t LngFirst, std::size_t LngRows, std::size_t LngColumns) override;

 private:
  double* MbrPtrFirst;         ///< row 0 of the result
  std::size_t MbrLngColumns;   ///< cells of a result row
  std::size_t MbrLngNext = 0;  ///< rows taken so far
};

}  // namespace tessgrid::detail

#endif  // ENGINE_MEMORYROWS_H
