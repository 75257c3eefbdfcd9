// read_marshal: the stream reader with the handler that builds value trees.
#include "marshal/reader.hpp"

#include "stream_decode.hpp"

namespace marshal {

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes,
                                                 const ReadOptions& options) {
  return detail::decode_value_tree(bytes, options);
}

}  // namespace marshal
