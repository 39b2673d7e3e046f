// io/FileDescriptor.h - TFileDescriptor: owns an open file descriptor and closes it.
// Header-only; the safe replace and the sidecar reader hold their descriptors in it.
#ifndef IO_FILEDESCRIPTOR_H
#define IO_FILEDESCRIPTOR_H

#include <unistd.h>

namespace tessgrid::detail {

/// Owns a descriptor from open(2) or openat(2), or a negative value for none, and closes it when
/// it goes, so that no failure path leaks one.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int LngFd) : MbrLngFd(LngFd) {}
  ~TFileDescriptor() {
    if (MbrLngFd >= 0) {
      ::close(MbrLngFd);
    }
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;

  /// Returns the descriptor, still owned.
  int Get() const { return MbrLngFd; }

 private:
  int MbrLngFd;  ///< an open descriptor, or negative
};

}  // namespace tessgrid::detail

#endif  // IO_FILEDESCRIPTOR_H
