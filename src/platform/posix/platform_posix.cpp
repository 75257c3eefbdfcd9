// The platform on POSIX systems: plain system calls, each retried when a signal interrupts it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>
#include <vector>

#include "marshal/utf8.hpp"
#include "orvane/platform/native_platform.hpp"

namespace orvane {
namespace {

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr std::int64_t FILETIME_EPOCH_OFFSET_SECONDS = 11644473600;
constexpr std::uint64_t FILETIME_TICKS_PER_SECOND = 10000000;
constexpr std::size_t READ_CHUNK = 64 * 1024;
constexpr std::size_t COPY_CHUNK = 1024 * 1024;
constexpr std::size_t KERNEL_COPY_CHUNK = std::size_t{1} << 30;

OsError last_error() { return OsError{errno}; }

// Owns a descriptor so that every early return closes it.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting the failure: on some file systems a failed write only shows here.
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

Result<void, OsError> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(last_error());
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

// A special file (a pipe, a terminal) has nothing to sync and says so with EINVAL.
Result<void, OsError> sync_retrying(int fd) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (errno == EINVAL) return {};
    return unexpected(last_error());
  }
  return {};
}

// The folder a path's last component lies in, as text: what to sync after an entry changed.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A file's data can be on the disk while the entry naming it is not: the folder is synced too.
Result<void, OsError> sync_folder_of(const std::string& path) {
  Descriptor folder(open_retrying(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.get() < 0) return unexpected(last_error());
  return sync_retrying(folder.get());
}

// Removes the entry at `path` unless it is a folder; a link goes, what it leads to stays.
Result<void, OsError> remove_entry(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return unexpected(last_error());
}

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// strerror_r comes in two kinds: the GNU one returns the text, which may lie elsewhere than the
// buffer; the POSIX one fills the buffer and returns 0.
[[maybe_unused]] const char* error_description(const char* text, const char*) { return text; }
[[maybe_unused]] const char* error_description(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}

// Copies the rest of `in` to `out` through a small buffer: what any two descriptors allow. The
// buffer is left uncleared, so after a copy in the kernel, when nothing is left, it costs nothing.
Result<void, OsError> copy_through_buffer(int in, int out) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(COPY_CHUNK);
  for (;;) {
    const ssize_t n = ::read(in, buffer.get(), COPY_CHUNK);
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(last_error());
    }
    if (n == 0) return {};
    auto written = write_all(out, std::string_view(buffer.get(), static_cast<std::size_t>(n)));
    if (!written) return written;
  }
}

// The kernel copies regular files itself, as many bytes as the file has: asking for more would
// meet the file-size limit at the end of a copy that fits under it exactly. The files it makes
// up (under /proc) claim to be empty and, like pipes and devices, go through the buffer, as does
// whatever a file gained while it was copied.
Result<void, OsError> copy_contents(int in, int out, const struct stat& in_status) {
#if defined(__linux__)
  if (S_ISREG(in_status.st_mode)) {
    auto remaining = static_cast<std::uint64_t>(in_status.st_size);
    bool copied_any = false;
    while (remaining > 0) {
      const auto chunk =
          static_cast<std::size_t>(std::min<std::uint64_t>(remaining, KERNEL_COPY_CHUNK));
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
      if (n > 0) {
        copied_any = true;
        remaining -= static_cast<std::uint64_t>(n);
        continue;
      }
      if (n == 0) break;  // the file shrank: the buffer finds its end
      if (errno == EINTR) continue;
      // Older kernels, some file systems and some files refuse the call before a byte has
      // moved; the offsets then still stand where the buffer starts.
      const bool refused = errno == ENOSYS || errno == EXDEV || errno == EINVAL ||
                           errno == EOPNOTSUPP || errno == EPERM;
      if (copied_any || !refused) return unexpected(last_error());
      break;
    }
  }
#else
  (void)in_status;
#endif
  return copy_through_buffer(in, out);
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    // A closed pipe on standard output must surface as EPIPE from write, to be reported like
    // any other failed write, instead of killing the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    // Likewise a write past the file-size limit must fail with EFBIG, so that a target cut
    // short can still be put back from its backup.
    std::signal(SIGXFSZ, SIG_IGN);
  }

  Result<std::vector<std::string>, std::string> arguments(int argc, char** argv) override {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      std::string arg(argv[i]);
      if (!marshal::is_valid_utf8(arg)) {
        return unexpected("argument " + std::to_string(i) + " is not valid UTF-8 text");
      }
      args.push_back(std::move(arg));
    }
    return args;
  }

  Result<support::UnclearedBytes, OsError> read_file(const std::string& path) override {
    Descriptor fd(open_retrying(path.c_str(), O_RDONLY));
    if (fd.get() < 0) return unexpected(last_error());
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return unexpected(last_error());
    // Some systems let read() succeed on a directory; it is never a settings file.
    if (S_ISDIR(info.st_mode)) return unexpected(OsError{EISDIR});

    // The size is only a hint: the file may change while it is read, and special files
    // report none.
    support::UnclearedBytes bytes;
    std::size_t capacity =
        info.st_size > 0 ? with_rewrite_room(static_cast<std::size_t>(info.st_size)) : 0;
    if (capacity < READ_CHUNK) capacity = READ_CHUNK;
    bytes.resize(capacity);
    std::size_t used = 0;
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);
      const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
      if (n < 0) {
        if (errno == EINTR) continue;
        return unexpected(last_error());
      }
      if (n == 0) break;
      used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
  }

  Result<void, WriteError> write_file(const std::string& path,
                                      std::span<const std::uint8_t> bytes) override {
    Descriptor fd(open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (fd.get() < 0) return unexpected(WriteError{WriteStage::Opening, last_error()});
    auto written = write_all(
        fd.get(), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!written) return unexpected(WriteError{WriteStage::Writing, written.error()});
    if (auto synced = sync_retrying(fd.get()); !synced) {
      return unexpected(WriteError{WriteStage::Writing, synced.error()});
    }
    if (fd.close() != 0 && errno != EINTR) {
      return unexpected(WriteError{WriteStage::Writing, last_error()});
    }
    return {};
  }

  // Streamed, by the kernel where it can: a backup costs no buffer as large as the file, and the
  // file's bytes do not pass through the process. The source stays open while the old entry at
  // `to` goes, so even a name that led back to the source loses nothing.
  Result<void, OsError> copy_file(const std::string& from, const std::string& to) override {
    Descriptor in(open_retrying(from.c_str(), O_RDONLY));
    if (in.get() < 0) return unexpected(last_error());
    struct stat source {};
    if (::fstat(in.get(), &source) != 0) return unexpected(last_error());
    if (S_ISDIR(source.st_mode)) return unexpected(OsError{EISDIR});
    if (auto removed = remove_entry(to); !removed) return removed;
    // O_EXCL: an entry that appeared since is refused rather than followed.
    Descriptor out(open_retrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (out.get() < 0) return unexpected(last_error());
    if (::fchmod(out.get(), source.st_mode & 0777) != 0) return unexpected(last_error());
    auto copied = copy_contents(in.get(), out.get(), source);
    if (!copied) return copied;
    if (auto synced = sync_retrying(out.get()); !synced) return synced;
    if (out.close() != 0 && errno != EINTR) return unexpected(last_error());
    return sync_folder_of(to);
  }

  std::optional<FileFacts> examine_file(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileFacts{FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                                  static_cast<std::uint64_t>(info.st_ino)},
                     S_ISREG(info.st_mode)};
  }

  Result<std::vector<std::string>, OsError> list_directory(const std::string& dir) override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), ::closedir);
    if (!handle) return unexpected(last_error());
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(handle.get());
      if (entry == nullptr) {
        if (errno != 0) return unexpected(last_error());
        break;
      }
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      names.emplace_back(name);
    }
    return names;
  }

  std::string join_path(const std::string& dir, const std::string& name) const override {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
  }

  std::string describe_error(int code) const override {
    // Several threads may describe errors at once, so not strerror's shared buffer.
    char buffer[256] = {};
    std::string text = error_description(::strerror_r(code, buffer, sizeof buffer), buffer);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
      text.pop_back();
    }
    return text;
  }

  std::uint64_t now_filetime() override {
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return 0;
    const std::int64_t seconds = static_cast<std::int64_t>(now.tv_sec);
    if (seconds < -FILETIME_EPOCH_OFFSET_SECONDS) return 0;
    return static_cast<std::uint64_t>(seconds + FILETIME_EPOCH_OFFSET_SECONDS) *
               FILETIME_TICKS_PER_SECOND +
           static_cast<std::uint64_t>(now.tv_nsec) / 100;
  }

  Result<void, OsError> write_stdout(std::string_view text) override {
    return write_all(STDOUT_FILENO, text);
  }

  void write_stderr(std::string_view text) override {
    // Nothing is left to report a failure to.
    (void)write_all(STDERR_FILENO, text);
  }

  // Blocked, the signals stay pending and are delivered, with their usual effect, the moment
  // the mask is put back.
  Result<support::UnclearedBytes, BoundedReadError> read_regular_file(
      const std::string& path, std::size_t max_bytes) override;
  std::optional<std::string> resolved_path(const std::string& path) override;
  Result<void, OsError> remove_file(const std::string& path) override;

  void hold_interruptions() override {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : INTERRUPTIONS) sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &saved_mask_);
  }
  void release_interruptions() override { ::sigprocmask(SIG_SETMASK, &saved_mask_, nullptr); }

 private:
  sigset_t saved_mask_{};
};

// O_NONBLOCK makes the open of a pipe return at once; the type is then checked on the open file,
// so a name that changes in between cannot slip a pipe past the check. A regular file reads as
// usual whatever the flag says.
Result<support::UnclearedBytes, BoundedReadError> PosixPlatform::read_regular_file(
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

std::optional<std::string> PosixPlatform::resolved_path(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

Result<void, OsError> PosixPlatform::remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return unexpected(OsError{errno});
}

}  // namespace

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<PosixPlatform>(); }

}  // namespace orvane
