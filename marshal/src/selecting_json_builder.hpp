// The tagged JSON builder for a selective decode: only the selected members of the dictionaries
// on a selection's paths are built, and in them every node as the whole tree has it. Values left
// out make no node; the reader still reads them through, every rule checked.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "json_builder.hpp"
#include "marshal/member_selection.hpp"
#include "value_events.hpp"

namespace marshal::detail {

class SelectingJsonBuilder {
  using Inner = TaggedJsonBuilder;
  using Member = MemberSelection::Member;

 public:
  // A place on the inner builder's stack, or SKIPPED for a value left out.
  using Node = std::size_t;
  static constexpr Node SKIPPED = SIZE_MAX;

  // How the next value is read: left out, built whole, or (a dictionary) cut down to the members
  // `member` selects; any other value in Select mode is built whole.
  struct Mode {
    enum class Kind : std::uint8_t { Skip, Build, Select } kind = Kind::Build;
    const Member* member = nullptr;
  };
  // Each frame keeps the mode its container was read in, which its members may not share.
  struct Sequence {
    Inner::Sequence inner;
    Mode own;
  };
  struct DictFrame {
    Inner::DictFrame inner;
    Mode own;
  };
  struct InstanceFrame {
    Inner::InstanceFrame inner;
    Mode own;
  };
  struct CallbackFrame {
    Mode own;
  };
  struct ReduceFrame {
    Inner::ReduceFrame inner;
    Mode own;
  };
  using Kept = Inner::Kept;

  SelectingJsonBuilder(boost::json::storage_ptr storage, const MemberSelection& selection)
      : inner_(std::move(storage)), mode_(mode_of(selection.root())) {}

  Node none() { return skips() ? SKIPPED : inner_.none(); }
  Node boolean(bool b) { return skips() ? SKIPPED : inner_.boolean(b); }
  Node integer(std::int64_t i) { return skips() ? SKIPPED : inner_.integer(i); }
  Node big(const BigInt& l) { return skips() ? SKIPPED : inner_.big(l); }
  Node real(double d) { return skips() ? SKIPPED : inner_.real(d); }
  Node bytes(std::string_view data) { return skips() ? SKIPPED : inner_.bytes(data); }
  Node utf8(std::string_view text) { return skips() ? SKIPPED : inner_.utf8(text); }
  Node global(std::string_view name) { return skips() ? SKIPPED : inner_.global(name); }

  Sequence begin_tuple(std::size_t n) { return begin_sequence(n); }
  Sequence begin_list(std::size_t n) { return begin_sequence(n); }
  void add_item(Sequence& sequence, Node item) {
    if (skipped(sequence.own)) return drop(item);
    inner_.add_item(sequence.inner, item);
  }
  void add_integer(Sequence& sequence, std::int64_t i) {
    if (!skipped(sequence.own)) inner_.add_integer(sequence.inner, i);
  }
  void add_real(Sequence& sequence, double d) {
    if (!skipped(sequence.own)) inner_.add_real(sequence.inner, d);
  }
  Node end_tuple(Sequence&& sequence) {
    mode_ = sequence.own;
    return skips() ? SKIPPED : inner_.end_tuple(std::move(sequence.inner));
  }
  Node end_list(Sequence&& sequence) {
    mode_ = sequence.own;
    return skips() ? SKIPPED : inner_.end_list(std::move(sequence.inner));
  }

  // A dictionary in Select mode has its members' modes set by the reader, entry by entry.
  DictFrame begin_dict(std::size_t n) {
    const Mode own = mode_;
    switch (own.kind) {
      case Mode::Kind::Skip:
        return DictFrame{Inner::DictFrame(), own};
      case Mode::Kind::Build:
        return DictFrame{inner_.begin_dict(n), own};
      case Mode::Kind::Select:
        return DictFrame{inner_.begin_dict(std::min(n, own.member->members.size())), own};
    }
    return DictFrame{Inner::DictFrame(), own};  // unreachable: every mode returns above
  }
  // The key is made after its value, so it goes first.
  void add_entry(DictFrame& dict, Node key, Node value) {
    if (!skipped(dict.own)) return inner_.add_entry(dict.inner, key, value);
    drop(key);
    drop(value);
  }
  void add_bytes_entry(DictFrame& dict, std::string_view key, Node value) {
    if (skipped(dict.own)) return drop(value);
    inner_.add_bytes_entry(dict.inner, key, value);
  }
  Node end_dict(DictFrame&& dict) {
    mode_ = dict.own;
    return skips() ? SKIPPED : inner_.end_dict(std::move(dict.inner));
  }

  InstanceFrame begin_instance(std::string_view class_name) {
    const Mode own = enter_members();
    return InstanceFrame{skipped(own) ? Inner::InstanceFrame() : inner_.begin_instance(class_name),
                         own};
  }
  Node end_instance(InstanceFrame&& frame, Node state) {
    mode_ = frame.own;
    if (!skips()) return inner_.end_instance(std::move(frame.inner), state);
    drop(state);
    return SKIPPED;
  }

  CallbackFrame begin_callback() { return CallbackFrame{enter_members()}; }
  Node end_callback(CallbackFrame&& frame, Node value) {
    mode_ = frame.own;
    if (!skips()) return inner_.end_callback(Inner::CallbackFrame(), value);
    drop(value);
    return SKIPPED;
  }

  ReduceFrame begin_reduce(bool newobj, std::size_t n) {
    const Mode own = enter_members();
    return ReduceFrame{skipped(own) ? Inner::ReduceFrame() : inner_.begin_reduce(newobj, n), own};
  }
  void reduce_field(ReduceFrame& frame, ReduceField field, Node value) {
    if (skipped(frame.own)) return drop(value);
    inner_.reduce_field(frame.inner, field, value);
  }
  void reduce_list_item(ReduceFrame& frame, Node item) {
    if (skipped(frame.own)) return drop(item);
    inner_.reduce_list_item(frame.inner, item);
  }
  // The value is made after its key, so it goes first.
  void reduce_dict_item(ReduceFrame& frame, Node key, Node value) {
    if (!skipped(frame.own)) return inner_.reduce_dict_item(frame.inner, key, value);
    drop(value);
    drop(key);
  }
  Node end_reduce(ReduceFrame&& frame) {
    mode_ = frame.own;
    return skips() ? SKIPPED : inner_.end_reduce(std::move(frame.inner));
  }

  void begin_key() { inner_.begin_key(); }
  void end_key() { inner_.end_key(); }

  // A shared value is always built (see build_shared), so it has a node to keep.
  Kept keep(Node node) {
    assert(node != SKIPPED);
    return inner_.keep(node);
  }
  Node copy(const Kept& kept) { return skips() ? SKIPPED : inner_.copy(kept); }
  Node payload_member(Node payload, std::size_t index) {
    return payload == SKIPPED ? SKIPPED : inner_.payload_member(payload, index);
  }
  void discard(Node node) { drop(node); }

  // What the reader asks of a selecting handler (SelectingHandler).
  bool builds_next() const { return mode_.kind == Mode::Kind::Build; }
  Mode build_shared() { return std::exchange(mode_, Mode{Mode::Kind::Build, nullptr}); }
  void resume(Mode mode) { mode_ = mode; }
  bool selects_members(const DictFrame& dict) const { return dict.own.kind == Mode::Kind::Select; }
  void skip_next() { mode_ = Mode{Mode::Kind::Skip, nullptr}; }
  void build_next() { mode_ = Mode{Mode::Kind::Build, nullptr}; }
  void next_as(Mode mode) { mode_ = mode; }
  std::optional<Mode> chosen(const DictFrame& dict, Node key) {
    return chosen_by_text(dict, inner_.key_text(key, key_scratch_));
  }
  std::optional<Mode> chosen_bytes(const DictFrame& dict, std::string_view key) {
    return chosen_by_text(dict, inner_.bytes_key_text(key));
  }

  // The root, handed over.
  JsonValue take(Node node) { return inner_.take(node); }

 private:
  static Mode mode_of(const Member& member) {
    return member.whole ? Mode{Mode::Kind::Build, nullptr} : Mode{Mode::Kind::Select, &member};
  }
  static bool skipped(Mode mode) { return mode.kind == Mode::Kind::Skip; }
  bool skips() const { return skipped(mode_); }
  void drop(Node node) {
    if (node != SKIPPED) inner_.discard(node);
  }

  // The members of a container that is no dictionary: left out with it, or built whole, Select
  // mode included.
  Mode enter_members() {
    const Mode own = mode_;
    if (own.kind == Mode::Kind::Select) mode_ = Mode{Mode::Kind::Build, nullptr};
    return own;
  }
  Sequence begin_sequence(std::size_t n) {
    const Mode own = enter_members();
    return Sequence{skipped(own) ? Inner::Sequence() : inner_.begin_tuple(n), own};
  }

  static std::optional<Mode> chosen_by_text(const DictFrame& dict, std::string_view key) {
    const Member* member = MemberSelection::find(*dict.own.member, key);
    if (member == nullptr) return std::nullopt;
    return mode_of(*member);
  }

  Inner inner_;
  Mode mode_;
  std::string key_scratch_;
};

static_assert(SelectingHandler<SelectingJsonBuilder>);

}  // namespace marshal::detail
