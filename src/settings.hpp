// The settings-file pipeline: read and decode a file into its tagged JSON tree, copy it aside,
// and encode an edited tree back over it. Every failure comes back as one prefixed error text.
#pragma once

#include <boost/json/memory_resource.hpp>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "marshal/json.hpp"
#include "platform.hpp"

namespace orvane {

using marshal::JsonValue;

inline constexpr std::string_view BACKUP_EXTENSION = "dat.before-probe-formations";
inline constexpr std::string_view ACCOUNT_FILE_PREFIX = "core_user_";
inline constexpr std::string_view ACCOUNT_FILE_SUFFIX = ".dat";

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
std::string backup_path_for(const std::string& path);
Result<void, std::string> backup_settings(Platform& platform, const std::string& path);
std::optional<std::string> account_label(const std::string& path);

}  // namespace orvane
