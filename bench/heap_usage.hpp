// What the benchmarks' memory figures measure: the bytes malloc has handed out and not taken
// back, its own per-chunk overhead included.
#pragma once

#include <cstddef>

#if defined(__GLIBC__)
#include <malloc.h>

inline std::size_t heap_in_use() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // small chunks in use plus mmapped large blocks
}
#endif
