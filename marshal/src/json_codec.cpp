// The fused pair: the stream reader driving the tagged JSON builder, and the tagged JSON walker
// driving the stream encoder.
#include "marshal/json_codec.hpp"

#include "json_walk.hpp"
#include "stream_decode.hpp"
#include "stream_encoder.hpp"

namespace marshal {

Result<DecodedJson, MarshalError> decode_to_json(std::span<const std::uint8_t> bytes,
                                                 boost::json::storage_ptr storage,
                                                 const ReadOptions& options) {
  return detail::decode_json_tree(bytes, std::move(storage), options);
}

Result<void, EncodeFailure> encode_from_json(const JsonValue& json, const EncodeOptions& options,
                                             ByteOutput& out) {
  detail::StreamEncoder encoder(options, out);
  // The walk runs on past an encoder failure, so that a rebuild error further on still wins.
  auto walked = detail::TaggedJsonWalker<detail::StreamEncoder>(encoder).value(json);
  if (!walked) {
    out.resize(0);
    return unexpected(EncodeFailure{EncodeStep::Rebuild, std::move(walked.error())});
  }
  auto written = std::move(encoder).finish();
  if (!written) return unexpected(EncodeFailure{EncodeStep::Encode, std::move(written.error())});
  return {};
}

}  // namespace marshal
