#include "orvane/core/account_listing.hpp"

#include <utility>

#include "ordered_pool.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings_view.hpp"

namespace orvane {

namespace {

AccountListing listing_of(const SettingsView& view) {
  return AccountListing{read_formations(view.tree), custom_formation_count(view.tree)};
}

}  // namespace

ListingResult read_account_listing(Platform& platform, const std::string& path) {
  auto loaded = load_settings_view(platform, path);
  if (!loaded) return loaded.take_error();
  return listing_of(*loaded);
}

ListingResult account_listing_of(std::span<const std::uint8_t> bytes, const std::string& path) {
  auto loaded = decode_settings_view(bytes, path);
  if (!loaded) return loaded.take_error();
  return listing_of(*loaded);
}

void list_accounts_in_order(Platform& platform, const std::vector<AccountFile>& files,
                            const std::function<bool(const AccountFile&, ListingResult)>& use) {
  map_in_order<ListingResult>(
      platform.processor_count(), files.size(),
      [&](std::size_t i) { return read_account_listing(platform, files[i].path); },
      [&](std::size_t i, ListingResult listing) { return use(files[i], std::move(listing)); });
}

void read_accounts_in_order(Platform& platform, std::size_t count,
                            const std::function<void(std::size_t)>& read,
                            const std::function<bool(std::size_t)>& use) {
  run_in_order(platform.processor_count(), count, read, use);
}

}  // namespace orvane
