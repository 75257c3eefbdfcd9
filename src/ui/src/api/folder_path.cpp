#include "folder_path.hpp"

#include "support/ascii.hpp"

namespace orvane::ui {
namespace {

constexpr std::string_view LOCAL_APP_DATA = "%localappdata%";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// The shorthand stands for a folder only as a whole first component: "~user" and "%X%y" do not.
std::optional<std::string> replaced_start(std::string_view path, std::size_t length,
                                          std::string_view separators,
                                          const std::optional<std::string>& folder) {
  if (!folder || path.size() < length) return std::nullopt;
  if (path.size() > length && separators.find(path[length]) == std::string_view::npos) {
    return std::nullopt;
  }
  return *folder + std::string(path.substr(length));
}

bool starts_with_ignoring_case(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    if (support::ascii_lower(text[i]) != lower_prefix[i]) return false;
  }
  return true;
}

}  // namespace

FolderPlaces folder_places(Desktop& desktop) {
  FolderPlaces places;
  places.local_app_data = desktop.local_app_data_folder();
  if (desktop.drives().empty()) places.home = desktop.home_folder();
  return places;
}

std::string understood_folder(std::string_view typed, const FolderPlaces& places) {
  std::string_view path = trimmed(typed);
  if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') &&
      path.back() == path.front()) {
    path = trimmed(path.substr(1, path.size() - 2));
  }
  if (starts_with_ignoring_case(path, LOCAL_APP_DATA)) {
    if (auto replaced = replaced_start(path, LOCAL_APP_DATA.size(), "\\/", places.local_app_data)) {
      return *replaced;
    }
  }
  if (path.starts_with('~')) {
    if (auto replaced = replaced_start(path, 1, "/", places.home)) return *replaced;
  }
  return std::string(path);
}

}  // namespace orvane::ui
