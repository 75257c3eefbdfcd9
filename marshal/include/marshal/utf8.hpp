// Strict UTF-8 checks shared by the codec, the bridge and the program.
#pragma once

#include <string>
#include <string_view>

namespace marshal {

// Well-formed UTF-8: no overlong forms, no surrogate code points, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Decodes as UTF-8, replacing every maximal invalid subpart with U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace marshal
