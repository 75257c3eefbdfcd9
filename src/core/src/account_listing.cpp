#include "orvane/core/account_listing.hpp"

#include <utility>

#include "ordered_pool.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane {

ListingResult read_account_listing(Platform& platform, const std::string& path) {
  auto loaded = load_settings(platform, path);
  if (!loaded) return loaded.take_error();
  return AccountListing{read_formations(loaded->tree), custom_formation_count(loaded->tree)};
}

void list_accounts_in_order(Platform& platform, const std::vector<AccountFile>& files,
                            const std::function<bool(const AccountFile&, ListingResult)>& use) {
  map_in_order<ListingResult>(
      platform.processor_count(), files.size(),
      [&](std::size_t i) { return read_account_listing(platform, files[i].path); },
      [&](std::size_t i, ListingResult listing) { return use(files[i], std::move(listing)); });
}

}  // namespace orvane
