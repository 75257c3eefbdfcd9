#include "orvane/core/account_folder.hpp"

#include <algorithm>
#include <utility>

#include "orvane/core/account_files.hpp"

namespace orvane {

Result<std::vector<AccountFile>, std::string> list_account_files(Platform& platform,
                                                                 const std::string& folder) {
  auto entries = platform.list_directory(folder);
  if (!entries) return unexpected("settings directory: " + platform.os_error_text(entries.error()));

  std::vector<std::string> names;
  for (std::string& name : *entries) {
    if (is_account_file_name(name)) names.push_back(std::move(name));
  }
  // Every path shares the folder part, so ordering the file names as byte strings orders the
  // paths; std::string compares bytes as unsigned values.
  std::sort(names.begin(), names.end());

  std::vector<AccountFile> files;
  files.reserve(names.size());
  for (std::string& name : names) {
    std::string path = platform.join_path(folder, name);
    std::string account = account_label(path).value_or(std::string());
    files.push_back({std::move(name), std::move(path), std::move(account)});
  }
  return files;
}

}  // namespace orvane
