// The spellings of numbers and strings in package files, shared by the writer and by the
// reader's messages so that a value quoted in an error looks as the writer would write it.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The shortest digits that read back as `value`: positional from 1e-5 up to 1e16 (with ".0" when
// integral), scientific outside that range, "null" when not finite.
std::string package_double_text(double value);
// `text` between double quotes with the escapes of a package file appended to `out`.
void append_package_string(std::string& out, std::string_view text);

}  // namespace orvane
