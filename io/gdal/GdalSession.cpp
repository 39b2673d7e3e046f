// io/gdal/GdalSession.cpp - GDAL's registration and its quiet error handling, once per process.
// The contracts are in io/gdal/GdalSession.h.
#include "io/gdal/GdalSession.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <mutex>
#include <string>

#include "io/Threads.h"

namespace tessgrid::detail {

void UseGdal() {
  static std::once_flag Registered;
  std::call_once(Registered, []() {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    // GeoTIFF blocks are decoded and encoded on the command's threads. Under ThreadSanitizer
    // they stay on one: GDAL is not instrumented, so the sanitizer cannot see the hand-over of
    // a block from GDAL's workers to the caller and would report it as a race.
#if defined(__SANITIZE_THREAD__)
    CPLSetConfigOption("GDAL_NUM_THREADS", "1");
#else
    CPLSetConfigOption("GDAL_NUM_THREADS", std::to_string(ThreadCount()).c_str());
#endif
    GDALAllRegister();
  });
  CPLErrorReset();
}

std::string GdalMessage() {
  const char* PtrMessage = CPLGetLastErrorMsg();
  if (PtrMessage == nullptr || *PtrMessage == '\0') {
    return "GDAL reported no cause";
  }
  return PtrMessage;
}

}  // namespace tessgrid::detail
