// The variable-width size field of the stream format: one byte for 0..254, otherwise 0xFF and a
// signed 32-bit little-endian value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marshal::detail {

inline constexpr std::uint8_t SIZE_FIELD_ESCAPE = 0xFF;
// The 4-byte form is signed and readers refuse negative sizes, so this is the largest size a
// stream can carry.
inline constexpr std::uint64_t MAX_SIZE_FIELD = 0x7FFF'FFFF;

// Bytes the field for `size` takes: 1 or 5, or 0 when no field can carry it. Such a size must be
// refused rather than written truncated, which would silently corrupt everything after it.
constexpr std::size_t size_field_length(std::uint64_t size) {
  return size < SIZE_FIELD_ESCAPE ? 1 : size <= MAX_SIZE_FIELD ? 5 : 0;
}

// Writes the field for a size that has one, size_field_length(size) bytes, at `out`.
inline void write_size_field(std::uint8_t* out, std::uint64_t size) {
  if (size < SIZE_FIELD_ESCAPE) {
    out[0] = static_cast<std::uint8_t>(size);
    return;
  }
  out[0] = SIZE_FIELD_ESCAPE;
  for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

}  // namespace marshal::detail
