#include "marshal/value.hpp"

#include <bit>
#include <cstdint>

namespace marshal {
namespace {

template <class T>
bool same_items(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!(a[i] == b[i])) return false;
  }
  return true;
}

}  // namespace

bool operator==(const DictEntry& a, const DictEntry& b) {
  return a.key == b.key && a.value == b.value;
}

bool operator==(const MarshalValue& a, const MarshalValue& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case MarshalValue::Kind::None:
      return true;
    case MarshalValue::Kind::Bool:
      return *a.get_if<bool>() == *b.get_if<bool>();
    case MarshalValue::Kind::Int:
      return *a.get_if<std::int64_t>() == *b.get_if<std::int64_t>();
    case MarshalValue::Kind::Long:
      return *a.get_if<BigInt>() == *b.get_if<BigInt>();
    case MarshalValue::Kind::Float:
      return std::bit_cast<std::uint64_t>(*a.get_if<double>()) ==
             std::bit_cast<std::uint64_t>(*b.get_if<double>());
    case MarshalValue::Kind::Bytes:
      return a.get_if<Bytes>()->data == b.get_if<Bytes>()->data;
    case MarshalValue::Kind::Utf8:
      return a.get_if<Utf8>()->text == b.get_if<Utf8>()->text;
    case MarshalValue::Kind::Tuple:
      return same_items(a.get_if<Tuple>()->items, b.get_if<Tuple>()->items);
    case MarshalValue::Kind::List:
      return same_items(a.get_if<List>()->items, b.get_if<List>()->items);
    case MarshalValue::Kind::Dict:
      return same_items(a.get_if<Dict>()->entries, b.get_if<Dict>()->entries);
    case MarshalValue::Kind::Global:
      return a.get_if<Global>()->name == b.get_if<Global>()->name;
    case MarshalValue::Kind::Instance: {
      const Instance& x = *a.get_if<Instance>();
      const Instance& y = *b.get_if<Instance>();
      return x.class_name == y.class_name && x.state == y.state;
    }
    case MarshalValue::Kind::Reduce: {
      const Reduce& x = *a.get_if<Reduce>();
      const Reduce& y = *b.get_if<Reduce>();
      return x.newobj == y.newobj && x.callable == y.callable && x.args == y.args &&
             x.state.has_value() == y.state.has_value() && (!x.state || *x.state == *y.state) &&
             same_items(x.list_items, y.list_items) && same_items(x.dict_items, y.dict_items);
    }
    case MarshalValue::Kind::Callback:
      return a.get_if<Callback>()->value == b.get_if<Callback>()->value;
  }
  return false;
}

}  // namespace marshal
