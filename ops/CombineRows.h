// ops/CombineRows.h - the map-to-map arithmetic written once for maps and for plain grids: the
// operand whose grid the result takes, the checks on the operands, and the cell loop with its
// no-data rule. ops/Arithmetic.cpp and the command's overlay both build on it.
#ifndef OPS_COMBINEROWS_H
#define OPS_COMBINEROWS_H

#include <cstddef>
#include <vector>

#include "model/Fail.h"

namespace tessgrid::detail {

/// The four map-to-map operations.
enum class TArithmetic { kAdd, kSubtract, kMultiply, kDivide };

/// Returns whether the result takes the second operand's grid and no-data value: for Add and
/// Multiply when its grid is finer. The first operand wins a tie and a NaN resolution; Subtract
/// and Divide always work on the first operand's grid.
bool SecondIsBase(TArithmetic Operation, double DblResolutionA, double DblResolutionB);

/// Throws the operation's checks on the shapes of its operands, made before anything is built:
/// "X dimensions do not match in TMapTools::Subtract", then "Y dimensions do not match in
/// TMapTools::Subtract"; "Divisor must be of equal of coarser resolution than the dividend in
/// TMapTools::Divide" unless a's resolution <= b's.
inline void CheckOperands(TArithmetic Operation, long LngXDimA, long LngYDimA,
                          double DblResolutionA, long LngXDimB, long LngYDimB,
                          double DblResolutionB) {
  if (Operation == TArithmetic::kSubtract) {
    if (LngXDimA != LngXDimB) {
      Fail("X dimensions do not match in TMapTools::Subtract");
    }
    if (LngYDimA != LngYDimB) {
      Fail("Y dimensions do not match in TMapTools::Subtract");
    }
  }
  // Written as "not at most" so that a NaN resolution is refused as well.
  if (Operation == TArithmetic::kDivide && !(DblResolutionA <= DblResolutionB)) {
    Fail("Divisor must be of equal of coarser resolution than the dividend in TMapTools::Divide");
  }
}

/// Combines one row of base cells with their partner cells into the result row: cell k is
/// v + w, v - w, v x w or v / w for the base value v and the partner value w (partner cell
/// PtrPartnerColumns[k], or k where the pointer is null), or the base's no-data value when v is
/// the base's or w the partner's no-data value (exact equality: NaN is never no-data). A NaN
/// operand is the result as it is, v's before w's, so that every cell is a function of its two
/// values alone whatever code runs it. The result row may be the base row itself.
void CombineRow(TArithmetic Operation, const double* PtrBase, const double* PtrPartner,
                const long* PtrPartnerColumns, std::size_t LngColumns, double DblBaseNoData,
                double DblPartnerNoData, double* PtrResult);

/// Returns the partner columns to hand to CombineRow: null when base column k pairs with partner
/// column k throughout and the partner has no other columns, so that the row is read straight.
const long* PartnerColumnsOf(const std::vector<long>& VecColumns, std::size_t LngPartnerColumns);

}  // namespace tessgrid::detail

#endif  // OPS_COMBINEROWS_H
