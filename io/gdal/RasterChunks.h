// io/gdal/RasterChunks.h - a tiled GeoTIFF filled by many processes at once: each compresses its
// chunk into a GeoTIFF of its own, and its tiles are then moved into the raster byte for byte.
// io/gdal/RasterChunks.cpp holds it; tessgrid.dask.to_raster writes through it.
#ifndef IO_GDAL_RASTERCHUNKS_H
#define IO_GDAL_RASTERCHUNKS_H

#include <string>

#include "io/gdal/Rasters.h"

namespace tessgrid::detail {

/// Writes LngRows rows of LngColumns cells, row by row from PtrCells, as a GeoTIFF of the
/// target's type and creation options (so tiled and compressed as the raster it is meant for) at
/// StgChunkPath, no-data value DblNoData. Any number of processes may write chunks at once:
/// compressing, the costly part of writing, happens here. The chunk is not decoded again: each
/// tile that holds a data cell must be in the file whole (GDAL leaves out tiles of no-data
/// only), and PlaceRasterChunk reads the bytes back where it places them.
/// Check the cells against the type first: GDAL would clip and round what does not fit.
/// Throws the failures of CreateRasterForWindows and WriteRasterWindow, with the output's name
/// O, and "Unable to write file O: K lacks the tile at row R, column C after GDAL wrote it" (K
/// the chunk's path, R and C the tile's first cell in the chunk).
void WriteRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput,
                      const TRasterTarget& Target, long LngRows, long LngColumns, double DblNoData,
                      const double* PtrCells);

/// WriteRasterChunk for float cells: a Float32 raster takes them without a wider copy.
void WriteRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput,
                      const TRasterTarget& Target, long LngRows, long LngColumns, double DblNoData,
                      const float* PtrCells);

/// The check WriteRasterChunk makes of the chunk it wrote at StgChunkPath from the cells, with its
/// failures.
void CheckRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput, long LngRows,
                      long LngColumns, double DblNoData, const double* PtrCells);

/// Moves the tiles of the chunk WriteRasterChunk wrote into the raster CreateRasterForWindows
/// made at StgPath, the chunk's top-left cell at (LngRow, LngColumn), a corner of a tile of the
/// raster: the compressed bytes are copied as they are, read back and compared, and the chunk's
/// file is removed. Only one process at a time may place chunks in a raster: the caller holds the
/// lock. A tile the chunk left out (GDAL leaves out tiles of no-data only) stays out.
/// Throws, as std::string with the output's name O: "Unable to write file O: " and libtiff's
/// message when a file does not open or a tile does not read or write; "Unable to write file O:
/// the chunk at row R, column C is not laid out in tiles as the raster is" when the two differ
/// in tile size, compression, predictor or cell type; "Unable to write file O: the chunk at row
/// R, column C does not cover whole tiles of the raster" when it does not start at a tile's
/// corner, or ends inside a tile short of the raster's edge, or reaches past it; "Unable to write
/// file O: the tiles of the chunk at row R, column C read back otherwise than they were copied".
void PlaceRasterChunk(const std::string& StgChunkPath, const std::string& StgPath,
                      const std::string& StgOutput, long LngRow, long LngColumn);

}  // namespace tessgrid::detail

#endif  // IO_GDAL_RASTERCHUNKS_H
