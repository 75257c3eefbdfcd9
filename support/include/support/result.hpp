// The value-or-error type of the whole project, shaped like std::expected, so failures travel as
// values and the code can move to std::expected once the compilers in use ship it. It sits
// beneath both the codec library and the program.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace support {

// Wraps an error so that a Result whose value and error types coincide stays unambiguous.
template <class E>
struct Unexpected {
  E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
  return Unexpected<std::decay_t<E>>{std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(const T& value) : storage_(std::in_place_index<0>, value) {}        // NOLINT
  Result(T&& value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  template <class G>
  Result(Unexpected<G> failure)  // NOLINT
      : storage_(std::in_place_index<1>, std::move(failure.error)) {}

  bool has_value() const { return storage_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(storage_); }
  const T& value() const& { return std::get<0>(storage_); }
  T&& value() && { return std::get<0>(std::move(storage_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return std::get<1>(storage_); }
  const E& error() const& { return std::get<1>(storage_); }
  E&& error() && { return std::get<1>(std::move(storage_)); }
  // Hands a failure on unchanged: `if (!r) return r.take_error();`
  Unexpected<E> take_error() { return Unexpected<E>{std::get<1>(std::move(storage_))}; }

 private:
  std::variant<T, E> storage_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class G>
  Result(Unexpected<G> failure) : error_(std::move(failure.error)) {}  // NOLINT

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  void value() const {}

  E& error() & { return *error_; }
  const E& error() const& { return *error_; }
  E&& error() && { return std::move(*error_); }
  Unexpected<E> take_error() { return Unexpected<E>{std::move(*error_)}; }

 private:
  std::optional<E> error_;
};

}  // namespace support
