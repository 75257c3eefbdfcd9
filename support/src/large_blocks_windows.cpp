#include <windows.h>

#include "support/large_blocks.hpp"

namespace support {

// Large pages on Windows need a privilege players do not have; a block of its own still keeps
// the file-sized buffers out of the heap, and is given back whole.
void* map_large_block(std::size_t bytes) noexcept {
  if (bytes == 0) return nullptr;
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_large_block(void* block, std::size_t) noexcept {
  if (block != nullptr) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace support
