// io/BlockScanner.cpp - block refills, tokens carried across blocks, and handing back the rest.
// The declarations and their contracts are in io/BlockScanner.h.
#include "io/BlockScanner.h"

#include <cstring>

namespace tessgrid::detail {

TBlockScanner::TBlockScanner(std::streambuf* PtrBuffer)
    : MbrPtrNext(nullptr),
      MbrPtrEnd(nullptr),
      MbrPtrSource(PtrBuffer),
      MbrPtrBlock(new char[kLngBlockSize + 1]),
      MbrBlnEnded(PtrBuffer == nullptr) {
  MbrPtrBlock[0] = '\0';
  MbrPtrNext = MbrPtrEnd = MbrPtrBlock.get();
}

bool TBlockScanner::Refill() {
  if (MbrBlnEnded) {
    return false;
  }
  char* PtrBlock = MbrPtrBlock.get();
  const std::size_t LngCarried = static_cast<std::size_t>(MbrPtrEnd - MbrPtrNext);
  if (LngCarried == kLngBlockSize) {
    return false;
  }
  std::memmove(PtrBlock, MbrPtrNext, LngCarried);
  const std::streamsize LngRead = MbrPtrSource->sgetn(
      PtrBlock + LngCarried, static_cast<std::streamsize>(kLngBlockSize - LngCarried));
  // sgetn only comes back short at the end of input (or on a read error, which ends it too).
  const std::size_t LngGot = LngRead > 0 ? static_cast<std::size_t>(LngRead) : 0;
  MbrBlnEnded = LngGot == 0;
  MbrPtrNext = PtrBlock;
  MbrPtrEnd = PtrBlock + LngCarried + LngGot;
  PtrBlock[LngCarried + LngGot] = '\0';
  return LngGot != 0;
}

void TBlockScanner::TakeToken(const char*& PtrFirst, const char*& PtrLast, bool& BlnComplete) {
  const char* PtrChar = MbrPtrNext;
  for (;;) {
    while (PtrChar != MbrPtrEnd && !IsSpace(*PtrChar)) {
      ++PtrChar;
    }
    if (PtrChar != MbrPtrEnd) {
      break;
    }
    // A refill moves the token to the front of the block, even when nothing more comes.
    const std::size_t LngScanned = static_cast<std::size_t>(PtrChar - MbrPtrNext);
    const bool BlnMore = Refill();
    PtrChar = MbrPtrNext + LngScanned;
    if (!BlnMore) {
      break;
    }
  }
  PtrFirst = MbrPtrNext;
  PtrLast = PtrChar;
  BlnComplete = PtrChar != MbrPtrEnd || MbrBlnEnded;
  MbrPtrNext = PtrChar;
}

void TBlockScanner::GiveBack(std::istream& Input) {
  const std::streamoff LngUnread = MbrPtrEnd - MbrPtrNext;
  if (LngUnread > 0) {
    // A stream that cannot seek (a pipe) keeps them consumed; nothing else is lost.
    MbrPtrSource->pubseekoff(-LngUnread, std::ios_base::cur, std::ios_base::in);
  } else if (MbrBlnEnded) {
    Input.setstate(std::ios_base::eofbit);
  }
  MbrPtrNext = MbrPtrEnd;
}

}  // namespace tessgrid::detail
