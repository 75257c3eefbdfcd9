#include "orvane/core/settings.hpp"

#include <cstdint>
#include <utility>

#include "marshal/json_codec.hpp"
#include "orvane/core/restore_after_failed_write.hpp"
#include "settings_arena.hpp"

namespace orvane {

std::string read_error_text(Platform& platform, const std::string& path, OsError error) {
  return "read " + path + ": " + platform.os_error_text(error);
}

std::string decode_error_text(const std::string& path, const marshal::MarshalError& error) {
  return "decode " + path + ": " + error.message();
}

// One pass from the file's bytes to its JSON tree. The tree refers to its arena without sharing
// it: no node then counts references, and none is freed on its own.
Result<LoadedSettings, std::string> decode_settings(std::span<const std::uint8_t> bytes,
                                                    const std::string& path) {
  auto arena = make_settings_arena(bytes.size());
  auto decoded = marshal::decode_to_json(bytes, boost::json::storage_ptr(arena.get()));
  if (!decoded) return unexpected(decode_error_text(path, decoded.error()));
  return LoadedSettings{std::move(arena), std::move(decoded->value), decoded->has_crc,
                        bytes.size()};
}

Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path) {
  auto bytes = platform.read_file(path);
  if (!bytes) return unexpected(read_error_text(platform, path, bytes.error()));
  return decode_settings(*bytes, path);
}

// One pass from the JSON tree to the new bytes, in a buffer reserved once.
Result<support::UnclearedBytes, std::string> encode_settings(const JsonValue& tree, bool has_crc,
                                                             std::size_t expected_size) {
  support::UnclearedBytes bytes;
  bytes.reserve(with_rewrite_room(expected_size));
  marshal::VectorOutput out(bytes);
  const marshal::EncodeOptions options{.write_crc = has_crc, .mode_byte = 1};
  auto encoded = marshal::encode_from_json(tree, options, out);
  if (!encoded) {
    const marshal::EncodeFailure& failure = encoded.error();
    const char* step =
        failure.step == marshal::EncodeStep::Rebuild ? "rebuild settings: " : "encode settings: ";
    return unexpected(step + failure.error.message());
  }
  return bytes;
}

Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc,
                                        std::size_t expected_size) {
  auto bytes = encode_settings(tree, has_crc, expected_size);
  if (!bytes) return bytes.take_error();
  return write_settings_file(platform, path, *bytes);
}

Result<void, std::string> write_settings_file(Platform& platform, const std::string& path,
                                              std::span<const std::uint8_t> bytes) {
  const InterruptionsHeld held(platform);
  auto written = platform.write_file(path, bytes);
  if (!written) {
    restore_after_failed_write(platform, path, written.error());
    return unexpected("write " + path + ": " + platform.os_error_text(written.error().os));
  }
  return {};
}

Result<void, std::string> backup_settings(Platform& platform, const std::string& path) {
  auto copied = platform.copy_file(path, backup_path_for(path));
  if (!copied) return unexpected("backup " + path + ": " + platform.os_error_text(copied.error()));
  return {};
}

}  // namespace orvane
