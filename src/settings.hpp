// The settings-file pipeline: read and decode a file into its tagged JSON tree, copy it aside,
// and encode an edited tree back over it. Every failure comes back as one prefixed error text.
#pragma once

#include <string>
#include <string_view>

#include "account_files.hpp"
#include "marshal/json.hpp"
#include "platform.hpp"

namespace orvane {

using marshal::JsonValue;

struct LoadedSettings {
  JsonValue tree;
  bool has_crc = false;
};

Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path);
Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc);
Result<void, std::string> backup_settings(Platform& platform, const std::string& path);

}  // namespace orvane
