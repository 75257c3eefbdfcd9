// The system's side of large blocks: pages mapped, grown and given back, in sizes that are whole
// multiples of HUGE_PAGE.
#pragma once

#include <cstddef>

namespace support {

// Zeroed pages, or nullptr when the system has none to give.
void* map_pages(std::size_t size) noexcept;
// A mapping made larger, its pages and their contents kept (it may move); nullptr, with the
// mapping unchanged, where the system cannot do that.
void* grow_pages(void* start, std::size_t size, std::size_t new_size) noexcept;
void unmap_pages(void* start, std::size_t size) noexcept;

}  // namespace support
