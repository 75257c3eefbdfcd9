#include "settings.hpp"

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <utility>
#include <vector>

#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "restore_backup.hpp"

namespace orvane {
namespace {

// Reading and decoding in a scope of their own, so the file's bytes are released before the
// much larger JSON tree is built.
Result<marshal::DecodedStream, std::string> read_and_decode(Platform& platform,
                                                            const std::string& path) {
  auto bytes = platform.read_file(path);
  if (!bytes) return unexpected("read " + path + ": " + platform.os_error_text(bytes.error()));
  auto decoded = marshal::read_marshal(*bytes);
  if (!decoded) return unexpected("decode " + path + ": " + decoded.error().message());
  return std::move(*decoded);
}

}  // namespace

Result<LoadedSettings, std::string> load_settings(Platform& platform, const std::string& path) {
  auto decoded = read_and_decode(platform, path);
  if (!decoded) return decoded.take_error();
  const bool has_crc = decoded->has_crc;
  // A settings file maps to millions of small nodes: an arena makes building and freeing them
  // cheap. The tree shares ownership of its arena, so it lives as long as the tree does.
  JsonValue tree = marshal::value_to_json(
      decoded->value, boost::json::make_shared_resource<boost::json::monotonic_resource>());
  return LoadedSettings{std::move(tree), has_crc};
}

Result<void, std::string> save_settings(Platform& platform, const std::string& path,
                                        const JsonValue& tree, bool has_crc) {
  std::vector<std::uint8_t> bytes;
  {
    auto value = marshal::json_to_value(tree);
    if (!value) return unexpected("rebuild settings: " + value.error().message());
    const marshal::EncodeOptions options{.write_crc = has_crc, .mode_byte = 1};
    auto encoded = marshal::write_marshal(*value, options);
    if (!encoded) return unexpected("encode settings: " + encoded.error().message());
    bytes = std::move(*encoded);
  }
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
