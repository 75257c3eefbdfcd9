// Decodes the whole bytes of a settings file into one value tree. Every count is checked against
// the bytes that remain before it is used, so corrupt input fails fast and allocates little.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "marshal/error.hpp"
#include "marshal/value.hpp"

namespace marshal {

// Deepest value nesting the reader and the writer accept; the root is level 1.
inline constexpr std::uint32_t MAX_DEPTH = 1000;

struct DecodedStream {
  MarshalValue value;
  std::size_t end_offset = 0;  // just past the root value
  bool has_crc = false;        // a CRC_CHECK tag was met anywhere in the stream
};

struct ReadOptions {
  // References copy whole subtrees, so a few bytes can ask for a tree of any size: the copies may
  // take roughly this many bytes, and 32 more for every byte of input, before the stream is
  // refused as "shared objects expand beyond the size limit". Container keys held in container
  // keys draw on it too ("dictionary keys expand beyond the size limit"). Real files stay far
  // below it.
  std::uint64_t copy_budget_floor = std::uint64_t{64} << 20;
};

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes,
                                                 const ReadOptions& options = {});

// Whether the bytes open as a stream does, with a signature and, in mapped mode, a well-formed
// shared-object map: what tells a settings file from other files without decoding it.
bool has_marshal_header(std::span<const std::uint8_t> bytes);

}  // namespace marshal
