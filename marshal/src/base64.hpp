// Standard padded base64 (RFC 4648 alphabet, no line breaks) for byte strings the tagged JSON
// cannot show as text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "marshal/error.hpp"

namespace marshal::detail {

// The length of the padded encoding of `byte_count` bytes.
constexpr std::size_t base64_size(std::size_t byte_count) { return (byte_count + 2) / 3 * 4; }

// Writes the padded encoding of `bytes` to out[0, base64_size(bytes.size())).
void write_base64(std::string_view bytes, char* out);

// Decodes strictly: padding exact, no spaces, unused low bits of the last symbol zero. The error
// is the description the bridge quotes; offsets count characters of `text` from 0 and a character
// is given as its byte value. The checks run in this order and the first failing one decides:
//   1. "Invalid symbol {byte}, offset {i}." for the first character outside the alphabet that is
//      not "=";
//   2. "Invalid symbol 61, offset {i}." for the first "=" when it cannot be padding: it stands
//      first or second in its group of four, or a character other than "=" follows it;
//   3. "Invalid input length: {n}" when the n symbols leave one symbol alone in the last group
//      (n % 4 == 1): no encoding ends that way;
//   4. "Invalid padding" when the number of "=" is not what the last group needs (none after a
//      full group, two after two symbols, one after three);
//   5. "Invalid last symbol {byte}, offset {i}." when the last symbol has bits set below the data.
// So "YQ", "YQ=" and "YQ===" give "Invalid padding", "Y" gives "Invalid input length: 1", "Y=Q="
// gives "Invalid symbol 61, offset 1.", "YQ==\n" gives "Invalid symbol 10, offset 4." and "YR=="
// gives "Invalid last symbol 82, offset 1.".
Result<std::string, std::string> decode_base64(std::string_view text);

}  // namespace marshal::detail
