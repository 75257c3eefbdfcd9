// read_marshal: the stream reader with the handler that builds value trees.
#include "marshal/reader.hpp"

#include "stream_decode.hpp"

namespace marshal {

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes) {
  return detail::decode_value_tree(bytes);
}

}  // namespace marshal
