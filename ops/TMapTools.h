// ops/TMapTools.h - TMapTools: the static operations on maps and lists of maps.
// The definitions are split by theme into ops/*.cpp; the two text writers live in io/.
#ifndef OPS_TMAPTOOLS_H
#define OPS_TMAPTOOLS_H

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "model/TAxis.h"
#include "model/TMap.h"
#include "model/TPoint.h"

/// Operations on maps. None keeps state. Argument maps are only read, except where an operation
/// says it changes its argument in place. An operation that returns a new map, point or vector of
/// them hands it to the caller, who deletes it. Every check runs before any visible change: a
/// failing operation leaves its arguments as they were, returns nothing and leaks nothing.
class TMapTools {
 public:
  TMapTools() = delete;

  // Map-to-map arithmetic (ops/Arithmetic.cpp).

  // Cell value transforms (ops/Transforms.cpp).

  // Multi-map aggregation (ops/Aggregation.cpp).

  // Resampling (ops/Resampling.cpp).

  // Map extents (ops/Extents.cpp).

  // Cell statistics and sampling (ops/Statistics.cpp).

  // Value gradients over map series (ops/Gradients.cpp).

  // Text writers (io/FlatFileWriter.cpp, io/CsvWriter.cpp).

  /// Writes the cells row by row from the north, each value followed by the separator and each
  /// row by a line end; the stream is flushed after every row. Numbers use the stream's
  /// floating-point format; in the default format they take the fewest digits from its precision
  /// up to 12 that read back exactly.
  /// Throws "Map rows do not match its dimensions in TMapTools::WriteFlatFile" before writing
  /// anything when the value grid holds fewer rows or columns than MbrLngYDim and MbrLngXDim.
  static void WriteFlatFile(TMap* PtrMap, std::ostream& Output, char ChrSeparator);

  /// Writes one line "x,y,value" per cell, column by column from the west and, within a column,
  /// row by row from the north, with the cell centres of TMap::GetPoint; numbers as WriteFlatFile.
  /// Throws the failures of TMap::GetPoint(long, long) ("Map has no axes in
  /// TMap::GetCoordinates", ...) and "Map rows do not match its dimensions in
  /// TMapTools::WriteCSVFile" before writing anything; a map without cells writes nothing.
  static void WriteCSVFile(TMap* PtrMap, std::ostream& Output);
};

#endif  // OPS_TMAPTOOLS_H
