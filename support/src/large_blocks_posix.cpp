#include <sys/mman.h>

#include <cstdint>

#include "page_mapping.hpp"
#include "support/large_blocks.hpp"

namespace support {
namespace {

void advise_huge_pages([[maybe_unused]] void* start, [[maybe_unused]] std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // Only advice: where huge pages are off or scarce, the block works in small pages.
  ::madvise(start, size, MADV_HUGEPAGE);
#endif
}

}  // namespace

// The system places a mapping on a 4 KiB boundary, but only a range aligned to 2 MiB can be
// backed by huge pages: one extra HUGE_PAGE is mapped, and the ends around the aligned range
// are given back at once.
void* map_pages(std::size_t size) noexcept {
  if (size == 0 || size > SIZE_MAX - HUGE_PAGE) return nullptr;
  void* mapped =
      ::mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~(std::uintptr_t{HUGE_PAGE} - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::uintptr_t tail = start + size + HUGE_PAGE - (aligned + size);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* block = reinterpret_cast<void*>(aligned);
  advise_huge_pages(block, size);
  return block;
}

void unmap_pages(void* start, std::size_t size) noexcept { ::munmap(start, size); }

}  // namespace support
