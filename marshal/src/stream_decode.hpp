// The library's decodes, read_marshal, decode_to_json and decode_selected_json, as the steps they
// take: the stream reader with a builder, then the builder's result. The reader's direct paths are
// a parameter, so the tests run its plain path through the very same steps.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "json_builder.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/member_selection.hpp"
#include "marshal/reader.hpp"
#include "selecting_json_builder.hpp"
#include "stream_reader.hpp"
#include "value_builder.hpp"

namespace marshal::detail {

template <bool DIRECT_PATHS = true>
Result<DecodedStream, MarshalError> decode_value_tree(std::span<const std::uint8_t> bytes,
                                                      const ReadOptions& options) {
  ValueBuilder builder;
  StreamReader<ValueBuilder, DIRECT_PATHS> reader(builder, bytes, options);
  auto root = reader.read();
  if (!root) return root.take_error();
  return DecodedStream{std::move(*root), reader.end_offset(), reader.has_crc()};
}

template <bool DIRECT_PATHS = true>
Result<DecodedJson, MarshalError> decode_json_tree(std::span<const std::uint8_t> bytes,
                                                   boost::json::storage_ptr storage,
                                                   const ReadOptions& options) {
  TaggedJsonBuilder builder(std::move(storage));
  StreamReader<TaggedJsonBuilder, DIRECT_PATHS> reader(builder, bytes, options);
  auto root = reader.read();
  if (!root) return root.take_error();
  return DecodedJson{builder.take(*root), reader.end_offset(), reader.has_crc()};
}

template <bool DIRECT_PATHS = true>
Result<DecodedJson, MarshalError> decode_selected_tree(std::span<const std::uint8_t> bytes,
                                                       const MemberSelection& selection,
                                                       boost::json::storage_ptr storage,
                                                       const ReadOptions& options) {
  SelectingJsonBuilder builder(std::move(storage), selection);
  StreamReader<SelectingJsonBuilder, DIRECT_PATHS> reader(builder, bytes, options);
  auto root = reader.read();
  if (!root) return root.take_error();
  return DecodedJson{builder.take(*root), reader.end_offset(), reader.has_crc()};
}

}  // namespace marshal::detail
