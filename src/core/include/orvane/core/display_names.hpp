// The rule a name the player types must meet, formation names and account names alike, so that
// every list and every file shows it whole and on one line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::size_t MAX_NAME_CHARACTERS = 100;

enum class NameFault {
  Empty,
  TooLong,           // more than MAX_NAME_CHARACTERS code points
  ControlCharacter,  // U+0000 to U+001F, U+007F to U+009F, or bytes that are not UTF-8
};

// Nothing when `name` meets the rule.
std::optional<NameFault> name_fault(std::string_view name);
// "a name cannot be empty" and the like, for the error texts.
std::string name_fault_text(NameFault fault);

}  // namespace orvane
