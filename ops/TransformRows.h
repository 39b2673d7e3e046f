// ops/TransformRows.h - the cell rules of the value transforms written once, a row at a time:
// constant arithmetic, rounding, thresholds, lookup tables and masks. ops/TransformRows.cpp
// holds them; ops/Transforms.cpp and every face's transform commands build on them.
#ifndef OPS_TRANSFORMROWS_H
#define OPS_TRANSFORMROWS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tessgrid::detail {

// Each rule writes cell k of the result row from cell k of the input row, LngColumns cells; the
// result row may be the input row itself.

/// TMapTools::Multiply(map, factor): c x f, and DblNoData for a cell equal to DblNoData.
void ScaleRow(const double* PtrIn, std::size_t LngColumns, double DblFactor, double DblNoData,
              double* PtrOut);

/// TMapTools::Add(map, constant): c + k, and DblNoData for a cell equal to DblNoData.
void OffsetRow(const double* PtrIn, std::size_t LngColumns, double DblConstant, double DblNoData,
               double* PtrOut);

/// TMapTools::Divide(map, divisor): c / d, and the cell as it is when it equals DblNoData.
void DivideByRow(const double* PtrIn, std::size_t LngColumns, double DblDivisor, double DblNoData,
                 double* PtrOut);

/// TMapTools::RoundContents: t = c truncated toward zero, t + 1 when c - t >= 0.5, else t; whole
/// values beyond the 32-bit range, infinities and NaN as they are.
void RoundRow(const double* PtrIn, std::size_t LngColumns, double* PtrOut);

/// TMapTools::Threshold: c when c >= t, else 0 (NaN included).
void ThresholdRow(const double* PtrIn, std::size_t LngColumns, double DblThreshold, double* PtrOut);

/// TMapTools::ThresholdReplace: r when c >= t, else c.
void ThresholdReplaceRow(const double* PtrIn, std::size_t LngColumns, double DblThreshold,
                         double DblReplacement, double* PtrOut);

/// TMapTools::Mask, on the source's row: r when c = m (exact equality), else c.
void MaskRow(const double* PtrIn, std::size_t LngColumns, double DblMatch, double DblReplacement,
             double* PtrOut);

/// The table of TMapTools::ReplaceValue, flattened for the cell loop: an exact match of a key
/// gives its value, any other cell the default. Keys are told apart by value, so 0 and -0 are one
/// key; a NaN key matches no cell. Immutable once built, so threads may share it.
class TLookupTable {
 public:
  /// Copies the table.
  explicit TLookupTable(const std::map<double, double>& MapTable);

  /// Returns the value of the key, or DblDefault where the table has none.
  double Find(double DblKey, double DblDefault) const;

  /// ReplaceValue's rule over a row: each cell's value in the table, or DblDefault.
  void Row(const double* PtrIn, std::size_t LngColumns, double DblDefault, double* PtrOut) const;

 private:
  static constexpr std::size_t kLngFilterWords = 128;  // 8192 bits

  // Equal doubles get equal slots: adding 0 turns -0 into +0 before the bits are hashed.
  static std::uint32_t Slot(double DblKey);

  std::vector<double> MbrVecKeys;           ///< rising, no NaN
  std::vector<double> MbrVecValues;         ///< the value of the key at the same position
  std::vector<std::uint64_t> MbrVecFilter;  ///< bit Slot(key) set for every key
};

}  // namespace tessgrid::detail

#endif  // OPS_TRANSFORMROWS_H
