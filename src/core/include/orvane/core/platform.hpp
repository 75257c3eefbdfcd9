// What both programs ask of the operating system (files, the clock, standard output and held
// interruptions), behind one small interface so the steps stay free of platform details and
// tests can inject failures. What only a console or only the window program needs has an
// interface of its own beside that program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/large_blocks.hpp"
#include "support/result.hpp"

namespace orvane {

using support::Result;
using support::unexpected;

// A failed operating-system call, by its system error code (errno, or a Win32 error code).
struct OsError {
  int code = 0;
};

// How far a whole-file write got before it failed. A file that could not be opened is as it
// was; one that was opened has been cut short and may be empty or hold part of the new bytes.
enum class WriteStage { Opening, Writing };

struct WriteError {
  WriteStage stage = WriteStage::Opening;
  OsError os;
};

// Which file a path leads to: two paths with equal identities name the same file, however
// they are spelled and whatever links lie on the way.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileFacts {
  FileIdentity identity;
  bool regular = false;  // a plain file, not a folder, device or pipe
};

// Why a read that takes only regular files of a bounded size gave none: the file is a pipe, a
// device or a socket; it holds more than the bound; or the system refused.
enum class ReadRefusal { System, NotRegular, TooLarge };

struct BoundedReadError {
  ReadRefusal refusal = ReadRefusal::System;
  OsError os;  // for ReadRefusal::System
};

// The room a buffer of `size` bytes is given for them to be rewritten: a rewritten settings file
// can come out a little larger than the file (shared values become copies). A file is read into
// a buffer with this much room too, so that the large block it leaves serves its rewrite.
constexpr std::size_t with_rewrite_room(std::size_t size) {
  return size <= SIZE_MAX / 2 ? size + size / 4 + 1 : size;
}

// The operations that reading a settings file takes (read_file, describe_error, os_error_text)
// may be called from several threads at once; the others only from the thread running the
// command.
class Platform {
 public:
  virtual ~Platform() = default;

  // The command-line arguments as UTF-8 text, program name excluded. An error text when an
  // argument is not valid Unicode text.
  virtual Result<std::vector<std::string>, std::string> arguments(int argc, char** argv) = 0;

  virtual Result<support::UnclearedBytes, OsError> read_file(const std::string& path) = 0;
  // Creates or truncates, writes everything and syncs it to the disk before it returns; no
  // temporary file.
  virtual Result<void, WriteError> write_file(const std::string& path,
                                              std::span<const std::uint8_t> bytes) = 0;
  // Makes `to` a new regular file holding `from`'s bytes, synced to the disk with its folder
  // entry. Whatever stood at `to` is removed first, a link itself and never what it leads to,
  // so no other file can be reached through it; a folder there is an error. On POSIX the copy
  // takes `from`'s permission bits.
  virtual Result<void, OsError> copy_file(const std::string& from, const std::string& to) = 0;
  // What `path` leads to, links followed; nothing when no entry is there or it cannot be
  // examined.
  virtual std::optional<FileFacts> examine_file(const std::string& path) = 0;
  // The entry names of a directory as UTF-8 text, "." and ".." excluded, in no particular
  // order. Entries whose names cannot be read are left out.
  virtual Result<std::vector<std::string>, OsError> list_directory(const std::string& dir) = 0;
  // `dir` and `name` joined with the platform's separator, none added when `dir` ends in one.
  virtual std::string join_path(const std::string& dir, const std::string& name) const = 0;
  // The system's description of an error code, trailing white space and line ends removed.
  virtual std::string describe_error(int code) const = 0;
  // The current UTC time as a Windows FILETIME: 100 ns intervals since 1601-01-01.
  virtual std::uint64_t now_filetime() = 0;
  // How many threads can run at once on this machine, at least 1: the size of the pool that
  // reads a folder's accounts.
  virtual std::size_t processor_count();

  // Standard output and standard error receive UTF-8 bytes unchanged.
  virtual Result<void, OsError> write_stdout(std::string_view text) = 0;
  virtual void write_stderr(std::string_view text) = 0;

  // From hold to release, Ctrl+C, Ctrl+Break, closing the console window, SIGINT, SIGTERM,
  // SIGHUP and SIGQUIT wait; they then take their usual course. Not nested.
  virtual void hold_interruptions() = 0;
  virtual void release_interruptions() = 0;

  // Removes the file at `path`; none there is no error.
  virtual Result<void, OsError> remove_file(const std::string& path) = 0;
  // Reads a whole regular file of at most `max_bytes`, links followed. Anything else is refused
  // without waiting on it (a pipe with no writer, a device) and without reading past the bound.
  virtual Result<support::UnclearedBytes, BoundedReadError> read_regular_file(
      const std::string& path, std::size_t max_bytes) = 0;
  // The absolute path `path` leads to once every link is followed, in the system's own spelling;
  // nothing when it cannot be resolved.
  virtual std::optional<std::string> resolved_path(const std::string& path) = 0;

  // "<system description> (os error N)".
  std::string os_error_text(OsError error) const;
};

// Holds interruptions for as long as it lives: a write that has begun is never cut short by
// them.
class InterruptionsHeld {
 public:
  explicit InterruptionsHeld(Platform& platform) : platform_(platform) {
    platform_.hold_interruptions();
  }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
  ~InterruptionsHeld() { platform_.release_interruptions(); }

 private:
  Platform& platform_;
};

}  // namespace orvane
