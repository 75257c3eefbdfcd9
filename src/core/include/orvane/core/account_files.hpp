// How settings files are named: the account a file belongs to, which entries of a settings folder
// are account files, and where a file's backup lies. Pure text rules, no file access.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::string_view BACKUP_EXTENSION = "dat.before-probe-formations";
inline constexpr std::string_view ACCOUNT_FILE_PREFIX = "core_user_";
inline constexpr std::string_view ACCOUNT_FILE_SUFFIX = ".dat";

// The path with the file name's extension replaced by BACKUP_EXTENSION (appended when it has
// none); the folder part is kept.
std::string backup_path_for(const std::string& path);
// The account text after ACCOUNT_FILE_PREFIX in the file stem; none when the stem lacks the
// prefix or is not UTF-8 text.
std::optional<std::string> account_label(const std::string& path);
// An entry of a settings folder that `accounts` lists: core_user_<account>.dat, without "__".
bool is_account_file_name(std::string_view name);

}  // namespace orvane
