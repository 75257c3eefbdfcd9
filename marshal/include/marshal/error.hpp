// The one error type of the codec and the JSON bridge: a plain value returned in place of a
// result, turned into its single line of text only when the tool prints it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/result.hpp"

namespace marshal {

using support::Result;
using support::unexpected;
using support::Unexpected;

enum class MarshalErrorKind : std::uint8_t {
  UnexpectedEnd,
  InvalidStream,
  InvalidReference,
  ChecksumMismatch,
  UnsupportedFeature,
  RecursionLimit,
  InvalidJsonEncoding,
};

class MarshalError {
 public:
  static MarshalError unexpected_end() { return MarshalError(MarshalErrorKind::UnexpectedEnd); }
  static MarshalError invalid_stream(std::string detail) {
    return MarshalError(MarshalErrorKind::InvalidStream, std::move(detail));
  }
  static MarshalError invalid_reference(std::int64_t id) {
    MarshalError e(MarshalErrorKind::InvalidReference);
    e.id_ = id;
    return e;
  }
  static MarshalError checksum_mismatch() {
    return MarshalError(MarshalErrorKind::ChecksumMismatch);
  }
  // `feature` is the refused tag's fixed name, such as "TY_COMPLEX".
  static MarshalError unsupported_feature(std::string feature) {
    return MarshalError(MarshalErrorKind::UnsupportedFeature, std::move(feature));
  }
  static MarshalError recursion_limit() { return MarshalError(MarshalErrorKind::RecursionLimit); }
  static MarshalError invalid_json_encoding(std::string detail) {
    return MarshalError(MarshalErrorKind::InvalidJsonEncoding, std::move(detail));
  }

  MarshalErrorKind kind() const { return kind_; }
  // The detail of InvalidStream and InvalidJsonEncoding, the feature of UnsupportedFeature.
  const std::string& detail() const { return detail_; }
  // The id of InvalidReference, as read from the stream.
  std::int64_t reference_id() const { return id_; }

  // The whole printed form, such as "invalid marshal stream: negative mapcount".
  std::string message() const;

  friend bool operator==(const MarshalError&, const MarshalError&) = default;

 private:
  explicit MarshalError(MarshalErrorKind kind, std::string detail = {})
      : kind_(kind), detail_(std::move(detail)) {}

  MarshalErrorKind kind_;
  std::string detail_;
  std::int64_t id_ = 0;
};

}  // namespace marshal
