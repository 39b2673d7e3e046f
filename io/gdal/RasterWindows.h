// io/gdal/RasterWindows.h - a raster made first and filled window by window afterwards, by any
// number of writers one at a time (the chunks of a Dask array). io/gdal/RasterWindows.cpp.
#ifndef IO_GDAL_RASTERWINDOWS_H
#define IO_GDAL_RASTERWINDOWS_H

#include <string>

#include "io/GridWriter.h"
#include "io/gdal/Rasters.h"

namespace tessgrid::detail {

/// Creates the raster of the layout (size, corner, cell size, no-data value) and the target
/// (a format GDAL creates in place, such as GTiff; type, creation options, coordinate system) at
/// the path, with no cell written: every block stays empty until WriteRasterWindow writes it,
/// so that a window that covers whole blocks writes each of them once.
/// Throws, as std::string with the output's name O: the failures of CheckRasterTarget; "O: GDAL
/// writes F rasters in one pass only, not window by window" for a format without in-place
/// creation; "O: GDAL does not understand the coordinate system of S" (S the target's
/// StgCrsOrigin); "Unable to write file O: " and GDAL's message when GDAL fails.
void CreateRasterForWindows(const TGridLayout& Layout, const TRasterTarget& Target,
                            const std::string& StgPath, const std::string& StgOutput);

/// Writes LngRows rows of LngColumns cells, row by row from PtrCells, into the raster at the
/// path, its top-left cell at (LngRow, LngColumn); the raster is opened for it and closed
/// again, so that the next writer finds every block written, and the window is read back. Only
/// one writer at a time may write a raster: the caller holds the lock. Check the cells against
/// the raster's type first: GDAL would clip and round what does not fit.
/// Throws, as std::string with the output's name O: "Unable to write file O: " and GDAL's
/// message when the raster does not open for update, the window does not lie inside it, or
/// writing, closing or reading back fails; "Unable to write file O: GDAL reads back other cells
/// than were written, in row R" when the window does not read back as its cells, each as the
/// raster's type holds it.
void WriteRasterWindow(const std::string& StgPath, const std::string& StgOutput, long LngRow,
                       long LngColumn, long LngRows, long LngColumns, const double* PtrCells);

/// WriteRasterWindow for float cells: a Float32 raster takes them without a wider copy.
void WriteRasterWindow(const std::string& StgPath, const std::string& StgOutput, long LngRow,
                       long LngColumn, long LngRows, long LngColumns, const float* PtrCells);

/// WriteRasterWindow of the whole raster from its top-left cell, not read back: for a file whose
/// tiles the caller checks its own way (io/gdal/RasterChunks.h), GDAL's own failures still
/// failing it.
void WriteRasterWindowUnread(const std::string& StgPath, const std::string& StgOutput, long LngRows,
                             long LngColumns, const double* PtrCells);
void WriteRasterWindowUnread(const std::string& StgPath, const std::string& StgOutput, long LngRows,
                             long LngColumns, const float* PtrCells);

}  // namespace tessgrid::detail

#endif  // IO_GDAL_RASTERWINDOWS_H
