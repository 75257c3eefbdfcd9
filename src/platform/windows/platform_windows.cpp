// The Win32 side of the program: UTF-16 paths and arguments on the system side, UTF-8 text
// everywhere else. Nothing here goes through the C runtime's code-page conversions, so a file
// name or a formation name reaches the disk and the console unchanged.

// GetSystemTimePreciseAsFileTime exists from Windows 8 on.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <optional>

#include "orvane/platform/native_platform.hpp"
#include "orvane/platform/windows_path.hpp"

namespace orvane {
namespace {

// The largest piece handed to one ReadFile or WriteFile call.
constexpr std::size_t MAX_IO_CHUNK = std::size_t{1} << 30;
constexpr std::size_t READ_GROWTH = std::size_t{1} << 20;
// Consoles of older systems refuse very long writes; this stays well below their limit.
constexpr std::size_t MAX_CONSOLE_CHUNK = 8192;

template <BOOL(WINAPI* Close)(HANDLE)>
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() {
    if (valid()) Close(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  // Closes now and reports whether the system accepted it.
  bool close() {
    const bool closed = Close(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};
using FileHandle = ScopedHandle<CloseHandle>;
using FindHandle = ScopedHandle<FindClose>;

// Memory the system allocated with LocalAlloc on our behalf.
template <class T>
class LocalMemory {
 public:
  LocalMemory() = default;
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() {
    if (memory_ != nullptr) LocalFree(memory_);
  }
  T*& out() { return memory_; }
  T* get() const { return memory_; }

 private:
  T* memory_ = nullptr;
};

OsError last_error() { return OsError{static_cast<int>(GetLastError())}; }

bool ends_in_separator(std::string_view path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool is_directory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Devices such as NUL or a console have nothing to flush and say so.
bool flush_to_disk(HANDLE handle) {
  if (FlushFileBuffers(handle)) return true;
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_HANDLE;
}

// Set while nothing is held: a console event waits on it, then takes its usual course.
HANDLE interruptions_released() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  return event;
}

// Runs on a thread of its own that the system starts for the event. Returning FALSE hands the
// event on to the default handler, which ends the process; the close event ends it anyway a few
// seconds after the window went, a limit the system sets.
BOOL WINAPI wait_for_release(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      WaitForSingleObject(interruptions_released(), INFINITE);
      break;
    default:
      break;
  }
  return FALSE;
}

Result<void, OsError> write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min(bytes.size(), MAX_IO_CHUNK));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), piece, &written, nullptr)) return unexpected(last_error());
    if (written == 0) return unexpected(OsError{ERROR_WRITE_FAULT});
    bytes.remove_prefix(written);
  }
  return {};
}

// A console shows UTF-16 whatever its code page, so players see the names as they are. Bytes
// that are not UTF-8 (none of the program's own output) show as U+FFFD.
Result<void, OsError> write_console(HANDLE console, std::string_view text) {
  while (!text.empty()) {
    std::size_t piece = std::min(text.size(), MAX_CONSOLE_CHUNK);
    // Cut before a UTF-8 continuation byte so no character is split between two calls.
    while (piece < text.size() && piece > 0 &&
           (static_cast<unsigned char>(text[piece]) & 0xC0) == 0x80) {
      --piece;
    }
    if (piece == 0) piece = std::min(text.size(), MAX_CONSOLE_CHUNK);
    const int size = static_cast<int>(piece);
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (count <= 0) return unexpected(last_error());
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), count);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD written = 0;
      if (!WriteConsoleW(console, rest.data(), static_cast<DWORD>(rest.size()), &written,
                         nullptr)) {
        return unexpected(last_error());
      }
      if (written == 0) return unexpected(OsError{ERROR_WRITE_FAULT});
      rest.remove_prefix(written);
    }
    text.remove_prefix(piece);
  }
  return {};
}

// Standard output and error carry UTF-8 bytes unchanged when redirected to a file or a pipe.
Result<void, OsError> write_standard(DWORD which, std::string_view text) {
  if (text.empty()) return {};
  const HANDLE handle = GetStdHandle(which);
  if (handle == INVALID_HANDLE_VALUE) return unexpected(last_error());
  if (handle == nullptr) return unexpected(OsError{ERROR_INVALID_HANDLE});
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) return write_console(handle, text);
  return write_all(handle, text);
}

// read_file and describe_error keep their state on the stack and in the thread's own last-error
// code, so the threads that read a folder's accounts may call them at once.
class WindowsPlatform final : public Platform {
 public:
  // The C runtime's argv is in the ANSI code page and may have lost characters already, so the
  // arguments are taken from the UTF-16 command line instead.
  Result<std::vector<std::string>, std::string> arguments(int, char**) override {
    int count = 0;
    LocalMemory<LPWSTR> argv;
    argv.out() = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv.get() == nullptr) {
      return unexpected("command line: " + os_error_text(last_error()));
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
      auto text = utf8_from_wide(argv.get()[i]);
      if (!text) return unexpected("argument " + std::to_string(i) + " is not valid UTF-16 text");
      args.push_back(std::move(*text));
    }
    return args;
  }

  Result<support::UnclearedBytes, OsError> read_file(const std::string& path) override {
    auto wide = system_path(path);
    if (!wide) return wide.take_error();
    const FileHandle file(CreateFileW(wide->c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return unexpected(last_error());
    support::UnclearedBytes bytes;
    LARGE_INTEGER size{};
    // More than the size, so the read that finds the end needs no second buffer.
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < bytes.max_size() / 2) {
      bytes.reserve(with_rewrite_room(static_cast<std::size_t>(size.QuadPart)));
    }
    for (;;) {
      const std::size_t used = bytes.size();
      const std::size_t room = bytes.capacity() > used ? bytes.capacity() - used : READ_GROWTH;
      const std::size_t piece = std::min(room, MAX_IO_CHUNK);
      bytes.resize(used + piece);
      DWORD got = 0;
      if (!ReadFile(file.get(), bytes.data() + used, static_cast<DWORD>(piece), &got, nullptr)) {
        return unexpected(last_error());
      }
      bytes.resize(used + got);
      if (got == 0) return bytes;
    }
  }

  // Opened with OPEN_ALWAYS and cut to zero rather than CREATE_ALWAYS: the effect is the same
  // create-or-truncate, but a file's attributes are left as they are (CREATE_ALWAYS replaces
  // them, and refuses a hidden file outright).
  Result<void, WriteError> write_file(const std::string& path,
                                      std::span<const std::uint8_t> bytes) override {
    auto wide = system_path(path);
    if (!wide) return unexpected(WriteError{WriteStage::Opening, wide.error()});
    FileHandle file(CreateFileW(wide->c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return unexpected(WriteError{WriteStage::Opening, last_error()});
    if (!SetEndOfFile(file.get())) return unexpected(WriteError{WriteStage::Writing, last_error()});
    auto written = write_all(
        file.get(), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!written) return unexpected(WriteError{WriteStage::Writing, written.error()});
    if (!flush_to_disk(file.get()))
      return unexpected(WriteError{WriteStage::Writing, last_error()});
    // A failure the system reports only when the data leaves its cache (a full network share)
    // would otherwise go unnoticed.
    if (!file.close()) return unexpected(WriteError{WriteStage::Writing, last_error()});
    return {};
  }

  // The entry at `to` is deleted first, so the copy is a file of its own: deleting a link
  // removes the link, never what it leads to.
  Result<void, OsError> copy_file(const std::string& from, const std::string& to) override {
    auto wide_from = system_path(from);
    if (!wide_from) return wide_from.take_error();
    auto wide_to = system_path(to);
    if (!wide_to) return wide_to.take_error();
    if (!DeleteFileW(wide_to->c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
      return unexpected(last_error());
    }
    if (!CopyFileExW(wide_from->c_str(), wide_to->c_str(), nullptr, nullptr, nullptr, 0)) {
      return unexpected(last_error());
    }
    FileHandle copy(CreateFileW(wide_to->c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy.valid() || !flush_to_disk(copy.get())) return unexpected(last_error());
    if (!copy.close()) return unexpected(last_error());
    return {};
  }

  std::optional<FileFacts> examine_file(const std::string& path) override {
    auto wide = system_path(path);
    if (!wide) return std::nullopt;
    // No access asked: only the file's identity is read, and folders open too.
    const FileHandle file(CreateFileW(wide->c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    const bool regular = GetFileType(file.get()) == FILE_TYPE_DISK &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return FileFacts{FileIdentity{info.dwVolumeSerialNumber,
                                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow},
                     regular};
  }

  Result<std::vector<std::string>, OsError> list_directory(const std::string& dir) override {
    // An empty argument would otherwise list the root of the current drive.
    if (dir.empty()) return unexpected(OsError{ERROR_PATH_NOT_FOUND});
    auto wide = system_path(dir);
    if (!wide) return wide.take_error();
    std::wstring pattern = *wide;
    if (!pattern.ends_with(L'\\') && !pattern.ends_with(L'/')) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    const FindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (!find.valid()) {
      const OsError error = last_error();
      // A drive's root has no "." or "..", so when it is empty nothing matches at all.
      if (error.code == ERROR_FILE_NOT_FOUND && is_directory(*wide)) return names;
      return unexpected(error);
    }
    do {
      const std::wstring_view name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      // A name that is not valid UTF-16 cannot be printed or passed on; it is left out.
      if (auto text = utf8_from_wide(name)) names.push_back(std::move(*text));
    } while (FindNextFileW(find.get(), &entry));
    const OsError error = last_error();
    if (error.code != ERROR_NO_MORE_FILES) return unexpected(error);
    return names;
  }

  std::string join_path(const std::string& dir, const std::string& name) const override {
    return ends_in_separator(dir) ? dir + name : dir + '\\' + name;
  }

  std::string describe_error(int code) const override {
    LocalMemory<wchar_t> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer.out()), 0, nullptr);
    std::wstring_view text(buffer.get() == nullptr ? L"" : buffer.get(), length);
    while (!text.empty() && std::wstring_view(L" \t\r\n").find(text.back()) != text.npos) {
      text.remove_suffix(1);
    }
    auto utf8 = utf8_from_wide(text);
    if (!utf8 || utf8->empty()) return "unknown error";
    return std::move(*utf8);
  }

  std::uint64_t now_filetime() override {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  }

  Result<void, OsError> write_stdout(std::string_view text) override {
    return write_standard(STD_OUTPUT_HANDLE, text);
  }

  void write_stderr(std::string_view text) override {
    // Nowhere is left to report a failure of the error channel itself.
    (void)write_standard(STD_ERROR_HANDLE, text);
  }

  Result<support::UnclearedBytes, BoundedReadError> read_regular_file(
      const std::string& path, std::size_t max_bytes) override;
  std::optional<std::string> resolved_path(const std::string& path) override;
  Result<void, OsError> remove_file(const std::string& path) override;

  void hold_interruptions() override {
    if (!handler_installed_)
      handler_installed_ = SetConsoleCtrlHandler(wait_for_release, TRUE) != 0;
    ResetEvent(interruptions_released());
  }
  void release_interruptions() override { SetEvent(interruptions_released()); }

 private:
  bool handler_installed_ = false;
};

// Only a file on a disk counts: a console, a pipe or a device opened by name has another type.
Result<support::UnclearedBytes, BoundedReadError> WindowsPlatform::read_regular_file(
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

std::optional<std::string> WindowsPlatform::resolved_path(const std::string& path) {
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

Result<void, OsError> WindowsPlatform::remove_file(const std::string& path) {
  auto wide = system_path(path);
  if (!wide) return wide.take_error();
  if (DeleteFileW(wide->c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return {};
  return unexpected(OsError{static_cast<int>(GetLastError())});
}

}  // namespace

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace orvane
