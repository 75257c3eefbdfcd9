#include "settings_arena.hpp"

#include <algorithm>
#include <cstdint>
#include <new>

#include "support/large_blocks.hpp"

namespace orvane {
namespace {

// Measured on generated settings files, a tree takes 4 to 5 bytes for every byte of its file.
constexpr std::size_t TREE_BYTES_PER_FILE_BYTE = 6;
constexpr std::size_t MIN_BLOCK = 64 * 1024;

support::LargeBlockAllocator<std::byte> block_allocator() { return {}; }

}  // namespace

SettingsArena::SettingsArena(std::size_t file_size) : file_size_(file_size) {
  const std::size_t guess = file_size <= (SIZE_MAX - MIN_BLOCK) / TREE_BYTES_PER_FILE_BYTE
                                ? file_size * TREE_BYTES_PER_FILE_BYTE + MIN_BLOCK
                                : SIZE_MAX / 2;
  add_block(guess);
}

SettingsArena::~SettingsArena() {
  for (const Block& block : blocks_) block_allocator().deallocate(block.start, block.size);
}

// Each further block is at least twice the last, so an arena that guessed low still takes only a
// few blocks.
void SettingsArena::add_block(std::size_t at_least) {
  const std::size_t last = blocks_.empty() ? 0 : blocks_.back().size;
  const std::size_t size = std::max({at_least, MIN_BLOCK, last <= SIZE_MAX / 2 ? 2 * last : last});
  blocks_.reserve(blocks_.size() + 1);
  std::byte* start = block_allocator().allocate(size);
  blocks_.push_back(Block{start, size});
  next_ = start;
  end_ = start + size;
}

void* SettingsArena::do_allocate(std::size_t n, std::size_t align) {
  const auto misalignment = reinterpret_cast<std::uintptr_t>(next_) & (align - 1);
  std::size_t padding = misalignment == 0 ? 0 : align - misalignment;
  if (n > static_cast<std::size_t>(end_ - next_) ||
      padding > static_cast<std::size_t>(end_ - next_) - n) {
    if (n > SIZE_MAX - align) throw std::bad_alloc();
    add_block(n + align);
    padding = (align - (reinterpret_cast<std::uintptr_t>(next_) & (align - 1))) & (align - 1);
  }
  void* p = next_ + padding;
  next_ += padding + n;
  return p;
}

}  // namespace orvane
