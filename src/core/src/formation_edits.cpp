// Every member a request names is found and every new name checked before the tree is touched,
// so a refused edit leaves the file as it was, as a refused merge does.
#include "orvane/core/formation_edits.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formation_tree.hpp"
#include "orvane/core/formations.hpp"

namespace orvane {
namespace {

using namespace detail;

EditError refusal(EditRefusal why, std::int64_t id, std::string text) {
  return EditError{why, std::move(text), id, std::nullopt};
}

std::string described(const FormationRef& ref) {
  return "formation " + std::to_string(ref.id) + " (" + ref.name + ")";
}

// The key of the member meant: the first in dict order with that id whose name is the one shown.
Result<std::string, EditError> find_member(const json::object* dict, const FormationRef& ref) {
  bool id_held = false;
  if (dict != nullptr && ref.id >= 0) {
    for (const auto& member : *dict) {
      const std::optional<std::int64_t> id = formation_key_id(member.key());
      const json::string* name = stored_name(member.value());
      if (!id || *id != ref.id || name == nullptr) continue;
      id_held = true;
      if (name_key(untag_text(*name)) == name_key(ref.name)) return std::string(member.key());
    }
  }
  if (id_held) {
    return unexpected(refusal(EditRefusal::NameChanged, ref.id,
                              "formation " + std::to_string(ref.id) + " is no longer " + ref.name));
  }
  return unexpected(refusal(EditRefusal::NoSuchFormation, ref.id, "no " + described(ref)));
}

struct EditPlan {
  std::vector<std::string> removed_keys;
  std::vector<std::pair<std::string, const FormationRename*>> renamed_keys;
};

Result<EditPlan, EditError> plan_edits(const json::object* dict, const FormationEdits& edits) {
  EditPlan plan;
  std::set<std::string> claimed;
  const auto claim = [&](const FormationRef& ref) -> Result<std::string, EditError> {
    auto key = find_member(dict, ref);
    if (!key) return key;
    if (!claimed.insert(*key).second) {
      return unexpected(
          refusal(EditRefusal::NamedTwice, ref.id, described(ref) + " is named twice"));
    }
    return key;
  };
  for (const FormationRef& ref : edits.remove) {
    auto key = claim(ref);
    if (!key) return key.take_error();
    plan.removed_keys.push_back(std::move(*key));
  }
  for (const FormationRename& rename : edits.rename) {
    if (const std::optional<NameFault> fault = name_fault(rename.new_name)) {
      return unexpected(
          EditError{EditRefusal::BadName,
                    "cannot rename " + described(rename.formation) + ": " + name_fault_text(*fault),
                    rename.formation.id, fault});
    }
    auto key = claim(rename.formation);
    if (!key) return key.take_error();
    plan.renamed_keys.emplace_back(std::move(*key), &rename);
  }

  // A rename may take a name that a removal or another rename frees.
  std::set<std::string> taken;
  if (dict != nullptr) {
    for (const auto& member : *dict) {
      if (claimed.count(std::string(member.key())) != 0) continue;
      if (auto name = reserved_name(member.key(), member.value())) taken.insert(std::move(*name));
    }
  }
  for (const auto& [key, rename] : plan.renamed_keys) {
    if (!taken.insert(name_key(rename->new_name)).second) {
      return unexpected(refusal(EditRefusal::NameTaken, rename->formation.id,
                                "cannot rename " + described(rename->formation) +
                                    ": another formation is already named " + rename->new_name));
    }
  }
  return plan;
}

}  // namespace

Result<EditOutcome, EditError> edit_formations(JsonValue& root, const FormationEdits& edits,
                                               std::uint64_t now_filetime) {
  EditOutcome outcome;
  if (edits.remove.empty() && edits.rename.empty()) {
    outcome.custom_count = custom_formation_count(root);
    return outcome;
  }
  json::object* root_object = root.if_object();
  if (root_object == nullptr) {
    return unexpected(refusal(EditRefusal::NotSettings, 0, "settings root is not an object"));
  }
  JsonValue* ui_value = root_object->if_contains(UI_KEY);
  json::object* ui = ui_value == nullptr ? nullptr : ui_value->if_object();
  if (ui == nullptr) {
    return unexpected(refusal(EditRefusal::NotSettings, 0, "settings ui is not an object"));
  }
  auto plan = plan_edits(find_custom_formations(root), edits);
  if (!plan) return plan.take_error();

  // Nothing below can fail: every member named was found, so the dict is there.
  json::array& custom = *find_custom_tuple(root);
  json::object& dict = *custom[1].if_object();
  for (const auto& [key, rename] : plan->renamed_keys) {
    json::array& items = *tuple_items(dict.find(key)->value(), 1);
    if (untag_text(*items[0].if_string()) == rename->new_name) continue;
    items[0] = std::string(NAME_PREFIX) + rename->new_name;
    ++outcome.renamed;
  }
  std::set<std::int64_t> removed_ids;
  for (const std::string& key : plan->removed_keys) {
    removed_ids.insert(*formation_key_id(key));
    dict.stable_erase(key);
    ++outcome.removed;
  }
  outcome.custom_count = custom_formation_count(root);
  if (!outcome.changed()) return outcome;

  custom[0] = time_stamp(now_filetime);
  if (JsonValue* selected = selected_formation_slot(*ui)) {
    const std::int64_t current = marshal::json_int64(*selected).value_or(-1);
    if (removed_ids.count(current) != 0 && !dict.contains(id_key(current))) {
      const std::vector<Formation> left = read_formations(root);
      *selected = left.empty() ? std::int64_t{0} : left.front().id;
    }
  }
  return outcome;
}

}  // namespace orvane
