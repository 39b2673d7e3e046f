// io/BlockScanner.h - TBlockScanner: white-space separated tokens from a stream buffer, read in
// large blocks. io/BlockScanner.cpp refills the block; the grid reader runs its cell loop on it.
#ifndef IO_BLOCKSCANNER_H
#define IO_BLOCKSCANNER_H

#include <cstddef>
#include <istream>
#include <memory>
#include <streambuf>

#include "io/NumberText.h"

namespace tessgrid::detail {

/// Reads a stream buffer block by block and hands out its tokens. A token cut by the end of a
/// block is carried to the front of the next one. Memory stays at one block whatever the input.
///
/// The block [MbrPtrNext, MbrPtrEnd) is public for the reader's cell loop, which parses in place;
/// the character at MbrPtrEnd is always '\0', so a scan for white space stops there by itself.
class TBlockScanner {
 public:
  /// Size of one block; a token longer than this is not carried and counts as malformed.
  static constexpr std::size_t kLngBlockSize = std::size_t{1} << 20;

  /// Starts reading at the buffer's current position (null reads as an empty input).
  explicit TBlockScanner(std::streambuf* PtrBuffer);

  /// Moves to the start of the next token; returns false at the end of input.
  bool SkipSpace() {
    for (;;) {
      while (IsSpace(*MbrPtrNext)) {
        ++MbrPtrNext;
      }
      if (MbrPtrNext != MbrPtrEnd) {
        return true;
      }
      if (!Refill()) {
        return false;
      }
    }
  }

  /// After SkipSpace returned true: takes the whole token at MbrPtrNext, reading on when the
  /// block cuts it. Returns its extent; BlnComplete is false for a token longer than a block,
  /// of which the first block is returned.
  void TakeToken(const char*& PtrFirst, const char*& PtrLast, bool& BlnComplete);

  /// Hands the characters read beyond MbrPtrNext back to a seekable stream, so a caller can read
  /// on after the grid; sets the stream's end-of-file state when the input was used up.
  void GiveBack(std::istream& Input);

  const char* MbrPtrNext;  ///< the first character not yet taken
  const char* MbrPtrEnd;   ///< the end of the characters read so far; *MbrPtrEnd == '\0'

 private:
  // Keeps [MbrPtrNext, MbrPtrEnd), moved to the front, and reads more behind it; returns false
  // when nothing more could be read.
  bool Refill();

  std::streambuf* MbrPtrSource;
  std::unique_ptr<char[]> MbrPtrBlock;
  bool MbrBlnEnded;  ///< the source has reported the end of input
};

}  // namespace tessgrid::detail

#endif  // IO_BLOCKSCANNER_H
