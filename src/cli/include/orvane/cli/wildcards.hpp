// Wildcard operands, for systems whose shell hands `*` and `?` to the program unexpanded.
// Windows path rules apply: `\` and `/` separate components, `X:` names a drive, and a `\\?\`
// or `\\.\` prefix is no component.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/platform.hpp"

namespace orvane {

// The arguments with every operand (each argument after the command word) whose last path
// component holds `*` or `?` replaced by the entries of its folder that match that component,
// sorted by name in byte order, each joined to the operand's folder part as typed. An operand
// with a wildcard in a folder component, or that matches nothing, stays as typed, so that the
// command's error names it.
std::vector<std::string> expand_wildcards(Platform& platform, const std::vector<std::string>& args);

// `*` stands for any run of characters, `?` for exactly one; ASCII letters match either case,
// as Windows file names do.
bool wildcard_matches(std::string_view pattern, std::string_view name);

}  // namespace orvane
