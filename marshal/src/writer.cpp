// One pass over the tree, appending to one growing vector: a walk of the tree into the stream
// encoder.
#include "marshal/writer.hpp"

#include "stream_encoder.hpp"
#include "value_walk.hpp"

namespace marshal {

Result<std::vector<std::uint8_t>, MarshalError> write_marshal(const MarshalValue& value,
                                                              const EncodeOptions& options) {
  detail::StreamEncoder<std::vector<std::uint8_t>> encoder(options, 0);
  detail::walk_value(value, encoder);
  return std::move(encoder).finish();
}

}  // namespace marshal
