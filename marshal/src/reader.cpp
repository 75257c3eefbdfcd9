// read_marshal: the stream reader with the handler that builds value trees.
#include "marshal/reader.hpp"

#include "stream_cursor.hpp"
#include "stream_decode.hpp"

namespace marshal {

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes,
                                                 const ReadOptions& options) {
  return detail::decode_value_tree(bytes, options);
}

bool has_marshal_header(std::span<const std::uint8_t> bytes) {
  detail::Cursor cursor(bytes);
  return detail::read_header(cursor).has_value();
}

}  // namespace marshal
