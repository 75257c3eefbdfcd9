// A settings file using every kind of value the client writes survives `apply` unchanged apart
// from the custom formations member. The files are written byte by byte here, so they hold
// forms the program itself never writes: shared objects, references, a shared-object map.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "run_program.hpp"
#include "settings_files.hpp"

namespace e2e {
namespace {

namespace json = boost::json;
using namespace std::string_literals;

// Type tags of the stream format.
constexpr int TY_NONE = 0x01, TY_GLOBAL = 0x02, TY_INT64 = 0x03, TY_INT32 = 0x04, TY_INT16 = 0x05,
              TY_INT8 = 0x06, TY_INT_N1 = 0x07, TY_INT_0 = 0x08, TY_INT_1 = 0x09, TY_FLOAT = 0x0A,
              TY_FLOAT_0 = 0x0B, TY_STR = 0x0D, TY_STR_EMPTY = 0x0E, TY_STR_CHAR = 0x0F,
              TY_STR_SHORT = 0x10, TY_UNICODE = 0x12, TY_BUFFER = 0x13, TY_TUPLE = 0x14,
              TY_LIST = 0x15, TY_DICT = 0x16, TY_INSTANCE = 0x17, TY_CALLBACK = 0x19,
              TY_REFERENCE = 0x1B, TY_CRC_CHECK = 0x1C, TY_TRUE = 0x1F, TY_FALSE = 0x20,
              TY_REDUCE = 0x22, TY_NEWOBJ = 0x23, TY_TUPLE0 = 0x24, TY_TUPLE1 = 0x25,
              TY_LIST0 = 0x26, TY_LIST1 = 0x27, TY_UNICODE_0 = 0x28, TY_UNICODE_1 = 0x29,
              TY_TUPLE2 = 0x2C, TY_MARK = 0x2D, TY_UTF8 = 0x2E, TY_LONG = 0x2F;
constexpr int SHARED_FLAG = 0x40;
constexpr double POSITIVE_INFINITY = std::numeric_limits<double>::infinity();

std::string octet(int b) { return std::string(1, static_cast<char>(b)); }

// `n` bytes of `value`, least significant first.
std::string le(std::uint64_t value, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += octet(static_cast<int>((value >> (8 * i)) & 0xFF));
  return out;
}

// One byte below 255, else FF and a signed 32-bit count.
std::string size_field(std::size_t n) {
  return n < 255 ? octet(static_cast<int>(n)) : "\xFF" + le(n, 4);
}

std::string cat(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += part;
  return out;
}

// Tag, size field, payload bytes (STR, BUFFER, GLOBAL, UTF8, LONG).
std::string counted(int tag, const std::string& payload) {
  return octet(tag) + size_field(payload.size()) + payload;
}
// Tag, count, items (TUPLE, LIST).
std::string sequence(int tag, const std::vector<std::string>& items) {
  return octet(tag) + size_field(items.size()) + cat(items);
}
// DICT: the count, then each entry as its value followed by its key.
std::string dict(const std::vector<std::pair<std::string, std::string>>& key_value) {
  std::string out = octet(TY_DICT) + size_field(key_value.size());
  for (const auto& [key, value] : key_value) out += value + key;
  return out;
}
std::string str(const std::string& text) { return counted(TY_STR, text); }
// STR_SHORT: one length byte, no escape.
std::string short_str(const std::string& text) {
  return octet(TY_STR_SHORT) + octet(static_cast<int>(text.size())) + text;
}
std::string float64(double d) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof bits);
  return octet(TY_FLOAT) + le(bits, 8);
}
std::string tuple2(const std::string& a, const std::string& b) { return octet(TY_TUPLE2) + a + b; }
// A probe: ((x, y, z), range); `z` is given as an already encoded value.
std::string probe(double x, double y, const std::string& z, double range) {
  return tuple2(sequence(TY_TUPLE, {float64(x), float64(y), z}), float64(range));
}

// How the shared-object mechanism is spelled in one header form.
struct StreamForm {
  const char* description;
  bool mapped;
  int reference_ids[3];  // the id that refers back to the first, second and third shared value
};

// The whole file: every tag family but STR_TABLE, three shared values and references to them,
// bytes after the root, and a checksum in front of the root.
std::string rich_settings(const StreamForm& form) {
  // The second formation is shared (the first claim) and referred to again at the end.
  const std::string formations = dict({
      {octet(TY_INT_1),
       tuple2(counted(TY_UTF8, "Belt"),
              sequence(TY_LIST, {probe(1.5, -2.0, octet(TY_FLOAT_0), 8.0),
                                 probe(-750000.0, 0.001, octet(TY_INT16) + le(0xFED4, 2), 16.0)}))},
      {octet(TY_INT32) + le(3, 4),
       octet(TY_TUPLE2 | SHARED_FLAG) +
           sequence(TY_UNICODE, {"\xA9\x03", "m\0"s, "e\0"s, "g\0"s, "a\0"s}) + octet(TY_LIST1) +
           probe(0.0, 0.0, float64(2.5), 0.5)},
      // A member without an id: kept, never listed.
      {str("misc"), tuple2(counted(TY_UTF8, "No id"), octet(TY_LIST0))},
  });
  const std::string stamp = counted(TY_LONG, le(133480000000000000ULL, 8));
  const std::string ui = dict({
      {counted(TY_BUFFER, "probescanning.customFormations"), tuple2(stamp, formations)},
      {short_str("probescanning.selectedFormationID"), tuple2(stamp, octet(TY_INT8) + octet(3))},
      {str("window.scale"), float64(1.25)},
  });

  const std::string kinds = sequence(
      TY_LIST,
      {
          octet(TY_NONE), octet(TY_TRUE), octet(TY_FALSE),
          octet(TY_INT64) + le(0x0123456789ABCDEFULL, 8),
          octet(TY_INT64) + le(5, 8),  // small value in the widest form
          octet(TY_INT32) + le(static_cast<std::uint32_t>(-100000), 4),
          octet(TY_INT16) + le(static_cast<std::uint16_t>(-300), 2),
          octet(TY_INT8) + octet(0xFB),  // -5
          octet(TY_INT_N1), octet(TY_INT_0), octet(TY_INT_1),
          octet(TY_INT_1 | 0x80),                 // the top bit is ignored
          octet(TY_INT_1 | SHARED_FLAG),          // the flag is ignored: claims nothing
          counted(TY_LONG, le(1, 8) + octet(1)),  // 2^64 + 1
          counted(TY_LONG, octet(0x80)),          // -128
          counted(TY_LONG, ""),                   // 0
          counted(TY_LONG, octet(5) + octet(0)),  // 5, not minimal
          float64(3.25), float64(-1e300), float64(POSITIVE_INFINITY), octet(TY_FLOAT_0),
          str("plain"), octet(TY_STR_EMPTY), octet(TY_STR_CHAR) + "x",
          octet(TY_STR_SHORT) + octet(3) + "\0\x01\x7F"s,  // control bytes
          counted(TY_BUFFER, "\xFF\xFE\x00\x01"s),         // not UTF-8
          str("b64:looks tagged"),
          octet(TY_STR) + "\xFF" + le(300, 4) + std::string(300, 'z'),  // four-byte size field
          sequence(TY_UNICODE, {"Z\0"s, "o\0"s, "\xEB\0"s, "\x3D\xD8"s, "\x00\xDE"s}),  // Zoë😀
          octet(TY_UNICODE_0), octet(TY_UNICODE_1) + "\xA9\x03",                        // Ω
          counted(TY_UTF8, "na\xC3\xAFve"),
          sequence(TY_TUPLE, {octet(TY_INT_1), octet(TY_STR_CHAR) + "a", octet(TY_NONE)}),
          octet(TY_TUPLE0), octet(TY_TUPLE1) + octet(TY_FALSE),
          tuple2(octet(TY_INT_0), octet(TY_INT_1)),
          sequence(TY_LIST, {octet(TY_INT8) + octet(2), octet(TY_INT8) + octet(3)}),
          octet(TY_LIST0), octet(TY_LIST1) + octet(TY_NONE), counted(TY_GLOBAL, "settings.Profile"),
          octet(TY_INSTANCE) + str("ui.Window") + dict({{str("w"), octet(TY_INT16) + le(800, 2)}}),
          octet(TY_INSTANCE) + counted(TY_BUFFER, "Bad\xFF") +
              octet(TY_NONE),  // class name repaired
          // REDUCE (callable, args, state), list items, MARK, dict items as key then value, MARK.
          octet(TY_REDUCE) +
              sequence(TY_TUPLE, {counted(TY_GLOBAL, "collections.OrderedDict"), octet(TY_TUPLE0),
                                  dict({})}) +
              octet(TY_INT_1) + octet(TY_STR_CHAR) + "i" + octet(TY_MARK) + octet(TY_STR_CHAR) +
              "k" + octet(TY_INT_0) + octet(TY_MARK),
          // No state, no items, the terminators with the flag bit set.
          octet(TY_REDUCE) + tuple2(counted(TY_GLOBAL, "mod.make"), octet(TY_TUPLE0)) +
              octet(TY_MARK | SHARED_FLAG) + octet(TY_MARK | SHARED_FLAG),
          octet(TY_NEWOBJ) + octet(TY_TUPLE1) + (octet(TY_TUPLE1) + octet(TY_INT_1)) +
              octet(TY_MARK) + octet(TY_MARK),
          octet(TY_NEWOBJ) + tuple2(octet(TY_TUPLE0), dict({{str("s"), octet(TY_TRUE)}})) +
              octet(TY_MARK) + octet(TY_MARK),
          octet(TY_CALLBACK) + tuple2(counted(TY_GLOBAL, "ui.refresh"), octet(TY_NONE)),
          octet(TY_STR | SHARED_FLAG) + size_field(11) + "shared text",  // the second claim
          octet(TY_LIST | SHARED_FLAG) + size_field(2) + octet(TY_INT_1) + octet(TY_STR_CHAR) +
              "q",  // third
      });

  const std::string keys = dict({
      {octet(TY_INT8) + octet(7), str("int key")},
      {octet(TY_INT64) + le(static_cast<std::uint64_t>(-9000000000LL), 8), str("negative")},
      {octet(TY_NONE), str("none key")},
      {octet(TY_TRUE), octet(TY_INT_1)},
      {octet(TY_FALSE), octet(TY_INT_0)},
      {float64(0.5), str("float key")},
      {float64(-POSITIVE_INFINITY), str("infinite key")},
      {counted(TY_LONG, le(1, 8) + octet(0)), str("long key")},
      {counted(TY_GLOBAL, "mod.Key"), str("global key")},
      {counted(TY_UTF8, "k"), str("text key")},
      {str("k"), str("bytes key")},
      {octet(TY_STR_EMPTY), str("empty bytes key")},
      {octet(TY_UNICODE_0), str("empty text key")},
      {tuple2(octet(TY_INT_1), octet(TY_STR_CHAR) + "a"), str("tuple key")},
      {octet(TY_LIST0), str("list key")},
      {sequence(TY_TUPLE, {float64(1.5), octet(TY_NONE), dict({{str("x"), octet(TY_INT_1)}})}),
       str("nested key")},
  });

  const std::string shared =
      sequence(TY_LIST, {
                            octet(TY_REFERENCE) + octet(form.reference_ids[0]),
                            octet(TY_REFERENCE) + octet(form.reference_ids[1]),
                            octet(TY_REFERENCE) + octet(form.reference_ids[2]),
                        });
  const std::string root = dict({
      {str("ui"), ui},
      {str("kinds"), kinds},
      {str("keys"), keys},
      {str("shared"), shared},
  });

  const std::string after_root = "\xAA\xBB";  // never read
  // Claims in stream order take map entries 2, 3, 1: the slots are 1, 2 and 0.
  const std::string map = le(2, 4) + le(3, 4) + le(1, 4);
  if (form.mapped) {
    const std::string checked = root + after_root + map;  // to the end of the input
    return "\x7E" + le(3, 4) + octet(TY_CRC_CHECK) + le(adler32(checked), 4) + checked;
  }
  return "\x7D\x01" + octet(TY_CRC_CHECK) + le(adler32(root), 4) + root + after_root;
}

// The tree without the one member `apply` always replaces.
json::value without_custom(json::value tree) {
  if (json::object* root = tree.if_object()) {
    if (json::value* ui = root->if_contains(UI_KEY); ui && ui->is_object()) {
      ui->as_object().erase(CUSTOM_KEY);
    }
  }
  return tree;
}

TEST(E2eLossless, RichSettingsSurviveApply) {
  const StreamForm forms[] = {
      {"mapped header with a shared-object map", true, {2, 3, 1}},
      {"sequential header", false, {0, 1, 2}},
  };
  const std::vector<std::vector<StoredFormation>> packages = {
      {},
      {{3, "Fresh", sample_probes(2)}},
  };
  for (const StreamForm& form : forms) {
    for (const auto& incoming : packages) {
      SCOPED_TRACE(std::string(form.description) + ", package of " +
                   std::to_string(incoming.size()));
      TempDir dir;
      const std::string original = rich_settings(form);
      const std::string target = dir.file("core_user_77.dat");
      const std::string package = dir.file("p.json");
      ASSERT_TRUE(write_bytes(target, original));
      ASSERT_TRUE(write_bytes(package, package_text(incoming)));

      const auto before = decode_settings(original);
      ASSERT_TRUE(before) << "the hand-written file must decode";
      ASSERT_TRUE(before->has_crc);
      // References are copies of the values they name.
      const json::value& tree = before->tree;
      const json::array& shared = tree.at("bytes:shared").as_array();
      ASSERT_EQ(shared.size(), 3u);
      EXPECT_EQ(shared[0], tree.at(UI_KEY).at(CUSTOM_KEY).at("tuple").at(1).at("int:3"));
      EXPECT_EQ(shared[1], json::value("bytes:shared text"));
      EXPECT_EQ(shared[2], tree.at("bytes:kinds").as_array().back());

      const RunResult listed = run_program({"list", target});
      EXPECT_EQ(listed.out, "2 formation(s)\nBelt\t2 probe(s)\n\xCE\xA9mega\t1 probe(s)\n");

      const RunResult r = run_program({"apply", package, target});
      EXPECT_EQ(r.failure, "");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out,
                "Added " + std::to_string(incoming.size()) + " formation(s) to account 77\n");

      const std::string rewritten = read_bytes(target);
      EXPECT_EQ(rewritten.substr(0, 3), "\x7D\x01\x1C");
      const auto after = decode_settings(rewritten);
      ASSERT_TRUE(after) << "the rewritten file must decode";
      EXPECT_TRUE(after->has_crc);
      EXPECT_EQ(json::serialize(without_custom(after->tree)),
                json::serialize(without_custom(before->tree)));

      // The stored formations are carried over member by member; new ones follow them.
      const json::object& old_dict = tree.at(UI_KEY).at(CUSTOM_KEY).at("tuple").at(1).as_object();
      const json::object& new_dict =
          after->tree.at(UI_KEY).at(CUSTOM_KEY).at("tuple").at(1).as_object();
      ASSERT_EQ(new_dict.size(), old_dict.size() + incoming.size());
      auto old_member = old_dict.begin();
      for (auto new_member = new_dict.begin(); old_member != old_dict.end();
           ++old_member, ++new_member) {
        EXPECT_EQ(new_member->key(), old_member->key());
        EXPECT_EQ(json::serialize(new_member->value()), json::serialize(old_member->value()));
      }
    }
  }
}

}  // namespace
}  // namespace e2e
