// Encodes a value tree into the deterministic subset of the marshal format the tool writes:
// one compact tag per value, no shared objects, optionally an Adler-32 checksum.
#pragma once

#include <cstdint>
#include <vector>

#include "marshal/error.hpp"
#include "marshal/value.hpp"

namespace marshal {

struct EncodeOptions {
  bool write_crc = false;      // CRC_CHECK with the Adler-32 of the body before the root
  std::uint8_t mode_byte = 1;  // 0: mapped header with no map; otherwise 7D and this byte
};

// Fails with RecursionLimit when the reader would refuse the output as too deep, and with
// InvalidStream when a size does not fit the format's 32-bit size field.
Result<std::vector<std::uint8_t>, MarshalError> write_marshal(const MarshalValue& value,
                                                              const EncodeOptions& options);

}  // namespace marshal
