// engine/TransformOperation.cpp - the value transforms and the mask on loaded maps. The contracts
// are in engine/TransformOperation.h.
#include "engine/TransformOperation.h"

#include <cmath>
#include <map>

#include "ops/LibraryNoData.h"
#include "ops/TMapTools.h"

namespace tessgrid::detail {

std::unique_ptr<TMap> ThresholdOperation(const TMap& In, const TInputGrid& Input, double DblMin,
                                         const std::optional<double>& OptReplace) {
  if (OptReplace) {
    return Kept(In, TMapTools::ThresholdReplace(&In, DblMin, ToLibraryValue(*OptReplace, Input)),
                false);
  }
  return Kept(In, TMapTools::Threshold(&In, DblMin), true);
}

std::unique_ptr<TMap> ReclassOperation(const TMap& In, const TInputGrid& Input,
                                       const std::vector<std::pair<double, double>>& VecEntries,
                                       double DblDefault) {
  std::map<double, double> MapTable;
  bool BlnNoDataEntry = false;
  for (const auto& [DblFrom, DblTo] : VecEntries) {
    const bool BlnDeclared =
        DblFrom == Input.DblNoData || (std::isnan(DblFrom) && std::isnan(Input.DblNoData));
    // A NaN key would break the ordered map, whose order it has no place in.
    if ((std::isnan(DblFrom) && !BlnDeclared) || (DblFrom == kDblLibraryNoData && !BlnDeclared)) {
      continue;
    }
    const double DblKey = ToLibraryValue(DblFrom, Input);
    BlnNoDataEntry = BlnNoDataEntry || DblKey == kDblLibraryNoData;
    MapTable[DblKey] = DblTo;
  }
  std::unique_ptr<TMap> PtrResult(
      TMapTools::ReplaceValue(&In, MapTable, ToLibraryValue(DblDefault, Input)));
  if (!BlnNoDataEntry) {
    KeepNoData(In, *PtrResult);
  }
  return PtrResult;
}

std::unique_ptr<TMap> MaskOperation(const TMap& Grid, const TInputGrid& GridInput,
                                    const TMap& Source, const TInputGrid& SourceInput,
                                    double DblMatch, double DblValue) {
  return std::unique_ptr<TMap>(TMapTools::Mask(
      &Grid, &Source, ToLibraryValue(DblMatch, SourceInput), ToLibraryValue(DblValue, GridInput)));
}

}  // namespace tessgrid::detail
