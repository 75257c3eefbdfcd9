// The system's side of large blocks: pages mapped and given back whole, in sizes that are whole
// multiples of HUGE_PAGE.
#pragma once

#include <cstddef>

namespace support {

// Zeroed pages, or nullptr when the system has none to give.
void* map_pages(std::size_t size) noexcept;
// Gives back a whole mapping from map_pages, with the size it was mapped with.
void unmap_pages(void* start, std::size_t size) noexcept;

}  // namespace support
