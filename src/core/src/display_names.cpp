#include "orvane/core/display_names.hpp"

#include "marshal/utf8.hpp"

namespace orvane {

std::optional<NameFault> name_fault(std::string_view name) {
  if (name.empty()) return NameFault::Empty;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < name.size();) {
    const marshal::Utf8Char c = marshal::decode_utf8_at(name, i);
    if (c.length == 0 || c.code_point < 0x20 || (c.code_point >= 0x7F && c.code_point <= 0x9F)) {
      return NameFault::ControlCharacter;
    }
    i += c.length;
    ++characters;
  }
  if (characters > MAX_NAME_CHARACTERS) return NameFault::TooLong;
  return std::nullopt;
}

std::string name_fault_text(NameFault fault) {
  switch (fault) {
    case NameFault::Empty:
      return "a name cannot be empty";
    case NameFault::TooLong:
      return "a name holds at most " + std::to_string(MAX_NAME_CHARACTERS) + " characters";
    case NameFault::ControlCharacter:
      return "a name cannot hold control characters";
  }
  return "a name cannot be empty";
}

}  // namespace orvane
