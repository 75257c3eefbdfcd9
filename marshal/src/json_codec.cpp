// The fused pair: the stream reader driving the tagged JSON builder, and the tagged JSON walker
// driving the stream encoder.
#include "marshal/json_codec.hpp"

#include "json_builder.hpp"
#include "json_walk.hpp"
#include "stream_encoder.hpp"
#include "stream_reader.hpp"

namespace marshal {

Result<DecodedJson, MarshalError> decode_to_json(std::span<const std::uint8_t> bytes,
                                                 boost::json::storage_ptr storage) {
  detail::TaggedJsonBuilder builder(std::move(storage));
  auto decoded = detail::StreamReader<detail::TaggedJsonBuilder>(builder, bytes).read();
  if (!decoded) return decoded.take_error();
  return DecodedJson{builder.take(decoded->value), decoded->end_offset, decoded->has_crc};
}

Result<support::ByteBuffer, EncodeFailure> encode_from_json(const JsonValue& json,
                                                            const EncodeOptions& options,
                                                            std::size_t expected_size) {
  using Encoder = detail::StreamEncoder<support::ByteBuffer>;
  Encoder encoder(options, expected_size);
  // The walk runs on past an encoder failure, so that a rebuild error further on still wins.
  auto walked = detail::TaggedJsonWalker<Encoder>(encoder).value(json);
  if (!walked) return unexpected(EncodeFailure{EncodeStep::Rebuild, std::move(walked.error())});
  auto bytes = std::move(encoder).finish();
  if (!bytes) return unexpected(EncodeFailure{EncodeStep::Encode, std::move(bytes.error())});
  return std::move(*bytes);
}

}  // namespace marshal
