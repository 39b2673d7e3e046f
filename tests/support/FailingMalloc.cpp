// tests/support/FailingMalloc.cpp - a preload library that makes one chosen allocation fail.
// TESSGRID_FAIL_ALLOCATION=N fails the Nth call of malloc, calloc or realloc (counted from 1; 0
// fails none); TESSGRID_ALLOCATION_COUNT names a file that receives the number of calls at exit,
// TESSGRID_LARGEST_ALLOCATION one that receives the most bytes a call asked for.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t LngSize);
void* __libc_calloc(std::size_t LngCount, std::size_t LngSize);
void* __libc_realloc(void* PtrOld, std::size_t LngSize);
}

namespace {

unsigned long LngCalls = 0;
unsigned long LngFailAt = 0;
std::size_t LngLargest = 0;

// Counts the call of LngSize bytes; true when it is the one to fail. Nothing here may allocate.
bool FailThisCall(std::size_t LngSize) {
  ++LngCalls;
  LngLargest = LngSize > LngLargest ? LngSize : LngLargest;
  if (LngCalls == LngFailAt) {
    errno = ENOMEM;
    return true;
  }
  return false;
}

__attribute__((constructor)) void ReadFailAt() {
  const char* PtrText = std::getenv("TESSGRID_FAIL_ALLOCATION");
  for (; PtrText != nullptr && *PtrText >= '0' && *PtrText <= '9'; ++PtrText) {
    LngFailAt = LngFailAt * 10 + static_cast<unsigned long>(*PtrText - '0');
  }
}

// Writes the number to the file named by the environment variable, if it is set.
void WriteNumber(const char* PtrVariable, unsigned long LngValue) {
  const char* PtrPath = std::getenv(PtrVariable);
  if (PtrPath == nullptr) {
    return;
  }
  char ChrDigits[24];
  char* PtrFirst = ChrDigits + sizeof ChrDigits;
  do {
    *--PtrFirst = static_cast<char>('0' + LngValue % 10);
    LngValue /= 10;
  } while (LngValue != 0);
  const int LngFd = ::open(PtrPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (LngFd >= 0) {
    [[maybe_unused]] const ssize_t LngWritten =
        ::write(LngFd, PtrFirst, static_cast<std::size_t>(ChrDigits + sizeof ChrDigits - PtrFirst));
    ::close(LngFd);
  }
}

__attribute__((destructor)) void WriteCounts() {
  WriteNumber("TESSGRID_ALLOCATION_COUNT", LngCalls);
  WriteNumber("TESSGRID_LARGEST_ALLOCATION", LngLargest);
}

}  // namespace

extern "C" void* malloc(std::size_t LngSize) {
  return FailThisCall(LngSize) ? nullptr : __libc_malloc(LngSize);
}

extern "C" void* calloc(std::size_t LngCount, std::size_t LngSize) {
  const std::size_t LngBytes =
      LngSize != 0 && LngCount > SIZE_MAX / LngSize ? SIZE_MAX : LngCount * LngSize;
  return FailThisCall(LngBytes) ? nullptr : __libc_calloc(LngCount, LngSize);
}

extern "C" void* realloc(void* PtrOld, std::size_t LngSize) {
  return FailThisCall(LngSize) ? nullptr : __libc_realloc(PtrOld, LngSize);
}
