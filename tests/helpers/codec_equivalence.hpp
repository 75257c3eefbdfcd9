// The fused codec against the composed one, for the differential unit test and fuzz target: each
// check gives an empty text when both ways agree, otherwise what differs.
#pragma once

#include <algorithm>
#include <bit>
#include <boost/json/serialize.hpp>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"

namespace marshal::testing {

// The same kinds, members in the same order, and doubles with the same bits: == alone takes
// 0.0 for -0.0, an integer for the same number of the other signedness, and objects in any order.
inline bool same_json(const JsonValue& a, const JsonValue& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case boost::json::kind::double_:
      return std::bit_cast<std::uint64_t>(a.get_double()) ==
             std::bit_cast<std::uint64_t>(b.get_double());
    case boost::json::kind::array:
      return std::ranges::equal(a.get_array(), b.get_array(), same_json);
    case boost::json::kind::object:
      return std::ranges::equal(a.get_object(), b.get_object(), [](const auto& x, const auto& y) {
        return x.key() == y.key() && same_json(x.value(), y.value());
      });
    default:
      return a == b;
  }
}

// decode_to_json against read_marshal then value_to_json. `fused` receives the fused tree when
// both succeed.
inline std::string decode_mismatch(std::span<const std::uint8_t> bytes, JsonValue* fused = nullptr,
                                   const ReadOptions& options = {}) {
  const auto composed = read_marshal(bytes, options);
  auto direct = decode_to_json(bytes, {}, options);
  if (!composed || !direct) {
    if (!composed && !direct) {
      if (composed.error() == direct.error()) return {};
      return "decode errors differ: " + composed.error().message() + " / " +
             direct.error().message();
    }
    return !composed ? "only the fused load succeeds: " + composed.error().message()
                     : "only the composed load succeeds: " + direct.error().message();
  }
  if (composed->end_offset != direct->end_offset) return "end offsets differ";
  if (composed->has_crc != direct->has_crc) return "checksum flags differ";
  const JsonValue expected = value_to_json(composed->value);
  if (!same_json(expected, direct->value)) {
    return "trees differ: " + boost::json::serialize(expected) + " / " +
           boost::json::serialize(direct->value);
  }
  if (fused != nullptr) *fused = std::move(direct->value);
  return {};
}

// encode_from_json into a plain vector.
inline Result<std::vector<std::uint8_t>, EncodeFailure> encode_json(const JsonValue& json,
                                                                    const EncodeOptions& options) {
  std::vector<std::uint8_t> bytes;
  VectorOutput out(bytes);
  if (auto done = encode_from_json(json, options, out); !done) return done.take_error();
  return bytes;
}

// encode_from_json against json_to_value then write_marshal, where the rebuild error wins.
inline std::string encode_mismatch(const JsonValue& json, const EncodeOptions& options) {
  const auto direct = encode_json(json, options);
  const auto value = json_to_value(json);
  if (!value) {
    if (!direct && direct.error().step == EncodeStep::Rebuild &&
        direct.error().error == value.error()) {
      return {};
    }
    return "rebuild error not reported as such: " + value.error().message();
  }
  const auto composed = write_marshal(*value, options);
  if (!composed) {
    if (!direct && direct.error().step == EncodeStep::Encode &&
        direct.error().error == composed.error()) {
      return {};
    }
    return "encode error not reported as such: " + composed.error().message();
  }
  if (!direct) return "only the composed save succeeds: " + direct.error().error.message();
  if (!std::ranges::equal(*direct, *composed)) return "bytes differ";
  return {};
}

}  // namespace marshal::testing
