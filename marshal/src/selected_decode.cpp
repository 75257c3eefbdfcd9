// The selective decode, in a unit of its own: beside the fused pair it would change how the
// compiler inlines their hot paths (docs/DESIGN.md).
#include <utility>

#include "marshal/json_codec.hpp"
#include "stream_decode.hpp"

namespace marshal {

Result<DecodedJson, MarshalError> decode_selected_json(std::span<const std::uint8_t> bytes,
                                                       const MemberSelection& selection,
                                                       boost::json::storage_ptr storage,
                                                       const ReadOptions& options) {
  return detail::decode_selected_tree(bytes, selection, std::move(storage), options);
}

}  // namespace marshal
