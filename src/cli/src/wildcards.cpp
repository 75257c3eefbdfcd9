#include "orvane/cli/wildcards.hpp"

#include <algorithm>
#include <cstddef>

#include "support/ascii.hpp"

namespace orvane {
namespace {

constexpr std::string_view SEPARATORS = "\\/";
constexpr std::string_view WILDCARDS = "*?";

bool is_separator(char c) { return SEPARATORS.find(c) != std::string_view::npos; }

bool has_wildcard(std::string_view text) { return text.find_first_of(WILDCARDS) != text.npos; }

// The length of a `\\?\` or `\\.\` prefix: its `?` is part of the path's syntax, not a wildcard.
std::size_t device_prefix_length(std::string_view path) {
  const bool prefixed = path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
                        (path[2] == '?' || path[2] == '.') && is_separator(path[3]);
  return prefixed ? 4 : 0;
}

// Where the last component starts: after the last separator, or after a drive such as `C:`.
std::size_t last_component_start(std::string_view path) {
  const std::size_t prefix = device_prefix_length(path);
  const std::size_t separator = path.find_last_of(SEPARATORS);
  if (separator != std::string_view::npos && separator >= prefix) return separator + 1;
  if (path.size() >= prefix + 2 && path[prefix + 1] == ':') return prefix + 2;
  return prefix;
}

// The end of the UTF-8 character that starts at `i`.
std::size_t character_end(std::string_view text, std::size_t i) {
  ++i;
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// The folder to list for a folder part as typed: itself when it ends in a separator, else the
// current folder it names ("" the process's, "C:" that drive's).
std::string folder_to_list(std::string_view folder) {
  if (!folder.empty() && is_separator(folder.back())) return std::string(folder);
  return std::string(folder) + ".";
}

std::vector<std::string> matching_paths(Platform& platform, const std::string& operand) {
  const std::size_t start = last_component_start(operand);
  const std::string_view folder = std::string_view(operand).substr(0, start);
  const std::string_view pattern = std::string_view(operand).substr(start);
  if (!has_wildcard(pattern) || has_wildcard(folder.substr(device_prefix_length(operand)))) {
    return {};
  }
  auto entries = platform.list_directory(folder_to_list(folder));
  if (!entries) return {};
  std::vector<std::string> names;
  for (std::string& name : *entries) {
    if (name != "." && name != ".." && wildcard_matches(pattern, name)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name.insert(0, folder);
  return names;
}

}  // namespace

bool wildcard_matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  // The position just after the last `*` seen, and where in `name` its run ends so far.
  std::size_t star = std::string_view::npos;
  std::size_t star_end = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_end = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n = character_end(name, n);
    } else if (p < pattern.size() &&
               support::ascii_lower(pattern[p]) == support::ascii_lower(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      // Let the last `*` take one more character and try the rest again from there.
      star_end = character_end(name, star_end);
      n = star_end;
      p = star;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> expand_wildcards(Platform& platform,
                                          const std::vector<std::string>& args) {
  std::vector<std::string> expanded;
  for (std::size_t i = 0; i < args.size(); ++i) {
    // The command word names no file.
    std::vector<std::string> paths =
        i == 0 ? std::vector<std::string>{} : matching_paths(platform, args[i]);
    if (paths.empty()) {
      expanded.push_back(args[i]);
    } else {
      expanded.insert(expanded.end(), std::make_move_iterator(paths.begin()),
                      std::make_move_iterator(paths.end()));
    }
  }
  return expanded;
}

}  // namespace orvane
