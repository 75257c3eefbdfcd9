// Small helpers shared by the codec's tests and fuzz targets: short builders for values, golden
// bytes written as hex, and the one normalisation a write and read-back needs.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "marshal/value.hpp"

namespace marshal::testing {

inline MarshalValue bytes(std::string data) { return Bytes{std::move(data)}; }
inline MarshalValue utf8(std::string text) { return Utf8{std::move(text)}; }
inline MarshalValue big(const char* decimal) { return BigInt(decimal); }
inline MarshalValue big(BigInt value) { return value; }
inline MarshalValue tuple(std::vector<MarshalValue> items) { return Tuple{std::move(items)}; }
inline MarshalValue list(std::vector<MarshalValue> items) { return List{std::move(items)}; }
inline MarshalValue dict(std::vector<DictEntry> entries) { return Dict{std::move(entries)}; }
inline MarshalValue float_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

// "7D 01 0F" -> {0x7D, 0x01, 0x0F}; spaces between the pairs of digits are optional.
inline std::vector<std::uint8_t> hex(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::string digits;
  for (const char ch : text) {
    if (ch == ' ') continue;
    digits.push_back(ch);
    if (digits.size() == 2) {
      out.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return out;
}

// The one loss of a write and read-back: FLOAT_0 carries no sign, so -0.0 comes back as +0.0.
inline void positive_zeros(MarshalValue& v);

inline void positive_zeros(std::vector<MarshalValue>& items) {
  for (MarshalValue& item : items) positive_zeros(item);
}

inline void positive_zeros(std::vector<DictEntry>& entries) {
  for (DictEntry& entry : entries) {
    positive_zeros(entry.key);
    positive_zeros(entry.value);
  }
}

inline void positive_zeros(MarshalValue& v) {
  using Kind = MarshalValue::Kind;
  switch (v.kind()) {
    case Kind::None:
    case Kind::Bool:
    case Kind::Int:
    case Kind::Long:
    case Kind::Bytes:
    case Kind::Utf8:
    case Kind::Global:
      return;
    case Kind::Float:
      if (*v.get_if<double>() == 0.0) v = MarshalValue(0.0);
      return;
    case Kind::Tuple:
      return positive_zeros(v.get_if<Tuple>()->items);
    case Kind::List:
      return positive_zeros(v.get_if<List>()->items);
    case Kind::Dict:
      return positive_zeros(v.get_if<Dict>()->entries);
    case Kind::Instance:
      return positive_zeros(v.get_if<Instance>()->state);
    case Kind::Reduce: {
      Reduce& r = *v.get_if<Reduce>();
      positive_zeros(r.callable);
      positive_zeros(r.args);
      if (r.state) positive_zeros(*r.state);
      positive_zeros(r.list_items);
      return positive_zeros(r.dict_items);
    }
    case Kind::Callback:
      return positive_zeros(v.get_if<Callback>()->value);
  }
}

}  // namespace marshal::testing
