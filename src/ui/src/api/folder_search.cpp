#include "folder_search.hpp"

#include <deque>
#include <string_view>
#include <utility>

#include "orvane/core/account_folder.hpp"

namespace orvane::ui {
namespace {

constexpr std::string_view SETTINGS_FOLDER_PREFIX = "settings_";

bool is_folder(PathKind kind) { return kind == PathKind::Folder || kind == PathKind::FolderLink; }

// The users of a Wine prefix keep their application data below drive_c/users.
void add_prefix_users(Platform& platform, Desktop& desktop, const std::string& prefix,
                      std::vector<std::string>& roots) {
  const std::string users = platform.join_path(platform.join_path(prefix, "drive_c"), "users");
  if (is_folder(desktop.path_kind(users))) roots.push_back(users);
}

}  // namespace

std::vector<std::string> settings_search_roots(Platform& platform, Desktop& desktop) {
  std::vector<std::string> roots;
  if (auto local = desktop.local_app_data_folder(); local && is_folder(desktop.path_kind(*local))) {
    roots.push_back(*local);
  }
  const std::optional<std::string> home = desktop.home_folder();
  if (!home || !desktop.drives().empty()) return roots;
  add_prefix_users(platform, desktop, platform.join_path(*home, ".wine"), roots);
  // Proton keeps one prefix per game, each in compatdata/<game number>/pfx.
  const std::string compatdata = platform.join_path(
      platform.join_path(platform.join_path(*home, ".steam"), "steam"), "steamapps/compatdata");
  if (auto games = platform.list_directory(compatdata)) {
    for (const std::string& game : *games) {
      add_prefix_users(platform, desktop,
                       platform.join_path(platform.join_path(compatdata, game), "pfx"), roots);
    }
  }
  return roots;
}

// Breadth first, so that when a limit stops it the folders nearest the starting points are
// found.
std::vector<std::string> find_settings_folders(Platform& platform, Desktop& desktop,
                                               const std::vector<std::string>& roots,
                                               const FolderSearchLimits& limits) {
  const auto deadline = std::chrono::steady_clock::now() + limits.max_time;
  std::deque<std::pair<std::string, std::size_t>> pending;  // folder, depth
  for (const std::string& root : roots) pending.emplace_back(root, 0);
  std::vector<std::string> found;
  std::size_t visited = 0;
  while (!pending.empty() && visited < limits.max_folders &&
         std::chrono::steady_clock::now() < deadline) {
    auto [folder, depth] = std::move(pending.front());
    pending.pop_front();
    ++visited;
    auto entries = platform.list_directory(folder);
    if (!entries) continue;
    for (const std::string& name : *entries) {
      const std::string path = platform.join_path(folder, name);
      if (desktop.path_kind(path) != PathKind::Folder) continue;
      if (name.starts_with(SETTINGS_FOLDER_PREFIX)) {
        if (auto accounts = list_account_files(platform, path); accounts && !accounts->empty()) {
          found.push_back(path);
          continue;
        }
      }
      if (depth + 1 < limits.max_depth) pending.emplace_back(path, depth + 1);
    }
  }
  return found;
}

}  // namespace orvane::ui
