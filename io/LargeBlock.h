// io/LargeBlock.h - TLargeBlock: one block of memory for the cells of a whole grid, left
// untouched until used, from 2 MiB-aligned pages that the system may be asked to back with huge
// pages.
// io/LargeBlock.cpp holds it; io/FlatGrid.h keeps a grid's cells in one.
#ifndef IO_LARGEBLOCK_H
#define IO_LARGEBLOCK_H

#include <cstddef>

namespace tessgrid::detail {

/// Owns one block of LngBytes bytes whose content is undefined until written. A large block is
/// mapped at a 2 MiB boundary, so that a system that backs mappings with huge pages on its own
/// can give it whole ones. Small blocks come from operator new.
class TLargeBlock {
 public:
  /// Blocks from this size on are mapped; smaller ones come from operator new.
  static constexpr std::size_t kLngMappedFrom = std::size_t{1} << 21;

  TLargeBlock() = default;
  /// Claims the bytes. Throws std::bad_alloc when the system refuses them.
  explicit TLargeBlock(std::size_t LngBytes);
  ~TLargeBlock();
  TLargeBlock(TLargeBlock&& Other) noexcept;
  TLargeBlock& operator=(TLargeBlock&& Other) noexcept;
  TLargeBlock(const TLargeBlock&) = delete;
  TLargeBlock& operator=(const TLargeBlock&) = delete;

  /// Returns the start of the block, or null for a block of no bytes.
  void* Data() const { return MbrPtrData; }

  /// Gives the memory back; the block is then empty.
  void Release() noexcept;

 private:
  void* MbrPtrData = nullptr;    ///< start of the block
  std::size_t MbrLngMapped = 0;  ///< bytes mapped at MbrPtrData, or 0 for operator new memory
};

}  // namespace tessgrid::detail

#endif  // IO_LARGEBLOCK_H
