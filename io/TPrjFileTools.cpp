// io/TPrjFileTools.cpp - sidecar names, reading, comparing, writing and removing.
// The declarations and their contracts are in io/TPrjFileTools.h.
#include "io/TPrjFileTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>

#include "io/FileDescriptor.h"
#include "io/SafeReplace.h"
#include "model/Fail.h"

using tessgrid::detail::Fail;
using tessgrid::detail::TFileDescriptor;

namespace {

// A coordinate system fits easily; a bigger file is no sidecar.
constexpr off_t kLngMaxPrjSize = 64 * 1024;

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
  if (::stat(StgPrjName.c_str(), &PrjStat) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return false;
    }
    Fail("Unable to open file " + StgPrjName);
  }
  // Refused before it is opened: a device or a pipe could hand out text without end, or none.
  if (S_ISDIR(PrjStat.st_mode)) {
    Fail("Unable to open file " + StgPrjName);
  }
  if (!S_ISREG(PrjStat.st_mode)) {
    Fail("Unable to read file " + StgPrjName + ": not a regular file");
  }
  // Non-blocking, should a pipe have taken the name since.
  const TFileDescriptor File(
      ::open(StgPrjName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (File.Get() < 0 || ::fstat(File.Get(), &PrjStat) != 0) {
    Fail("Unable to open file " + StgPrjName);
  }
  if (!S_ISREG(PrjStat.st_mode)) {
    Fail("Unable to read file " + StgPrjName + ": not a regular file");
  }
  if (PrjStat.st_size > kLngMaxPrjSize) {
    Fail("Unable to read file " + StgPrjName + ": larger than 64 KiB");
  }
  // One byte over the limit tells a file that grew since fstat.
  std::string StgContent(static_cast<std::size_t>(kLngMaxPrjSize) + 1, '\0');
  std::size_t LngRead = 0;
  while (LngRead < StgContent.size()) {
    const ssize_t LngCount = ::read(File.Get(), &StgContent[LngRead], StgContent.size() - LngRead);
    if (LngCount < 0 && errno == EINTR) {
      continue;
    }
    if (LngCount < 0) {
      Fail("Unable to read file " + StgPrjName);
    }
    if (LngCount == 0) {
      break;
    }
    LngRead += static_cast<std::size_t>(LngCount);
  }
  if (LngRead > static_cast<std::size_t>(kLngMaxPrjSize)) {
    Fail("Unable to read file " + StgPrjName + ": larger than 64 KiB");
  }
  StgContent.resize(LngRead);
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
