// The stream reader with its direct paths (numbers made straight in their sequences, short
// byte-string keys read without a node) against the one that reads every member and key through
// its general dispatch, for the unit tests and the fuzz targets: with either builder, the same
// tree or the same error. Empty when they agree, otherwise what differs.
#pragma once

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <span>
#include <string>

#include "helpers/codec_equivalence.hpp"
#include "stream_decode.hpp"

namespace marshal::testing {

// Both ways' outcomes agree: the same error, or the same end, checksum flag and tree.
template <class Outcome, class Same>
std::string outcome_mismatch(const Outcome& direct, const Outcome& plain, Same same) {
  if (!direct || !plain) {
    if (!direct && !plain && direct.error() == plain.error()) return {};
    return "only one way fails, or the errors differ: " +
           (direct ? std::string("ok") : direct.error().message()) + " / " +
           (plain ? std::string("ok") : plain.error().message());
  }
  if (direct->end_offset != plain->end_offset) return "end offsets differ";
  if (direct->has_crc != plain->has_crc) return "checksum flags differ";
  if (!same(direct->value, plain->value)) return "trees differ";
  return {};
}

// The value builder's way. `direct`, when given, receives the tree the direct paths read:
// read_marshal's result.
inline std::string value_paths_mismatch(std::span<const std::uint8_t> bytes,
                                        const ReadOptions& options = {},
                                        Result<DecodedStream, MarshalError>* direct = nullptr) {
  auto direct_values = detail::decode_value_tree<true>(bytes, options);
  const std::string values =
      outcome_mismatch(direct_values, detail::decode_value_tree<false>(bytes, options),
                       [](const MarshalValue& a, const MarshalValue& b) { return a == b; });
  if (direct != nullptr) *direct = std::move(direct_values);
  return values.empty() ? values : "value trees: " + values;
}

// The tagged JSON builder's way; each tree in its own arena, as the program builds it.
inline std::string json_paths_mismatch(std::span<const std::uint8_t> bytes,
                                       const ReadOptions& options = {}) {
  boost::json::monotonic_resource direct_memory;
  boost::json::monotonic_resource plain_memory;
  const std::string json =
      outcome_mismatch(detail::decode_json_tree<true>(bytes, &direct_memory, options),
                       detail::decode_json_tree<false>(bytes, &plain_memory, options),
                       [](const JsonValue& a, const JsonValue& b) { return same_json(a, b); });
  return json.empty() ? json : "JSON trees: " + json;
}

// Both builders' ways.
inline std::string direct_paths_mismatch(std::span<const std::uint8_t> bytes) {
  const std::string values = value_paths_mismatch(bytes);
  return values.empty() ? json_paths_mismatch(bytes) : values;
}

}  // namespace marshal::testing
