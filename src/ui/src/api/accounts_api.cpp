#include <boost/json.hpp>

#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {

namespace json = boost::json;

// An account that cannot be read is reported in its entry, and the listing goes on: one broken
// file must not hide the others. Each entry carries the version of the bytes it was read from,
// which a change to the account names.
HttpResponse get_accounts(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());

  json::array accounts;
  for (const AccountFile& file : index->files()) {
    json::array formations;
    std::size_t custom_count = 0;
    json::value version = nullptr;
    std::optional<ApiError> error;
    if (auto read = read_account_bytes(platform, file.path)) {
      version = read->version;
      if (auto loaded = decode_account(read->bytes, file.path)) {
        for (const Formation& formation : read_formations(loaded->tree)) {
          formations.push_back(formation_value(formation));
        }
        custom_count = custom_formation_count(loaded->tree);
      } else {
        error = loaded.error();
      }
    } else {
      error = read.error();
    }
    const bool has_backup = desktop.path_kind(backup_path_for(file.path)) == PathKind::File;
    json::object entry{{"account", text_value(file.account)}, {"file", text_value(file.file)},
                       {"version", std::move(version)},       {"formations", std::move(formations)},
                       {"custom_count", custom_count},        {"has_backup", has_backup}};
    set_error(entry, error ? &*error : nullptr);
    accounts.push_back(std::move(entry));
  }
  return json_reply(
      json::object{{"folder", text_value(index->folder())}, {"accounts", std::move(accounts)}});
}

}  // namespace orvane::ui
