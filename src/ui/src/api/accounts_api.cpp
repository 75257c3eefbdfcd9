#include <boost/json.hpp>

#include "account_index.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {

namespace json = boost::json;

// An account that cannot be read is reported in its entry, and the listing goes on: one broken
// file must not hide the others.
HttpResponse get_accounts(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());

  json::array accounts;
  for (const AccountFile& file : index->files()) {
    json::array formations;
    std::size_t custom_count = 0;
    json::value error = nullptr;
    if (auto loaded = load_settings(platform, file.path)) {
      for (const Formation& formation : read_formations(loaded->tree)) {
        formations.push_back(formation_value(formation));
      }
      custom_count = custom_formation_count(loaded->tree);
    } else {
      error = text_value(loaded.error());
    }
    const bool has_backup = desktop.path_kind(backup_path_for(file.path)) == PathKind::File;
    accounts.push_back(json::object{{"account", text_value(file.account)},
                                    {"file", text_value(file.file)},
                                    {"formations", std::move(formations)},
                                    {"custom_count", custom_count},
                                    {"has_backup", has_backup},
                                    {"error", std::move(error)}});
  }
  return json_reply(
      json::object{{"folder", text_value(index->folder())}, {"accounts", std::move(accounts)}});
}

}  // namespace orvane::ui
