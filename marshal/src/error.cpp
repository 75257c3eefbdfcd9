#include "marshal/error.hpp"

namespace marshal {

std::string MarshalError::message() const {
  switch (kind_) {
    case MarshalErrorKind::UnexpectedEnd:
      return "unexpected end of stream";
    case MarshalErrorKind::InvalidStream:
      return "invalid marshal stream: " + detail_;
    case MarshalErrorKind::InvalidReference:
      return "invalid TY_REFERENCE id " + std::to_string(id_);
    case MarshalErrorKind::ChecksumMismatch:
      return "adler32 checksum mismatch";
    case MarshalErrorKind::UnsupportedFeature:
      return "unsupported marshal feature: " + detail_;
    case MarshalErrorKind::RecursionLimit:
      return "maximum recursion depth reached";
    case MarshalErrorKind::InvalidJsonEncoding:
      return "invalid JSON encoding: " + detail_;
  }
  return {};  // unreachable: every kind is handled above
}

}  // namespace marshal
