#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "run_program.hpp"

namespace e2e {
namespace {

// Both ends close on exec, so the child keeps only the descriptors it dup2()s into place.
bool make_pipe(int fds[2]) { return pipe2(fds, O_CLOEXEC) == 0; }

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Reads both pipes to their end together: draining one while the child blocks on the other
// full pipe would deadlock.
void drain(int& out_fd, int& err_fd, RunResult& result) {
  char buffer[65536];
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      result.failure = std::string("poll failed: ") + std::strerror(errno);
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      int& fd = i == 0 ? out_fd : err_fd;
      std::string& sink = i == 0 ? result.out : result.err;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        sink.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close_fd(fd);
      }
    }
  }
}

struct FileSizeLimit {
  std::uint64_t max_file_bytes;
  FileSizeSignal signal;
};

// `launcher`, when not empty, is a program that starts ours: its arguments, then ours.
[[noreturn]] void exec_child(const std::vector<std::string>& launcher,
                             const std::vector<std::string>& args, int stdout_fd, int stderr_fd,
                             const std::optional<FileSizeLimit>& limit) {
  const int stdin_fd = open("/dev/null", O_RDONLY);
  if (stdin_fd < 0 || dup2(stdin_fd, STDIN_FILENO) < 0 || dup2(stdout_fd, STDOUT_FILENO) < 0 ||
      dup2(stderr_fd, STDERR_FILENO) < 0) {
    _exit(127);
  }
  // The program must survive a closed output pipe on its own, so it starts with the default
  // disposition whatever the test runner set.
  signal(SIGPIPE, SIG_DFL);
  if (limit) {
    const rlimit size{static_cast<rlim_t>(limit->max_file_bytes),
                      static_cast<rlim_t>(limit->max_file_bytes)};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(127);
    // An ignored disposition survives exec; the default one kills at the limit.
    signal(SIGXFSZ, limit->signal == FileSizeSignal::Ignored ? SIG_IGN : SIG_DFL);
  }
  std::vector<char*> argv;
  for (const std::string& arg : launcher) argv.push_back(const_cast<char*>(arg.c_str()));
  static char binary[] = ORVANE_BINARY;
  argv.push_back(binary);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

RunResult run_child(const std::vector<std::string>& launcher, const std::vector<std::string>& args,
                    StdoutMode stdout_mode, const std::optional<FileSizeLimit>& limit) {
  RunResult result;
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  if (!make_pipe(out_pipe) || !make_pipe(err_pipe)) {
    result.failure = std::string("pipe failed: ") + std::strerror(errno);
    close_fd(out_pipe[0]);
    close_fd(out_pipe[1]);
    return result;
  }
  if (stdout_mode == StdoutMode::ClosedPipe) close_fd(out_pipe[0]);

  const pid_t pid = fork();
  if (pid == 0) exec_child(launcher, args, out_pipe[1], err_pipe[1], limit);
  close_fd(out_pipe[1]);
  close_fd(err_pipe[1]);
  if (pid < 0) {
    result.failure = std::string("fork failed: ") + std::strerror(errno);
    close_fd(out_pipe[0]);
    close_fd(err_pipe[0]);
    return result;
  }

  drain(out_pipe[0], err_pipe[0], result);
  close_fd(out_pipe[0]);
  close_fd(err_pipe[0]);

  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0) {
    if (errno != EINTR) {
      result.failure = std::string("waitpid failed: ") + std::strerror(errno);
      return result;
    }
  }
  if (WIFEXITED(wait_status)) {
    result.status = WEXITSTATUS(wait_status);
    if (result.status == 127 && result.failure.empty() && result.out.empty() &&
        result.err.empty()) {
      result.failure = "could not start " ORVANE_BINARY;
    }
  } else if (WIFSIGNALED(wait_status)) {
    result.failure = "killed by signal " + std::to_string(WTERMSIG(wait_status)) + " (" +
                     strsignal(WTERMSIG(wait_status)) + ")";
  } else {
    result.failure = "ended abnormally";
  }
  return result;
}

}  // namespace

RunResult run_program(const std::vector<std::string>& args, StdoutMode stdout_mode) {
  return run_child({}, args, stdout_mode, std::nullopt);
}

RunResult run_program_with_file_size_limit(const std::vector<std::string>& args,
                                           std::uint64_t max_file_bytes, FileSizeSignal signal) {
  return run_child({}, args, StdoutMode::Capture, FileSizeLimit{max_file_bytes, signal});
}

RunResult run_program_under(const std::vector<std::string>& launcher,
                            const std::vector<std::string>& args) {
  return run_child(launcher, args, StdoutMode::Capture, std::nullopt);
}

}  // namespace e2e
