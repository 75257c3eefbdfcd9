// A command holds a settings file's bytes, its tree's arena, a backup copy and the new bytes in
// turn, each a block about as large as the file. glibc by default raises its mapping threshold
// each time such a block is freed, so the next one comes from the heap and stays resident after
// it is freed too: `apply` on a 16 MB file then peaks at 99 MB instead of 83 MB. A fixed
// threshold keeps every such block a mapping of its own. The Windows heap already maps blocks of
// this size directly and releases them when freed, so there nothing needs to be set.
#include "memory_policy.hpp"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvane {
namespace {

constexpr int LARGE_BLOCK = 256 * 1024;

}  // namespace

void apply_memory_policy() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, LARGE_BLOCK);
#else
  (void)LARGE_BLOCK;
#endif
}

}  // namespace orvane
