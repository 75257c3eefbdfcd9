#include "settings.hpp"

#include <boost/json/monotonic_resource.hpp>
#include <cstdint>
#include <utility>
#include <vector>

#include "marshal/reader.hpp"
#include "marshal/utf8.hpp"
#include "marshal/writer.hpp"
#include "restore_backup.hpp"

namespace orvane {
namespace {

// A backslash is an ordinary file-name character outside Windows.
#ifdef _WIN32
constexpr std::string_view PATH_SEPARATORS = "/\\";
#else
constexpr std::string_view PATH_SEPARATORS = "/";
#endif

std::size_t file_name_start(std::string_view path) {
  const std::size_t sep = path.find_last_of(PATH_SEPARATORS);
  return sep == std::string_view::npos ? 0 : sep + 1;
}

// Position of the "." that starts the file name's extension, if it has one. A leading dot
// belongs to the name itself (".dat" has none).
std::optional<std::size_t> extension_dot(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return dot;
}

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

std::string backup_path_for(const std::string& path) {
  const std::size_t start = file_name_start(path);
  const std::optional<std::size_t> dot = extension_dot(std::string_view(path).substr(start));
  std::string backup = dot ? path.substr(0, start + *dot) : path;
  backup += '.';
  backup += BACKUP_EXTENSION;
  return backup;
}

Result<void, std::string> backup_settings(Platform& platform, const std::string& path) {
  auto copied = platform.copy_file(path, backup_path_for(path));
  if (!copied) return unexpected("backup " + path + ": " + platform.os_error_text(copied.error()));
  return {};
}

std::optional<std::string> account_label(const std::string& path) {
  const std::string_view name = std::string_view(path).substr(file_name_start(path));
  if (name.empty()) return std::nullopt;
  const std::optional<std::size_t> dot = extension_dot(name);
  const std::string_view stem = dot ? name.substr(0, *dot) : name;
  if (!marshal::is_valid_utf8(stem) || stem.size() < ACCOUNT_FILE_PREFIX.size() ||
      !stem.starts_with(ACCOUNT_FILE_PREFIX)) {
    return std::nullopt;
  }
  return std::string(stem.substr(ACCOUNT_FILE_PREFIX.size()));
}

}  // namespace orvane
