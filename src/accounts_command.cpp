#include <algorithm>
#include <string>
#include <vector>

#include "account_files.hpp"
#include "commands.hpp"
#include "formations.hpp"
#include "settings.hpp"

namespace orvane {

Result<void, std::string> run_accounts(Platform& platform, const std::string& directory) {
  auto entries = platform.list_directory(directory);
  if (!entries) return unexpected("settings directory: " + platform.os_error_text(entries.error()));

  std::vector<std::string> names;
  for (std::string& name : *entries) {
    if (is_account_file_name(name)) names.push_back(std::move(name));
  }
  // Every path shares the directory part, so ordering the file names as byte strings orders
  // the paths; std::string compares bytes as unsigned values.
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    const std::string path = platform.join_path(directory, name);
    auto loaded = load_settings(platform, path);
    if (!loaded) return loaded.take_error();
    const std::size_t count = read_formations(loaded->tree).size();
    const std::string account = account_label(path).value_or(std::string());
    if (auto printed =
            print_output(platform, account + "\t" + std::to_string(count) + " formation(s)\n");
        !printed) {
      return printed.take_error();
    }
  }
  return {};
}

}  // namespace orvane
