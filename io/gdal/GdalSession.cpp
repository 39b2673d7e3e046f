// io/gdal/GdalSession.cpp - GDAL's registration and its quiet error handling, once per process.
// The contracts are in io/gdal/GdalSession.h.
#include "io/gdal/GdalSession.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <mutex>

namespace tessgrid::detail {

void UseGdal() {
  static std::once_flag Registered;
  std::call_once(Registered, []() {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
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
