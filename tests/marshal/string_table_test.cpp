// The reader built against tests/marshal/data/string_table_rows.txt, a 195-row table made by the
// same generator as the shipped one: rows must come through byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marshal/reader.hpp"

namespace marshal {
namespace {

TEST(StringTable, RowsComeFromTheDataFile) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> stream;
    std::string expected;
  };
  const Row rows[] = {
      // 7D 01: sequential header; 11 i: STR_TABLE row i.
      {"row 1", {0x7D, 0x01, 0x11, 0x01}, "alpha"},
      {"an empty line is an empty row", {0x7D, 0x01, 0x11, 0x02}, ""},
      {"escapes and characters CMake would take as syntax",
       {0x7D, 0x01, 0x11, 0x03},
       std::string("\0\xFF\\;[a]\"q\"${X}#", 15)},
      {"spaces are kept", {0x7D, 0x01, 0x11, 0x04}, "  spaced  "},
      {"row 195 is the last", {0x7D, 0x01, 0x11, 0xC3}, "omega"},
      // 7E 00 00 00 00: mapped with no map, so a claim would fail; 51 = STR_TABLE | 0x40.
      {"a flagged STR_TABLE claims nothing", {0x7E, 0, 0, 0, 0, 0x51, 0x05}, "row 5"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto result = read_marshal(row.stream);
    ASSERT_TRUE(result.has_value()) << result.error().message();
    const Bytes* bytes = result->value.get_if<Bytes>();
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes->data, row.expected);
  }
}

TEST(StringTable, IndexPastTheTableIsInvalid) {
  const std::vector<std::uint8_t> stream = {0x7D, 0x01, 0x11, 0xC4};  // STR_TABLE 196
  auto result = read_marshal(stream);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message(), "invalid marshal stream: invalid string table index 196");
}

}  // namespace
}  // namespace marshal
