// The settings-file pipeline: read and decode a file into its tagged JSON tree, copy it aside,
// and encode an edited tree back over it. Every failure comes back as one prefixed error text.
#pragma once

#include <boost/json/memory_resource.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "account_files.hpp"
#include "marshal/json.hpp"
#include "platform.hpp"

namespace orvane {

using marshal::JsonValue;

struct LoadedSettings {
  // Holds every node of `tree`, which never frees one: all go at once with the arena. Declared
  // before the tree, so the tree is gone before its memory.
  std::unique_ptr<boost::json::memory_resource> arena;
  JsonValue tree;
  bool has_crc = false;
};

Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path);
Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc);
// Writes `bytes` over the settings file at `path`, the last step of a save. When the write fails
// after the file was cut short, the file is put back from its backup.
Result<void, std::string> write_settings_file(Platform& platform, const std::string& path,
                                              std::span<const std::uint8_t> bytes);
Result<void, std::string> backup_settings(Platform& platform, const std::string& path);

}  // namespace orvane
