#include "support/large_blocks.hpp"

#include <array>
#include <cstdint>
#include <mutex>

#include "page_mapping.hpp"

namespace support {
namespace {

// A freed block is kept for the next request it can serve: the file-sized buffers of a command
// come one after another (a file's bytes, then the bytes that replace them; one file's tree,
// then the next file's), and a kept block is already faulted in. Only a few are kept, and a
// kept block is one the process has just used, so keeping it adds nothing to its peak.
constexpr std::size_t KEPT_BLOCKS = 4;

struct KeptBlock {
  void* start = nullptr;
  std::size_t size = 0;  // as mapped
};

std::mutex kept_blocks_lock;
std::array<KeptBlock, KEPT_BLOCKS> kept_blocks;

std::size_t mapped_size(std::size_t bytes) {
  return (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
}

// The smallest kept block that holds `size` bytes, or else the largest one, which may grow.
KeptBlock* best_kept(std::size_t size) {
  KeptBlock* fitting = nullptr;
  KeptBlock* largest = nullptr;
  for (KeptBlock& block : kept_blocks) {
    if (block.start == nullptr) continue;
    if (block.size >= size && (fitting == nullptr || block.size < fitting->size)) fitting = &block;
    if (largest == nullptr || block.size > largest->size) largest = &block;
  }
  return fitting != nullptr ? fitting : largest;
}

}  // namespace

void* map_large_block(std::size_t bytes) noexcept {
  const std::size_t size = mapped_size(bytes);
  if (size < bytes) return nullptr;
  {
    const std::lock_guard<std::mutex> lock(kept_blocks_lock);
    if (KeptBlock* kept = best_kept(size)) {
      void* start = kept->start;
      if (kept->size < size) {
        start = grow_pages(kept->start, kept->size, size);
      } else if (kept->size > size) {
        // A block is given back with the size it was asked for, so it holds no more than that.
        unmap_pages(static_cast<std::byte*>(kept->start) + size, kept->size - size);
      }
      if (start != nullptr) {
        *kept = KeptBlock{};
        return start;
      }
    }
  }
  return map_pages(size);
}

void unmap_large_block(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  const std::size_t size = mapped_size(bytes);
  const std::lock_guard<std::mutex> lock(kept_blocks_lock);
  KeptBlock* slot = nullptr;
  for (KeptBlock& kept : kept_blocks) {
    if (kept.start == nullptr) {
      slot = &kept;
      break;
    }
    if (slot == nullptr || kept.size < slot->size) slot = &kept;
  }
  // All places taken: the smallest of the kept blocks and this one goes.
  if (slot->start != nullptr) {
    if (slot->size >= size) {
      unmap_pages(block, size);
      return;
    }
    unmap_pages(slot->start, slot->size);
  }
  *slot = KeptBlock{block, size};
}

}  // namespace support
