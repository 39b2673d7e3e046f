// io/gdal/GdalSession.h - what every GDAL call of the backend needs: the drivers registered once,
// GDAL's messages kept for ours instead of printed, datasets closed by their owner.
// io/gdal/GdalSession.cpp holds it; the other io/gdal/ files use it.
#ifndef IO_GDAL_GDALSESSION_H
#define IO_GDAL_GDALSESSION_H

#include <gdal_priv.h>

#include <memory>
#include <string>

namespace tessgrid::detail {

/// Registers GDAL's drivers on the first call, and makes GDAL quiet: its messages are kept for
/// GdalMessage instead of going to standard error (the tool's failure is one line), and no
/// .aux.xml sidecars are written, which would be left beside a temporary instead of the output.
/// GeoTIFF blocks are decoded and encoded on ThreadCount() threads. Clears the last message.
void UseGdal();

/// Returns GDAL's last message, or "GDAL reported no cause" when it left none.
std::string GdalMessage();

/// Closes a dataset; a raster being written is complete once it is closed.
struct TDatasetClose {
  void operator()(GDALDataset* PtrDataset) const { GDALClose(PtrDataset); }
};
using TDatasetPtr = std::unique_ptr<GDALDataset, TDatasetClose>;

}  // namespace tessgrid::detail

#endif  // IO_GDAL_GDALSESSION_H
