// ops/ArithmeticTable.h - the one table of the four map-to-map operations: how tessgrid and
// tessgrid-tool name them, the library function, and the grid each result takes. The cell rule
// of each is CombineRow's (ops/CombineRows.h), selected by the entry's operation.
#ifndef OPS_ARITHMETICTABLE_H
#define OPS_ARITHMETICTABLE_H

#include <array>
#include <cstddef>

#include "model/TMap.h"
#include "ops/CombineRows.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

/// One map-to-map operation.
struct TArithmeticEntry {
  TArithmetic Operation;                          ///< selects the cell rule of CombineRow
  char ChrOperator;                               ///< tessgrid's Operation argument
  const char* PtrToolName;                        ///< tessgrid-tool's command
  const char* PtrToolSummary;                     ///< the command's line in the tool's help
  TMap* (*PtrLibrary)(const TMap*, const TMap*);  ///< the TMapTools function; caller owns result
  bool BlnFinerGrid;  ///< the result takes the finer grid (the second when finer), else the first
  bool BlnByIndex;    ///< cells pair by column and row, so the grids must be aligned
};

/// The operations in the order tessgrid documents them.
inline constexpr std::array<TArithmeticEntry, 4> kArrArithmetic = {{
    {TArithmetic::kAdd, '+', "add", "A + B cell by cell, on the finer grid", TMapTools::Add, true,
     false},
    {TArithmetic::kSubtract, '-', "subtract", "A - B cell by cell, on aligned grids",
     TMapTools::Subtract, false, true},
    {TArithmetic::kMultiply, 'x', "multiply", "A x B cell by cell, on the finer grid",
     TMapTools::Multiply, true, false},
    {TArithmetic::kDivide, '/', "divide",
     "A / B cell by cell, on A's grid (B no finer); division by 0 gives no-data", TMapTools::Divide,
     false, false},
}};

// EntryOf finds an operation's entry at the enumerator's index.
static_assert(kArrArithmetic[0].Operation == TArithmetic::kAdd &&
              kArrArithmetic[1].Operation == TArithmetic::kSubtract &&
              kArrArithmetic[2].Operation == TArithmetic::kMultiply &&
              kArrArithmetic[3].Operation == TArithmetic::kDivide);

/// Returns the entry of the operation.
inline const TArithmeticEntry& EntryOf(TArithmetic Operation) {
  return kArrArithmetic[static_cast<std::size_t>(Operation)];
}

/// Returns the entry whose operator is the character, or null.
inline const TArithmeticEntry* EntryOfOperator(char ChrOperator) {
  for (const TArithmeticEntry& Entry : kArrArithmetic) {
    if (Entry.ChrOperator == ChrOperator) {
      return &Entry;
    }
  }
  return nullptr;
}

}  // namespace tessgrid::detail

#endif  // OPS_ARITHMETICTABLE_H
