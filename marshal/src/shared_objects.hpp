// The shared objects of one stream: the slot each flagged value claims, what a copy of each
// slot's value costs, and the budget all copies draw on. The nodes themselves stay with the
// reader, whose handler made them.
//
// A reference gives a copy of a whole subtree, so a few bytes can ask for a tree of any size or
// depth. Copies (slot fills and references together) may take roughly the budget's memory before
// the stream is refused, and a copy must not carry the tree past the depth limit; real files
// share small values and stay far below both. Container keys nested in container keys draw on
// the same budget, as their texts double with each level.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "marshal/value.hpp"
#include "stream_cursor.hpp"

namespace marshal::detail {

// What a copy of a value costs: the nesting levels it spans (itself included, counted as the
// writer counts them) and a rough figure for the memory its value tree takes, the texts of its
// container keys included.
struct Weight {
  std::uint32_t height = 1;
  std::uint64_t bytes = sizeof(MarshalValue);
};

// What a copy of a value that holds no other costs.
inline Weight leaf(std::uint64_t payload_bytes = 0) {
  return Weight{1, sizeof(MarshalValue) + payload_bytes};
}

inline Weight add_child(Weight parent, Weight child, std::uint32_t levels_down) {
  parent.height = std::max(parent.height, child.height + levels_down);
  parent.bytes += child.bytes;
  return parent;
}

// The variants whose key text is "json:" and their compact JSON.
inline bool keyed_by_json(MarshalValue::Kind kind) {
  using Kind = MarshalValue::Kind;
  switch (kind) {
    case Kind::None:
    case Kind::Bool:
    case Kind::Int:
    case Kind::Long:
    case Kind::Float:
    case Kind::Bytes:
    case Kind::Utf8:
    case Kind::Global:
      return false;
    case Kind::Tuple:
    case Kind::List:
    case Kind::Dict:
    case Kind::Instance:
    case Kind::Reduce:
    case Kind::Callback:
      return true;
  }
  return true;  // unreachable: every variant returns above
}

// The first members of a tuple, which a REDUCE or NEWOBJ payload turns into fields.
struct TupleHead {
  std::array<Weight, 3> members{};
  std::size_t size = 0;  // how many members the tuple has
};

// A slot's value as the reader needs it beside the node: a claimed slot not yet filled holds
// None.
struct SlotValue {
  Weight weight;
  MarshalValue::Kind kind = MarshalValue::Kind::None;
  TupleHead head;         // of a Tuple
  std::string_view text;  // of Bytes: its bytes in the input, for an INSTANCE's class name
  bool holds_container_key = false;
};

class SharedObjects {
 public:
  // Copies may take `copy_budget_floor` bytes, and some more for every byte of input.
  SharedObjects(std::uint64_t copy_budget_floor, std::size_t input_size);

  // `map`: the entries of a mapped stream's shared-object map; none in sequential mode, where
  // slots are made as they are claimed.
  void start(Mode mode, std::vector<std::int32_t> map);

  // The slot a flagged value claims.
  Read<std::size_t> claim();
  // A value complete under its claim; its copy draws on the budget.
  Read<void> fill(std::size_t slot, const SlotValue& value);
  // The slot a REFERENCE names by `id`, for a copy landing at nesting level `depth`; the copy
  // draws on the budget.
  Read<std::size_t> resolve(std::int32_t id, std::uint32_t depth);
  // What a dictionary's container key (keyed_by_json) of weight `key` adds to its dictionary. Its
  // text is the JSON of itself, in which the texts of the container keys it holds are escaped once
  // more, so each level may double the text: a few bytes nested deep could ask for a text of any
  // length. That doubling draws on the budget, and no container key may weigh more than a key's
  // text can hold.
  Read<Weight> container_key(Weight key, bool holds_container_key);
  const SlotValue& operator[](std::size_t slot) const { return slots_[slot]; }
  std::size_t size() const { return slots_.size(); }

  // Where the slots and the budget stand, so that a stretch of reading can be taken back: the
  // slots made since are dropped, and those filled since are put back with put_back.
  struct Mark {
    std::size_t map_used = 0;
    std::size_t slot_count = 0;
    std::uint64_t copied = 0;
  };
  Mark mark() const { return Mark{map_used_, slots_.size(), copied_}; }
  void rewind(const Mark& mark);
  void put_back(std::size_t slot, const SlotValue& value) { slots_[slot] = value; }

 private:
  Read<void> spend(std::uint64_t bytes, const char* detail);

  Mode mode_ = Mode::Sequential;
  std::vector<std::int32_t> map_;
  std::size_t map_used_ = 0;
  std::vector<SlotValue> slots_;
  std::uint64_t copied_ = 0;
  std::uint64_t copy_budget_;
};

}  // namespace marshal::detail
