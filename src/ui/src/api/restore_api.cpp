#include <boost/json.hpp>
#include <vector>

#include "account_index.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/restore_from_backup.hpp"

namespace orvane::ui {

namespace json = boost::json;

// Every account named must be one of the folder's before any file is touched.
HttpResponse post_restore(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto names = string_list_member(*request, "accounts");
  if (!names) return error_reply(names.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto accounts = index->find_all(*names);
  if (!accounts) return error_reply(accounts.error());

  json::array results;
  for (const AccountFile* account : *accounts) {
    auto restored = restore_from_backup(platform, account->path);
    json::value error = nullptr;
    if (!restored) error = text_value(restored.error());
    results.push_back(json::object{{"account", account->account}, {"error", std::move(error)}});
  }
  return json_reply(json::object{{"results", std::move(results)}});
}

}  // namespace orvane::ui
