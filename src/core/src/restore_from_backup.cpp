#include "orvane/core/restore_from_backup.hpp"

#include "orvane/core/account_files.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {

Result<void, std::string> restore_from_backup(Platform& platform, const std::string& path) {
  const std::string backup = backup_path_for(path);
  auto bytes = platform.read_file(backup);
  if (!bytes) return unexpected("read " + backup + ": " + platform.os_error_text(bytes.error()));
  // A backup the client could not read would only trade one broken file for another. The bytes
  // checked are the bytes written back.
  if (auto checked = decode_settings(*bytes, backup); !checked) return checked.take_error();
  return write_settings_file(platform, path, *bytes);
}

}  // namespace orvane
