// io/GridSource.h - TGridSource: the bytes of a grid, from a caller's stream buffer or a file
// descriptor. io/GridSource.cpp holds both sources; io/GridReader.cpp reads through them.
#ifndef IO_GRIDSOURCE_H
#define IO_GRIDSOURCE_H

#include <cstddef>
#include <ios>
#include <memory>
#include <streambuf>
#include <string>

namespace tessgrid::detail {

/// How a bulk read ended.
enum class TReadEnd {
  kFull,      ///< the room is full; more may follow
  kEnd,       ///< the input has ended
  kComplete,  ///< the tokens asked for are complete; the byte after them was not taken
};

/// Bytes of a grid: the header one byte at a time, then the cells in blocks.
///
/// The header is read byte by byte so that nothing beyond it is taken. The cells are read in
/// blocks; a source whose caller may read on after the grid (a stream) gets back what the reader
/// did not use through Finish, so the input is left right after the last cell's token.
/// Read errors are thrown with the source's own message.
class TGridSource {
 public:
  virtual ~TGridSource() = default;

  /// Returns the next byte (0 to 255) without taking it, or -1 at the end of input.
  virtual int Peek() = 0;
  /// Takes the byte that Peek returned.
  virtual void Take() = 0;
  /// Called when the cells begin, before the first Read (again before it, the same answer);
  /// returns the number of bytes left in the input, or -1 when the source cannot tell.
  virtual long long BeginCells() = 0;
  /// Reads up to LngRoom bytes to PtrOut and returns how the read ended; LngGot is the count. A
  /// source that must not read beyond the grid stops once LngTokens more tokens are complete,
  /// counting the one that the bytes before PtrOut end inside when BlnInToken.
  virtual TReadEnd Read(char* PtrOut, std::size_t LngRoom, std::size_t LngTokens, bool BlnInToken,
                        std::size_t& LngGot) = 0;
  /// Called once the last cell is read: the last LngUnread bytes that Read delivered were not
  /// used and go back to the input.
  virtual void Finish(std::size_t LngUnread) = 0;
};

/// A caller's stream buffer. Where it can seek, cells are read in large blocks and the unused
/// rest is sought back; otherwise they are read byte by byte up to the last cell's token.
/// Finish also sets the stream's end-of-file state when the input ended with the last token.
class TStreamSource final : public TGridSource {
 public:
  /// Reads from the stream's buffer; the stream itself only receives end-of-file or failure
  /// states.
  explicit TStreamSource(std::ios& Stream);
  int Peek() override;
  void Take() override;
  long long BeginCells() override;
  TReadEnd Read(char* PtrOut, std::size_t LngRoom, std::size_t LngTokens, bool BlnInToken,
                std::size_t& LngGot) override;
  void Finish(std::size_t LngUnread) override;

 private:
  std::ios& MbrStream;
  std::streambuf* MbrPtrBuffer;  ///< the stream's buffer; null reads as an empty input
  std::streampos MbrLngStart;    ///< position where the cells begin, when the buffer can seek
  long long MbrLngDelivered;     ///< bytes read in blocks since MbrLngStart
  bool MbrBlnSeekable;           ///< the buffer can seek back; known after BeginCells
};

/// A named file read through its descriptor. Opening and reading failures are reported with
/// the file's name; a failure for lack of memory is std::bad_alloc.
class TFileSource final : public TGridSource {
 public:
  /// Opens the file. Throws "Unable to open file " followed by the name, as std::string, when it
  /// cannot be opened for reading or is a folder.
  explicit TFileSource(std::string StgFileName);
  ~TFileSource() override;
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  int Peek() override;
  void Take() override;
  long long BeginCells() override;
  /// Throws "Unable to read file " followed by the name, as std::string, on a read error.
  TReadEnd Read(char* PtrOut, std::size_t LngRoom, std::size_t LngTokens, bool BlnInToken,
                std::size_t& LngGot) override;
  void Finish(std::size_t LngUnread) override;

  /// Closes the descriptor of a regular file, keeping the place reached, so that many files can
  /// be read in turn with few of them open at once; does nothing for any other file. Call Resume
  /// before the source is read again.
  void Park();
  /// Opens a parked file again where it was left; does nothing unless the file is parked.
  /// Throws, as std::string with the name N: "Unable to open file N: too many files are open at
  /// once (the limit is L); raise it with ulimit -n" when the process may open no more files;
  /// "Unable to open file N" when it cannot be opened otherwise; "Unable to read file N" when the
  /// name now leads to another file or the place cannot be found again.
  void Resume();

 private:
  // Reads up to LngRoom bytes from the descriptor, retrying interrupted reads; 0 at the end.
  std::size_t ReadSome(char* PtrOut, std::size_t LngRoom);

  static constexpr std::size_t kLngHeaderBuffer = 4096;

  std::string MbrStgFileName;
  int MbrLngDescriptor;                  ///< open descriptor, closed by the destructor; -1 parked
  long long MbrLngSize;                  ///< size of a regular file, -1 for anything else
  long long MbrLngParkedAt;              ///< while parked: the descriptor's offset
  unsigned long long MbrLngDevice;       ///< the file's device, to know it again on Resume
  unsigned long long MbrLngInode;        ///< the file's inode, likewise
  long long MbrLngTaken;                 ///< bytes taken by Take
  std::unique_ptr<char[]> MbrPtrBuffer;  ///< header bytes read but not yet taken
  std::size_t MbrLngNext;                ///< first byte of MbrPtrBuffer not yet taken
  std::size_t MbrLngEnd;                 ///< end of the bytes in MbrPtrBuffer
  bool MbrBlnEnded;                      ///< the descriptor has reported the end of input
};

}  // namespace tessgrid::detail

#endif  // IO_GRIDSOURCE_H
