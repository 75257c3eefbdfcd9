#include "support/large_blocks.hpp"

#include <mutex>

#include "page_mapping.hpp"

namespace support {
namespace {

// The last large block freed, kept whole for the next request of its very size (docs/DESIGN.md).
// A kept block smaller than a request is given back first: it would serve none of the larger
// buffers that follow, and keeping it would only add to the process's peak.
struct KeptBlock {
  void* start = nullptr;
  std::size_t size = 0;  // as mapped
};

std::mutex kept_lock;
KeptBlock kept;

std::size_t mapped_size(std::size_t bytes) {
  return (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
}

}  // namespace

void* map_large_block(std::size_t bytes) noexcept {
  const std::size_t size = mapped_size(bytes);
  if (size < bytes) return nullptr;
  {
    const std::lock_guard<std::mutex> lock(kept_lock);
    if (kept.start != nullptr && kept.size <= size) {
      void* const start = kept.start;
      const std::size_t kept_size = kept.size;
      kept = KeptBlock{};
      if (kept_size == size) return start;
      unmap_pages(start, kept_size);
    }
  }
  return map_pages(size);
}

void unmap_large_block(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  const std::size_t size = mapped_size(bytes);
  const std::lock_guard<std::mutex> lock(kept_lock);
  // Of two blocks the larger is kept: the next file's tree rather than its bytes.
  if (kept.size > size) {
    unmap_pages(block, size);
    return;
  }
  if (kept.start != nullptr) unmap_pages(kept.start, kept.size);
  kept = KeptBlock{block, size};
}

}  // namespace support
