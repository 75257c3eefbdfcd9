// Runs the built program as a child process and captures what it leaves behind, plus the few
// file helpers the end-to-end tests need. Paths are UTF-8 text on every platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace e2e {

// What a refused command line prints on standard error.
inline constexpr char USAGE[] =
    "Usage:\n"
    "  orvane-probe-formations list <core_user.dat>\n"
    "  orvane-probe-formations export <core_user.dat> <package.json>\n"
    "  orvane-probe-formations apply <package.json> <target-core_user.dat> "
    "[target-core_user.dat ...]\n"
    "  orvane-probe-formations accounts <settings_Default>\n";

struct RunResult {
  int status = -1;      // the exit status; -1 when the program did not exit normally
  std::string out;      // everything written to standard output
  std::string err;      // everything written to standard error
  std::string failure;  // empty when the program exited normally, else what went wrong
};

enum class StdoutMode {
  Capture,
  // Standard output is a pipe whose read end is already closed, so every write to it fails.
  ClosedPipe,
};

// Runs ORVANE_BINARY with `args` (the binary itself excluded) in the current working directory,
// with standard input empty. Waits for the program to end.
RunResult run_program(const std::vector<std::string>& args,
                      StdoutMode stdout_mode = StdoutMode::Capture);

#ifndef _WIN32
// What the child's SIGXFSZ is set to before the program starts.
enum class FileSizeSignal { Ignored, Default };

// As run_program, with the child's file-size limit (RLIMIT_FSIZE) at `max_file_bytes`: a write
// past it fails with EFBIG, or raises SIGXFSZ where the program does not ignore that.
RunResult run_program_with_file_size_limit(const std::vector<std::string>& args,
                                           std::uint64_t max_file_bytes, FileSizeSignal signal);

// As run_program, started by `launcher` (a program and its own arguments, looked up in PATH),
// such as a tracer.
RunResult run_program_under(const std::vector<std::string>& launcher,
                            const std::vector<std::string>& args);
#endif

// A path from UTF-8 text, whatever the platform's native encoding.
inline std::filesystem::path fs_path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path as UTF-8 text, the form the program is given on its command line.
inline std::string utf8_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline bool file_exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(fs_path(path), ec);
}

// The whole file; empty when it cannot be read (tests check existence separately).
inline std::string read_bytes(const std::string& path) {
  std::ifstream in(fs_path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

inline std::string as_string(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A fresh directory under the system's temporary folder, removed with everything in it when
// the object goes away.
class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    std::mt19937_64 rng(seed());
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    // A name already taken is simply tried again; any other failure leaves the path empty and
    // the test fails on its first file operation.
    for (int attempt = 0; attempt < 100 && !ec; ++attempt) {
      auto candidate = base / ("orvane-e2e-" + std::to_string(rng() % 1000000000000ULL));
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  // The directory as UTF-8 text.
  std::string path() const { return utf8_path(path_); }
  // `name` (UTF-8) inside the directory, joined with the platform's separator.
  std::string file(const std::string& name) const { return utf8_path(path_ / fs_path(name)); }

 private:
  std::filesystem::path path_;
};

// A test with a directory of its own to put files in.
class FolderTest : public ::testing::Test {
 protected:
  // Writes `bytes` to `name` inside the test's directory and returns the path.
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(write_bytes(path, bytes)) << path;
    return path;
  }

  TempDir dir_;
};

}  // namespace e2e
