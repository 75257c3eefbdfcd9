// read_marshal: the stream reader with the handler that builds value trees.
#include "marshal/reader.hpp"

#include "stream_reader.hpp"
#include "value_builder.hpp"

namespace marshal {

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes) {
  detail::ValueBuilder builder;
  auto decoded = detail::StreamReader<detail::ValueBuilder>(builder, bytes).read();
  if (!decoded) return decoded.take_error();
  return DecodedStream{std::move(decoded->value), decoded->end_offset, decoded->has_crc};
}

}  // namespace marshal
