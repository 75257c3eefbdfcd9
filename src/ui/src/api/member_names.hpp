// The names of the members of JSON objects, as a request body spells them: the tree a parser
// makes keeps one member of each name, so a name given twice is found in the text itself.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::ui {

// The first member name that one object of `text` gives twice, down to `max_depth` levels;
// nothing when there is none or `text` is not JSON (its parse reports that).
std::optional<std::string> member_given_twice(std::string_view text, std::size_t max_depth);

}  // namespace orvane::ui
