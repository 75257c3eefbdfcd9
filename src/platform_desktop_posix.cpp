// The window program's part of the platform on POSIX systems.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace orvane
