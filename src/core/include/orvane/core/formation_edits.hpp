// Removing and renaming custom formations in a settings tree, by id and the name the player saw.
// Only the members named change; every other member, id, probe and setting stays as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "marshal/json.hpp"
#include "orvane/core/display_names.hpp"
#include "support/result.hpp"

namespace orvane {

using marshal::JsonValue;
using support::Result;

// A stored formation by its id and its name as shown (compared as name_key compares names).
struct FormationRef {
  std::int64_t id = 0;
  std::string name;
};

struct FormationRename {
  FormationRef formation;
  std::string new_name;
};

struct FormationEdits {
  std::vector<FormationRef> remove;
  std::vector<FormationRename> rename;
};

struct EditOutcome {
  std::size_t removed = 0;
  std::size_t renamed = 0;       // renames that changed the stored name
  std::size_t custom_count = 0;  // as custom_formation_count gives it afterwards
  bool changed() const { return removed + renamed > 0; }
};

enum class EditRefusal {
  NotSettings,      // the root or its "bytes:ui" is not a dictionary
  NoSuchFormation,  // no formation of that id
  NameChanged,      // the id holds a formation of another name
  NamedTwice,       // one formation removed or renamed twice
  BadName,          // a new name against the rule of display_names.hpp
  NameTaken,        // a new name another formation left has, letter case aside
};

struct EditError {
  EditRefusal refusal = EditRefusal::NoSuchFormation;
  std::string text;
  std::int64_t id = 0;             // the formation refused
  std::optional<NameFault> fault;  // for BadName
};

// Removes, then renames. A removed formation the player had selected makes the selection the
// lowest id left, or 0. The time stamp is set as merge_formations sets it, and only when
// something changed. On failure the tree is left exactly as it was.
Result<EditOutcome, EditError> edit_formations(JsonValue& root, const FormationEdits& edits,
                                               std::uint64_t now_filetime);

}  // namespace orvane
