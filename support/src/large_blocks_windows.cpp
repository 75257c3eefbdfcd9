#include <windows.h>

#include "page_mapping.hpp"

namespace support {

// Large pages on Windows need a privilege players do not have; a block of its own still keeps
// the file-sized buffers out of the heap, and is given back whole.
void* map_pages(std::size_t size) noexcept {
  if (size == 0) return nullptr;
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_pages(void* start, std::size_t) noexcept { ::VirtualFree(start, 0, MEM_RELEASE); }

}  // namespace support
