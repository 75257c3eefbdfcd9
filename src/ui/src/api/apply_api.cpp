#include <boost/json.hpp>
#include <vector>

#include "account_index.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"
#include "picked_formations.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

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
HttpResponse post_apply(Platform& platform, Desktop& desktop, std::string_view body) {
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
  auto index = AccountIndex::open(platform, desktop, *folder);
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
                        : formations_from_package(*package, request->if_contains("pick"), {});
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
