// Builders for the settings and package files the end-to-end tests hand to the program, and a
// decoder to inspect what the program leaves behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/writer.hpp"

namespace e2e {

using marshal::JsonValue;

struct StoredProbe {
  double x = 0;
  double y = 0;
  double z = 0;
  double range = 0;
};

struct StoredFormation {
  std::int64_t id = 0;
  std::string name;
  std::vector<StoredProbe> probes;
};

// `count` probes at made-up positions.
std::vector<StoredProbe> sample_probes(int count);

inline constexpr char UI_KEY[] = "bytes:ui";
inline constexpr char CUSTOM_KEY[] = "bytes:probescanning.customFormations";
inline constexpr char SELECTED_KEY[] = "bytes:probescanning.selectedFormationID";

// A tagged settings tree: a few unrelated settings, the formations and the selected id under
// "bytes:ui". With `with_custom` false the tree has no custom formations member at all.
JsonValue settings_tree(const std::vector<StoredFormation>& formations, std::int64_t selected,
                        bool with_custom = true);

// `count` formations named "F1".."Fn" with ids 1..n and two probes each.
std::vector<StoredFormation> numbered_formations(int count, const std::string& name_prefix = "F");

// The marshal bytes of a tagged tree; empty (and a test failure) when it cannot be encoded.
std::string encode_settings(const JsonValue& tree, marshal::EncodeOptions options = {});
std::string encode_settings(const std::vector<StoredFormation>& formations,
                            marshal::EncodeOptions options = {});

// The tagged tree of marshal bytes, or nothing when they do not decode.
struct DecodedSettings {
  JsonValue tree;
  bool has_crc = false;
};
std::optional<DecodedSettings> decode_settings(const std::string& bytes);

// A package file accepted by the program, in compact JSON.
std::string package_text(const std::vector<StoredFormation>& formations,
                         const std::string& format = "kelvo-probe-formations",
                         std::int64_t version = 1);

// The Adler-32 checksum of RFC 1950.
std::uint32_t adler32(const std::string& bytes);

}  // namespace e2e
