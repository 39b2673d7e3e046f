// io/gdal/CoordinateSystems.h - a coordinate-system text as GDAL reads a user's definition, for the
// backend's files. io/gdal/CoordinateSystems.cpp holds it; Rasters.h has the comparison and name.
#ifndef IO_GDAL_COORDINATESYSTEMS_H
#define IO_GDAL_COORDINATESYSTEMS_H

#include <ogr_spatialref.h>

#include <string>

namespace tessgrid::detail {

/// Reads the text into the coordinate system as OGRSpatialReference::SetFromUserInput reads a
/// user's definition, white space around it dropped: WKT of any flavour (the ESRI dialect of
/// .prj files included), PROJ strings and authority codes such as "EPSG:32633", but never a
/// file or a URL it might name. Returns false when GDAL cannot read it.
bool ReadCoordinateSystem(const std::string& StgText, OGRSpatialReference& Crs);

}  // namespace tessgrid::detail

#endif  // IO_GDAL_COORDINATESYSTEMS_H
