// io/gdal/GdalSession.h - what every GDAL call of the backend needs: the drivers registered once,
// GDAL's messages kept for ours instead of printed, datasets closed by their owner.
// io/gdal/GdalSession.cpp holds it; the other io/gdal/ files use it.
#ifndef IO_GDAL_GDALSESSION_H
#define IO_GDAL_GDALSESSION_H

#include <gdal_priv.h>

#include <cpl_string.h>

#include <memory>
#include <string>
#include <vector>

namespace tessgrid::detail {

/// Registers GDAL's drivers on the first call, and makes GDAL quiet: its messages are kept for
/// GdalMessage instead of going to standard error (the tool's failure is one line). GDAL's
/// .aux.xml sidecars are read and written as GDAL users expect: a raster written goes out with
/// all its files (see TOutputSet::StageFile). GeoTIFF blocks are decoded and encoded on
/// ThreadCount() threads. Clears the last message.
void UseGdal();

/// Returns GDAL's last message, or "GDAL reported no cause" when it left none.
std::string GdalMessage();

/// Keeps the first failure GDAL reports on the calling thread while it lives, so that a write
/// fails on every failure GDAL met, not only on one that is still the last message when it is
/// asked (later calls reset it, and a failed close leaves none). Warnings do not count. Records
/// without allocating: GDAL may report a failed allocation.
class TGdalFailureTrap {
 public:
  TGdalFailureTrap();
  ~TGdalFailureTrap();
  TGdalFailureTrap(const TGdalFailureTrap&) = delete;
  TGdalFailureTrap& operator=(const TGdalFailureTrap&) = delete;

  /// Returns whether GDAL reported a failure since the trap was set.
  bool Failed() const { return MbrBlnFailed; }

  /// Returns the first failure's message, or "GDAL reported no cause".
  std::string Message() const;

 private:
  static void CPL_STDCALL Keep(CPLErr Class, CPLErrorNum LngNumber, const char* PtrMessage);

  bool MbrBlnFailed = false;  ///< a failure was reported
  char MbrChrMessage[1024];   ///< its message, cut to fit; "" until then
};

/// Returns KEY=VALUE options (creation options as the user gave them) as GDAL's list, a later
/// key replacing an earlier one; entries GDAL cannot parse as KEY=VALUE are left out (the checks
/// of a raster target refuse them before any write).
CPLStringList NameValueList(const std::vector<std::string>& VecOptions);

/// Closes a dataset; a raster being written is complete once it is closed.
struct TDatasetClose {
  void operator()(GDALDataset* PtrDataset) const { GDALClose(PtrDataset); }
};
using TDatasetPtr = std::unique_ptr<GDALDataset, TDatasetClose>;

}  // namespace tessgrid::detail

#endif  // IO_GDAL_GDALSESSION_H
