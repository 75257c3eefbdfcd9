// Formations inside a decoded settings tree. Reading is lenient: a stored shape this code does
// not expect is skipped, never an error. Merging computes the whole new dict first and touches
// the tree only once nothing can fail any more, so a refused merge leaves the file as it was.
#include "orvane/core/formations.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "formation_tree.hpp"
#include "marshal/json.hpp"
#include "marshal/number_text.hpp"
#include "support/ascii.hpp"

namespace orvane {
namespace {

using namespace detail;
using support::ascii_lower;

constexpr std::string_view ID_KEY_PREFIX = "int:";
constexpr std::string_view STAMP_PREFIX = "long:";

// FILETIME of 1970-01-01 00:00 UTC, and FILETIME ticks per second.
constexpr std::uint64_t UNIX_EPOCH_FILETIME = 116444736000000000ULL;
constexpr std::uint64_t FILETIME_TICKS_PER_SECOND = 10000000ULL;

constexpr std::int64_t MAX_ID = std::numeric_limits<std::int64_t>::max();

std::optional<double> number_as_double(const JsonValue& value) {
  if (const std::int64_t* i = value.if_int64()) return static_cast<double>(*i);
  if (const std::uint64_t* u = value.if_uint64()) return static_cast<double>(*u);
  if (const double* d = value.if_double()) return *d;
  return std::nullopt;
}

JsonValue formation_to_json(const Formation& formation) {
  json::array probes;
  probes.reserve(formation.probes.size());
  for (const Probe& probe : formation.probes) probes.push_back(probe_to_json(probe));
  json::array items;
  items.emplace_back(std::string(NAME_PREFIX) + formation.name);
  items.emplace_back(std::move(probes));
  return tagged_tuple(std::move(items));
}

JsonValue finite_or_null(double value) {
  if (std::isfinite(value)) return JsonValue(value);
  return JsonValue(nullptr);
}

// The new dict and what the merge reports, computed without touching the tree.
struct MergePlan {
  json::object dict;
  MergeOutcome outcome;
  // The id under which the package's first formation stands after the merge.
  std::int64_t first_formation_id = 0;
};

// Ids in use and the next candidate for renumbering. `next_` is empty once ids reach the
// largest 64-bit value, so that no candidate past it is ever formed.
class IdAllocator {
 public:
  explicit IdAllocator(const json::object& dict) {
    std::optional<std::int64_t> largest;
    for (const auto& member : dict) {
      const std::optional<std::int64_t> id = formation_key_id(member.key());
      if (!id) continue;
      used_.insert(*id);
      if (*id >= 0 && (!largest || *id > *largest)) largest = *id;
    }
    if (!largest) {
      next_ = 1;
    } else if (*largest < MAX_ID) {
      next_ = *largest + 1;
    }
  }

  // The id a formation is written under: its own unless taken, else the smallest free id from
  // the next candidate on.
  Result<std::int64_t, std::string> claim(std::int64_t wanted) {
    std::int64_t id = wanted;
    if (used_.count(wanted) != 0) {
      std::optional<std::int64_t> candidate = next_;
      while (candidate && used_.count(*candidate) != 0) {
        candidate = *candidate < MAX_ID ? std::optional(*candidate + 1) : std::nullopt;
      }
      if (!candidate) {
        return unexpected("no free formation id: ids reach " + std::to_string(MAX_ID));
      }
      id = *candidate;
      next_ = id < MAX_ID ? std::optional(id + 1) : std::nullopt;
    }
    used_.insert(id);
    return id;
  }

 private:
  std::set<std::int64_t> used_;
  std::optional<std::int64_t> next_;
};

std::size_t count_custom(const json::object& dict) {
  std::size_t count = 0;
  for (const auto& member : dict) {
    const std::optional<std::int64_t> id = formation_key_id(member.key());
    if (id && *id >= 0) ++count;
  }
  return count;
}

// Where the package's first formation ended up when a stored formation of the same name kept
// it out: the first such member in dict order whose key gives an id, else 0.
std::int64_t id_of_same_named(const json::object& dict, const std::string& lower_name) {
  for (const auto& member : dict) {
    const std::optional<std::int64_t> id = formation_key_id(member.key());
    if (!id || *id < 0) continue;
    const json::string* name = stored_name(member.value());
    if (name != nullptr && name_key(untag_text(*name)) == lower_name) return *id;
  }
  return 0;
}

Result<MergePlan, MergeError> plan_merge(const JsonValue& root,
                                         const std::vector<Formation>& incoming) {
  MergePlan plan;
  if (const json::object* existing = find_custom_formations(root)) plan.dict = *existing;

  std::set<std::string> taken_names;
  for (const auto& member : plan.dict) {
    if (auto name = reserved_name(member.key(), member.value())) {
      taken_names.insert(std::move(*name));
    }
  }
  IdAllocator ids(plan.dict);

  std::optional<std::int64_t> first_written_id;
  for (const Formation& formation : incoming) {
    std::string lower = name_key(formation.name);
    if (taken_names.count(lower) != 0) {
      plan.outcome.skipped.push_back(formation.name);
      continue;
    }
    auto id = ids.claim(formation.id);
    if (!id) return unexpected(MergeError{MergeRefusal::NoFreeId, id.error(), 0});
    if (&formation == &incoming.front()) first_written_id = *id;
    plan.dict.insert_or_assign(id_key(*id), formation_to_json(formation));
    taken_names.insert(std::move(lower));
    ++plan.outcome.added;
    plan.outcome.added_formations.push_back({formation.name, *id});
  }

  plan.outcome.custom_count = count_custom(plan.dict);
  if (plan.outcome.custom_count > MAX_CUSTOM_FORMATIONS) {
    return unexpected(MergeError{MergeRefusal::OverLimit,
                                 "target would contain " +
                                     std::to_string(plan.outcome.custom_count) +
                                     " custom formations; ORVANE supports at most 10",
                                 plan.outcome.custom_count});
  }

  if (first_written_id) {
    plan.first_formation_id = *first_written_id;
  } else if (!incoming.empty()) {
    plan.first_formation_id = id_of_same_named(plan.dict, name_key(incoming.front().name));
  }
  return plan;
}

// Keeps the player's selection pointing at a formation the dict holds; the member is never
// created and never reshaped.
void repair_selection(json::object& ui, const json::object& dict, std::int64_t replacement) {
  JsonValue* selected = selected_formation_slot(ui);
  if (selected == nullptr) return;
  const std::int64_t current = marshal::json_int64(*selected).value_or(-1);
  if (dict.contains(id_key(current))) return;
  *selected = replacement;
}

}  // namespace

std::string_view untag_text(std::string_view text) {
  const std::size_t colon = text.find(':');
  return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

std::optional<std::int64_t> formation_key_id(std::string_view key) {
  return marshal::parse_int64(untag_text(key));
}

std::optional<Probe> parse_probe_value(const JsonValue& value) {
  const json::array* outer = tuple_items(value, 2);
  if (outer == nullptr) return std::nullopt;
  const json::array* inner = tuple_items((*outer)[0], 3);
  if (inner == nullptr) return std::nullopt;
  const auto x = number_as_double((*inner)[0]);
  const auto y = number_as_double((*inner)[1]);
  const auto z = number_as_double((*inner)[2]);
  const auto range = number_as_double((*outer)[1]);
  if (!x || !y || !z || !range) return std::nullopt;
  return Probe{*x, *y, *z, *range};
}

JsonValue probe_to_json(const Probe& probe) {
  json::array position;
  position.emplace_back(finite_or_null(probe.x));
  position.emplace_back(finite_or_null(probe.y));
  position.emplace_back(finite_or_null(probe.z));
  json::array items;
  items.emplace_back(tagged_tuple(std::move(position)));
  items.emplace_back(finite_or_null(probe.range));
  return tagged_tuple(std::move(items));
}

std::vector<Formation> read_formations(const JsonValue& root) {
  std::vector<Formation> formations;
  const json::object* dict = find_custom_formations(root);
  if (dict == nullptr) return formations;
  for (const auto& member : *dict) {
    const std::optional<std::int64_t> id = formation_key_id(member.key());
    if (!id || *id < 0) continue;
    const json::string* name = stored_name(member.value());
    if (name == nullptr) continue;
    Formation formation{*id, std::string(untag_text(*name)), {}};
    const json::array* items = tuple_items(member.value(), 2);
    const json::array* probes = items == nullptr ? nullptr : (*items)[1].if_array();
    if (probes != nullptr) {
      for (const JsonValue& probe_value : *probes) {
        if (auto probe = parse_probe_value(probe_value)) formation.probes.push_back(*probe);
      }
    }
    formations.push_back(std::move(formation));
  }
  std::stable_sort(formations.begin(), formations.end(),
                   [](const Formation& a, const Formation& b) { return a.id < b.id; });
  return formations;
}

std::size_t custom_formation_count(const JsonValue& root) {
  const json::object* dict = find_custom_formations(root);
  return dict == nullptr ? 0 : count_custom(*dict);
}

const marshal::MemberSelection& formation_members() {
  static const marshal::MemberSelection members = marshal::MemberSelection()
                                                      .add({UI_KEY, CUSTOM_FORMATIONS_KEY})
                                                      .add({UI_KEY, SELECTED_FORMATION_KEY});
  return members;
}

Result<MergeOutcome, std::string> merge_formations(JsonValue& root,
                                                   const std::vector<Formation>& incoming,
                                                   std::uint64_t now_filetime) {
  auto merged = merge_formations_explained(root, incoming, now_filetime);
  if (!merged) return unexpected(std::move(merged.error().text));
  return std::move(*merged);
}

bool has_settings_shape(const JsonValue& root) {
  const json::object* root_object = root.if_object();
  const JsonValue* ui = root_object == nullptr ? nullptr : root_object->if_contains(UI_KEY);
  return ui != nullptr && ui->is_object();
}

std::string name_key(std::string_view name) { return ascii_lower(name); }

Result<MergeOutcome, MergeError> merge_formations_explained(JsonValue& root,
                                                            const std::vector<Formation>& incoming,
                                                            std::uint64_t now_filetime) {
  auto plan = plan_merge(root, incoming);
  if (!plan) return plan.take_error();

  json::object* root_object = root.if_object();
  if (root_object == nullptr) {
    return unexpected(MergeError{MergeRefusal::NotSettings, "settings root is not an object", 0});
  }
  const JsonValue* existing_ui = root_object->if_contains(UI_KEY);
  if (existing_ui != nullptr && !existing_ui->is_object()) {
    return unexpected(MergeError{MergeRefusal::NotSettings, "settings ui is not an object", 0});
  }
  // Nothing below can fail: the tree changes from here on.
  if (existing_ui == nullptr) root_object->emplace(UI_KEY, json::object());
  json::object& ui = *root_object->if_contains(UI_KEY)->if_object();
  repair_selection(ui, plan->dict, plan->first_formation_id);
  json::array custom;
  custom.emplace_back(time_stamp(now_filetime));
  custom.emplace_back(std::move(plan->dict));
  ui[CUSTOM_FORMATIONS_KEY] = tagged_tuple(std::move(custom));
  return plan->outcome;
}

namespace detail {

const json::array* tuple_items(const JsonValue& value, std::size_t min_size) {
  const json::object* object = value.if_object();
  if (object == nullptr) return nullptr;
  const JsonValue* items = object->if_contains(TUPLE_KEY);
  if (items == nullptr) return nullptr;
  const json::array* array = items->if_array();
  if (array == nullptr || array->size() < min_size) return nullptr;
  return array;
}

json::array* tuple_items(JsonValue& value, std::size_t min_size) {
  return const_cast<json::array*>(tuple_items(std::as_const(value), min_size));
}

JsonValue tagged_tuple(json::array items) {
  json::object tuple;
  tuple.emplace(TUPLE_KEY, std::move(items));
  return tuple;
}

const json::string* stored_name(const JsonValue& formation) {
  const json::array* items = tuple_items(formation, 1);
  return items == nullptr ? nullptr : (*items)[0].if_string();
}

const json::array* find_custom_tuple(const JsonValue& root) {
  const json::object* root_object = root.if_object();
  if (root_object == nullptr) return nullptr;
  const JsonValue* ui = root_object->if_contains(UI_KEY);
  const json::object* ui_object = ui == nullptr ? nullptr : ui->if_object();
  if (ui_object == nullptr) return nullptr;
  const JsonValue* custom = ui_object->if_contains(CUSTOM_FORMATIONS_KEY);
  if (custom == nullptr) return nullptr;
  const json::array* items = tuple_items(*custom, 2);
  return items != nullptr && (*items)[1].is_object() ? items : nullptr;
}

json::array* find_custom_tuple(JsonValue& root) {
  return const_cast<json::array*>(find_custom_tuple(std::as_const(root)));
}

const json::object* find_custom_formations(const JsonValue& root) {
  const json::array* items = find_custom_tuple(root);
  return items == nullptr ? nullptr : (*items)[1].if_object();
}

std::string id_key(std::int64_t id) { return std::string(ID_KEY_PREFIX) + std::to_string(id); }

std::optional<std::string> reserved_name(std::string_view key, const JsonValue& value) {
  const std::optional<std::int64_t> id = formation_key_id(key);
  if (id && *id < 0) return std::nullopt;
  const json::string* name = stored_name(value);
  if (name == nullptr) return std::nullopt;
  return name_key(untag_text(*name));
}

std::string time_stamp(std::uint64_t now_filetime) {
  const std::uint64_t seconds =
      now_filetime > UNIX_EPOCH_FILETIME
          ? (now_filetime - UNIX_EPOCH_FILETIME) / FILETIME_TICKS_PER_SECOND
          : 0;
  return std::string(STAMP_PREFIX) +
         std::to_string(seconds * FILETIME_TICKS_PER_SECOND + UNIX_EPOCH_FILETIME);
}

JsonValue* selected_formation_slot(json::object& ui) {
  JsonValue* selected = ui.if_contains(SELECTED_FORMATION_KEY);
  json::array* array = selected == nullptr ? nullptr : tuple_items(*selected, 2);
  return array == nullptr ? nullptr : &(*array)[1];
}

}  // namespace detail
}  // namespace orvane
