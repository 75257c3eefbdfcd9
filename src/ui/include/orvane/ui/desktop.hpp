// What only the window program asks of the system: the folders and drives a player picks a
// settings folder from, the user's own folders, the browser, and random bytes for the token.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/platform.hpp"

namespace orvane::ui {

enum class PathKind { Missing, File, Folder, FolderLink, Other };

class Desktop {
 public:
  virtual ~Desktop() = default;

  // What a path names; a link to a folder is told apart so that a search need not follow it.
  virtual PathKind path_kind(const std::string& path) = 0;
  // The folder holding `path` (trailing separators ignored), or "" at the top: a drive on
  // Windows, "/" elsewhere.
  virtual std::string parent_folder(const std::string& path) const = 0;
  // The roots of the drives ("C:\\") where a system has them, nothing elsewhere.
  virtual std::vector<std::string> drives() = 0;
  // The user's local application data folder on Windows; none elsewhere.
  virtual std::optional<std::string> local_app_data_folder() = 0;
  virtual std::optional<std::string> home_folder() = 0;
  // Where a program keeps state of its own for this user: the local application data folder on
  // Windows; $XDG_STATE_HOME, else ~/.local/state, elsewhere.
  virtual std::optional<std::string> state_folder() = 0;
  // Makes `path` a folder that only this user can enter, with any folders missing above it; a
  // folder already there is left as it is.
  virtual Result<void, OsError> create_private_folder(const std::string& path) = 0;
  // Opens `url` in the default web browser without waiting for it.
  virtual Result<void, OsError> open_in_browser(const std::string& url) = 0;
  // Fills `out` from the system's source of cryptographically secure random bytes.
  virtual Result<void, OsError> random_bytes(std::span<std::uint8_t> out) = 0;
  // This process's id.
  virtual std::uint64_t process_id() = 0;
  // True while a process of this user with that id runs.
  virtual bool process_running(std::uint64_t id) = 0;
  // When the file `path` leads to was last written, as a FILETIME; nothing when it cannot be
  // examined.
  virtual std::optional<std::uint64_t> modified_time(const std::string& path) = 0;
  // Puts `bytes` at `path` in a file only this user may read: written whole under a name of its
  // own beside it, then renamed over whatever stood there.
  virtual Result<void, OsError> write_private_file(const std::string& path,
                                                   std::string_view bytes) = 0;
};

// The desktop of the system the program was built for.
std::unique_ptr<Desktop> make_native_desktop();

}  // namespace orvane::ui
