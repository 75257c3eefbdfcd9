// decode_to_json and encode_from_json against the composed operations they stand for: the same
// trees, bytes and error texts, on random trees of every variant and on the streams and JSON
// texts where the two ways could part (shared objects, the limits on copies, the order of
// errors).
#include <gtest/gtest.h>

#include <boost/json/memory_resource.hpp>
#include <boost/json/parse.hpp>
#include <cstdint>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "helpers/codec_equivalence.hpp"
#include "helpers/random_tree.hpp"
#include "helpers/value_helpers.hpp"

namespace marshal {
namespace {

using testing::decode_mismatch;
using testing::encode_mismatch;
using testing::hex;

TEST(FusedCodec, RandomTreesLoadAndSaveAsTheComposedSteps) {
  for (const bool reader_shaped : {true, false}) {
    for (std::uint64_t seed = 0; seed < 150; ++seed) {
      std::mt19937_64 rng(seed);
      const MarshalValue tree = testing::random_tree(rng, {.reader_shaped = reader_shaped});
      for (const std::uint8_t mode : {0, 1}) {
        for (const bool write_crc : {false, true}) {
          SCOPED_TRACE("seed " + std::to_string(seed) + (reader_shaped ? "" : " any shape") +
                       " mode " + std::to_string(mode) + (write_crc ? " crc" : ""));
          const EncodeOptions options{write_crc, mode};
          const auto stream = write_marshal(tree, options);
          ASSERT_TRUE(stream);
          EXPECT_EQ(decode_mismatch(*stream), "");
          EXPECT_EQ(encode_mismatch(value_to_json(tree), options), "");
        }
      }
    }
  }
}

// A stream in sequential mode: "7D 01" and `body`.
std::vector<std::uint8_t> sequential(const std::string& body) { return hex("7D 01 " + body); }

// A list whose first member is a shared byte string and every later member a shared pair of
// references to the member before it: the copies double at every step.
std::vector<std::uint8_t> doubling_copies(int steps) {
  std::string body = "15 " + std::string(steps < 255 ? "" : "FF ");
  char count[8];
  std::snprintf(count, sizeof count, "%02X ", steps + 1);
  body += count;
  body += "4D 10";  // shared STR of 16 bytes: slot 0
  for (int i = 0; i < 16; ++i) body += " 61";
  for (int slot = 1; slot <= steps; ++slot) {
    char ref[32];
    std::snprintf(ref, sizeof ref, " 6C 1B %02X 1B %02X", slot - 1, slot - 1);
    body += ref;
  }
  return sequential(body);
}

TEST(FusedCodec, StreamsLoadAsTheComposedSteps) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> stream;
  };
  const std::vector<Case> cases = {
      {"empty input", {}},
      {"missing signature", hex("7C 01")},
      {"cut inside a value", sequential("13 05 61 62")},
      {"unknown tag", sequential("18")},
      {"refused tag", sequential("0C")},
      {"mapped, shared string referenced", hex("7E 01 00 00 00 2C 4D 01 61 1B 01 01 00 00 00")},
      {"table overflow", hex("7E 01 00 00 00 2C 4D 01 61 4D 01 62 01 00 00 00")},
      {"reference before its claim", sequential("2C 4D 01 61 1B 01")},
      {"reference to the tuple being read", sequential("65 1B 00")},
      // A shared four-member tuple as a REDUCE payload twice: its fourth member is dropped, and
      // the second record comes from a reference to the first.
      {"reduce payload from a reference",
       sequential("14 03 62 54 04 02 01 61 24 01 09 2D 2D 22 1B 01 2D 2D 1B 00")},
      {"newobj payload from a reference", sequential("2C 54 02 24 01 23 1B 00 2D 2D")},
      {"reduce payload of the wrong kind", sequential("22 26 2D 2D")},
      {"instance named by a shared invalid string", sequential("2C 4D 01 FF 17 1B 00 01")},
      {"instance named by an integer", sequential("17 08 01")},
      {"instances named by every kind of text",
       sequential("14 05 17 13 02 66 FF 01 17 12 02 3D D8 00 DE 01 17 28 01 17 29 E9 00 01 17 2E "
                  "02 C3 A9 01")},
      {"instance named by a reference to a tuple", sequential("2C 65 01 17 1B 00 01")},
      {"instance named after a checksum", sequential("17 1C 74 00 0A 01 10 01 61 01")},
      {"dict with container and float keys",
       sequential("16 03 01 24 09 0B 01 0A 00 00 00 00 00 00 F8 7F")},
      {"dict with repeated key texts", sequential("16 02 08 0F 61 09 0F 61")},
      {"long keys and values", sequential("16 01 2F 01 80 2F 02 00 80")},
      // The key's long string is made in the key's own memory, and is still being read when
      // the stream ends.
      {"cut inside a container key",
       sequential("16 01 01 2C 10 14 6B 65 79 2D 6F 66 2D 74 77 65 6E 74 79 2D 62 79 74 65 73 21")},
      {"sequential checksum", hex("7D 01 1C 09 00 09 00 08")},
      {"checksum mismatch", hex("7D 01 1C 00 00 00 00 08")},
      {"mapped checksum", hex("7E 00 00 00 00 1C 09 00 09 00 08")},
      {"copies past the size limit", doubling_copies(24)},
      {"copies within the size limit", doubling_copies(10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode_mismatch(c.stream), "");
  }
}

// `depth` nested arrays around `inner`.
std::string nested_arrays(int depth, const std::string& inner) {
  return std::string(static_cast<std::size_t>(depth), '[') + inner +
         std::string(static_cast<std::size_t>(depth), ']');
}

TEST(FusedCodec, JsonSavesAsTheComposedSteps) {
  struct Case {
    const char* name;
    std::string json;
  };
  const std::vector<Case> cases = {
      {"settings shape", R"({"bytes:ui": {"int:1": [1, 2.5, "float:nan", "long:-5"]}})"},
      {"structures",
       R"({"tuple": [{"callback": null}, {"instance": {"class": "a", "state": 1}}]})"},
      {"newobj callable is checked but not written",
       R"({"reduce": {"newobj": true, "callable": "utf8:x", "args": {"tuple": []}}})"},
      {"newobj callable with a bad prefix",
       R"({"reduce": {"newobj": true, "callable": "x", "args": null}})"},
      {"reduce missing args", R"({"reduce": {"callable": null}})"},
      {"bad dict_items entry",
       R"({"reduce": {"callable": null, "args": null, "dict_items": [[1, 2, 3]]}})"},
      {"json keys", R"({"json:{\"tuple\":[1,\"bytes:a\"]}": 1, "json:[]": "none"})"},
      {"bad key", R"({"bytes:a": 1, "b": 2})"},
      {"keys of every plain form and others",
       R"({"int:-7": 1, "utf8:\u00e9": 2, "bytes:k": 3, "bytes:b64:AAE=": 4, "none": 5})"},
      {"bad int key", R"({"int:5x": 1})"},
      {"int key past int64", R"({"int:9223372036854775808": 1})"},
      {"plain key after a too deep value", R"({"utf8:k": )" + nested_arrays(1000, "1") + "}"},
      {"plain keys at the depth limit", nested_arrays(997, R"({"int:1": 1, "utf8:k": [2]})")},
      {"bad nested json key", R"({"json:[1] x": 1})"},
      {"too deep to encode", nested_arrays(1000, "1")},
      {"deep enough to encode", nested_arrays(999, "1")},
      {"too deep, then a bad prefix", "[" + nested_arrays(1000, "1") + ", \"oops\"]"},
      {"a bad prefix, then too deep", "[\"oops\", " + nested_arrays(1000, "1") + "]"},
      {"too deep key, then a bad value", R"({"json:)" + nested_arrays(120, "") + R"(": "x"})"},
  };
  boost::json::parse_options options;
  options.max_depth = 2000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JsonValue json = boost::json::parse(c.json, {}, options);
    for (const bool write_crc : {false, true}) {
      EXPECT_EQ(encode_mismatch(json, EncodeOptions{write_crc, 1}), "");
    }
  }
}

TEST(FusedCodec, RebuildErrorWinsOverAnEarlierEncodeError) {
  boost::json::parse_options options;
  options.max_depth = 2000;
  const JsonValue json =
      boost::json::parse("[" + nested_arrays(1000, "1") + ", \"oops\"]", {}, options);
  const auto saved = testing::encode_json(json, EncodeOptions{false, 1});
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error().step, EncodeStep::Rebuild);
  EXPECT_EQ(saved.error().error.message(),
            "invalid JSON encoding: string value/key without a recognized prefix: oops");
}

// Hands out heap memory and counts it; past its limit it refuses, as a full machine would.
class CountingResource final : public boost::json::memory_resource {
 public:
  explicit CountingResource(std::size_t limit) : limit_(limit) {}
  std::size_t taken() const { return taken_; }

 private:
  void* do_allocate(std::size_t n, std::size_t align) override {
    if (n > limit_ - taken_) throw std::bad_alloc();
    taken_ += n;
    return ::operator new(n, std::align_val_t(align));
  }
  void do_deallocate(void* p, std::size_t, std::size_t align) override {
    ::operator delete(p, std::align_val_t(align));
  }
  bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }

  std::size_t limit_;
  std::size_t taken_ = 0;
};

TEST(FusedCodec, ClaimedCountsTakeNoMoreMemoryThanTheInputFills) {
  // 999 containers, each the first member of the one before, each claiming as many members as
  // the rest of a 4 MB input could hold; then a tag that is no value. Room made for every claim
  // would come to gigabytes.
  constexpr std::size_t INPUT = 4 << 20;
  constexpr std::size_t LIMIT = 64 << 20;
  struct Case {
    const char* name;
    std::uint8_t tag;
    std::size_t bytes_per_member;
  };
  const Case cases[] = {{"tuples", 0x14, 1}, {"lists", 0x15, 1}, {"dicts", 0x16, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> stream = hex("7D 01");
    for (int level = 0; level < 999; ++level) {
      const std::size_t after = stream.size() + 6;
      const auto claim = static_cast<std::uint32_t>((INPUT - after) / c.bytes_per_member);
      stream.push_back(c.tag);
      stream.push_back(0xFF);
      for (int shift = 0; shift < 32; shift += 8) {
        stream.push_back(static_cast<std::uint8_t>(claim >> shift));
      }
    }
    stream.push_back(0x18);
    stream.resize(INPUT, 0x01);
    CountingResource memory(LIMIT);
    const auto decoded = decode_to_json(stream, boost::json::storage_ptr(&memory));
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().message(), "invalid marshal stream: unknown type tag 24 (UNKNOWN)");
    EXPECT_LT(memory.taken(), LIMIT / 4);
  }
}

}  // namespace
}  // namespace marshal
