// The window program's desktop on POSIX systems.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>

#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

class PosixDesktop final : public Desktop {
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

std::optional<std::uint64_t> PosixDesktop::modified_time(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || info.st_mtim.tv_sec < 0) return std::nullopt;
  // FILETIME counts 100 ns from 1601, 11644473600 s before 1970.
  return (static_cast<std::uint64_t>(info.st_mtim.tv_sec) + 11644473600ULL) * 10000000ULL +
         static_cast<std::uint64_t>(info.st_mtim.tv_nsec) / 100;
}

PathKind PosixDesktop::path_kind(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISLNK(info.st_mode)) {
    if (::stat(path.c_str(), &info) != 0) return PathKind::Missing;
    if (S_ISDIR(info.st_mode)) return PathKind::FolderLink;
  }
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  return PathKind::Other;
}

std::string PosixDesktop::parent_folder(const std::string& path) const {
  std::string_view rest = path;
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  const std::size_t slash = rest.rfind('/');
  if (slash == std::string_view::npos || rest == "/") return {};
  if (slash == 0) return "/";
  rest = rest.substr(0, slash);
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  return std::string(rest);
}

std::vector<std::string> PosixDesktop::drives() { return {}; }

std::optional<std::string> PosixDesktop::local_app_data_folder() { return std::nullopt; }

// Only HOME: the password database would need glibc's shared modules at run time, which a
// static program cannot count on.
std::optional<std::string> PosixDesktop::home_folder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  return std::nullopt;
}

std::optional<std::string> PosixDesktop::state_folder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    return state;
  }
  if (auto home = home_folder()) return *home + "/.local/state";
  return std::nullopt;
}

Result<void, OsError> PosixDesktop::create_private_folder(const std::string& path) {
  if (path.empty()) return unexpected(OsError{ENOENT});
  if (::mkdir(path.c_str(), 0700) == 0) return {};
  if (errno == EEXIST) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
    return unexpected(OsError{ENOTDIR});
  }
  if (errno != ENOENT) return unexpected(OsError{errno});
  const std::string parent = parent_folder(path);
  if (parent.empty() || parent == path) return unexpected(OsError{ENOENT});
  if (auto made = create_private_folder(parent); !made) return made;
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return {};
  return unexpected(OsError{errno});
}

// xdg-open is started from a grandchild that nobody waits for, so the browser it may keep running
// in the foreground neither blocks the server nor stays behind as a zombie; its chatter goes to
// /dev/null rather than into the line the player reads.
Result<void, OsError> PosixDesktop::open_in_browser(const std::string& url) {
  const pid_t child = ::fork();
  if (child < 0) return unexpected(OsError{errno});
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    ::execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return {};
}

Result<void, OsError> PosixDesktop::random_bytes(std::span<std::uint8_t> out) {
  while (!out.empty()) {
    const ssize_t n = ::getrandom(out.data(), out.size(), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(OsError{errno});
    }
    out = out.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

std::uint64_t PosixDesktop::process_id() { return static_cast<std::uint64_t>(::getpid()); }

// kill() with no signal only asks; it fails with EPERM for another user's process, which is
// never this program's own run. Ids 0 and below would name process groups.
bool PosixDesktop::process_running(std::uint64_t id) {
  if (id == 0 || id > static_cast<std::uint64_t>(INT_MAX)) return false;
  return ::kill(static_cast<pid_t>(id), 0) == 0;
}

Result<void, OsError> PosixDesktop::write_private_file(const std::string& path,
                                                       std::string_view bytes) {
  const std::string temporary = path + ".new";
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return unexpected(OsError{errno});
  // O_EXCL and O_NOFOLLOW: nothing that appears at the name since is written through.
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return unexpected(OsError{errno});
  int error = ::fchmod(fd, 0600) == 0 ? 0 : errno;
  while (error == 0 && !bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error == 0) return {};
  ::unlink(temporary.c_str());
  return unexpected(OsError{error});
}

std::unique_ptr<Desktop> make_native_desktop() { return std::make_unique<PosixDesktop>(); }

}  // namespace orvane::ui
