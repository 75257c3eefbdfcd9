#include <boost/json.hpp>
#include <map>
#include <vector>

#include "account_index.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

// The formations the request picks from the folder's accounts, {"account", "id"} each, in the
// request's order: the package the command line would apply.
Result<std::vector<Formation>, ApiError> formations_from_accounts(Platform& platform,
                                                                  const AccountIndex& index,
                                                                  const json::value& picks) {
  const json::array* items = picks.if_array();
  if (items == nullptr) return bad_request("\"formations\" must be a list");
  std::map<std::string, std::vector<Formation>> stored;  // by account, each read once
  std::vector<Formation> formations;
  for (const json::value& item : *items) {
    const json::object* pick = item.if_object();
    if (pick == nullptr) return bad_request("each formation must be {\"account\", \"id\"}");
    auto account = string_member(*pick, "account");
    if (!account) return account.take_error();
    const json::value* id_value = pick->if_contains("id");
    if (id_value == nullptr) return bad_request("each formation must be {\"account\", \"id\"}");
    auto id = integer_value(*id_value, "id");
    if (!id) return id.take_error();
    auto file = index.find(*account);
    if (!file) return file.take_error();
    auto held = stored.find(*account);
    if (held == stored.end()) {
      auto loaded = load_settings(platform, (*file)->path);
      if (!loaded) return bad_request(loaded.error());
      held = stored.emplace(*account, read_formations(loaded->tree)).first;
    }
    const Formation* found = nullptr;
    for (const Formation& formation : held->second) {
      if (formation.id == *id) found = &formation;
    }
    if (found == nullptr) {
      return unexpected(no_such_formation(*account, *id));
    }
    formations.push_back(*found);
  }
  return formations;
}

// A package file sent as its text (read strictly, as the command line reads the file) or as its
// JSON, and optionally the indexes of the formations to take from it, in the order to apply.
Result<std::vector<Formation>, ApiError> formations_from_package(const json::value& package,
                                                                 const json::value* pick) {
  const json::string* text = package.if_string();
  auto accepted = text != nullptr ? read_accepted_package(*text)
                                  : read_accepted_package(json::serialize(package));
  if (!accepted) return bad_request(accepted.error());
  if (pick == nullptr) return std::move(accepted->formations);
  const json::array* indexes = pick->if_array();
  if (indexes == nullptr) return bad_request("\"pick\" must be a list of formation numbers");
  std::vector<Formation> formations;
  for (const json::value& item : *indexes) {
    auto index = integer_value(item, "pick");
    if (!index) return index.take_error();
    if (*index < 0 || static_cast<std::uint64_t>(*index) >= accepted->formations.size()) {
      return bad_request("the package has no formation number " + std::to_string(*index));
    }
    formations.push_back(accepted->formations[static_cast<std::size_t>(*index)]);
  }
  return formations;
}

json::object target_result(const std::string& account,
                           const Result<MergeOutcome, std::string>& outcome) {
  json::array added;
  json::array skipped;
  json::value custom_count = nullptr;
  json::value error = nullptr;
  if (outcome) {
    for (const AddedFormation& formation : outcome->added_formations) {
      added.push_back(json::object{{"name", text_value(formation.name)}, {"id", formation.id}});
    }
    for (const std::string& name : outcome->skipped) skipped.push_back(text_value(name));
    custom_count = outcome->custom_count;
  } else {
    error = text_value(outcome.error());
  }
  return json::object{{"account", account},
                      {"added", std::move(added)},
                      {"skipped", std::move(skipped)},
                      {"custom_count", std::move(custom_count)},
                      {"error", std::move(error)}};
}

}  // namespace

// A target is backed up and written only after its merge succeeded, so a target the merge
// refuses keeps both its file and its backup as they were; the others still go on.
HttpResponse post_apply(Platform& platform, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto dry_run = bool_member(*request, "dry_run", true);
  if (!dry_run) return error_reply(dry_run.error());
  auto target_names = string_list_member(*request, "targets");
  if (!target_names) return error_reply(target_names.error());
  if (target_names->empty())
    return error_reply({STATUS_BAD_REQUEST, "no target account is picked"});
  auto index = AccountIndex::open(platform, *folder);
  if (!index) return error_reply(index.error());
  auto targets = index->find_all(*target_names);
  if (!targets) return error_reply(targets.error());

  const json::value* picks = request->if_contains("formations");
  const json::value* package = request->if_contains("package");
  if ((picks == nullptr) == (package == nullptr)) {
    return error_reply({STATUS_BAD_REQUEST, "give either \"formations\" or \"package\""});
  }
  auto formations = picks != nullptr
                        ? formations_from_accounts(platform, *index, *picks)
                        : formations_from_package(*package, request->if_contains("pick"));
  if (!formations) return error_reply(formations.error());

  json::array results;
  for (const AccountFile* target : *targets) {
    const ApplyMode mode = *dry_run ? ApplyMode::Preview : ApplyMode::WriteWhenMerged;
    auto outcome = apply_formations(platform, target->path, *formations, mode);
    results.push_back(target_result(target->account, outcome));
  }
  return json_reply(json::object{{"results", std::move(results)}});
}

}  // namespace orvane::ui
