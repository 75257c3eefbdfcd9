#include <sys/mman.h>

#include <cstdint>

#include "support/large_blocks.hpp"

namespace support {
namespace {

std::size_t mapped_size(std::size_t bytes) {
  return (bytes + LARGE_BLOCK - 1) / LARGE_BLOCK * LARGE_BLOCK;
}

}  // namespace

// The system places a mapping on a 4 KiB boundary, but only a range aligned to 2 MiB can be
// backed by huge pages: one extra LARGE_BLOCK is mapped, and the ends around the aligned range
// are given back at once.
void* map_large_block(std::size_t bytes) noexcept {
  const std::size_t size = mapped_size(bytes);
  if (size == 0 || size > SIZE_MAX - LARGE_BLOCK) return nullptr;
  void* mapped = ::mmap(nullptr, size + LARGE_BLOCK, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + LARGE_BLOCK - 1) & ~(std::uintptr_t{LARGE_BLOCK} - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::uintptr_t tail = start + size + LARGE_BLOCK - (aligned + size);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
  // Only advice: where huge pages are off or scarce, the block works in small pages.
  ::madvise(block, size, MADV_HUGEPAGE);
#endif
  return block;
}

void unmap_large_block(void* block, std::size_t bytes) noexcept {
  if (block != nullptr) ::munmap(block, mapped_size(bytes));
}

}  // namespace support
