// The window program's part of the platform on POSIX systems.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "platform.hpp"

namespace orvane {

PathKind Platform::path_kind(const std::string& path) {
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

std::string Platform::parent_folder(const std::string& path) const {
  std::string_view rest = path;
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  const std::size_t slash = rest.rfind('/');
  if (slash == std::string_view::npos || rest == "/") return {};
  if (slash == 0) return "/";
  rest = rest.substr(0, slash);
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  return std::string(rest);
}

std::vector<std::string> Platform::drives() { return {}; }

std::optional<std::string> Platform::local_app_data_folder() { return std::nullopt; }

// Only HOME: the password database would need glibc's shared modules at run time, which a
// static program cannot count on.
std::optional<std::string> Platform::home_folder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  return std::nullopt;
}

std::optional<std::string> Platform::state_folder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    return state;
  }
  if (auto home = home_folder()) return join_path(*home, ".local/state");
  return std::nullopt;
}

Result<void, OsError> Platform::create_private_folder(const std::string& path) {
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
Result<void, OsError> Platform::open_in_browser(const std::string& url) {
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

Result<void, OsError> Platform::random_bytes(std::span<std::uint8_t> out) {
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

// O_NONBLOCK makes the open of a pipe return at once; the type is then checked on the open file,
// so a name that changes in between cannot slip a pipe past the check. A regular file reads as
// usual whatever the flag says.
Result<support::UnclearedBytes, BoundedReadError> Platform::read_regular_file(
    const std::string& path, std::size_t max_bytes) {
  const auto system = [] { return unexpected(BoundedReadError{ReadRefusal::System, {errno}}); };
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return system();
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return system();
  if (S_ISDIR(info.st_mode)) return unexpected(BoundedReadError{ReadRefusal::System, {EISDIR}});
  if (!S_ISREG(info.st_mode)) return unexpected(BoundedReadError{ReadRefusal::NotRegular, {}});
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > max_bytes) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});

  // One byte past the bound is read at most: it shows a file that grew beyond it meanwhile.
  const std::size_t limit = max_bytes < SIZE_MAX ? max_bytes + 1 : max_bytes;
  support::UnclearedBytes bytes;
  bytes.resize(std::max<std::size_t>(with_rewrite_room(static_cast<std::size_t>(size)), 4096));
  std::size_t used = 0;
  for (;;) {
    if (used >= limit) return unexpected(BoundedReadError{ReadRefusal::TooLarge, {}});
    if (used == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit));
    const ssize_t n = ::read(fd, bytes.data() + used, std::min(bytes.size(), limit) - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return system();
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  bytes.resize(used);
  return bytes;
}

std::optional<std::string> Platform::resolved_path(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

Result<void, OsError> Platform::remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return unexpected(OsError{errno});
}

}  // namespace orvane
