// The in-memory form of one decoded marshal object: a strict tree of 14 variants in which every
// node owns its children, so copies are deep and no subtree is ever shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "marshal/big_int.hpp"

namespace marshal {

// An owning pointer that copies its pointee. Rarely used, large payloads live behind one so
// that an ordinary node stays small: large settings files hold millions of nodes.
template <class T>
class Box {
 public:
  explicit Box(T value) : ptr_(std::make_unique<T>(std::move(value))) {}
  Box(const Box& other) : ptr_(std::make_unique<T>(*other.ptr_)) {}
  Box(Box&&) noexcept = default;
  Box& operator=(const Box& other) {
    if (this != &other) ptr_ = std::make_unique<T>(*other.ptr_);
    return *this;
  }
  Box& operator=(Box&&) noexcept = default;
  ~Box() = default;

  T& operator*() { return *ptr_; }
  const T& operator*() const { return *ptr_; }
  T* operator->() { return ptr_.get(); }
  const T* operator->() const { return ptr_.get(); }

 private:
  std::unique_ptr<T> ptr_;
};

class MarshalValue;
struct DictEntry;

struct None {};
struct Bytes {
  std::string data;  // any bytes, not necessarily UTF-8
};
struct Utf8 {
  std::string text;  // always valid UTF-8
};
struct Global {
  std::string name;  // a dotted global name, valid UTF-8
};
struct Tuple {
  std::vector<MarshalValue> items;
};
struct List {
  std::vector<MarshalValue> items;
};
struct Dict {
  std::vector<DictEntry> entries;  // stream order; equal keys stay separate pairs
};
struct Instance;
struct Reduce;
struct Callback;

class MarshalValue {
 public:
  enum class Kind : std::uint8_t {
    None,
    Bool,
    Int,
    Long,
    Float,
    Bytes,
    Utf8,
    Tuple,
    List,
    Dict,
    Global,
    Instance,
    Reduce,
    Callback,
  };

  // A BigInt is boxed: it is 16-byte aligned and would make every node larger.
  using Storage = std::variant<None, bool, std::int64_t, Box<BigInt>, double, Bytes, Utf8, Tuple,
                               List, Dict, Global, Box<Instance>, Box<Reduce>, Box<Callback>>;

  MarshalValue() = default;
  // Defined below DictEntry: Clang instantiates the storage's destructor at each constructor,
  // and that needs every payload type complete.
  MarshalValue(None);            // NOLINT
  MarshalValue(bool b);          // NOLINT
  MarshalValue(std::int64_t i);  // NOLINT
  MarshalValue(BigInt l);        // NOLINT
  MarshalValue(double d);        // NOLINT
  MarshalValue(Bytes b);         // NOLINT
  MarshalValue(Utf8 u);          // NOLINT
  MarshalValue(Tuple t);         // NOLINT
  MarshalValue(List l);          // NOLINT
  MarshalValue(Dict d);          // NOLINT
  MarshalValue(Global g);        // NOLINT
  MarshalValue(Instance i);      // NOLINT
  MarshalValue(Reduce r);        // NOLINT
  MarshalValue(Callback c);      // NOLINT

  Kind kind() const { return static_cast<Kind>(storage_.index()); }

  // Typed access to the payload; nullptr when the node holds another variant. Boxed payloads
  // are unboxed here so callers never see the Box.
  template <class T>
  const T* get_if() const {
    if constexpr (std::is_same_v<T, BigInt> || std::is_same_v<T, Instance> ||
                  std::is_same_v<T, Reduce> || std::is_same_v<T, Callback>) {
      auto* box = std::get_if<Box<T>>(&storage_);
      return box ? &**box : nullptr;
    } else {
      return std::get_if<T>(&storage_);
    }
  }
  template <class T>
  T* get_if() {
    return const_cast<T*>(std::as_const(*this).template get_if<T>());
  }

 private:
  Storage storage_;
};

struct DictEntry {
  MarshalValue key;
  MarshalValue value;
};

struct Instance {
  std::string class_name;  // valid UTF-8
  MarshalValue state;
};

struct Reduce {
  MarshalValue callable;
  MarshalValue args;
  std::optional<MarshalValue> state;  // absent when the stream gave none
  std::vector<MarshalValue> list_items;
  std::vector<DictEntry> dict_items;  // (key, value) in stream order
  bool newobj = false;
};

struct Callback {
  MarshalValue value;
};

// kind() reads the storage index as the Kind: each alternative must sit at its Kind's index.
template <MarshalValue::Kind K, class T>
inline constexpr bool stored_at =
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(K), MarshalValue::Storage>,
                   T>;
static_assert(std::variant_size_v<MarshalValue::Storage> == 14);
static_assert(stored_at<MarshalValue::Kind::None, None>);
static_assert(stored_at<MarshalValue::Kind::Bool, bool>);
static_assert(stored_at<MarshalValue::Kind::Int, std::int64_t>);
static_assert(stored_at<MarshalValue::Kind::Long, Box<BigInt>>);
static_assert(stored_at<MarshalValue::Kind::Float, double>);
static_assert(stored_at<MarshalValue::Kind::Bytes, Bytes>);
static_assert(stored_at<MarshalValue::Kind::Utf8, Utf8>);
static_assert(stored_at<MarshalValue::Kind::Tuple, Tuple>);
static_assert(stored_at<MarshalValue::Kind::List, List>);
static_assert(stored_at<MarshalValue::Kind::Dict, Dict>);
static_assert(stored_at<MarshalValue::Kind::Global, Global>);
static_assert(stored_at<MarshalValue::Kind::Instance, Box<Instance>>);
static_assert(stored_at<MarshalValue::Kind::Reduce, Box<Reduce>>);
static_assert(stored_at<MarshalValue::Kind::Callback, Box<Callback>>);

inline MarshalValue::MarshalValue(None) {}
inline MarshalValue::MarshalValue(bool b) : storage_(std::in_place_index<1>, b) {}
inline MarshalValue::MarshalValue(std::int64_t i) : storage_(std::in_place_index<2>, i) {}
inline MarshalValue::MarshalValue(BigInt l)
    : storage_(std::in_place_index<3>, Box<BigInt>(std::move(l))) {}
inline MarshalValue::MarshalValue(double d) : storage_(std::in_place_index<4>, d) {}
inline MarshalValue::MarshalValue(Bytes b) : storage_(std::move(b)) {}
inline MarshalValue::MarshalValue(Utf8 u) : storage_(std::move(u)) {}
inline MarshalValue::MarshalValue(Tuple t) : storage_(std::move(t)) {}
inline MarshalValue::MarshalValue(List l) : storage_(std::move(l)) {}
inline MarshalValue::MarshalValue(Dict d) : storage_(std::move(d)) {}
inline MarshalValue::MarshalValue(Global g) : storage_(std::move(g)) {}
inline MarshalValue::MarshalValue(Instance i) : storage_(Box<Instance>(std::move(i))) {}
inline MarshalValue::MarshalValue(Reduce r) : storage_(Box<Reduce>(std::move(r))) {}
inline MarshalValue::MarshalValue(Callback c) : storage_(Box<Callback>(std::move(c))) {}

// Structural equality for tests and round-trip checks. Floats compare bit for bit, so NaN equals
// a NaN with the same payload and 0.0 differs from -0.0; Longs compare by value.
bool operator==(const MarshalValue& a, const MarshalValue& b);
bool operator==(const DictEntry& a, const DictEntry& b);

}  // namespace marshal
