// io/TPrjFileTools.cpp - sidecar names, reading, comparing, writing and removing.
// The declarations and their contracts are in io/TPrjFileTools.h.
#include "io/TPrjFileTools.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <ostream>

#include "io/SafeReplace.h"
#include "model/Fail.h"

using tessgrid::detail::Fail;

namespace {

// The text as it compares: line ends as LF, no white space at either end.
std::string Normalised(const std::string& StgText) {
  std::string StgLines;
  StgLines.reserve(StgText.size());
  for (std::size_t LngI = 0; LngI < StgText.size(); ++LngI) {
    if (StgText[LngI] != '\r') {
      StgLines += StgText[LngI];
    } else if (LngI + 1 == StgText.size() || StgText[LngI + 1] != '\n') {
      StgLines += '\n';
    }
  }
  const char* const kChrSpace = " \t\n\v\f";
  const std::size_t LngFirst = StgLines.find_first_not_of(kChrSpace);
  if (LngFirst == std::string::npos) {
    return std::string();
  }
  return StgLines.substr(LngFirst, StgLines.find_last_not_of(kChrSpace) - LngFirst + 1);
}

}  // namespace

std::string TPrjFileTools::GetPrjFileName(std::string StgGridFileName) {
  const std::size_t LngSlash = StgGridFileName.find_last_of('/');
  const std::size_t LngStart = LngSlash == std::string::npos ? 0 : LngSlash + 1;
  const std::size_t LngDot = StgGridFileName.find_last_of('.');
  // A dot that starts the last part marks a hidden file, not an extension.
  if (LngDot != std::string::npos && LngDot > LngStart) {
    StgGridFileName.erase(LngDot);
  }
  return StgGridFileName + ".prj";
}

bool TPrjFileTools::LoadPrjFile(std::string StgGridFileName, std::string& StgText) {
  const std::string StgPrjName = GetPrjFileName(std::move(StgGridFileName));
  struct stat PrjStat {};
  if (::stat(StgPrjName.c_str(), &PrjStat) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    return false;
  }
  std::ifstream Input(StgPrjName, std::ios_base::in | std::ios_base::binary);
  if (!Input.is_open() || S_ISDIR(PrjStat.st_mode)) {
    Fail("Unable to open file " + StgPrjName);
  }
  std::string StgContent((std::istreambuf_iterator<char>(Input)), std::istreambuf_iterator<char>());
  if (Input.bad()) {
    Fail("Unable to open file " + StgPrjName);
  }
  StgText.swap(StgContent);
  return true;
}

bool TPrjFileTools::SamePrjText(std::string StgTextA, std::string StgTextB) {
  return Normalised(StgTextA) == Normalised(StgTextB);
}

void TPrjFileTools::CheckPrjFiles(std::vector<std::string> VecGridFileNames) {
  std::string StgFirstName;
  std::string StgFirstText;
  for (const std::string& StgGridFileName : VecGridFileNames) {
    std::string StgText;
    if (!LoadPrjFile(StgGridFileName, StgText)) {
      continue;
    }
    if (StgFirstName.empty()) {
      StgFirstName = GetPrjFileName(StgGridFileName);
      StgFirstText.swap(StgText);
    } else if (!SamePrjText(StgFirstText, StgText)) {
      Fail("inputs have different coordinate systems: " + StgFirstName + ", " +
           GetPrjFileName(StgGridFileName));
    }
  }
}

void TPrjFileTools::WritePrjFile(std::string StgText, std::string StgGridFileName) {
  tessgrid::detail::WriteFileSafely(GetPrjFileName(std::move(StgGridFileName)),
                                    [&StgText](std::ostream& Output) { Output << StgText; });
}

void TPrjFileTools::RemovePrjFile(std::string StgGridFileName) {
  const std::string StgPrjName = GetPrjFileName(std::move(StgGridFileName));
  // unlink, not remove: a folder of the sidecar's name is no sidecar and stays.
  if (::unlink(StgPrjName.c_str()) != 0 && errno != ENOENT) {
    Fail("Unable to remove file " + StgPrjName);
  }
}
