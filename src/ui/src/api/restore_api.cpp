#include <algorithm>
#include <boost/json.hpp>
#include <vector>

#include "account_change.hpp"
#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/formations.hpp"
#include "restore_points.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

// Where each account is to come back from: its point, or the backup beside it when none.
Result<std::map<std::string, std::string>, ApiError> points_of(
    const json::object& request, const std::vector<std::string>& accounts) {
  const json::value* one = request.if_contains("point");
  const json::value* many = request.if_contains("points");
  if (one != nullptr && many != nullptr)
    return bad_request("give \"point\" or \"points\", not both");
  std::map<std::string, std::string> points;
  if (one != nullptr) {
    auto id = string_member(request, "point");
    if (!id) return id.take_error();
    if (accounts.size() != 1) return bad_request("a \"point\" is one account's: name one account");
    points.emplace(accounts.front(), *id);
  }
  if (many != nullptr) {
    auto given = string_map_member(request, "points");
    if (!given) return given.take_error();
    for (const auto& [account, id] : *given) {
      if (std::find(accounts.begin(), accounts.end(), account) == accounts.end()) {
        return bad_request("\"points\" names account \"" + account + "\", which is not restored");
      }
    }
    points = std::move(*given);
  }
  return points;
}

// The bytes to put back: the point's, or the backup's. Either must be a settings file's.
Result<support::UnclearedBytes, ApiError> restore_source(Platform& platform,
                                                         RestorePointStore& store,
                                                         const std::string& folder,
                                                         const AccountFile& file,
                                                         const std::string* point) {
  std::string source;
  support::UnclearedBytes bytes;
  if (point != nullptr) {
    auto kept = store.read(folder, file.account, *point);
    if (!kept) return kept.take_error();
    source = "restore point " + *point;
    bytes = std::move(*kept);
  } else {
    source = backup_path_for(file.path);
    if (!platform.examine_file(source)) {
      return refused(ErrorCode::NoBackup, "account " + file.account + " has no backup " + source);
    }
    auto read = read_account_bytes(platform, source);
    if (!read) return read.take_error();
    bytes = std::move(read->bytes);
  }
  auto loaded = decode_account(bytes, source);
  if (!loaded) return loaded.take_error();
  if (!has_settings_shape(loaded->tree)) {
    return refused(ErrorCode::NotASettingsFile,
                   source + " is not an account's settings: it holds no \"ui\" dictionary");
  }
  return bytes;
}

std::string restoring_reason(const std::string* point, RestorePointStore& store,
                             const std::string& folder, const std::string& account) {
  if (point == nullptr) return "before restoring the backup";
  for (const RestorePoint& kept : store.list(folder, account)) {
    if (kept.id == *point) return "before restoring the state " + kept.reason;
  }
  return "before restoring a restore point";
}

json::object restore_account(Platform& platform, RestorePointStore& store,
                             const std::string& folder, const AccountFile& file,
                             const ShownVersions& versions, const std::string* point) {
  json::object result{{"account", file.account}, {"unchanged", false}, {"version", nullptr}};
  const auto failed = [&](const ApiError& error) {
    set_error(result, &error);
    set_restore_point(result, nullptr);
    return result;
  };
  auto current = read_shown_account(platform, file, versions);
  if (!current) return failed(current.error());
  result["version"] = current->version;
  if (auto inside = check_inside_folder(platform, folder, file); !inside) {
    return failed(inside.error());
  }
  auto source = restore_source(platform, store, folder, file, point);
  if (!source) return failed(source.error());
  // Putting back what the account already holds changes nothing, and keeps no point.
  if (std::equal(source->begin(), source->end(), current->bytes.begin(), current->bytes.end())) {
    result["unchanged"] = true;
    set_error(result, nullptr);
    set_restore_point(result, nullptr);
    return result;
  }
  auto changed =
      change_account(platform, store,
                     AccountChange{folder, file, current->bytes, *source,
                                   restoring_reason(point, store, folder, file.account), false});
  if (!changed) return failed(changed.error());
  result["version"] = changed->version;
  set_error(result, nullptr);
  set_restore_point(result, &*changed);
  return result;
}

}  // namespace

// Every account named must be one of the folder's, once, before any file is touched.
HttpResponse post_restore(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto names = distinct_string_list_member(*request, "accounts");
  if (!names) return error_reply(names.error());
  auto versions = shown_versions(*request);
  if (!versions) return error_reply(versions.error());
  auto points = points_of(*request, *names);
  if (!points) return error_reply(points.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto accounts = index->find_all(*names);
  if (!accounts) return error_reply(accounts.error());
  for (const AccountFile* account : *accounts) {
    if (auto shown = shown_version(*versions, account->account); !shown) {
      return error_reply(shown.error());
    }
  }

  RestorePointStore store(platform, desktop);
  json::array results;
  for (const AccountFile* account : *accounts) {
    const auto point = points->find(account->account);
    results.push_back(restore_account(platform, store, *folder, *account, *versions,
                                      point == points->end() ? nullptr : &point->second));
  }
  return json_reply(json::object{{"results", std::move(results)}});
}

// GET /api/restore-points?folder=F&account=A: the account's restore points, newest first.
HttpResponse get_restore_points(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto account = query_member(target, "account");
  if (!account) return error_reply(account.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto file = index->find(*account);
  if (!file) return error_reply(file.error());
  json::array points;
  for (const RestorePoint& point : RestorePointStore(platform, desktop).list(*folder, *account)) {
    points.push_back(json::object{{"id", point.id},
                                  {"time", point.time},
                                  {"reason", text_value(point.reason)},
                                  {"version", point.version}});
  }
  return json_reply(json::object{{"points", std::move(points)}});
}

}  // namespace orvane::ui
