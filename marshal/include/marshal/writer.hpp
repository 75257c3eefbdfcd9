// Encodes a value tree into the deterministic subset of the marshal format the tool writes:
// one compact tag per value, no shared objects, optionally an Adler-32 checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "marshal/error.hpp"
#include "marshal/value.hpp"

namespace marshal {

struct EncodeOptions {
  bool write_crc = false;      // CRC_CHECK with the Adler-32 of the body before the root
  std::uint8_t mode_byte = 1;  // 0: mapped header with no map; otherwise 7D and this byte
};

// Memory the caller lends an encoder for its output, which the encoder grows as it writes.
class ByteOutput {
 public:
  // Makes the buffer `size` bytes long, keeping the bytes before; gives its first byte.
  virtual std::uint8_t* resize(std::size_t size) = 0;

 protected:
  ~ByteOutput() = default;
};

// A ByteOutput over a vector of bytes, whatever its allocator.
template <class Bytes>
class VectorOutput final : public ByteOutput {
 public:
  explicit VectorOutput(Bytes& bytes) : bytes_(bytes) {}
  std::uint8_t* resize(std::size_t size) override {
    bytes_.resize(size);
    return bytes_.data();
  }

 private:
  Bytes& bytes_;
};

// Fails with RecursionLimit when the reader would refuse the output as too deep, and with
// InvalidStream when a size does not fit the format's 32-bit size field.
Result<std::vector<std::uint8_t>, MarshalError> write_marshal(const MarshalValue& value,
                                                              const EncodeOptions& options);

}  // namespace marshal
