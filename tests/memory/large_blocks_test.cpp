// The last large block freed is kept for the next request of its size, the larger of two, and a
// tree's arena hands out aligned, separate memory however its first guess at the size turns out.
#include "support/large_blocks.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings_arena.hpp"

namespace {

using support::HUGE_PAGE;
using support::LARGE_BLOCK;
using support::map_large_block;
using support::unmap_large_block;

bool holds(const void* block, std::size_t size, std::uint8_t byte) {
  const auto* p = static_cast<const std::uint8_t*>(block);
  for (std::size_t i = 0; i < size; i += 4096) {
    if (p[i] != byte) return false;
  }
  return p[size - 1] == byte;
}

TEST(LargeBlocks, TheLargerFreedBlockServesTheNextRequestOfItsSize) {
  // Larger than any block kept before, so that it is kept in turn.
  const std::size_t large = 16 * HUGE_PAGE;
  const std::size_t small = 2 * HUGE_PAGE;
  void* first = map_large_block(large);
  ASSERT_NE(first, nullptr);
  std::memset(first, 0xA5, large);
  unmap_large_block(first, large);

  // The same pages come back as they were left: no fault, no clearing.
  void* again = map_large_block(large - 100);
  EXPECT_EQ(again, first);
  EXPECT_TRUE(holds(again, large - 100, 0xA5));

  // Of two freed blocks the larger is kept, and it serves no smaller request.
  void* other = map_large_block(small);
  ASSERT_NE(other, nullptr);
  unmap_large_block(other, small);
  unmap_large_block(again, large - 100);
  void* fresh = map_large_block(small);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, first);
  std::memset(fresh, 0x11, small);
  void* kept = map_large_block(large);
  EXPECT_EQ(kept, first);

  // A request larger than the kept block is served all the same.
  void* larger = map_large_block(large + HUGE_PAGE);
  ASSERT_NE(larger, nullptr);
  std::memset(larger, 0x22, large + HUGE_PAGE);
  EXPECT_TRUE(holds(fresh, small, 0x11));
  unmap_large_block(fresh, small);
  unmap_large_block(kept, large);
  unmap_large_block(larger, large + HUGE_PAGE);
}

TEST(LargeBlocks, ManyBlocksLiveAndFreedInAnyOrder) {
  std::vector<std::pair<void*, std::size_t>> blocks;
  for (std::size_t i = 1; i <= 8; ++i) {
    const std::size_t size = i * HUGE_PAGE + i;
    void* block = map_large_block(size);
    ASSERT_NE(block, nullptr);
    std::memset(block, static_cast<int>(i), size);
    blocks.emplace_back(block, size);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_TRUE(holds(blocks[i].first, blocks[i].second, static_cast<std::uint8_t>(i + 1)));
  }
  for (std::size_t i = 0; i < blocks.size(); i += 2)
    unmap_large_block(blocks[i].first, blocks[i].second);
  for (std::size_t i = 1; i < blocks.size(); i += 2)
    unmap_large_block(blocks[i].first, blocks[i].second);
}

TEST(SettingsArena, HandsOutAlignedSeparateMemoryBeyondItsFirstBlock) {
  const auto arena = orvane::make_settings_arena(1000);  // a first block of some 8 KB
  struct Request {
    std::size_t bytes;
    std::size_t align;
  };
  const Request requests[] = {{1, 1},     {3, 1},       {16, 8},
                              {24, 16},   {7, 4},       {100, 64},
                              {70000, 8}, {5, 2},       {3 * LARGE_BLOCK, 16},
                              {1, 1},     {4096, 4096}, {40000, 16}};
  std::vector<std::pair<std::uint8_t*, std::size_t>> taken;
  for (const Request& r : requests) {
    SCOPED_TRACE(::testing::Message() << r.bytes << " bytes aligned to " << r.align);
    auto* p = static_cast<std::uint8_t*>(arena->allocate(r.bytes, r.align));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % r.align, 0u);
    std::memset(p, static_cast<int>(taken.size() + 1), r.bytes);
    taken.emplace_back(p, r.bytes);
  }
  for (std::size_t i = 0; i < taken.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(taken[i].first[0], i + 1);
    EXPECT_EQ(taken[i].first[taken[i].second - 1], i + 1);
  }
}

}  // namespace
