// The heap half of the process's memory policy; the other half, the large blocks that hold a
// settings file's bytes, tree and rewritten bytes, is support/large_blocks.hpp. What remains on
// the heap is small and short-lived, and `accounts` asks for much the same again for every file
// of a folder. Left to its defaults, glibc hands freed heap memory back to the system, and the
// next file faults fresh pages in. So freed heap memory stays with the process and is reused,
// and only blocks beyond glibc's own ceiling (32 MiB) are mapped on their own. The Windows heap
// offers no such settings: there the call is made all the same and its defaults stay in force.
#include "memory_policy.hpp"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvane {
namespace {

// glibc's largest mapping threshold on 64-bit systems.
constexpr int MAPPED_BLOCK = 32 << 20;

}  // namespace

void apply_memory_policy() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, MAPPED_BLOCK);
  mallopt(M_TRIM_THRESHOLD, 0x7FFF'FFFF);  // never hand the heap's top back
#else
  (void)MAPPED_BLOCK;
#endif
}

}  // namespace orvane
