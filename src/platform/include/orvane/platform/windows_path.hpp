// How the Windows platform hands a UTF-8 path to the wide file API.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "orvane/core/platform.hpp"

namespace orvane {

// The form in which the file API takes a path of any length: `\\?\` and the full path, or
// `\\?\UNC\` and a share's full path. Past that prefix the system interprets nothing, so the
// full path is built first: the system resolves a relative path against the current folder
// (of the drive, for `C:name`), `.` and `..`, and `/` becomes `\`. A path already in a device
// form (`\\?\`, `\\.\`) is used as typed, and so is one the system cannot make full, so that the
// file call itself reports what is wrong with it. Fails for a path holding a NUL, which would
// cut it short and name another file, and for one that is not valid UTF-8.
Result<std::wstring, OsError> system_path(const std::string& path);

// Strict conversions between the program's UTF-8 text and the system's UTF-16: a malformed
// sequence or an unpaired surrogate fails instead of turning silently into U+FFFD, which would
// name a different file or show a different name.
std::optional<std::wstring> wide_from_utf8(std::string_view utf8);
std::optional<std::string> utf8_from_wide(std::wstring_view wide);

}  // namespace orvane
