// The window program's desktop on Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: these rely on its types.
#include <ntsecapi.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>

#include "orvane/platform/windows_path.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {
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

class WindowsDesktop final : public Desktop {
 public:
  PathKind path_kind(const std::string& path) override;
  std::string parent_folder(const std::string& path) const override;
  std::vector<std::string> drives() override;
  std::optional<std::string> local_app_data_folder() override;
  std::optional<std::string> home_folder() override;
  std::optional<std::string> state_folder() override;
  Result<void, OsError> create_private_folder(const std::string& path) override;
  Result<void, OsError> open_in_browser(const std::string& url) override;
  Result<void, OsError> random_bytes(std::span<std::uint8_t> out) override;
  std::uint64_t process_id() override;
  bool process_running(std::uint64_t id) override;
  std::optional<std::uint64_t> modified_time(const std::string& path) override;
  Result<void, OsError> write_private_file(const std::string& path,
                                           std::string_view bytes) override;
};

std::optional<std::uint64_t> WindowsDesktop::modified_time(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

PathKind WindowsDesktop::path_kind(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return PathKind::Missing;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::File;
  // Junctions and folder links both carry the reparse-point attribute.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::FolderLink;
  return PathKind::Folder;
}

std::string WindowsDesktop::parent_folder(const std::string& path) const {
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

std::vector<std::string> WindowsDesktop::drives() {
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

std::optional<std::string> WindowsDesktop::local_app_data_folder() {
  return environment_folder(L"LOCALAPPDATA");
}

std::optional<std::string> WindowsDesktop::home_folder() {
  return environment_folder(L"USERPROFILE");
}

std::optional<std::string> WindowsDesktop::state_folder() { return local_app_data_folder(); }

// The folder inherits the user's own profile's permissions, which other users cannot enter.
Result<void, OsError> WindowsDesktop::create_private_folder(const std::string& path) {
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

Result<void, OsError> WindowsDesktop::open_in_browser(const std::string& url) {
  auto wide = wide_from_utf8(url);
  if (!wide) return unexpected(OsError{ERROR_NO_UNICODE_TRANSLATION});
  // Values above 32 mean success; the smaller ones are error codes of their own.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide->c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) return unexpected(OsError{static_cast<int>(GetLastError())});
  return {};
}

Result<void, OsError> WindowsDesktop::random_bytes(std::span<std::uint8_t> out) {
  while (!out.empty()) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(out.size(), ULONG_MAX));
    if (!RtlGenRandom(out.data(), piece))
      return unexpected(OsError{static_cast<int>(GetLastError())});
    out = out.subspan(piece);
  }
  return {};
}

std::uint64_t WindowsDesktop::process_id() { return GetCurrentProcessId(); }

bool WindowsDesktop::process_running(std::uint64_t id) {
  if (id == 0 || id > MAXDWORD) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return false;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// The file takes the permissions of the folder it is made in: the program's data folder lies in
// the user's own profile, which other users cannot read.
Result<void, OsError> WindowsDesktop::write_private_file(const std::string& path,
                                                         std::string_view bytes) {
  auto wide = system_path(path);
  if (!wide) return wide.take_error();
  const std::wstring temporary = *wide + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return unexpected(OsError{static_cast<int>(GetLastError())});
  DWORD error = 0;
  while (error == 0 && !bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), piece, &written, nullptr)) error = GetLastError();
    bytes.remove_prefix(written);
  }
  if (!CloseHandle(file) && error == 0) error = GetLastError();
  if (error == 0 && !MoveFileExW(temporary.c_str(), wide->c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = GetLastError();
  }
  if (error == 0) return {};
  DeleteFileW(temporary.c_str());
  return unexpected(OsError{static_cast<int>(error)});
}

std::unique_ptr<Desktop> make_native_desktop() { return std::make_unique<WindowsDesktop>(); }

}  // namespace orvane::ui
