// engine/MemoryRows.h - grids in memory as the engine's row sources and sinks: a caller's array
// or a library map read where it lies, a float32 array widened a window at a time, and a result
// combined straight into the caller's array or narrowed into a float32 one as it is written.
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

/// A float32 array of Header.LngRows rows, one after the other from PtrFirst, as a row source:
/// each window is widened (exactly) into the stream's rows as it is read, so that no float64 copy
/// of the whole array is made.
class TFloat32RowSource final : public TRowSource {
 public:
  TFloat32RowSource(const TGridHeader& Header, const float* PtrFirst)
      : MbrHeader(Header), MbrPtrFirst(PtrFirst) {}

  const TGridHeader& Header() const override { return MbrHeader; }
  long WindowRows() const override;
  void ReadRows(long LngFirst, long LngCount, const std::function<double*(long)>& RowAt) override;

 private:
  TGridHeader MbrHeader;     ///< as the caller gave it
  const float* MbrPtrFirst;  ///< row 0; the caller keeps the cells while the source lives
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

/// Rounds LngColumns cells to their nearest float32 into PtrOut, a cell equal to DblNoData (any
/// NaN, when it is NaN) being no-data. Returns the first column float32 cannot hold as it
/// holds it, or -1: a finite cell beyond float32's range, or a data cell that rounds to the
/// no-data value; the cells after it are then left as they were.
long NarrowRow(const double* PtrIn, float* PtrOut, std::size_t LngColumns, double DblNoData);

/// A result of one row per row of the inputs, rounded into a float32 array of rows of
/// LngColumns cells one after the other from PtrFirst as NarrowRow rounds them, the output
/// declaring DblNoData. The first cell that NarrowRow refuses is kept, not thrown, so that the
/// run's own failures come first; the rows after it are not written.
class TFloat32RowSink final : public TRowSink {
 public:
  TFloat32RowSink(float* PtrFirst, std::size_t LngColumns, double DblNoData)
      : MbrPtrFirst(PtrFirst), MbrLngColumns(LngColumns), MbrDblNoData(DblNoData) {}

  void Write(const double* PtrRows, std::size_t LngRows, std::size_t LngColumns) override;

  /// Returns the row of the first cell refused, or -1 when none was; its column and value.
  long RefusedRow() const { return MbrLngRefusedRow; }
  long RefusedColumn() const { return MbrLngRefusedColumn; }
  double RefusedValue() const { return MbrDblRefused; }

 private:
  float* MbrPtrFirst;             ///< row 0 of the result
  std::size_t MbrLngColumns;      ///< cells of a result row
  double MbrDblNoData;            ///< the value the result declares
  std::size_t MbrLngNext = 0;     ///< rows taken so far
  long MbrLngRefusedRow = -1;     ///< the first refused cell's row, or -1
  long MbrLngRefusedColumn = -1;  ///< its column
  double MbrDblRefused = 0.0;     ///< its value as the run computed it
};

}  // namespace tessgrid::detail

#endif  // ENGINE_MEMORYROWS_H
