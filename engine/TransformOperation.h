// engine/TransformOperation.h - the value transforms of one grid (threshold, reclass) and the mask
// composed once for every face: the user's values read in the grid's no-data, the library's
// operation, the no-data cells kept. engine/TransformOperation.cpp holds them.
#ifndef ENGINE_TRANSFORMOPERATION_H
#define ENGINE_TRANSFORMOPERATION_H

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/NoDataModel.h"
#include "model/TMap.h"

namespace tessgrid::detail {

// Each takes maps in the library's no-data (ToLibraryNoData) with what their files state, and
// reads the numbers the user gave as the grid's user means them (ToLibraryValue: the grid's
// declared no-data value stands for no-data). Each returns a new map on the input's grid; the
// caller owns it.

/// TMapTools::Threshold (cells below DblMin become 0) with the input's no-data cells kept and a
/// computed -9999 failing as CheckDataKept fails; with a replacement, TMapTools::ThresholdReplace
/// (cells at or above DblMin become it) with the no-data cells kept.
/// Throws "the result at row <r>, column <c> comes to -9999, ..." (see Kept).
std::unique_ptr<TMap> ThresholdOperation(const TMap& In, const TInputGrid& Input, double DblMin,
                                         const std::optional<double>& OptReplace);

/// TMapTools::ReplaceValue over the table of (from, to) entries, a later entry of an equal key
/// replacing an earlier one, and the default for cells of no key. A key equal to the grid's
/// declared no-data value (NaN for NaN) stands for its no-data cells; a key -9999 that is data
/// to the grid, and a NaN key of a grid that does not declare NaN, match no cell. No-data cells
/// stay no-data unless the table has an entry for them.
std::unique_ptr<TMap> ReclassOperation(const TMap& In, const TInputGrid& Input,
                                       const std::vector<std::pair<double, double>>& VecEntries,
                                       double DblDefault);

/// TMapTools::Mask: the source's cells equal to DblMatch (read in the source's no-data) replaced
/// by DblValue (read in the grid's), on the grid's grid; the caller has compared the two
/// (CheckAligned, unless cells are to pair by index whatever the grids).
/// Throws the failures of TMapTools::Mask.
std::unique_ptr<TMap> MaskOperation(const TMap& Grid, const TInputGrid& GridInput,
                                    const TMap& Source, const TInputGrid& SourceInput,
                                    double DblMatch, double DblValue);

}  // namespace tessgrid::detail

#endif  // ENGINE_TRANSFORMOPERATION_H
