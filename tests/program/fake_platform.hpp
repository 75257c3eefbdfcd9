// An in-memory platform for command tests: files in a map, a fixed clock, captured output, and
// failures injected per operation and path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform.hpp"

namespace orvane::testing {

enum class Operation { ReadFile, WriteFile, CopyFile, ListDirectory };

class FakePlatform final : public Platform {
 public:
  // Paths are plain strings joined with '/'; a directory lists the files directly below it.
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::set<std::string> directories;
  std::string out;
  std::string err;
  std::uint64_t filetime = 133500000000000000;  // 2024-01-17 21:20:00 UTC
  // Every file operation in order, such as "read a.dat" or "copy a.dat -> b.dat".
  std::vector<std::string> log;

  // The operation on `path` fails with `code`. For a copy the path is its source.
  void fail(Operation op, const std::string& path, int code) { failures_[{op, path}] = code; }
  // Standard output accepts `count` writes and fails with `code` from then on.
  void fail_stdout_after(std::size_t count, int code) { stdout_failure_ = {count, code}; }

  void put_file(const std::string& path, std::string_view text);
  std::string file_text(const std::string& path) const;

  Result<std::vector<std::string>, std::string> arguments(int argc, char** argv) override;
  Result<std::vector<std::uint8_t>, OsError> read_file(const std::string& path) override;
  Result<void, OsError> write_file(const std::string& path,
                                   std::span<const std::uint8_t> bytes) override;
  Result<void, OsError> copy_file(const std::string& from, const std::string& to) override;
  Result<std::vector<std::string>, OsError> list_directory(const std::string& dir) override;
  std::string join_path(const std::string& dir, const std::string& name) const override;
  std::string describe_error(int code) const override;
  std::uint64_t now_filetime() override { return filetime; }
  Result<void, OsError> write_stdout(std::string_view text) override;
  void write_stderr(std::string_view text) override { err += text; }

 private:
  std::optional<int> failure(Operation op, const std::string& path) const;

  std::map<std::pair<Operation, std::string>, int> failures_;
  std::optional<std::pair<std::size_t, int>> stdout_failure_;
  std::size_t stdout_writes_ = 0;
};

}  // namespace orvane::testing
