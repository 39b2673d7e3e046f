// io/SafeReplace.cpp - the link chain, the temporaries beside the files, the descriptor stream,
// the renames, and the signal handlers that remove unfinished temporaries. Contracts in
// io/SafeReplace.h.
#include "io/SafeReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <streambuf>
#include <utility>
#include <vector>

#include "io/FileDescriptor.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

constexpr int kLngMaxLinks = 40;
constexpr std::size_t kLngNameMax = 255;
constexpr int kLngAttempts = 100;
constexpr std::size_t kLngBlockSize = std::size_t{1} << 16;
constexpr std::size_t kLngSlotsPerBlock = 64;
constexpr int kLngCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// One temporary the signal handler removes: claimed by its writer, published by storing its
// folder after the name. Lock-free atomics are safe to read in a handler, on any thread.
struct TCleanupSlot {
  std::atomic<bool> BlnClaimed{false};  ///< a writer owns the slot
  std::atomic<int> LngFolder{-1};       ///< the temporary's folder while it exists, else -1
  std::atomic<int> LngTree{-1};         ///< a private folder's own descriptor: what it holds
                                        ///< goes before it
  char ChrName[kLngNameMax + 1];        ///< the temporary's name within the folder
};

// Slots come in blocks that are never freed, so that a handler walking them on another thread
// never meets released memory; a run holds as many temporaries as it has outputs.
struct TCleanupBlock {
  TCleanupSlot Slots[kLngSlotsPerBlock];
  TCleanupBlock* PtrNext = nullptr;  ///< set before the block is published, never changed
};

std::atomic<TCleanupBlock*> PtrCleanupBlocks{nullptr};

// Set once the last commit has put every output of its set in place, cleared when another set
// begins: a signal then finds the run's result complete, and ending it as a failure would
// tell a script to distrust files that are whole.
std::atomic<bool> BlnOutputsInPlace{false};

// A private folder holds what a writer made in it, and nothing of anyone else: removing it
// whole needs no more than a few levels. Only calls a signal handler may make.
constexpr int kLngTreeDepth = 4;

bool IsDotEntry(const char* PtrName) {
  return PtrName[0] == '.' && (PtrName[1] == '\0' || (PtrName[1] == '.' && PtrName[2] == '\0'));
}

// Removes everything in the folder open at LngFd, as far as it can.
void RemoveContents(int LngFd, int LngDepth) {
  // Entries removed while a folder is read may hide others from the same pass: passes go on
  // until one finds nothing left to remove.
  for (int LngPass = 0; LngPass < 64; ++LngPass) {
    bool BlnRemoved = false;
    ::lseek(LngFd, 0, SEEK_SET);
    alignas(8) char ChrEntries[4096];
    ssize_t LngRead = 0;
    while ((LngRead = ::getdents64(LngFd, ChrEntries, sizeof ChrEntries)) > 0) {
      for (ssize_t LngAt = 0; LngAt < LngRead;) {
        const auto* PtrEntry = reinterpret_cast<const struct dirent64*>(ChrEntries + LngAt);
        LngAt += PtrEntry->d_reclen;
        if (IsDotEntry(PtrEntry->d_name)) {
          continue;
        }
        if (::unlinkat(LngFd, PtrEntry->d_name, 0) == 0) {
          BlnRemoved = true;
          continue;
        }
        const int LngInner =
            LngDepth > 0
                ? ::openat(LngFd, PtrEntry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                : -1;
        if (LngInner >= 0) {
          RemoveContents(LngInner, LngDepth - 1);
          ::close(LngInner);
          BlnRemoved = ::unlinkat(LngFd, PtrEntry->d_name, AT_REMOVEDIR) == 0 || BlnRemoved;
        }
      }
    }
    if (!BlnRemoved) {
      return;
    }
  }
}

// Removes every temporary and private folder the handler knows; only calls a signal handler
// may make.
void RemoveTemporaries() {
  for (TCleanupBlock* PtrBlock = PtrCleanupBlocks.load(); PtrBlock != nullptr;
       PtrBlock = PtrBlock->PtrNext) {
    for (TCleanupSlot& Slot : PtrBlock->Slots) {
      const int LngFolder = Slot.LngFolder.load();
      const int LngTree = Slot.LngTree.load();
      if (LngFolder >= 0 && LngTree >= 0) {
        RemoveContents(LngTree, kLngTreeDepth);
        ::unlinkat(LngFolder, Slot.ChrName, AT_REMOVEDIR);
      } else if (LngFolder >= 0) {
        ::unlinkat(LngFolder, Slot.ChrName, 0);
      }
    }
  }
}

void RemoveTemporariesAndExit(int LngSignal) {
  RemoveTemporaries();
  ::_exit(BlnOutputsInPlace.load() ? 0 : 128 + LngSignal);
}

constexpr int kLngCrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL};

// What each crash signal did before, to do it once the temporaries are gone: a sanitizer's
// report, or the default end.
struct sigaction CrashActions[sizeof kLngCrashSignals / sizeof kLngCrashSignals[0]];

void RemoveTemporariesAndCrash(int LngSignal) {
  RemoveTemporaries();
  for (std::size_t LngI = 0; LngI < sizeof kLngCrashSignals / sizeof kLngCrashSignals[0]; ++LngI) {
    if (kLngCrashSignals[LngI] == LngSignal) {
      ::sigaction(LngSignal, &CrashActions[LngI], nullptr);
    }
  }
  // A fault comes again when the handler returns; a signal that was sent is sent again, and
  // taken once the handler returns.
  ::raise(LngSignal);
}

TCleanupSlot& ClaimCleanupSlot() {
  for (TCleanupBlock* PtrBlock = PtrCleanupBlocks.load(); PtrBlock != nullptr;
       PtrBlock = PtrBlock->PtrNext) {
    for (TCleanupSlot& Slot : PtrBlock->Slots) {
      if (!Slot.BlnClaimed.exchange(true)) {
        return Slot;
      }
    }
  }
  TCleanupBlock* const PtrBlock = new TCleanupBlock;
  PtrBlock->Slots[0].BlnClaimed.store(true);
  TCleanupBlock* PtrFirst = PtrCleanupBlocks.load();
  do {
    PtrBlock->PtrNext = PtrFirst;
  } while (!PtrCleanupBlocks.compare_exchange_weak(PtrFirst, PtrBlock));
  return PtrBlock->Slots[0];
}

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime, so that creating or renaming a
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

// While temporaries wait for their renames, a reader that closed its pipe must not end the
// process with them on disk: held back, SIGPIPE becomes a failed write (EPIPE), and the signal
// it left pending is taken before the mask returns.
class TBrokenPipeHold {
 public:
  explicit TBrokenPipeHold(bool BlnHold) : MbrBlnHeld(BlnHold) {
    if (MbrBlnHeld) {
      sigset_t Signals;
      ::sigemptyset(&Signals);
      ::sigaddset(&Signals, SIGPIPE);
      ::pthread_sigmask(SIG_BLOCK, &Signals, &MbrOldMask);
    }
  }
  ~TBrokenPipeHold() {
    if (!MbrBlnHeld) {
      return;
    }
    sigset_t Pending;
    sigset_t Signals;
    ::sigemptyset(&Signals);
    ::sigaddset(&Signals, SIGPIPE);
    if (::sigismember(&MbrOldMask, SIGPIPE) == 0 && ::sigpending(&Pending) == 0 &&
        ::sigismember(&Pending, SIGPIPE) == 1) {
      const struct timespec Now {};
      ::sigtimedwait(&Signals, nullptr, &Now);
    }
    ::pthread_sigmask(SIG_SETMASK, &MbrOldMask, nullptr);
  }
  TBrokenPipeHold(const TBrokenPipeHold&) = delete;
  TBrokenPipeHold& operator=(const TBrokenPipeHold&) = delete;

 private:
  bool MbrBlnHeld;      ///< SIGPIPE is held back
  sigset_t MbrOldMask;  ///< the mask to restore
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

// A stream buffer that gathers the text in memory, for a target that takes it only at commit.
// A text that finds no memory ends the write as std::bad_alloc, once Write returns.
class TTextBuffer : public std::streambuf {
 public:
  explicit TTextBuffer(std::string& StgText) : MbrStgText(StgText) {}
  bool OutOfMemory() const { return MbrBlnOutOfMemory; }

 protected:
  int_type overflow(int_type LngChar) override {
    if (traits_type::eq_int_type(LngChar, traits_type::eof())) {
      return traits_type::not_eof(LngChar);
    }
    const char ChrChar = traits_type::to_char_type(LngChar);
    return xsputn(&ChrChar, 1) == 1 ? LngChar : traits_type::eof();
  }

  std::streamsize xsputn(const char* PtrText, std::streamsize LngCount) override {
    // A stream would take the exception for a bad stream, and the writers stop at one quietly.
    try {
      MbrStgText.append(PtrText, static_cast<std::size_t>(LngCount));
      return LngCount;
    } catch (const std::bad_alloc&) {
      MbrBlnOutOfMemory = true;
      return 0;
    }
  }

 private:
  std::string& MbrStgText;         ///< the text so far; its owner keeps it
  bool MbrBlnOutOfMemory = false;  ///< an append found no memory
};

void FillText(const std::function<void(std::ostream&)>& Write, std::string& StgText) {
  TTextBuffer Buffer(StgText);
  std::ostream Output(&Buffer);
  Write(Output);
  if (Buffer.OutOfMemory()) {
    throw std::bad_alloc();
  }
}

[[noreturn]] void FailOpen(const std::string& StgFileName) {
  Fail("Unable to open file " + StgFileName);
}

[[noreturn]] void FailWrite(const std::string& StgFileName) {
  Fail("Unable to write file " + StgFileName);
}

[[noreturn]] void FailRemove(const std::string& StgFileName) {
  Fail("Unable to remove file " + StgFileName);
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

// The name of the file called StgBase in the folder of the named file, as the name gives it.
std::string SiblingName(const std::string& StgFileName, const std::string& StgBase) {
  const std::size_t LngSlash = StgFileName.rfind('/');
  return LngSlash == std::string::npos ? StgBase : StgFileName.substr(0, LngSlash + 1) + StgBase;
}

// Copies what the file open at LngFrom holds, from its start, to LngTo; false on any failure.
bool CopyFile(int LngFrom, int LngTo) {
  if (LngFrom < 0 || ::lseek(LngFrom, 0, SEEK_SET) != 0) {
    return false;
  }
  const std::unique_ptr<char[]> PtrBlock(new char[kLngBlockSize]);
  for (;;) {
    const ssize_t LngRead = ::read(LngFrom, PtrBlock.get(), kLngBlockSize);
    if (LngRead < 0 && errno == EINTR) {
      continue;
    }
    if (LngRead <= 0) {
      return LngRead == 0;
    }
    if (!WriteAll(LngTo, PtrBlock.get(), static_cast<std::size_t>(LngRead))) {
      return false;
    }
  }
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

// A temporary beside its target: created exclusively, known to the signal handler while it
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
    Unregister();
  }
  TTemporary(const TTemporary&) = delete;
  TTemporary& operator=(const TTemporary&) = delete;

  int Fd() const { return MbrLngFd; }

  // Creates the first free name of its shape; false when the folder takes none.
  bool Create(const std::string& StgBase, mode_t Mode) {
    MbrPtrSlot = &ClaimCleanupSlot();
    for (int LngAttempt = 0; LngAttempt < kLngAttempts; ++LngAttempt) {
      std::string StgName = TemporaryName(StgBase, LngAttempt);
      const TSignalBlock Block;
      const int LngFd = ::openat(MbrLngFolder, StgName.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode);
      if (LngFd >= 0) {
        MbrLngFd = LngFd;
        MbrStgName = std::move(StgName);
        MbrBlnNamed = true;
        std::memcpy(MbrPtrSlot->ChrName, MbrStgName.c_str(), MbrStgName.size() + 1);
        MbrPtrSlot->LngFolder.store(MbrLngFolder);
        return ::fstat(MbrLngFd, &MbrIdentity) == 0;
      }
      if (errno != EEXIST) {
        return false;
      }
    }
    return false;
  }

  // Takes over the regular file of the name that a writer made in the folder; false for
  // anything else.
  bool Adopt(const std::string& StgName) {
    const int LngFd = ::openat(MbrLngFolder, StgName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (LngFd < 0) {
      return false;
    }
    MbrLngFd = LngFd;
    MbrStgName = StgName;
    MbrBlnNamed = true;
    return ::fstat(MbrLngFd, &MbrIdentity) == 0 && S_ISREG(MbrIdentity.st_mode);
  }

  bool Close() {
    const int LngFd = MbrLngFd;
    MbrLngFd = -1;
    return ::close(LngFd) == 0;
  }

  // True while the name still holds the file written; a file put in its place meanwhile is
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

  // Renames the file to the name in the folder LngToFolder, on the file system of its own.
  bool RenameTo(int LngToFolder, const std::string& StgBase) {
    const TSignalBlock Block;
    if (::renameat(MbrLngFolder, MbrStgName.c_str(), LngToFolder, StgBase.c_str()) != 0) {
      return false;
    }
    MbrBlnNamed = false;
    Unregister();
    return true;
  }

 private:
  void Unregister() {
    if (MbrPtrSlot != nullptr) {
      MbrPtrSlot->LngFolder.store(-1);
      MbrPtrSlot->BlnClaimed.store(false);
      MbrPtrSlot = nullptr;
    }
  }

  int MbrLngFolder;                    ///< the folder of the temporary, opened as a path
  int MbrLngFd = -1;                   ///< open for writing (reading, adopted) until Close
  std::string MbrStgName;              ///< the temporary's name within the folder
  bool MbrBlnNamed = false;            ///< the name is ours to remove
  TCleanupSlot* MbrPtrSlot = nullptr;  ///< where the signal handler finds the name, once claimed;
                                       ///< an adopted file goes with its private folder
  struct stat MbrIdentity {};          ///< device and inode of the file created
};

// A folder of its own beside a target, for a writer that makes files by name: made exclusively
// and readable by its owner only, known to the signal handler with everything in it while it
// exists, and removed with everything in it when it goes.
class TPrivateFolder {
 public:
  explicit TPrivateFolder(int LngParent) : MbrLngParent(LngParent) {}
  ~TPrivateFolder() { Remove(); }
  TPrivateFolder(const TPrivateFolder&) = delete;
  TPrivateFolder& operator=(const TPrivateFolder&) = delete;

  // The folder, open for reading its entries.
  int Fd() const { return MbrLngFd; }
  const std::string& Name() const { return MbrStgName; }

  // Makes the first free name of the temporaries' shape; false when the folder takes none.
  bool Create(const std::string& StgBase) {
    MbrPtrSlot = &ClaimCleanupSlot();
    for (int LngAttempt = 0; LngAttempt < kLngAttempts; ++LngAttempt) {
      std::string StgName = TemporaryName(StgBase, LngAttempt);
      const TSignalBlock Block;
      if (::mkdirat(MbrLngParent, StgName.c_str(), S_IRWXU) == 0) {
        MbrStgName = std::move(StgName);
        MbrLngFd = ::openat(MbrLngParent, MbrStgName.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (MbrLngFd < 0) {
          ::unlinkat(MbrLngParent, MbrStgName.c_str(), AT_REMOVEDIR);
          MbrStgName.clear();
          return false;
        }
        std::memcpy(MbrPtrSlot->ChrName, MbrStgName.c_str(), MbrStgName.size() + 1);
        MbrPtrSlot->LngTree.store(MbrLngFd);
        MbrPtrSlot->LngFolder.store(MbrLngParent);
        return true;
      }
      if (errno != EEXIST) {
        return false;
      }
    }
    return false;
  }

  // Returns the names of the entries, sorted; false when the folder cannot be read.
  bool Entries(std::vector<std::string>& VecNames) const {
    DIR* PtrFolder = ::fdopendir(::dup(MbrLngFd));
    if (PtrFolder == nullptr) {
      return false;
    }
    ::rewinddir(PtrFolder);
    while (const struct dirent* PtrEntry = ::readdir(PtrFolder)) {
      if (!IsDotEntry(PtrEntry->d_name)) {
        VecNames.emplace_back(PtrEntry->d_name);
      }
    }
    ::closedir(PtrFolder);
    std::sort(VecNames.begin(), VecNames.end());
    return true;
  }

  // Removes the folder with what is left in it; once its files are renamed away, it is empty.
  void Remove() {
    if (MbrLngFd < 0) {
      if (MbrPtrSlot != nullptr) {
        MbrPtrSlot->BlnClaimed.store(false);
        MbrPtrSlot = nullptr;
      }
      return;
    }
    {
      const TSignalBlock Block;
      RemoveContents(MbrLngFd, kLngTreeDepth);
      ::unlinkat(MbrLngParent, MbrStgName.c_str(), AT_REMOVEDIR);
      MbrPtrSlot->LngFolder.store(-1);
      MbrPtrSlot->LngTree.store(-1);
      MbrPtrSlot->BlnClaimed.store(false);
      MbrPtrSlot = nullptr;
    }
    ::close(MbrLngFd);
    MbrLngFd = -1;
  }

 private:
  int MbrLngParent;                    ///< the folder it lies in, opened as a path
  int MbrLngFd = -1;                   ///< the folder itself, open for reading, until removed
  std::string MbrStgName;              ///< its name within the parent
  TCleanupSlot* MbrPtrSlot = nullptr;  ///< where the signal handler finds it, once claimed
};

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

bool TakesTemporary(TTargetKind Kind) {
  return Kind == TTargetKind::kReplaced || Kind == TTargetKind::kCreated;
}

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

std::string IdentityKey(const struct stat& Status) {
  return std::to_string(Status.st_dev) + ":" + std::to_string(Status.st_ino);
}

// Renaming over or removing a file in a sticky folder takes owning the file or the folder.
bool StickyFolderAllows(const struct stat& Folder, const struct stat& File) {
  const uid_t LngUser = ::geteuid();
  return (Folder.st_mode & S_ISVTX) == 0 || LngUser == 0 || LngUser == File.st_uid ||
         LngUser == Folder.st_uid;
}

// The failures a write of the target meets before its first byte, found without writing and
// without opening a device or a pipe: the one place that says what a temporary needs.
void CheckTarget(const TTarget& Target, const std::string& StgFileName) {
  switch (Target.Kind) {
    case TTargetKind::kUnopenable:
      FailOpen(StgFileName);
    case TTargetKind::kInherited: {
      const int LngFlags = ::fcntl(Target.LngFd, F_GETFL);
      if (LngFlags < 0 || (LngFlags & O_ACCMODE) == O_RDONLY) {
        FailOpen(StgFileName);
      }
      return;
    }
    case TTargetKind::kInPlace:
      if (::faccessat(AT_FDCWD, Target.StgPath.c_str(), W_OK, AT_EACCESS) != 0) {
        FailOpen(StgFileName);
      }
      return;
    case TTargetKind::kReplaced:
    case TTargetKind::kCreated:
      break;
  }
  const std::string StgFolder = FolderOf(Target.StgPath);
  struct stat Folder {};
  if (BaseOf(Target.StgPath).empty() || ::stat(StgFolder.c_str(), &Folder) != 0 ||
      !S_ISDIR(Folder.st_mode)) {
    FailOpen(StgFileName);
  }
  const bool BlnFolderTakesFiles =
      ::faccessat(AT_FDCWD, StgFolder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  if (Target.Kind == TTargetKind::kCreated) {
    if (!BlnFolderTakesFiles) {
      FailOpen(StgFileName);
    }
    return;
  }
  // Renaming would replace a file its owner made read-only; opening it would not.
  if (::faccessat(AT_FDCWD, Target.StgPath.c_str(), W_OK, AT_EACCESS) != 0) {
    FailOpen(StgFileName);
  }
  if (!BlnFolderTakesFiles || !StickyFolderAllows(Folder, Target.Status)) {
    FailWrite(StgFileName);
  }
}

// Lets Write fill a target that takes no temporary, now.
void WriteUnstaged(const TTarget& Target, const std::string& StgFileName,
                   const std::function<void(std::ostream&)>& Write) {
  if (Target.Kind == TTargetKind::kInherited) {
    WriteInherited(Target.LngFd, StgFileName, Write);
    return;
  }
  const TFileDescriptor Device(
      ::open(Target.StgPath.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
  if (Device.Get() < 0) {
    FailOpen(StgFileName);
  }
  WriteThrough(Device.Get(), StgFileName, Write);
}

// A folder opened as a path, with the key that names it.
struct TFolder {
  std::shared_ptr<const TFileDescriptor> PtrDescriptor;  ///< null when the folder did not open
  std::string StgKey;                                    ///< its device and inode
};

// The folders of a set's outputs, each opened once however many outputs it holds, so that a run
// with many outputs stays within the limit on open descriptors.
class TFolders {
 public:
  TFolder Open(const std::string& StgPath) {
    auto PtrDescriptor = std::make_shared<const TFileDescriptor>(
        ::open(StgPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat Status {};
    if (PtrDescriptor->Get() < 0 || ::fstat(PtrDescriptor->Get(), &Status) != 0) {
      return TFolder();
    }
    TFolder& Known = MbrMapFolders[IdentityKey(Status)];
    if (!Known.PtrDescriptor) {
      Known.PtrDescriptor = std::move(PtrDescriptor);
      Known.StgKey = IdentityKey(Status);
    }
    return Known;
  }

 private:
  std::map<std::string, TFolder> MbrMapFolders;  ///< by key; each stays open as long as the set
};

enum class TStagedKind {
  kRename,          ///< a temporary, renamed over its file at commit
  kRemoval,         ///< a file removed at commit
  kText,            ///< a target without temporary, written at commit
  kStandardOutput,  ///< std::cout, written at commit
};

// The fill of a temporary that Write writes as a stream.
std::function<bool(int)> StreamInto(const std::function<void(std::ostream&)>& Write) {
  return [&Write](int LngFd) {
    TDescriptorBuffer Buffer(LngFd, false);
    std::ostream Stream(&Buffer);
    Write(Stream);
    return Buffer.Drain() && !Stream.fail();
  };
}

struct TStagedOutput {
  TStagedKind Kind = TStagedKind::kText;
  std::string StgFileName;                   ///< as named, for the messages
  TFolder Folder;                            ///< kRename, kRemoval: where the file is
  std::string StgBase;                       ///< kRename, kRemoval: its name there
  std::string StgKey;                        ///< kRename: the identity it holds in the set
  std::unique_ptr<TTemporary> PtrTemporary;  ///< kRename: written, synced and closed
  TTarget Target;                            ///< kText: where the text goes
  std::string StgText;                       ///< kText, kStandardOutput: what goes there
};

}  // namespace

struct TOutputSet::TStaged {
  // Folders first, so that they close after the temporaries in them are removed.
  TFolders Folders;
  std::vector<std::unique_ptr<TPrivateFolder>> VecPrivate;  ///< of StageWritten, in order
  std::vector<TStagedOutput> VecOutputs;                    ///< in the order staged
  std::map<std::string, std::string> MapIdentities;         ///< FileIdentity -> the name staged
  bool BlnCommitted = false;                                ///< Commit began its renames

  TStaged() { BlnOutputsInPlace.store(false); }

  // Throws unless no earlier output of the set is the file of this key.
  void CheckNew(const std::string& StgKey, const std::string& StgFileName) const {
    const auto It = MapIdentities.find(StgKey);
    if (It != MapIdentities.end()) {
      Fail("outputs " + It->second + " and " + StgFileName + " are the same file");
    }
  }

  // Fill writes the temporary through its descriptor and reports whether that succeeded.
  void StageTemporary(const TTarget& Target, const std::string& StgFileName,
                      const std::function<bool(int)>& Fill) {
    CheckTarget(Target, StgFileName);
    const bool BlnExists = Target.Kind == TTargetKind::kReplaced;
    TStagedOutput Output;
    Output.Kind = TStagedKind::kRename;
    Output.StgFileName = StgFileName;
    Output.StgBase = BaseOf(Target.StgPath);
    Output.Folder = Folders.Open(FolderOf(Target.StgPath));
    if (!Output.Folder.PtrDescriptor) {
      FailOpen(StgFileName);
    }
    const std::string StgKey =
        BlnExists ? IdentityKey(Target.Status) : Output.Folder.StgKey + "/" + Output.StgBase;
    CheckNew(StgKey, StgFileName);
    Output.StgKey = StgKey;
    Output.PtrTemporary = std::make_unique<TTemporary>(Output.Folder.PtrDescriptor->Get());
    TTemporary& Temporary = *Output.PtrTemporary;
    // The mode of a replacement is set exactly below; until then only its writer may open it.
    if (!Temporary.Create(Output.StgBase, BlnExists ? S_IRUSR | S_IWUSR : 0666)) {
      if (BlnExists) {
        FailWrite(StgFileName);
      }
      FailOpen(StgFileName);
    }
    // Staged before it is filled: a Fill that stages outputs of its own (files written side by
    // side in one pass) finds this one taken and puts them after it. A failure drops it and
    // whatever its Fill staged.
    const std::size_t LngIndex = VecOutputs.size();
    const std::size_t LngPrivate = VecPrivate.size();
    VecOutputs.push_back(std::move(Output));
    try {
      MapIdentities.emplace(StgKey, StgFileName);
      FillStaged(Target, StgFileName, Temporary, BlnExists, Fill);
    } catch (...) {
      DropFrom(LngIndex, LngPrivate);
      throw;
    }
  }

  // Drops the outputs staged from the index on and the private folders from theirs, with their
  // files.
  void DropFrom(std::size_t LngIndex, std::size_t LngPrivate) {
    for (std::size_t LngI = LngIndex; LngI < VecOutputs.size(); ++LngI) {
      const auto It = MapIdentities.find(VecOutputs[LngI].StgKey);
      if (It != MapIdentities.end() && It->second == VecOutputs[LngI].StgFileName) {
        MapIdentities.erase(It);
      }
    }
    VecOutputs.erase(VecOutputs.begin() + static_cast<std::ptrdiff_t>(LngIndex), VecOutputs.end());
    VecPrivate.erase(VecPrivate.begin() + static_cast<std::ptrdiff_t>(LngPrivate),
                     VecPrivate.end());
  }

  // Lets Write make its files in a private folder beside the target, the file of the output's
  // own name and any others named after it, then stages each of them (see StageFile). Returns
  // the names of the files beside the named one that Write made.
  std::vector<std::string> StageWritten(const TTarget& Target, const std::string& StgFileName,
                                        const std::function<void(const std::string&)>& Write) {
    CheckTarget(Target, StgFileName);
    const bool BlnExists = Target.Kind == TTargetKind::kReplaced;
    const std::string StgFolderPath = FolderOf(Target.StgPath);
    const TFolder Folder = Folders.Open(StgFolderPath);
    if (!Folder.PtrDescriptor) {
      FailOpen(StgFileName);
    }
    const std::string StgKey =
        BlnExists ? IdentityKey(Target.Status) : Folder.StgKey + "/" + BaseOf(Target.StgPath);
    CheckNew(StgKey, StgFileName);
    auto PtrPrivate = std::make_unique<TPrivateFolder>(Folder.PtrDescriptor->Get());
    if (!PtrPrivate->Create(BaseOf(Target.StgPath))) {
      if (BlnExists) {
        FailWrite(StgFileName);
      }
      FailOpen(StgFileName);
    }
    const TPrivateFolder& Private = *PtrPrivate;
    const std::size_t LngIndex = VecOutputs.size();
    const std::size_t LngPrivate = VecPrivate.size();
    VecPrivate.push_back(std::move(PtrPrivate));
    // The name is the output's from now on, so that an output Write stages finds it taken.
    MapIdentities.emplace(StgKey, StgFileName);
    std::vector<std::string> VecSiblings;
    try {
      const std::string StgOwnName = BaseOf(StgFileName);
      Write(StgFolderPath + "/" + Private.Name() + "/" + StgOwnName);
      std::vector<std::string> VecMade;
      if (!Private.Entries(VecMade) ||
          std::find(VecMade.begin(), VecMade.end(), StgOwnName) == VecMade.end()) {
        FailWrite(StgFileName);
      }
      // The output's own file first: the others follow it, as a sidecar follows its grid.
      std::stable_partition(
          VecMade.begin(), VecMade.end(),
          [&StgOwnName](const std::string& StgMade) { return StgMade == StgOwnName; });
      for (const std::string& StgMade : VecMade) {
        if (StgMade == StgOwnName) {
          StageMade(Private, StgMade, Target, StgFileName, Folder, StgKey);
          continue;
        }
        const std::string StgSibling = SiblingName(StgFileName, StgMade);
        const TTarget SiblingTarget = FindTarget(StgSibling);
        if (!TakesTemporary(SiblingTarget.Kind)) {
          CheckTarget(SiblingTarget, StgSibling);
          Fail("Unable to write file " + StgSibling + ": not a regular file");
        }
        CheckTarget(SiblingTarget, StgSibling);
        const TFolder SiblingFolder = Folders.Open(FolderOf(SiblingTarget.StgPath));
        if (!SiblingFolder.PtrDescriptor) {
          FailOpen(StgSibling);
        }
        const std::string StgSiblingKey =
            SiblingTarget.Kind == TTargetKind::kReplaced
                ? IdentityKey(SiblingTarget.Status)
                : SiblingFolder.StgKey + "/" + BaseOf(SiblingTarget.StgPath);
        CheckNew(StgSiblingKey, StgSibling);
        if (SiblingFolder.StgKey == Folder.StgKey) {
          StageMade(Private, StgMade, SiblingTarget, StgSibling, SiblingFolder, StgSiblingKey);
        } else {
          // Renamed only within the folder: elsewhere may be another file system.
          const TFileDescriptor Made(
              ::openat(Private.Fd(), StgMade.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
          StageTemporary(SiblingTarget, StgSibling,
                         [&Made](int LngFd) { return CopyFile(Made.Get(), LngFd); });
        }
        VecSiblings.push_back(StgMade);
      }
    } catch (...) {
      MapIdentities.erase(StgKey);
      DropFrom(LngIndex, LngPrivate);
      throw;
    }
    return VecSiblings;
  }

  // Stages the file a writer made in the private folder as the new content of the target, to
  // be renamed into the target's folder at commit.
  void StageMade(const TPrivateFolder& Private, const std::string& StgMade, const TTarget& Target,
                 const std::string& StgFileName, const TFolder& Folder, const std::string& StgKey) {
    TStagedOutput Output;
    Output.Kind = TStagedKind::kRename;
    Output.StgFileName = StgFileName;
    Output.StgBase = BaseOf(Target.StgPath);
    Output.Folder = Folder;
    Output.StgKey = StgKey;
    Output.PtrTemporary = std::make_unique<TTemporary>(Private.Fd());
    TTemporary& Temporary = *Output.PtrTemporary;
    VecOutputs.push_back(std::move(Output));
    MapIdentities.emplace(StgKey, StgFileName);
    if (!Temporary.Adopt(StgMade)) {
      Fail("Unable to write file " + StgFileName + ": not a regular file");
    }
    FillStaged(Target, StgFileName, Temporary, Target.Kind == TTargetKind::kReplaced,
               [](int) { return true; });
  }

  // Fills the staged temporary, gives it the target's owners and mode, and syncs and closes it.
  static void FillStaged(const TTarget& Target, const std::string& StgFileName,
                         TTemporary& Temporary, bool BlnExists,
                         const std::function<bool(int)>& Fill) {
    if (!Fill(Temporary.Fd())) {
      FailWrite(StgFileName);
    }
    // The mode is set once the content is written: a writer that opens the temporary again by
    // a name needs the owner's read and write permission until then.
    if (BlnExists) {
      // Only root (or an owner changing to another of its groups) may keep the target's owners;
      // anyone else owns the replacement, as after every replace by renaming.
      if (Target.Status.st_uid != ::geteuid() || Target.Status.st_gid != ::getegid()) {
        [[maybe_unused]] const int LngChown =
            ::fchown(Temporary.Fd(), Target.Status.st_uid, Target.Status.st_gid);
      }
      if (::fchmod(Temporary.Fd(), Target.Status.st_mode & 07777) != 0) {
        FailWrite(StgFileName);
      }
    }
    // Synced before any rename, so that a crash just after it cannot leave an empty file.
    if (::fsync(Temporary.Fd()) != 0 || !Temporary.Close() || !Temporary.StillNamed()) {
      FailWrite(StgFileName);
    }
  }

  void Commit() {
    if (BlnCommitted) {
      return;
    }
    const bool BlnTemporariesWait = std::any_of(
        VecOutputs.begin(), VecOutputs.end(),
        [](const TStagedOutput& Output) { return Output.Kind == TStagedKind::kRename; });
    {
      const TBrokenPipeHold Hold(BlnTemporariesWait);
      for (const TStagedOutput& Output : VecOutputs) {
        const auto WriteText = [&Output](std::ostream& Stream) {
          Stream.write(Output.StgText.data(), static_cast<std::streamsize>(Output.StgText.size()));
        };
        if (Output.Kind == TStagedKind::kText) {
          WriteUnstaged(Output.Target, Output.StgFileName, WriteText);
        } else if (Output.Kind == TStagedKind::kStandardOutput) {
          WriteText(std::cout);
          if (!std::cout.flush()) {
            Fail("Unable to write standard output");
          }
        }
      }
    }
    BlnCommitted = true;
    // The renames are quick; a signal meanwhile waits for the last of them.
    const TSignalBlock Block;
    for (TStagedOutput& Output : VecOutputs) {
      if (Output.Kind == TStagedKind::kRename) {
        if (!Output.PtrTemporary->StillNamed() ||
            !Output.PtrTemporary->RenameTo(Output.Folder.PtrDescriptor->Get(), Output.StgBase)) {
          FailWrite(Output.StgFileName);
        }
      } else if (Output.Kind == TStagedKind::kRemoval) {
        if (::unlinkat(Output.Folder.PtrDescriptor->Get(), Output.StgBase.c_str(), 0) != 0 &&
            errno != ENOENT) {
          FailRemove(Output.StgFileName);
        }
      }
    }
    // Their files renamed away, the private folders are empty.
    for (std::unique_ptr<TPrivateFolder>& PtrPrivate : VecPrivate) {
      PtrPrivate->Remove();
    }
    // Still inside the block: a signal held back during the renames comes after this.
    BlnOutputsInPlace.store(true);
  }
};

TOutputSet::TOutputSet() : MbrPtrStaged(std::make_unique<TStaged>()) {}

TOutputSet::~TOutputSet() = default;

void TOutputSet::Stage(const std::string& StgFileName,
                       const std::function<void(std::ostream&)>& Write) {
  const TTarget Target = FindTarget(StgFileName);
  if (TakesTemporary(Target.Kind)) {
    MbrPtrStaged->StageTemporary(Target, StgFileName, StreamInto(Write));
    return;
  }
  CheckTarget(Target, StgFileName);
  TStagedOutput Output;
  Output.Kind = TStagedKind::kText;
  Output.StgFileName = StgFileName;
  Output.Target = Target;
  FillText(Write, Output.StgText);
  MbrPtrStaged->VecOutputs.push_back(std::move(Output));
}

void TOutputSet::StageFile(const std::string& StgFileName,
                           const std::function<void(const std::string&)>& Write,
                           const std::vector<std::string>& VecCompanions) {
  const TTarget Target = FindTarget(StgFileName);
  if (!TakesTemporary(Target.Kind)) {
    CheckTarget(Target, StgFileName);
    Fail("Unable to write file " + StgFileName + ": not a regular file");
  }
  const std::vector<std::string> VecMade = MbrPtrStaged->StageWritten(Target, StgFileName, Write);
  const std::string StgOwnName = BaseOf(StgFileName);
  for (const std::string& StgSuffix : VecCompanions) {
    if (std::find(VecMade.begin(), VecMade.end(), StgOwnName + StgSuffix) == VecMade.end()) {
      StageRemoval(SiblingName(StgFileName, StgOwnName + StgSuffix));
    }
  }
}

void TOutputSet::StageStandardOutput(const std::function<void(std::ostream&)>& Write) {
  TStagedOutput Output;
  Output.Kind = TStagedKind::kStandardOutput;
  Output.StgFileName = "-";
  FillText(Write, Output.StgText);
  MbrPtrStaged->VecOutputs.push_back(std::move(Output));
}

void TOutputSet::StageRemoval(const std::string& StgFileName) {
  struct stat File {};
  if (::lstat(StgFileName.c_str(), &File) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      FailRemove(StgFileName);
    }
    // Nothing to remove; the name still counts, so that another output cannot take it.
    const TFolder Folder = MbrPtrStaged->Folders.Open(FolderOf(StgFileName));
    if (Folder.PtrDescriptor && !BaseOf(StgFileName).empty()) {
      const std::string StgKey = Folder.StgKey + "/" + BaseOf(StgFileName);
      MbrPtrStaged->CheckNew(StgKey, StgFileName);
      MbrPtrStaged->MapIdentities.emplace(StgKey, StgFileName);
    }
    return;
  }
  const std::string StgFolder = FolderOf(StgFileName);
  struct stat Folder {};
  if (S_ISDIR(File.st_mode) || ::stat(StgFolder.c_str(), &Folder) != 0 ||
      ::faccessat(AT_FDCWD, StgFolder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 ||
      !StickyFolderAllows(Folder, File)) {
    FailRemove(StgFileName);
  }
  const std::string StgKey = IdentityKey(File);
  MbrPtrStaged->CheckNew(StgKey, StgFileName);
  TStagedOutput Output;
  Output.Kind = TStagedKind::kRemoval;
  Output.StgFileName = StgFileName;
  Output.StgBase = BaseOf(StgFileName);
  Output.Folder = MbrPtrStaged->Folders.Open(StgFolder);
  if (!Output.Folder.PtrDescriptor) {
    FailRemove(StgFileName);
  }
  MbrPtrStaged->VecOutputs.push_back(std::move(Output));
  MbrPtrStaged->MapIdentities.emplace(StgKey, StgFileName);
}

void TOutputSet::Commit() {
  MbrPtrStaged->Commit();
}

std::string TemporaryFolder(const std::string& StgFileName) {
  const TTarget Target = FindTarget(StgFileName);
  return TakesTemporary(Target.Kind) ? FolderOf(Target.StgPath) : std::string();
}

bool WritesThroughTemporary(const std::string& StgFileName) {
  return TakesTemporary(FindTarget(StgFileName).Kind);
}

void CheckWritable(const std::string& StgFileName) {
  CheckTarget(FindTarget(StgFileName), StgFileName);
}

std::string FileIdentity(const std::string& StgFileName) {
  const TTarget Target = FindTarget(StgFileName);
  struct stat Status {};
  switch (Target.Kind) {
    case TTargetKind::kUnopenable:
      return std::string();
    case TTargetKind::kInherited:
      return ::fstat(Target.LngFd, &Status) == 0 ? IdentityKey(Status) : std::string();
    case TTargetKind::kInPlace:
    case TTargetKind::kReplaced:
      return IdentityKey(Target.Status);
    case TTargetKind::kCreated:
      break;
  }
  const std::string StgBase = BaseOf(Target.StgPath);
  if (StgBase.empty() || ::stat(FolderOf(Target.StgPath).c_str(), &Status) != 0 ||
      !S_ISDIR(Status.st_mode)) {
    return std::string();
  }
  return IdentityKey(Status) + "/" + StgBase;
}

void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write) {
  const TTarget Target = FindTarget(StgFileName);
  if (!TakesTemporary(Target.Kind)) {
    BlnOutputsInPlace.store(false);
    if (Target.Kind == TTargetKind::kUnopenable) {
      FailOpen(StgFileName);
    }
    // Written as it comes: each row reaches a pipe or a terminal at once.
    WriteUnstaged(Target, StgFileName, Write);
    return;
  }
  TOutputSet::TStaged Staged;
  Staged.StageTemporary(Target, StgFileName, StreamInto(Write));
  Staged.Commit();
}

void InstallCommandSignalHandlers() {
  struct sigaction Action {};
  Action.sa_handler = RemoveTemporariesAndExit;
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
  // GDAL's libraries abort, or fault, when an allocation fails inside them: the crash stays a
  // crash, but leaves no temporary behind.
  struct sigaction Crash {};
  Crash.sa_handler = RemoveTemporariesAndCrash;
  ::sigemptyset(&Crash.sa_mask);
  for (std::size_t LngI = 0; LngI < sizeof kLngCrashSignals / sizeof kLngCrashSignals[0]; ++LngI) {
    ::sigaction(kLngCrashSignals[LngI], &Crash, &CrashActions[LngI]);
  }
  ::signal(SIGXFSZ, SIG_IGN);
  // A reader that closed its pipe makes the write fail (EPIPE), reported like any other failed
  // write, rather than ending the run without a word.
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessgrid::detail
