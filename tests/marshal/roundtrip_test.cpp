// Bytes to tree to bytes: whatever the writer emits, the reader gives back, and whatever the
// reader accepts, the writer emits in its one canonical form.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "helpers/random_tree.hpp"
#include "helpers/value_helpers.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"

namespace marshal {
namespace {

using ByteVector = std::vector<std::uint8_t>;

using testing::hex;
using testing::positive_zeros;

TEST(RoundTrip, RandomTreesReadBackEqual) {
  constexpr std::uint64_t TREES = 300;
  const EncodeOptions option_sets[] = {{false, 1}, {true, 1}, {false, 0}, {true, 0}};
  for (std::uint64_t seed = 0; seed < TREES; ++seed) {
    std::mt19937_64 rng(seed);
    const MarshalValue tree = testing::random_tree(rng, {5, 4, true});
    MarshalValue expected = tree;
    positive_zeros(expected);
    for (const EncodeOptions& options : option_sets) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", crc " + std::to_string(options.write_crc) +
                   ", mode " + std::to_string(options.mode_byte));
      const auto written = write_marshal(tree, options);
      ASSERT_TRUE(written.has_value()) << written.error().message();
      const auto decoded = read_marshal(*written);
      ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
      EXPECT_EQ(decoded->value, expected);
      EXPECT_EQ(decoded->has_crc, options.write_crc);
      EXPECT_EQ(decoded->end_offset, written->size());

      // Canonical output: writing what was read gives the same bytes again.
      const auto rewritten = write_marshal(decoded->value, options);
      ASSERT_TRUE(rewritten.has_value());
      EXPECT_EQ(*rewritten, *written);
    }
  }
}

void collect_kinds(const MarshalValue& v, std::set<MarshalValue::Kind>& seen) {
  seen.insert(v.kind());
  testing::for_each_child(v, [&](const MarshalValue& child) { collect_kinds(child, seen); });
}

// The round trip above proves something only if its trees hold every variant.
TEST(RoundTrip, RandomTreesCoverEveryVariant) {
  std::set<MarshalValue::Kind> seen;
  for (std::uint64_t seed = 0; seed < 300; ++seed) {
    std::mt19937_64 rng(seed);
    collect_kinds(testing::random_tree(rng, {5, 4, true}), seen);
  }
  EXPECT_EQ(seen.size(), 14u);
}

// Forms only the client writes come back in the writer's own compact form.
TEST(RoundTrip, ReaderOnlyFormsAreRewrittenCanonically) {
  struct Case {
    const char* description;
    ByteVector stream;
    ByteVector rewritten;
  };
  const Case cases[] = {
      {"INT32 holding 1", hex("7D 01 04 01 00 00 00"), hex("7D 01 09")},
      {"INT64 holding -2", hex("7D 01 03 FE FF FF FF FF FF FF FF"), hex("7D 01 06 FE")},
      {"non-minimal LONG 5", hex("7D 01 2F 03 05 00 00"), hex("7D 01 2F 01 05")},
      {"non-minimal LONG -1", hex("7D 01 2F 04 FF FF FF FF"), hex("7D 01 2F 01 FF")},
      {"LONG in the 4-byte size form", hex("7D 01 2F FF 01 00 00 00 80"), hex("7D 01 2F 01 80")},
      {"FLOAT -0.0", hex("7D 01 0A 00 00 00 00 00 00 00 80"), hex("7D 01 0B")},
      {"STR", hex("7D 01 0D 02 61 62"), hex("7D 01 13 02 61 62")},
      {"STR_SHORT", hex("7D 01 10 01 61"), hex("7D 01 0F 61")},
      {"UNICODE", hex("7D 01 12 01 E9 00"), hex("7D 01 2E 02 C3 A9")},
      {"UNICODE_1", hex("7D 01 29 41 00"), hex("7D 01 2E 01 41")},
      {"TUPLE of two", hex("7D 01 14 02 01 01"), hex("7D 01 2C 01 01")},
      {"LIST of one", hex("7D 01 15 01 08"), hex("7D 01 27 08")},
      {"INSTANCE named in UTF8", hex("7D 01 17 2E 01 43 01"), hex("7D 01 17 0F 43 01")},
      {"REDUCE with a fourth element and 6D marks", hex("7D 01 22 14 04 01 01 01 01 6D 6D"),
       hex("7D 01 22 14 03 01 01 01 2D 2D")},
      {"flagged STR and a reference, mapped", hex("7E 01 00 00 00 2C 4D 01 61 1B 01 01 00 00 00"),
       hex("7D 01 2C 0F 61 0F 61")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const auto decoded = read_marshal(c.stream);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
    const auto written = write_marshal(decoded->value, EncodeOptions{});
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, c.rewritten);
  }
}

}  // namespace
}  // namespace marshal
