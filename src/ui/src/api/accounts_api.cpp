#include <boost/json.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "account_index.hpp"
#include "account_names.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/account_listing.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"
#include "restore_points.hpp"

namespace orvane::ui {

namespace json = boost::json;

namespace {

// What an entry shows of its file: read and decoded on the pool's threads, so it holds nothing
// that lives in a JSON tree.
struct AccountRead {
  std::optional<std::string> version;
  std::vector<Formation> formations;
  std::size_t custom_count = 0;
  std::optional<ApiError> error;
};

AccountRead read_account(Platform& platform, const AccountFile& file) {
  AccountRead read;
  auto bytes = read_account_bytes(platform, file.path);
  if (!bytes) {
    read.error = bytes.error();
    return read;
  }
  read.version = std::move(bytes->version);
  auto listing = account_listing_of(bytes->bytes, file.path);
  if (!listing) {
    read.error = ApiError(ErrorCode::NotASettingsFile, std::move(listing.error()));
    return read;
  }
  read.formations = std::move(listing->formations);
  read.custom_count = listing->custom_count;
  return read;
}

// This program and the command line write an account within moments of its backup beside it,
// so a file that new beside its backup was written by them, not by the game client playing it.
constexpr std::uint64_t WRITTEN_WITH_BACKUP_WITHIN = 60ull * 10'000'000;  // FILETIME ticks

std::optional<std::uint64_t> time_played(Desktop& desktop, const AccountFile& file,
                                         std::optional<std::uint64_t> modified) {
  if (!modified) return std::nullopt;
  const auto backed_up = desktop.modified_time(backup_path_for(file.path));
  if (backed_up && *modified >= *backed_up &&
      *modified - *backed_up <= WRITTEN_WITH_BACKUP_WITHIN) {
    return std::nullopt;
  }
  return modified;
}

}  // namespace

// An account that cannot be read is reported in its entry, and the listing goes on: one broken
// file must not hide the others. Each entry carries the version of the bytes it was read from,
// which a change to the account names, and the name and times that tell accounts apart: the
// account the game client wrote last is the one it played last.
HttpResponse get_accounts(Platform& platform, Desktop& desktop, const RequestTarget& target) {
  auto folder = query_member(target, "folder");
  if (!folder) return error_reply(folder.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  const std::map<std::string, std::string> names =
      AccountNames(platform, desktop).of_folder(index->folder());
  std::vector<std::optional<std::uint64_t>> modified;
  std::optional<std::size_t> played_last;
  std::optional<std::uint64_t> last_time;
  for (const AccountFile& file : index->files()) {
    modified.push_back(desktop.modified_time(file.path));
    const auto played = time_played(desktop, file, modified.back());
    if (played && (!last_time || *played > *last_time)) {
      played_last = modified.size() - 1;
      last_time = played;
    }
  }

  const std::vector<AccountFile>& files = index->files();
  std::vector<std::optional<AccountRead>> reads(files.size());
  json::array accounts;
  const auto entry_of = [&](std::size_t at, AccountRead read) {
    const AccountFile& file = files[at];
    json::array formations;
    for (const Formation& formation : read.formations) {
      formations.push_back(formation_value(formation));
    }
    const bool has_backup = desktop.path_kind(backup_path_for(file.path)) == PathKind::File;
    json::object entry{
        {"account", text_value(file.account)},
        {"file", text_value(file.file)},
        {"version", read.version ? json::value(*read.version) : json::value(nullptr)},
        {"formations", std::move(formations)},
        {"custom_count", read.custom_count},
        {"has_backup", has_backup}};
    const auto name = names.find(file.account);
    entry["name"] = name == names.end() ? json::value(nullptr) : text_value(name->second);
    entry["modified"] = modified[at] ? json::value(utc_time_text(*modified[at])) : nullptr;
    entry["played_last"] = played_last == at;
    set_error(entry, read.error ? &*read.error : nullptr);
    return entry;
  };
  read_accounts_in_order(
      platform, files.size(), [&](std::size_t i) { reads[i] = read_account(platform, files[i]); },
      [&](std::size_t i) {
        accounts.push_back(entry_of(i, std::move(*reads[i])));
        reads[i].reset();
        return true;
      });
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
