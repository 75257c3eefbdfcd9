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

// Calls `visit` on every direct child of `v`, dict keys included, in stream order. `V` is
// MarshalValue or const MarshalValue.
template <class V, class Visit>
void for_each_child(V& v, Visit&& visit) {
  const auto items = [&](auto& list) {
    for (auto& item : list) visit(item);
  };
  const auto entries = [&](auto& pairs) {
    for (auto& entry : pairs) {
      visit(entry.key);
      visit(entry.value);
    }
  };
  using Kind = MarshalValue::Kind;
  switch (v.kind()) {
    case Kind::None:
    case Kind::Bool:
    case Kind::Int:
    case Kind::Long:
    case Kind::Float:
    case Kind::Bytes:
    case Kind::Utf8:
    case Kind::Global:
      return;
    case Kind::Tuple:
      return items(v.template get_if<Tuple>()->items);
    case Kind::List:
      return items(v.template get_if<List>()->items);
    case Kind::Dict:
      return entries(v.template get_if<Dict>()->entries);
    case Kind::Instance:
      return visit(v.template get_if<Instance>()->state);
    case Kind::Reduce: {
      auto& r = *v.template get_if<Reduce>();
      visit(r.callable);
      visit(r.args);
      if (r.state) visit(*r.state);
      items(r.list_items);
      return entries(r.dict_items);
    }
    case Kind::Callback:
      return visit(v.template get_if<Callback>()->value);
  }
}

// The one loss of a write and read-back: FLOAT_0 carries no sign, so -0.0 comes back as +0.0.
inline void positive_zeros(MarshalValue& v) {
  if (v.kind() == MarshalValue::Kind::Float && *v.get_if<double>() == 0.0) v = MarshalValue(0.0);
  for_each_child(v, [](MarshalValue& child) { positive_zeros(child); });
}

}  // namespace marshal::testing
