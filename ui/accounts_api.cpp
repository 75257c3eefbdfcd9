#include <boost/json.hpp>

#include "account_files.hpp"
#include "account_index.hpp"
#include "account_listing.hpp"
#include "api_endpoints.hpp"

namespace orvane::ui {

namespace json = boost::json;

// An account that cannot be read is reported in its entry, and the listing goes on: one broken
// file must not hide the others.
HttpResponse get_accounts(Platform& platform, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto index = AccountIndex::open(platform, *folder);
  if (!index) return error_reply(index.error());

  json::array accounts;
  list_accounts_in_order(
      platform, index->files(), [&](const AccountFile& file, ListingResult listing) {
        json::array formations;
        std::size_t custom_count = 0;
        json::value error = nullptr;
        if (listing) {
          for (const Formation& formation : listing->formations) {
            formations.push_back(formation_value(formation));
          }
          custom_count = listing->custom_count;
        } else {
          error = text_value(listing.error());
        }
        const bool has_backup = platform.path_kind(backup_path_for(file.path)) == PathKind::File;
        accounts.push_back(json::object{{"account", text_value(file.account)},
                                        {"file", text_value(file.file)},
                                        {"formations", std::move(formations)},
                                        {"custom_count", custom_count},
                                        {"has_backup", has_backup},
                                        {"error", std::move(error)}});
        return true;
      });
  return json_reply(json::object{{"folder", *folder}, {"accounts", std::move(accounts)}});
}

}  // namespace orvane::ui
