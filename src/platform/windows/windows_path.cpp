#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include "orvane/platform/windows_path.hpp"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>

namespace orvane {
namespace {

bool is_device_path(std::wstring_view path) {
  return path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\");
}

}  // namespace

std::optional<std::wstring> wide_from_utf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  if (utf8.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(utf8.size());
  const int count =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (count <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), count) !=
      count) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> utf8_from_wide(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const int count = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr,
                                        0, nullptr, nullptr);
  if (count <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(count), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), count,
                          nullptr, nullptr) != count) {
    return std::nullopt;
  }
  return utf8;
}

Result<std::wstring, OsError> system_path(const std::string& path) {
  if (path.find('\0') != std::string::npos) return unexpected(OsError{ERROR_INVALID_NAME});
  auto converted = wide_from_utf8(path);
  if (!converted) return unexpected(OsError{ERROR_NO_UNICODE_TRANSLATION});
  std::wstring wide = std::move(*converted);
  if (wide.empty() || is_device_path(wide)) return wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  // Reserved names such as NUL come back as devices already.
  if (is_device_path(full)) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace orvane
