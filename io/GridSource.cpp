// io/GridSource.cpp - the grid reader's two sources: a caller's stream buffer and a descriptor.
// The declarations and their contracts are in io/GridSource.h.
#include "io/GridSource.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <new>
#include <string>
#include <utility>

#include "io/NumberText.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// The standard file buffer reports a failing read by throwing std::ios_base::failure; the
// stream has no name, so the message names the reader.
[[noreturn]] void FailStreamRead() {
  Fail("Unable to read the input stream in TARCGISFileTools::LoadARCGISFile");
}

// The bytes a stream buffer has read ahead, looked at in place and taken without a call per
// byte. A class derived from std::streambuf may name its protected accessors, and the member
// pointers so formed apply to every stream buffer.
struct TGetArea : std::streambuf {
  static const char* Next(const std::streambuf& Buffer) { return (Buffer.*&TGetArea::gptr)(); }
  static const char* End(const std::streambuf& Buffer) { return (Buffer.*&TGetArea::egptr)(); }
  static void Take(std::streambuf& Buffer, std::size_t LngCount) {
    (Buffer.*&TGetArea::gbump)(static_cast<int>(LngCount));
  }
};

// Follows the tokens of the bytes [PtrFirst, PtrLast): returns how many of them to take, and
// sets BlnComplete when the byte after them is the white space after the LngTokens-th token.
std::size_t ScanTokens(const char* PtrFirst, const char* PtrLast, std::size_t LngTokens,
                       std::size_t& LngStarted, bool& BlnInside, bool& BlnComplete) {
  for (const char* PtrChar = PtrFirst; PtrChar != PtrLast; ++PtrChar) {
    if (IsSpace(*PtrChar)) {
      if (BlnInside && LngStarted == LngTokens) {
        BlnComplete = true;
        return static_cast<std::size_t>(PtrChar - PtrFirst);
      }
      BlnInside = false;
    } else if (!BlnInside) {
      ++LngStarted;
      BlnInside = true;
    }
  }
  return static_cast<std::size_t>(PtrLast - PtrFirst);
}

}  // namespace

TStreamSource::TStreamSource(std::ios& Stream)
    : MbrStream(Stream),
      MbrPtrBuffer(nullptr),
      MbrLngStart(-1),
      MbrLngDelivered(0),
      MbrBlnSeekable(false) {
  // As a formatted extraction would: a stream that is not good yields nothing, and the tied
  // output stream is flushed before reading.
  if (Stream.good()) {
    if (Stream.tie() != nullptr) {
      Stream.tie()->flush();
    }
    MbrPtrBuffer = Stream.rdbuf();
  }
}

int TStreamSource::Peek() {
  if (MbrPtrBuffer == nullptr) {
    return -1;
  }
  try {
    const std::streambuf::int_type LngChar = MbrPtrBuffer->sgetc();
    return std::streambuf::traits_type::eq_int_type(LngChar, std::streambuf::traits_type::eof())
               ? -1
               : static_cast<unsigned char>(std::streambuf::traits_type::to_char_type(LngChar));
  } catch (const std::ios_base::failure&) {
    FailStreamRead();
  }
}

void TStreamSource::Take() {
  try {
    MbrPtrBuffer->sbumpc();
  } catch (const std::ios_base::failure&) {
    FailStreamRead();
  }
}

long long TStreamSource::BeginCells() {
  if (MbrPtrBuffer == nullptr) {
    return 0;
  }
  try {
    const std::streampos LngHere =
        MbrPtrBuffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (LngHere == std::streampos(-1)) {
      return -1;
    }
    const std::streampos LngEnd =
        MbrPtrBuffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (MbrPtrBuffer->pubseekpos(LngHere, std::ios_base::in) != LngHere) {
      // The buffer moved and cannot come back: the cells are out of reach.
      FailStreamRead();
    }
    MbrLngStart = LngHere;
    MbrBlnSeekable = true;
    return LngEnd != std::streampos(-1) && LngEnd >= LngHere
               ? static_cast<long long>(LngEnd - LngHere)
               : -1;
  } catch (const std::ios_base::failure&) {
    FailStreamRead();
  }
}

TReadEnd TStreamSource::Read(char* PtrOut, std::size_t LngRoom, std::size_t LngTokens,
                             bool BlnInToken, std::size_t& LngGot) {
  LngGot = 0;
  if (MbrPtrBuffer == nullptr) {
    return TReadEnd::kEnd;
  }
  try {
    if (MbrBlnSeekable) {
      const std::streamsize LngRead =
          MbrPtrBuffer->sgetn(PtrOut, static_cast<std::streamsize>(LngRoom));
      LngGot = LngRead > 0 ? static_cast<std::size_t>(LngRead) : 0;
      MbrLngDelivered += static_cast<long long>(LngGot);
      // sgetn comes back short only at the end of input.
      return LngGot == LngRoom ? TReadEnd::kFull : TReadEnd::kEnd;
    }
    // Up to the last wanted token: what the buffer has read ahead is scanned in place, and the
    // buffer is asked for more only when that is used up. The byte after the last token is
    // looked at and left in the buffer, as stream extraction leaves it.
    using TTraits = std::streambuf::traits_type;
    std::size_t LngStarted = BlnInToken ? 1 : 0;
    bool BlnInside = BlnInToken;
    bool BlnComplete = false;
    while (LngGot < LngRoom) {
      const char* const PtrNext = TGetArea::Next(*MbrPtrBuffer);
      const char* const PtrEnd = TGetArea::End(*MbrPtrBuffer);
      if (PtrNext == nullptr || PtrNext == PtrEnd) {
        if (TTraits::eq_int_type(MbrPtrBuffer->sgetc(), TTraits::eof())) {
          return TReadEnd::kEnd;
        }
        if (TGetArea::Next(*MbrPtrBuffer) == TGetArea::End(*MbrPtrBuffer)) {
          // A buffer without a get area hands out one byte per call.
          const char ChrByte = TTraits::to_char_type(MbrPtrBuffer->sgetc());
          ScanTokens(&ChrByte, &ChrByte + 1, LngTokens, LngStarted, BlnInside, BlnComplete);
          if (BlnComplete) {
            return TReadEnd::kComplete;
          }
          PtrOut[LngGot++] = ChrByte;
          MbrPtrBuffer->sbumpc();
        }
        continue;
      }
      const std::size_t LngTaken =
          ScanTokens(PtrNext, PtrNext + std::min<std::size_t>(PtrEnd - PtrNext, LngRoom - LngGot),
                     LngTokens, LngStarted, BlnInside, BlnComplete);
      std::memcpy(PtrOut + LngGot, PtrNext, LngTaken);
      TGetArea::Take(*MbrPtrBuffer, LngTaken);
      LngGot += LngTaken;
      if (BlnComplete) {
        return TReadEnd::kComplete;
      }
    }
    return TReadEnd::kFull;
  } catch (const std::ios_base::failure&) {
    FailStreamRead();
  }
}

void TStreamSource::Finish(std::size_t LngUnread) {
  if (MbrPtrBuffer == nullptr) {
    return;
  }
  bool BlnRepositioned = true;
  bool BlnAtEnd = false;
  try {
    if (!MbrBlnSeekable) {
      BlnRepositioned = LngUnread == 0;
    } else {
      const std::streampos LngAfter =
          MbrLngStart +
          static_cast<std::streamoff>(MbrLngDelivered - static_cast<long long>(LngUnread));
      BlnRepositioned = MbrPtrBuffer->pubseekpos(LngAfter, std::ios_base::in) == LngAfter;
    }
    // Stream extraction of the last value sets end-of-file when that value ends the input.
    BlnAtEnd = BlnRepositioned && LngUnread == 0 &&
               std::streambuf::traits_type::eq_int_type(MbrPtrBuffer->sgetc(),
                                                        std::streambuf::traits_type::eof());
  } catch (const std::ios_base::failure&) {
    FailStreamRead();
  }
  if (!BlnRepositioned) {
    // The grid is read, but the stream cannot be put after it: further reads would be wrong.
    MbrStream.setstate(std::ios_base::failbit);
  } else if (BlnAtEnd) {
    MbrStream.setstate(std::ios_base::eofbit);
  }
}

TFileSource::TFileSource(std::string StgFileName)
    : MbrStgFileName(std::move(StgFileName)),
      MbrLngDescriptor(-1),
      MbrLngSize(-1),
      MbrLngParkedAt(0),
      MbrLngDevice(0),
      MbrLngInode(0),
      MbrLngTaken(0),
      MbrPtrBuffer(new char[kLngHeaderBuffer]),
      MbrLngNext(0),
      MbrLngEnd(0),
      MbrBlnEnded(false) {
  do {
    MbrLngDescriptor = ::open(MbrStgFileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (MbrLngDescriptor < 0 && errno == EINTR);
  if (MbrLngDescriptor < 0) {
    // Lack of memory is not a missing file.
    if (errno == ENOMEM) {
      throw std::bad_alloc();
    }
    Fail("Unable to open file " + MbrStgFileName);
  }
  struct stat FileStat {};
  if (::fstat(MbrLngDescriptor, &FileStat) != 0 || S_ISDIR(FileStat.st_mode)) {
    ::close(MbrLngDescriptor);
    Fail("Unable to open file " + MbrStgFileName);
  }
  if (S_ISREG(FileStat.st_mode)) {
    MbrLngSize = static_cast<long long>(FileStat.st_size);
  }
  MbrLngDevice = static_cast<unsigned long long>(FileStat.st_dev);
  MbrLngInode = static_cast<unsigned long long>(FileStat.st_ino);
}

TFileSource::~TFileSource() {
  if (MbrLngDescriptor >= 0) {
    ::close(MbrLngDescriptor);
  }
}

void TFileSource::Park() {
  // Only a regular file can be found again at a place; a pipe keeps its descriptor.
  if (MbrLngDescriptor < 0 || MbrLngSize < 0) {
    return;
  }
  const off_t LngAt = ::lseek(MbrLngDescriptor, 0, SEEK_CUR);
  if (LngAt < 0) {
    return;
  }
  MbrLngParkedAt = static_cast<long long>(LngAt);
  ::close(MbrLngDescriptor);
  MbrLngDescriptor = -1;
}

void TFileSource::Resume() {
  if (MbrLngDescriptor >= 0) {
    return;
  }
  int LngDescriptor = -1;
  do {
    LngDescriptor = ::open(MbrStgFileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (LngDescriptor < 0 && errno == EINTR);
  if (LngDescriptor < 0) {
    if (errno == ENOMEM) {
      throw std::bad_alloc();
    }
    rlimit Limit{};
    if (errno == EMFILE && ::getrlimit(RLIMIT_NOFILE, &Limit) == 0) {
      Fail("Unable to open file " + MbrStgFileName +
           ": too many files are open at once (the limit is " + std::to_string(Limit.rlim_cur) +
           "); raise it with ulimit -n");
    }
    Fail("Unable to open file " + MbrStgFileName);
  }
  // Another file under the name would mix two grids' cells.
  struct stat FileStat {};
  if (::fstat(LngDescriptor, &FileStat) != 0 ||
      static_cast<unsigned long long>(FileStat.st_dev) != MbrLngDevice ||
      static_cast<unsigned long long>(FileStat.st_ino) != MbrLngInode ||
      ::lseek(LngDescriptor, static_cast<off_t>(MbrLngParkedAt), SEEK_SET) < 0) {
    ::close(LngDescriptor);
    Fail("Unable to read file " + MbrStgFileName);
  }
  MbrLngDescriptor = LngDescriptor;
}

std::size_t TFileSource::ReadSome(char* PtrOut, std::size_t LngRoom) {
  for (;;) {
    const ssize_t LngRead = ::read(MbrLngDescriptor, PtrOut, LngRoom);
    if (LngRead >= 0) {
      return static_cast<std::size_t>(LngRead);
    }
    if (errno == ENOMEM) {
      throw std::bad_alloc();
    }
    if (errno != EINTR) {
      Fail("Unable to read file " + MbrStgFileName);
    }
  }
}

int TFileSource::Peek() {
  if (MbrLngNext == MbrLngEnd) {
    if (MbrBlnEnded) {
      return -1;
    }
    MbrLngNext = 0;
    MbrLngEnd = ReadSome(MbrPtrBuffer.get(), kLngHeaderBuffer);
    if (MbrLngEnd == 0) {
      MbrBlnEnded = true;
      return -1;
    }
  }
  return static_cast<unsigned char>(MbrPtrBuffer[MbrLngNext]);
}

void TFileSource::Take() {
  ++MbrLngNext;
  ++MbrLngTaken;
}

long long TFileSource::BeginCells() {
  // A regular file's size may be wrong (files under /proc claim 0), so a size smaller than what
  // was already read means "unknown".
  return MbrLngSize >= MbrLngTaken ? MbrLngSize - MbrLngTaken : -1;
}

TReadEnd TFileSource::Read(char* PtrOut, std::size_t LngRoom, std::size_t, bool,
                           std::size_t& LngGot) {
  // The header's read-ahead comes first; then the descriptor fills the rest of the room.
  LngGot = std::min(LngRoom, MbrLngEnd - MbrLngNext);
  std::memcpy(PtrOut, MbrPtrBuffer.get() + MbrLngNext, LngGot);
  MbrLngNext += LngGot;
  while (LngGot < LngRoom && !MbrBlnEnded) {
    const std::size_t LngRead = ReadSome(PtrOut + LngGot, LngRoom - LngGot);
    MbrBlnEnded = LngRead == 0;
    LngGot += LngRead;
  }
  return LngGot == LngRoom ? TReadEnd::kFull : TReadEnd::kEnd;
}

void TFileSource::Finish(std::size_t) {
  // The file is closed after the grid; nothing reads on.
}

}  // namespace tessgrid::detail
