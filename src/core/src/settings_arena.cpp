#include "settings_arena.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "support/large_blocks.hpp"

namespace orvane {
namespace {

// Measured on generated settings files, a tree takes 4 to 5 bytes for every byte of its file.
constexpr std::size_t TREE_BYTES_PER_FILE_BYTE = 6;

// Where the arena's blocks come from: large ones are mapped on their own, small ones from the
// heap. Boost's arena gives a block back with a smaller size than it asked for, so each block
// keeps its own size in front of it.
class LargeBlockResource final : public boost::json::memory_resource {
  static constexpr std::size_t HEADER = alignof(std::max_align_t);

  void* do_allocate(std::size_t n, std::size_t) override {
    if (n > SIZE_MAX - HEADER) throw std::bad_alloc();
    std::byte* block = support::LargeBlockAllocator<std::byte>().allocate(n + HEADER);
    std::memcpy(block, &n, sizeof n);
    return block + HEADER;
  }
  void do_deallocate(void* p, std::size_t, std::size_t) override {
    std::byte* block = static_cast<std::byte*>(p) - HEADER;
    std::size_t n = 0;
    std::memcpy(&n, block, sizeof n);
    support::LargeBlockAllocator<std::byte>().deallocate(block, n + HEADER);
  }
  bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }
};

}  // namespace

std::unique_ptr<boost::json::monotonic_resource> make_settings_arena(std::size_t file_size) {
  static LargeBlockResource blocks;
  const std::size_t guess = file_size <= SIZE_MAX / (2 * TREE_BYTES_PER_FILE_BYTE)
                                ? file_size * TREE_BYTES_PER_FILE_BYTE
                                : SIZE_MAX / 4;
  return std::make_unique<boost::json::monotonic_resource>(guess, &blocks);
}

}  // namespace orvane
