// The only code that knows where formations lie in a decoded settings tree: under "bytes:ui",
// the tuple "bytes:probescanning.customFormations" of (time stamp, dict of id -> formation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/member_selection.hpp"
#include "orvane/core/package.hpp"

namespace orvane {

using marshal::JsonValue;

inline constexpr std::size_t MAX_CUSTOM_FORMATIONS = 10;

// A package formation the merge wrote, under the id it got there.
struct AddedFormation {
  std::string name;
  std::int64_t id = 0;
  friend bool operator==(const AddedFormation&, const AddedFormation&) = default;
};

struct MergeOutcome {
  std::size_t added = 0;         // package formations written into the tree
  std::size_t custom_count = 0;  // custom formations the dict holds after the merge
  // What a preview shows: the formations written, and the package names left out because the
  // target (or an earlier package formation) already has them, both in package order.
  std::vector<AddedFormation> added_formations;
  std::vector<std::string> skipped;
};

// The text after the first colon, or the whole text when it has none.
std::string_view untag_text(std::string_view text);
std::optional<std::int64_t> formation_key_id(std::string_view key);
std::optional<Probe> parse_probe_value(const JsonValue& value);
JsonValue probe_to_json(const Probe& probe);

// The stored formations in ascending id order; shapes it cannot read are skipped silently.
std::vector<Formation> read_formations(const JsonValue& root);
// The count the limit of MAX_CUSTOM_FORMATIONS applies to: members of the custom formations
// dict whose key gives a non-negative id, readable or not.
std::size_t custom_formation_count(const JsonValue& root);
// The members of a settings tree that read_formations and custom_formation_count read: on a tree
// cut down to them (decode_selected_json) both give what they give on the whole tree.
const marshal::MemberSelection& formation_members();
// Appends the package's formations. On failure the tree is left exactly as it was.
// `now_filetime` is the current UTC time as a FILETIME, the source of the time stamp.
Result<MergeOutcome, std::string> merge_formations(JsonValue& root,
                                                   const std::vector<Formation>& incoming,
                                                   std::uint64_t now_filetime);

// Why a merge was refused, for a caller that acts on the reason rather than the text.
enum class MergeRefusal {
  OverLimit,    // more than MAX_CUSTOM_FORMATIONS afterwards
  NotSettings,  // the root or its "bytes:ui" is not a dictionary
  NoFreeId,     // ids reach the largest 64-bit value
};

struct MergeError {
  MergeRefusal refusal = MergeRefusal::OverLimit;
  std::string text;              // merge_formations' error text
  std::size_t custom_count = 0;  // for OverLimit: the count the merge would have reached
};

// merge_formations, with the reason of a refusal beside its text.
Result<MergeOutcome, MergeError> merge_formations_explained(JsonValue& root,
                                                            const std::vector<Formation>& incoming,
                                                            std::uint64_t now_filetime);

// True when the tree has the shape of a settings file: a dictionary root holding a "bytes:ui"
// dictionary.
bool has_settings_shape(const JsonValue& root);
// The form in which two formation names are the same to a merge: the letters A to Z in lower
// case, every other byte as it is.
std::string name_key(std::string_view name);

}  // namespace orvane
