// A hint that memory is about to be read, for walks that outrun the processor's own fetching.
#pragma once

#include <cstddef>
#include <cstdint>

namespace support {

// Asks for the cache line `distance` bytes past `p`; a no-op where the compiler offers no such
// hint. It never faults, so the line may lie past the end of p's object: in a tree allocated in
// the order it is walked, what follows an array is usually what the walk reads next.
inline void prefetch(const void* p, std::size_t distance) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + distance));
#else
  (void)p;
  (void)distance;
#endif
}

}  // namespace support
