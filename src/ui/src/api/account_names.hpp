// The names a player gives accounts ("Main", "Hauler"), kept by settings folder and account in
// one small file of the program's data folder, never in a settings file. The file carries no
// version: the last name saved wins. A file that is missing or damaged only means no names.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "orvane/core/platform.hpp"
#include "orvane/ui/api_json.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {

inline constexpr std::size_t MAX_ACCOUNT_NAMES_BYTES = 256 * 1024;

class AccountNames {
 public:
  AccountNames(Platform& platform, Desktop& desktop) : platform_(platform), desktop_(desktop) {}

  // The folder's names, by account.
  std::map<std::string, std::string> of_folder(const std::string& folder);
  // Gives the account `name`, or takes its name away when `name` is empty. Refused with a
  // name_* code for a name against the rule of display_names.hpp, too_large when the file would
  // pass MAX_ACCOUNT_NAMES_BYTES, write_failed when it cannot be written.
  Result<void, ApiError> set(const std::string& folder, const std::string& account,
                             const std::string& name);

 private:
  std::optional<std::string> file_path();
  boost::json::object read_all();
  std::string folder_key(const std::string& folder);

  Platform& platform_;
  Desktop& desktop_;
};

}  // namespace orvane::ui
