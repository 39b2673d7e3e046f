// io/gdal/GdalSession.cpp - GDAL's registration and its quiet error handling, once per process.
// The contracts are in io/gdal/GdalSession.h.
#include "io/gdal/GdalSession.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <cstring>
#include <mutex>
#include <string>

#include "io/Threads.h"

namespace tessgrid::detail {

void UseGdal() {
  static std::once_flag Registered;
  std::call_once(Registered, []() {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // GeoTIFF blocks are decoded and encoded on the command's threads. Under ThreadSanitizer
    // they stay on one: GDAL is not instrumented, so the sanitizer cannot see the hand-over of
    // a block from GDAL's workers to the caller and would report it as a race.
#if defined(__SANITIZE_THREAD__)
    CPLSetConfigOption("GDAL_NUM_THREADS", "1");
#else
    CPLSetConfigOption("GDAL_NUM_THREADS", std::to_string(ThreadCount()).c_str());
#endif
    // Uncompressed GeoTIFFs are read straight from the file into the caller's rows rather than
    // through GDAL's block cache, which costs ten times the reading itself on rasters in strips
    // of one row. GDAL falls back to its general reading where the layout does not allow it.
    if (CPLGetConfigOption("GTIFF_DIRECT_IO", nullptr) == nullptr) {
      CPLSetConfigOption("GTIFF_DIRECT_IO", "YES");
    }
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

TGdalFailureTrap::TGdalFailureTrap() {
  MbrChrMessage[0] = '\0';
  CPLPushErrorHandlerEx(Keep, this);
}

TGdalFailureTrap::~TGdalFailureTrap() {
  CPLPopErrorHandler();
}

std::string TGdalFailureTrap::Message() const {
  return MbrChrMessage[0] == '\0' ? std::string("GDAL reported no cause")
                                  : std::string(MbrChrMessage);
}

void CPL_STDCALL TGdalFailureTrap::Keep(CPLErr Class, CPLErrorNum, const char* PtrMessage) {
  auto* PtrTrap = static_cast<TGdalFailureTrap*>(CPLGetErrorHandlerUserData());
  if (PtrTrap == nullptr || (Class != CE_Failure && Class != CE_Fatal) || PtrTrap->MbrBlnFailed) {
    return;
  }
  PtrTrap->MbrBlnFailed = true;
  if (PtrMessage != nullptr) {
    std::strncpy(PtrTrap->MbrChrMessage, PtrMessage, sizeof PtrTrap->MbrChrMessage - 1);
    PtrTrap->MbrChrMessage[sizeof PtrTrap->MbrChrMessage - 1] = '\0';
  }
}

CPLStringList NameValueList(const std::vector<std::string>& VecOptions) {
  CPLStringList Options;
  for (const std::string& StgOption : VecOptions) {
    char* PtrKey = nullptr;
    const char* PtrValue = CPLParseNameValue(StgOption.c_str(), &PtrKey);
    if (PtrKey != nullptr && PtrValue != nullptr) {
      Options.SetNameValue(PtrKey, PtrValue);
    }
    CPLFree(PtrKey);
  }
  return Options;
}

}  // namespace tessgrid::detail
