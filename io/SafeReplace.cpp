// io/SafeReplace.cpp - the link chain, the temporary beside the file, the descriptor stream, the
// rename, and the signal handlers that remove an unfinished temporary. Contract in
// io/SafeReplace.h.
#include "io/SafeReplace.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <streambuf>
#include <utility>

#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

constexpr int kLngMaxLinks = 40;
constexpr std::size_t kLngNameMax = 255;
constexpr int kLngAttempts = 100;
constexpr std::size_t kLngBlockSize = std::size_t{1} << 16;
constexpr int kLngCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary the signal handler removes: one at a time, claimed by the writer that sets the
// name, published by storing its folder. Lock-free atomics are safe to read in a handler.
std::atomic<bool> BlnCleanupClaimed{false};
std::atomic<int> LngCleanupFolder{-1};
char ChrCleanupName[kLngNameMax + 1];

void RemoveTemporaryAndExit(int LngSignal) {
  const int LngFolder = LngCleanupFolder.load();
  if (LngFolder >= 0) {
    ::unlinkat(LngFolder, ChrCleanupName, 0);
  }
  ::_exit(128 + LngSignal);
}

bool RegisterForSignals(int LngFolder, const std::string& StgName) {
  if (BlnCleanupClaimed.exchange(true)) {
    return false;
  }
  std::memcpy(ChrCleanupName, StgName.c_str(), StgName.size() + 1);
  LngCleanupFolder.store(LngFolder);
  return true;
}

void UnregisterForSignals() {
  LngCleanupFolder.store(-1);
  BlnCleanupClaimed.store(false);
}

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime, so that creating or renaming the
// temporary and telling the handler about it happen as one step.
class TSignalBlock {
 public:
  TSignalBlock() {
    sigset_t Signals;
    ::sigemptyset(&Signals);
    for (const int LngSignal : kLngCleanupSignals) {
      ::sigaddset(&Signals, LngSignal);
    }
    ::pthread_sigmask(SIG_BLOCK, &Signals, &MbrOldMask);
  }
  ~TSignalBlock() { ::pthread_sigmask(SIG_SETMASK, &MbrOldMask, nullptr); }
  TSignalBlock(const TSignalBlock&) = delete;
  TSignalBlock& operator=(const TSignalBlock&) = delete;

 private:
  sigset_t MbrOldMask;  ///< the mask to restore
};

// Closes the descriptor it owns.
class TDescriptor {
 public:
  explicit TDescriptor(int LngFd) : MbrLngFd(LngFd) {}
  ~TDescriptor() {
    if (MbrLngFd >= 0) {
      ::close(MbrLngFd);
    }
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return MbrLngFd; }

 private:
  int MbrLngFd;  ///< an open descriptor, or negative
};

bool WriteAll(int LngFd, const char* PtrText, std::size_t LngCount) {
  while (LngCount > 0) {
    const ssize_t LngWritten = ::write(LngFd, PtrText, LngCount);
    if (LngWritten < 0 && errno == EINTR) {
      continue;
    }
    if (LngWritten <= 0) {
      return false;
    }
    PtrText += LngWritten;
    LngCount -= static_cast<std::size_t>(LngWritten);
  }
  return true;
}

// A stream buffer over a descriptor it does not own. Text gathers in a 64 KiB block that goes
// out in whole writes. A flush of the stream writes the block out only where someone can see
// the target; a temporary takes its text when the block is full and at the end. After a failed
// write nothing more is written, and the stream goes bad.
class TDescriptorBuffer : public std::streambuf {
 public:
  TDescriptorBuffer(int LngFd, bool BlnWriteOnFlush)
      : MbrLngFd(LngFd),
        MbrBlnWriteOnFlush(BlnWriteOnFlush),
        MbrBlnFailed(false),
        MbrPtrBlock(new char[kLngBlockSize]) {
    setp(MbrPtrBlock.get(), MbrPtrBlock.get() + kLngBlockSize);
  }

  // Writes out what the block holds; false once any write failed.
  bool Drain() {
    const std::size_t LngCount = static_cast<std::size_t>(pptr() - pbase());
    setp(MbrPtrBlock.get(), MbrPtrBlock.get() + kLngBlockSize);
    if (!MbrBlnFailed && !WriteAll(MbrLngFd, MbrPtrBlock.get(), LngCount)) {
      MbrBlnFailed = true;
    }
    return !MbrBlnFailed;
  }

 protected:
  int_type overflow(int_type LngChar) override {
    if (!Drain()) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(LngChar, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(LngChar);
      pbump(1);
    }
    return traits_type::not_eof(LngChar);
  }

  std::streamsize xsputn(const char* PtrText, std::streamsize LngCount) override {
    const std::size_t LngSize = static_cast<std::size_t>(LngCount);
    if (LngSize > static_cast<std::size_t>(epptr() - pptr())) {
      if (!Drain()) {
        return 0;
      }
      if (LngSize >= kLngBlockSize) {
        MbrBlnFailed = !WriteAll(MbrLngFd, PtrText, LngSize);
        return MbrBlnFailed ? 0 : LngCount;
      }
    }
    std::memcpy(pptr(), PtrText, LngSize);
    pbump(static_cast<int>(LngSize));
    return LngCount;
  }

  int sync() override {
    if (MbrBlnWriteOnFlush) {
      return Drain() ? 0 : -1;
    }
    return MbrBlnFailed ? -1 : 0;
  }

 private:
  int MbrLngFd;                         ///< the descriptor written to; its owner closes it
  bool MbrBlnWriteOnFlush;              ///< a flush of the stream writes the block out
  bool MbrBlnFailed;                    ///< a write failed; nothing more is written
  std::unique_ptr<char[]> MbrPtrBlock;  ///< kLngBlockSize bytes, the put area
};

[[noreturn]] void FailOpen(const std::string& StgFileName) {
  Fail("Unable to open file " + StgFileName);
}

[[noreturn]] void FailWrite(const std::string& StgFileName) {
  Fail("Unable to write file " + StgFileName);
}

// Lets Write fill a stream over the descriptor; every flush reaches the target.
void WriteThrough(int LngFd, const std::string& StgFileName,
                  const std::function<void(std::ostream&)>& Write) {
  TDescriptorBuffer Buffer(LngFd, true);
  std::ostream Output(&Buffer);
  Write(Output);
  if (!Buffer.Drain() || Output.fail()) {
    FailWrite(StgFileName);
  }
}

// The descriptor a name stands for that the process already holds, or -1.
int InheritedDescriptor(const std::string& StgPath) {
  if (StgPath == "/dev/stdout") {
    return STDOUT_FILENO;
  }
  if (StgPath == "/dev/stderr") {
    return STDERR_FILENO;
  }
  for (const char* PtrPrefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t LngPrefix = std::strlen(PtrPrefix);
    if (StgPath.size() > LngPrefix && StgPath.compare(0, LngPrefix, PtrPrefix) == 0) {
      const char* const PtrLast = StgPath.data() + StgPath.size();
      int LngFd = -1;
      const std::from_chars_result Result =
          std::from_chars(StgPath.data() + LngPrefix, PtrLast, LngFd);
      if (Result.ec == std::errc() && Result.ptr == PtrLast && LngFd >= 0) {
        return LngFd;
      }
    }
  }
  return -1;
}

void WriteInherited(int LngFd, const std::string& StgFileName,
                    const std::function<void(std::ostream&)>& Write) {
  const int LngFlags = ::fcntl(LngFd, F_GETFL);
  if (LngFlags < 0 || (LngFlags & O_ACCMODE) == O_RDONLY) {
    FailOpen(StgFileName);
  }
  // What the process's own streams still hold for the descriptor comes first.
  std::cout.flush();
  std::fflush(nullptr);
  WriteThrough(LngFd, StgFileName, Write);
}

std::string FolderOf(const std::string& StgPath) {
  const std::size_t LngSlash = StgPath.rfind('/');
  if (LngSlash == std::string::npos) {
    return ".";
  }
  return LngSlash == 0 ? std::string("/") : StgPath.substr(0, LngSlash);
}

std::string BaseOf(const std::string& StgPath) {
  const std::size_t LngSlash = StgPath.rfind('/');
  return LngSlash == std::string::npos ? StgPath : StgPath.substr(LngSlash + 1);
}

// Sets StgTarget to the path the symbolic link StgLink points to; a relative one counts from the
// link's folder. False when the link cannot be read.
bool LinkTarget(const std::string& StgLink, std::string& StgTarget) {
  std::string StgPointed(PATH_MAX, '\0');
  const ssize_t LngLength = ::readlink(StgLink.c_str(), &StgPointed[0], StgPointed.size());
  if (LngLength <= 0 || static_cast<std::size_t>(LngLength) >= StgPointed.size()) {
    return false;
  }
  StgPointed.resize(static_cast<std::size_t>(LngLength));
  if (StgPointed[0] != '/' && StgLink.find('/') != std::string::npos) {
    StgPointed = FolderOf(StgLink) + "/" + StgPointed;
  }
  StgTarget = std::move(StgPointed);
  return true;
}

// "NAME.tessgrid-PID-K.tmp", NAME cut at its end (between UTF-8 characters) to fit 255 bytes.
std::string TemporaryName(const std::string& StgBase, int LngAttempt) {
  const std::string StgSuffix =
      ".tessgrid-" + std::to_string(::getpid()) + "-" + std::to_string(LngAttempt) + ".tmp";
  std::size_t LngKeep = std::min(StgBase.size(), kLngNameMax - StgSuffix.size());
  while (LngKeep > 0 && LngKeep < StgBase.size() &&
         (static_cast<unsigned char>(StgBase[LngKeep]) & 0xc0) == 0x80) {
    --LngKeep;
  }
  return StgBase.substr(0, LngKeep) + StgSuffix;
}

// The temporary beside the target: created exclusively, known to the signal handler while it
// exists, removed unless it was renamed into place.
class TTemporary {
 public:
  explicit TTemporary(int LngFolder) : MbrLngFolder(LngFolder) {}
  ~TTemporary() {
    if (MbrLngFd >= 0) {
      ::close(MbrLngFd);
    }
    if (MbrBlnNamed) {
      ::unlinkat(MbrLngFolder, MbrStgName.c_str(), 0);
    }
    if (MbrBlnRegistered) {
      UnregisterForSignals();
    }
  }
  TTemporary(const TTemporary&) = delete;
  TTemporary& operator=(const TTemporary&) = delete;

  int Fd() const { return MbrLngFd; }

  // Creates the first free name of its shape; false when the folder takes none.
  bool Create(const std::string& StgBase, mode_t Mode) {
    for (int LngAttempt = 0; LngAttempt < kLngAttempts; ++LngAttempt) {
      std::string StgName = TemporaryName(StgBase, LngAttempt);
      const TSignalBlock Block;
      const int LngFd = ::openat(MbrLngFolder, StgName.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode);
      if (LngFd >= 0) {
        MbrLngFd = LngFd;
        MbrStgName = std::move(StgName);
        MbrBlnNamed = true;
        MbrBlnRegistered = RegisterForSignals(MbrLngFolder, MbrStgName);
        return ::fstat(MbrLngFd, &MbrIdentity) == 0;
      }
      if (errno != EEXIST) {
        return false;
      }
    }
    return false;
  }

  bool Close() {
    const int LngFd = MbrLngFd;
    MbrLngFd = -1;
    return ::close(LngFd) == 0;
  }

  // True while the name still holds the file written; a file put in its place while we wrote is
  // neither renamed over the target nor removed.
  bool StillNamed() {
    struct stat Named {};
    if (::fstatat(MbrLngFolder, MbrStgName.c_str(), &Named, AT_SYMLINK_NOFOLLOW) != 0 ||
        Named.st_dev != MbrIdentity.st_dev || Named.st_ino != MbrIdentity.st_ino) {
      MbrBlnNamed = false;
      return false;
    }
    return true;
  }

  bool RenameTo(const std::string& StgBase) {
    const TSignalBlock Block;
    if (::renameat(MbrLngFolder, MbrStgName.c_str(), MbrLngFolder, StgBase.c_str()) != 0) {
      return false;
    }
    MbrBlnNamed = false;
    if (MbrBlnRegistered) {
      UnregisterForSignals();
      MbrBlnRegistered = false;
    }
    return true;
  }

 private:
  int MbrLngFolder;               ///< the folder of target and temporary, opened as a path
  int MbrLngFd = -1;              ///< open for writing until Close
  std::string MbrStgName;         ///< the temporary's name within the folder
  bool MbrBlnNamed = false;       ///< the name is ours to remove
  bool MbrBlnRegistered = false;  ///< the signal handler knows the name
  struct stat MbrIdentity {};     ///< device and inode of the file created
};

// Writes a temporary beside the regular file at StgPath (PtrTarget its status, or null when it
// does not exist yet) and renames it over the file.
void ReplaceRegular(const std::string& StgPath, const struct stat* PtrTarget,
                    const std::string& StgFileName,
                    const std::function<void(std::ostream&)>& Write) {
  const std::string StgBase = BaseOf(StgPath);
  if (StgBase.empty()) {
    FailOpen(StgFileName);
  }
  const TDescriptor Folder(::open(FolderOf(StgPath).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (Folder.Get() < 0) {
    FailOpen(StgFileName);
  }
  // Renaming would replace a file its owner made read-only; opening it would not.
  if (PtrTarget != nullptr && ::faccessat(Folder.Get(), StgBase.c_str(), W_OK, AT_EACCESS) != 0) {
    FailOpen(StgFileName);
  }
  TTemporary Temporary(Folder.Get());
  // The mode of a replacement is set exactly below; until then only its writer may open it.
  if (!Temporary.Create(StgBase, PtrTarget != nullptr ? S_IRUSR | S_IWUSR : 0666)) {
    if (PtrTarget != nullptr) {
      FailWrite(StgFileName);
    }
    FailOpen(StgFileName);
  }
  if (PtrTarget != nullptr) {
    // Only root (or an owner changing to another of its groups) may keep the target's owners;
    // anyone else owns the replacement, as after every replace by renaming.
    if (PtrTarget->st_uid != ::geteuid() || PtrTarget->st_gid != ::getegid()) {
      [[maybe_unused]] const int LngChown =
          ::fchown(Temporary.Fd(), PtrTarget->st_uid, PtrTarget->st_gid);
    }
    if (::fchmod(Temporary.Fd(), PtrTarget->st_mode & 07777) != 0) {
      FailWrite(StgFileName);
    }
  }
  {
    TDescriptorBuffer Buffer(Temporary.Fd(), false);
    std::ostream Output(&Buffer);
    Write(Output);
    if (!Buffer.Drain() || Output.fail()) {
      FailWrite(StgFileName);
    }
  }
  // Synced before the rename, so that a crash just after it cannot leave an empty file.
  if (::fsync(Temporary.Fd()) != 0 || !Temporary.Close() || !Temporary.StillNamed() ||
      !Temporary.RenameTo(StgBase)) {
    FailWrite(StgFileName);
  }
}

// Where a name leads, as WriteFileSafely writes it.
enum class TTargetKind {
  kUnopenable,  ///< no file can be written: "Unable to open file "
  kInherited,   ///< a descriptor the process holds
  kInPlace,     ///< a device or a pipe, opened and written in place
  kReplaced,    ///< a regular file, replaced through a temporary
  kCreated,     ///< no file yet: a new one, created through a temporary
};

struct TTarget {
  TTargetKind Kind = TTargetKind::kUnopenable;
  std::string StgPath;  ///< the end of the link chain
  int LngFd = -1;       ///< the inherited descriptor
  struct stat Status {};
};

// Follows the link chain from the name to what WriteFileSafely writes.
TTarget FindTarget(const std::string& StgFileName) {
  TTarget Target;
  if (StgFileName.empty()) {
    return Target;
  }
  Target.StgPath = StgFileName;
  for (int LngLinks = 0;; ++LngLinks) {
    Target.LngFd = InheritedDescriptor(Target.StgPath);
    if (Target.LngFd >= 0) {
      Target.Kind = TTargetKind::kInherited;
      return Target;
    }
    if (::lstat(Target.StgPath.c_str(), &Target.Status) != 0) {
      Target.Kind = errno == ENOENT ? TTargetKind::kCreated : TTargetKind::kUnopenable;
      return Target;
    }
    if (!S_ISLNK(Target.Status.st_mode)) {
      break;
    }
    if (LngLinks == kLngMaxLinks || !LinkTarget(Target.StgPath, Target.StgPath)) {
      Target.Kind = TTargetKind::kUnopenable;
      return Target;
    }
  }
  Target.Kind = S_ISDIR(Target.Status.st_mode)   ? TTargetKind::kUnopenable
                : S_ISREG(Target.Status.st_mode) ? TTargetKind::kReplaced
                                                 // A device or a pipe: truncating means
                                                 // nothing to it, and renaming over it would
                                                 // replace it.
                                                 : TTargetKind::kInPlace;
  return Target;
}

}  // namespace

bool WritesThroughTemporary(const std::string& StgFileName) {
  const TTargetKind Kind = FindTarget(StgFileName).Kind;
  return Kind == TTargetKind::kReplaced || Kind == TTargetKind::kCreated;
}

void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write) {
  const TTarget Target = FindTarget(StgFileName);
  switch (Target.Kind) {
    case TTargetKind::kUnopenable:
      FailOpen(StgFileName);
    case TTargetKind::kInherited:
      WriteInherited(Target.LngFd, StgFileName, Write);
      return;
    case TTargetKind::kInPlace: {
      const TDescriptor Device(
          ::open(Target.StgPath.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
      if (Device.Get() < 0) {
        FailOpen(StgFileName);
      }
      WriteThrough(Device.Get(), StgFileName, Write);
      return;
    }
    case TTargetKind::kReplaced:
      ReplaceRegular(Target.StgPath, &Target.Status, StgFileName, Write);
      return;
    case TTargetKind::kCreated:
      break;
  }
  ReplaceRegular(Target.StgPath, nullptr, StgFileName, Write);
}

void InstallCommandSignalHandlers() {
  struct sigaction Action {};
  Action.sa_handler = RemoveTemporaryAndExit;
  ::sigemptyset(&Action.sa_mask);
  for (const int LngSignal : kLngCleanupSignals) {
    ::sigaddset(&Action.sa_mask, LngSignal);
  }
  for (const int LngSignal : kLngCleanupSignals) {
    struct sigaction Inherited {};
    if (::sigaction(LngSignal, nullptr, &Inherited) == 0 && Inherited.sa_handler != SIG_IGN) {
      ::sigaction(LngSignal, &Action, nullptr);
    }
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace tessgrid::detail
