#include <string>
#include <vector>

#include "orvane/cli/commands.hpp"
#include "orvane/core/account_folder.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {

Result<void, std::string> run_accounts(Platform& platform, const std::string& directory) {
  auto files = list_account_files(platform, directory);
  if (!files) return files.take_error();
  for (const AccountFile& file : *files) {
    auto loaded = load_settings(platform, file.path);
    if (!loaded) return loaded.take_error();
    const std::size_t count = read_formations(loaded->tree).size();
    if (auto printed =
            print_output(platform, file.account + "\t" + std::to_string(count) + " formation(s)\n");
        !printed) {
      return printed.take_error();
    }
  }
  return {};
}

}  // namespace orvane
