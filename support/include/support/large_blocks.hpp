// Where the memory of large buffers comes from. The buffers a settings file passes through (its
// bytes as read, its tree's arena, its bytes as rewritten) are each mapped from the system on
// their own, in huge pages where the system offers them, and the last one freed is kept for the
// next request of its size; smaller blocks stay with the heap. Why: docs/DESIGN.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace support {

// The unit in which blocks are mapped, aligned and kept: a huge page on Linux.
inline constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
// The smallest block mapped on its own. Rounded up to a huge page, it takes at most four times
// what it was asked for; a smaller one would pay more in memory than it saves in time.
inline constexpr std::size_t LARGE_BLOCK = HUGE_PAGE / 4;

// A block of at least `bytes` bytes, aligned to HUGE_PAGE where the system allows, or nullptr
// when the system has none to give. Its contents are unspecified.
void* map_large_block(std::size_t bytes) noexcept;
// Takes back a block from map_large_block, with the size it was asked for.
void unmap_large_block(void* block, std::size_t bytes) noexcept;

// A standard allocator that takes large blocks from map_large_block and the rest from the heap.
// Elements of trivial types are left uninitialised when a container grows: a buffer about to be
// filled by a read is not first cleared.
template <class T>
class LargeBlockAllocator {
 public:
  using value_type = T;

  LargeBlockAllocator() noexcept = default;
  template <class U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < LARGE_BLOCK) return static_cast<T*>(::operator new(bytes));
    void* block = map_large_block(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }

  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < LARGE_BLOCK) {
      ::operator delete(p);
    } else {
      unmap_large_block(p, bytes);
    }
  }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  template <class U>
  bool operator==(const LargeBlockAllocator<U>&) const noexcept {
    return true;
  }
};

// Bytes of a whole file or a whole stream, which growing the vector leaves uncleared.
using UnclearedBytes = std::vector<std::uint8_t, LargeBlockAllocator<std::uint8_t>>;

}  // namespace support
