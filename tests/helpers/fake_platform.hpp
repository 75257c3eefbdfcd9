// An in-memory platform, console and desktop for the tests of both programs: files in a map, a
// fixed clock, captured output, and failures injected per operation and path. Its operations may
// be called from several threads at once, as the pool that reads a folder's accounts calls them;
// the members are the test's to set and read while no command runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "orvane/cli/console.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::testing {

// OpenForWrite fails a write before the file is touched; WriteFile fails it after the file was
// opened, leaving the first half of the new bytes.
enum class Operation { ReadFile, OpenForWrite, WriteFile, CopyFile, ListDirectory };

class FakePlatform final : public Platform, public Console, public ui::Desktop {
 public:
  // Paths are plain strings joined with '/'; a directory lists the files directly below it.
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::map<std::string, std::uint64_t> modified;  // FILETIMEs modified_time gives
  std::set<std::string> directories;
  // Other names for a file of `files`, as a link or a second spelling would give.
  std::map<std::string, std::string> aliases;
  std::string out;
  std::string err;
  std::uint64_t filetime = 133500000000000000;  // 2024-01-17 21:20:00 UTC
  // Every file operation in order, such as "read a.dat" or "copy a.dat -> b.dat", and where
  // interruptions were held ("hold") and released ("release").
  std::vector<std::string> log;
  // What expands_wildcards and console_closes_on_exit answer.
  bool wildcards_left_to_program = false;
  bool console_closes = false;
  // How often wait_for_enter was called, and the standard error printed before the first call.
  int waits_for_enter = 0;
  std::string err_before_wait;

  // What the window program's operations answer: `directories` are folders, those also in
  // `folder_links` links to folders; random bytes count up from `next_random_byte`.
  std::set<std::string> folder_links;
  std::vector<std::string> drive_roots;
  std::optional<std::string> local_app_data;
  std::optional<std::string> home;
  std::optional<std::string> state;  // what state_folder answers; create_private_folder adds to
                                     // `directories`
  std::vector<std::string> opened_urls;
  // Set: opening the browser fails with this code.
  std::optional<int> browser_error;
  std::uint8_t next_random_byte = 0;
  // This process's id, and the ids of the others that run.
  std::uint64_t process = 4242;
  std::set<std::uint64_t> other_processes;
  // The files write_private_file made, while they are there.
  std::set<std::string> private_files;
  // What read_regular_file refuses: paths that are pipes or devices, and paths of files larger
  // than any bound. Links (`aliases`) resolve to what they name.
  std::set<std::string> special_files;
  std::set<std::string> huge_files;
  // Called just before each read_regular_file, so a test can change a file "meanwhile".
  std::function<void(const std::string&)> before_read;
  // What processor_count answers: 1, so that a command reads its files one by one in the order
  // the log shows, unless a test asks for more.
  std::size_t processors = 1;
  // How long reading a file takes, by path: a slow file lets those after it finish first.
  std::map<std::string, std::chrono::milliseconds> read_delays;
  // The most reads that were under way at one time.
  std::size_t most_reads_at_once = 0;
  // Whether standard output's writes go into the log too, as "print <text>".
  bool log_prints = false;

  // The operation on `path` fails with `code` every time, or with `only_call` only that time
  // (counted per operation and path, from 1). For a copy the path is its source.
  void fail(Operation op, const std::string& path, int code,
            std::optional<int> only_call = std::nullopt) {
    failures_[{op, path}] = {code, only_call};
  }
  // Standard output accepts `count` writes and fails with `code` from then on.
  void fail_stdout_after(std::size_t count, int code) { stdout_failure_ = {count, code}; }

  void put_file(const std::string& path, std::string_view text);
  std::string file_text(const std::string& path) const;

  Result<std::vector<std::string>, std::string> arguments(int argc, char** argv) override;
  Result<support::UnclearedBytes, OsError> read_file(const std::string& path) override;
  Result<void, WriteError> write_file(const std::string& path,
                                      std::span<const std::uint8_t> bytes) override;
  Result<void, OsError> copy_file(const std::string& from, const std::string& to) override;
  std::optional<FileFacts> examine_file(const std::string& path) override;
  Result<std::vector<std::string>, OsError> list_directory(const std::string& dir) override;
  std::string join_path(const std::string& dir, const std::string& name) const override;
  std::string describe_error(int code) const override;
  std::uint64_t now_filetime() override;
  std::size_t processor_count() override { return processors; }
  Result<void, OsError> write_stdout(std::string_view text) override;
  void write_stderr(std::string_view text) override;
  bool expands_wildcards() const override { return wildcards_left_to_program; }
  bool console_closes_on_exit() override { return console_closes; }
  void wait_for_enter() override;
  void hold_interruptions() override { logged("hold"); }
  void release_interruptions() override { logged("release"); }
  ui::PathKind path_kind(const std::string& path) override;
  std::string parent_folder(const std::string& path) const override;
  std::vector<std::string> drives() override { return drive_roots; }
  std::optional<std::string> local_app_data_folder() override { return local_app_data; }
  std::optional<std::string> home_folder() override { return home; }
  std::optional<std::string> state_folder() override { return state; }
  Result<void, OsError> create_private_folder(const std::string& path) override;
  Result<void, OsError> open_in_browser(const std::string& url) override;
  Result<void, OsError> random_bytes(std::span<std::uint8_t> bytes) override;
  std::uint64_t process_id() override { return process; }
  bool process_running(std::uint64_t id) override {
    return id == process || other_processes.count(id) != 0;
  }
  // The time in `modified` for the path, else nothing.
  std::optional<std::uint64_t> modified_time(const std::string& path) override {
    const auto found = modified.find(path);
    return found == modified.end() ? std::nullopt : std::optional(found->second);
  }
  // Fails as a write that cannot open does (Operation::OpenForWrite).
  Result<void, OsError> write_private_file(const std::string& path,
                                           std::string_view bytes) override;
  Result<support::UnclearedBytes, BoundedReadError> read_regular_file(
      const std::string& path, std::size_t max_bytes) override;
  std::optional<std::string> resolved_path(const std::string& path) override;
  Result<void, OsError> remove_file(const std::string& path) override;

 private:
  struct Failure {
    int code;
    std::optional<int> only_call;
  };
  // A mutex of this platform's own: a copy of the platform, as a test makes to start afresh,
  // shares none.
  struct OwnMutex {
    OwnMutex() = default;
    OwnMutex(const OwnMutex&) {}
    OwnMutex& operator=(const OwnMutex&) { return *this; }
    std::mutex mutex;
  };
  using Lock = std::lock_guard<std::mutex>;

  // Counts the call and tells whether it fails, and with which code. The caller holds the lock.
  std::optional<int> failure(Operation op, const std::string& path);
  void logged(std::string entry);

  mutable OwnMutex lock_;
  std::size_t reads_now_ = 0;

  std::map<std::pair<Operation, std::string>, Failure> failures_;
  std::map<std::pair<Operation, std::string>, int> calls_;
  std::optional<std::pair<std::size_t, int>> stdout_failure_;
  std::size_t stdout_writes_ = 0;
};

}  // namespace orvane::testing
