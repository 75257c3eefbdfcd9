#include "marshal/error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marshal/reader.hpp"

namespace marshal {
namespace {

TEST(MarshalError, TextOfEveryKind) {
  struct Row {
    MarshalError error;
    const char* text;
  };
  const Row rows[] = {
      {MarshalError::unexpected_end(), "unexpected end of stream"},
      {MarshalError::invalid_stream("negative mapcount"),
       "invalid marshal stream: negative mapcount"},
      {MarshalError::invalid_reference(7), "invalid TY_REFERENCE id 7"},
      {MarshalError::invalid_reference(-2147483648LL), "invalid TY_REFERENCE id -2147483648"},
      {MarshalError::checksum_mismatch(), "adler32 checksum mismatch"},
      {MarshalError::unsupported_feature("TY_COMPLEX"), "unsupported marshal feature: TY_COMPLEX"},
      {MarshalError::recursion_limit(), "maximum recursion depth reached"},
      {MarshalError::invalid_json_encoding("unknown string prefix"),
       "invalid JSON encoding: unknown string prefix"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(row.error.message(), row.text);
  }
}

std::vector<std::uint8_t> with_header(std::vector<std::uint8_t> body) {
  body.insert(body.begin(), {0x7D, 0x01});
  return body;
}

// The printed form of what the reader refuses, as a user would see it.
TEST(MarshalError, ReaderMessages) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> stream;
    const char* text;
  };
  std::vector<std::uint8_t> too_deep = with_header(std::vector<std::uint8_t>(1000, 0x25));
  too_deep.push_back(0x01);  // NONE at level 1001
  const Row rows[] = {
      {"cut inside a STR", with_header({0x0D, 0x05, 0x61}), "unexpected end of stream"},
      {"wrong signature", {0x7C, 0x01, 0x01}, "invalid marshal stream: missing marshal signature"},
      {"REFERENCE 7, no slots", with_header({0x1B, 0x07}), "invalid TY_REFERENCE id 7"},
      {"REFERENCE -1 in the 4-byte form", with_header({0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       "invalid TY_REFERENCE id -1"},
      {"tag 12", with_header({0x0C}), "unsupported marshal feature: TY_COMPLEX"},
      {"tag 24", with_header({0x18}), "invalid marshal stream: unknown type tag 24 (UNKNOWN)"},
      {"tag 45", with_header({0x2D}), "invalid marshal stream: unknown type tag 45 (MARK)"},
      {"STR_TABLE 200", with_header({0x11, 0xC8}),
       "invalid marshal stream: invalid string table index 200"},
      {"wrong checksum", with_header({0x1C, 0, 0, 0, 0, 0x01}), "adler32 checksum mismatch"},
      {"1001 levels", too_deep, "maximum recursion depth reached"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto result = read_marshal(row.stream);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), row.text);
  }
}

}  // namespace
}  // namespace marshal
