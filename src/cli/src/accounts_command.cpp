#include <string>
#include <vector>

#include "orvane/cli/commands.hpp"
#include "orvane/core/account_folder.hpp"
#include "orvane/core/account_listing.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {

// The files are read side by side, but printed in order: the first that fails ends the command
// at its place, after the lines of the files before it.
Result<void, std::string> run_accounts(Platform& platform, const std::string& directory) {
  auto files = list_account_files(platform, directory);
  if (!files) return files.take_error();
  Result<void, std::string> outcome;
  list_accounts_in_order(platform, *files, [&](const AccountFile& file, ListingResult listing) {
    if (!listing) {
      outcome = listing.take_error();
      return false;
    }
    const std::size_t count = listing->formations.size();
    outcome =
        print_output(platform, file.account + "\t" + std::to_string(count) + " formation(s)\n");
    return outcome.has_value();
  });
  return outcome;
}

}  // namespace orvane
