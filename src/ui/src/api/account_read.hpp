// How the page reads an account file or a backup: only a regular file, never more than
// MAX_ACCOUNT_FILE_BYTES of it, and with the version of what it read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "orvane/core/account_folder.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/core/settings.hpp"
#include "orvane/ui/api_json.hpp"

namespace orvane::ui {

inline constexpr std::size_t MAX_ACCOUNT_FILE_BYTES = std::size_t{256} << 20;

struct AccountBytes {
  support::UnclearedBytes bytes;
  std::string version;  // content_version of the bytes
};

// Refused with not_a_regular_file, too_large or read_failed, each naming the path.
Result<AccountBytes, ApiError> read_account_bytes(Platform& platform, const std::string& path);
// The tree of bytes read from `path`; not_a_settings_file when they do not decode.
Result<LoadedSettings, ApiError> decode_account(std::span<const std::uint8_t> bytes,
                                                const std::string& path);

// The versions a request names, by account: each account it reads or writes needs one.
using ShownVersions = std::map<std::string, std::string>;
Result<ShownVersions, ApiError> shown_versions(const boost::json::object& body);
// Refused as a bad request when the request names no version for the account.
Result<std::string, ApiError> shown_version(const ShownVersions& versions,
                                            const std::string& account);
// The account read afresh, refused with changed_on_disk unless it still holds what the page
// showed.
Result<AccountBytes, ApiError> read_shown_account(Platform& platform, const AccountFile& file,
                                                  const ShownVersions& versions);
// The refusal of a change to an account that is no longer as the page showed it.
ApiError changed_on_disk(const std::string& account, std::string_view what);

// Refused with outside_folder unless the account file, its links followed, lies in `folder`.
Result<void, ApiError> check_inside_folder(Platform& platform, const std::string& folder,
                                           const AccountFile& file);

}  // namespace orvane::ui
