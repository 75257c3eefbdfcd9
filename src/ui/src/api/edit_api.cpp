// Removing and renaming go through the change path apply takes: the account read against the
// version shown, a restore point and the backup beside it kept, the write made only over the
// bytes the edit was made from.
#include <boost/json.hpp>

#include "account_change.hpp"
#include "account_index.hpp"
#include "account_read.hpp"
#include "api_endpoints.hpp"
#include "orvane/core/formation_edits.hpp"
#include "orvane/core/settings.hpp"

namespace orvane::ui {
namespace {

namespace json = boost::json;

constexpr std::string_view REMOVE_SHAPE = "each formation to remove must be {\"id\", \"name\"}";
constexpr std::string_view RENAME_SHAPE =
    "each formation to rename must be {\"id\", \"name\", \"new_name\"}";

Result<FormationRef, ApiError> formation_ref(const json::value& item, std::string_view shape) {
  const json::object* entry = item.if_object();
  const json::value* id_value = entry == nullptr ? nullptr : entry->if_contains("id");
  if (id_value == nullptr) return bad_request(std::string(shape));
  auto id = integer_value(*id_value, "id");
  if (!id) return id.take_error();
  auto name = string_member(*entry, "name");
  if (!name) return name.take_error();
  return FormationRef{*id, std::move(*name)};
}

// An absent list is an empty one: a request may only remove, or only rename.
const json::array* list_member(const json::object& request, std::string_view name, bool& bad) {
  static const json::array none;
  const json::value* member = request.if_contains(name);
  if (member == nullptr) return &none;
  bad = !member->is_array();
  return member->if_array();
}

Result<FormationEdits, ApiError> requested_edits(const json::object& request) {
  bool bad = false;
  const json::array* remove = list_member(request, "remove", bad);
  if (bad) return bad_request("\"remove\" must be a list");
  const json::array* rename = list_member(request, "rename", bad);
  if (bad) return bad_request("\"rename\" must be a list");
  FormationEdits edits;
  for (const json::value& item : *remove) {
    auto ref = formation_ref(item, REMOVE_SHAPE);
    if (!ref) return ref.take_error();
    edits.remove.push_back(std::move(*ref));
  }
  for (const json::value& item : *rename) {
    auto ref = formation_ref(item, RENAME_SHAPE);
    if (!ref) return ref.take_error();
    auto new_name = string_member(*item.if_object(), "new_name");
    if (!new_name) return new_name.take_error();
    edits.rename.push_back(FormationRename{std::move(*ref), std::move(*new_name)});
  }
  return edits;
}

ApiError name_refusal(NameFault fault, std::string text) {
  switch (fault) {
    case NameFault::Empty:
      return ApiError{ErrorCode::NameEmpty, std::move(text)};
    case NameFault::TooLong:
      return ApiError{ErrorCode::NameTooLong, std::move(text)};
    case NameFault::ControlCharacter:
      break;
  }
  return ApiError{ErrorCode::NameControlCharacter, std::move(text)};
}

ApiError edit_refusal(const std::string& account, const EditError& error) {
  switch (error.refusal) {
    case EditRefusal::NotSettings:
      return ApiError{ErrorCode::NotASettingsFile, error.text};
    case EditRefusal::NoSuchFormation:
      return ApiError{ErrorCode::NoSuchFormation, "account " + account + ": " + error.text};
    case EditRefusal::NameChanged:
      return changed_on_disk(account, error.text);
    case EditRefusal::NamedTwice:
      return ApiError{ErrorCode::BadRequest, error.text};
    case EditRefusal::BadName:
      return name_refusal(error.fault.value_or(NameFault::Empty), error.text);
    case EditRefusal::NameTaken:
      break;
  }
  return ApiError{ErrorCode::NameTaken, error.text};
}

// "before removing Belt and renaming Ring to Wide Ring"
std::string editing_reason(const FormationEdits& edits) {
  std::string removing;
  for (const FormationRef& ref : edits.remove) {
    removing += (removing.empty() ? "removing " : ", ") + ref.name;
  }
  std::string renaming;
  for (const FormationRename& rename : edits.rename) {
    renaming +=
        (renaming.empty() ? "renaming " : ", ") + rename.formation.name + " to " + rename.new_name;
  }
  const char* joint = !removing.empty() && !renaming.empty() ? " and " : "";
  return "before " + removing + joint + renaming;
}

json::object edit_result(const std::string& account, const FormationEdits& edits,
                         const EditOutcome& outcome, const std::string& version,
                         const ChangeMade* change) {
  json::array removed;
  for (const FormationRef& ref : edits.remove) {
    removed.push_back(json::object{{"id", ref.id}, {"name", text_value(ref.name)}});
  }
  json::array renamed;
  for (const FormationRename& rename : edits.rename) {
    renamed.push_back(json::object{{"id", rename.formation.id},
                                   {"name", text_value(rename.formation.name)},
                                   {"new_name", text_value(rename.new_name)}});
  }
  json::object result{{"account", text_value(account)},  {"removed", std::move(removed)},
                      {"renamed", std::move(renamed)},   {"custom_count", outcome.custom_count},
                      {"unchanged", !outcome.changed()}, {"version", version}};
  set_restore_point(result, change);
  return result;
}

}  // namespace

HttpResponse post_edit(Platform& platform, Desktop& desktop, std::string_view body) {
  auto request = parse_body_object(body);
  if (!request) return error_reply(request.error());
  auto folder = string_member(*request, "folder");
  if (!folder) return error_reply(folder.error());
  auto account = string_member(*request, "account");
  if (!account) return error_reply(account.error());
  auto version = string_member(*request, "version");
  if (!version) return error_reply(version.error());
  auto edits = requested_edits(*request);
  if (!edits) return error_reply(edits.error());
  auto index = AccountIndex::open(platform, desktop, *folder);
  if (!index) return error_reply(index.error());
  auto file = index->find(*account);
  if (!file) return error_reply(file.error());

  auto read = read_shown_account(platform, **file, ShownVersions{{*account, *version}});
  if (!read) return error_reply(read.error());
  auto loaded = decode_account(read->bytes, (*file)->path);
  if (!loaded) return error_reply(loaded.error());
  auto edited = edit_formations(loaded->tree, *edits, platform.now_filetime());
  if (!edited) return error_reply(edit_refusal(*account, edited.error()));
  if (!edited->changed()) {
    return json_reply(edit_result(*account, *edits, *edited, read->version, nullptr));
  }

  auto bytes = encode_settings(loaded->tree, loaded->has_crc, loaded->file_size);
  if (!bytes) return error_reply(ApiError{ErrorCode::EncodeFailed, bytes.error()});
  RestorePointStore store(platform, desktop);
  auto changed = change_account(
      platform, store,
      AccountChange{*folder, **file, read->bytes, *bytes, editing_reason(*edits), true});
  if (!changed) return error_reply(changed.error());
  return json_reply(edit_result(*account, *edits, *edited, changed->version, &*changed));
}

}  // namespace orvane::ui
