// The checksum against its definition, one byte at a time, wherever the block-wise sums could go
// wrong: lengths around a block and a run, bytes that make the sums largest, and known values.
#include "adler32.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "helpers/adler32_reference.hpp"

namespace marshal::detail {
namespace {

using testing::adler32_by_definition;

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Adler32, KnownValues) {
  const struct {
    std::string_view text;
    std::uint32_t sum;
  } cases[] = {
      {"", 0x00000001},
      {"a", 0x00620062},
      {"abc", 0x024d0127},
      {"Wikipedia", 0x11e60398},
      {"0123456789abcdef", 0x1f6b0463},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(adler32(bytes_of(c.text)), c.sum);
  }
}

TEST(Adler32, AgreesWithTheDefinition) {
  std::mt19937_64 random(7);
  const std::size_t lengths[] = {1,    15,   16,   17,    31,    32,    33,     5551,
                                 5552, 5553, 5568, 11104, 11105, 65536, 200003, 1 << 20};
  const struct {
    const char* name;
    bool random_bytes;
    std::uint8_t fill;
  } contents[] = {{"all 0xFF", false, 0xFF}, {"all zero", false, 0x00}, {"random", true, 0}};
  for (const auto& content : contents) {
    for (std::size_t length : lengths) {
      SCOPED_TRACE(::testing::Message() << content.name << ", " << length << " bytes");
      std::vector<std::uint8_t> bytes(length, content.fill);
      if (content.random_bytes) {
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
      }
      EXPECT_EQ(adler32(bytes), adler32_by_definition(bytes));
      // An unaligned start, as a checksum over the middle of a stream has.
      EXPECT_EQ(adler32(std::span(bytes).subspan(1)),
                adler32_by_definition(std::span(bytes).subspan(1)));
    }
  }
}

}  // namespace
}  // namespace marshal::detail
