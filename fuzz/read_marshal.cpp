// Feeds arbitrary bytes to the stream reader. Whatever it accepts must survive a write and a
// second read unchanged, so the reader and the writer are checked against each other. The
// reader's direct paths must also give what its plain path gives, with either builder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "helpers/plain_reader.hpp"
#include "helpers/value_helpers.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "read_options.hpp"

namespace {

using marshal::DictEntry;
using marshal::MarshalValue;

// Nesting levels of a tree as the writer lays it out: a Reduce's callable, args and state sit in
// a payload tuple one level further down.
std::uint32_t depth_of(const MarshalValue& v);

std::uint32_t deepest_item(const std::vector<MarshalValue>& items) {
  std::uint32_t d = 0;
  for (const auto& item : items) d = std::max(d, depth_of(item));
  return d;
}

std::uint32_t deepest_entry(const std::vector<DictEntry>& entries) {
  std::uint32_t d = 0;
  for (const auto& e : entries) d = std::max({d, depth_of(e.key), depth_of(e.value)});
  return d;
}

std::uint32_t depth_of(const MarshalValue& v) {
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
      return 1;
    case Kind::Tuple:
      return 1 + deepest_item(v.get_if<marshal::Tuple>()->items);
    case Kind::List:
      return 1 + deepest_item(v.get_if<marshal::List>()->items);
    case Kind::Dict:
      return 1 + deepest_entry(v.get_if<marshal::Dict>()->entries);
    case Kind::Instance:
      return 1 + depth_of(v.get_if<marshal::Instance>()->state);
    case Kind::Reduce: {
      const auto& r = *v.get_if<marshal::Reduce>();
      std::uint32_t payload = std::max(depth_of(r.callable), depth_of(r.args));
      if (r.state) payload = std::max(payload, depth_of(*r.state));
      return 1 + std::max({payload + 1, deepest_item(r.list_items), deepest_entry(r.dict_items)});
    }
    case Kind::Callback:
      return 1 + depth_of(v.get_if<marshal::Callback>()->value);
  }
  return 1;
}

using marshal::testing::positive_zeros;

bool is_recursion_limit(const marshal::MarshalError& e) {
  return e.kind() == marshal::MarshalErrorKind::RecursionLimit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  marshal::Result<marshal::DecodedStream, marshal::MarshalError> decoded =
      marshal::unexpected(marshal::MarshalError::unexpected_end());
  if (!marshal::testing::value_paths_mismatch(input, marshal::fuzzing::READ_OPTIONS, &decoded)
           .empty() ||
      !marshal::testing::json_paths_mismatch(input, marshal::fuzzing::READ_OPTIONS).empty()) {
    std::abort();
  }
  if (!decoded) return 0;
  if (decoded->end_offset > size) std::abort();

  // The reader promises trees no deeper than its own limit, references included.
  const std::uint32_t depth = depth_of(decoded->value);
  if (depth > marshal::MAX_DEPTH) std::abort();
  // With a checksum the reader counts one level above the root, so a tree that already uses
  // every level may be refused on the way back, by the writer or by the second read.
  const bool may_be_too_deep = decoded->has_crc && depth == marshal::MAX_DEPTH;

  const marshal::EncodeOptions options{decoded->has_crc, 1};
  auto encoded = marshal::write_marshal(decoded->value, options);
  if (!encoded) {
    if (may_be_too_deep && is_recursion_limit(encoded.error())) return 0;
    std::abort();
  }
  auto again = marshal::read_marshal(*encoded, marshal::fuzzing::READ_OPTIONS);
  if (!again) {
    if (may_be_too_deep && is_recursion_limit(again.error())) return 0;
    std::abort();
  }
  if (again->has_crc != options.write_crc || again->end_offset != encoded->size()) std::abort();
  positive_zeros(decoded->value);
  if (!(again->value == decoded->value)) std::abort();
  return 0;
}
