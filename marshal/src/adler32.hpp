// Adler-32 (RFC 1950), the checksum of CRC_CHECK streams.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace marshal::detail {

// An empty range gives 1.
std::uint32_t adler32(std::span<const std::uint8_t> bytes);

}  // namespace marshal::detail
