// io/SafeReplace.cpp - temporary file beside the target, rename into place, in-place fallback.
// The declaration and its contract are in io/SafeReplace.h.
#include "io/SafeReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// Creates an empty file beside the target under a name nobody else uses; returns its name, or
// an empty string when the folder takes no new file.
std::string CreateTemporary(const std::string& StgFileName, const struct stat* PtrTargetStat) {
  for (int LngAttempt = 0; LngAttempt < 100; ++LngAttempt) {
    const std::string StgTemporary =
        StgFileName + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(LngAttempt);
    const int LngFd = ::open(StgTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (LngFd >= 0) {
      if (PtrTargetStat != nullptr) {
        // The replacement keeps the permissions of the file it replaces.
        ::fchmod(LngFd, PtrTargetStat->st_mode & 07777);
      }
      ::close(LngFd);
      return StgTemporary;
    }
    if (errno != EEXIST) {
      return std::string();
    }
  }
  return std::string();
}

// Removes the temporary unless it was renamed into place.
class TTemporaryGuard {
 public:
  explicit TTemporaryGuard(std::string StgName) : MbrStgName(std::move(StgName)) {}
  ~TTemporaryGuard() {
    if (!MbrStgName.empty()) {
      std::remove(MbrStgName.c_str());
    }
  }
  TTemporaryGuard(const TTemporaryGuard&) = delete;
  TTemporaryGuard& operator=(const TTemporaryGuard&) = delete;
  void Release() { MbrStgName.clear(); }

 private:
  std::string MbrStgName;
};

// Writes the text into the file at StgPath; failures name the user's file, StgFileName.
void WriteTo(const std::string& StgPath, const std::string& StgFileName,
             const std::function<void(std::ostream&)>& Write) {
  std::ofstream Output(StgPath, std::ios_base::out | std::ios_base::trunc);
  if (!Output.is_open()) {
    Fail("Unable to open file " + StgFileName);
  }
  Write(Output);
  Output.close();
  if (Output.fail()) {
    Fail("Unable to write file " + StgFileName);
  }
}

}  // namespace

void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write) {
  struct stat TargetStat {};
  const bool BlnExists = ::lstat(StgFileName.c_str(), &TargetStat) == 0;
  if (BlnExists && S_ISDIR(TargetStat.st_mode)) {
    Fail("Unable to open file " + StgFileName);
  }
  if (BlnExists && !S_ISREG(TargetStat.st_mode)) {
    WriteTo(StgFileName, StgFileName, Write);
    return;
  }
  // Renaming would replace a file its owner made read-only; opening it would not.
  if (BlnExists && ::access(StgFileName.c_str(), W_OK) != 0) {
    Fail("Unable to open file " + StgFileName);
  }
  const std::string StgTemporary = CreateTemporary(StgFileName, BlnExists ? &TargetStat : nullptr);
  if (StgTemporary.empty()) {
    WriteTo(StgFileName, StgFileName, Write);
    return;
  }
  TTemporaryGuard Guard(StgTemporary);
  WriteTo(StgTemporary, StgFileName, Write);
  if (std::rename(StgTemporary.c_str(), StgFileName.c_str()) != 0) {
    Fail("Unable to write file " + StgFileName);
  }
  Guard.Release();
}

}  // namespace tessgrid::detail
