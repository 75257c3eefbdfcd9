// The fused pair: the stream reader driving the tagged JSON builder, and the tagged JSON walker
// driving the stream encoder.
#include "marshal/json_codec.hpp"

#include "json_walk.hpp"
#include "stream_decode.hpp"
#include "stream_encoder.hpp"

namespace marshal {

Result<DecodedJson, MarshalError> decode_to_json(std::span<const std::uint8_t> bytes,
                                                 boost::json::storage_ptr storage) {
  return detail::decode_json_tree(bytes, std::move(storage));
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
