// The settings-file pipeline: read and decode a file into its tagged JSON tree, copy it aside,
// and encode an edited tree back over it. Every failure comes back as one prefixed error text.
#pragma once

#include <boost/json/monotonic_resource.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "marshal/error.hpp"
#include "marshal/json.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/platform.hpp"

namespace orvane {

using marshal::JsonValue;

struct LoadedSettings {
  // Holds every node of `tree`, which never frees one: all go at once with the arena. Declared
  // before the tree, so the tree is gone before its memory.
  std::unique_ptr<boost::json::monotonic_resource> arena;
  JsonValue tree;
  bool has_crc = false;
  std::size_t file_size = 0;  // as read: the guess at the size of the rewritten file
};

Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path);
// The texts of a file that cannot be read, and of one that cannot be decoded.
std::string read_error_text(Platform& platform, const std::string& path, OsError error);
std::string decode_error_text(const std::string& path, const marshal::MarshalError& error);
// The tree of a settings file's bytes; `path` names the file in the error text.
Result<LoadedSettings, std::string> decode_settings(std::span<const std::uint8_t> bytes,
                                                    const std::string& path);
// The bytes save_settings writes for a tree: "rebuild settings: ..." or "encode settings: ..."
// when it cannot be encoded. `expected_size` is a guess at their size.
Result<support::UnclearedBytes, std::string> encode_settings(const JsonValue& tree, bool has_crc,
                                                             std::size_t expected_size);
// `expected_size` is a guess at the size of the new bytes, such as the loaded file's size.
Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc,
                                        std::size_t expected_size);
// Writes `bytes` over the settings file at `path`, synced, with interruptions held until the
// file is whole again: merged, or put back from its backup when the write failed.
Result<void, std::string> write_settings_file(Platform& platform, const std::string& path,
                                              std::span<const std::uint8_t> bytes);
Result<void, std::string> backup_settings(Platform& platform, const std::string& path);

}  // namespace orvane
