// The memory of one settings file's JSON tree.
#pragma once

#include <boost/json/monotonic_resource.hpp>
#include <cstddef>
#include <memory>

namespace orvane {

// An arena for the millions of small nodes of a tree: they are handed out in order and freed all
// at once with the arena, never one by one. Its first block is sized from the file and is only
// address space until the decode touches it; its blocks are large blocks of the process
// (support/large_blocks.hpp), so a large tree fills huge pages.
std::unique_ptr<boost::json::monotonic_resource> make_settings_arena(std::size_t file_size);

}  // namespace orvane
