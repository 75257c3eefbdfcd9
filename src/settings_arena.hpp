// The memory of one settings file's JSON tree.
#pragma once

#include <boost/json/memory_resource.hpp>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace orvane {

// A tree takes a few times its file's size in millions of small nodes. All of them live in blocks
// of this arena: they are handed out in order and freed all at once with the arena, never one by
// one. The first block, sized from the file, is only address space until the decode touches it;
// blocks are large blocks of the process's memory policy (support/large_blocks.hpp), so a large
// tree fills huge pages. The arena also keeps the file's size, as the guess for the size of the
// rewritten file.
class SettingsArena final : public boost::json::memory_resource {
 public:
  explicit SettingsArena(std::size_t file_size);
  ~SettingsArena() override;
  SettingsArena(const SettingsArena&) = delete;
  SettingsArena& operator=(const SettingsArena&) = delete;

  std::size_t file_size() const { return file_size_; }

 private:
  struct Block {
    std::byte* start;
    std::size_t size;
  };

  void* do_allocate(std::size_t n, std::size_t align) override;
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }
  void add_block(std::size_t at_least);

  std::vector<Block> blocks_;
  std::byte* next_ = nullptr;
  std::byte* end_ = nullptr;
  std::size_t file_size_;
};

}  // namespace orvane

// Freeing a node returns nothing to the arena, so a tree need not free its nodes one by one.
template <>
struct boost::json::is_deallocate_trivial<orvane::SettingsArena> : std::true_type {};
