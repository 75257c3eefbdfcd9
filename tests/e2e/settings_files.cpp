#include "settings_files.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdint>
#include <span>

#include "helpers/adler32_reference.hpp"
#include "marshal/reader.hpp"

namespace e2e {
namespace json = boost::json;
namespace {

// An old but plausible FILETIME, so a rewrite visibly replaces the stamp.
constexpr char OLD_STAMP[] = "long:133480000000000000";

JsonValue tuple(json::array items) { return json::object{{"tuple", std::move(items)}}; }

JsonValue probe_json(const StoredProbe& probe) {
  return tuple({tuple({probe.x, probe.y, probe.z}), probe.range});
}

JsonValue formation_json(const StoredFormation& formation) {
  json::array probes;
  for (const StoredProbe& probe : formation.probes) probes.push_back(probe_json(probe));
  return tuple({json::string("utf8:" + formation.name), std::move(probes)});
}

}  // namespace

std::vector<StoredProbe> sample_probes(int count) {
  std::vector<StoredProbe> probes;
  for (int i = 0; i < count; ++i) {
    probes.push_back({1000.5 * i, -250000.0 + i, 0.25 * i, 4.0 + i});
  }
  return probes;
}

std::vector<StoredFormation> numbered_formations(int count, const std::string& name_prefix) {
  std::vector<StoredFormation> formations;
  for (int i = 1; i <= count; ++i) {
    formations.push_back({i, name_prefix + std::to_string(i), sample_probes(2)});
  }
  return formations;
}

JsonValue settings_tree(const std::vector<StoredFormation>& formations, std::int64_t selected,
                        bool with_custom) {
  json::object ui;
  ui["bytes:window.scale"] = 1.25;
  ui["bytes:chat.fontSize"] = 12;
  if (with_custom) {
    json::object dict;
    for (const StoredFormation& formation : formations) {
      dict["int:" + std::to_string(formation.id)] = formation_json(formation);
    }
    ui[CUSTOM_KEY] = tuple({OLD_STAMP, std::move(dict)});
  }
  ui[SELECTED_KEY] = tuple({OLD_STAMP, selected});

  json::object root;
  root["bytes:version"] = 3;
  root[UI_KEY] = std::move(ui);
  root["bytes:lastSession"] = "utf8:test";
  return root;
}

std::string encode_settings(const JsonValue& tree, marshal::EncodeOptions options) {
  auto value = marshal::json_to_value(tree);
  if (!value) {
    ADD_FAILURE() << "test tree does not convert: " << value.error().message();
    return {};
  }
  auto bytes = marshal::write_marshal(*value, options);
  if (!bytes) {
    ADD_FAILURE() << "test tree does not encode: " << bytes.error().message();
    return {};
  }
  return std::string(bytes->begin(), bytes->end());
}

std::string encode_settings(const std::vector<StoredFormation>& formations,
                            marshal::EncodeOptions options) {
  const std::int64_t selected = formations.empty() ? 0 : formations.front().id;
  return encode_settings(settings_tree(formations, selected), options);
}

std::optional<DecodedSettings> decode_settings(const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  auto decoded = marshal::read_marshal(std::span<const std::uint8_t>(data, bytes.size()));
  if (!decoded) return std::nullopt;
  return DecodedSettings{marshal::value_to_json(decoded->value), decoded->has_crc};
}

std::string package_text(const std::vector<StoredFormation>& formations, const std::string& format,
                         std::int64_t version) {
  json::array records;
  for (const StoredFormation& formation : formations) {
    json::array probes;
    for (const StoredProbe& p : formation.probes) {
      probes.push_back(json::object{{"x", p.x}, {"y", p.y}, {"z", p.z}, {"range", p.range}});
    }
    records.push_back(json::object{
        {"id", formation.id}, {"name", formation.name}, {"probes", std::move(probes)}});
  }
  return json::serialize(
      json::object{{"format", format}, {"version", version}, {"formations", std::move(records)}});
}

std::uint32_t adler32(const std::string& bytes) {
  return marshal::testing::adler32_by_definition(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace e2e
