// io/LargeBlock.cpp - mapping a block at a huge-page boundary, and giving it back.
// The declarations and their contracts are in io/LargeBlock.h.
#include "io/LargeBlock.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>
#include <utility>

namespace tessgrid::detail {

namespace {

constexpr std::size_t kLngHugePage = TLargeBlock::kLngMappedFrom;

std::size_t RoundUp(std::size_t LngBytes, std::size_t LngUnit) {
  return (LngBytes + LngUnit - 1) / LngUnit * LngUnit;
}

}  // namespace

TLargeBlock::TLargeBlock(std::size_t LngBytes) {
  if (LngBytes == 0) {
    return;
  }
  if (LngBytes < kLngMappedFrom) {
    MbrPtrData = ::operator new(LngBytes);
    return;
  }
  if (LngBytes > SIZE_MAX - 2 * kLngHugePage) {
    throw std::bad_alloc();
  }
  // One huge page more than needed, so that a 2 MiB boundary lies within the first one; the
  // slack before and after is unmapped again.
  const std::size_t LngLength = RoundUp(LngBytes, kLngHugePage);
  const std::size_t LngSpan = LngLength + kLngHugePage;
  void* const PtrSpan =
      ::mmap(nullptr, LngSpan, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (PtrSpan == MAP_FAILED) {
    throw std::bad_alloc();
  }
  const std::uintptr_t LngSpanStart = reinterpret_cast<std::uintptr_t>(PtrSpan);
  const std::uintptr_t LngStart = RoundUp(LngSpanStart, kLngHugePage);
  const std::size_t LngHead = LngStart - LngSpanStart;
  if (LngHead > 0) {
    ::munmap(PtrSpan, LngHead);
  }
  if (LngSpan - LngHead > LngLength) {
    ::munmap(reinterpret_cast<void*>(LngStart + LngLength), LngSpan - LngHead - LngLength);
  }
  MbrPtrData = reinterpret_cast<void*>(LngStart);
  MbrLngMapped = LngLength;
}

TLargeBlock::~TLargeBlock() {
  Release();
}

TLargeBlock::TLargeBlock(TLargeBlock&& Other) noexcept
    : MbrPtrData(std::exchange(Other.MbrPtrData, nullptr)),
      MbrLngMapped(std::exchange(Other.MbrLngMapped, 0)) {}

TLargeBlock& TLargeBlock::operator=(TLargeBlock&& Other) noexcept {
  if (this != &Other) {
    Release();
    MbrPtrData = std::exchange(Other.MbrPtrData, nullptr);
    MbrLngMapped = std::exchange(Other.MbrLngMapped, 0);
  }
  return *this;
}

void TLargeBlock::Release() noexcept {
  if (MbrPtrData == nullptr) {
    return;
  }
  if (MbrLngMapped > 0) {
    ::munmap(MbrPtrData, MbrLngMapped);
  } else {
    ::operator delete(MbrPtrData);
  }
  MbrPtrData = nullptr;
  MbrLngMapped = 0;
}

}  // namespace tessgrid::detail
