#include <boost/json.hpp>

#include "account_index.hpp"
#include "account_names.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"
#include "restore_points.hpp"

namespace orvane::ui {

namespace json = boost::json;

// An account that cannot be read is reported in its entry, and the listing goes on: one broken
// file must not hide the others. Each entry carries the version of the bytes it was read from,
// which a change to the account names, and the name and times that tell accounts apart: the
// account written last is the one the game client played last.
HttpResponse get_accounts(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  const std::map<std::string, std::string> names =
      AccountNames(platform, desktop).of_folder(index->folder());
  std::vector<std::optional<std::uint64_t>> modified;
  std::optional<std::size_t> played_last;
  for (const AccountFile& file : index->files()) {
    modified.push_back(desktop.modified_time(file.path));
    if (modified.back() && (!played_last || *modified.back() > *modified[*played_last])) {
      played_last = modified.size() - 1;
    }
  }

  json::array accounts;
  for (const AccountFile& file : index->files()) {
    const std::size_t at = accounts.size();
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
    const auto name = names.find(file.account);
    entry["name"] = name == names.end() ? json::value(nullptr) : text_value(name->second);
    entry["modified"] = modified[at] ? json::value(utc_time_text(*modified[at])) : nullptr;
    entry["played_last"] = played_last == at;
    set_error(entry, error ? &*error : nullptr);
    accounts.push_back(std::move(entry));
  }
  return json_reply(
      json::object{{"folder", text_value(index->folder())}, {"accounts", std::move(accounts)}});
}

HttpResponse post_account_name(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto account = string_member(*request, "account");
  if (!account) return error_reply(account.error());
  auto name = string_member(*request, "name");
  if (!name) return error_reply(name.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  if (auto file = index->find(*account); !file) return error_reply(file.error());
  if (auto set = AccountNames(platform, desktop).set(index->folder(), *account, *name); !set) {
    return error_reply(set.error());
  }
  return json_reply(
      json::object{{"account", text_value(*account)},
                   {"name", name->empty() ? json::value(nullptr) : text_value(*name)}});
}

}  // namespace orvane::ui
