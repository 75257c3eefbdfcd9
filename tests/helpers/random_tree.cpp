#include "helpers/random_tree.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "marshal/utf8.hpp"

namespace marshal::testing {
namespace {

// Draws only through rng() and modulo, never through the standard distributions, whose
// algorithms differ between standard libraries: a seed gives the same tree everywhere.
class Generator {
 public:
  Generator(std::mt19937_64& rng, const RandomTreeOptions& options)
      : rng_(rng), options_(options) {}

  // The root is mostly a container, so that most trees have some shape to them.
  MarshalValue root() {
    if (options_.max_depth > 0 && !one_in(4)) {
      return variant(LEAF_VARIANTS + below(VARIANTS - LEAF_VARIANTS), options_.max_depth);
    }
    return tree(options_.max_depth);
  }

 private:
  static constexpr std::uint64_t VARIANTS = 14;
  static constexpr std::uint64_t LEAF_VARIANTS = 8;  // variants 0..7 hold no value

  // Every variant is equally likely while containers may still nest; only leaves below that.
  MarshalValue tree(int depth_left) {
    return variant(below(depth_left > 0 ? VARIANTS : LEAF_VARIANTS), depth_left);
  }

  MarshalValue variant(std::uint64_t pick, int depth_left) {
    switch (pick) {
      case 0:
        return MarshalValue(None{});
      case 1:
        return MarshalValue(below(2) == 0);
      case 2:
        return MarshalValue(int_value());
      case 3:
        return MarshalValue(long_value());
      case 4:
        return MarshalValue(float_value());
      case 5:
        return MarshalValue(Bytes{bytes_value()});
      case 6:
        return MarshalValue(Utf8{text_value()});
      case 7:
        return MarshalValue(Global{global_name()});
      case 8:
        return MarshalValue(Tuple{children(depth_left - 1)});
      case 9:
        return MarshalValue(List{children(depth_left - 1)});
      case 10:
        return MarshalValue(dict_value(depth_left - 1));
      case 11:
        return MarshalValue(Instance{text_value(), tree(depth_left - 1)});
      case 12:
        return MarshalValue(reduce_value(depth_left - 1));
      default:
        return MarshalValue(Callback{tree(depth_left - 1)});
    }
  }

  std::uint64_t below(std::uint64_t n) { return rng_() % n; }
  bool one_in(std::uint64_t n) { return below(n) == 0; }

  template <class T, std::size_t N>
  const T& one_of(const std::array<T, N>& choices) {
    return choices[below(N)];
  }

  std::int64_t int_value() {
    static constexpr std::array<std::int64_t, 20> EDGES = {
        -1,
        0,
        1,
        2,
        -2,
        127,
        -128,
        128,
        -129,
        255,
        32767,
        -32768,
        32768,
        -32769,
        std::numeric_limits<std::int32_t>::max(),
        std::numeric_limits<std::int32_t>::min(),
        std::int64_t{1} << 31,
        -(std::int64_t{1} << 31) - 1,
        std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min(),
    };
    if (one_in(2)) return one_of(EDGES);
    // Spread over every magnitude, so every integer tag width comes up.
    return static_cast<std::int64_t>(rng_()) >> below(64);
  }

  BigInt long_value() {
    switch (below(6)) {
      case 0: {  // -2^(8k-1), the one negative value whose top byte is 80 with no sign byte
        const unsigned bits = static_cast<unsigned>(8 * (1 + below(20)) - 1);
        return -(BigInt(1) << bits);
      }
      case 1: {  // values whose top bit forces or spares a sign byte
        const unsigned bits = static_cast<unsigned>(8 * (1 + below(20)) - 1);
        static constexpr std::array<int, 4> OFFSETS = {-1, 0, 1, -2};
        const BigInt edge = (BigInt(1) << bits) + one_of(OFFSETS);
        return one_in(2) ? BigInt(-edge) : edge;
      }
      case 2: {
        static constexpr std::array<int, 9> SMALL = {0, 1, -1, 127, 128, -128, -129, 255, 256};
        return BigInt(one_of(SMALL));
      }
      default: {
        BigInt magnitude = 0;
        const std::uint64_t length = below(41);
        for (std::uint64_t i = 0; i < length; ++i) magnitude = (magnitude << 8) | below(256);
        return one_in(2) ? BigInt(-magnitude) : magnitude;
      }
    }
  }

  double float_value() {
    static constexpr std::array<std::uint64_t, 14> BITS = {
        0x7FF8000000000000,  // quiet NaN
        0xFFF8000000000000,  // negative quiet NaN
        0x7FF0000000000001,  // signalling NaN, lowest payload
        0x7FF4000000000123,  // NaN with a payload
        0x7FFFFFFFFFFFFFFF,  // NaN, every payload bit set
        0x8000000000000000,  // -0.0
        0x0000000000000000,  // +0.0
        0x7FF0000000000000,  // +infinity
        0xFFF0000000000000,  // -infinity
        0x0000000000000001,  // smallest subnormal
        0x7FEFFFFFFFFFFFFF,  // largest finite
        0x3FB999999999999A,  // 0.1
        0xC002000000000000,  // -2.25
        0x4340000000000000,  // 2^53
    };
    switch (below(3)) {
      case 0:
        return std::bit_cast<double>(one_of(BITS));
      case 1:
        return std::bit_cast<double>(rng_());
      default:
        return static_cast<double>(static_cast<std::int64_t>(below(2000000)) - 1000000) / 64.0;
    }
  }

  std::string bytes_value() {
    switch (below(8)) {
      case 0:
        return {};
      case 1:
        return std::string(1, static_cast<char>(below(256)));
      case 2:  // looks like the JSON bridge's base64 prefix
        return "b64:" + ascii_word();
      case 3: {  // malformed UTF-8 of several kinds
        static constexpr std::array<std::string_view, 6> BAD = {
            "\xC0\x80", "\xFF", "\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"};
        std::string out = ascii_word();  // one draw per statement: a fixed order of draws
        out += one_of(BAD);
        out += ascii_word();
        return out;
      }
      case 4: {  // lengths around the one-byte size field limit
        static constexpr std::array<std::size_t, 3> LENGTHS = {254, 255, 256};
        return random_bytes(one_of(LENGTHS));
      }
      case 5:
        return random_bytes(2 + below(40));
      default:
        return ascii_word();
    }
  }

  std::string random_bytes(std::size_t n) {
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(below(256));
    return out;
  }

  std::string ascii_word() {
    static constexpr std::string_view LETTERS = "abcdefghijklmnopqrstuvwxyz_.:0123456789";
    std::string out(1 + below(12), ' ');
    for (char& c : out) c = LETTERS[below(LETTERS.size())];
    return out;
  }

  std::string text_value() {
    switch (below(5)) {
      case 0:
        return {};
      case 1:
        return ascii_word();
      default: {
        std::string out;
        const std::uint64_t length = 1 + below(10);
        for (std::uint64_t i = 0; i < length; ++i) marshal::append_utf8(out, code_point());
        return out;
      }
    }
  }

  char32_t code_point() {
    static constexpr std::array<char32_t, 16> EDGES = {
        0x00,   0x01,   0x09,   0x0A,   0x1F,   0x7F,    0x80,    0xE9,
        0x4E2D, 0xE000, 0xFEFF, 0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF,
    };
    switch (below(4)) {
      case 0:
        return one_of(EDGES);
      case 1:
        return static_cast<char32_t>(0x20 + below(0x5F));
      default: {
        const auto cp = static_cast<char32_t>(below(0x110000));
        return cp >= 0xD800 && cp <= 0xDFFF ? cp + 0x800 : cp;  // no surrogates in text
      }
    }
  }

  std::string global_name() {
    std::string name = ascii_word();
    const std::uint64_t parts = below(3);
    for (std::uint64_t i = 0; i < parts; ++i) name += "." + ascii_word();
    if (one_in(8)) marshal::append_utf8(name, 0x00E9);
    return name;
  }

  std::vector<MarshalValue> children(int depth_left) {
    std::vector<MarshalValue> out;
    const std::uint64_t n = below(static_cast<std::uint64_t>(options_.max_children) + 1);
    out.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(tree(depth_left));
    return out;
  }

  std::vector<DictEntry> entries(int depth_left) {
    std::vector<DictEntry> out;
    const std::uint64_t n = below(static_cast<std::uint64_t>(options_.max_children) + 1);
    out.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) {
      MarshalValue key = !out.empty() && one_in(5) ? out[below(out.size())].key  // duplicate
                         : one_in(4) ? tree(depth_left)  // any variant, containers too
                                     : scalar_key();
      out.push_back(DictEntry{std::move(key), tree(depth_left)});
    }
    return out;
  }

  // The key kinds real settings use most.
  MarshalValue scalar_key() {
    switch (below(4)) {
      case 0:
        return MarshalValue(int_value());
      case 1:
        return MarshalValue(Utf8{text_value()});
      default:
        return MarshalValue(Bytes{bytes_value()});
    }
  }

  Dict dict_value(int depth_left) { return Dict{entries(depth_left)}; }

  Reduce reduce_value(int depth_left) {
    Reduce r;
    r.newobj = one_in(2);
    if (!r.newobj || !options_.reader_shaped) {
      r.callable = one_in(2) ? MarshalValue(Global{global_name()}) : tree(depth_left);
    }
    r.args = one_in(2) ? MarshalValue(Tuple{children(depth_left)}) : tree(depth_left);
    if (one_in(2)) r.state = tree(depth_left);
    if (one_in(2)) r.list_items = children(depth_left);
    if (one_in(2)) r.dict_items = entries(depth_left);
    return r;
  }

  std::mt19937_64& rng_;
  const RandomTreeOptions& options_;
};

}  // namespace

MarshalValue random_tree(std::mt19937_64& rng, const RandomTreeOptions& options) {
  return Generator(rng, options).root();
}

}  // namespace marshal::testing
