#include "helpers/listing_equivalence.hpp"

#include <boost/json/serialize.hpp>
#include <cstdio>

#include "formation_tree.hpp"
#include "marshal/json_codec.hpp"
#include "orvane/core/formations.hpp"

namespace orvane::testing {
namespace {

std::string number_text(double d) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", d);
  return buffer;
}

// Element 1 of the selected formation's tuple as JSON text, or "-" where it is not there.
std::string selected_text(const marshal::JsonValue& root) {
  const boost::json::object* object = root.if_object();
  const marshal::JsonValue* ui = object ? object->if_contains(detail::UI_KEY) : nullptr;
  const boost::json::object* ui_object = ui ? ui->if_object() : nullptr;
  const marshal::JsonValue* selected =
      ui_object ? ui_object->if_contains(detail::SELECTED_FORMATION_KEY) : nullptr;
  const boost::json::array* items = selected ? detail::tuple_items(*selected, 2) : nullptr;
  return items ? boost::json::serialize((*items)[1]) : "-";
}

}  // namespace

std::string listing_text(const marshal::JsonValue& root) {
  std::string text = "custom " + std::to_string(custom_formation_count(root)) + "\n";
  text += "selected " + selected_text(root) + "\n";
  for (const Formation& f : read_formations(root)) {
    text += std::to_string(f.id) + " " + f.name + ":";
    for (const Probe& p : f.probes) {
      text += " " + number_text(p.x) + "," + number_text(p.y) + "," + number_text(p.z) + "," +
              number_text(p.range);
    }
    text += "\n";
  }
  return text;
}

std::string listing_mismatch(std::span<const std::uint8_t> bytes,
                             const marshal::ReadOptions& options) {
  const auto whole = marshal::decode_to_json(bytes, {}, options);
  const auto selected = marshal::decode_selected_json(bytes, formation_members(), {}, options);
  if (!whole || !selected) {
    const std::string a = whole ? "a tree" : whole.error().message();
    const std::string b = selected ? "a tree" : selected.error().message();
    return a == b ? "" : "whole decode: " + a + "\nselective decode: " + b;
  }
  if (whole->has_crc != selected->has_crc || whole->end_offset != selected->end_offset) {
    return "checksum flag or end offset differ";
  }
  const std::string a = listing_text(whole->value);
  const std::string b = listing_text(selected->value);
  return a == b ? "" : "whole decode lists:\n" + a + "selective decode lists:\n" + b;
}

}  // namespace orvane::testing
