#include "account_read.hpp"

#include "orvane/core/content_version.hpp"

namespace orvane::ui {

Result<AccountBytes, ApiError> read_account_bytes(Platform& platform, const std::string& path) {
  auto bytes = platform.read_regular_file(path, MAX_ACCOUNT_FILE_BYTES);
  if (!bytes) {
    const BoundedReadError& error = bytes.error();
    switch (error.refusal) {
      case ReadRefusal::NotRegular:
        return refused(ErrorCode::NotARegularFile,
                       "read " + path + ": not a regular file (a pipe, device or socket)");
      case ReadRefusal::TooLarge:
        return refused(ErrorCode::TooLarge, "read " + path + ": larger than 256 MiB");
      case ReadRefusal::System:
        break;
    }
    return refused(ErrorCode::ReadFailed, "read " + path + ": " + platform.os_error_text(error.os));
  }
  std::string version = content_version(*bytes);
  return AccountBytes{std::move(*bytes), std::move(version)};
}

Result<LoadedSettings, ApiError> decode_account(std::span<const std::uint8_t> bytes,
                                                const std::string& path) {
  auto loaded = decode_settings(bytes, path);
  if (!loaded) return refused(ErrorCode::NotASettingsFile, loaded.error());
  return std::move(*loaded);
}

Result<ShownVersions, ApiError> shown_versions(const boost::json::object& body) {
  return string_map_member(body, "versions");
}

Result<std::string, ApiError> shown_version(const ShownVersions& versions,
                                            const std::string& account) {
  const auto it = versions.find(account);
  if (it == versions.end()) {
    return bad_request("\"versions\" names no version of account \"" + account + "\"");
  }
  return it->second;
}

ApiError changed_on_disk(const std::string& account, std::string_view what) {
  return ApiError{ErrorCode::ChangedOnDisk, "account " + account + " changed on disk since the " +
                                                "page showed it (" + std::string(what) +
                                                "): it was left as it is"};
}

Result<AccountBytes, ApiError> read_shown_account(Platform& platform, const AccountFile& file,
                                                  const ShownVersions& versions) {
  auto shown = shown_version(versions, file.account);
  if (!shown) return shown.take_error();
  auto read = read_account_bytes(platform, file.path);
  if (!read) return read;
  if (read->version != *shown) return unexpected(changed_on_disk(file.account, "another version"));
  return read;
}

Result<void, ApiError> check_inside_folder(Platform& platform, const std::string& folder,
                                           const AccountFile& file) {
  const auto outside = [&] {
    return refused(ErrorCode::OutsideFolder,
                   file.path + " leads outside the folder " + folder + ": it is not changed here");
  };
  const std::optional<std::string> real_folder = platform.resolved_path(folder);
  const std::optional<std::string> real_file = platform.resolved_path(file.path);
  if (!real_folder || !real_file) return outside();
  const std::string inside = platform.join_path(*real_folder, "");
  if (!real_file->starts_with(inside) || real_file->size() == inside.size()) return outside();
  return {};
}

}  // namespace orvane::ui
