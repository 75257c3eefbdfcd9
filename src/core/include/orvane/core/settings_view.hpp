// A settings file read only as far as its formations: for what shows them and changes nothing.
// Every byte is read and checked as load_settings checks it, so a file fails with the same text,
// but of the tree only the members that read_formations and custom_formation_count read are
// built. Anything that writes the file needs the whole tree of load_settings.
#pragma once

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "marshal/json.hpp"
#include "orvane/core/platform.hpp"

namespace orvane {

struct SettingsView {
  // Holds every node of `tree`; declared first, so the tree goes before its memory.
  std::unique_ptr<boost::json::monotonic_resource> arena;
  marshal::JsonValue tree;  // the settings tree cut down to the formations' members
  bool has_crc = false;
};

// "read {}: {}" or "decode {}: {}", as load_settings.
Result<SettingsView, std::string> load_settings_view(Platform& platform, const std::string& path);
// `path` names the file in the error text.
Result<SettingsView, std::string> decode_settings_view(std::span<const std::uint8_t> bytes,
                                                       const std::string& path);

}  // namespace orvane
