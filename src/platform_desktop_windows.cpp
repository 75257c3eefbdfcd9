// The window program's part of the platform on Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: these rely on its types.
#include <ntsecapi.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform.hpp"
#include "windows_path.hpp"

namespace orvane {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::optional<std::string> environment_folder(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  value.resize(length);
  auto utf8 = utf8_from_wide(value);
  if (!utf8 || utf8->empty()) return std::nullopt;
  return utf8;
}

}  // namespace

PathKind Platform::path_kind(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return PathKind::Missing;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::File;
  // Junctions and folder links both carry the reparse-point attribute.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::FolderLink;
  return PathKind::Folder;
}

std::string Platform::parent_folder(const std::string& path) const {
  std::string_view rest = path;
  while (!rest.empty() && is_separator(rest.back())) rest.remove_suffix(1);
  std::size_t cut = rest.size();
  while (cut > 0 && !is_separator(rest[cut - 1])) --cut;
  if (cut == 0) return {};  // "C:" or a bare name: the drives are above
  std::string_view parent = rest.substr(0, cut - 1);
  while (!parent.empty() && is_separator(parent.back())) parent.remove_suffix(1);
  // A share (\\server\share) has nothing above it but the drives.
  if (parent.empty() ||
      (path.starts_with("\\\\") && parent.find_first_of("\\/", 2) == std::string_view::npos)) {
    return {};
  }
  if (parent.size() == 2 && parent[1] == ':') return std::string(parent) + '\\';
  return std::string(parent);
}

std::vector<std::string> Platform::drives() {
  std::vector<std::string> roots;
  wchar_t buffer[512];
  const DWORD length = GetLogicalDriveStringsW(512, buffer);
  if (length == 0 || length > 512) return roots;
  for (std::wstring_view rest(buffer, length); !rest.empty();) {
    const std::size_t end = rest.find(L'\0');
    const std::wstring_view root = rest.substr(0, end);
    if (!root.empty()) {
      if (auto text = utf8_from_wide(root)) roots.push_back(std::move(*text));
    }
    if (end == std::wstring_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return roots;
}

std::optional<std::string> Platform::local_app_data_folder() {
  return environment_folder(L"LOCALAPPDATA");
}

std::optional<std::string> Platform::home_folder() { return environment_folder(L"USERPROFILE"); }

std::optional<std::string> Platform::state_folder() { return local_app_data_folder(); }

// The folder inherits the user's own profile's permissions, which other users cannot enter.
Result<void, OsError> Platform::create_private_folder(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return unexpected(OsError{ERROR_NO_UNICODE_TRANSLATION});
  if (CreateDirectoryW(wide->c_str(), nullptr)) return {};
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) {
    const DWORD attributes = GetFileAttributesW(wide->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return {};
    return unexpected(OsError{ERROR_DIRECTORY});
  }
  if (error != ERROR_PATH_NOT_FOUND) return unexpected(OsError{static_cast<int>(error)});
  const std::string parent = parent_folder(path);
  if (parent.empty() || parent == path) return unexpected(OsError{static_cast<int>(error)});
  if (auto made = create_private_folder(parent); !made) return made;
  if (CreateDirectoryW(wide->c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return {};
  return unexpected(OsError{static_cast<int>(GetLastError())});
}

Result<void, OsError> Platform::open_in_browser(const std::string& url) {
  auto wide = wide_from_utf8(url);
  if (!wide) return unexpected(OsError{ERROR_NO_UNICODE_TRANSLATION});
  // Values above 32 mean success; the smaller ones are error codes of their own.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide->c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) return unexpected(OsError{static_cast<int>(GetLastError())});
  return {};
}

Result<void, OsError> Platform::random_bytes(std::span<std::uint8_t> out) {
  while (!out.empty()) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(out.size(), ULONG_MAX));
    if (!RtlGenRandom(out.data(), piece))
      return unexpected(OsError{static_cast<int>(GetLastError())});
    out = out.subspan(piece);
  }
  return {};
}

// Only a file on a disk counts: a console, a pipe or a device opened by name has another type.
Result<support::UnclearedBytes, BoundedReadError> Platform::read_regular_file(
    const std::string& path, std::size_t max_bytes) {
  const auto system = [] {
    return unexpected(BoundedReadError{ReadRefusal::System, {static_cast<int>(GetLastError())}});
  };
  auto wide = system_path(path);
  if (!wide) return unexpected(BoundedReadError{ReadRefusal::System, wide.error()});
  const HANDLE file = CreateFileW(wide->c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return system();
  struct Closer {
    HANDLE handle;
    ~Closer() { CloseHandle(handle); }
  } closer{file};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return system();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return unexpected(BoundedReadError{ReadRefusal::System, {ERROR_ACCESS_DENIED}});
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    return unexpected(BoundedReadError{ReadRefusal::NotRegular, {}});
  }
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  if (size > max_bytes) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});

  // One byte past the bound is read at most: it shows a file that grew beyond it meanwhile.
  const std::size_t limit = max_bytes < SIZE_MAX ? max_bytes + 1 : max_bytes;
  support::UnclearedBytes bytes;
  bytes.resize(std::max<std::size_t>(with_rewrite_room(static_cast<std::size_t>(size)), 4096));
  std::size_t used = 0;
  for (;;) {
    if (used >= limit) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});
    if (used == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit));
    const std::size_t piece =
        std::min<std::size_t>(std::min(bytes.size(), limit) - used, std::size_t{1} << 30);
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + used, static_cast<DWORD>(piece), &got, nullptr)) {
      return system();
    }
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

std::optional<std::string> Platform::resolved_path(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return std::nullopt;
  const HANDLE file =
      CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (length >= final_path.size()) {
    final_path.resize(length + 1);
    length = GetFinalPathNameByHandleW(file, final_path.data(),
                                       static_cast<DWORD>(final_path.size()), 0);
  }
  CloseHandle(file);
  if (length == 0 || length >= final_path.size()) return std::nullopt;
  final_path.resize(length);
  return utf8_from_wide(final_path);
}

Result<void, OsError> Platform::remove_file(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return wide.take_error();
  if (DeleteFileW(wide->c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return {};
  return unexpected(OsError{static_cast<int>(GetLastError())});
}

}  // namespace orvane
