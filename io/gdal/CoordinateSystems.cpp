// io/gdal/CoordinateSystems.cpp - two coordinate-system texts compared by what they mean, so
// that the WKT of one program and the .prj of another for the same system agree.
// The contract is in io/gdal/Rasters.h.
#include <ogr_spatialref.h>

#include "io/TPrjFileTools.h"
#include "io/gdal/GdalSession.h"
#include "io/gdal/Rasters.h"

namespace tessgrid::detail {

namespace {

// The text from its first word on: a sidecar may begin with a blank line.
const char* WktStart(const std::string& StgText) {
  const std::size_t LngFirst = StgText.find_first_not_of(" \t\r\n");
  return StgText.c_str() + (LngFirst == std::string::npos ? StgText.size() : LngFirst);
}

}  // namespace

bool SameCoordinateSystem(const std::string& StgTextA, const std::string& StgTextB) {
  if (TPrjFileTools::SamePrjText(StgTextA, StgTextB)) {
    return true;
  }
  UseGdal();
  // importFromWkt reads GDAL's WKT and the ESRI dialect of .prj files alike; unlike
  // SetFromUserInput it never takes the text for a file name or a URL.
  OGRSpatialReference CrsA;
  OGRSpatialReference CrsB;
  if (CrsA.importFromWkt(WktStart(StgTextA)) != OGRERR_NONE ||
      CrsB.importFromWkt(WktStart(StgTextB)) != OGRERR_NONE) {
    return false;
  }
  return CrsA.IsSame(&CrsB) != 0;
}

}  // namespace tessgrid::detail
