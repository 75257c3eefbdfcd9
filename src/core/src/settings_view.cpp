#include "orvane/core/settings_view.hpp"

#include <utility>

#include "marshal/json_codec.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {

Result<SettingsView, std::string> decode_settings_view(std::span<const std::uint8_t> bytes,
                                                       const std::string& path) {
  auto arena = std::make_unique<boost::json::monotonic_resource>();
  auto decoded = marshal::decode_selected_json(bytes, formation_members(),
                                               boost::json::storage_ptr(arena.get()));
  if (!decoded) return unexpected(decode_error_text(path, decoded.error()));
  return SettingsView{std::move(arena), std::move(decoded->value), decoded->has_crc};
}

Result<SettingsView, std::string> load_settings_view(Platform& platform, const std::string& path) {
  auto bytes = platform.read_file(path);
  if (!bytes) return unexpected(read_error_text(platform, path, bytes.error()));
  return decode_settings_view(*bytes, path);
}

}  // namespace orvane
