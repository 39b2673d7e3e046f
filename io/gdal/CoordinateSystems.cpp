// io/gdal/CoordinateSystems.cpp - coordinate-system texts read and compared by what they mean, so
// that "EPSG:32633", a PROJ string and the WKT of any program for the same system agree.
// The contracts are in io/gdal/CoordinateSystems.h and io/gdal/Rasters.h.
#include "io/gdal/CoordinateSystems.h"

#include "io/TPrjFileTools.h"
#include "io/gdal/GdalSession.h"
#include "io/gdal/Rasters.h"

namespace tessgrid::detail {

bool ReadCoordinateSystem(const std::string& StgText, OGRSpatialReference& Crs) {
  UseGdal();
  const char* const kChrBlanks = " \t\r\n";
  const std::size_t LngFirst = StgText.find_first_not_of(kChrBlanks);
  if (LngFirst == std::string::npos) {
    return false;
  }
  const std::string StgDefinition =
      StgText.substr(LngFirst, StgText.find_last_not_of(kChrBlanks) - LngFirst + 1);
  return Crs.SetFromUserInput(StgDefinition.c_str(),
                              OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) ==
         OGRERR_NONE;
}

bool SameCoordinateSystem(const std::string& StgTextA, const std::string& StgTextB) {
  if (TPrjFileTools::SamePrjText(StgTextA, StgTextB)) {
    return true;
  }
  OGRSpatialReference CrsA;
  OGRSpatialReference CrsB;
  if (!ReadCoordinateSystem(StgTextA, CrsA) || !ReadCoordinateSystem(StgTextB, CrsB)) {
    return false;
  }
  // "EPSG:4326" orders latitude first, a .prj and a PROJ string longitude first; grid files
  // place their cells by x and y all the same, so the order does not tell systems apart.
  const char* const kPtrCriteria[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                                      "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  return CrsA.IsSame(&CrsB, kPtrCriteria) != 0;
}

std::string CoordinateSystemName(const std::string& StgText) {
  OGRSpatialReference Crs;
  if (!ReadCoordinateSystem(StgText, Crs)) {
    return std::string();
  }
  const char* const PtrName = Crs.GetName();
  return PtrName != nullptr ? PtrName : std::string();
}

}  // namespace tessgrid::detail
