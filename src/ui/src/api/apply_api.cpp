#include <boost/json.hpp>
#include <vector>

#include "account_change.hpp"
#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/settings.hpp"
#include "picked_formations.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

ApiError merge_refusal(const MergeError& error) {
  switch (error.refusal) {
    case MergeRefusal::OverLimit:
      return ApiError{ErrorCode::OverLimit, error.text};
    case MergeRefusal::NotSettings:
      return ApiError{ErrorCode::NotASettingsFile, error.text};
    case MergeRefusal::NoFreeId:
      break;
  }
  return ApiError{ErrorCode::NoFreeId, error.text};
}

std::string adding_reason(const MergeOutcome& outcome) {
  std::string reason = "before adding ";
  const char* separator = "";
  for (const AddedFormation& formation : outcome.added_formations) {
    reason += separator;
    reason += formation.name;
    separator = ", ";
  }
  return reason;
}

// What one target's merge gives, or would give in a preview.
struct TargetOutcome {
  std::optional<MergeOutcome> merged;
  std::optional<ApiError> error;
  std::optional<std::size_t> custom_count;  // also for a target over the limit
  std::optional<std::string> version;       // of the target as it now is, when it was read
  bool unchanged = false;                   // nothing to add: not written
  std::optional<ChangeMade> change;
};

TargetOutcome apply_to_target(Platform& platform, RestorePointStore& store,
                              const std::string& folder, const AccountFile& target,
                              const std::vector<Formation>& formations,
                              const ShownVersions& versions, bool dry_run) {
  TargetOutcome outcome;
  const auto failed = [&](ApiError error) {
    outcome.error = std::move(error);
    return outcome;
  };
  auto read = read_shown_account(platform, target, versions);
  if (!read) return failed(read.error());
  outcome.version = read->version;
  if (auto inside = check_inside_folder(platform, folder, target); !inside) {
    return failed(inside.error());
  }
  auto loaded = decode_account(read->bytes, target.path);
  if (!loaded) return failed(loaded.error());
  auto merged = merge_formations_explained(loaded->tree, formations, platform.now_filetime());
  if (!merged) {
    if (merged.error().refusal == MergeRefusal::OverLimit) {
      outcome.custom_count = merged.error().custom_count;
    }
    return failed(merge_refusal(merged.error()));
  }
  outcome.custom_count = merged->custom_count;
  outcome.unchanged = merged->added == 0;
  outcome.merged = std::move(*merged);
  if (dry_run || outcome.unchanged) return outcome;

  auto bytes = encode_settings(loaded->tree, loaded->has_crc, loaded->file_size);
  if (!bytes) return failed(ApiError{ErrorCode::EncodeFailed, bytes.error()});
  auto changed = change_account(
      platform, store,
      AccountChange{folder, target, read->bytes, *bytes, adding_reason(*outcome.merged), true});
  if (!changed) return failed(changed.error());
  outcome.version = changed->version;
  outcome.change = std::move(*changed);
  return outcome;
}

json::object target_result(const std::string& account, const TargetOutcome& outcome) {
  json::array added;
  json::array skipped;
  if (outcome.merged) {
    for (const AddedFormation& formation : outcome.merged->added_formations) {
      added.push_back(json::object{{"name", text_value(formation.name)},
                                   {"id", formation.id},
                                   {"name_key", text_value(name_key(formation.name))}});
    }
    for (const std::string& name : outcome.merged->skipped) {
      skipped.push_back(
          json::object{{"name", text_value(name)}, {"name_key", text_value(name_key(name))}});
    }
  }
  json::object result{
      {"account", account},      {"added", std::move(added)},      {"skipped", std::move(skipped)},
      {"custom_count", nullptr}, {"unchanged", outcome.unchanged}, {"version", nullptr}};
  if (outcome.custom_count) result["custom_count"] = *outcome.custom_count;
  if (outcome.version) result["version"] = *outcome.version;
  set_error(result, outcome.error ? &*outcome.error : nullptr);
  set_restore_point(result, outcome.change ? &*outcome.change : nullptr);
  return result;
}

}  // namespace

// A target is backed up and written only after its merge succeeded and added something, so a
// target the merge refuses, or that already holds every formation, keeps its file and its backup
// as they were; the others still go on.
HttpResponse post_apply(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto dry_run = bool_member(*request, "dry_run", true);
  if (!dry_run) return error_reply(dry_run.error());
  auto target_names = distinct_string_list_member(*request, "targets");
  if (!target_names) return error_reply(target_names.error());
  if (target_names->empty())
    return error_reply(ApiError{ErrorCode::BadRequest, "no target account is picked"});
  auto versions = shown_versions(*request);
  if (!versions) return error_reply(versions.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto targets = index->find_all(*target_names);
  if (!targets) return error_reply(targets.error());
  for (const AccountFile* target : *targets) {
    if (auto shown = shown_version(*versions, target->account); !shown) {
      return error_reply(shown.error());
    }
  }

  const json::value* picks = request->if_contains("formations");
  const json::value* package = request->if_contains("package");
  if ((picks == nullptr) == (package == nullptr)) {
    return error_reply(
        ApiError{ErrorCode::BadRequest, "give either \"formations\" or \"package\""});
  }
  auto file_name = optional_file_name(*request);
  if (!file_name) return error_reply(file_name.error());
  auto formations =
      picks != nullptr
          ? formations_from_accounts(platform, *index, *picks, &*versions)
          : formations_from_package(*package, request->if_contains("pick"), *file_name);
  if (!formations) return error_reply(formations.error());

  RestorePointStore store(platform, desktop);
  json::array results;
  for (const AccountFile* target : *targets) {
    results.push_back(target_result(
        target->account,
        apply_to_target(platform, store, *folder, *target, *formations, *versions, *dry_run)));
  }
  return json_reply(json::object{{"results", std::move(results)}});
}

}  // namespace orvane::ui
