// One pass over the tree, appending to one growing vector: a walk of the tree into the stream
// encoder.
#include "marshal/writer.hpp"

#include "stream_encoder.hpp"
#include "value_walk.hpp"

namespace marshal {

Result<std::vector<std::uint8_t>, MarshalError> write_marshal(const MarshalValue& value,
                                                              const EncodeOptions& options) {
  std::vector<std::uint8_t> bytes;
  VectorOutput out(bytes);
  detail::StreamEncoder encoder(options, out);
  detail::walk_value(value, encoder);
  if (auto done = std::move(encoder).finish(); !done) return done.take_error();
  return bytes;
}

}  // namespace marshal
