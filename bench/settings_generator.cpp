#include "settings_generator.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace orvane::bench {
namespace {

using marshal::BigInt;
using marshal::DictEntry;
using marshal::MarshalValue;

// Writes the richer stream forms the client itself uses, which the library's writer never
// produces: shared byte strings and references, UTF-16 text, STR and STR_SHORT, a mapped header.
class Emitter {
 public:
  // Byte strings that start with `shared_prefix` are stored once and referenced afterwards.
  explicit Emitter(std::string_view shared_prefix) : shared_prefix_(shared_prefix) {
    out_.reserve(std::size_t{1} << 20);
    put(0x7E);
    put_u32(0);  // map count, patched at the end
    put(0x1C);   // CRC_CHECK, its sum patched at the end
    put_u32(0);
  }

  std::size_t size() const { return out_.size(); }
  std::size_t strings() const { return strings_; }
  std::size_t shared_strings() const { return shared_strings_; }

  // The root dict's count is only known at the end, so it takes the 4-byte size form.
  void begin_root() {
    put(0x16);
    put(0xFF);
    root_count_at_ = out_.size();
    put_u32(0);
  }

  void root_member(const MarshalValue& key, const MarshalValue& value) {
    emit(value);
    emit(key);
    ++root_count_;
  }

  std::vector<std::uint8_t> finish() && {
    patch_u32(root_count_at_, static_cast<std::uint32_t>(root_count_));
    // The map: claims took the slots in order, so entry k names slot k.
    for (std::uint32_t id = 1; id <= next_id_ - 1; ++id) put_u32(id);
    patch_u32(1, next_id_ - 1);
    // Mapped mode checks everything after the sum, the map included.
    patch_u32(CRC_AT, adler32(std::span<const std::uint8_t>(out_).subspan(CRC_AT + 4)));
    return std::move(out_);
  }

 private:
  static constexpr std::size_t CRC_AT = 6;  // after 7E, the map count and the CRC_CHECK tag

  static std::uint32_t adler32(std::span<const std::uint8_t> bytes) {
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : bytes) {
      a = (a + byte) % 65521;
      b = (b + a) % 65521;
    }
    return (b << 16) | a;
  }

  void put(std::uint8_t b) { out_.push_back(b); }
  void put_u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) put(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void put_u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) put(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void patch_u32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  void size(std::size_t n) {
    if (n < 255) {
      put(static_cast<std::uint8_t>(n));
    } else {
      put(0xFF);
      put_u32(static_cast<std::uint32_t>(n));
    }
  }
  void raw(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }

  void emit(const MarshalValue& v) {
    using Kind = MarshalValue::Kind;
    switch (v.kind()) {
      case Kind::None:
        return put(0x01);
      case Kind::Bool:
        return put(*v.get_if<bool>() ? 0x1F : 0x20);
      case Kind::Int:
        return emit_int(*v.get_if<std::int64_t>());
      case Kind::Long:
        return emit_long(*v.get_if<BigInt>());
      case Kind::Float: {
        const double d = *v.get_if<double>();
        if (d == 0.0 && !std::signbit(d)) return put(0x0B);
        put(0x0A);
        return put_u64(std::bit_cast<std::uint64_t>(d));
      }
      case Kind::Bytes:
        return emit_bytes(v.get_if<marshal::Bytes>()->data);
      case Kind::Utf8:
        return emit_text(v.get_if<marshal::Utf8>()->text);
      case Kind::Tuple:
        return emit_tuple(v.get_if<marshal::Tuple>()->items);
      case Kind::List: {
        const auto& items = v.get_if<marshal::List>()->items;
        put(0x15);
        size(items.size());
        for (const MarshalValue& item : items) emit(item);
        return;
      }
      case Kind::Dict: {
        const auto& entries = v.get_if<marshal::Dict>()->entries;
        put(0x16);
        size(entries.size());
        for (const DictEntry& e : entries) {
          emit(e.value);
          emit(e.key);
        }
        return;
      }
      case Kind::Global: {
        const std::string& name = v.get_if<marshal::Global>()->name;
        put(0x02);
        size(name.size());
        return raw(name);
      }
      case Kind::Instance: {
        const auto& instance = *v.get_if<marshal::Instance>();
        put(0x17);
        emit_text(instance.class_name);
        return emit(instance.state);
      }
      case Kind::Reduce: {
        const auto& r = *v.get_if<marshal::Reduce>();
        put(r.newobj ? 0x23 : 0x22);
        put(0x14);
        size((r.newobj ? 1 : 2) + (r.state ? 1 : 0));
        if (!r.newobj) emit(r.callable);
        emit(r.args);
        if (r.state) emit(*r.state);
        for (const MarshalValue& item : r.list_items) emit(item);
        put(0x2D);
        for (const DictEntry& e : r.dict_items) {
          emit(e.key);
          emit(e.value);
        }
        return put(0x2D);
      }
      case Kind::Callback:
        put(0x19);
        return emit(v.get_if<marshal::Callback>()->value);
    }
  }

  void emit_int(std::int64_t i) {
    if (i >= -1 && i <= 1) return put(static_cast<std::uint8_t>(0x08 + i));
    if (i >= INT8_MIN && i <= INT8_MAX) {
      put(0x06);
      return put(static_cast<std::uint8_t>(i));
    }
    if (i >= INT16_MIN && i <= INT16_MAX) {
      put(0x05);
      put(static_cast<std::uint8_t>(i));
      return put(static_cast<std::uint8_t>(i >> 8));
    }
    if (i >= INT32_MIN && i <= INT32_MAX) {
      put(0x04);
      return put_u32(static_cast<std::uint32_t>(i));
    }
    put(0x03);
    put_u64(static_cast<std::uint64_t>(i));
  }

  // Only non-negative stamps and counters come up here.
  void emit_long(const BigInt& l) {
    std::vector<std::uint8_t> bytes;
    for (BigInt rest = l; rest != 0; rest >>= 8) {
      bytes.push_back(static_cast<std::uint8_t>(rest & 0xFF));
    }
    if (!bytes.empty() && (bytes.back() & 0x80) != 0) bytes.push_back(0);
    put(0x2F);
    size(bytes.size());
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

  void emit_bytes(const std::string& data) {
    ++strings_;
    if (data.starts_with(shared_prefix_)) {
      ++shared_strings_;
      const auto [it, first] = shared_ids_.try_emplace(data, next_id_);
      if (!first) {
        put(0x1B);  // REFERENCE, by map entry number
        return size(it->second);
      }
      ++next_id_;
      put(0x40 | 0x0D);  // STR with SHARED_FLAG
      size(data.size());
      return raw(data);
    }
    if (data.empty()) return put(0x0E);
    if (data.size() == 1) {
      put(0x0F);
      return put(static_cast<std::uint8_t>(data[0]));
    }
    if (data.size() < 64) {
      put(0x10);  // STR_SHORT
      put(static_cast<std::uint8_t>(data.size()));
      return raw(data);
    }
    put(0x0D);
    size(data.size());
    raw(data);
  }

  // ASCII text as UTF8, the rest as UTF-16 UNICODE, as older clients stored it.
  void emit_text(const std::string& text) {
    if (text.empty()) return put(0x28);
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
      put(0x2E);
      size(text.size());
      return raw(text);
    }
    const std::vector<std::uint16_t> units = utf16(text);
    put(0x12);
    size(units.size());
    for (std::uint16_t u : units) {
      put(static_cast<std::uint8_t>(u));
      put(static_cast<std::uint8_t>(u >> 8));
    }
  }

  static std::vector<std::uint16_t> utf16(std::string_view text) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < text.size();) {
      const auto b0 = static_cast<std::uint8_t>(text[i]);
      const std::size_t len = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
      char32_t cp = len == 1 ? b0 : len == 2 ? b0 & 0x1F : len == 3 ? b0 & 0x0F : b0 & 0x07;
      for (std::size_t k = 1; k < len; ++k) {
        cp = (cp << 6) | (static_cast<std::uint8_t>(text[i + k]) & 0x3F);
      }
      i += len;
      if (cp < 0x10000) {
        units.push_back(static_cast<std::uint16_t>(cp));
      } else {
        units.push_back(static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        units.push_back(static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      }
    }
    return units;
  }

  void emit_tuple(const std::vector<MarshalValue>& items) {
    if (items.size() == 1) {
      put(0x25);
    } else if (items.size() == 2) {
      put(0x2C);
    } else {
      put(0x14);
      size(items.size());
    }
    for (const MarshalValue& item : items) emit(item);
  }

  std::string_view shared_prefix_;
  std::vector<std::uint8_t> out_;
  std::unordered_map<std::string, std::uint32_t> shared_ids_;
  std::uint32_t next_id_ = 1;
  std::size_t root_count_at_ = 0;
  std::size_t root_count_ = 0;
  std::size_t strings_ = 0;
  std::size_t shared_strings_ = 0;
};

constexpr std::string_view SHARED_PREFIX = "shared.";
constexpr int MAX_DEPTH = 6;  // nesting of the settings below the root dict

// A FILETIME of late 2023, the kind of stamp settings carry.
constexpr std::int64_t STAMP_BASE = 133'450'000'000'000'000;

class SettingsGenerator {
 public:
  explicit SettingsGenerator(std::uint64_t seed) : rng_(seed) {}

  MarshalValue root_key(std::size_t index) {
    std::string k(one_of(WORDS));
    dotted(k, one_of(WORDS));
    dotted(k, std::to_string(index));
    return bytes(std::move(k));
  }

  MarshalValue root_value() { return dict(1); }

  // The user-interface settings, holding three probe formations and the selected one.
  MarshalValue ui() {
    std::vector<DictEntry> entries;
    for (int i = 0; i < 12; ++i) {
      MarshalValue k = unique_key(entries);
      entries.push_back({std::move(k), value(2)});
    }
    std::vector<DictEntry> formations;
    const std::array<std::string_view, 3> names = {"Wide Sweep", "Pinpoint",
                                                   "Belt \xC2\xB7 Survey"};
    for (std::size_t f = 0; f < names.size(); ++f) {
      std::vector<MarshalValue> probes;
      for (int p = 0; p < 8; ++p) {
        probes.push_back(tuple({tuple({real(), real(), real()}), MarshalValue(0.5 * (1 + p))}));
      }
      formations.push_back({MarshalValue(static_cast<std::int64_t>(f + 1)),
                            tuple({MarshalValue(marshal::Utf8{std::string(names[f])}),
                                   MarshalValue(marshal::List{std::move(probes)})})});
    }
    entries.push_back({bytes("probescanning.customFormations"),
                       tuple({stamp(), MarshalValue(marshal::Dict{std::move(formations)})})});
    entries.push_back({bytes("probescanning.selectedFormationID"),
                       tuple({stamp(), MarshalValue(std::int64_t{2})})});
    return MarshalValue(marshal::Dict{std::move(entries)});
  }

 private:
  static constexpr std::array<std::string_view, 24> WORDS = {
      "window", "overview", "column",  "tab",   "filter", "probe",  "scanner", "route",
      "market", "fitting",  "chat",    "panel", "sound",  "camera", "drone",   "module",
      "agency", "wallet",   "contact", "mail",  "map",    "brush",  "layout",  "preset",
  };

  std::uint64_t below(std::uint64_t n) { return rng_() % n; }
  bool one_in(std::uint64_t n) { return below(n) == 0; }
  template <class T, std::size_t N>
  const T& one_of(const std::array<T, N>& a) {
    return a[below(N)];
  }

  static MarshalValue bytes(std::string s) { return MarshalValue(marshal::Bytes{std::move(s)}); }
  static MarshalValue tuple(std::vector<MarshalValue> items) {
    return MarshalValue(marshal::Tuple{std::move(items)});
  }
  MarshalValue real() {
    return MarshalValue(
        static_cast<double>(static_cast<std::int64_t>(below(2'000'001)) - 1'000'000) * 1.25e3);
  }
  MarshalValue stamp() {
    return MarshalValue(BigInt(STAMP_BASE + static_cast<std::int64_t>(below(1'000'000'000))));
  }

  static void dotted(std::string& k, std::string_view part) {
    k += '.';
    k += part;
  }

  std::string key() {
    // About one string in twenty is one of a few hundred stored once and referenced again.
    if (one_in(20)) {
      std::string k(SHARED_PREFIX);
      k += one_of(WORDS);
      dotted(k, std::to_string(below(16)));
      return k;
    }
    std::string k(one_of(WORDS));
    if (one_in(2)) dotted(k, one_of(WORDS));
    if (one_in(3)) dotted(k, std::to_string(below(100)));
    return k;
  }

  // Settings dicts come from hash maps, so their keys never repeat.
  MarshalValue unique_key(const std::vector<DictEntry>& taken) {
    while (true) {
      MarshalValue k =
          one_in(8) ? MarshalValue(static_cast<std::int64_t>(below(100000))) : bytes(key());
      bool fresh = true;
      for (const DictEntry& e : taken) fresh = fresh && !(e.key == k);
      if (fresh) return k;
    }
  }

  MarshalValue dict(int depth) {
    std::vector<DictEntry> entries;
    const std::uint64_t n = 2 + below(7);
    entries.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) {
      MarshalValue k = unique_key(entries);
      entries.push_back({std::move(k), value(depth + 1)});
    }
    return MarshalValue(marshal::Dict{std::move(entries)});
  }

  MarshalValue value(int depth) {
    const std::uint64_t pick = below(20);
    if (depth < MAX_DEPTH) {
      if (pick < 6) return dict(depth);
      if (pick < 8) return numbers();
      if (pick < 10) {
        std::vector<MarshalValue> items;
        const std::uint64_t n = 2 + below(3);
        for (std::uint64_t i = 0; i < n; ++i) items.push_back(value(depth + 1));
        return tuple(std::move(items));
      }
    }
    return scalar();
  }

  // A list of up to 200 floats or ints, like column widths or positions.
  MarshalValue numbers() {
    std::vector<MarshalValue> items;
    const std::uint64_t n = below(201);
    items.reserve(n);
    const bool floats = one_in(2);
    for (std::uint64_t i = 0; i < n; ++i) {
      items.push_back(floats ? real() : MarshalValue(static_cast<std::int64_t>(below(70000))));
    }
    return MarshalValue(marshal::List{std::move(items)});
  }

  MarshalValue scalar() {
    switch (below(10)) {
      case 0:
        return MarshalValue(one_in(2));
      case 1:
        return MarshalValue(marshal::None{});
      case 2:
        return stamp();
      case 3:
        return real();
      case 4:
        return MarshalValue(static_cast<std::int64_t>(rng_() >> below(64)));
      case 5:
      case 6:
        return MarshalValue(marshal::Utf8{text()});
      default:
        return bytes(key());
    }
  }

  // 1 to 40 characters, one in four with some non-ASCII ones.
  std::string text() {
    static constexpr std::array<std::string_view, 6> NON_ASCII = {
        "\xC3\xA9", "\xC3\xBC", "\xD0\x96", "\xE4\xB8\xAD", "\xE2\x80\x94", "\xF0\x9F\x9A\x80"};
    const bool mixed = one_in(4);
    std::string out;
    const std::uint64_t n = 1 + below(40);
    for (std::uint64_t i = 0; i < n; ++i) {
      if (mixed && one_in(4)) {
        out += one_of(NON_ASCII);
      } else {
        out.push_back(static_cast<char>('a' + below(26)));
      }
    }
    return out;
  }

  std::mt19937_64 rng_;
};

BenchSettings generate(std::size_t target_bytes, std::uint64_t seed, bool keep_tree) {
  SettingsGenerator gen(seed);
  Emitter emitter(SHARED_PREFIX);
  emitter.begin_root();
  std::vector<DictEntry> root;
  bool ui_done = false;
  std::size_t index = 0;
  // Root members until the stream reaches the size; "ui" lands half way.
  while (emitter.size() < target_bytes || !ui_done) {
    DictEntry member;
    if (!ui_done && emitter.size() >= target_bytes / 2) {
      member = DictEntry{MarshalValue(marshal::Bytes{"ui"}), gen.ui()};
      ui_done = true;
    } else {
      member = DictEntry{gen.root_key(index++), gen.root_value()};
    }
    emitter.root_member(member.key, member.value);
    if (keep_tree) root.push_back(std::move(member));
  }
  BenchSettings out;
  out.root_members = index + 1;
  out.strings = emitter.strings();
  out.shared_strings = emitter.shared_strings();
  out.stream = std::move(emitter).finish();
  out.tree = MarshalValue(marshal::Dict{std::move(root)});
  return out;
}

}  // namespace

BenchSettings generate_settings(std::size_t target_bytes, std::uint64_t seed) {
  return generate(target_bytes, seed, true);
}

std::vector<std::uint8_t> generate_settings_stream(std::size_t target_bytes, std::uint64_t seed) {
  return generate(target_bytes, seed, false).stream;
}

const BenchSettings& codec_bench_settings() {
  static const BenchSettings settings = generate_settings(CODEC_BENCH_BYTES);
  return settings;
}

const std::vector<std::uint8_t>& codec_bench_stream() { return codec_bench_settings().stream; }

}  // namespace orvane::bench
